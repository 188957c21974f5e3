/*
    ZEM Quillbank - LTC to MTC converter and MIDI merger
    Copyright (C) 2026 ZEM. GPL-3.0-or-later.
*/

#include "PreferencesWindow.h"

PreferencesWindow::PreferencesWindow()
    : juce::DocumentWindow ("Preferences", juce::Colours::white, juce::DocumentWindow::allButtons)
{
    setContentNonOwned (&settings, false);
}

PreferencesWindow::~PreferencesWindow()
{
    // The content is a member and goes before the window base does; detach it while both exist.
    clearContentComponent();
}

void PreferencesWindow::paint (juce::Graphics& g)
{
    g.fillAll (juce::Colours::darkgrey);
}

void PreferencesWindow::closeButtonPressed()
{
    setVisible (false);
}

void PreferencesWindow::changeListenerCallback (juce::ChangeBroadcaster*) {}
