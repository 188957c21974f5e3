/*
    ZEM Quillbank - LTC to MTC converter and MIDI merger
    Copyright (C) 2026 ZEM. GPL-3.0-or-later.
*/

#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

/** The "Offset" page: the frame delay slider, whose listener is the main component. */
class OffsetSettings : public juce::Component
{
public:
    OffsetSettings();
    ~OffsetSettings() override;

    /** Dark grey with the logo at the lower right. */
    void paint (juce::Graphics&) override;

    /** Does nothing: both controls have fixed bounds. */
    void resized() override;

private:
    juce::Label frameDelayLabel;

public:
    /** Whole frames from -30 to 30 added to every decoded position; 0 until a settings file sets it. */
    std::unique_ptr<juce::Slider> frameFinetuning;

private:
    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (OffsetSettings)
};
