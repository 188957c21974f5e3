/*
    ZEM Quillbank - LTC to MTC converter and MIDI merger
    Copyright (C) 2026 ZEM. GPL-3.0-or-later.
*/

#include "MtcMessages.h"

namespace MtcMessages
{
TimeParts splitPosition (juce::int64 position, int frameRate)
{
    const juce::int64 rate = frameRate;
    TimeParts parts;

    // Each remainder is taken from the stored 8-bit part, as the messages carry it.
    parts.hours = (juce::uint8) (position / (3600 * rate));
    const auto rest1 = position - (juce::int64) parts.hours * 3600 * rate;
    parts.minutes = (juce::uint8) (rest1 / (60 * rate));
    const auto rest2 = rest1 - (juce::int64) parts.minutes * 60 * rate;
    parts.seconds = (juce::uint8) (rest2 / rate);
    parts.frames = (juce::uint8) (rest2 - (juce::int64) parts.seconds * rate);
    return parts;
}

std::array<juce::uint8, 8> computeNibbles (const TimeParts& parts, int frameRate)
{
    const auto rateOffset = frameRate == 30 ? 6 : 0;

    return { (juce::uint8) (parts.frames & 0x0f),  (juce::uint8) (parts.frames >> 4),
             (juce::uint8) (parts.seconds & 0x0f), (juce::uint8) (parts.seconds >> 4),
             (juce::uint8) (parts.minutes & 0x0f), (juce::uint8) (parts.minutes >> 4),
             (juce::uint8) (parts.hours & 0x0f),   (juce::uint8) ((parts.hours >> 4) + rateOffset) };
}

juce::MidiMessage quarterFrame (int piece, juce::uint8 nibble)
{
    return juce::MidiMessage (0xf1, ((piece & 0x07) << 4) | nibble);
}

juce::MidiMessage fullFrame (const std::array<juce::uint8, 8>& nibbles, const TimeParts& parts, int frameRate)
{
    juce::uint8 hh, mm, ss, ff;

    if (frameRate == 30)
    {
        hh = (juce::uint8) (((nibbles[7] - 6) << 4) + nibbles[6]);
        mm = parts.minutes;
        ss = parts.seconds;
        ff = parts.frames;
    }
    else
    {
        hh = (juce::uint8) ((nibbles[7] << 4) + nibbles[6]);
        mm = (juce::uint8) ((nibbles[5] << 4) + nibbles[4]);
        ss = (juce::uint8) ((nibbles[3] << 4) + nibbles[2]);
        ff = (juce::uint8) ((nibbles[1] << 4) + nibbles[0]);
    }

    const juce::uint8 bytes[] = { 0xf0, 0x7f, 0x7f, 0x01, 0x01, hh, mm, ss, ff, 0xf7 };
    return juce::MidiMessage (bytes, (int) sizeof (bytes), 0.0);
}

double quarterFramesPerSecond (int frameRate)
{
    return frameRate == 30 ? 120.0 : 96.0;
}
} // namespace MtcMessages
