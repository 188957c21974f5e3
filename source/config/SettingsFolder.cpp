/*
    ZEM Quillbank - LTC to MTC converter and MIDI merger
    Copyright (C) 2026 ZEM. GPL-3.0-or-later.
*/

#include "SettingsFolder.h"

#include <sys/stat.h>

namespace SettingsFolder
{
juce::String documentsPath()
{
    return juce::File::getSpecialLocation (juce::File::userDocumentsDirectory).getFullPathName();
}

juce::String settingsFolderPath()
{
    return documentsPath() + "/ZEM/Quillbank";
}

std::string autosavePath()
{
    return (settingsFolderPath() + "/autosave.zems").toStdString();
}

juce::File audioSetupFile()
{
    return juce::File (documentsPath() + "/ZEM/Quillbank/audioConfig.zems");
}

void createSettingsFolder()
{
    // A desktop on this platform need not have a documents folder yet; without it nothing
    // could ever be saved, so it is made first, like the two levels below it.
    for (const auto& path : { documentsPath(), documentsPath() + "/ZEM", documentsPath() + "/ZEM/Quillbank" })
        ::mkdir (path.toRawUTF8(), 0777);
}

void loadAudioDeviceSetup (juce::AudioDeviceManager& deviceManager, bool granted)
{
    auto savedState = juce::XmlDocument (audioSetupFile()).getDocumentElement();
    deviceManager.initialise (granted ? 1 : 0, 0, savedState.get(), true, {}, nullptr);
}

void saveAudioDeviceSetup (juce::AudioDeviceManager& deviceManager)
{
    if (auto state = deviceManager.createStateXml())
        state->writeTo (audioSetupFile());
}
} // namespace SettingsFolder
