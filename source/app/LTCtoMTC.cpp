/*
    ZEM Quillbank - LTC to MTC converter and MIDI merger
    Copyright (C) 2026 ZEM. GPL-3.0-or-later.
*/

#include "LTCtoMTC.h"

#include "app/FirstPaint.h"
#include "config/SettingsFile.h"
#include "config/SettingsFolder.h"
#include "config/SettingsNames.h"
#include "look/PageLook.h"
#include "merger/MidiInputs.h"
#include "merger/MidiMerger.h"
#include "merger/SingleMidiInput.h"
#include "platform/JuceMidiDevices.h"
#include "preferences/PreferencesWindow.h"

#include "QuillbankResources.h"

#include <algorithm>

namespace
{
const juce::Colour controlGrey (0xff393939);

void setUpCaption (juce::Label& label, float height, const juce::String& text)
{
    label.setFont (juce::Font (height, juce::Font::plain));
    label.setJustificationType (juce::Justification::topLeft);
    label.setEditable (false, false, false);
    label.setText (text, juce::dontSendNotification);
}

void colourComboBox (juce::ComboBox& box)
{
    box.setColour (juce::ComboBox::backgroundColourId, controlGrey);
    box.setColour (juce::ComboBox::outlineColourId, controlGrey);
}

std::unique_ptr<juce::TextButton> makeTextButton (const juce::String& text)
{
    auto button = std::make_unique<juce::TextButton> (text);
    button->setColour (juce::TextButton::buttonOnColourId, controlGrey);
    button->setColour (juce::TextButton::buttonColourId, controlGrey);
    button->setConnectedEdges (juce::Button::ConnectedOnLeft | juce::Button::ConnectedOnRight
                               | juce::Button::ConnectedOnTop | juce::Button::ConnectedOnBottom);
    return button;
}

/** Selects, with asynchronous notification, every item whose text matches; the last one stays. */
void selectEveryItemNamed (juce::ComboBox& box, const juce::String& text)
{
    for (int i = 0; i < box.getNumItems(); ++i)
        if (box.getItemText (i) == text)
            box.setSelectedId (box.getItemId (i), juce::sendNotificationAsync);
}

juce::String selectedItemText (const juce::ComboBox& box)
{
    const auto index = box.getSelectedItemIndex();
    return index >= 0 ? box.getItemText (index) : juce::String();
}
} // namespace

//==============================================================================
LTCtoMTC::LTCtoMTC()
    : LTCtoMTC (Environment {})
{
}

LTCtoMTC::LTCtoMTC (Environment environmentToUse)
    : environment (std::move (environmentToUse)),
      ownedMidiDevices (environment.midiDevices == nullptr ? std::make_unique<JuceMidiDevices> (deviceManager)
                                                           : nullptr),
      midiDevices (environment.midiDevices != nullptr ? *environment.midiDevices : *ownedMidiDevices),
      audioInputListener (midiDevices),
      preferencesWindow (std::make_unique<PreferencesWindow>())
{
    if (environment.addAudioDeviceTypes != nullptr)
        environment.addAudioDeviceTypes (deviceManager);

    // Set on the application-wide look-and-feel, before the main window takes its background.
    auto& lookAndFeel = getLookAndFeel();
    lookAndFeel.setColour (juce::ComboBox::backgroundColourId, controlGrey);
    lookAndFeel.setColour (juce::ComboBox::outlineColourId, controlGrey);
    lookAndFeel.setColour (juce::ResizableWindow::backgroundColourId, juce::Colours::darkgrey);
    lookAndFeel.setColour (juce::Slider::thumbColourId, juce::Colours::white);
    lookAndFeel.setColour (juce::ListBox::backgroundColourId, controlGrey);
    lookAndFeel.setColour (juce::ScrollBar::thumbColourId, juce::Colours::silver);
    lookAndFeel.setColour (juce::PopupMenu::textColourId, juce::Colours::white);
    lookAndFeel.setColour (juce::PopupMenu::backgroundColourId, controlGrey);

    timecodeFont = juce::Font (juce::Typeface::createSystemTypefaceFor (QuillbankResources::timecode_ttf,
                                                                        (size_t) QuillbankResources::timecode_ttfSize));
    timecodeFont.setHeight (55.0f);

    preferencesWindow->setBounds (200, 200, 550, 350);
    preferencesWindow->setResizable (false, false);

    // Swapping in the native title bar on the desktop recreates the window and brings it to the
    // front, and on X11 the window manager then puts it on screen although it is hidden. Off the
    // desktop the swap only takes note; the window then goes back on the desktop, still hidden.
    preferencesWindow->removeFromDesktop();
    preferencesWindow->setUsingNativeTitleBar (true);
    preferencesWindow->addToDesktop();
    offsetSlider().addListener (this);

    SettingsFolder::createSettingsFolder();

    addAndMakeVisible (audioInputListener.timecodeLabel);
    addAndMakeVisible (statusLabel);

    preferencesButton = makeTextButton ("Preferences");
    openButton = makeTextButton ("Open");
    saveButton = makeTextButton ("Save");

    for (auto* button : { preferencesButton.get(), openButton.get(), saveButton.get() })
    {
        addAndMakeVisible (button);
        button->addListener (this);
    }

    addAndMakeVisible (midiOutputBox);
    colourComboBox (midiOutputBox);
    midiOutputBox.addItem ("No Output", 1);
    midiOutputBox.addItem ("Refresh", 2);

    {
        const auto outputs = midiDevices.getOutputNames();

        for (int k = 0; k < outputs.size(); ++k)
            midiOutputBox.addItem (outputs[k], k + 3);
    }

    enableToggle = std::make_unique<juce::ToggleButton> ("Enabled");
    addAndMakeVisible (enableToggle.get());
    enableToggle->addListener (this);

    midiOutputBox.onChange = [this] { selectMidiOutput(); };

    {
        auto& generator = audioInputListener.mtcThread;
        const auto outputs = midiDevices.getOutputNames();
        bool matched = false;

        for (int k = 0; k < outputs.size(); ++k)
        {
            if (outputs[k] == generator.currentMidiOutputName)
            {
                midiOutputBox.setSelectedId (k + 3, juce::sendNotificationAsync);
                matched = true;
            }
        }

        if (! matched)
            midiOutputBox.setSelectedId (1, juce::sendNotificationAsync);

        generator.currentMidiOutputName = selectedItemText (midiOutputBox);
    }

    openZEMFile (SettingsFolder::autosavePath());

    addAndMakeVisible (inputFrameRateBox);
    colourComboBox (inputFrameRateBox);
    inputFrameRateBox.addItem ("24 FPS", 1);
    inputFrameRateBox.addItem ("30 FPS", 2);
    inputFrameRateBox.addItem ("23.976 ND", 3);
    inputFrameRateBox.addItem ("29.97 ND", 4);
    inputFrameRateBox.onChange = [this] { applyInputFrameRate(); };
    inputFrameRateBox.setSelectedId (inputRateId, juce::sendNotificationAsync);

    addAndMakeVisible (outputFrameRateBox);
    colourComboBox (outputFrameRateBox);
    outputFrameRateBox.addItem ("24 FPS", 1);
    outputFrameRateBox.addItem ("30 FPS", 2);
    outputFrameRateBox.onChange = [this] { applyOutputFrameRate(); };
    outputFrameRateBox.setSelectedId (outputRateId, juce::sendNotificationAsync);

    startTimerHz (refreshRateHz);
    setOpaque (true);

    auto& timecodeLabel = audioInputListener.timecodeLabel;
    timecodeLabel.setFont (timecodeFont);
    timecodeLabel.setJustificationType (juce::Justification::topLeft);
    timecodeLabel.setEditable (false, false, false);
    timecodeLabel.setText ({}, juce::dontSendNotification);

    addAndMakeVisible (inputFrameRateLabel);
    setUpCaption (inputFrameRateLabel, 15.0f, "Input Framerate");
    addAndMakeVisible (outputFrameRateLabel);
    setUpCaption (outputFrameRateLabel, 15.0f, "Output Framerate");
    addAndMakeVisible (ltcToMtcLabel);
    setUpCaption (ltcToMtcLabel, 15.0f, "LTC to MTC");
    addAndMakeVisible (midiOutputLabel);
    setUpCaption (midiOutputLabel, 15.0f, "Midi Output");
    setUpCaption (statusLabel, 12.0f, "[No LTC-MTC]");

    juce::RuntimePermissions::request (juce::RuntimePermissions::recordAudio,
                                       [this] (bool granted) { loadAudioDeviceSetup (granted); });

    auto& audioPage = preferencesWindow->settings.audioSettings;
    audioPage.deviceSelector =
        std::make_unique<juce::AudioDeviceSelectorComponent> (deviceManager, 0, 1, 0, 0, false, false, false, false);
    audioPage.addAndMakeVisible (audioPage.deviceSelector.get());
    audioPage.deviceSelector->setBounds (0, 0, 510, 350);

    deviceManager.addChangeListener (this);

    if (enableToggle->getToggleState())
    {
        deviceManager.addAudioCallback (&audioInputListener);
        statusLabel.setText ("[Waiting for LTC]", juce::dontSendNotification);
    }

    setSize (500, 250);
}

LTCtoMTC::~LTCtoMTC()
{
    // A failure message still up at quit goes first: it is placed over this component.
    delete fileFailureMessage.getComponent();

    SettingsFolder::saveAudioDeviceSetup (deviceManager);
    cutOffMergedInputs();
    deviceManager.removeAudioCallback (&audioInputListener);
    saveZEMFile (SettingsFolder::autosavePath());

    // The window goes here rather than with the members: the automatic file has been written
    // from its rows and slider, and the device manager that its audio device selector listens
    // to is still there.
    preferencesWindow.reset();
}

//==============================================================================
void LTCtoMTC::paint (juce::Graphics& g)
{
    paintPageBackground (g, getWidth(), getHeight());
}

void LTCtoMTC::resized()
{
    audioInputListener.timecodeLabel.setBounds (111, 45, 400, 50);
    statusLabel.setBounds (10, 45, 100, 40);
    inputFrameRateLabel.setBounds (15, 123, 125, 24);
    inputFrameRateBox.setBounds (135, 120, 95, 24);
    outputFrameRateLabel.setBounds (255, 123, 120, 24);
    outputFrameRateBox.setBounds (385, 120, 90, 24);
    ltcToMtcLabel.setBounds (15, 160, 125, 24);
    enableToggle->setBounds (132, 156, 105, 24);
    midiOutputLabel.setBounds (255, 160, 80, 24);
    midiOutputBox.setBounds (345, 157, 130, 24);
    preferencesButton->setBounds (130, 200, 100, 25);
    openButton->setBounds (240, 200, 60, 25);
    saveButton->setBounds (310, 200, 60, 25);
}

void LTCtoMTC::changeListenerCallback (juce::ChangeBroadcaster*) {}

//==============================================================================
void LTCtoMTC::handleIncomingMidiMessage (const juce::String& sourceName, const juce::MidiMessage& message)
{
    forwardMergedMessage (sourceName, message, preferencesWindow->settings.midiInputs.rowTable,
                          audioInputListener.mtcThread);
}

//==============================================================================
void LTCtoMTC::selectMidiOutput()
{
    auto& generator = audioInputListener.mtcThread;
    const auto previousChoice = generator.currentMidiOutputName;
    const auto devices = midiDevices.getOutputNames();

    bool listIsCurrent = midiOutputBox.getNumItems() == devices.size() + 2;

    for (int k = 0; listIsCurrent && k < devices.size(); ++k)
        listIsCurrent = midiOutputBox.getItemText (2 + k) == devices[k];

    if (listIsCurrent)
    {
        const auto selectedIndex = midiOutputBox.getSelectedItemIndex();

        if (midiOutputBox.getSelectedId() == 2)
        {
            // Back to the previous choice; the next run acts on it.
            selectEveryItemNamed (midiOutputBox, previousChoice);
        }
        else if (selectedIndex >= 2)
        {
            if (generator.midiOutputActive)
                if (auto* output = generator.getOutput())
                    output->stopBackgroundThread();

            // The previous output, active or not, is destroyed and so closed by the exchange.
            generator.exchangeOutput (midiDevices.openOutput (selectedIndex - 2));

            if (auto* output = generator.getOutput())
                output->startBackgroundThread();

            generator.midiOutputActive = generator.getOutput() != nullptr;
        }
        else if (midiOutputBox.getSelectedId() == 1)
        {
            generator.midiOutputActive = false;
        }
    }
    else
    {
        const auto notedText = selectedItemText (midiOutputBox);

        midiOutputBox.clear (juce::sendNotificationAsync);
        midiOutputBox.addItem ("No Output", 1);
        midiOutputBox.addItem ("Refresh", 2);

        bool matched = false;

        for (int k = 0; k < devices.size(); ++k)
        {
            midiOutputBox.addItem (devices[k], k + 3);

            if (devices[k] == notedText)
                matched = true;
        }

        for (int k = 0; k < devices.size(); ++k)
            if (devices[k] == notedText)
                midiOutputBox.setSelectedId (k + 3, juce::sendNotificationAsync);

        if (! matched)
        {
            midiOutputBox.setSelectedId (1, juce::sendNotificationAsync);
            generator.midiOutputActive = false;
        }
    }

    generator.currentMidiOutputName = selectedItemText (midiOutputBox);

    if (midiOutputBox.getSelectedId() == 1)
        generator.midiOutputActive = false;
}

void LTCtoMTC::applyInputFrameRate()
{
    auto& generator = audioInputListener.mtcThread;
    generator.resetPositions();

    struct InputChoice
    {
        int frameRate;
        bool pullDown;
    };

    static const InputChoice choices[] = { { 24, false }, { 30, false }, { 24, true }, { 30, true } };
    const auto id = inputFrameRateBox.getSelectedId();

    if (id >= 1 && id <= 4)
    {
        generator.inputFrameRate = choices[id - 1].frameRate;
        audioInputListener.pullDownInput = choices[id - 1].pullDown;
    }
}

void LTCtoMTC::applyOutputFrameRate()
{
    const auto id = outputFrameRateBox.getSelectedId();

    if (id == 1)
        audioInputListener.mtcThread.outputFrameRate = 24;
    else if (id == 2)
        audioInputListener.mtcThread.outputFrameRate = 30;
}

void LTCtoMTC::sliderValueChanged (juce::Slider* slider)
{
    if (slider != &offsetSlider())
        return;

    const double value = slider->getValue();
    const double frameRate = audioInputListener.mtcThread.outputFrameRate.load();
    double latencyFrames = 0.0;

    // Without an open device there is no latency to add: the offset is the slider's alone.
    if (auto* device = deviceManager.getCurrentAudioDevice())
    {
        const double latencySamples = device->getInputLatencyInSamples();
        const double sampleRate = device->getCurrentSampleRate();

        if (sampleRate > 0.0)
        {
            // Kept as this chain of divisions: it decides how the result truncates.
            const double latencySeconds = latencySamples / sampleRate;
            const double inverse = 1.0 / latencySeconds;
            latencyFrames = frameRate / inverse;
        }
    }

    audioInputListener.frameOffset = (int) (latencyFrames + value);
}

//==============================================================================
void LTCtoMTC::buttonClicked (juce::Button* button)
{
    if (button == enableToggle.get())
        setConversionEnabled (enableToggle->getToggleState());

    if (button == saveButton.get())
        saveConfiguration();

    if (button == openButton.get())
        openConfiguration();

    if (button == preferencesButton.get())
        showPreferences();

    for (auto* row : mergerRows())
        if (button == row->inputToggle.get())
            switchRowInput (*row);
}

void LTCtoMTC::setConversionEnabled (bool shouldBeOn)
{
    if (shouldBeOn)
    {
        deviceManager.addAudioCallback (&audioInputListener);
        statusLabel.setText ("[Waiting for LTC]", juce::dontSendNotification);
    }
    else
    {
        deviceManager.removeAudioCallback (&audioInputListener);
        audioInputListener.timecodeLabel.setText ({}, juce::dontSendNotification);
        statusLabel.setText ("[No LTC-MTC]", juce::dontSendNotification);
    }
}

void LTCtoMTC::showPreferences()
{
    preferencesWindow->setVisible (true);
    preferencesWindow->toFront (true);
    preferencesWindow->settings.midiInputs.rebuildRows (midiDevices, *this);
    paintFirstTimeNow (*preferencesWindow);
}

void LTCtoMTC::switchRowInput (SingleMidiInput& row)
{
    const auto name = row.inputToggle->getButtonText();

    if (row.inputToggle->getToggleState())
    {
        mergeInput (name);
    }
    else
    {
        midiDevices.setInputEnabled (name, false);
        releaseInput (name);
    }
}

void LTCtoMTC::mergeInput (const juce::String& name)
{
    // The input must be enabled first: a handler is registered only for an enabled input.
    midiDevices.setInputEnabled (name, true);
    midiDevices.addInputHandler (name, this);
    registeredInputs.insert (name);
}

void LTCtoMTC::releaseInput (const juce::String& name)
{
    midiDevices.removeInputHandler (name, this);
    registeredInputs.erase (name);
}

void LTCtoMTC::cutOffMergedInputs()
{
    for (auto* row : mergerRows())
    {
        if (row->inputToggle->getToggleState())
        {
            const auto name = row->inputToggle->getButtonText();
            midiDevices.setInputEnabled (name, false);
            releaseInput (name);
        }
    }

    // Inputs still registered without a switched-on row (their row was removed, or a settings
    // file switched it off) must not reach the rows that are about to go.
    const auto remaining = registeredInputs;

    for (const auto& name : remaining)
        releaseInput (name);
}

//==============================================================================
void LTCtoMTC::timerCallback()
{
    if (! enableToggle->getToggleState())
        return;

    auto& generator = audioInputListener.mtcThread;

    if (! generator.ltcRunning)
    {
        statusLabel.setText ("[Waiting for LTC]", juce::dontSendNotification);
        return;
    }

    if (generator.displayHundredths >= 100)
        generator.displayHundredths = 99;

    statusLabel.setText ("[Running LTC]", juce::dontSendNotification);

    const juce::int64 position = generator.mtcPosition.load();
    const juce::int64 rate = generator.outputFrameRate.load();
    const auto hours = position / (rate * 3600);
    const auto minutes = (position / (rate * 60)) % 60;
    const auto seconds = (position / rate) % 60;

    audioInputListener.timecodeLabel.setText (juce::String::formatted ("%02d:%02d:%02d.%02d", (int) hours,
                                                                       (int) minutes, (int) seconds,
                                                                       generator.displayHundredths.load()),
                                              juce::dontSendNotification);
    generator.displayHundredths += 4;
}

//==============================================================================
void LTCtoMTC::loadAudioDeviceSetup (bool granted)
{
    SettingsFolder::loadAudioDeviceSetup (deviceManager, granted);
}

juce::Slider& LTCtoMTC::offsetSlider() const
{
    return *preferencesWindow->settings.offsetSettings.frameFinetuning;
}

juce::OwnedArray<SingleMidiInput>& LTCtoMTC::mergerRows() const
{
    return preferencesWindow->settings.midiInputs.inputs;
}

//==============================================================================
SettingsSnapshot LTCtoMTC::currentSettings() const
{
    SettingsSnapshot snapshot;
    snapshot.inputRateId = inputFrameRateBox.getSelectedId();
    snapshot.outputRateId = outputFrameRateBox.getSelectedId();
    snapshot.frameOffset = offsetSlider().getValue();
    snapshot.enabled = enableToggle->getToggleState();
    snapshot.midiOutputName = midiOutputBox.getText().toStdString();

    for (auto* row : mergerRows())
        snapshot.rows.push_back ({ row->inputToggle->getButtonText().toStdString(), row->inputToggle->getToggleState(),
                                   row->ccToNoteToggle->getToggleState(),
                                   row->destinationChannel->getSelectedItemIndex() });

    return snapshot;
}

void LTCtoMTC::saveZEMFile (std::string path)
{
    writeSettingsFile (path, formatSettings (currentSettings()));
}

namespace
{
/** The channel box's item id for a record's index: "Original Channel" and "Channel 1" to
    "Channel 16" for 0 to 16, nothing selected for any other index.
*/
int channelItemId (const SettingsRowRecord& record)
{
    return juce::isPositiveAndBelow (record.channelIndex, 17) ? record.channelIndex + 1 : 0;
}
} // namespace

void LTCtoMTC::openZEMFile (std::string path)
{
    applySettings (readSettingsFile (path));
}

void LTCtoMTC::applySettings (const ParsedSettings& parsed)
{
    auto& rows = mergerRows();

    if (! parsed.opened)
    {
        inputRateId = 1;
        outputRateId = 1;
        fineTuneFrames = 1;
    }
    else
    {
        inputRateId = parsed.inputRateId.value_or (inputRateId);
        outputRateId = parsed.outputRateId.value_or (outputRateId);
        fineTuneFrames = parsed.frameOffset.value_or (fineTuneFrames);

        if (parsed.enabledValue.has_value())
            enableToggle->setToggleState (*parsed.enabledValue != 0, juce::dontSendNotification);

        if (parsed.midiOutputName.has_value())
            savedMidiOutputName = *parsed.midiOutputName;

        const auto devices = midiDevices.getInputNames();

        for (const auto& record : parsed.records)
        {
            // A name that is not text matches no device, so nothing below uses it.
            const auto text = settingsNameText (record.deviceName);
            const auto presentCount = indexesOfNamesEqualTo (devices, text).size();
            const auto name = text.value_or (juce::String());

            for (int entry = 0; entry < presentCount; ++entry)
            {
                const bool hasRow =
                    std::any_of (rows.begin(), rows.end(),
                                 [&] (SingleMidiInput* row) { return row->inputToggle->getButtonText() == name; });

                if (! hasRow)
                {
                    auto row = SingleMidiInput::create (name);
                    row->inputToggle->setToggleState (record.merge, juce::dontSendNotification);
                    row->ccToNoteToggle->setToggleState (record.ccToNote, juce::dontSendNotification);
                    row->destinationChannel->setSelectedId (channelItemId (record), juce::sendNotificationAsync);
                    rows.add (row.release());
                }
            }

            for (int entry = 0; entry < presentCount; ++entry)
            {
                for (auto* row : rows)
                {
                    if (row->inputToggle->getButtonText() != name)
                        continue;

                    row->inputToggle->setToggleState (record.merge, juce::dontSendNotification);
                    row->destinationChannel->setSelectedId (channelItemId (record), juce::sendNotificationAsync);
                    row->ccToNoteToggle->setToggleState (record.ccToNote, juce::dontSendNotification);
                }
            }

            preferencesWindow->settings.midiInputs.publishRows();

            for (auto* row : rows)
                if (row->inputToggle->getToggleState())
                    mergeInput (row->inputToggle->getButtonText());
        }
    }

    inputFrameRateBox.setSelectedId (inputRateId, juce::sendNotificationAsync);
    outputFrameRateBox.setSelectedId (outputRateId, juce::sendNotificationAsync);

    juce::StringArray outputItems;

    for (int i = 0; i < midiOutputBox.getNumItems(); ++i)
        outputItems.add (midiOutputBox.getItemText (i));

    for (const auto i : indexesOfNamesEqualTo (outputItems, settingsNameText (savedMidiOutputName)))
        midiOutputBox.setSelectedId (midiOutputBox.getItemId (i), juce::sendNotificationAsync);

    offsetSlider().setValue ((double) fineTuneFrames, juce::sendNotificationAsync);
}

//==============================================================================
juce::String LTCtoMTC::chooseFile (const FileDialogRequest& request)
{
    // A second dialog would run its loop inside this one's, so the answer to this one would be
    // acted on only after that one ended, on whatever the other had done meanwhile.
    if (fileDialogShowing)
        return {};

    const juce::ScopedValueSetter<bool> showing (fileDialogShowing, true);

    if (environment.chooseFile != nullptr)
        return environment.chooseFile (request);

    // The framework's blocking showDialog waits for the dialog's process once a quit has been
    // requested, so a close of the main window would hang there. The dialog runs asynchronously
    // instead, and this loop keeps the action modal: it ends when the dialog is answered or when
    // a quit message arrives. Leaving destroys the chooser, which ends a dialog still showing,
    // as if cancelled; the quit then goes on through the normal shutdown.
    juce::FileChooser chooser (request.title, request.startFolder, request.filter, true, false, this);
    bool answered = false;
    juce::String path;

    chooser.launchAsync (request.flags,
                         [&answered, &path] (const juce::FileChooser& finished)
                         {
                             path = finished.getResult().getFullPathName();
                             answered = true;
                         });

    while (! answered)
        if (! juce::MessageManager::getInstance()->runDispatchLoopUntil (20))
            break;

    return answered ? path : juce::String();
}

void LTCtoMTC::saveConfiguration()
{
    const auto path =
        chooseFile ({ "Save your configuration", juce::File (SettingsFolder::settingsFolderPath()), "*.zems",
                      juce::FileBrowserComponent::saveMode | juce::FileBrowserComponent::canSelectFiles
                          | juce::FileBrowserComponent::warnAboutOverwriting });

    if (path.isEmpty())
        return;

    // Written as the controls stand now that the dialog has been answered.
    std::string failure;

    if (! writeSettingsFile (path.toStdString(), formatSettings (currentSettings()), &failure))
    {
        const auto what = "The file \"" + path + "\" could not be written (" + juce::String (failure) + ").";
        showFileFailure ("Could not save your configuration", what + " Nothing was saved.");
    }
}

void LTCtoMTC::openConfiguration()
{
    const auto path =
        chooseFile ({ "Open your configuration", juce::File (SettingsFolder::settingsFolderPath()), "*.zems",
                      juce::FileBrowserComponent::openMode | juce::FileBrowserComponent::canSelectFiles });

    if (path.isEmpty())
        return;

    // A file that cannot be read would set the defaults of a missing one in place of what the
    // user has on screen; the user asked for that file, so they are told and nothing changes.
    std::string failure;
    const auto parsed = readSettingsFile (path.toStdString(), &failure);

    if (! failure.empty())
    {
        const auto what = "The file \"" + path + "\" could not be read (" + juce::String (failure) + ").";
        showFileFailure ("Could not open your configuration", what + " The configuration is unchanged.");
        return;
    }

    applySettings (parsed);
    setConversionEnabled (enableToggle->getToggleState());
}

void LTCtoMTC::showFileFailure (const juce::String& title, const juce::String& message)
{
    // Shown without a loop of its own: the generator and the display go on while it is up.
    delete fileFailureMessage.getComponent();

    auto* alert = getLookAndFeel().createAlertWindow (title, message, "OK", {}, {},
                                                      juce::MessageBoxIconType::WarningIcon, 1, this);
    fileFailureMessage = alert;
    alert->enterModalState (true, nullptr, true);
}
