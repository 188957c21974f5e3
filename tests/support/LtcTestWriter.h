/*
    ZEM Quillbank - LTC to MTC converter and MIDI merger
    Copyright (C) 2026 ZEM. GPL-3.0-or-later.
*/

#pragma once

#include <bitset>
#include <cstdint>
#include <initializer_list>
#include <vector>

/** A time as the digits of an LTC frame carry it. */
struct LtcTime
{
    int hours = 0, minutes = 0, seconds = 0, frames = 0;

    /** The time one frame later, counting frames 0 to framesPerSecond - 1 and hours without wrap. */
    LtcTime next (int framesPerSecond) const;
};

/** Writes square-wave biphase-mark signals sample by sample, for tests that need to know
    exactly where every zero crossing lies.

    The signal is a sequence of runs, each of the opposite sign to the one before and at the
    current level. A run of n samples ends with the first sample of the next run, so a decoder
    measures an interval of n samples at that crossing. Bit cells follow the writer's rate,
    with fractional cell lengths spread over the cells so that no rounding error accumulates.
*/
class LtcTestWriter
{
public:
    /** The 80 bits of one frame; bit 0 is sent first. */
    using FrameBits = std::bitset<80>;

    /** A writer at this sample rate and LTC frame rate whose first run is positive or negative. */
    explicit LtcTestWriter (double sampleRate = 48000.0, double framesPerSecond = 30.0, bool startPositive = true);

    /** The magnitude of the samples written from now on (1.0 is full scale). */
    LtcTestWriter& level (float newLevel);

    /** Appends runs of these lengths in samples. */
    LtcTestWriter& runs (const std::vector<int>& lengths);

    /** Appends zero samples; the next run still has the opposite sign of the last one. */
    LtcTestWriter& silence (int numSamples);

    /** Appends one biphase-mark cell per bit (0 or 1): a transition at every cell start and
        another in the middle of a cell that holds a 1.
    */
    LtcTestWriter& bits (const std::vector<int>& values);

    /** Appends the cells of one frame, bit 0 first. */
    LtcTestWriter& frame (const FrameBits& frameBits);

    /** Appends consecutive frames from this time on, at the rounded frame rate, each with
        its phase-correction bit set.
    */
    LtcTestWriter& frames (LtcTime start, int count);

    /** Appends one sample of the next sign, which closes the interval of the last run. */
    LtcTestWriter& edge();

    const std::vector<float>& samples() const noexcept { return output; }

    /** Samples per bit cell at the writer's rates. */
    double samplesPerCell() const noexcept { return cellLength; }

    //==============================================================================
    /** A frame of this time (BCD digits), with the user bits (group 1 in the lowest four bits),
        the given extra bits set (flags such as 10, drop frame) and the sync word.
    */
    static FrameBits frameBits (LtcTime time, std::uint32_t userBits = 0, std::initializer_list<int> setBits = {});

    /** Writes a value into bits firstBit to firstBit + width - 1, lowest bit first. */
    static void setField (FrameBits& frameBits, int firstBit, int width, unsigned value);

    /** Sets bit 27 so that the frame holds an even number of zeros, as at 24 and 30 fps. */
    static FrameBits withPhaseCorrection (FrameBits frameBits);

private:
    void appendRun (int length);
    void appendHalfCells (int numHalves);

    std::vector<float> output;
    float currentLevel = 0.5f;
    bool nextPositive;
    double cellLength;
    double cellTime = 0.0;
    int framesPerSecondRounded;
};
