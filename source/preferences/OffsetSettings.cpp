/*
    ZEM Quillbank - LTC to MTC converter and MIDI merger
    Copyright (C) 2026 ZEM. GPL-3.0-or-later.
*/

#include "OffsetSettings.h"

#include "look/PageLook.h"

OffsetSettings::OffsetSettings()
{
    setUpPageLabel (*this, frameDelayLabel, { 20, 55, 150, 24 }, 15.0f, juce::Justification::topLeft, "Frame Delay");

    frameFinetuning = std::make_unique<juce::Slider> ("Frame Finetuning");
    auto& slider = *frameFinetuning;
    addAndMakeVisible (slider);

    slider.setRange (-30.0, 30.0, 1.0);
    slider.setSliderStyle (juce::Slider::LinearHorizontal);
    slider.setTextBoxStyle (juce::Slider::TextBoxRight, false, 80, 20);

    // The text box colours are fully transparent on purpose: the box shows only its text.
    slider.setColour (juce::Slider::backgroundColourId, juce::Colours::black);
    slider.setColour (juce::Slider::thumbColourId, juce::Colours::white);
    slider.setColour (juce::Slider::trackColourId, juce::Colours::black);
    slider.setColour (juce::Slider::textBoxBackgroundColourId, juce::Colour (0x00263238));
    slider.setColour (juce::Slider::textBoxHighlightColourId, juce::Colour (0x0042a2c8));
    slider.setColour (juce::Slider::textBoxOutlineColourId, juce::Colour (0x008e989b));

    slider.setBounds (160, 50, 300, 30);
}

OffsetSettings::~OffsetSettings() = default;

void OffsetSettings::paint (juce::Graphics& g)
{
    paintPageBackground (g, getWidth(), getHeight());
}

void OffsetSettings::resized() {}
