/*
    ZEM Quillbank - LTC to MTC converter and MIDI merger
    Copyright (C) 2026 ZEM. GPL-3.0-or-later.
*/

#include "support/AppFixture.h"
#include "support/LibLtcSignal.h"
#include "support/MtcReader.h"

namespace
{
std::vector<MtcReader::Time> timesSentTo (VirtualMidiOutputLog& log, double untilMs = 1e300)
{
    MtcReader reader;

    for (const auto& message : log.getSent())
        if (message.timeMs <= untilMs)
            reader.feed (message.bytes, message.timeMs);

    return reader.times;
}
} // namespace

using LiveLtc = AppFixture;

TEST_F (LiveLtc, EnabledConvertsPlayedLtcAndSwitchingOffStopsMtc)
{
    devices.setOutputNames ({ "Show Out" });
    writeAutosave ("1\n1\n0\n0\nShow Out\n");
    start();
    pump (100);
    ASSERT_NE (audio, nullptr);

    LibLtcSignal::Options options;
    options.framesPerSecond = 24.0;
    options.start = { 1, 0, 0, 0 };
    options.numFrames = 24 * 6;
    LibLtcSignal ltc (options);
    audio->setInputSamples (ltc.samples, false);
    const auto playedFrom = juce::Time::getMillisecondCounterHiRes();

    app->enableToggle->setToggleState (true, juce::sendNotificationSync);
    EXPECT_EQ (app->statusLabel.getText(), "[Waiting for LTC]");

    pump (2000);
    EXPECT_EQ (app->statusLabel.getText(), "[Running LTC]");

    // To the second: the label shows the time of the LTC being played about now.
    const auto secondsPlayed = (juce::Time::getMillisecondCounterHiRes() - playedFrom) / 1000.0;
    const auto shown = app->audioInputListener.timecodeLabel.getText();
    ASSERT_EQ (shown.length(), 11) << shown;
    EXPECT_EQ (shown.substring (0, 6), "01:00:");
    EXPECT_NEAR (shown.substring (6, 8).getIntValue(), secondsPlayed - 0.5, 1.0) << shown;

    auto log = devices.getOutputLog ("Show Out");
    const auto received = timesSentTo (*log);
    ASSERT_GE (received.size(), 10u);
    EXPECT_TRUE (received.front().fullFrame);
    EXPECT_EQ (received.front().hours, 1);

    // Each block moves two frames on; a resynchronisation to the decoded LTC, which lags the
    // generator's lead by a frame or two, may repeat or step back one block's worth.
    int steadySteps = 0;

    for (size_t i = 1; i < received.size(); ++i)
    {
        EXPECT_FALSE (received[i].fullFrame);
        const auto step = received[i].countAt (24) - received[i - 1].countAt (24);
        EXPECT_TRUE (step == 2 || step == 0 || step == -2) << "step " << step << " at " << i;
        steadySteps += step == 2 ? 1 : 0;
    }

    EXPECT_GT (steadySteps, (int) received.size() * 3 / 4);

    // Switching off: the labels change at once, and MTC stops after the 200 ms grace.
    app->enableToggle->setToggleState (false, juce::sendNotificationSync);
    const auto offAt = juce::Time::getMillisecondCounterHiRes();
    EXPECT_EQ (app->statusLabel.getText(), "[No LTC-MTC]");
    EXPECT_EQ (app->audioInputListener.timecodeLabel.getText(), "");

    pump (800);
    const auto sent = log->getSent();
    ASSERT_FALSE (sent.empty());
    EXPECT_LT (sent.back().timeMs - offAt, 200.0 + 2 * 84.0 + 150.0) << "MTC went on after switching off";
    EXPECT_FALSE (app->audioInputListener.mtcThread.ltcRunning);
    EXPECT_EQ (app->statusLabel.getText(), "[No LTC-MTC]");
}
