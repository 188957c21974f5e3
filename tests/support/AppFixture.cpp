/*
    ZEM Quillbank - LTC to MTC converter and MIDI merger
    Copyright (C) 2026 ZEM. GPL-3.0-or-later.
*/

#include "AppFixture.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <unistd.h>

TemporaryHome::TemporaryHome()
    : home (juce::File::getSpecialLocation (juce::File::tempDirectory)
                .getNonexistentChildFile ("quillbank-home-" + juce::String ((int) ::getpid()), ""))
{
    // The process id in the name: test programs running side by side would otherwise pick the
    // same free name at the same moment and share one home.
    home.createDirectory();

    if (const char* current = std::getenv ("HOME"))
        previousHome = current;

    ::setenv ("HOME", home.getFullPathName().toRawUTF8(), 1);
}

TemporaryHome::~TemporaryHome()
{
    ::setenv ("HOME", previousHome.toRawUTF8(), 1);
    home.setReadOnly (false, true);
    home.deleteRecursively();
}

//==============================================================================
AppFixture::AppFixture() = default;

AppFixture::~AppFixture()
{
    quit();
    pump (10);
}

LTCtoMTC::Environment testEnvironment (VirtualMidiDevices& devices, int audioOutputChannels,
                                       TestAudioDeviceType*& audio)
{
    LTCtoMTC::Environment environment;
    environment.midiDevices = &devices;
    environment.addAudioDeviceTypes = [audioOutputChannels, &audio] (juce::AudioDeviceManager& manager)
    {
        auto type = std::make_unique<TestAudioDeviceType> (audioOutputChannels);
        audio = type.get();
        manager.addAudioDeviceType (std::move (type));
    };
    return environment;
}

//==============================================================================
void AppFixture::start()
{
    auto environment = testEnvironment (devices, audioOutputChannels, audio);
    environment.chooseFile = [this] (const LTCtoMTC::FileDialogRequest& request)
    {
        dialogRequests.push_back (request);

        if (whileDialogIsUp != nullptr)
            whileDialogIsUp (request);

        return dialogAnswer;
    };

    app = std::make_unique<LTCtoMTC> (std::move (environment));
}

void AppFixture::pump (int milliseconds)
{
    juce::MessageManager::getInstance()->runDispatchLoopUntil (milliseconds);
}

void AppFixture::quit()
{
    app = nullptr;
    audio = nullptr;
}

void AppFixture::writeAutosave (const std::string& contents) const
{
    home.settingsFolder().createDirectory();
    std::ofstream (home.settingsFolder().getChildFile ("autosave.zems").getFullPathName().toStdString(),
                   std::ios::binary)
        << contents;
}

std::string AppFixture::readAutosave() const
{
    std::ifstream in (home.settingsFolder().getChildFile ("autosave.zems").getFullPathName().toStdString(),
                      std::ios::binary);
    std::stringstream contents;
    contents << in.rdbuf();
    return contents.str();
}
