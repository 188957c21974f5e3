/*
    ZEM Quillbank - LTC to MTC converter and MIDI merger
    Copyright (C) 2026 ZEM. GPL-3.0-or-later.
*/

#include "TimedMidiSender.h"

#include <algorithm>
#include <chrono>

TimedMidiSender::TimedMidiSender (Writer writerToUse, Clock clockToUse)
    : writer (std::move (writerToUse)),
      clock (std::move (clockToUse))
{
}

TimedMidiSender::~TimedMidiSender()
{
    stop();
}

void TimedMidiSender::sendNow (const juce::MidiMessage& message)
{
    const std::lock_guard<std::mutex> guard (writeLock);
    writer (message, false);
}

void TimedMidiSender::sendBlock (const juce::MidiBuffer& buffer, double startMs, double rate)
{
    {
        const std::lock_guard<std::mutex> guard (queueLock);

        for (const auto metadata : buffer)
            queue.push_back ({ startMs + metadata.samplePosition * 1000.0 / rate, metadata.getMessage() });
    }

    wakeUp.notify_all();
}

void TimedMidiSender::start()
{
    const std::lock_guard<std::mutex> guard (queueLock);

    if (thread.joinable())
        return;

    shouldStop = false;
    thread = std::thread ([this] { run(); });
}

void TimedMidiSender::stop()
{
    {
        const std::lock_guard<std::mutex> guard (queueLock);
        shouldStop = true;
    }

    wakeUp.notify_all();

    if (thread.joinable())
        thread.join();

    const std::lock_guard<std::mutex> guard (queueLock);
    queue.clear();
}

void TimedMidiSender::run()
{
    juce::Thread::setCurrentThreadName ("MIDI Output");
    std::unique_lock<std::mutex> guard (queueLock);

    while (! shouldStop)
    {
        if (queue.empty())
        {
            wakeUp.wait (guard);
            continue;
        }

        // The front goes out when it is due, or when anything queued after it is.
        const auto earliest = std::min_element (queue.begin(), queue.end(),
                                                [] (const Pending& a, const Pending& b) { return a.dueMs < b.dueMs; });
        const auto waitMs = earliest->dueMs - clock();

        if (waitMs > 0)
        {
            wakeUp.wait_for (guard, std::chrono::microseconds ((juce::int64) (waitMs * 1000.0) + 1));
            continue;
        }

        const auto message = std::move (queue.front().message);
        queue.pop_front();
        guard.unlock();

        {
            const std::lock_guard<std::mutex> writeGuard (writeLock);
            writer (message, true);
        }

        guard.lock();
    }
}
