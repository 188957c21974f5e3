/*
    ZEM Quillbank - LTC to MTC converter and MIDI merger
    Copyright (C) 2026 ZEM. GPL-3.0-or-later.
*/

// Our LTC decoder against libltc's on the same samples: time per sample over ten minutes of
// 48 kHz LTC, and the frames each recovers at falling levels and in white noise.

#include "engine/AudioInputListener.h"
#include "platform/VirtualMidiDevices.h"
#include "support/LibLtcSignal.h"
#include "support/TestAudioDeviceType.h"

#include <ltc.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <set>

namespace
{
constexpr double sampleRate = 48000.0;
constexpr int frameRate = 30;

struct CountList final : public AudioInputListener::FrameWatcher
{
    void frameCounted (juce::int64 count) override { counts.push_back (count); }
    std::vector<juce::int64> counts;
};

juce::int64 countOf (int hours, int minutes, int seconds, int frames)
{
    return (((juce::int64) hours * 60 + minutes) * 60 + seconds) * frameRate + frames;
}

/** Runs our decoder over the samples in blocks of 512; returns nanoseconds per sample. */
double runOurs (const std::vector<float>& samples, CountList& found)
{
    VirtualMidiDevices devices;
    TestAudioDeviceType deviceType;
    AudioInputListener listener (devices);
    listener.mtcThread.inputFrameRate = frameRate;
    listener.mtcThread.outputFrameRate = frameRate;
    listener.frameWatcher = &found;

    std::unique_ptr<juce::AudioIODevice> device (deviceType.createDevice ({}, TestAudioDeviceType::deviceName));
    device->open (1, 0, sampleRate, 512);
    listener.audioDeviceAboutToStart (device.get());

    const auto start = std::chrono::steady_clock::now();

    for (size_t i = 0; i < samples.size(); i += 512)
    {
        const float* channels[] = { samples.data() + i };
        listener.audioDeviceIOCallbackWithContext (channels, 1, nullptr, 0,
                                                   (int) std::min<size_t> (512, samples.size() - i), {});
    }

    const std::chrono::duration<double, std::nano> elapsed = std::chrono::steady_clock::now() - start;
    return elapsed.count() / (double) samples.size();
}

/** Runs libltc's decoder over the samples in chunks of 1,000; returns nanoseconds per sample. */
double runLibLtc (std::vector<float> samples, std::vector<juce::int64>& found)
{
    LTCDecoder* decoder = ltc_decoder_create ((int) (sampleRate / frameRate), 64);
    LTCFrameExt frame;
    const auto start = std::chrono::steady_clock::now();

    for (size_t i = 0; i < samples.size(); i += 1000)
    {
        ltc_decoder_write_float (decoder, samples.data() + i, std::min<size_t> (1000, samples.size() - i),
                                 (ltc_off_t) i);

        while (ltc_decoder_read (decoder, &frame) > 0)
        {
            SMPTETimecode time;
            ltc_frame_to_time (&time, &frame.ltc, 0);
            found.push_back (countOf (time.hours, time.mins, time.secs, time.frame));
        }
    }

    const std::chrono::duration<double, std::nano> elapsed = std::chrono::steady_clock::now() - start;
    ltc_decoder_free (decoder);
    return elapsed.count() / (double) samples.size();
}

LibLtcSignal makeSignal (double levelDbfs, double snrDb, int numFrames)
{
    LibLtcSignal::Options options;
    options.framesPerSecond = frameRate;
    options.sampleRate = sampleRate;
    options.levelDbfs = levelDbfs;
    options.snrDb = snrDb;
    options.start = { 0, 59, 0, 0 };
    options.numFrames = numFrames;
    return LibLtcSignal (options);
}

struct Score
{
    int recovered = 0; ///< frames of the signal (all but its last, which nothing completes) read with their own time
    int wrong = 0;     ///< frames read with a time that was not sent
};

Score score (const LibLtcSignal& signal, const std::vector<juce::int64>& found)
{
    std::set<juce::int64> sent, read (found.begin(), found.end());

    for (size_t i = 0; i + 1 < signal.frames.size(); ++i)
    {
        const auto& t = signal.frames[i].time;
        sent.insert (countOf (t.hours, t.minutes, t.seconds, t.frames));
    }

    Score result;

    for (auto count : sent)
        result.recovered += read.count (count) > 0 ? 1 : 0;

    for (auto count : found)
        result.wrong += sent.count (count) == 0 ? 1 : 0;

    return result;
}
} // namespace

int main()
{
    const juce::ScopedJuceInitialiser_GUI juce;

    {
        const auto signal = makeSignal (-3.0, std::numeric_limits<double>::infinity(), 10 * 60 * frameRate);
        std::printf ("Speed: 10 minutes of 30 fps LTC at 48 kHz, -3 dBFS (%zu samples), best of 3 runs\n",
                     signal.samples.size());

        double ours = 1e9, theirs = 1e9;
        int oursFound = 0, theirsFound = 0;

        for (int run = 0; run < 3; ++run)
        {
            CountList ourFrames;
            ours = std::min (ours, runOurs (signal.samples, ourFrames));
            oursFound = score (signal, ourFrames.counts).recovered;

            std::vector<juce::int64> libLtcFrames;
            theirs = std::min (theirs, runLibLtc (signal.samples, libLtcFrames));
            theirsFound = score (signal, libLtcFrames).recovered;
        }

        std::printf ("  ours:   %6.3f ns/sample, %d of %zu frames\n", ours, oursFound, signal.frames.size() - 1);
        std::printf ("  libltc: %6.3f ns/sample, %d of %zu frames\n", theirs, theirsFound, signal.frames.size() - 1);
        std::printf ("  ratio ours / libltc: %.3f\n\n", ours / theirs);
    }

    struct Condition
    {
        double levelDbfs;
        double snrDb;
    };
    const Condition conditions[] = {
        { -1, INFINITY },  { -6, INFINITY }, { -12, INFINITY }, { -18, INFINITY }, { -20, INFINITY },
        { -24, INFINITY }, { -6, 40 },       { -6, 20 },        { -6, 10 },
    };

    const int numFrames = 20 * frameRate + 1;
    std::printf ("Robustness: 20 s of 30 fps LTC at 48 kHz (%d frames); frames recovered with their own time\n",
                 numFrames - 1);
    std::printf ("  %-10s %-8s %14s %14s\n", "level", "SNR", "ours", "libltc");

    for (const auto& c : conditions)
    {
        const auto signal = makeSignal (c.levelDbfs, c.snrDb, numFrames);
        CountList ourFrames;
        runOurs (signal.samples, ourFrames);
        std::vector<juce::int64> libLtcFrames;
        runLibLtc (signal.samples, libLtcFrames);

        const auto ours = score (signal, ourFrames.counts);
        const auto theirs = score (signal, libLtcFrames);
        const auto snr = std::isfinite (c.snrDb) ? juce::String (c.snrDb, 0) + " dB" : juce::String ("none");
        std::printf ("  %-10s %-8s %8d (%3d) %8d (%3d)\n", (juce::String (c.levelDbfs, 0) + " dBFS").toRawUTF8(),
                     snr.toRawUTF8(), ours.recovered, ours.wrong, theirs.recovered, theirs.wrong);
    }

    std::printf ("  (in brackets: frames read with a time that was never sent)\n");
    return 0;
}
