/*
    ZEM Quillbank - LTC to MTC converter and MIDI merger
    Copyright (C) 2026 ZEM. GPL-3.0-or-later.
*/

#include "LtcTestWriter.h"

#include <cmath>

LtcTime LtcTime::next (int framesPerSecond) const
{
    auto t = *this;

    if (++t.frames < framesPerSecond)
        return t;

    t.frames = 0;

    if (++t.seconds < 60)
        return t;

    t.seconds = 0;

    if (++t.minutes < 60)
        return t;

    t.minutes = 0;
    ++t.hours;
    return t;
}

//==============================================================================
LtcTestWriter::LtcTestWriter (double sampleRate, double framesPerSecond, bool startPositive)
    : nextPositive (startPositive),
      cellLength (sampleRate / (80.0 * framesPerSecond)),
      framesPerSecondRounded ((int) std::lround (framesPerSecond))
{
}

LtcTestWriter& LtcTestWriter::level (float newLevel)
{
    currentLevel = newLevel;
    return *this;
}

void LtcTestWriter::appendRun (int length)
{
    output.insert (output.end(), (size_t) std::max (0, length), nextPositive ? currentLevel : -currentLevel);
    nextPositive = ! nextPositive;
}

LtcTestWriter& LtcTestWriter::runs (const std::vector<int>& lengths)
{
    for (auto length : lengths)
        appendRun (length);

    return *this;
}

LtcTestWriter& LtcTestWriter::silence (int numSamples)
{
    output.insert (output.end(), (size_t) std::max (0, numSamples), 0.0f);
    return *this;
}

void LtcTestWriter::appendHalfCells (int numHalves)
{
    const auto start = std::lround (cellTime);
    cellTime += 0.5 * cellLength * numHalves;
    appendRun ((int) (std::lround (cellTime) - start));
}

LtcTestWriter& LtcTestWriter::bits (const std::vector<int>& values)
{
    for (auto value : values)
    {
        if (value != 0)
        {
            appendHalfCells (1);
            appendHalfCells (1);
        }
        else
        {
            appendHalfCells (2);
        }
    }

    return *this;
}

LtcTestWriter& LtcTestWriter::frame (const FrameBits& frameBits)
{
    std::vector<int> values (80);

    for (size_t i = 0; i < 80; ++i)
        values[i] = frameBits[i] ? 1 : 0;

    return bits (values);
}

LtcTestWriter& LtcTestWriter::frames (LtcTime start, int count)
{
    for (int i = 0; i < count; ++i, start = start.next (framesPerSecondRounded))
        frame (withPhaseCorrection (frameBits (start)));

    return *this;
}

LtcTestWriter& LtcTestWriter::edge()
{
    appendRun (1);
    return *this;
}

//==============================================================================
void LtcTestWriter::setField (FrameBits& frameBits, int firstBit, int width, unsigned value)
{
    for (int i = 0; i < width; ++i)
        frameBits[(size_t) (firstBit + i)] = ((value >> i) & 1) != 0;
}

LtcTestWriter::FrameBits LtcTestWriter::frameBits (LtcTime time, std::uint32_t userBits,
                                                   std::initializer_list<int> setBits)
{
    FrameBits f;
    setField (f, 0, 4, (unsigned) time.frames % 10);
    setField (f, 8, 2, (unsigned) time.frames / 10);
    setField (f, 16, 4, (unsigned) time.seconds % 10);
    setField (f, 24, 3, (unsigned) time.seconds / 10);
    setField (f, 32, 4, (unsigned) time.minutes % 10);
    setField (f, 40, 3, (unsigned) time.minutes / 10);
    setField (f, 48, 4, (unsigned) time.hours % 10);
    setField (f, 56, 2, (unsigned) time.hours / 10);

    for (int group = 0; group < 8; ++group)
        setField (f, 4 + 8 * group, 4, (userBits >> (4 * group)) & 0x0f);

    for (auto bit : setBits)
        f.set ((size_t) bit);

    setField (f, 64, 16, 0xbffc);
    return f;
}

LtcTestWriter::FrameBits LtcTestWriter::withPhaseCorrection (FrameBits frameBits)
{
    frameBits.reset (27);
    frameBits[27] = (frameBits.count() % 2) != 0;
    return frameBits;
}
