/*
    ZEM Quillbank - LTC to MTC converter and MIDI merger
    Copyright (C) 2026 ZEM. GPL-3.0-or-later.
*/

#pragma once

#include <juce_audio_basics/juce_audio_basics.h>

#include <vector>

/** What the forwarding of one MIDI input needs to know of its merger row. */
struct MergerRowSettings
{
    /** The input device's name, the row's key. */
    juce::String name;

    /** The selected item index of the row's channel box: -1 nothing, 0 "Original Channel",
        k from 1 to 16 MIDI channel k.
    */
    int destinationIndex = 0;

    /** True when controller changes are to leave as note-ons. */
    bool ccToNote = false;
};

/** The message that a merged input's message becomes under its row's settings: channel
    messages move to the row's channel (if it names one), controller changes turn into
    note-ons where the row asks for it, and system messages pass unchanged.
*/
juce::MidiMessage forwardedMessage (const juce::MidiMessage& message, const MergerRowSettings& row);

/** The row that applies to a source: the last row whose name equals the source's name
    exactly (case-sensitive); null when there is none.
*/
const MergerRowSettings* findMergerRow (const std::vector<MergerRowSettings>& rows, const juce::String& sourceName);
