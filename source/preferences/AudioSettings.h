/*
    ZEM Quillbank - LTC to MTC converter and MIDI merger
    Copyright (C) 2026 ZEM. GPL-3.0-or-later.
*/

#pragma once

#include <juce_audio_utils/juce_audio_utils.h>

/** The "Audio Input" page: a slot for the audio device selector, which the main component
    builds over its device manager and places here.
*/
class AudioSettings : public juce::Component
{
public:
    AudioSettings();
    ~AudioSettings() override;

    /** Dark grey with the logo at the lower right, under the selector. */
    void paint (juce::Graphics&) override;

    /** Does nothing: the selector has fixed bounds. */
    void resized() override;

    /** The audio device selector; empty until the main component fills it. */
    std::unique_ptr<juce::AudioDeviceSelectorComponent> deviceSelector;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (AudioSettings)
};
