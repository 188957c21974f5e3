/*
    ZEM Quillbank - LTC to MTC converter and MIDI merger
    Copyright (C) 2026 ZEM. GPL-3.0-or-later.
*/

#pragma once

#include "app/LTCtoMTC.h"
#include "platform/VirtualMidiDevices.h"
#include "support/TestAudioDeviceType.h"

#include <gtest/gtest.h>

#include <functional>

/** Points the user's home (and so the documents folder) at a fresh temporary folder for as
    long as it lives.
*/
class TemporaryHome
{
public:
    TemporaryHome();
    ~TemporaryHome();

    juce::File home;
    juce::File documents() const { return home.getChildFile ("Documents"); }
    juce::File settingsFolder() const { return documents().getChildFile ("ZEM/Quillbank"); }

private:
    juce::String previousHome;
};

/** What a main component runs on in tests and benchmarks: these virtual MIDI devices, and a
    test audio device type, which is handed to `audio` once the component has added it.
*/
LTCtoMTC::Environment testEnvironment (VirtualMidiDevices& devices, int audioOutputChannels,
                                       TestAudioDeviceType*& audio);

/** The whole main component over virtual MIDI devices, in a temporary home, with the Save and
    Open dialogs answered by the test.
*/
class AppFixture : public testing::Test
{
public:
    AppFixture();
    ~AppFixture() override;

    /** Builds the main component, as the application does at start. */
    void start();

    /** Runs the message loop for a while, so asynchronous handlers and generator passes run. */
    static void pump (int milliseconds = 60);

    /** Destroys the main component, as quitting does. */
    void quit();

    /** Writes the automatic settings file that the next start reads. */
    void writeAutosave (const std::string& contents) const;

    /** The automatic settings file's bytes, or empty when it does not exist. */
    std::string readAutosave() const;

    TemporaryHome home;
    VirtualMidiDevices devices;
    /** The audio device the component finds: a test device, silent until a test feeds it. */
    TestAudioDeviceType* audio = nullptr;
    int audioOutputChannels = 0;
    std::vector<LTCtoMTC::FileDialogRequest> dialogRequests;
    juce::String dialogAnswer; ///< the path the next dialog returns; empty cancels
    /** Runs while a dialog is up, before it is answered with dialogAnswer: what a user could do meanwhile. */
    std::function<void (const LTCtoMTC::FileDialogRequest&)> whileDialogIsUp;
    std::unique_ptr<LTCtoMTC> app;
};
