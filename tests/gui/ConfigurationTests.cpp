/*
    ZEM Quillbank - LTC to MTC converter and MIDI merger
    Copyright (C) 2026 ZEM. GPL-3.0-or-later.
*/

#include "merger/MidiInputs.h"
#include "merger/SingleMidiInput.h"
#include "preferences/PreferencesWindow.h"
#include "support/AppFixture.h"
#include "support/FifoRelease.h"
#include "support/LibLtcSignal.h"

#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <utility>

#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

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

/** Takes CAP_DAC_OVERRIDE out of the calling thread's effective capabilities for as long as it
    lives, so that file permissions hold for that thread even when the tests run as root. The
    other threads keep theirs.
*/
class PermissionsHoldForThisThread
{
public:
    PermissionsHoldForThisThread()
    {
        if (::syscall (SYS_capget, &header, saved) != 0)
            return;

        __user_cap_data_struct reduced[2] = { saved[0], saved[1] };
        reduced[CAP_TO_INDEX (CAP_DAC_OVERRIDE)].effective &= ~CAP_TO_MASK (CAP_DAC_OVERRIDE);
        dropped = ::syscall (SYS_capset, &header, reduced) == 0;
    }

    ~PermissionsHoldForThisThread()
    {
        if (dropped)
            ::syscall (SYS_capset, &header, saved);
    }

    bool dropped = false;

private:
    __user_cap_header_struct header { _LINUX_CAPABILITY_VERSION_3, 0 };
    __user_cap_data_struct saved[2] {};
};

/** The virtual devices with a hook that runs each time an input is about to be disabled. */
class DevicesWithDisableHook final : public MidiDevices
{
public:
    explicit DevicesWithDisableHook (VirtualMidiDevices& devicesToUse)
        : devices (devicesToUse)
    {
    }

    juce::StringArray getOutputNames() override { return devices.getOutputNames(); }
    std::unique_ptr<MidiOutputPort> openOutput (int index) override { return devices.openOutput (index); }
    juce::StringArray getInputNames() override { return devices.getInputNames(); }

    void setInputEnabled (const juce::String& name, bool enabled) override
    {
        if (! enabled && beforeDisabling != nullptr)
            beforeDisabling();

        devices.setInputEnabled (name, enabled);
    }

    void addInputHandler (const juce::String& name, MidiInputHandler* handler) override
    {
        devices.addInputHandler (name, handler);
    }

    void removeInputHandler (const juce::String& name, MidiInputHandler* handler) override
    {
        devices.removeInputHandler (name, handler);
    }

    std::function<void()> beforeDisabling;

private:
    VirtualMidiDevices& devices;
};
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

TEST_F (Configuration, AClickWhileAFileDialogIsUpStartsNoSecondDialogAndTheAnswerIsActedOnAtOnce)
{
    start();
    pump (200);

    const auto saved = home.home.getChildFile ("show.zems");
    const auto other = home.home.getChildFile ("other.zems");
    writeText (other, "1\n1\n-3\n0\nNo Output\n");

    // While the Save dialog is up the user clicks "Open" and "Save" again, and changes the input
    // rate: the save writes what is on screen when it is answered, and nothing is opened.
    // Only the first dialog's hook clicks: a second dialog, if one started, just answers.
    bool clicked = false;
    whileDialogIsUp = [&] (const LTCtoMTC::FileDialogRequest&)
    {
        if (std::exchange (clicked, true))
            return;

        dialogAnswer = other.getFullPathName();
        click (*app, *app->openButton);
        click (*app, *app->saveButton);
        app->inputFrameRateBox.setSelectedId (2, juce::sendNotificationAsync);
        dialogAnswer = saved.getFullPathName();
    };

    click (*app, *app->saveButton);
    ASSERT_EQ (dialogRequests.size(), 1u);
    EXPECT_EQ (saved.loadFileAsString(), "2\n1\n1\n0\nNo Output\n");
    EXPECT_EQ (offsetSliderOf (*app).getValue(), 1.0);

    // The same with the Open dialog up: no second dialog, and the chosen file is applied.
    clicked = false;
    whileDialogIsUp = [&] (const LTCtoMTC::FileDialogRequest&)
    {
        if (std::exchange (clicked, true))
            return;

        click (*app, *app->saveButton);
        click (*app, *app->openButton);
        dialogAnswer = other.getFullPathName();
    };

    click (*app, *app->openButton);
    ASSERT_EQ (dialogRequests.size(), 2u);
    EXPECT_EQ (dialogRequests[1].title, "Open your configuration");
    EXPECT_EQ (offsetSliderOf (*app).getValue(), -3.0);
    EXPECT_EQ (saved.loadFileAsString(), "2\n1\n1\n0\nNo Output\n");

    // Once the dialog has closed, the buttons start dialogs again.
    whileDialogIsUp = nullptr;
    dialogAnswer = {};
    click (*app, *app->saveButton);
    click (*app, *app->openButton);
    EXPECT_EQ (dialogRequests.size(), 4u);
}

namespace
{
/** The message the program shows, while it is up. */
juce::AlertWindow* messageShown()
{
    auto& modal = *juce::ModalComponentManager::getInstance();

    for (int i = 0; i < modal.getNumModalComponents(); ++i)
        if (auto* alert = dynamic_cast<juce::AlertWindow*> (modal.getModalComponent (i)))
            return alert;

    return nullptr;
}
} // namespace

TEST_F (Configuration, ASaveThatCannotWriteAndAnOpenThatCannotReadSayWhyAndChangeNothing)
{
    // 30 and 30 fps, offset 7, "Enabled" on, with LTC playing, so that MTC runs all along.
    const std::string onScreen = "2\n2\n7\n1\nOut\n";
    devices.setOutputNames ({ "Out" });
    writeAutosave (onScreen);
    start();
    ASSERT_NE (audio, nullptr);

    LibLtcSignal::Options options;
    options.framesPerSecond = 30.0;
    options.start = { 1, 0, 0, 0 };
    options.numFrames = 30 * 60;
    audio->setInputSamples (LibLtcSignal (options).samples, false);

    auto& generator = app->audioInputListener.mtcThread;
    const auto log = devices.getOutputLog ("Out");

    for (int i = 0; i < 100 && ! generator.ltcRunning; ++i)
        pump (50);

    ASSERT_TRUE (generator.ltcRunning);

    // Paths that fail for every user, root included.
    const auto plainFile = home.home.getChildFile ("plain");
    writeText (plainFile, "not a folder");
    const auto folder = home.home.getChildFile ("folder.zems");
    ASSERT_TRUE (folder.createDirectory());
    const auto belowAFile = plainFile.getChildFile ("show.zems").getFullPathName();
    const auto fifo = home.home.getChildFile ("pipe.zems");
    ASSERT_EQ (::mkfifo (fifo.getFullPathName().toRawUTF8(), 0666), 0);

    struct Case
    {
        const char* what;
        juce::Button* button;
        juce::String path;
        juce::String title;
        juce::String reason;
    };

    const Case cases[] = {
        { "save below a regular file", app->saveButton.get(), belowAFile, "Could not save your configuration",
          "(Not a directory). Nothing was saved." },
        { "save onto a folder", app->saveButton.get(), folder.getFullPathName(), "Could not save your configuration",
          "(Is a directory). Nothing was saved." },
        { "open below a regular file", app->openButton.get(), belowAFile, "Could not open your configuration",
          "(Not a directory). The configuration is unchanged." },
        { "open a folder", app->openButton.get(), folder.getFullPathName(), "Could not open your configuration",
          "(Is a directory). The configuration is unchanged." },
        { "open a file that is not there", app->openButton.get(),
          home.home.getChildFile ("gone.zems").getFullPathName(), "Could not open your configuration",
          "(No such file or directory). The configuration is unchanged." },
        { "open a FIFO", app->openButton.get(), fifo.getFullPathName(), "Could not open your configuration",
          "(Not a regular file). The configuration is unchanged." },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        dialogAnswer = c.path;

        {
            const FifoRelease release (c.path.toStdString(), 5000);
            click (*app, *c.button);
            EXPECT_FALSE (release.released()) << "the click waited for a writer";
        }

        auto* message = messageShown();
        ASSERT_NE (message, nullptr);
        EXPECT_EQ (message->getName(), c.title);
        EXPECT_TRUE (message->getDescription().contains ("\"" + c.path + "\""));
        EXPECT_TRUE (message->getDescription().endsWith (c.reason)) << message->getDescription();

        // The message holds nothing up: MTC goes on while it is shown.
        const auto blocksBefore = log->getBlocks().size();

        for (int i = 0; i < 40 && log->getBlocks().size() < blocksBefore + 3; ++i)
            pump (50);

        EXPECT_GE (log->getBlocks().size(), blocksBefore + 3);
        EXPECT_TRUE (generator.ltcRunning);
        EXPECT_EQ (app->statusLabel.getText(), "[Running LTC]");

        // Deleted, not only out of its modal state: exitModalState takes it out of the count of
        // modal items at once.
        const juce::Component::SafePointer<juce::AlertWindow> dismissed (message);
        message->exitModalState (0);
        pump();
        EXPECT_EQ (dismissed.getComponent(), nullptr);

        EXPECT_EQ (plainFile.loadFileAsString(), "not a folder");
        EXPECT_TRUE (folder.isDirectory());
        EXPECT_TRUE (std::filesystem::is_fifo (fifo.getFullPathName().toStdString()));
        EXPECT_EQ (app->inputFrameRateBox.getSelectedId(), 2);
        EXPECT_EQ (app->outputFrameRateBox.getSelectedId(), 2);
        EXPECT_EQ (offsetSliderOf (*app).getValue(), 7.0);
        EXPECT_TRUE (app->enableToggle->getToggleState());
    }

    // Nothing new beside the plain file, the folder, the FIFO and Documents.
    EXPECT_EQ (home.home.findChildFiles (juce::File::findFilesAndDirectories, false).size(), 4);

    // A quit while a message is up ends cleanly and saves what is on screen.
    dialogAnswer = belowAFile;
    click (*app, *app->openButton);
    const juce::Component::SafePointer<juce::AlertWindow> upAtQuit (messageShown());
    ASSERT_NE (upAtQuit.getComponent(), nullptr);
    quit();
    EXPECT_EQ (upAtQuit.getComponent(), nullptr);
    EXPECT_EQ (readAutosave(), onScreen);
}

TEST_F (Configuration, OpeningDamagedAndOddFilesAppliesEachLineThatReadsAndKeepsTheRest)
{
    struct RowState
    {
        bool merge, ccToNote;
        int channelIndex;
    };

    struct Case
    {
        const char* what;
        std::optional<std::string> contents; // none: no file at the path
        bool enabledBefore;
        int inputId, outputId;
        double slider;
        int frameOffset; // 99, the value set before opening, when the slider did not notify
        bool enabled;
        const char* output;
        RowState a, b;
        juce::StringArray inputCalls; // made by the opening
    };

    // The state before opening: rows A (merged, CC to note, "Channel 5") and B (as the rebuild
    // made it), output "Out", offset 5. Device C was plugged in after the rows were made. The
    // user has since picked "23.976 ND", which leaves the remembered input rate at 2: a file
    // without that line selects 2 again.
    const RowState a0 { true, true, 5 }, b0 { false, false, 0 };
    const juce::StringArray none, mergesA { "enable A", "add A" };
    const juce::StringArray mergesATwice { "enable A", "add A", "enable A", "add A" };
    const juce::StringArray mergesATwiceThenB { "enable A", "add A", "enable A", "add A", "enable B", "add B" };

    // Names that are not well-formed UTF-8 or hold a NUL match no device; each is followed by
    // the rest of a real port name, so that a conversion overrunning its buffer does so by far.
    using namespace std::string_literals;
    const auto head = "2\n2\n5\n1\n"s;
    const auto port = " Port 1 of the USB MIDI Interface 2x2"s;
    const auto megabyte = std::string (1 << 20, 'x');
    const auto megabyteOfContinuations = std::string (1 << 20, '\x80');

    // Rows wrapped by hand; the formatter would give every field of a row that holds a braced
    // value a line of its own.
    // clang-format off
    const Case cases[] = {
        { "Enabled 2", "2\n2\n5\n2\nOut\n", false, 2, 2, 5.0, 99, true, "Out", a0, b0, none },
        { "Enabled -1", "2\n2\n5\n-1\nOut\n", false, 2, 2, 5.0, 99, true, "Out", a0, b0, none },
        { "Enabled 0", "2\n2\n5\n0\nNo Output\n", true, 2, 2, 5.0, 99, false, "No Output", a0, b0, none },
        { "Enabled as text", "2\n2\n5\non\nOut\n", true, 2, 2, 5.0, 99, true, "Out", a0, b0, none },
        { "two records for one device", "2\n2\n5\n1\nOut\nA\n0\n0\n3\nA\n1\n0\n7\n", true, 2, 2, 5.0, 99, true, "Out",
          { true, false, 7 }, b0, mergesA },
        { "empty file", "", true, 2, 2, 5.0, 99, true, "Out", a0, b0, none },
        { "short file, last line without a line feed", "1\n1\n-4", false, 1, 1, -4.0, -4, false, "Out", a0, b0, none },
        { "carriage returns", "1\r\n1\r\n-2\r\n1\r\nOut\r\nC\r\n1\r\n1\r\n3\r\n", false, 1, 1, -2.0, -2, true, "Out",
          a0, b0, mergesA },
        { "empty output name", "2\n2\n5\n1\n\n", true, 2, 2, 5.0, 99, true, "Out", a0, b0, none },
        { "channel -1", "2\n2\n5\n1\nOut\nA\n1\n1\n-1\n", true, 2, 2, 5.0, 99, true, "Out", { true, true, -1 }, b0,
          mergesA },
        { "channel 16", "2\n2\n5\n1\nOut\nA\n1\n1\n16\n", true, 2, 2, 5.0, 99, true, "Out", { true, true, 16 }, b0,
          mergesA },
        { "channel 17", "2\n2\n5\n1\nOut\nA\n1\n1\n17\n", true, 2, 2, 5.0, 99, true, "Out", { true, true, -1 }, b0,
          mergesA },
        { "channel 2147483647, where one more overflows", "2\n2\n5\n1\nOut\nA\n1\n1\n2147483647\n", true, 2, 2, 5.0,
          99, true, "Out", { true, true, -1 }, b0, mergesA },
        { "offset equal to the slider's", "1\n1\n5\n1\nOut\n", true, 1, 1, 5.0, 99, true, "Out", a0, b0, none },
        { "offset 45", "2\n2\n45\n1\nOut\n", true, 2, 2, 30.0, 30, true, "Out", a0, b0, none },
        { "missing file: the user is told, and nothing changes", std::nullopt, true, 3, 2, 5.0, 99, true, "Out", a0,
          b0, none },

        { "output name with a lone continuation byte", head + "A\x80" + port + "\n", true, 2, 2, 5.0, 99, true,
          "Out", a0, b0, none },
        { "device name with a lone continuation byte; the next record still applies",
          head + "Out\nA\x80" + port + "\n0\n0\n3\nB\n1\n1\n9\n", true, 2, 2, 5.0, 99, true, "Out", a0,
          { true, true, 9 }, mergesATwiceThenB },
        { "an invalid record's values carry over like any other's", head + "Out\nB\x80\n1\n1\n9\nB\n", true, 2, 2,
          5.0, 99, true, "Out", a0, { true, true, 9 }, mergesATwiceThenB },
        { "0xFF", head + "Out\xFF" + port + "\nA\xFF\n0\n0\n3\n\xFF\n0\n0\n3\n", true, 2, 2, 5.0, 99, true,
          "Out", a0, b0, mergesATwice },
        { "sequences cut at the end of the line", head + "Out\xF0\x9F\x98\nA\xE2\x82\n0\n0\n3\n", true, 2, 2,
          5.0, 99, true, "Out", a0, b0, mergesA },
        { "overlong forms, of a NUL and of the letter A",
          head + "Out\xC0\x80" + port + "\nA\xE0\x80\x80" + port + "\n0\n0\n3\n\xC1\x81\n0\n0\n3\n",
          true, 2, 2, 5.0, 99, true, "Out", a0, b0, mergesATwice },
        { "overlong forms of the letter A in three and four bytes",
          head + "Out\n\xE0\x81\x81\n0\n0\n3\n\xF0\x80\x81\x81\n0\n0\n3\n", true, 2, 2, 5.0, 99, true,
          "Out", a0, b0, mergesATwice },
        { "encoded surrogates", head + "Out\xED\xA0\x80\nA\xED\xBF\xBF\n0\n0\n3\n", true, 2, 2, 5.0, 99, true,
          "Out", a0, b0, mergesA },
        { "past U+10FFFF", head + "Out\xF4\x90\x80\x80\nA\xF5\x80\x80\x80\n0\n0\n3\n", true, 2, 2, 5.0, 99,
          true, "Out", a0, b0, mergesA },
        { "NUL inside names whose text before the NUL is a device's",
          head + "No Output\0put\nA\0B\n0\n0\n3\nC\0D\n1\n0\n0\n"s, true, 2, 2, 5.0, 99, true, "Out", a0,
          b0, mergesATwice },
        { "carriage return in the name of a device that has a row", head + "Out\r\nA\r\n0\n0\n3\n", true, 2, 2,
          5.0, 99, true, "Out", a0, b0, mergesA },
        { "1 MiB lines", head + megabyte + "\n" + megabyteOfContinuations + "\n0\n0\n3\n" + megabyte + "\n0\n0\n3\n",
          true, 2, 2, 5.0, 99, true, "Out", a0, b0, mergesATwice },
    };
    // clang-format on

    devices.setOutputNames ({ "Out" });
    const auto file = home.home.getChildFile ("odd.zems");

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        quit();
        devices.setInputNames ({ "A", "B" });
        writeAutosave (std::string ("2\n2\n5\n") + (c.enabledBefore ? "1" : "0") + "\nOut\nA\n1\n1\n5\n");
        start();
        pump();
        click (*app, *app->preferencesButton);
        app->inputFrameRateBox.setSelectedId (3, juce::sendNotificationAsync);
        pump();
        ASSERT_EQ (rowsOf (*app).size(), 2);
        ASSERT_EQ (offsetSliderOf (*app).getValue(), 5.0);
        ASSERT_EQ (app->midiOutputBox.getText(), "Out");
        devices.setInputNames ({ "A", "B", "C" });

        file.deleteFile();

        if (c.contents.has_value())
            std::ofstream (file.getFullPathName().toStdString(), std::ios::binary) << *c.contents;

        dialogAnswer = file.getFullPathName();
        app->audioInputListener.frameOffset = 99;
        const auto callsBefore = devices.getInputCalls().size();
        click (*app, *app->openButton);
        pump (100);

        EXPECT_EQ (app->inputFrameRateBox.getSelectedId(), c.inputId);
        EXPECT_EQ (app->outputFrameRateBox.getSelectedId(), c.outputId);
        EXPECT_EQ (offsetSliderOf (*app).getValue(), c.slider);
        EXPECT_EQ (app->audioInputListener.frameOffset.load(), c.frameOffset);
        EXPECT_EQ (app->enableToggle->getToggleState(), c.enabled);
        EXPECT_EQ (app->statusLabel.getText(), juce::String (c.enabled ? "[Waiting for LTC]" : "[No LTC-MTC]"));
        EXPECT_EQ (app->midiOutputBox.getText(), c.output);

        EXPECT_EQ (rowsOf (*app).size(), 2);

        for (const auto& [name, expected] : { std::pair { "A", c.a }, std::pair { "B", c.b } })
        {
            SCOPED_TRACE (name);
            const auto* row = rowNamed (*app, name);
            ASSERT_NE (row, nullptr);
            EXPECT_EQ (row->inputToggle->getToggleState(), expected.merge);
            EXPECT_EQ (row->ccToNoteToggle->getToggleState(), expected.ccToNote);
            EXPECT_EQ (row->destinationChannel->getSelectedItemIndex(), expected.channelIndex);
        }

        auto calls = devices.getInputCalls();
        calls.removeRange (0, callsBefore);
        EXPECT_EQ (calls, c.inputCalls);
        EXPECT_EQ (messageShown() != nullptr, ! c.contents.has_value());
    }
}

TEST_F (Configuration, AnAudioSetUpFileThatIsNotWellFormedTextGivesTheDefaultSetUpAndStaysAsItWas)
{
    struct Case
    {
        const char* what;
        std::string contents;
        bool restored;
    };

    using namespace std::string_literals;
    const auto declaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"s;

    const Case cases[] = {
        { "0xFF at the end, inside an attribute", declaration + "<DEVICESETUP deviceType=\"\xFF", false },
        { "0xFF at the end, inside the text", declaration + "<DEVICESETUP deviceType=\"Test\">abc\xFF", false },
        { "a lone continuation byte in the input's name",
          declaration + "<DEVICESETUP deviceType=\"Test\" audioInputDeviceName=\"Test LTC Input\x80\"/>\r\n", false },
        { "an overlong form in a MIDI input's name",
          declaration + "<DEVICESETUP deviceType=\"Test\"><MIDIINPUT name=\"A\xC0\x80\"/></DEVICESETUP>\r\n", false },
        { "a NUL inside", declaration + "<DEVICESETUP deviceType=\"Test\"/>\0\r\n"s, false },
        { "well-formed, with a name outside ASCII",
          declaration
              + "<DEVICESETUP deviceType=\"Test\"><MIDIINPUT name=\"K\xC3\xBC\x63he\" "
                "identifier=\"k\"/></DEVICESETUP>\r\n",
          true },
    };

    const auto setUpFile = home.settingsFolder().getChildFile ("audioConfig.zems");

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        quit();
        home.settingsFolder().createDirectory();
        std::ofstream (setUpFile.getFullPathName().toStdString(), std::ios::binary) << c.contents;
        start();
        pump();

        EXPECT_EQ (app->deviceManager.createStateXml() != nullptr, c.restored);
        quit();

        juce::MemoryBlock written;
        ASSERT_TRUE (setUpFile.loadFileAsData (written));
        const std::string bytes (static_cast<const char*> (written.getData()), written.getSize());

        // A restored set-up is written again at exit, in the framework's own layout.
        if (c.restored)
        {
            EXPECT_EQ (bytes.rfind (declaration + "\r\n<DEVICESETUP deviceType=\"Test\"", 0), 0u) << bytes;
            EXPECT_EQ (bytes, juce::parseXML (juce::String::fromUTF8 (bytes.data(), (int) bytes.size()))->toString())
                << "not in the framework's own text format";
        }
        else
            EXPECT_EQ (bytes, c.contents);
    }
}

TEST_F (Configuration, AnAudioSetUpFileThatIsNotARegularFileIsNeitherReadNorWrittenOver)
{
    const auto setUpFile = home.settingsFolder().getChildFile ("audioConfig.zems");
    const auto path = setUpFile.getFullPathName().toStdString();

    // A device that ends at once stands for those that never end, such as /dev/zero.
    const std::pair<const char*, std::function<bool()>> cases[] = {
        { "FIFO", [&path] { return ::mkfifo (path.c_str(), 0666) == 0; } },
        { "link to /dev/null", [&path] { return ::symlink ("/dev/null", path.c_str()) == 0; } },
    };

    for (const auto& [what, make] : cases)
    {
        SCOPED_TRACE (what);
        quit();
        home.settingsFolder().createDirectory();
        ::unlink (path.c_str());
        ASSERT_TRUE (make());
        struct stat before;
        ASSERT_EQ (::lstat (path.c_str(), &before), 0);

        {
            const FifoRelease release (path, 5000);
            start();
            EXPECT_FALSE (release.released()) << "the start waited for a writer";
        }

        pump();
        ASSERT_NE (app->deviceManager.getCurrentAudioDevice(), nullptr);
        EXPECT_EQ (app->deviceManager.getCurrentAudioDevice()->getName(), TestAudioDeviceType::deviceName);

        // Any change of a MIDI input's state gives the manager a set-up to write at exit.
        app->deviceManager.setMidiInputDeviceEnabled ("not-connected", true);
        ASSERT_NE (app->deviceManager.createStateXml(), nullptr);
        quit();

        struct stat after;
        ASSERT_EQ (::lstat (path.c_str(), &after), 0);
        EXPECT_EQ (after.st_mode, before.st_mode);
        EXPECT_EQ (after.st_ino, before.st_ino);
        EXPECT_EQ (readAutosave(), "1\n1\n1\n0\nNo Output\n");
    }
}

TEST_F (Configuration, MidiInputsListedInTheAudioSetUpFileStayListedWhileTheyAreNotConnected)
{
    // No MIDI input is connected here, so every input that the file lists is absent at start.
    struct Case
    {
        const char* what;
        const char* inputDevice;
    };

    const Case cases[] = {
        { "the saved audio device opens", TestAudioDeviceType::deviceName },
        { "the saved audio device is gone, so the default one opens", "Gone Interface" },
    };

    const juce::StringArray listed { "Stage Keys MIDI 1|stage-keys-1", "Pad Box|pad-box-2" };
    const auto setUpFile = home.settingsFolder().getChildFile ("audioConfig.zems");

    const auto listedInputs = [] (const juce::XmlElement& state)
    {
        juce::StringArray inputs;

        for (auto* input : state.getChildWithTagNameIterator ("MIDIINPUT"))
            inputs.add (input->getStringAttribute ("name") + "|" + input->getStringAttribute ("identifier"));

        return inputs;
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        quit();
        home.settingsFolder().createDirectory();

        juce::XmlElement saved ("DEVICESETUP");
        saved.setAttribute ("deviceType", "Test");
        saved.setAttribute ("audioOutputDeviceName", "");
        saved.setAttribute ("audioInputDeviceName", c.inputDevice);

        for (const auto& input : listed)
        {
            auto* child = saved.createNewChildElement ("MIDIINPUT");
            child->setAttribute ("name", input.upToFirstOccurrenceOf ("|", false, false));
            child->setAttribute ("identifier", input.fromFirstOccurrenceOf ("|", false, false));
        }

        ASSERT_TRUE (saved.writeTo (setUpFile));

        // Twice: a second run starts from the file that the first one wrote.
        for (int run = 0; run < 2; ++run)
        {
            start();
            pump();
            ASSERT_NE (app->deviceManager.getCurrentAudioDevice(), nullptr);
            const auto openedDevice = app->deviceManager.getCurrentAudioDevice()->getName();
            quit();

            const auto written = juce::parseXML (setUpFile);
            ASSERT_NE (written, nullptr);
            EXPECT_EQ (listedInputs (*written).joinIntoString ("; "), listed.joinIntoString ("; "));
            EXPECT_EQ (written->getStringAttribute ("deviceType"), "Test");
            EXPECT_EQ (openedDevice, TestAudioDeviceType::deviceName);

            // The rest is the framework's own: what it wrote for the device it opened, or the saved
            // device's name when that one did not open.
            EXPECT_EQ (written->getStringAttribute ("audioInputDeviceName"), c.inputDevice);
        }
    }
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
    EXPECT_EQ (devices.getInputCalls(), (juce::StringArray { "enable A", "add A", "enable B", "add B", "disable A",
                                                             "remove A", "disable B", "remove B" }));
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

TEST_F (Shutdown, WithAReadOnlySettingsFolderWritesNothingAndLeavesNoFileBehind)
{
    devices.setInputNames ({ "A" });
    const std::string lastRun = "1\n1\n0\n0\nNo Output\nA\n0\n0\n0\n";
    writeAutosave (lastRun);
    const auto folder = home.settingsFolder();
    ASSERT_TRUE (folder.setReadOnly (true)); // the folder only: autosave.zems stays writable

    // Root passes over file permissions. The writes at quit run on this thread, so taking the
    // capability from it makes the folder read-only for root too.
    const PermissionsHoldForThisThread permissions;

    if (::geteuid() == 0 && ! permissions.dropped)
        GTEST_SKIP() << "running as root, and the permission override could not be given up";

    ASSERT_TRUE (folder.getChildFile ("probe").create().failed());

    start();
    pump();
    click (*app, *app->preferencesButton);
    click (*app, *rowNamed (*app, "A")->inputToggle);
    click (*app, *app->enableToggle);
    app->inputFrameRateBox.setSelectedId (2, juce::sendNotificationAsync);
    auto setup = app->deviceManager.getAudioDeviceSetup();
    setup.bufferSize = setup.bufferSize == 1024 ? 512 : 1024;
    EXPECT_TRUE (app->deviceManager.setAudioDeviceSetup (setup, true).isEmpty());
    pump();
    EXPECT_NE (app->deviceManager.createStateXml(), nullptr); // so the device set-up is saved too

    const auto pathsUnderHome = [this]
    {
        juce::StringArray paths;

        for (const auto& file : home.home.findChildFiles (juce::File::findFilesAndDirectories, true))
            paths.add (file.getFullPathName());

        paths.sort (false);
        return paths;
    };

    const auto before = pathsUnderHome();
    quit();

    EXPECT_EQ (pathsUnderHome(), before);
    EXPECT_EQ (readAutosave(), lastRun);
    EXPECT_FALSE (devices.isInputEnabled ("A"));
    EXPECT_EQ (devices.getNumHandlers ("A"), 0);
}

TEST_F (Shutdown, QuitWhileMtcRunsHandsNoBlockOverOnceTheSequenceHasBegun)
{
    devices.setOutputNames ({ "Out" });
    devices.setInputNames ({ "Keys" });
    writeAutosave ("1\n1\n0\n1\nOut\nKeys\n1\n0\n0\n");

    // The quit is held inside its step that disables the merged row, for several blocks' time,
    // while LTC goes on coming: any generator pass during the sequence would hand a block over.
    DevicesWithDisableHook heldDevices (devices);
    juce::int64 count = 1000;
    double holdEndedAt = 0;
    const juce::ScopeGuard quitBeforeTheDevicesGo { [this] { quit(); } };

    LTCtoMTC::Environment environment;
    environment.midiDevices = &heldDevices;
    environment.addAudioDeviceTypes = [] (juce::AudioDeviceManager& manager)
    { manager.addAudioDeviceType (std::make_unique<TestAudioDeviceType>()); };
    app = std::make_unique<LTCtoMTC> (std::move (environment));
    pump();

    auto& generator = app->audioInputListener.mtcThread;
    const auto handOverFrame = [&]
    {
        generator.lastEvenLtcFrame = count;
        generator.newLtcFrame.store (true, std::memory_order_release);
        count += 2;
    };

    std::atomic<bool> feeding { true };
    std::thread ltc (
        [&]
        {
            while (feeding)
            {
                handOverFrame();
                std::this_thread::sleep_for (std::chrono::milliseconds (83));
            }
        });

    pump (600);
    feeding = false;
    ltc.join();
    ASSERT_TRUE (generator.ltcRunning);

    heldDevices.beforeDisabling = [&]
    {
        for (int frame = 0; frame < 4; ++frame)
        {
            handOverFrame();
            std::this_thread::sleep_for (std::chrono::milliseconds (83));
        }

        holdEndedAt = juce::Time::getMillisecondCounterHiRes();
    };

    const auto log = devices.getOutputLog ("Out");
    const auto blocksBefore = log->getBlocks().size();
    const auto quitAt = juce::Time::getMillisecondCounterHiRes();
    quit();
    const auto quitEndedAt = juce::Time::getMillisecondCounterHiRes();

    ASSERT_GT (holdEndedAt, 0.0);
    const auto blocks = log->getBlocks();
    ASSERT_FALSE (blocks.empty());
    EXPECT_EQ (blocks.size(), blocksBefore);

    for (const auto& block : blocks)
        EXPECT_LE (block.startMs, quitAt + 1.0);

    // The rest of the sequence, the generator's stop (with its time-out of 2,000 ms) among it.
    EXPECT_LT (quitEndedAt - holdEndedAt, 2000.0);
}
