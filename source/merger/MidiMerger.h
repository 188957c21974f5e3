/*
    ZEM Quillbank - LTC to MTC converter and MIDI merger
    Copyright (C) 2026 ZEM. GPL-3.0-or-later.
*/

#pragma once

#include "MergerRowTable.h"
#include "engine/DemoThread.h"

/** Forwards one message of a merged MIDI input to the generator's output, on the MIDI input
    thread: nothing leaves while no output is active, or when the source has no row; otherwise
    the message as its row's settings make it is sent at once.
*/
void forwardMergedMessage (const juce::String& sourceName, const juce::MidiMessage& message, const MergerRowTable& rows,
                           DemoThread& generator);
