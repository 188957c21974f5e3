/*
    ZEM Quillbank - LTC to MTC converter and MIDI merger
    Copyright (C) 2026 ZEM. GPL-3.0-or-later.
*/

#pragma once

#include "SettingsComponent.h"

/** The preferences window: built hidden once per run, shown by the main window's
    "Preferences" button and only hidden again by its close button.
*/
class PreferencesWindow : public juce::DocumentWindow, private juce::ChangeListener
{
public:
    /** Builds the window, hidden, with the settings component as its content. */
    PreferencesWindow();
    ~PreferencesWindow() override;

    /** Fills the window dark grey. */
    void paint (juce::Graphics&) override;

    /** Hides the window; its place, its current tab and its pages stay as they are. */
    void closeButtonPressed() override;

    /** The window's content with the four pages. */
    SettingsComponent settings;

private:
    void changeListenerCallback (juce::ChangeBroadcaster*) override;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (PreferencesWindow)
};
