/*
    ZEM Quillbank - LTC to MTC converter and MIDI merger
    Copyright (C) 2026 ZEM. GPL-3.0-or-later.
*/

#pragma once

#include <juce_audio_devices/juce_audio_devices.h>

/** Where the configuration lives: a folder below the user's documents folder, holding the
    automatic settings file and the audio device set-up file. Every path is formed anew at
    each use, from the documents folder as the framework reports it at that moment.
*/
namespace SettingsFolder
{
/** The user's documents folder, as UTF-8 text. */
juce::String documentsPath();

/** documents + "/ZEM/Quillbank" */
juce::String settingsFolderPath();

/** documents + "/ZEM/Quillbank" + "/autosave.zems" */
std::string autosavePath();

/** documents + "/ZEM/Quillbank/audioConfig.zems" */
juce::File audioSetupFile();

/** Creates the parent folder and then the settings folder, each one level at a time and only
    where missing; every failure is ignored.
*/
void createSettingsFolder();

/** Restores the audio device set-up from its file (one input channel when recording is
    granted, no output), or opens the default set-up; errors are ignored. A file that is not
    a regular file is not read.
*/
void loadAudioDeviceSetup (juce::AudioDeviceManager& deviceManager, bool granted);

/** Writes the device manager's state to the set-up file when it holds explicit settings, as
    writeSettingsFile writes: the file is replaced only by a complete write, and a FIFO, a device
    node or a folder in its place is left alone.
*/
void saveAudioDeviceSetup (juce::AudioDeviceManager& deviceManager);
} // namespace SettingsFolder
