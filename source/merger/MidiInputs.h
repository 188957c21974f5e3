/*
    ZEM Quillbank - LTC to MTC converter and MIDI merger
    Copyright (C) 2026 ZEM. GPL-3.0-or-later.
*/

#pragma once

#include "MergerRowTable.h"
#include "SingleMidiInput.h"
#include "platform/MidiDevices.h"

/** The "Midi Merger" page: three column headers over a scrolling list of the merger rows, one
    per MIDI input device. It also keeps the copy of the rows' settings that the forwarding on
    the MIDI input thread reads.
*/
class MidiInputs : public juce::Component
{
public:
    MidiInputs();
    ~MidiInputs() override;

    /** Puts the settings of every row, in display order, in force for the forwarding. Called
        after any change to the rows that the page does not see by itself.
    */
    void publishRows();

    /** Brings the rows in line with the present input devices: a row is appended for every new
        device name, rows of devices that are gone are deleted, the rows are stacked on the list,
        and the listener hears every row's input switch. Inputs are neither enabled nor disabled.
    */
    void rebuildRows (MidiDevices& devices, juce::Button::Listener& listener);

    /** Dark grey with the logo at the lower right. */
    void paint (juce::Graphics&) override;

    /** Does nothing: everything has fixed bounds. */
    void resized() override;

    /** The rows, in display order. */
    juce::OwnedArray<SingleMidiInput> inputs;

    /** The rows' settings in force for the MIDI input thread. */
    MergerRowTable rowTable;

private:
    void addMissingRows (const juce::StringArray& deviceNames);
    void layOutRows();
    void followRowChanges (SingleMidiInput& row);

    juce::Viewport viewport;
    juce::Component inputList;
    juce::Label inputsLabel, convertLabel, channelLabel;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (MidiInputs)
};
