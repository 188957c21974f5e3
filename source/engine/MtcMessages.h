/*
    ZEM Quillbank - LTC to MTC converter and MIDI merger
    Copyright (C) 2026 ZEM. GPL-3.0-or-later.
*/

#pragma once

#include <juce_audio_basics/juce_audio_basics.h>

#include <array>

/** MIDI Time Code for a frame position: the split into hours, minutes, seconds and frames,
    the eight quarter-frame nibbles, and the two kinds of message.

    Hours are not wrapped at 24, and the full-frame hour byte carries no rate bits.
*/
namespace MtcMessages
{
/** A position split at a rate; each part kept in 8 bits, as it is sent. */
struct TimeParts
{
    juce::uint8 hours = 0, minutes = 0, seconds = 0, frames = 0;
};

/** Splits a frame count at 24 or 30 frames per second, truncating toward zero. */
TimeParts splitPosition (juce::int64 position, int frameRate);

/** The data nibbles of pieces 0 to 7; piece 7 carries the rate code (0 at 24, 3 at 30). */
std::array<juce::uint8, 8> computeNibbles (const TimeParts& parts, int frameRate);

/** Quarter-frame message of piece k: 0xF1, (k << 4) | nibble. */
juce::MidiMessage quarterFrame (int piece, juce::uint8 nibble);

/** Full-frame message F0 7F 7F 01 01 hh mm ss ff F7, formed from the nibbles as they are sent. */
juce::MidiMessage fullFrame (const std::array<juce::uint8, 8>& nibbles, const TimeParts& parts, int frameRate);

/** Messages per second with which a block is handed to the output: 96 at 24, 120 at 30. */
double quarterFramesPerSecond (int frameRate);
} // namespace MtcMessages
