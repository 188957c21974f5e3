/*
    ZEM Quillbank - LTC to MTC converter and MIDI merger
    Copyright (C) 2026 ZEM. GPL-3.0-or-later.
*/

#pragma once

#include "LtcTestWriter.h"

#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

/** LTC written by libltc, an encoder independent of ours, as float samples.

    Frames are non-drop at every rate (the drop-frame flag stays clear, also at 29.97), with
    libltc's own rise-time filter. The final frame's last cell ends where a following frame
    would begin, so a decoder recognises it only once more signal follows.
*/
class LibLtcSignal
{
public:
    struct Options
    {
        double framesPerSecond = 30.0; ///< 24, 25, 30, or 24000/1001 and 30000/1001 (23.976 and 29.97)
        double sampleRate = 48000.0;
        double levelDbfs = -3.0;                                ///< peak level of the LTC
        double snrDb = std::numeric_limits<double>::infinity(); ///< white noise this far below the LTC's power
        LtcTime start;
        int numFrames = 1;
        std::uint32_t noiseSeed = 1;
    };

    /** One frame as libltc wrote it: its time and its samples [firstSample, endSample). */
    struct Frame
    {
        LtcTime time;
        std::size_t firstSample = 0, endSample = 0;
    };

    explicit LibLtcSignal (const Options& options);

    std::vector<float> samples;
    std::vector<Frame> frames;
};
