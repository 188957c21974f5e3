/*
    ZEM Quillbank - LTC to MTC converter and MIDI merger
    Copyright (C) 2026 ZEM. GPL-3.0-or-later.
*/

#pragma once

#include "platform/MidiDevices.h"

#include <array>
#include <atomic>
#include <mutex>

/** The clock that the generator's schedule, its loss rule and its block stamps read. */
class GeneratorClock
{
public:
    virtual ~GeneratorClock() = default;

    /** The high-resolution millisecond counter: a clock that neither steps nor wraps, and the
        one that the output's sending thread waits against.
    */
    virtual double millisecondCounterHiRes() = 0;

    /** The real clock. */
    static GeneratorClock& system();
};

/** The MTC generator: a thread that starts MTC with a full-frame message when LTC frames are
    handed over, sends a block of eight quarter-frame messages every two frames on a schedule of
    its own, and stops when no frame has come for more than 200 ms.

    It also owns the open MIDI output. Sending on it, from this thread or from the merger's
    thread, and replacing it, from the message thread, are serialised by a lock of its own, so
    that no send ever uses an output that is being replaced or destroyed.
*/
class DemoThread : public juce::Thread
{
public:
    /** Builds the generator; it neither starts the thread nor opens an output. */
    explicit DemoThread (MidiDevices& devices, GeneratorClock& clock = GeneratorClock::system());

    /** Stops the thread (waiting up to 2,000 ms), then closes the output. */
    ~DemoThread() override;

    /** The generator loop: each pass waits 1 ms, then holds the message-thread lock for the rest of the pass. */
    void run() override;

    /** The start-up after construction: the thread at normal priority, then output device 0
        opened and, when that worked, made active with its sending thread started.
    */
    void startUp();

    /** Starts the thread at the highest priority, or raises a running one to it. */
    void raisePriority();

    /** One pass of the loop after its lock and wait: follows the LTC and sends a due block.
        The thread calls it with the message-thread lock held; tests call it directly.
    */
    void processPass();

    /** Sends a message at once on the active output; does nothing while none is active. */
    void sendNow (const juce::MidiMessage& message);

    /** Puts a newly opened output (or none) in place of the current one and returns the old
        one, for the caller to destroy; no send can reach the old one once this returns.
    */
    std::unique_ptr<MidiOutputPort> exchangeOutput (std::unique_ptr<MidiOutputPort> newOutput);

    /** The output in use, for the message thread that replaces it; null when none is open. */
    MidiOutputPort* getOutput() const noexcept { return midiOutput.get(); }

    /** The input-rate reset: MTC stops and both positions return to 0. */
    void resetPositions();

    /** The decoder's resynchronisation: both positions jump to this count. */
    void jumpTo (juce::int64 position);

    //==============================================================================
    // Shared with the decoder on the audio thread: it stores lastEvenLtcFrame (and, on a
    // resynchronisation, both positions) before it sets newLtcFrame with release ordering;
    // the pass takes newLtcFrame first, with acquire ordering.
    std::atomic<bool> ltcRunning { false };
    std::atomic<bool> newLtcFrame { false };
    int blockPhase = 0;
    juce::int64 nextBlockTimeMs; ///< in whole milliseconds of the clock, as is lastLtcTimeMs
    juce::int64 lastLtcTimeMs;

private:
    std::unique_ptr<MidiOutputPort> midiOutput;

public:
    std::array<juce::uint8, 8> quarterFrameNibbles {};
    juce::MidiBuffer quarterFrameBuffer;
    std::atomic<int> inputFrameRate { 24 };
    std::atomic<int> outputFrameRate { 24 };
    juce::uint8 mtcFrames = 0, mtcSeconds = 0, mtcMinutes = 0, mtcHours = 0;
    std::atomic<juce::int64> mtcPosition { 0 };
    std::atomic<juce::int64> lastEvenLtcFrame { 0 };
    std::atomic<juce::int64> lastBlockPosition { 0 };
    juce::String currentMidiOutputName;
    std::atomic<bool> midiOutputActive { false };
    std::atomic<int> displayHundredths { 0 };

private:
    void encodePosition (juce::int64 position, int frameRate);
    void sendFullFrame (int frameRate);
    void handBlockToOutput (double messagesPerSecond);
    juce::int64 nowMs() const;

    MidiDevices& midiDevices;
    GeneratorClock& clock;
    mutable std::mutex outputLock;
    std::atomic<bool> priorityRaiseRequested { false };

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (DemoThread)
};
