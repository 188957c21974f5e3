/*
    ZEM Quillbank - LTC to MTC converter and MIDI merger
    Copyright (C) 2026 ZEM. GPL-3.0-or-later.
*/

#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

/** The "About" page: the emblem, the product's name and version, and a link to its web site. */
class AboutSettings : public juce::Component
{
public:
    AboutSettings();
    ~AboutSettings() override;

    /** Dark grey, the logo at the lower right and the emblem scaled into (175, 20, 200, 200). */
    void paint (juce::Graphics&) override;

    /** Does nothing: every control has fixed bounds. */
    void resized() override;

private:
    std::unique_ptr<juce::HyperlinkButton> webLink;
    juce::Label updatesLabel;
    juce::Label versionLabel;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (AboutSettings)
};
