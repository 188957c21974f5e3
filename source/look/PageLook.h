/*
    ZEM Quillbank - LTC to MTC converter and MIDI merger
    Copyright (C) 2026 ZEM. GPL-3.0-or-later.
*/

#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

/** The background that the main window and every preferences page share: dark grey with the
    logo unscaled at (width - 73, height - 73), so that its last four columns and rows are clipped.
*/
void paintPageBackground (juce::Graphics& g, int width, int height);

/** Adds a caption label to a preferences page: placed, in a plain font of this height, not
    editable, with a black and transparent editor, and given its text without notification.
*/
void setUpPageLabel (juce::Component& page, juce::Label& label, juce::Rectangle<int> bounds, float fontHeight,
                     juce::Justification justification, const juce::String& text);
