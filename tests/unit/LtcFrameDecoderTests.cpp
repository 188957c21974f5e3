/*
    ZEM Quillbank - LTC to MTC converter and MIDI merger
    Copyright (C) 2026 ZEM. GPL-3.0-or-later.
*/

#include "engine/AudioInputListener.h"
#include "platform/VirtualMidiDevices.h"
#include "support/LtcTestWriter.h"

#include <gtest/gtest.h>

#include <limits>
#include <utility>

namespace
{
constexpr juce::int64 untouched = std::numeric_limits<juce::int64>::min();

/** A decoder fed bit by bit, recording every count it forms. */
struct FrameDecoderFixture : public AudioInputListener::FrameWatcher
{
    FrameDecoderFixture (int inputRate = 30, int outputRate = 30, bool pullDown = false, int offset = 0)
    {
        listener.mtcThread.inputFrameRate = inputRate;
        listener.mtcThread.outputFrameRate = outputRate;
        listener.pullDownInput = pullDown;
        listener.frameOffset = offset;
        listener.frameWatcher = this;
        listener.mtcThread.lastEvenLtcFrame = untouched;
    }

    void frameCounted (juce::int64 count) override { counts.push_back (count); }

    void push (const LtcTestWriter::FrameBits& bits, int firstBit = 0)
    {
        for (int k = firstBit; k < 80; ++k)
            listener.addBit (bits[(size_t) k] ? 1 : 0);
    }

    void push (LtcTime time) { push (LtcTestWriter::frameBits (time)); }

    /** Takes the generator's flag as its pass would. */
    bool takeNewFrame() { return listener.mtcThread.newLtcFrame.exchange (false); }

    bool registerIsClear() const
    {
        for (auto byte : listener.ltcBits)
            if (byte != 0)
                return false;

        return true;
    }

    VirtualMidiDevices devices;
    AudioInputListener listener { devices };
    std::vector<juce::int64> counts;
};

LtcTestWriter::FrameBits frameWithRawFrameDigits (unsigned tens, unsigned units)
{
    auto bits = LtcTestWriter::frameBits ({});
    LtcTestWriter::setField (bits, 8, 2, tens);
    LtcTestWriter::setField (bits, 0, 4, units);
    return bits;
}

LtcTestWriter::FrameBits frameWithLargestDigits()
{
    auto bits = LtcTestWriter::frameBits ({});

    for (auto [firstBit, width] :
         { std::pair (0, 4), { 8, 2 }, { 16, 4 }, { 24, 3 }, { 32, 4 }, { 40, 3 }, { 48, 4 }, { 56, 2 } })
        LtcTestWriter::setField (bits, firstBit, width, 0x0f);

    return bits;
}
} // namespace

TEST (LtcFrameDecoder, CountsAtTheOutputRateAndHandsOverEvenOnes)
{
    struct Case
    {
        const char* name;
        LtcTestWriter::FrameBits bits;
        int inputRate, outputRate;
        bool pullDown;
        int offset;
        juce::int64 count;
    };

    const LtcTime t { 1, 2, 3, 16 };
    const Case cases[] = {
        { "30 / 30", LtcTestWriter::frameBits (t), 30, 30, false, 0, 111'706 },
        { "29.97 / 30", LtcTestWriter::frameBits (t), 30, 30, true, 0, 111'817 },
        { "30 / 24: frame 16 becomes 12", LtcTestWriter::frameBits (t), 30, 24, false, 0, 89'364 },
        { "24 / 30: frame 16 becomes 20", LtcTestWriter::frameBits (t), 24, 30, false, 0, 111'710 },
        { "23.976 / 24", LtcTestWriter::frameBits (t), 24, 24, true, 0, 89'457 },
        { "user bits do not change the time", LtcTestWriter::frameBits ({ 0, 0, 3, 0 }, 0x0000'0500u), 30, 30, false, 0,
          90 },
        { "user bits everywhere", LtcTestWriter::frameBits (t, 0xffff'ffffu), 30, 30, false, 0, 111'706 },
        { "flags are ignored", LtcTestWriter::frameBits (t, 0, { 10, 11, 27, 43, 58, 59 }), 30, 30, false, 0, 111'706 },
        { "units above 9 count at their value", frameWithRawFrameDigits (1, 12), 30, 30, false, 0, 22 },
        { "hours above 23 do not wrap", LtcTestWriter::frameBits ({ 25, 0, 0, 0 }), 24, 24, false, 0, 2'160'000 },
        { "largest digits", frameWithLargestDigits(), 30, 30, false, 0, 5'015'595 },
        { "offset", LtcTestWriter::frameBits (t), 30, 30, false, -6, 111'700 },
        { "negative even count", LtcTestWriter::frameBits ({}), 24, 24, false, -2, -2 },
        { "negative odd count", LtcTestWriter::frameBits ({}), 24, 24, false, -3, -3 },
        { "pull-down truncates toward zero", LtcTestWriter::frameBits ({}), 24, 24, true, -3, -3 },
        { "pull-down scales the offset", LtcTestWriter::frameBits ({}), 30, 30, true, -1000, -1001 },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        FrameDecoderFixture f (c.inputRate, c.outputRate, c.pullDown, c.offset);
        f.push (c.bits);

        EXPECT_EQ (f.counts, std::vector<juce::int64> ({ c.count }));
        EXPECT_TRUE (f.registerIsClear());
        const bool even = (c.count % 2) == 0;
        EXPECT_EQ (f.takeNewFrame(), even);
        EXPECT_EQ (f.listener.mtcThread.lastEvenLtcFrame.load(), even ? c.count : untouched);
    }
}

TEST (LtcFrameDecoder, RescalesFrameNumbersBetweenRates)
{
    const std::vector<juce::int64> thirtyToTwentyFour { 0,  0,  1,  2,  3,  4,  4,  5,  6,  7,  8,  8,  9,  10, 11,
                                                        12, 12, 13, 14, 15, 16, 16, 17, 18, 19, 20, 20, 21, 22, 23 };
    const std::vector<juce::int64> twentyFourToThirty { 0,  1,  2,  3,  5,  6,  7,  8,  10, 11, 12, 13,
                                                        15, 16, 17, 18, 20, 21, 22, 23, 25, 26, 27, 28 };

    struct Case
    {
        int inputRate, outputRate;
        const std::vector<juce::int64>& frames;
    };

    for (const auto& c : { Case { 30, 24, thirtyToTwentyFour }, Case { 24, 30, twentyFourToThirty } })
    {
        SCOPED_TRACE (c.inputRate);
        FrameDecoderFixture f (c.inputRate, c.outputRate);

        for (int frame = 0; frame < c.inputRate; ++frame)
            f.push ({ 0, 0, 1, frame });

        std::vector<juce::int64> frames;

        for (auto count : f.counts)
            frames.push_back (count - c.outputRate);

        EXPECT_EQ (frames, c.frames);
    }
}

TEST (LtcFrameDecoder, ConsecutiveFramesHandOverEverySecondOne)
{
    FrameDecoderFixture f;
    std::vector<juce::int64> handedOver;
    LtcTime t { 0, 59, 59, 25 };

    for (int i = 0; i < 10; ++i, t = t.next (30))
    {
        f.push (t);

        if (f.takeNewFrame())
            handedOver.push_back (f.listener.mtcThread.lastEvenLtcFrame);
    }

    EXPECT_EQ (f.counts.size(), 10u);
    EXPECT_EQ (handedOver, std::vector<juce::int64> ({ 107'996, 107'998, 108'000, 108'002, 108'004 }));
}

TEST (LtcFrameDecoder, WindowAroundTheGeneratorPosition)
{
    struct Case
    {
        juce::int64 count;
        int mismatchAfter;
    };
    const Case cases[] = { { 1'000, 0 }, { 1'002, 0 }, { 998, 3 }, { 1'004, 3 } };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.count);
        FrameDecoderFixture f (24, 24);
        f.listener.mtcThread.mtcPosition = 1'000;
        f.listener.mismatchCount = 2;
        f.listener.frameOffset = (int) c.count;
        f.push (LtcTime {});

        EXPECT_EQ (f.listener.mismatchCount, c.mismatchAfter);
        EXPECT_EQ (f.listener.mtcThread.mtcPosition.load(), 1'000);
    }
}

TEST (LtcFrameDecoder, ResynchronisesAfterMoreThanThresholdFramesOutsideTheWindow)
{
    FrameDecoderFixture f (24, 24);
    f.listener.resyncThreshold = 5;
    f.listener.mtcThread.mtcPosition = 1'000;
    f.listener.mtcThread.lastBlockPosition = 1'000;

    // Five strays, then one inside: absorbed.
    for (int i = 0; i < 5; ++i)
        f.push ({ 0, 0, 0, 2 * i });

    EXPECT_EQ (f.listener.mismatchCount, 5);
    f.listener.frameOffset = 1'000;
    f.push (LtcTime {});
    EXPECT_EQ (f.listener.mismatchCount, 0);
    EXPECT_EQ (f.listener.mtcThread.mtcPosition.load(), 1'000);

    // Six strays in a row: the sixth moves both positions to its count.
    f.listener.frameOffset = 0;

    for (int i = 0; i < 6; ++i)
        f.push ({ 0, 0, 1, 2 * i });

    EXPECT_EQ (f.listener.mismatchCount, 0);
    EXPECT_EQ (f.listener.mtcThread.mtcPosition.load(), 34);
    EXPECT_EQ (f.listener.mtcThread.lastBlockPosition.load(), 34);
    EXPECT_TRUE (f.takeNewFrame());
}

TEST (LtcFrameDecoder, SyncWordAfterFewerThanEightyBitsDecodesWhatTheRegisterHolds)
{
    FrameDecoderFixture f;
    f.push (LtcTime { 5, 6, 7, 8 });

    // Only bits 30 to 79 of the next frame arrive; the earlier ones are the zeros left by the clear.
    f.push (LtcTestWriter::frameBits ({ 1, 2, 3, 16 }), 30);

    ASSERT_EQ (f.counts.size(), 2u);
    EXPECT_EQ (f.counts[1], 111'600);
    EXPECT_TRUE (f.takeNewFrame());
    EXPECT_EQ (f.listener.mtcThread.lastEvenLtcFrame.load(), 111'600);
}

TEST (LtcFrameDecoder, ReversedLtcNeverDecodes)
{
    FrameDecoderFixture f;
    LtcTime t { 1, 0, 0, 0 };

    for (int i = 0; i < 40; ++i, t = t.next (30))
    {
        const auto bits = LtcTestWriter::withPhaseCorrection (LtcTestWriter::frameBits (t));

        for (int k = 79; k >= 0; --k)
            f.listener.addBit (bits[(size_t) k] ? 1 : 0);
    }

    EXPECT_TRUE (f.counts.empty());
    EXPECT_FALSE (f.registerIsClear());
    EXPECT_FALSE (f.takeNewFrame());
}
