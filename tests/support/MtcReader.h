/*
    ZEM Quillbank - LTC to MTC converter and MIDI merger
    Copyright (C) 2026 ZEM. GPL-3.0-or-later.
*/

#pragma once

#include <cstdint>
#include <vector>

/** Reads MTC as a receiver does: full-frame messages give a time at once, quarter frames
    give one when pieces 0 to 7 have arrived in order.
*/
class MtcReader
{
public:
    struct Time
    {
        int hours = 0, minutes = 0, seconds = 0, frames = 0;
        int rateCode = -1; ///< from piece 7; -1 for a full frame
        bool fullFrame = false;
        double timeMs = 0;

        long long countAt (int rate) const
        {
            return ((long long) hours * 3600 + minutes * 60 + seconds) * rate + frames;
        }
    };

    /** Takes one message; returns true when it completed a time. */
    bool feed (const std::vector<std::uint8_t>& bytes, double timeMs = 0);

    std::vector<Time> times;
    int piecesOutOfOrder = 0; ///< a piece that did not follow the previous one
    int otherMessages = 0;

private:
    int nextPiece = 0;
    int nibbles[8] {};
};
