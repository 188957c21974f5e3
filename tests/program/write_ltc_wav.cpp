/*
    ZEM Quillbank - LTC to MTC converter and MIDI merger
    Copyright (C) 2026 ZEM. GPL-3.0-or-later.

    Writes LTC made by libltc to a mono 16-bit WAV file, for the tests that play it into the
    running program. Arguments: the file, frames per second (24, 25, 30, 23.976 or 29.97),
    the start time as HH:MM:SS:FF, the length in seconds and the sample rate.
*/

#include "support/LibLtcSignal.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>

namespace
{
void put (std::ofstream& out, std::uint32_t value, int numBytes)
{
    for (int i = 0; i < numBytes; ++i)
        out.put ((char) ((value >> (8 * i)) & 0xff));
}

double framesPerSecondFrom (const std::string& text)
{
    if (text == "23.976")
        return 24000.0 / 1001.0;

    if (text == "29.97")
        return 30000.0 / 1001.0;

    return std::stod (text);
}
} // namespace

int main (int argc, char** argv)
{
    if (argc != 6)
    {
        std::fprintf (stderr, "usage: %s FILE FPS HH:MM:SS:FF SECONDS SAMPLE_RATE\n", argv[0]);
        return 2;
    }

    LibLtcSignal::Options options;
    options.framesPerSecond = framesPerSecondFrom (argv[2]);
    options.sampleRate = std::stod (argv[5]);

    auto& start = options.start;

    if (std::sscanf (argv[3], "%d:%d:%d:%d", &start.hours, &start.minutes, &start.seconds, &start.frames) != 4)
    {
        std::fprintf (stderr, "the start time must be HH:MM:SS:FF\n");
        return 2;
    }

    options.numFrames = (int) std::lround (std::stod (argv[4]) * options.framesPerSecond);
    const LibLtcSignal signal (options);

    std::ofstream out (argv[1], std::ios::binary);
    const auto dataBytes = (std::uint32_t) (signal.samples.size() * 2);
    const auto sampleRate = (std::uint32_t) std::lround (options.sampleRate);

    out.write ("RIFF", 4);
    put (out, 36 + dataBytes, 4);
    out.write ("WAVEfmt ", 8);
    put (out, 16, 4);
    put (out, 1, 2); // PCM
    put (out, 1, 2); // mono
    put (out, sampleRate, 4);
    put (out, sampleRate * 2, 4);
    put (out, 2, 2);
    put (out, 16, 2);
    out.write ("data", 4);
    put (out, dataBytes, 4);

    for (auto sample : signal.samples)
        put (out, (std::uint32_t) (std::int16_t) std::lround (std::fmax (-1.0, std::fmin (1.0, sample)) * 32767.0), 2);

    return out.good() ? 0 : 1;
}
