/*
    ZEM Quillbank - LTC to MTC converter and MIDI merger
    Copyright (C) 2026 ZEM. GPL-3.0-or-later.
*/

#pragma once

#include "AboutSettings.h"
#include "AudioSettings.h"
#include "OffsetSettings.h"
#include "merger/MidiInputs.h"

/** The preferences window's content: the tabs "Midi Merger", "Audio Input", "Offset" and
    "About" over the four pages, which it owns; the tabs only show them.
*/
class SettingsComponent : public juce::Component
{
public:
    SettingsComponent();
    ~SettingsComponent() override;

    /** Draws nothing: the pages and the tab bar cover the area. */
    void paint (juce::Graphics&) override;

    /** Does nothing: the tabs are placed once. */
    void resized() override;

private:
    std::unique_ptr<juce::TabbedComponent> tabs;

public:
    /** The "Midi Merger" page with the merger rows. */
    MidiInputs midiInputs;

    /** The "Audio Input" page with the audio device selector. */
    AudioSettings audioSettings;

    /** The "Offset" page with the frame delay slider. */
    OffsetSettings offsetSettings;

private:
    AboutSettings aboutSettings;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (SettingsComponent)
};
