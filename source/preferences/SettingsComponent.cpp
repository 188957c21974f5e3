/*
    ZEM Quillbank - LTC to MTC converter and MIDI merger
    Copyright (C) 2026 ZEM. GPL-3.0-or-later.
*/

#include "SettingsComponent.h"

SettingsComponent::SettingsComponent()
{
    tabs = std::make_unique<juce::TabbedComponent> (juce::TabbedButtonBar::TabsAtTop);
    addAndMakeVisible (*tabs);
    tabs->setTabBarDepth (30);

    tabs->addTab (juce::translate ("Midi Merger"), juce::Colours::darkgrey, &midiInputs, false);
    tabs->addTab (juce::translate ("Audio Input"), juce::Colours::darkgrey, &audioSettings, false);
    tabs->addTab (juce::translate ("Offset"), juce::Colours::darkgrey, &offsetSettings, false);
    tabs->addTab (juce::translate ("About"), juce::Colours::darkgrey, &aboutSettings, false);

    tabs->setCurrentTabIndex (0);

    // One pixel wider than the content area on each side and at the bottom, so that the tabbed
    // component's outline falls outside and the pages get the full 550 x 320 below the tab bar.
    tabs->setBounds (-1, 0, 552, 351);
}

SettingsComponent::~SettingsComponent() = default;

void SettingsComponent::paint (juce::Graphics&) {}

void SettingsComponent::resized() {}
