/*
    ZEM Quillbank - LTC to MTC converter and MIDI merger
    Copyright (C) 2026 ZEM. GPL-3.0-or-later.
*/

#include "support/ShowRun.h"
#include "support/AppFixture.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <optional>

namespace
{
constexpr int ltcSeconds = 60;
constexpr int mergeChannel = 5;
constexpr double mergedPerSecond = 500.0;

// The generator stops on the first pass more than 200 ms after the last frame it took up; the
// rest covers a pass held up on a loaded machine.
constexpr double graceMs = 200.0, graceSlackMs = 150.0;

struct RateCase
{
    const char* name;
    int inputId;
    const char* inputItem;
    double ltcFramesPerSecond;
    int outputId;
    ShowRates rates;
};

std::ostream& operator<< (std::ostream& stream, const RateCase& c)
{
    return stream << c.name;
}

const RateCase rateCases[] = {
    { "In24Out24", 1, "24 FPS", 24.0, 1, { 24, false, 24 } },
    { "In24Out30", 1, "24 FPS", 24.0, 2, { 24, false, 30 } },
    { "In30Out24", 2, "30 FPS", 30.0, 1, { 30, false, 24 } },
    { "In30Out30", 2, "30 FPS", 30.0, 2, { 30, false, 30 } },
    { "In23976Out24", 3, "23.976 ND", 24000.0 / 1001.0, 1, { 24, true, 24 } },
    { "In23976Out30", 3, "23.976 ND", 24000.0 / 1001.0, 2, { 24, true, 30 } },
    { "In2997Out24", 4, "29.97 ND", 30000.0 / 1001.0, 1, { 30, true, 24 } },
    { "In2997Out30", 4, "29.97 ND", 30000.0 / 1001.0, 2, { 30, true, 30 } },
};
} // namespace

//==============================================================================
/** A minute of libltc's LTC played in real time into the running application, with a merged
    input loaded, the rates chosen through the settings file that the application reads at start.
*/
class LtcToMtcShow : public AppFixture, public testing::WithParamInterface<RateCase>
{
};

TEST_P (LtcToMtcShow, FollowsAMinuteOfLtcAndMergesEveryMessage)
{
    const auto& c = GetParam();
    devices.setOutputNames ({ "Show Out" });
    devices.setInputNames ({ "Show In" });
    writeAutosave (std::to_string (c.inputId) + "\n" + std::to_string (c.outputId) + "\n0\n1\nShow Out\n"
                   + "Show In\n1\n1\n" + std::to_string (mergeChannel) + "\n");
    start();
    pump (300);

    auto& generator = app->audioInputListener.mtcThread;
    ASSERT_EQ (app->inputFrameRateBox.getText(), c.inputItem);
    ASSERT_EQ (app->outputFrameRateBox.getSelectedId(), c.outputId);
    ASSERT_TRUE (app->enableToggle->getToggleState());
    ASSERT_EQ (app->midiOutputBox.getText(), "Show Out");
    ASSERT_TRUE (generator.midiOutputActive);
    ASSERT_EQ (app->audioInputListener.frameOffset.load(), 0);
    ASSERT_EQ (devices.getNumHandlers ("Show In"), 1);
    ASSERT_NE (audio, nullptr);
    auto* device = app->deviceManager.getCurrentAudioDevice();
    ASSERT_NE (device, nullptr);
    ASSERT_TRUE (device->isPlaying());

    LibLtcSignal::Options options;
    options.framesPerSecond = c.ltcFramesPerSecond;
    options.sampleRate = device->getCurrentSampleRate();
    options.start = { 10, 59, 30, 0 };
    options.numFrames = (int) std::lround (ltcSeconds * c.ltcFramesPerSecond);
    LtcReference reference (c.rates);
    reference.append (LibLtcSignal (options));

    auto log = devices.getOutputLog ("Show Out");
    log->clear();

    const auto blockMs = 1000.0 * device->getCurrentBufferSizeSamples() / options.sampleRate;
    LtcPlayback playback (reference.samples, (juce::int64) reference.samples.size(), options.sampleRate,
                          (size_t) (2 * ltcSeconds * 1000 / blockMs) + 1000);
    MergerFeeder feeder (devices, "Show In", mergedTestMessage, mergedPerSecond, 1,
                         (size_t) (2 * ltcSeconds * mergedPerSecond));
    playback.start (*audio);
    feeder.start();

    const auto startMs = juce::Time::getMillisecondCounterHiRes();
    juce::String statusWhileRunning, timecodeWhileRunning;

    while (playback.samplesDelivered() < (juce::int64) reference.samples.size())
    {
        pump (50);
        const auto elapsedMs = juce::Time::getMillisecondCounterHiRes() - startMs;

        if (statusWhileRunning.isEmpty() && elapsedMs > ltcSeconds * 500.0 + 2000.0)
        {
            statusWhileRunning = app->statusLabel.getText();
            timecodeWhileRunning = app->audioInputListener.timecodeLabel.getText();
        }

        ASSERT_LT (elapsedMs, ltcSeconds * 3000.0) << "the audio device fell far behind real time";
    }

    feeder.stop();
    pump (1000);

    EXPECT_EQ (statusWhileRunning, "[Running LTC]");
    EXPECT_TRUE (timecodeWhileRunning.startsWith ("11:00:")) << timecodeWhileRunning;
    EXPECT_FALSE (generator.ltcRunning);

    const auto handed = log->getBlocks();
    const auto handedBlocks = handed.size();
    const auto sent = log->getSent();
    MtcCollector mtc (c.rates.outputRate);
    std::vector<VirtualMidiOutputLog::SentMessage> merged;
    size_t firstMtcLength = 0;

    for (const auto& message : sent)
    {
        if (! mtc.take (message))
            merged.push_back (message);
        else if (firstMtcLength == 0)
            firstMtcLength = message.bytes.size();
    }

    // MTC: one full frame, then whole blocks in order, each near the LTC of its moment.
    ASSERT_EQ (mtc.fullFrames.size(), 1u);
    EXPECT_EQ (firstMtcLength, 10u) << "MTC did not begin with its full frame";
    EXPECT_EQ (mtc.reader.piecesOutOfOrder, 0);
    EXPECT_EQ (mtc.quarterFrames, (juce::int64) handedBlocks * 8);
    EXPECT_EQ (mtc.blocks.size(), handedBlocks);
    ASSERT_GT (mtc.blocks.size(), (size_t) (ltcSeconds * c.rates.outputRate / 2 * 9 / 10));

    // A pass that comes late, because the machine held the generator up, sends the block that was
    // due with the position the schedule gives it: the block is late, not wrong. So each block's
    // position is held against the LTC at the moment its schedule set for it; how late the blocks
    // left is measured on its own. As received, a block late by L ms is L / frame length frames
    // further off.
    //
    // On schedule a block is within 2 frames of the LTC. Beyond that the decoder's window no longer
    // holds the LTC's count, and the decoder moves the position to it after more than its threshold
    // of even frames in a row out of the window: a block may be 3 frames off only in a run no longer
    // than that, about one even frame per block, and never further.
    const int longestRunAllowed = app->audioInputListener.resyncThreshold + 2;
    int blocksOutside = 0, run = 0, longestRun = 0;
    const auto lateness = latenessAgainstSchedule (handed, c.rates.outputRate);
    const auto ltcEndMs = playback.deliveryTimeOf ((juce::int64) reference.samples.size() - 1);
    std::map<juce::int64, int> errors;
    juce::int64 worstError = 0, worstAsReceived = 0;
    int graceBlocks = 0, wrongRateCode = 0;
    double lastBlockAfterEndMs = 0;

    auto errorAt = [&] (double timeMs, juce::int64 position) -> std::optional<juce::int64>
    {
        if (const auto* frame = reference.frameAt (playback.samplePlayingAt (timeMs), false))
            return position - frame->count;

        return std::nullopt;
    };

    auto noteError = [&] (double timeMs, double scheduledMs, juce::int64 position)
    {
        if (const auto error = errorAt (scheduledMs, position))
        {
            ++errors[*error];

            if (std::abs (*error) > std::abs (worstError))
                worstError = *error;

            run = std::abs (*error) > 2 ? run + 1 : 0;
            blocksOutside += run > 0 ? 1 : 0;
            longestRun = std::max (longestRun, run);
        }

        if (const auto error = errorAt (timeMs, position))
            if (std::abs (*error) > std::abs (worstAsReceived))
                worstAsReceived = *error;
    };

    // The full frame goes out in the pass that takes the first frame up, with no schedule before it.
    const auto& fullFrame = mtc.fullFrames.front();
    noteError (fullFrame.timeMs, fullFrame.timeMs, fullFrame.countAt (c.rates.outputRate));

    for (size_t i = 0; i < mtc.blocks.size(); ++i)
    {
        const auto& block = mtc.blocks[i];

        if (block.rateCode != (c.rates.outputRate == 30 ? 3 : 0))
            ++wrongRateCode;

        if (block.timeMs > ltcEndMs)
        {
            ++graceBlocks;
            lastBlockAfterEndMs = block.timeMs - ltcEndMs;
        }
        else
        {
            noteError (block.timeMs, block.timeMs - lateness[i], block.position);
        }
    }

    const auto late = percentilesOf (lateness);

    EXPECT_LE (std::abs (worstError), 3) << "received time too far from the LTC";
    EXPECT_LE (longestRun, longestRunAllowed) << "received time 3 frames off for longer than a resynchronisation takes";
    EXPECT_LE (late.median, 10.0) << "the generator does not keep to its block schedule";
    EXPECT_EQ (wrongRateCode, 0);
    EXPECT_LE (lastBlockAfterEndMs, graceMs + graceSlackMs) << "MTC went on after the LTC stopped";

    // Merged messages: every one, in order, as the row's settings make it.
    ASSERT_EQ (feeder.delivered.load(), feeder.fed.load());
    ASSERT_EQ ((juce::int64) merged.size(), feeder.fed.load());
    ASSERT_GT (feeder.fed.load(), (juce::int64) (ltcSeconds * mergedPerSecond * 0.9));

    juce::int64 wrong = 0, firstWrong = -1;
    std::vector<double> latenciesMs;

    for (size_t i = 0; i < merged.size(); ++i)
    {
        if (merged[i].bytes != expectedForwardedBytes ((juce::int64) i, mergeChannel))
            if (wrong++ == 0)
                firstWrong = (juce::int64) i;

        if (i < feeder.feedTimesMs.size())
            latenciesMs.push_back (merged[i].timeMs - feeder.feedTimesMs[i]);
    }

    EXPECT_EQ (wrong, 0) << "first wrong merged message: " << firstWrong;

    const auto spacing = percentilesOf (mtc.quarterFrameSpacingsMs);
    const auto latency = percentilesOf (latenciesMs);
    juce::String histogram;

    for (const auto& [error, count] : errors)
        histogram << " " << (int) error << ":" << count;

    std::printf ("[show %s] received-time error max %lld frames on schedule (error:count%s; %d blocks beyond 2, "
                 "longest run %d of %d allowed), %lld as received; "
                 "block lateness median %.1f ms, p99 %.1f ms, max %.1f ms; quarter-frame spacing "
                 "median %.3f ms, p99 %.3f ms, max %.3f ms (nominal %.3f); merged latency median %.4f ms, "
                 "p99 %.4f ms, max %.4f ms over %lld messages; %zu blocks, %d after LTC ended (last %.0f ms after)\n",
                 c.name, (long long) std::abs (worstError), histogram.toRawUTF8(), blocksOutside, longestRun,
                 longestRunAllowed, (long long) std::abs (worstAsReceived), late.median, late.p99, late.max,
                 spacing.median, spacing.p99, spacing.max, 250.0 / c.rates.outputRate, latency.median, latency.p99,
                 latency.max, (long long) merged.size(), mtc.blocks.size(), graceBlocks, lastBlockAfterEndMs);
    std::fflush (stdout);
}

INSTANTIATE_TEST_SUITE_P (Rates, LtcToMtcShow, testing::ValuesIn (rateCases),
                          [] (const testing::TestParamInfo<RateCase>& info) { return std::string (info.param.name); });
