/*
    ZEM Quillbank - LTC to MTC converter and MIDI merger
    Copyright (C) 2026 ZEM. GPL-3.0-or-later.
*/

#include "engine/MtcMessages.h"

#include <gtest/gtest.h>

namespace
{
std::vector<int> bytesOf (const juce::MidiMessage& m)
{
    return { m.getRawData(), m.getRawData() + m.getRawDataSize() };
}

std::vector<int> quarterFrameDataBytes (juce::int64 position, int rate)
{
    const auto nibbles = MtcMessages::computeNibbles (MtcMessages::splitPosition (position, rate), rate);
    std::vector<int> data;

    for (int piece = 0; piece < 8; ++piece)
    {
        const auto message = MtcMessages::quarterFrame (piece, nibbles[(size_t) piece]);
        EXPECT_EQ (message.getRawDataSize(), 2);
        EXPECT_EQ (message.getRawData()[0], 0xf1);
        data.push_back (message.getRawData()[1]);
    }

    return data;
}

std::vector<int> fullFrameBytes (juce::int64 position, int rate)
{
    const auto parts = MtcMessages::splitPosition (position, rate);
    return bytesOf (MtcMessages::fullFrame (MtcMessages::computeNibbles (parts, rate), parts, rate));
}

struct Example
{
    int rate;
    juce::int64 position;
    std::vector<int> quarterFrames;
    std::vector<int> fullFrame;
};
} // namespace

TEST (MtcMessages, WorkedExamplesByteForByte)
{
    // One example a line, past the column limit, so that the bytes of one read against the next.
    // clang-format off
    const Example examples[] = {
        { 24, 89'366, { 0x0E, 0x10, 0x23, 0x30, 0x42, 0x50, 0x61, 0x70 }, { 0xF0, 0x7F, 0x7F, 0x01, 0x01, 0x01, 0x02, 0x03, 0x0E, 0xF7 } },
        { 30, 1'116'928, { 0x0C, 0x11, 0x2E, 0x31, 0x44, 0x51, 0x6A, 0x76 }, { 0xF0, 0x7F, 0x7F, 0x01, 0x01, 0x0A, 0x14, 0x1E, 0x1C, 0xF7 } },
        { 30, 1'836'000, { 0x00, 0x10, 0x20, 0x30, 0x40, 0x50, 0x61, 0x77 }, { 0xF0, 0x7F, 0x7F, 0x01, 0x01, 0x11, 0x00, 0x00, 0x00, 0xF7 } },
        { 24, 2'073'598, { 0x06, 0x11, 0x2B, 0x33, 0x4B, 0x53, 0x67, 0x71 }, { 0xF0, 0x7F, 0x7F, 0x01, 0x01, 0x17, 0x3B, 0x3B, 0x16, 0xF7 } },
        { 24, 2'073'600, { 0x00, 0x10, 0x20, 0x30, 0x40, 0x50, 0x68, 0x71 }, { 0xF0, 0x7F, 0x7F, 0x01, 0x01, 0x18, 0x00, 0x00, 0x00, 0xF7 } },
        { 30, 0, { 0x00, 0x10, 0x20, 0x30, 0x40, 0x50, 0x60, 0x76 }, { 0xF0, 0x7F, 0x7F, 0x01, 0x01, 0x00, 0x00, 0x00, 0x00, 0xF7 } },
    };
    // clang-format on

    for (const auto& e : examples)
    {
        SCOPED_TRACE (testing::Message() << e.position << " at " << e.rate);
        EXPECT_EQ (quarterFrameDataBytes (e.position, e.rate), e.quarterFrames);
        EXPECT_EQ (fullFrameBytes (e.position, e.rate), e.fullFrame);
    }
}

TEST (MtcMessages, PieceSevenCarriesRateCodeAndHourBitFour)
{
    struct Case
    {
        int rate;
        int hours;
        int piece7;
        int fullFrameHour;
    };
    const Case cases[] = {
        { 24, 0, 0x70, 0x00 }, { 24, 15, 0x70, 0x0F }, { 24, 16, 0x71, 0x10 }, { 24, 31, 0x71, 0x1F },
        { 30, 0, 0x76, 0x00 }, { 30, 10, 0x76, 0x0A }, { 30, 16, 0x77, 0x10 }, { 30, 31, 0x77, 0x1F },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (testing::Message() << c.hours << "h at " << c.rate);
        const juce::int64 position = (juce::int64) c.hours * 3600 * c.rate;
        EXPECT_EQ (quarterFrameDataBytes (position, c.rate)[7], c.piece7);
        EXPECT_EQ (fullFrameBytes (position, c.rate)[5], c.fullFrameHour);
    }
}

TEST (MtcMessages, PositionSplitAtTheOtherRate)
{
    const auto parts = MtcMessages::splitPosition (108'000, 24);
    EXPECT_EQ (parts.hours, 1);
    EXPECT_EQ (parts.minutes, 15);
    EXPECT_EQ (parts.seconds, 0);
    EXPECT_EQ (parts.frames, 0);
    EXPECT_EQ (MtcMessages::quarterFramesPerSecond (24), 96.0);
    EXPECT_EQ (MtcMessages::quarterFramesPerSecond (30), 120.0);
}
