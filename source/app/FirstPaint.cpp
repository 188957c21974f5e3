/*
    ZEM Quillbank - LTC to MTC converter and MIDI merger
    Copyright (C) 2026 ZEM. GPL-3.0-or-later.
*/

#include "FirstPaint.h"

void paintFirstTimeNow (juce::Component& window)
{
    if (auto* peer = window.getPeer())
        peer->performAnyPendingRepaintsNow();
}
