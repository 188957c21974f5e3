/*
    ZEM Quillbank - LTC to MTC converter and MIDI merger
    Copyright (C) 2026 ZEM. GPL-3.0-or-later.
*/

#include "SettingsFolder.h"

#include "config/SettingsFile.h"
#include "config/SettingsNames.h"

#include <sys/stat.h>

namespace
{
// The framework's XmlDocument reads a file's bytes as UTF-8 without checking them, and a lead
// byte near the end sends its parser past the end of the buffer; so the bytes are checked here
// first, and a file that is not well-formed text is treated like any other that is not XML.
// The bytes are read as the settings files are, so that a FIFO or a device node in the file's
// place is passed over like a missing file instead of holding up the start for good.
std::unique_ptr<juce::XmlElement> parseAudioSetupFile (const juce::File& file)
{
    const auto contents = readRegularFile (file.getFullPathName().toStdString());

    if (! contents.failure.empty())
        return {};

    const auto* data = contents.bytes.data();
    auto size = contents.bytes.size();

    // The framework decodes UTF-16 itself, into text it can read safely.
    if (size >= 2
        && (juce::CharPointer_UTF16::isByteOrderMarkBigEndian (data)
            || juce::CharPointer_UTF16::isByteOrderMarkLittleEndian (data)))
        return juce::XmlDocument (juce::String::createStringFromData (data, (int) size)).getDocumentElement();

    if (size >= 3 && juce::CharPointer_UTF8::isByteOrderMark (data))
    {
        data += 3;
        size -= 3;
    }

    if (! isWellFormedText (data, size))
        return {};

    return juce::XmlDocument (juce::String (juce::CharPointer_UTF8 (data), juce::CharPointer_UTF8 (data + size)))
        .getDocumentElement();
}
bool listsMidiInput (const juce::XmlElement& state, const juce::String& name, const juce::String& identifier)
{
    for (auto* input : state.getChildWithTagNameIterator ("MIDIINPUT"))
        if (input->getStringAttribute ("name") == name && input->getStringAttribute ("identifier") == identifier)
            return true;

    return false;
}

// When the saved audio device opens, the manager rebuilds its explicit settings before it has
// taken note of the saved MIDI inputs, so those that are not connected drop out of what is
// written at exit, and a show machine started once without its keyboard would lose that input
// for good. Any change of a MIDI input's state rebuilds the settings with the saved list at hand:
// enabling again an input that is listed but not open is such a change, and it opens nothing
// that the restore would not have opened.
void keepListedMidiInputs (juce::AudioDeviceManager& deviceManager, const juce::XmlElement& savedState)
{
    const auto current = deviceManager.createStateXml();

    if (current == nullptr)
        return;

    for (auto* input : savedState.getChildWithTagNameIterator ("MIDIINPUT"))
    {
        const auto name = input->getStringAttribute ("name");
        const auto identifier = input->getStringAttribute ("identifier");

        if (! listsMidiInput (*current, name, identifier) && ! deviceManager.isMidiInputDeviceEnabled (identifier))
        {
            deviceManager.setMidiInputDeviceEnabled (identifier, true);
            return;
        }
    }
}
} // namespace

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
    auto savedState = parseAudioSetupFile (audioSetupFile());
    deviceManager.initialise (granted ? 1 : 0, 0, savedState.get(), true, {}, nullptr);

    if (savedState != nullptr && savedState->hasTagName ("DEVICESETUP"))
        keepListedMidiInputs (deviceManager, *savedState);
}

void saveAudioDeviceSetup (juce::AudioDeviceManager& deviceManager)
{
    // The framework's own text, written as the settings files are: its writer would rename a
    // regular file over a FIFO or a device node, or over a link, in the file's place.
    if (auto state = deviceManager.createStateXml())
    {
        juce::MemoryOutputStream text;
        state->writeTo (text);
        writeSettingsFile (audioSetupFile().getFullPathName().toStdString(),
                           std::string (static_cast<const char*> (text.getData()), text.getDataSize()));
    }
}
} // namespace SettingsFolder
