/*
    ZEM Quillbank - LTC to MTC converter and MIDI merger
    Copyright (C) 2026 ZEM. GPL-3.0-or-later.
*/

#include "MtcReader.h"

bool MtcReader::feed (const std::vector<std::uint8_t>& bytes, double timeMs)
{
    if (bytes.size() == 10 && bytes[0] == 0xf0 && bytes[1] == 0x7f && bytes[3] == 0x01 && bytes[4] == 0x01
        && bytes[9] == 0xf7)
    {
        Time t;
        t.hours = bytes[5] & 0x1f;
        t.minutes = bytes[6];
        t.seconds = bytes[7];
        t.frames = bytes[8];
        t.fullFrame = true;
        t.timeMs = timeMs;
        times.push_back (t);
        nextPiece = 0;
        return true;
    }

    if (bytes.size() != 2 || bytes[0] != 0xf1)
    {
        ++otherMessages;
        return false;
    }

    const int piece = (bytes[1] >> 4) & 0x07;

    if (piece != nextPiece)
    {
        ++piecesOutOfOrder;

        if (piece != 0)
        {
            nextPiece = 0;
            return false;
        }
    }

    nibbles[piece] = bytes[1] & 0x0f;
    nextPiece = piece + 1;

    if (piece != 7)
        return false;

    nextPiece = 0;
    Time t;
    t.frames = nibbles[0] | (nibbles[1] << 4);
    t.seconds = nibbles[2] | (nibbles[3] << 4);
    t.minutes = nibbles[4] | (nibbles[5] << 4);
    t.hours = nibbles[6] | ((nibbles[7] & 0x01) << 4);
    t.rateCode = (nibbles[7] >> 1) & 0x03;
    t.timeMs = timeMs;
    times.push_back (t);
    return true;
}
