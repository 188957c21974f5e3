/*
    ZEM Quillbank - LTC to MTC converter and MIDI merger
    Copyright (C) 2026 ZEM. GPL-3.0-or-later.
*/

#pragma once

#include "ForwardingRule.h"

#include <juce_gui_basics/juce_gui_basics.h>

/** One merger row: the switch that merges a MIDI input (its text is the device's name and the
    row's key), the switch that turns its controller changes into note-ons, and its destination
    channel.
*/
class SingleMidiInput : public juce::Component
{
public:
    ~SingleMidiInput() override;

    /** Builds a row for this device, both switches off and "Original Channel" chosen; its
        bounds and parent are left to whoever places it.
    */
    static std::unique_ptr<SingleMidiInput> create (const juce::String& deviceName);

    /** The row's settings as its controls show them now. */
    MergerRowSettings getSettings() const;

    /** Draws nothing: the page shows through. */
    void paint (juce::Graphics&) override;

    /** Does nothing: the controls have fixed bounds. */
    void resized() override;

    /** "Original Channel" (id 1), then "Channel 1" to "Channel 16" (ids 2 to 17). */
    std::unique_ptr<juce::ComboBox> destinationChannel;

    /** Carries the device's name; on while the input is merged. */
    std::unique_ptr<juce::ToggleButton> inputToggle;

    /** "Enabled": controller changes become note-ons. */
    std::unique_ptr<juce::ToggleButton> ccToNoteToggle;

private:
    SingleMidiInput();

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (SingleMidiInput)
};
