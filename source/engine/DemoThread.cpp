/*
    ZEM Quillbank - LTC to MTC converter and MIDI merger
    Copyright (C) 2026 ZEM. GPL-3.0-or-later.
*/

#include "DemoThread.h"

#include "MtcMessages.h"

#include <cmath>

namespace
{
class SystemClock final : public GeneratorClock
{
public:
    double millisecondCounterHiRes() override { return juce::Time::getMillisecondCounterHiRes(); }
};

/** The schedule and the loss rule count whole milliseconds, as their steps and thresholds do. */
juce::int64 wholeMillisecondsOf (GeneratorClock& clock)
{
    return (juce::int64) std::floor (clock.millisecondCounterHiRes());
}

/** The block schedule at one output rate: a block is due more than thresholdMs after its
    schedule point, and the points advance by the three steps in turn (six frames in all).
*/
struct BlockSchedule
{
    int thresholdMs;
    int stepsMs[3];
};

const BlockSchedule& scheduleFor (int outputFrameRate)
{
    static const BlockSchedule at24 { 80, { 83, 83, 84 } };
    static const BlockSchedule at30 { 65, { 67, 67, 66 } };
    return outputFrameRate == 30 ? at30 : at24;
}

constexpr int ltcLossMs = 200;
} // namespace

GeneratorClock& GeneratorClock::system()
{
    static SystemClock clock;
    return clock;
}

//==============================================================================
DemoThread::DemoThread (MidiDevices& devices, GeneratorClock& clockToUse)
    : juce::Thread ("JUCE Demo Thread"),
      nextBlockTimeMs (wholeMillisecondsOf (clockToUse)),
      lastLtcTimeMs (wholeMillisecondsOf (clockToUse)),
      midiDevices (devices),
      clock (clockToUse)
{
}

DemoThread::~DemoThread()
{
    stopThread (2000);
    currentMidiOutputName = {};
    quarterFrameBuffer.clear();
    exchangeOutput (nullptr);
}

void DemoThread::startUp()
{
    startThread();

    if (auto output = midiDevices.openOutput (0))
    {
        output->startBackgroundThread();
        exchangeOutput (std::move (output));
        midiOutputActive = true;
    }
}

void DemoThread::raisePriority()
{
    // A running thread can only change its own priority, so it takes the request up itself.
    priorityRaiseRequested = true;
    startThread (juce::Thread::Priority::highest);
}

void DemoThread::run()
{
    while (! threadShouldExit())
    {
        if (priorityRaiseRequested.exchange (false))
            setPriority (juce::Thread::Priority::highest);

        // The wait comes before the lock: a thread that held the message-thread lock through it
        // would keep the message thread out of its event loop nearly all the time, and input
        // already read from the X connection would then wait there for the next event.
        wait (1);

        const juce::MessageManagerLock messageThreadLock (this);

        if (! messageThreadLock.lockWasGained())
            return;

        processPass();
    }
}

void DemoThread::processPass()
{
    // Taking the flag in one step keeps a frame announced during this pass for the next one.
    if (newLtcFrame.exchange (false, std::memory_order_acquire))
    {
        if (! ltcRunning)
        {
            const auto start = lastEvenLtcFrame.load (std::memory_order_relaxed) + 2;
            const auto rate = outputFrameRate.load();
            mtcPosition = start;
            encodePosition (start, rate);
            lastBlockPosition = start;

            if (midiOutputActive && start >= 0)
                sendFullFrame (rate);

            nextBlockTimeMs = nowMs();
        }

        ltcRunning = true;
        lastLtcTimeMs = nowMs();
    }
    else if (nowMs() > lastLtcTimeMs + ltcLossMs)
    {
        ltcRunning = false;
    }

    quarterFrameBuffer.clear();

    if (! ltcRunning)
        return;

    const auto rate = outputFrameRate.load();
    const auto& schedule = scheduleFor (rate);

    if (nowMs() <= nextBlockTimeMs + schedule.thresholdMs)
        return;

    const auto position = lastBlockPosition.load() + 2;
    mtcPosition = position;
    encodePosition (position, rate);
    lastBlockPosition = position;

    if (mtcFrames == 0)
        displayHundredths = 0;

    nextBlockTimeMs += schedule.stepsMs[blockPhase];

    for (int piece = 0; piece < 8; ++piece)
        quarterFrameBuffer.addEvent (MtcMessages::quarterFrame (piece, quarterFrameNibbles[(size_t) piece]), piece);

    // A position below zero has negative parts, which would give data bytes of 0x80 and more:
    // such blocks keep the schedule but are not sent.
    if (midiOutputActive && position >= 0)
        handBlockToOutput (MtcMessages::quarterFramesPerSecond (rate));

    blockPhase = (blockPhase + 1) % 3;
}

void DemoThread::encodePosition (juce::int64 position, int frameRate)
{
    const auto parts = MtcMessages::splitPosition (position, frameRate);
    mtcHours = parts.hours;
    mtcMinutes = parts.minutes;
    mtcSeconds = parts.seconds;
    mtcFrames = parts.frames;
    quarterFrameNibbles = MtcMessages::computeNibbles (parts, frameRate);
}

void DemoThread::sendFullFrame (int frameRate)
{
    sendNow (MtcMessages::fullFrame (quarterFrameNibbles, { mtcHours, mtcMinutes, mtcSeconds, mtcFrames }, frameRate));
}

void DemoThread::handBlockToOutput (double messagesPerSecond)
{
    const std::lock_guard<std::mutex> guard (outputLock);

    if (midiOutput != nullptr)
        midiOutput->sendBlockOfMessages (quarterFrameBuffer, clock.millisecondCounterHiRes(), messagesPerSecond);
}

juce::int64 DemoThread::nowMs() const
{
    return wholeMillisecondsOf (clock);
}

void DemoThread::sendNow (const juce::MidiMessage& message)
{
    const std::lock_guard<std::mutex> guard (outputLock);

    if (midiOutputActive && midiOutput != nullptr)
        midiOutput->sendMessageNow (message);
}

std::unique_ptr<MidiOutputPort> DemoThread::exchangeOutput (std::unique_ptr<MidiOutputPort> newOutput)
{
    const std::lock_guard<std::mutex> guard (outputLock);
    std::swap (midiOutput, newOutput);
    return newOutput;
}

void DemoThread::resetPositions()
{
    ltcRunning = false;
    mtcPosition = 0;
    lastBlockPosition = 0;
}

void DemoThread::jumpTo (juce::int64 position)
{
    mtcPosition.store (position, std::memory_order_relaxed);
    lastBlockPosition.store (position, std::memory_order_relaxed);
}
