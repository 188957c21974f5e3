/*
    ZEM Quillbank - LTC to MTC converter and MIDI merger
    Copyright (C) 2026 ZEM. GPL-3.0-or-later.
*/

#include "AboutSettings.h"

#include "look/PageLook.h"
#include "QuillbankResources.h"

AboutSettings::AboutSettings()
{
    setUpPageLabel (*this, updatesLabel, { 90, 290, 293, 24 }, 12.0f, juce::Justification::topLeft,
                    "To check for updates, or report bugs/recommendations, visit");

    // The version line is fixed text, independent of the version the application reports.
    setUpPageLabel (*this, versionLabel, { 125, 225, 300, 24 }, 15.0f, juce::Justification::centredTop,
                    "ZEM Quillbank, Version 1.0.1");

    // Text and address go in through the constructor: HyperlinkButton::setURL copy-assigns the
    // address, which in this framework version passes a null pointer to memcpy for an address
    // without post data (undefined behaviour that the sanitizer build stops on).
    webLink = std::make_unique<juce::HyperlinkButton> ("ZEM", juce::URL ("https://quillbank.example/"));
    webLink->setColour (juce::HyperlinkButton::textColourId, juce::Colours::white);
    webLink->setFont (juce::Font (12.0f, juce::Font::plain), false, juce::Justification::horizontallyCentred);
    addAndMakeVisible (*webLink);
    webLink->setBounds (381, 287, 57, 20);
}

AboutSettings::~AboutSettings() = default;

void AboutSettings::paint (juce::Graphics& g)
{
    paintPageBackground (g, getWidth(), getHeight());

    const auto emblem =
        juce::ImageCache::getFromMemory (QuillbankResources::emblem_png, QuillbankResources::emblem_pngSize);

    if (emblem.isValid())
        g.drawImage (emblem, 175, 20, 200, 200, 0, 0, 750, 750);
}

void AboutSettings::resized() {}
