/*
    ZEM Quillbank - LTC to MTC converter and MIDI merger
    Copyright (C) 2026 ZEM. GPL-3.0-or-later.
*/

#include "engine/AudioInputListener.h"
#include "platform/VirtualMidiDevices.h"
#include "support/LibLtcSignal.h"
#include "support/TestAudioDeviceType.h"

#include <gtest/gtest.h>

#include <cmath>

namespace
{
struct CountRecorder final : public AudioInputListener::FrameWatcher
{
    void frameCounted (juce::int64 count) override { counts.push_back (count); }
    std::vector<juce::int64> counts;
};

/** The count a frame of this time should give, worked out from the time as written. */
juce::int64 expectedCount (const LtcTime& t, int inputRate, int outputRate, bool pullDown)
{
    const juce::int64 frames = inputRate == outputRate ? t.frames : (juce::int64) t.frames * outputRate / inputRate;
    const juce::int64 count = (((juce::int64) t.hours * 60 + t.minutes) * 60 + t.seconds) * outputRate + frames;

    if (! pullDown)
        return count;

    return (juce::int64) ((double) (count * outputRate) / (outputRate == 30 ? 29.97 : 23.976));
}
} // namespace

TEST (LibLtcDecode, EveryFrameLibLtcWritesDecodesToItsCount)
{
    struct Rate
    {
        double framesPerSecond;
        int nominal;
        bool pullDown;
    };
    const Rate rates[] = {
        { 24.0, 24, false }, { 30.0, 30, false }, { 24000.0 / 1001.0, 24, true }, { 30000.0 / 1001.0, 30, true }
    };
    const int blockSizes[] = { 1, 64, 512, 4096 };
    const int numFrames = 40;

    VirtualMidiDevices devices;
    TestAudioDeviceType deviceType;
    int caseNumber = 0;

    for (const auto& rate : rates)
        for (const double sampleRate : { 44100.0, 48000.0, 96000.0 })
            for (const double level : { -3.0, -18.0 })
                for (const double snr : { std::numeric_limits<double>::infinity(), 30.0 })
                    for (const int outputRate : { rate.nominal, rate.nominal == 24 ? 30 : 24 })
                    {
                        // The other output rate only at 48 kHz, which keeps the table short.
                        if (outputRate != rate.nominal && sampleRate != 48000.0)
                            continue;

                        ++caseNumber;
                        SCOPED_TRACE (juce::String (rate.framesPerSecond, 3) + " fps to " + juce::String (outputRate)
                                      + ", " + juce::String (sampleRate) + " Hz, " + juce::String (level)
                                      + " dBFS, SNR " + juce::String (snr));

                        LibLtcSignal::Options options;
                        options.framesPerSecond = rate.framesPerSecond;
                        options.sampleRate = sampleRate;
                        options.levelDbfs = level;
                        options.snrDb = snr;
                        options.start = { 0, 59, 59, rate.nominal - numFrames / 2 };
                        options.numFrames = numFrames;
                        options.noiseSeed = (std::uint32_t) caseNumber;
                        const LibLtcSignal signal (options);

                        AudioInputListener listener (devices);
                        CountRecorder recorder;
                        listener.frameWatcher = &recorder;
                        listener.mtcThread.inputFrameRate = rate.nominal;
                        listener.mtcThread.outputFrameRate = outputRate;
                        listener.pullDownInput = rate.pullDown;

                        std::unique_ptr<juce::AudioIODevice> device (
                            deviceType.createDevice ({}, TestAudioDeviceType::deviceName));
                        device->open (1, 0, sampleRate, 512);
                        listener.audioDeviceAboutToStart (device.get());

                        // Block sizes vary within the stream and start at a different place in each case.
                        for (size_t start = 0, block = (size_t) caseNumber; start < signal.samples.size(); ++block)
                        {
                            const auto length =
                                (int) std::min ((size_t) blockSizes[block % 4], signal.samples.size() - start);
                            const float* channels[] = { signal.samples.data() + start };
                            listener.audioDeviceIOCallbackWithContext (channels, 1, nullptr, 0, length, {});
                            start += (size_t) length;
                        }

                        // The last frame completes only with the signal that would follow it.
                        std::vector<juce::int64> expected;

                        for (size_t i = 0; i + 1 < signal.frames.size(); ++i)
                            expected.push_back (
                                expectedCount (signal.frames[i].time, rate.nominal, outputRate, rate.pullDown));

                        if (recorder.counts.size() + 1 == expected.size())
                            expected.erase (expected.begin());

                        EXPECT_EQ (recorder.counts, expected);
                    }
}
