/*
    ZEM Quillbank - LTC to MTC converter and MIDI merger
    Copyright (C) 2026 ZEM. GPL-3.0-or-later.
*/

#pragma once

#include "engine/DemoThread.h"

/** A generator clock that tests step by hand, in whole milliseconds.

    Its readings lie half a millisecond past the whole count, as real readings lie anywhere
    within a millisecond: the schedule must still step in whole milliseconds, and block stamps
    must keep the reading as it was.
*/
class FakeClock final : public GeneratorClock
{
public:
    explicit FakeClock (juce::int64 startMs = 1'000'000)
        : nowMs (startMs)
    {
    }

    double millisecondCounterHiRes() override { return (double) nowMs + fractionMs; }

    void advance (juce::int64 ms) { nowMs += ms; }
    void set (juce::int64 ms) { nowMs = ms; }

    static constexpr double fractionMs = 0.5;
    juce::int64 nowMs;
};
