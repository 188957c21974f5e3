/*
    ZEM Quillbank - LTC to MTC converter and MIDI merger
    Copyright (C) 2026 ZEM. GPL-3.0-or-later.
*/

#include "PageLook.h"

#include "QuillbankResources.h"

void paintPageBackground (juce::Graphics& g, int width, int height)
{
    g.fillAll (juce::Colours::darkgrey);

    const auto logo = juce::ImageCache::getFromMemory (QuillbankResources::logo_png, QuillbankResources::logo_pngSize);

    if (logo.isValid())
        g.drawImageAt (logo, width - 73, height - 73);
}

void setUpPageLabel (juce::Component& page, juce::Label& label, juce::Rectangle<int> bounds, float fontHeight,
                     juce::Justification justification, const juce::String& text)
{
    page.addAndMakeVisible (label);
    label.setBounds (bounds);
    label.setFont (juce::Font (fontHeight, juce::Font::plain));
    label.setJustificationType (justification);
    label.setEditable (false, false, false);
    label.setColour (juce::TextEditor::textColourId, juce::Colours::black);
    label.setColour (juce::TextEditor::backgroundColourId, juce::Colour (0x00000000));
    label.setText (text, juce::dontSendNotification);
}
