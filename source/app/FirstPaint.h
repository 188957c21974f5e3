/*
    ZEM Quillbank - LTC to MTC converter and MIDI merger
    Copyright (C) 2026 ZEM. GPL-3.0-or-later.
*/

#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

/** Paints a window that has just been made visible before any event of the window manager is
    handled, so that its place stays the one it was given.

    The framework sends a window's place to the X server again with the first paint after it has
    been shown, taking the place from the last event that told it one. A window manager that is
    slow to frame the window can report a passing place, the top-left corner of the screen, in
    between; sent back, that place wins and the window stays there.
*/
void paintFirstTimeNow (juce::Component& window);
