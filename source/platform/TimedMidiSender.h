/*
    ZEM Quillbank - LTC to MTC converter and MIDI merger
    Copyright (C) 2026 ZEM. GPL-3.0-or-later.
*/

#pragma once

#include <juce_audio_basics/juce_audio_basics.h>

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

/** The sending side of an open MIDI output: single messages at once from the calling thread,
    and timed blocks from a sending thread of its own.

    Every write to the device goes through one lock, whichever thread makes it: a device driver
    that keeps encoder state per port (ALSA's does) must never see two writes at once.

    Message s of a block goes out at start + s * 1000 / rate ms. Blocks go out in the order they
    were handed over and never interleave: when a message of a later block falls due while an
    earlier block still has messages waiting, those go out at once, ahead of it. A block handed
    over late therefore ends early instead of mixing its messages with the next block's, which
    a receiver assembling quarter frames could not read.
*/
class TimedMidiSender final
{
public:
    /** Puts one message on the device; told whether it came from a block. Always called under
        the write lock.
    */
    using Writer = std::function<void (const juce::MidiMessage&, bool fromBlock)>;

    /** Reads the clock that block start times are given on, in milliseconds. */
    using Clock = std::function<double()>;

    /** The clock is the high-resolution millisecond counter unless a test gives its own. */
    explicit TimedMidiSender (Writer writerToUse, Clock clockToUse = juce::Time::getMillisecondCounterHiRes);

    /** Stops the sending thread; whatever was still queued is dropped. */
    ~TimedMidiSender();

    /** Writes one message from the calling thread. */
    void sendNow (const juce::MidiMessage& message);

    /** Queues a block for the sending thread; the start time is on the sender's clock. */
    void sendBlock (const juce::MidiBuffer& buffer, double millisecondCounterToStartAt,
                    double samplesPerSecondForBuffer);

    /** Starts the sending thread; does nothing when it runs. */
    void start();

    /** Stops the sending thread and drops what it had not yet sent, as the framework's does. */
    void stop();

private:
    struct Pending
    {
        double dueMs;
        juce::MidiMessage message;
    };

    void run();

    const Writer writer;
    const Clock clock;
    std::mutex writeLock;

    std::mutex queueLock;
    std::condition_variable wakeUp;
    std::deque<Pending> queue; ///< in the order of hand-over, each block in time order
    bool shouldStop = false;
    std::thread thread;

    JUCE_DECLARE_NON_COPYABLE (TimedMidiSender)
};
