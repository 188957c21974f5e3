/*
    ZEM Quillbank - LTC to MTC converter and MIDI merger
    Copyright (C) 2026 ZEM. GPL-3.0-or-later.
*/

#pragma once

#include "engine/DemoThread.h"

/** A generator clock that tests step by hand. Both clocks move together. */
class FakeClock final : public GeneratorClock
{
public:
    explicit FakeClock (juce::int64 startMs = 1'000'000) : nowMs (startMs) {}

    juce::int64 currentTimeMillis() override { return nowMs; }
    double millisecondCounter() override { return (double) nowMs + counterOffsetMs; }

    void advance (juce::int64 ms) { nowMs += ms; }
    void set (juce::int64 ms) { nowMs = ms; }

    juce::int64 nowMs;
    double counterOffsetMs = 5'000.0;
};
