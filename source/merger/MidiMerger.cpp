/*
    ZEM Quillbank - LTC to MTC converter and MIDI merger
    Copyright (C) 2026 ZEM. GPL-3.0-or-later.
*/

#include "MidiMerger.h"

void forwardMergedMessage (const juce::String& sourceName, const juce::MidiMessage& message, const MergerRowTable& rows,
                           DemoThread& generator)
{
    if (! generator.midiOutputActive)
        return;

    // A source without a row is an input still registered after its row was removed, or one
    // enabled before any row existed. No row means nobody chose a channel or a conversion for
    // it, so its messages are dropped rather than merged unchanged.
    const auto row = rows.find (sourceName);

    if (! row.has_value())
        return;

    generator.sendNow (forwardedMessage (message, *row));
}
