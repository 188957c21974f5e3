/*
    ZEM Quillbank - LTC to MTC converter and MIDI merger
    Copyright (C) 2026 ZEM. GPL-3.0-or-later.
*/

#include "merger/SingleMidiInput.h"
#include "preferences/PreferencesWindow.h"
#include "support/AppFixture.h"

#include <X11/Xlib.h>

namespace
{
juce::StringArray itemsOf (const juce::ComboBox& box)
{
    juce::StringArray items;

    for (int i = 0; i < box.getNumItems(); ++i)
        items.add (box.getItemText (i));

    return items;
}

DemoThread& generatorOf (LTCtoMTC& app)
{
    return app.audioInputListener.mtcThread;
}

/** Whether the window is really on screen, as the X server sees it. */
bool isMappedOnScreen (juce::Component& window)
{
    auto* display = XOpenDisplay (nullptr);
    XWindowAttributes attributes {};
    XGetWindowAttributes (display, (Window) (juce::pointer_sized_uint) window.getWindowHandle(), &attributes);
    XCloseDisplay (display);
    return attributes.map_state == IsViewable;
}

juce::String outputInUse (LTCtoMTC& app)
{
    auto* output = generatorOf (app).getOutput();
    return output != nullptr ? output->getName() : juce::String ("<none>");
}

/** What happened to the outputs of this name, in order. */
juce::StringArray eventsOf (AppFixture& fixture, const juce::String& name)
{
    return fixture.devices.getOutputLog (name)->getEvents();
}

bool isFullFrame (const std::vector<juce::uint8>& bytes)
{
    const std::vector<juce::uint8> start { 0xf0, 0x7f, 0x7f, 0x01, 0x01 };
    return bytes.size() >= start.size() && std::equal (start.begin(), start.end(), bytes.begin());
}

/** The virtual outputs that MTC reaches when LTC comes and goes: one even frame handed over as
    the decoder does starts MTC with a full frame, and blocks of quarter frames follow until no
    frame has come for 200 ms. The blocks are looked for as they are handed to the output, so
    that quarter frames still on their way from an earlier run cannot count.
*/
juce::StringArray receiversOfMtc (AppFixture& fixture)
{
    auto& generator = generatorOf (*fixture.app);
    const juce::StringArray watched { "Alpha", "Beta", "Gamma", "Twin" };
    std::map<juce::String, std::pair<size_t, size_t>> before;

    for (const auto& name : watched)
    {
        const auto log = fixture.devices.getOutputLog (name);
        before[name] = { log->getSent().size(), log->getBlocks().size() };
    }

    generator.lastEvenLtcFrame = 1000;
    generator.newLtcFrame.store (true, std::memory_order_release);

    const auto giveUpAt = juce::Time::getMillisecondCounter() + 10000;

    while ((generator.newLtcFrame || generator.ltcRunning) && juce::Time::getMillisecondCounter() < giveUpAt)
        AppFixture::pump (20);

    EXPECT_FALSE (generator.ltcRunning);
    juce::StringArray receivers;

    for (const auto& name : watched)
    {
        const auto log = fixture.devices.getOutputLog (name);
        const auto sent = log->getSent();
        const auto blocks = log->getBlocks();

        const bool fullFrame = std::any_of (sent.begin() + (std::ptrdiff_t) before[name].first, sent.end(),
                                            [] (const auto& message) { return isFullFrame (message.bytes); });
        const bool quarterFrames =
            std::any_of (blocks.begin() + (std::ptrdiff_t) before[name].second, blocks.end(),
                         [] (const auto& block) { return ! block.messages.empty() && block.messages[0][0] == 0xf1; });

        if (fullFrame || quarterFrames)
            receivers.add (name);
    }

    return receivers;
}
} // namespace

//==============================================================================
using StartUp = AppFixture;

TEST_F (StartUp, WithoutMidiOutputsOffersOnlyNoOutputAndRefresh)
{
    start();

    EXPECT_EQ (app->getWidth(), 500);
    EXPECT_EQ (app->getHeight(), 250);
    EXPECT_EQ (app->getParentComponent(), nullptr);
    EXPECT_TRUE (app->isOpaque());
    EXPECT_FALSE (app->preferencesWindow->isVisible());
    EXPECT_EQ (app->statusLabel.getText(), "[No LTC-MTC]");
    EXPECT_TRUE (home.settingsFolder().isDirectory());

    pump();
    EXPECT_FALSE (isMappedOnScreen (*app->preferencesWindow));
    EXPECT_EQ (itemsOf (app->midiOutputBox), (juce::StringArray { "No Output", "Refresh" }));
    EXPECT_EQ (app->midiOutputBox.getSelectedId(), 1);
    EXPECT_FALSE (generatorOf (*app).midiOutputActive);
    EXPECT_EQ (generatorOf (*app).getOutput(), nullptr);
}

TEST_F (StartUp, OpensDeviceZeroAtOnceAndTheSavedChoiceAfterwards)
{
    devices.setOutputNames ({ "Alpha", "Beta" });
    writeAutosave ("1\n1\n0\n0\nBeta\n");
    start();

    // Until the output box's handler runs, device 0 is open and active.
    EXPECT_EQ (outputInUse (*app), "Alpha");
    EXPECT_TRUE (generatorOf (*app).midiOutputActive);
    EXPECT_EQ (itemsOf (app->midiOutputBox), (juce::StringArray { "No Output", "Refresh", "Alpha", "Beta" }));
    EXPECT_EQ (eventsOf (*this, "Alpha"), (juce::StringArray { "open", "start" }));

    pump();
    EXPECT_EQ (app->midiOutputBox.getText(), "Beta");
    EXPECT_EQ (outputInUse (*app), "Beta");
    EXPECT_TRUE (generatorOf (*app).midiOutputActive);
    EXPECT_EQ (devices.getOutputLog ("Alpha")->getOpenCount(), 1);
    EXPECT_EQ (devices.getOutputLog ("Beta")->getOpenCount(), 1);

    // Device 0 was active: its thread is stopped before the saved device replaces it and closes it.
    EXPECT_EQ (eventsOf (*this, "Alpha"), (juce::StringArray { "open", "start", "stop", "close" }));
    EXPECT_EQ (eventsOf (*this, "Beta"), (juce::StringArray { "open", "start" }));
    EXPECT_EQ (receiversOfMtc (*this), juce::StringArray { "Beta" });
}

TEST_F (StartUp, SavedNoOutputKeepsDeviceZeroOpenButInactive)
{
    devices.setOutputNames ({ "Alpha" });
    writeAutosave ("1\n1\n0\n0\nNo Output\n");
    start();
    pump();

    EXPECT_EQ (app->midiOutputBox.getSelectedId(), 1);
    EXPECT_FALSE (generatorOf (*app).midiOutputActive);
    EXPECT_EQ (outputInUse (*app), "Alpha");

    generatorOf (*app).sendNow (juce::MidiMessage::noteOn (1, 60, (juce::uint8) 1));
    EXPECT_TRUE (devices.getOutputLog ("Alpha")->getSent().empty());

    EXPECT_EQ (eventsOf (*this, "Alpha"), (juce::StringArray { "open", "start" })); // neither stopped nor closed
    EXPECT_TRUE (receiversOfMtc (*this).isEmpty());
}

TEST_F (StartUp, HandlersRunOnceEachInTheirOrderAfterConstruction)
{
    devices.setOutputNames ({ "Alpha", "Beta" });
    writeAutosave ("2\n2\n3\n1\nBeta\n");
    start();

    std::vector<std::string> calls;
    auto wrap = [&calls] (std::function<void()>& handler, std::string name)
    {
        handler = [&calls, original = handler, name]
        {
            calls.push_back (name);
            original();
        };
    };

    wrap (app->midiOutputBox.onChange, "output device");
    wrap (app->inputFrameRateBox.onChange, "input rate");
    wrap (app->outputFrameRateBox.onChange, "output rate");

    EXPECT_EQ (app->statusLabel.getText(), "[Waiting for LTC]");
    EXPECT_TRUE (app->enableToggle->getToggleState());

    // 4,800 samples of latency at 48 kHz are 2.4 frames at 24 fps and 3 at 30: an offset of
    // 3 + 3 shows that the offset was computed after the stored output rate took effect.
    ASSERT_NE (audio, nullptr);
    audio->setInputLatency (4800);
    pump (300);

    EXPECT_EQ (calls, (std::vector<std::string> { "output device", "input rate", "output rate" }));
    EXPECT_EQ (generatorOf (*app).inputFrameRate.load(), 30);
    EXPECT_EQ (generatorOf (*app).outputFrameRate.load(), 30);
    EXPECT_EQ (app->audioInputListener.frameOffset.load(), 6);
}

TEST_F (StartUp, PlainFileWhereTheParentFolderBelongsDoesNotStopStartUp)
{
    home.documents().createDirectory();
    home.documents().getChildFile ("ZEM").replaceWithText ("not a folder");
    start();
    pump();
    EXPECT_EQ (app->getWidth(), 500);
    quit();

    EXPECT_TRUE (home.documents().getChildFile ("ZEM").existsAsFile());
    EXPECT_EQ (home.documents().getChildFile ("ZEM").loadFileAsString(), "not a folder");
}

//==============================================================================
using TimecodeDisplay = AppFixture;

TEST_F (TimecodeDisplay, ShowsHoursMinutesSecondsAndAHundredthsCounter)
{
    start();
    pump();
    app->enableToggle->setToggleState (true, juce::dontSendNotification);
    auto& generator = generatorOf (*app);
    const auto& timecode = app->audioInputListener.timecodeLabel;

    struct Case
    {
        int rate;
        juce::int64 position;
        const char* shown;
    };
    const Case cases[] = {
        { 24, (((1 * 60) + 2) * 60 + 3) * 24 + 22, "01:02:03.00" },
        { 30, 108'000, "01:00:00.00" },
        { 24, 24LL * 3600 * 24, "24:00:00.00" },
        { 24, -30, "00:00:-1.00" },
    };

    for (const auto& c : cases)
    {
        generator.ltcRunning = true;
        generator.outputFrameRate = c.rate;
        generator.mtcPosition = c.position;
        generator.displayHundredths = 0;
        app->timerCallback();
        EXPECT_EQ (timecode.getText(), c.shown);
        EXPECT_EQ (app->statusLabel.getText(), "[Running LTC]");
    }

    // The counter rises by 4 per tick, then stays at 99 until a frame-0 block resets it.
    generator.displayHundredths = 0;
    generator.outputFrameRate = 24;
    generator.mtcPosition = 24;
    juce::StringArray hundredths;

    for (int tick = 0; tick < 27; ++tick)
    {
        app->timerCallback();
        hundredths.add (timecode.getText().fromLastOccurrenceOf (".", false, false));
    }

    EXPECT_EQ (hundredths[0], "00");
    EXPECT_EQ (hundredths[1], "04");
    EXPECT_EQ (hundredths[24], "96");
    EXPECT_EQ (hundredths[25], "99");
    EXPECT_EQ (hundredths[26], "99");

    // LTC lost: the status follows, the time stays frozen and the counter stops.
    const auto frozen = timecode.getText();
    generator.ltcRunning = false;
    const auto counter = generator.displayHundredths.load();
    app->timerCallback();
    EXPECT_EQ (app->statusLabel.getText(), "[Waiting for LTC]");
    EXPECT_EQ (timecode.getText(), frozen);
    EXPECT_EQ (generator.displayHundredths.load(), counter);

    // Switched off: the timer leaves both labels alone.
    app->enableToggle->setToggleState (false, juce::sendNotificationSync);
    EXPECT_EQ (app->statusLabel.getText(), "[No LTC-MTC]");
    EXPECT_EQ (timecode.getText(), "");
    generator.ltcRunning = true;
    app->timerCallback();
    EXPECT_EQ (app->statusLabel.getText(), "[No LTC-MTC]");
    EXPECT_EQ (timecode.getText(), "");
    EXPECT_EQ (generator.displayHundredths.load(), counter);
}

//==============================================================================
/** The output box as the user drives it: choose an item, let the handlers run. */
class OutputChoice : public AppFixture
{
public:
    void choose (const juce::String& text)
    {
        for (int i = 0; i < app->midiOutputBox.getNumItems(); ++i)
            if (app->midiOutputBox.getItemText (i) == text)
                app->midiOutputBox.setSelectedItemIndex (i, juce::sendNotificationAsync);

        pump();
    }

    /** Chooses the item at this index, for items that share their text. */
    void chooseItem (int index)
    {
        app->midiOutputBox.setSelectedItemIndex (index, juce::sendNotificationAsync);
        pump();
    }

    /** Which virtual output a message sent now reaches. */
    juce::String receiverOfNextMessage()
    {
        const auto before = devices.getOutputNames();
        std::map<juce::String, size_t> counts;

        for (const auto& name : { "Alpha", "Beta", "Gamma" })
            counts[name] = devices.getOutputLog (name)->getSent().size();

        generatorOf (*app).sendNow (juce::MidiMessage::noteOn (1, 64, (juce::uint8) 1));

        for (const auto& entry : counts)
            if (devices.getOutputLog (entry.first)->getSent().size() > entry.second)
                return entry.first;

        return "<nobody>";
    }
};

TEST_F (OutputChoice, RefreshOnAnUnchangedListReturnsToTheChoiceAndReopensIt)
{
    devices.setOutputNames ({ "Alpha", "Beta" });
    start();
    pump();
    choose ("Beta");
    EXPECT_EQ (receiverOfNextMessage(), "Beta");

    choose ("Refresh");
    EXPECT_EQ (app->midiOutputBox.getText(), "Beta");
    EXPECT_EQ (devices.getOutputLog ("Beta")->getOpenCount(), 2);
    EXPECT_EQ (receiverOfNextMessage(), "Beta");

    // The active one is stopped before its successor opens, and closed after.
    EXPECT_EQ (eventsOf (*this, "Beta"), (juce::StringArray { "open", "start", "stop", "open", "close", "start" }));
    EXPECT_EQ (receiversOfMtc (*this), juce::StringArray { "Beta" });
}

TEST_F (OutputChoice, ChangedListIsRebuiltAndFollowsTheDevicesByName)
{
    devices.setOutputNames ({ "Alpha", "Beta" });
    start();
    pump();

    // Refresh after a device was added: rebuilt, "No Output", sending off.
    choose ("Beta");
    devices.setOutputNames ({ "Alpha", "Beta", "Gamma" });
    choose ("Refresh");
    EXPECT_EQ (itemsOf (app->midiOutputBox), (juce::StringArray { "No Output", "Refresh", "Alpha", "Beta", "Gamma" }));
    EXPECT_EQ (app->midiOutputBox.getSelectedId(), 1);
    EXPECT_FALSE (generatorOf (*app).midiOutputActive);
    EXPECT_EQ (receiverOfNextMessage(), "<nobody>");
    EXPECT_TRUE (receiversOfMtc (*this).isEmpty());

    // A device picked from a stale list that still exists: reselected at its new place, opened there.
    devices.setOutputNames ({ "Gamma", "Beta" });
    choose ("Beta");
    EXPECT_EQ (itemsOf (app->midiOutputBox), (juce::StringArray { "No Output", "Refresh", "Gamma", "Beta" }));
    EXPECT_EQ (app->midiOutputBox.getText(), "Beta");
    EXPECT_EQ (outputInUse (*app), "Beta");
    EXPECT_EQ (receiverOfNextMessage(), "Beta");
    EXPECT_EQ (receiversOfMtc (*this), juce::StringArray { "Beta" });

    // The rebuild had turned sending off, so the Beta held until then was not stopped.
    EXPECT_EQ (eventsOf (*this, "Beta"), (juce::StringArray { "open", "start", "open", "close", "start" }));

    // A device picked from a stale list that is gone: "No Output", sending off.
    devices.setOutputNames ({ "Beta" });
    choose ("Gamma");
    EXPECT_EQ (app->midiOutputBox.getSelectedId(), 1);
    EXPECT_FALSE (generatorOf (*app).midiOutputActive);

    // The last device removed, then "Refresh".
    devices.setOutputNames ({});
    choose ("Refresh");
    EXPECT_EQ (itemsOf (app->midiOutputBox), (juce::StringArray { "No Output", "Refresh" }));
    EXPECT_EQ (app->midiOutputBox.getSelectedId(), 1);
    EXPECT_FALSE (generatorOf (*app).midiOutputActive);
}

TEST_F (OutputChoice, TwoDevicesOfOneNameReselectTheLaterOne)
{
    devices.setOutputNames ({ "Alpha", "Twin", "Twin" });
    writeAutosave ("1\n1\n0\n0\nTwin\n");
    start();
    pump();
    EXPECT_EQ (app->midiOutputBox.getSelectedItemIndex(), 4);

    // One name for two outputs puts a replacement in one log: the active one is stopped, the
    // other opened, then the first closed.
    chooseItem (3);
    EXPECT_EQ (eventsOf (*this, "Twin"), (juce::StringArray { "open", "start", "stop", "open", "close", "start" }));

    // "Refresh" goes back by name, so to the later one, and opens it.
    choose ("Refresh");
    EXPECT_EQ (app->midiOutputBox.getSelectedItemIndex(), 4);
    EXPECT_EQ (devices.getOutputLog ("Twin")->getOpenCount(), 3);

    // So does a rebuild of a stale list: the later one, at its new place.
    devices.setOutputNames ({ "Twin", "Gamma", "Twin" });
    chooseItem (3);
    EXPECT_EQ (itemsOf (app->midiOutputBox), (juce::StringArray { "No Output", "Refresh", "Twin", "Gamma", "Twin" }));
    EXPECT_EQ (app->midiOutputBox.getSelectedItemIndex(), 4);
    EXPECT_EQ (devices.getOutputLog ("Twin")->getOpenCount(), 4);
    EXPECT_TRUE (generatorOf (*app).midiOutputActive);
    EXPECT_EQ (receiversOfMtc (*this), juce::StringArray { "Twin" });
}

TEST_F (OutputChoice, NoOutputThenADeviceAndAFailedOpen)
{
    devices.setOutputNames ({ "Alpha", "Beta" });
    start();
    pump();
    EXPECT_EQ (app->midiOutputBox.getSelectedId(), 1);
    EXPECT_EQ (outputInUse (*app), "Alpha"); // device 0 stays open, inactive
    EXPECT_EQ (eventsOf (*this, "Alpha"), (juce::StringArray { "open", "start" }));
    EXPECT_TRUE (receiversOfMtc (*this).isEmpty());

    // Device 0 was not active: it is closed without a stop.
    choose ("Beta");
    EXPECT_TRUE (generatorOf (*app).midiOutputActive);
    EXPECT_EQ (outputInUse (*app), "Beta");
    EXPECT_EQ (eventsOf (*this, "Alpha"), (juce::StringArray { "open", "start", "close" }));
    EXPECT_EQ (eventsOf (*this, "Beta"), (juce::StringArray { "open", "start" }));
    EXPECT_EQ (receiversOfMtc (*this), juce::StringArray { "Beta" });

    // "No Output" stops nothing and closes nothing; the next device replaces Beta without a stop.
    choose ("No Output");
    EXPECT_EQ (outputInUse (*app), "Beta");
    EXPECT_EQ (eventsOf (*this, "Beta"), (juce::StringArray { "open", "start" }));
    EXPECT_TRUE (receiversOfMtc (*this).isEmpty());

    choose ("Beta");
    EXPECT_EQ (eventsOf (*this, "Beta"), (juce::StringArray { "open", "start", "open", "close", "start" }));
    EXPECT_EQ (receiversOfMtc (*this), juce::StringArray { "Beta" });

    devices.setOutputOpenFails ("Alpha", true);
    choose ("Alpha");
    EXPECT_EQ (app->midiOutputBox.getText(), "Alpha");
    EXPECT_FALSE (generatorOf (*app).midiOutputActive);
    EXPECT_EQ (generatorOf (*app).getOutput(), nullptr);
    EXPECT_EQ (receiverOfNextMessage(), "<nobody>");
    EXPECT_EQ (eventsOf (*this, "Beta"),
               (juce::StringArray { "open", "start", "open", "close", "start", "stop", "close" }));
    EXPECT_EQ (eventsOf (*this, "Alpha"), (juce::StringArray { "open", "start", "close" }));
    EXPECT_TRUE (receiversOfMtc (*this).isEmpty());
}

//==============================================================================
using MergerRowSwitch = AppFixture;

TEST_F (MergerRowSwitch, OffDisablesThenUnregistersTheInputThatOnEnabledThenRegistered)
{
    devices.setInputNames ({ "A", "B" });
    start();
    pump();
    app->buttonClicked (app->preferencesButton.get());
    auto& rows = app->preferencesWindow->settings.midiInputs.inputs;
    ASSERT_EQ (rows.size(), 2);
    auto& switchOfA = *rows[0]->inputToggle;
    ASSERT_EQ (switchOfA.getButtonText(), "A");

    switchOfA.setToggleState (true, juce::sendNotificationSync);
    EXPECT_EQ (devices.getInputCalls(), (juce::StringArray { "enable A", "add A" }));
    EXPECT_EQ (devices.getNumHandlers ("A"), 1);

    switchOfA.setToggleState (false, juce::sendNotificationSync);
    EXPECT_EQ (devices.getInputCalls(), (juce::StringArray { "enable A", "add A", "disable A", "remove A" }));
    EXPECT_EQ (devices.getNumHandlers ("A"), 0);
    EXPECT_FALSE (devices.isInputEnabled ("A"));
    EXPECT_FALSE (devices.feed ("A", juce::MidiMessage::noteOn (1, 60, (juce::uint8) 100)));
}

TEST_F (MergerRowSwitch, ThePreferencesWindowsFirstPaintShowsTheRowsOfTheDevicesPresentAtTheClick)
{
    // Notes which switches the painting draws.
    struct RecordingLook : public juce::LookAndFeel_V4
    {
        void drawToggleButton (juce::Graphics& g, juce::ToggleButton& button, bool highlighted, bool down) override
        {
            drawn.add (button.getButtonText());
            LookAndFeel_V4::drawToggleButton (g, button, highlighted, down);
        }

        juce::StringArray drawn;
    } look;

    juce::LookAndFeel::setDefaultLookAndFeel (&look);
    start();
    pump();
    devices.setInputNames ({ "A", "B" });
    look.drawn.clear();

    // The window is painted before the click returns: its rows are made by then.
    app->buttonClicked (app->preferencesButton.get());
    EXPECT_TRUE (look.drawn.contains ("A")) << look.drawn.joinIntoString (", ");
    EXPECT_TRUE (look.drawn.contains ("B")) << look.drawn.joinIntoString (", ");

    quit();
    juce::LookAndFeel::setDefaultLookAndFeel (nullptr);
}

//==============================================================================
using FrameRates = AppFixture;

TEST_F (FrameRates, BoxIdsSetTheEngineAndOnlyTheInputRateStopsMtc)
{
    start();
    pump();
    auto& generator = generatorOf (*app);

    struct Case
    {
        int id;
        int frameRate;
        bool pullDown;
    };
    const Case inputs[] = { { 2, 30, false }, { 3, 24, true }, { 4, 30, true }, { 1, 24, false } };

    for (const auto& c : inputs)
    {
        generator.ltcRunning = true;
        generator.mtcPosition = 500;
        generator.lastBlockPosition = 500;
        app->inputFrameRateBox.setSelectedId (c.id, juce::sendNotificationAsync);
        pump (20);
        EXPECT_EQ (generator.inputFrameRate.load(), c.frameRate);
        EXPECT_EQ (app->audioInputListener.pullDownInput.load(), c.pullDown);
        EXPECT_FALSE (generator.ltcRunning);
        EXPECT_EQ (generator.mtcPosition.load(), 0);
        EXPECT_EQ (generator.lastBlockPosition.load(), 0);
    }

    // An id without an item still stops MTC but leaves the rates.
    generator.ltcRunning = true;
    app->inputFrameRateBox.setSelectedId (9, juce::sendNotificationAsync);
    pump (20);
    EXPECT_FALSE (generator.ltcRunning);
    EXPECT_EQ (generator.inputFrameRate.load(), 24);

    const std::pair<int, int> outputs[] = { { 2, 30 }, { 7, 30 }, { 1, 24 } };

    for (const auto& [id, rate] : outputs)
    {
        // Keep the generator's own passes from stopping or advancing it meanwhile.
        generator.ltcRunning = true;
        const auto nowMs = (juce::int64) GeneratorClock::system().millisecondCounterHiRes();
        generator.lastLtcTimeMs = nowMs;
        generator.nextBlockTimeMs = nowMs;
        generator.mtcPosition = 800;
        generator.lastBlockPosition = 800;
        app->outputFrameRateBox.setSelectedId (id, juce::sendNotificationAsync);
        pump (20);
        EXPECT_EQ (generator.outputFrameRate.load(), rate);
        EXPECT_TRUE (generator.ltcRunning);
        EXPECT_GE (generator.mtcPosition.load(), 800); // running on from where it was, not reset
    }
}

TEST_F (FrameRates, OffsetIsTheSliderPlusTheInputLatencyInFramesTruncatedTowardZero)
{
    start();
    pump();
    ASSERT_NE (audio, nullptr);
    auto& slider = *app->preferencesWindow->settings.offsetSettings.frameFinetuning;

    struct Case
    {
        int latency;
        double sampleRate;
        int outputId;
        double slider;
        int offset;
    };
    const Case cases[] = {
        { 512, 48000.0, 1, -3.0, -2 },                                // 0.256 - 3 = -2.744
        { 512, 48000.0, 1, 3.0, 3 },    { 2048, 44100.0, 2, 0.0, 1 }, // about 1.39
        { 22000, 48000.0, 1, 5.0, 15 },                               // 10.999999999999998 + 5
        { 0, 48000.0, 2, -7.0, -7 },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (testing::Message() << c.latency << " samples at " << c.sampleRate << ", slider " << c.slider);
        audio->setInputLatency (c.latency);
        auto setup = app->deviceManager.getAudioDeviceSetup();

        if (setup.sampleRate != c.sampleRate)
        {
            setup.sampleRate = c.sampleRate;
            EXPECT_TRUE (app->deviceManager.setAudioDeviceSetup (setup, true).isEmpty());
        }

        app->outputFrameRateBox.setSelectedId (c.outputId, juce::sendNotificationAsync);
        pump (20);

        // Move away first, so that the value below is a change.
        slider.setValue (c.slider + 1.0, juce::sendNotificationSync);
        slider.setValue (c.slider, juce::sendNotificationAsync);
        pump (20);
        EXPECT_EQ (app->audioInputListener.frameOffset.load(), c.offset);
    }

    // The same value again is no change, so nothing is recomputed.
    app->audioInputListener.frameOffset = 99;
    slider.setValue (slider.getValue(), juce::sendNotificationAsync);
    pump (20);
    EXPECT_EQ (app->audioInputListener.frameOffset.load(), 99);
}
