/*
    ZEM Quillbank - LTC to MTC converter and MIDI merger
    Copyright (C) 2026 ZEM. GPL-3.0-or-later.
*/

#pragma once

#include "platform/VirtualMidiDevices.h"
#include "support/LibLtcSignal.h"
#include "support/MtcReader.h"
#include "support/TestAudioDeviceType.h"

#include <atomic>
#include <functional>
#include <optional>
#include <thread>
#include <vector>

/** The rates of one run: the input box's choice and the output box's, as the engine reads them. */
struct ShowRates
{
    int inputRate = 24;    ///< nominal LTC rate, 24 or 30
    bool pullDown = false; ///< the LTC runs at 23.976 or 29.97
    int outputRate = 24;   ///< MTC rate, 24 or 30
};

/** The frame count that the decoder forms for an LTC time at these rates, with no offset:
    frame-number rescaling between the rates, the count at the output rate, then the pull-down.
*/
juce::int64 decoderCountFor (const LtcTime& time, const ShowRates& rates);

//==============================================================================
/** Where every LTC frame of a signal lies and what count it gives, for a signal made of
    segments of libltc frames and silences, so that a test can tell which count belongs to
    the sample being played at any moment.
*/
class LtcReference
{
public:
    struct Frame
    {
        juce::int64 firstSample = 0, endSample = 0;
        juce::int64 count = 0;
        LtcTime time;
        bool followsOn = false;         ///< directly after the previous frame, with a count at most 3 on
        bool afterSilence = true;       ///< the first frame, or one that silence comes before
        juce::int64 runStartSample = 0; ///< where the run of frames that follow on, up to this one, began
    };

    explicit LtcReference (ShowRates rates);

    /** Appends a signal's frames and samples. */
    void append (const LibLtcSignal& signal);

    /** Appends this many samples of silence. */
    void appendSilence (juce::int64 numSamples);

    /** The frame that holds this sample (counted over and over the whole signal when looped). */
    const Frame* frameAt (juce::int64 sample, bool looped) const;

    /** The last frame that began at or before this sample, counted as frameAt counts. */
    const Frame* latestFrameAt (juce::int64 sample, bool looped) const;

    ShowRates rates;
    std::vector<float> samples;
    std::vector<Frame> frames;
};

//==============================================================================
/** Plays samples into the test audio device as the application's input, in real time, and
    keeps the time at which each block reached the application.
*/
class LtcPlayback
{
public:
    struct Delivery
    {
        juce::int64 firstSample = 0;
        int numSamples = 0;
        double timeMs = 0;       ///< millisecond counter (high resolution) when the block was filled
        double sampleZeroMs = 0; ///< when sample 0 began, by the most punctual block so far
    };

    /** Plays these samples (kept by the caller) over and over until this many have been played,
        then silence, at this sample rate; keeps room for this many deliveries.
    */
    LtcPlayback (const std::vector<float>& samples, juce::int64 lengthToPlay, double sampleRate, size_t maxDeliveries);

    /** Stops feeding the device, which is then silent. */
    ~LtcPlayback();

    /** Starts playing into the device from its next block. */
    void start (TestAudioDeviceType& device);

    /** Samples delivered so far. */
    juce::int64 samplesDelivered() const;

    /** The sample that was being played at this time: the device plays in real time and hands
        over each block once it has been taken in, so a late block is a delay of the device, not of
        the signal; -1 before the first block.
    */
    juce::int64 samplePlayingAt (double timeMs) const;

    /** When the block holding this sample reached the application; 0 when it has not yet. */
    double deliveryTimeOf (juce::int64 sample) const;

private:
    void fill (float* block, int numSamples);
    size_t deliveriesSoFar() const;

    const std::vector<float>& samples;
    const juce::int64 lengthToPlay;
    const double samplesPerMs;
    std::vector<Delivery> deliveries;
    std::atomic<size_t> numDeliveries { 0 };
    juce::int64 position = 0;
    TestAudioDeviceType* device = nullptr;
};

//==============================================================================
/** Feeds a virtual MIDI input from a thread of its own: a burst of messages at fixed intervals,
    message n made by a function of n, with the time at which each was fed when asked for.
*/
class MergerFeeder
{
public:
    using MessageMaker = std::function<juce::MidiMessage (juce::int64)>;

    MergerFeeder (VirtualMidiDevices& devices, juce::String inputName, MessageMaker makeMessage, double burstsPerSecond,
                  int burstSize, size_t timesToKeep);
    ~MergerFeeder();

    void start();
    void stop();

    std::atomic<juce::int64> fed { 0 };
    std::atomic<juce::int64> delivered { 0 };
    std::vector<double> feedTimesMs; ///< of the first messages, as many as were asked to be kept

private:
    void run();

    VirtualMidiDevices& devices;
    const juce::String inputName;
    const MessageMaker makeMessage;
    const double intervalMs;
    const int burstSize;
    std::atomic<bool> running { false };
    std::thread thread;
};

/** The stream that the tests merge: note-ons, note-offs, controller changes and pitch bends,
    over all sixteen channels.
*/
juce::MidiMessage mergedTestMessage (juce::int64 n);

/** The bytes that message n of that stream leaves as, from a row set to this MIDI channel with
    controller changes turned into note-ons.
*/
std::vector<juce::uint8> expectedForwardedBytes (juce::int64 n, int destinationChannel);

//==============================================================================
/** Splits what a virtual output sent into MTC, as a receiver assembles it, and the rest. */
class MtcCollector
{
public:
    /** One completed quarter-frame block: its time stands for the moment its piece 0 left. */
    struct Block
    {
        double timeMs = 0;
        juce::int64 position = 0;
        int rateCode = -1;
    };

    explicit MtcCollector (int outputRate);

    /** Takes one sent message; returns false when it is no MTC message. */
    bool take (const VirtualMidiOutputLog::SentMessage& message);

    int outputRate;
    bool keepSpacings = true; ///< off for runs too long to keep one value per quarter frame
    MtcReader reader;
    std::vector<MtcReader::Time> fullFrames;
    std::vector<Block> blocks;
    std::vector<double> quarterFrameSpacingsMs;
    juce::int64 quarterFrames = 0;

private:
    double pieceZeroMs = 0, lastQuarterFrameMs = -1;
};

//==============================================================================
struct Percentiles
{
    double median = 0, p99 = 0, max = 0;
};

Percentiles percentilesOf (std::vector<double> values);

/** How late each handed-over block was against the generator's block schedule, in ms.

    The blocks are those of one run of MTC, from its start on. The schedule is rebuilt from them:
    block i is due one step after block i - 1, the steps taken in turn (83, 83, 84 ms at 24 fps;
    67, 67, 66 at 30), the first block's step being the generator's block count before it, modulo 3
    (0 for a fresh generator). Lateness is counted from the most punctual block, so a late first
    block does not hide the lateness of the others; the most punctual block is 0 ms late.
*/
std::vector<double> latenessAgainstSchedule (const std::vector<VirtualMidiOutputLog::HandedBlock>& blocks,
                                             int outputRate, juce::int64 blocksBefore = 0);

/** The resident set size of this process, in bytes. */
double residentBytes();
