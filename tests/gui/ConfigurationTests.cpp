/*
    ZEM Quillbank - LTC to MTC converter and MIDI merger
    Copyright (C) 2026 ZEM. GPL-3.0-or-later.
*/

#include "merger/MidiInputs.h"
#include "merger/SingleMidiInput.h"
#include "preferences/PreferencesWindow.h"
#include "support/AppFixture.h"

#include <thread>

namespace
{
juce::OwnedArray<SingleMidiInput>& rowsOf (LTCtoMTC& app)
{
    return app.preferencesWindow->settings.midiInputs.inputs;
}

SingleMidiInput* rowNamed (LTCtoMTC& app, const juce::String& name)
{
    for (auto* row : rowsOf (app))
        if (row->inputToggle->getButtonText() == name)
            return row;

    return nullptr;
}

void writeText (const juce::File& file, const juce::String& text)
{
    file.replaceWithText (text, false, false, nullptr);
}

juce::Slider& offsetSliderOf (LTCtoMTC& app)
{
    return *app.preferencesWindow->settings.offsetSettings.frameFinetuning;
}

void click (LTCtoMTC& app, juce::Button& button)
{
    if (button.getClickingTogglesState())
        button.setToggleState (! button.getToggleState(), juce::sendNotificationSync);
    else
        app.buttonClicked (&button);
}
} // namespace

//==============================================================================
using Configuration = AppFixture;

TEST_F (Configuration, FirstStartWithoutAFileUsesTheDefaultsAndWritesAtExit)
{
    start();
    pump (200);

    EXPECT_EQ (app->inputFrameRateBox.getSelectedId(), 1);
    EXPECT_EQ (app->outputFrameRateBox.getSelectedId(), 1);
    EXPECT_EQ (offsetSliderOf (*app).getValue(), 1.0);
    EXPECT_EQ (app->audioInputListener.frameOffset.load(), 1);
    EXPECT_FALSE (app->enableToggle->getToggleState());
    EXPECT_TRUE (rowsOf (*app).isEmpty());

    quit();
    EXPECT_EQ (readAutosave(), "1\n1\n1\n0\nNo Output\n");
}

TEST_F (Configuration, RestoresWhatTheLastRunLeftAndWritesTheSameBytesAgain)
{
    devices.setOutputNames ({ "Studio Out" });
    devices.setInputNames ({ "Keys In", "Pad Box" });
    const std::string saved = "4\n2\n-2\n1\nStudio Out\nKeys In\n1\n0\n0\nPad Box\n0\n1\n10\n";
    writeAutosave (saved);
    start();
    pump (200);

    EXPECT_EQ (app->inputFrameRateBox.getText(), "29.97 ND");
    EXPECT_EQ (app->outputFrameRateBox.getText(), "30 FPS");
    EXPECT_EQ (offsetSliderOf (*app).getValue(), -2.0);
    EXPECT_TRUE (app->enableToggle->getToggleState());
    EXPECT_EQ (app->statusLabel.getText(), "[Waiting for LTC]");
    EXPECT_EQ (app->midiOutputBox.getText(), "Studio Out");
    ASSERT_EQ (rowsOf (*app).size(), 2);
    EXPECT_TRUE (devices.isInputEnabled ("Keys In"));
    EXPECT_EQ (devices.getNumHandlers ("Keys In"), 1);
    EXPECT_FALSE (devices.isInputEnabled ("Pad Box"));
    EXPECT_EQ (rowNamed (*app, "Pad Box")->destinationChannel->getText(), "Channel 10");
    EXPECT_TRUE (rowNamed (*app, "Pad Box")->ccToNoteToggle->getToggleState());

    quit();
    EXPECT_EQ (readAutosave(), saved);
}

TEST_F (Configuration, AppliesRecordsOnlyToPresentDevicesAndMergesSwitchedOnRows)
{
    devices.setOutputNames ({ "Twin", "Twin" });
    devices.setInputNames ({ "Present" });
    writeAutosave ("1\n1\n45\n0\nTwin\nAbsent\n1\n1\n3\nPresent\n1\n0\n17\n");
    start();
    pump (200);

    ASSERT_EQ (rowsOf (*app).size(), 1);
    auto* row = rowsOf (*app)[0];
    EXPECT_EQ (row->inputToggle->getButtonText(), "Present");
    EXPECT_TRUE (row->inputToggle->getToggleState());
    EXPECT_EQ (row->destinationChannel->getSelectedItemIndex(), -1);
    EXPECT_TRUE (devices.isInputEnabled ("Present"));
    EXPECT_EQ (devices.getNumHandlers ("Present"), 1);
    EXPECT_EQ (devices.getInputCalls(), (juce::StringArray { "enable Present", "add Present" }));

    EXPECT_EQ (app->midiOutputBox.getSelectedItemIndex(), 3); // the later of two matching items
    EXPECT_EQ (offsetSliderOf (*app).getValue(), 30.0);

    quit();
    EXPECT_EQ (readAutosave(), "1\n1\n30\n0\nTwin\nPresent\n1\n0\n-1\n");
}

TEST_F (Configuration, SaveAndOpenGoThroughTheDialogsWithTheirTitlesFoldersAndFlags)
{
    devices.setInputNames ({ "Keys In" });
    start();
    pump (200);

    // Cancelled dialogs change nothing.
    click (*app, *app->saveButton);
    click (*app, *app->openButton);
    ASSERT_EQ (dialogRequests.size(), 2u);
    EXPECT_EQ (dialogRequests[0].title, "Save your configuration");
    EXPECT_EQ (dialogRequests[0].flags, 0x86);
    EXPECT_EQ (dialogRequests[1].title, "Open your configuration");
    EXPECT_EQ (dialogRequests[1].flags, 5);

    for (const auto& request : dialogRequests)
    {
        EXPECT_EQ (request.filter, "*.zems");
        EXPECT_EQ (request.startFolder, home.settingsFolder());
    }

    const auto file = home.home.getChildFile ("show.zems");
    dialogAnswer = file.getFullPathName();
    app->inputFrameRateBox.setSelectedId (2, juce::sendNotificationAsync);
    pump (60);
    click (*app, *app->saveButton);
    EXPECT_EQ (file.loadFileAsString(), "2\n1\n1\n0\nNo Output\n");

    // Saving and opening the same file changes no selection, so no handler runs.
    int handlerRuns = 0;
    app->inputFrameRateBox.onChange = [&handlerRuns] { ++handlerRuns; };
    click (*app, *app->openButton);
    pump (100);
    EXPECT_EQ (handlerRuns, 0);

    // Opening a file whose "Enabled" differs: the toggle and the conversion follow it.
    writeText (file, "2\n1\n1\n1\nNo Output\nKeys In\n1\n0\n0\n");
    click (*app, *app->openButton);
    EXPECT_TRUE (app->enableToggle->getToggleState());
    EXPECT_EQ (app->statusLabel.getText(), "[Waiting for LTC]");
    EXPECT_TRUE (devices.isInputEnabled ("Keys In"));

    writeText (file, "2\n1\n1\n0\nNo Output\n");
    click (*app, *app->openButton);
    EXPECT_FALSE (app->enableToggle->getToggleState());
    EXPECT_EQ (app->statusLabel.getText(), "[No LTC-MTC]");
}

//==============================================================================
using Shutdown = AppFixture;

TEST_F (Shutdown, ReleasesOnlyTheMergedRowsAndRecordsEveryRow)
{
    devices.setInputNames ({ "A", "B", "C" });
    start();
    pump();
    click (*app, *app->preferencesButton);
    ASSERT_EQ (rowsOf (*app).size(), 3);

    click (*app, *rowNamed (*app, "A")->inputToggle);
    click (*app, *rowNamed (*app, "B")->inputToggle);
    EXPECT_EQ (devices.getInputCalls(), (juce::StringArray { "enable A", "add A", "enable B", "add B" }));

    quit();
    EXPECT_EQ (devices.getInputCalls(),
               (juce::StringArray { "enable A", "add A", "enable B", "add B", "disable A", "remove A", "disable B",
                                    "remove B" }));
    EXPECT_EQ (devices.getNumHandlers ("A") + devices.getNumHandlers ("B"), 0);
    EXPECT_EQ (readAutosave(), "1\n1\n1\n0\nNo Output\nA\n1\n0\n0\nB\n1\n0\n0\nC\n0\n0\n0\n");
}

TEST_F (Shutdown, CutsOffInputsRegisteredWithoutASwitchedOnRow)
{
    devices.setInputNames ({ "Kept", "Unplugged" });
    writeAutosave ("1\n1\n0\n0\nNo Output\nKept\n1\n0\n0\nUnplugged\n1\n0\n0\n");
    start();
    pump();
    EXPECT_EQ (devices.getNumHandlers ("Kept"), 1);
    EXPECT_EQ (devices.getNumHandlers ("Unplugged"), 1);

    // A settings file switches "Kept" off (its input stays registered), and "Unplugged" goes
    // away, so the rebuild removes its row while its input stays registered.
    const auto file = home.home.getChildFile ("off.zems");
    writeText (file, "1\n1\n0\n0\nNo Output\nKept\n0\n0\n0\n");
    dialogAnswer = file.getFullPathName();
    click (*app, *app->openButton);
    devices.setInputNames ({ "Kept" });
    click (*app, *app->preferencesButton);
    ASSERT_EQ (rowsOf (*app).size(), 1);

    quit();
    EXPECT_EQ (devices.getNumHandlers ("Kept"), 0);
    EXPECT_EQ (devices.getNumHandlers ("Unplugged"), 0);
}

TEST_F (Shutdown, WithoutAWritableSettingsFolderEndsCleanlyAndWritesNothing)
{
    home.documents().createDirectory();
    home.documents().getChildFile ("ZEM").replaceWithText ("in the way");
    start();
    pump();
    quit();

    EXPECT_EQ (home.documents().getChildFile ("ZEM").loadFileAsString(), "in the way");
    EXPECT_EQ (home.documents().findChildFiles (juce::File::findFilesAndDirectories, true).size(), 1);
}

TEST_F (Shutdown, QuitWhileMtcRunsHandsNoBlockOverOnceTheSequenceHasBegun)
{
    devices.setOutputNames ({ "Out" });
    writeAutosave ("1\n1\n0\n1\nOut\n");
    start();
    pump();

    auto& generator = app->audioInputListener.mtcThread;
    std::atomic<bool> feeding { true };
    std::thread ltc ([&] {
        juce::int64 count = 1000;
        while (feeding)
        {
            generator.lastEvenLtcFrame = count;
            generator.newLtcFrame.store (true, std::memory_order_release);
            count += 2;
            std::this_thread::sleep_for (std::chrono::milliseconds (83));
        }
    });

    pump (600);
    feeding = false;
    ltc.join();
    ASSERT_TRUE (generator.ltcRunning);

    const auto log = devices.getOutputLog ("Out");
    const auto quitAt = juce::Time::getMillisecondCounterHiRes();
    quit();
    const auto quitTook = juce::Time::getMillisecondCounterHiRes() - quitAt;

    const auto blocks = log->getBlocks();
    ASSERT_FALSE (blocks.empty());
    for (const auto& block : blocks)
        EXPECT_LE (block.startMs, quitAt + 1.0);

    std::cout << "quit while MTC ran took " << quitTook << " ms" << std::endl;
}
