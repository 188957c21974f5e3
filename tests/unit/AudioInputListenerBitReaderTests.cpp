/*
    ZEM Quillbank - LTC to MTC converter and MIDI merger
    Copyright (C) 2026 ZEM. GPL-3.0-or-later.
*/

#include "engine/AudioInputListener.h"
#include "platform/VirtualMidiDevices.h"
#include "support/LtcTestWriter.h"
#include "support/TestAudioDeviceType.h"

#include <gtest/gtest.h>

#include <cmath>
#include <bitset>
#include <functional>
#include <limits>
#include <random>

namespace
{
/** A decoder whose device start and blocks the test drives by hand. */
struct BitReaderFixture
{
    explicit BitReaderFixture (double sampleRate = 48000.0, int inputRate = 30, int bufferSize = 512)
    {
        startDevice (sampleRate, inputRate, bufferSize);
    }

    void startDevice (double sampleRate, int inputRate, int bufferSize = 512)
    {
        listener.mtcThread.inputFrameRate = inputRate;
        std::unique_ptr<juce::AudioIODevice> device (deviceType.createDevice ({}, TestAudioDeviceType::deviceName));
        device->open (1, 0, sampleRate, bufferSize);
        listener.audioDeviceAboutToStart (device.get());
    }

    void feed (const std::vector<float>& samples, int blockSize)
    {
        for (size_t start = 0; start < samples.size(); start += (size_t) blockSize)
        {
            const auto length = (int) std::min ((size_t) blockSize, samples.size() - start);
            const float* channels[] = { samples.data() + start };
            listener.audioDeviceIOCallbackWithContext (channels, 1, nullptr, 0, length, {});
        }
    }

    /** Empties the frame register but for a marker bit, so that later bits can be read back. */
    void markRegister()
    {
        listener.ltcBits.fill (0);
        listener.ltcBits[9] = 0x80;
    }

    /** The bits that arrived since markRegister(), oldest first. */
    std::vector<int> bitsSinceMark() const
    {
        int marker = 0;

        while (marker < 80 && ! bitAt (marker))
            ++marker;

        std::vector<int> bits;

        for (int k = marker + 1; k < 80; ++k)
            bits.push_back (bitAt (k) ? 1 : 0);

        return bits;
    }

    bool bitAt (int k) const { return ((listener.ltcBits[(size_t) k / 8] >> (k % 8)) & 1) != 0; }

    VirtualMidiDevices devices;
    TestAudioDeviceType deviceType;
    AudioInputListener listener { devices };
};

/** The rule as a plain per-sample loop, to hold the block decoder to it. */
struct ReferenceBitReader
{
    void feed (const float* samples, int numSamples)
    {
        for (int i = 0; i < numSamples; ++i)
        {
            const float v = 10.0f * samples[i];

            if (count < std::numeric_limits<int>::max())
                ++count;

            if (v > 0)
            {
                if (negativePeak < 0)
                    classify();

                negativePeak = 0;

                if (v > (float) positivePeak)
                    positivePeak = v >= 2147483648.0f ? std::numeric_limits<int>::max() : (int) v;
            }
            else if (v < 0)
            {
                if (positivePeak > 0)
                    classify();

                positivePeak = 0;

                if (v < (float) negativePeak)
                    negativePeak = v <= -2147483648.0f ? std::numeric_limits<int>::min() : (int) v;
            }
        }
    }

    void classify()
    {
        if (count > shortMin && count < shortMax)
        {
            if (halfBit)
                addBit (1);

            halfBit = ! halfBit;
        }
        else if (count > longMin)
        {
            addBit (0);
        }

        count = 0;
    }

    void addBit (int bit)
    {
        register80 = (register80 >> 1) | (bit ? std::bitset<80>().set (79) : std::bitset<80>());

        if (((register80 >> 64).to_ulong() & 0xffff) == 0xbffc)
        {
            register80.reset();
            ++frames;
        }
    }

    int shortMin = 5, shortMax = 13, longMin = 15;
    int count = 0, positivePeak = 0, negativePeak = 0, frames = 0;
    bool halfBit = false;
    std::bitset<80> register80 = std::bitset<80>().set (3).set (72);
};

std::bitset<80> registerOf (const AudioInputListener& listener)
{
    std::bitset<80> bits;

    for (size_t k = 0; k < 80; ++k)
        bits[k] = ((listener.ltcBits[k / 8] >> (k % 8)) & 1) != 0;

    return bits;
}

struct FrameCounter final : public AudioInputListener::FrameWatcher
{
    void frameCounted (juce::int64) override { ++frames; }
    int frames = 0;
};
} // namespace

TEST (AudioInputListenerBitReader, LimitsFollowSampleRateInputRateAndBufferSize)
{
    struct Case
    {
        double sampleRate;
        int inputRate;
        int bufferSize;
        int shortMin, shortMax, longMin, resync;
    };
    const Case cases[] = {
        { 48000, 30, 512, 5, 13, 15, 5 }, { 48000, 24, 1024, 6, 16, 19, 10 }, { 44100, 30, 2048, 4, 11, 13, 20 },
        { 44100, 24, 614, 5, 14, 17, 5 }, { 96000, 30, 615, 10, 26, 30, 6 },  { 96000, 24, 64, 12, 32, 38, 5 },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (juce::String (c.sampleRate) + " Hz, " + juce::String (c.inputRate) + " fps, "
                      + juce::String (c.bufferSize));
        BitReaderFixture f (c.sampleRate, c.inputRate, c.bufferSize);
        EXPECT_EQ (f.listener.shortMinSamples, c.shortMin);
        EXPECT_EQ (f.listener.shortMaxSamples, c.shortMax);
        EXPECT_EQ (f.listener.longMinSamples, c.longMin);
        EXPECT_EQ (f.listener.resyncThreshold, c.resync);
    }
}

TEST (AudioInputListenerBitReader, IntervalsAndLevelsGiveTheBitsOfTheRule)
{
    // 48 kHz at 30 fps: a half bit is 6 to 12 samples, a 0 bit 16 or more. Every signal starts
    // with a loud positive run of 20 samples, whose end is a 0 bit of its own.
    using Build = std::function<void (LtcTestWriter&)>;
    struct Case
    {
        const char* name;
        Build build;
        std::vector<int> bits;
        bool halfBitPending;
    };

    const auto belowThreshold = std::nextafter (0.1f, 0.0f);
    // One case a line or two; the formatter would spread each lambda and its row over several.
    // clang-format off
    const Case cases[] = {
        { "short, long, short", [] (auto& w) { w.runs ({ 10, 20, 10 }); }, { 0, 0, 1 }, false },
        { "edges of the classes", [] (auto& w) { w.runs ({ 6, 12, 16, 15 }); }, { 0, 1, 0 }, false },
        { "out-of-window intervals keep the half bit", [] (auto& w) { w.runs ({ 10, 13, 14, 15, 5, 1 }); }, { 0 }, true },
        { "and it pairs with the next short one", [] (auto& w) { w.runs ({ 10, 13, 14, 15, 5, 10 }); }, { 0, 1 }, false },
        { "peak exactly 0.1 counts", [] (auto& w) { w.level (0.1f).runs ({ 20, 20, 20 }); }, { 0, 0, 0, 0 }, false },
        { "peak just below 0.1 does not", [=] (auto& w) { w.level (belowThreshold).runs ({ 20, 20, 20 }); }, { 0 }, false },
        { "quiet positive half-waves: intervals span two",
          [] (auto& w) { w.level (0.5f).runs ({ 10 }).level (0.05f).runs ({ 10 }).level (0.5f).runs ({ 10 }).level (0.05f).runs ({ 10 }); },
          { 0, 0 }, true },
        { "a quiet blip splits a half-wave",
          [] (auto& w) { w.runs ({ 8 }).level (0.05f).runs ({ 1 }).level (0.5f).runs ({ 11 }); }, { 0, 1 }, false },
        { "zeros neither end nor split a half-wave",
          [] (auto& w) { w.silence (4).runs ({ 6 }).silence (4).runs ({ 10 }); }, { 0, 1 }, false },
    };
    // clang-format on

    for (const auto& c : cases)
    {
        LtcTestWriter writer;
        writer.level (0.5f).runs ({ 20 });
        c.build (writer);
        writer.edge();

        for (const int blockSize : { 1, 7, 32, 33, 4096 })
        {
            SCOPED_TRACE (juce::String (c.name) + ", blocks of " + juce::String (blockSize));
            BitReaderFixture f;
            f.markRegister();
            f.feed (writer.samples(), blockSize);
            EXPECT_EQ (f.bitsSinceMark(), c.bits);
            EXPECT_EQ (f.listener.halfBitPending, c.halfBitPending);
        }
    }
}

TEST (AudioInputListenerBitReader, BlocksMatchThePerSampleRuleOnAnySignal)
{
    // Runs of random length, sign and level around the threshold, with zeros, NaN and
    // out-of-range samples, compared after every block with a plain per-sample loop.
    std::mt19937 random (7);
    std::vector<float> samples;
    const float levels[] = { 0.5f,
                             0.1f,
                             std::nextafter (0.1f, 0.0f),
                             0.03f,
                             0.0f,
                             1.0e20f,
                             std::numeric_limits<float>::quiet_NaN(),
                             std::numeric_limits<float>::infinity() };

    while (samples.size() < 200'000)
    {
        const auto length = std::uniform_int_distribution<int> (1, 30) (random);
        // Mostly levels around the threshold; now and then a zero, NaN or out-of-range run.
        const auto level = levels[std::uniform_int_distribution<int> (0, random() % 4 == 0 ? 7 : 2) (random)];
        const float sign = (random() & 1) != 0 ? 1.0f : -1.0f;
        samples.insert (samples.end(), (size_t) length, sign * level);
    }

    for (const int blockSize : { 1, 31, 32, 33, 512, 4096 })
    {
        SCOPED_TRACE (blockSize);
        BitReaderFixture f;
        FrameCounter frames;
        f.listener.frameWatcher = &frames;
        ReferenceBitReader reference;

        for (size_t start = 0; start < samples.size(); start += (size_t) blockSize)
        {
            const auto length = (int) std::min ((size_t) blockSize, samples.size() - start);
            const float* channels[] = { samples.data() + start };
            f.listener.audioDeviceIOCallbackWithContext (channels, 1, nullptr, 0, length, {});
            reference.feed (samples.data() + start, length);

            ASSERT_EQ (registerOf (f.listener), reference.register80) << "after sample " << start + (size_t) length;
            ASSERT_EQ (f.listener.samplesSinceCrossing, reference.count);
            ASSERT_EQ (f.listener.positivePeak, reference.positivePeak);
            ASSERT_EQ (f.listener.negativePeak, reference.negativePeak);
            ASSERT_EQ (f.listener.halfBitPending, reference.halfBit);
        }

        EXPECT_EQ (frames.frames, reference.frames);
    }
}

TEST (AudioInputListenerBitReader, BlocksWithoutInputAreSilenceAndOutputsAreCleared)
{
    BitReaderFixture f;
    f.markRegister();
    std::vector<float> left (64, 1.0f), right (64, 1.0f);
    float* outputs[] = { left.data(), nullptr, right.data() };
    const float* missingChannel[] = { nullptr };

    f.listener.audioDeviceIOCallbackWithContext (nullptr, 0, outputs, 3, 64, {});
    f.listener.audioDeviceIOCallbackWithContext (missingChannel, 1, outputs, 3, 64, {});
    EXPECT_EQ (f.listener.samplesSinceCrossing, 128);
    EXPECT_EQ (left, std::vector<float> (64, 0.0f));
    EXPECT_EQ (right, std::vector<float> (64, 0.0f));

    // A block of no samples changes nothing.
    left.assign (64, 1.0f);
    f.listener.audioDeviceIOCallbackWithContext (nullptr, 0, outputs, 3, 0, {});
    EXPECT_EQ (f.listener.samplesSinceCrossing, 128);
    EXPECT_EQ (left, std::vector<float> (64, 1.0f));
    EXPECT_TRUE (f.bitsSinceMark().empty());
}

TEST (AudioInputListenerBitReader, InputRateChangeWaitsForTheNextDeviceStart)
{
    BitReaderFixture f (48000.0, 30);
    f.listener.mtcThread.inputFrameRate = 24;

    // 14 samples is no bit at the limits of 30 but a half bit at those of 24.
    LtcTestWriter writer;
    writer.runs ({ 20, 14, 14 }).edge();
    f.markRegister();
    f.feed (writer.samples(), 512);
    EXPECT_EQ (f.listener.shortMaxSamples, 13);
    EXPECT_EQ (f.bitsSinceMark(), std::vector<int> ({ 0 }));

    f.startDevice (48000.0, 24);
    EXPECT_EQ (f.listener.shortMaxSamples, 16);
    f.markRegister();
    f.feed (writer.samples(), 512);
    EXPECT_EQ (f.bitsSinceMark(), std::vector<int> ({ 0, 1 }));
}

TEST (AudioInputListenerBitReader, SilenceOfAnyLengthEndsInExactlyOneZeroBit)
{
    const auto longSilence = [] (BitReaderFixture& f)
    {
        // More than twelve hours at 48 kHz, in blocks that carry no input channel.
        for (int i = 0; i < 2100; ++i)
            f.listener.audioDeviceIOCallbackWithContext (nullptr, 0, nullptr, 0, 1 << 20, {});
    };
    const auto nearTheCeiling = [] (BitReaderFixture& f)
    {
        f.listener.samplesSinceCrossing = std::numeric_limits<int>::max() - 1000;
        f.feed (std::vector<float> (5000, 0.0f), 512);
    };

    for (const auto& silence : { std::function<void (BitReaderFixture&)> (longSilence),
                                 std::function<void (BitReaderFixture&)> (nearTheCeiling) })
    {
        BitReaderFixture f;
        LtcTestWriter loud;
        loud.runs ({ 20, 10, 10 });
        f.feed (loud.samples(), 512);
        f.markRegister();

        silence (f);
        EXPECT_EQ (f.listener.samplesSinceCrossing, std::numeric_limits<int>::max());

        f.feed ({ -0.5f }, 1);
        EXPECT_EQ (f.bitsSinceMark(), std::vector<int> ({ 0 }));
        EXPECT_EQ (f.listener.samplesSinceCrossing, 0);
        EXPECT_TRUE (f.listener.halfBitPending);
    }
}
