/*
    ZEM Quillbank - LTC to MTC converter and MIDI merger
    Copyright (C) 2026 ZEM. GPL-3.0-or-later.
*/

#include "platform/TimedMidiSender.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace
{
/** A block of eight messages whose data byte tells block and index apart. */
juce::MidiBuffer blockOf (int block)
{
    juce::MidiBuffer buffer;

    for (int k = 0; k < 8; ++k)
        buffer.addEvent (juce::MidiMessage::quarterFrame (k, block), k);

    return buffer;
}

/** Collects what the sender writes, from whichever thread, and waits for a number of messages. */
struct Recorder
{
    void write (const juce::MidiMessage& message, bool fromBlock)
    {
        const std::lock_guard<std::mutex> guard (lock);
        written.push_back ({ message.getQuarterFrameSequenceNumber(), message.getQuarterFrameValue() });
        blockFlags.push_back (fromBlock);
    }

    std::vector<std::pair<int, int>> waitFor (size_t count)
    {
        for (int i = 0; i < 2000; ++i)
        {
            {
                const std::lock_guard<std::mutex> guard (lock);

                if (written.size() >= count)
                    return written;
            }

            std::this_thread::sleep_for (std::chrono::milliseconds (1));
        }

        const std::lock_guard<std::mutex> guard (lock);
        return written;
    }

    std::mutex lock;
    std::vector<std::pair<int, int>> written; ///< (index, block) of each message, in order
    std::vector<bool> blockFlags;
};
} // namespace

TEST (TimedMidiSender, BlocksHandedOverCloseTogetherGoOutWholeAndInOrder)
{
    // Blocks 1 and 2 overlap in time, as after a late hand-over; block 3 is due at once and so
    // pulls both out ahead of it. Whatever the times, nothing interleaves.
    Recorder recorder;
    TimedMidiSender sender ([&] (const juce::MidiMessage& m, bool fromBlock) { recorder.write (m, fromBlock); });
    sender.start();

    const auto now = juce::Time::getMillisecondCounterHiRes();
    sender.sendBlock (blockOf (1), now, 200.0);
    sender.sendBlock (blockOf (2), now + 2.0, 200.0);
    sender.sendBlock (blockOf (3), now + 1.0, 1000.0);

    const auto written = recorder.waitFor (24);
    ASSERT_EQ (written.size(), 24u);

    for (size_t i = 0; i < written.size(); ++i)
        EXPECT_EQ (written[i], std::make_pair ((int) i % 8, (int) i / 8 + 1)) << "message " << i;

    EXPECT_TRUE (std::all_of (recorder.blockFlags.begin(), recorder.blockFlags.end(), [] (bool b) { return b; }));
}

TEST (TimedMidiSender, StoppingDropsWhatWasQueuedAndARestartSendsOnlyNewBlocks)
{
    Recorder recorder;
    TimedMidiSender sender ([&] (const juce::MidiMessage& m, bool fromBlock) { recorder.write (m, fromBlock); });
    sender.start();
    sender.sendBlock (blockOf (1), juce::Time::getMillisecondCounterHiRes() + 60'000.0, 96.0);
    sender.stop();

    sender.sendNow (juce::MidiMessage::quarterFrame (0, 9));
    sender.start();
    sender.sendBlock (blockOf (2), juce::Time::getMillisecondCounterHiRes(), 1000.0);

    const auto written = recorder.waitFor (9);
    ASSERT_EQ (written.size(), 9u);
    EXPECT_EQ (written.front(), std::make_pair (0, 9));
    EXPECT_FALSE (recorder.blockFlags.front());
    EXPECT_EQ (written.back(), std::make_pair (7, 2));
}

TEST (TimedMidiSender, WritesFromSeveralThreadsNeverOverlap)
{
    // A device driver with per-port encoder state must see one write at a time: the sending
    // thread and two threads sending at once write here while the writer checks for overlap.
    std::atomic<int> inWriter { 0 }, overlaps { 0 }, writes { 0 };
    TimedMidiSender sender (
        [&] (const juce::MidiMessage&, bool)
        {
            if (inWriter.fetch_add (1) != 0)
                ++overlaps;

            std::this_thread::yield();
            ++writes;
            inWriter.fetch_sub (1);
        });
    sender.start();

    std::atomic<bool> running { true };
    auto sendAtOnce = [&]
    {
        while (running)
            sender.sendNow (juce::MidiMessage::noteOn (1, 60, (juce::uint8) 100));
    };
    std::thread first (sendAtOnce), second (sendAtOnce);

    for (int block = 0; block < 50; ++block)
    {
        sender.sendBlock (blockOf (block % 16), juce::Time::getMillisecondCounterHiRes(), 8000.0);
        std::this_thread::sleep_for (std::chrono::milliseconds (2));
    }

    running = false;
    first.join();
    second.join();
    sender.stop();

    EXPECT_GT (writes.load(), 400);
    EXPECT_EQ (overlaps.load(), 0);
}
