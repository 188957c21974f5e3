/*
    ZEM Quillbank - LTC to MTC converter and MIDI merger
    Copyright (C) 2026 ZEM. GPL-3.0-or-later.
*/

#include "support/ShowRun.h"
#include "support/AppFixture.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <map>

namespace
{
constexpr int mergeChannel = 12;
constexpr double defaultSoakSeconds = 600.0;

// After a jump the decoder needs six disagreeing even frames before the position follows; a
// second covers that and a late pass or two.
constexpr double followWithinMs = 1000.0;
constexpr double graceMs = 200.0, graceSlackMs = 150.0;

double soakSeconds()
{
    if (const char* text = std::getenv ("QUILLBANK_SOAK_SECONDS"))
        if (const auto seconds = std::atof (text); seconds > 0)
            return seconds;

    return defaultSoakSeconds;
}

juce::String describe (const LtcTime& time)
{
    return juce::String::formatted ("%02d:%02d:%02d:%02d", time.hours, time.minutes, time.seconds, time.frames);
}

/** One pass of the show's signal: LTC that runs, stops, starts again, jumps back an hour, jumps
    on to just before midnight and runs over it, then stops.
*/
LtcReference buildCycle (double sampleRate, double framesPerSecond, const ShowRates& rates)
{
    LtcReference cycle (rates);

    auto segment = [&] (LtcTime start, double seconds)
    {
        LibLtcSignal::Options options;
        options.framesPerSecond = framesPerSecond;
        options.sampleRate = sampleRate;
        options.start = start;
        options.numFrames = (int) std::lround (seconds * framesPerSecond);
        cycle.append (LibLtcSignal (options));
    };

    segment ({ 10, 0, 0, 0 }, 15.0);
    cycle.appendSilence ((juce::int64) (2.0 * sampleRate));
    segment ({ 10, 0, 20, 0 }, 10.0);
    segment ({ 9, 0, 30, 0 }, 10.0);
    segment ({ 23, 59, 50, 0 }, 20.0);
    cycle.appendSilence ((juce::int64) (2.0 * sampleRate));
    return cycle;
}
} // namespace

//==============================================================================
using Soak = AppFixture;

TEST_F (Soak, LtcStopsRestartsJumpsAndCrossesMidnightWhileTheMergerIsFlooded)
{
    const ShowRates rates { 30, true, 30 };
    devices.setOutputNames ({ "Soak Out" });
    devices.setInputNames ({ "Soak In" });
    writeAutosave ("4\n2\n0\n1\nSoak Out\nSoak In\n1\n1\n" + std::to_string (mergeChannel) + "\n");
    start();
    pump (300);

    ASSERT_TRUE (app->audioInputListener.mtcThread.midiOutputActive);
    ASSERT_EQ (devices.getNumHandlers ("Soak In"), 1);
    auto* device = app->deviceManager.getCurrentAudioDevice();
    ASSERT_NE (device, nullptr);
    const auto sampleRate = device->getCurrentSampleRate();

    const auto cycle = buildCycle (sampleRate, 30000.0 / 1001.0, rates);
    const auto cycleLength = (juce::int64) cycle.samples.size();
    const auto cycles = std::max (1, (int) std::lround (soakSeconds() * sampleRate / (double) cycleLength));
    const auto totalSamples = cycles * cycleLength;
    const auto totalSeconds = (double) totalSamples / sampleRate;

    auto log = devices.getOutputLog ("Soak Out");
    log->clear();

    const auto blockMs = 1000.0 * device->getCurrentBufferSizeSamples() / sampleRate;
    LtcPlayback playback (cycle.samples, totalSamples, sampleRate, (size_t) (2 * totalSeconds * 1000 / blockMs) + 1000);
    MergerFeeder feeder (devices, "Soak In", mergedTestMessage, 500.0, 10, 0);

    MtcCollector mtc (rates.outputRate);
    mtc.keepSpacings = false;
    juce::int64 handedBlocks = 0, merged = 0, wrongMerged = 0;
    juce::int64 blocksChecked = 0, blocksOffTrack = 0, blocksAfterGrace = 0, worstSettledError = 0;
    std::map<juce::String, double> slowestFollowMs;
    juce::int64 currentRun = -1;
    bool currentRunFollowed = true;
    juce::String currentRunName;
    int runsNeverFollowed = 0;

    auto closeRun = [&]
    {
        if (currentRun >= 0 && ! currentRunFollowed)
        {
            ++runsNeverFollowed;
            ADD_FAILURE() << "MTC never followed the LTC " << currentRunName;
        }
    };

    // Each block is judged at the moment its schedule set for it: a pass that the machine held up
    // sends the due block late, with the position the schedule gives it (see the show runs).
    auto checkBlock = [&] (const MtcCollector::Block& block, double scheduledMs)
    {
        ++blocksChecked;
        const auto sample = playback.samplePlayingAt (scheduledMs);
        const auto* frame = cycle.frameAt (sample, true);

        if (frame == nullptr)
        {
            // Silence: only the grace after the last frame may still carry MTC.
            const auto* last = cycle.latestFrameAt (sample, true);
            const auto silentMs =
                last == nullptr ? 1e9 : (double) (sample % cycleLength - last->endSample) * 1000.0 / sampleRate;

            if (silentMs > graceMs + graceSlackMs + 1000.0 / 29.97)
                ++blocksAfterGrace;

            return;
        }

        const auto run = sample / cycleLength * cycleLength + frame->runStartSample;
        const auto sinceRunMs = (double) (sample % cycleLength - frame->runStartSample) * 1000.0 / sampleRate;
        const auto error = block.position - frame->count;

        if (run != currentRun)
        {
            closeRun();
            const auto& first = *cycle.frameAt (frame->runStartSample, false);
            currentRun = run;
            currentRunFollowed = false;
            currentRunName = (first.afterSilence ? "restarting at " : "jumping to ") + describe (first.time);
        }

        if (std::abs (error) <= 2 && ! currentRunFollowed)
        {
            currentRunFollowed = true;
            auto& slowest = slowestFollowMs[currentRunName];
            slowest = std::max (slowest, sinceRunMs);
        }

        if (sinceRunMs >= followWithinMs && std::abs (error) > 2)
        {
            ++blocksOffTrack;

            if (std::abs (error) > std::abs (worstSettledError))
                worstSettledError = error;
        }
    };

    // The blocks of one run of MTC, from its full frame on, with what was handed over for each; a
    // run is judged once the next full frame, or the end, shows that it is complete.
    std::vector<MtcCollector::Block> runBlocks;
    std::vector<VirtualMidiOutputLog::HandedBlock> runHanded;
    std::deque<VirtualMidiOutputLog::HandedBlock> handedPending;
    juce::int64 blocksBeforeRun = 0;
    std::vector<double> allLateness;

    auto checkRunOfMtc = [&]
    {
        const auto lateness = latenessAgainstSchedule (runHanded, rates.outputRate, blocksBeforeRun);

        for (size_t i = 0; i < runBlocks.size(); ++i)
            checkBlock (runBlocks[i], runBlocks[i].timeMs - lateness[i]);

        allLateness.insert (allLateness.end(), lateness.begin(), lateness.end());

        blocksBeforeRun += (juce::int64) runBlocks.size();
        runBlocks.clear();
        runHanded.clear();
    };

    auto drain = [&]
    {
        auto taken = log->take();
        handedBlocks += (juce::int64) taken.blocks.size();
        handedPending.insert (handedPending.end(), taken.blocks.begin(), taken.blocks.end());

        for (const auto& message : taken.sent)
        {
            const auto fullFramesBefore = mtc.fullFrames.size();
            const auto blocksBefore = mtc.blocks.size();

            if (! mtc.take (message))
            {
                if (message.bytes != expectedForwardedBytes (merged, mergeChannel))
                    ++wrongMerged;

                ++merged;
                continue;
            }

            if (mtc.fullFrames.size() > fullFramesBefore)
                checkRunOfMtc();

            // Blocks leave whole and in order, so the block completed is the earliest one handed over.
            if (mtc.blocks.size() > blocksBefore && ! handedPending.empty())
            {
                runBlocks.push_back (mtc.blocks.back());
                runHanded.push_back (std::move (handedPending.front()));
                handedPending.pop_front();
            }
        }

        mtc.blocks.clear();
    };

    playback.start (*audio);
    feeder.start();

    const auto startMs = juce::Time::getMillisecondCounterHiRes();
    const auto baselineAfterMs = std::min (60'000.0, totalSeconds * 500.0);
    double baselineRss = 0, lastDrainMs = startMs;
    size_t fullFrames = 0;

    while (playback.samplesDelivered() < totalSamples)
    {
        pump (100);
        const auto nowMs = juce::Time::getMillisecondCounterHiRes();

        if (nowMs - lastDrainMs >= 1000.0)
        {
            drain();
            fullFrames += mtc.fullFrames.size();
            mtc.fullFrames.clear();
            lastDrainMs = nowMs;
        }

        if (baselineRss == 0 && nowMs - startMs >= baselineAfterMs)
            baselineRss = residentBytes();

        ASSERT_LT (nowMs - startMs, totalSeconds * 3000.0) << "the audio device fell far behind real time";
    }

    const auto endRss = residentBytes();
    feeder.stop();
    pump (1000);
    drain();
    checkRunOfMtc();
    closeRun();
    fullFrames += mtc.fullFrames.size();

    EXPECT_FALSE (app->audioInputListener.mtcThread.ltcRunning);
    EXPECT_EQ (fullFrames, (size_t) (2 * cycles)) << "one full frame at each start of the LTC";
    EXPECT_EQ (mtc.reader.piecesOutOfOrder, 0);
    EXPECT_EQ (mtc.quarterFrames, handedBlocks * 8);
    EXPECT_EQ (blocksOffTrack, 0) << "worst error " << worstSettledError << " frames";
    EXPECT_EQ (blocksAfterGrace, 0);
    EXPECT_EQ (runsNeverFollowed, 0);

    const auto late = percentilesOf (allLateness);
    EXPECT_LE (late.median, 10.0) << "the generator does not keep to its block schedule";

    for (const auto& [name, ms] : slowestFollowMs)
        EXPECT_LE (ms, followWithinMs) << name;

    EXPECT_EQ (feeder.delivered.load(), feeder.fed.load());
    EXPECT_EQ (merged, feeder.fed.load());
    EXPECT_EQ (wrongMerged, 0);

    const auto growthMiB = (endRss - baselineRss) / (1024.0 * 1024.0);
    EXPECT_LT (std::abs (growthMiB), 4.0)
        << "resident set after " << baselineAfterMs / 1000 << " s: " << baselineRss / 1048576
        << " MiB, at the end: " << endRss / 1048576 << " MiB";

    std::printf ("[soak] %.0f s of LTC (%d passes of %.1f s), %lld merged messages (%.0f a second), %lld blocks; "
                 "block lateness median %.1f ms, p99 %.1f ms, max %.1f ms; "
                 "RSS %.2f MiB after %.0f s, %.2f MiB at the end: growth %+.2f MiB\n",
                 totalSeconds, cycles, (double) cycleLength / sampleRate, (long long) merged,
                 (double) merged / totalSeconds, (long long) handedBlocks, late.median, late.p99, late.max,
                 baselineRss / 1048576, baselineAfterMs / 1000, endRss / 1048576, growthMiB);

    for (const auto& [name, ms] : slowestFollowMs)
        std::printf ("[soak] MTC followed the LTC %s within %.0f ms (slowest of %d)\n", name.toRawUTF8(), ms, cycles);

    std::fflush (stdout);
}
