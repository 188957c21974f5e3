/*
    ZEM Quillbank - LTC to MTC converter and MIDI merger
    Copyright (C) 2026 ZEM. GPL-3.0-or-later.
*/

#pragma once

#include "config/SettingsFile.h"
#include "engine/AudioInputListener.h"
#include "platform/MidiDevices.h"

#include <juce_audio_utils/juce_audio_utils.h>

#include <functional>
#include <set>
#include <string>

class PreferencesWindow;
class SingleMidiInput;

/** The main component and the system's central object: the main window's controls, the audio
    device manager, the LTC decoder with the MTC generator and the MIDI output, and the
    preferences window with the merger rows all belong to it for the whole run. Its
    constructor is the start-up, its destructor the shutdown with the saving of the state.
*/
class LTCtoMTC : public juce::Component,
                 public juce::Timer,
                 public juce::Button::Listener,
                 private MidiInputHandler,
                 public juce::Slider::Listener,
                 public juce::ChangeListener
{
public:
    /** What a Save or Open dialog is asked to show. */
    struct FileDialogRequest
    {
        juce::String title;
        juce::File startFolder;
        juce::String filter;
        int flags = 0;
    };

    /** What the component runs on. Left empty, each is the machine's own: the MIDI devices of
        the platform, its audio device types and its native file dialogs.
    */
    struct Environment
    {
        /** MIDI devices to use in place of the platform's; not owned, must outlive the component. */
        MidiDevices* midiDevices = nullptr;

        /** Adds audio device types to the device manager before it first looks for devices. */
        std::function<void (juce::AudioDeviceManager&)> addAudioDeviceTypes;

        /** Answers a Save or Open dialog with the chosen file's full path, or empty for cancel. */
        std::function<juce::String (const FileDialogRequest&)> chooseFile;
    };

    /** The component as users get it: the machine's own devices and dialogs. */
    LTCtoMTC();

    /** The component over the given devices and dialogs. */
    explicit LTCtoMTC (Environment environment);
    ~LTCtoMTC() override;

    void paint (juce::Graphics&) override;
    void resized() override;

    void changeListenerCallback (juce::ChangeBroadcaster*) override;
    void handleIncomingMidiMessage (const juce::String& sourceName, const juce::MidiMessage& message) override;
    void sliderValueChanged (juce::Slider* slider) override;
    void buttonClicked (juce::Button* button) override;
    void timerCallback() override;

    /** Reads a settings file and applies it to the controls, the merger rows and the inputs. */
    void openZEMFile (std::string path);

    /** Writes the controls and the merger rows as a settings file. */
    void saveZEMFile (std::string path);

    //==============================================================================
    juce::Font timecodeFont;
    int refreshRateHz = 25;
    std::unique_ptr<juce::TextButton> preferencesButton, openButton, saveButton;
    juce::ComboBox outputFrameRateBox, inputFrameRateBox, midiOutputBox;
    std::unique_ptr<juce::ToggleButton> enableToggle;
    juce::Label statusLabel, inputFrameRateLabel, outputFrameRateLabel, ltcToMtcLabel, midiOutputLabel;
    juce::AudioDeviceManager deviceManager;

private:
    Environment environment;
    std::unique_ptr<MidiDevices> ownedMidiDevices;

public:
    MidiDevices& midiDevices;
    AudioInputListener audioInputListener;
    std::unique_ptr<PreferencesWindow> preferencesWindow;
    int inputRateId = 1;
    int outputRateId = 1;
    int fineTuneFrames = 0;
    std::string savedMidiOutputName;

private:
    void selectMidiOutput();
    void applyInputFrameRate();
    void applyOutputFrameRate();
    void loadAudioDeviceSetup (bool granted);

    void setConversionEnabled (bool shouldBeOn);
    void saveConfiguration();
    void openConfiguration();
    void showFileFailure (const juce::String& title, const juce::String& message);
    void showPreferences();
    void switchRowInput (SingleMidiInput& row);
    void mergeInput (const juce::String& name);
    void releaseInput (const juce::String& name);
    void cutOffMergedInputs();
    juce::String chooseFile (const FileDialogRequest& request);

    SettingsSnapshot currentSettings() const;
    void applySettings (const ParsedSettings& parsed);

    juce::Slider& offsetSlider() const;
    juce::OwnedArray<SingleMidiInput>& mergerRows() const;

    // Inputs this component is registered for, so that every one is cut off at shutdown,
    // also those whose row went away or was switched off by a settings file.
    std::set<juce::String> registeredInputs;

    // The native dialogs leave the main window clickable, so a click can come while one is up.
    bool fileDialogShowing = false;

    // The message about a Save or Open that failed, while it is up; it must not outlive the
    // component it is placed over.
    juce::Component::SafePointer<juce::AlertWindow> fileFailureMessage;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (LTCtoMTC)
};
