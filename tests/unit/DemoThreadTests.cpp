/*
    ZEM Quillbank - LTC to MTC converter and MIDI merger
    Copyright (C) 2026 ZEM. GPL-3.0-or-later.
*/

#include "engine/DemoThread.h"
#include "platform/TimedMidiSender.h"
#include "platform/VirtualMidiDevices.h"
#include "support/FakeClock.h"
#include "support/MtcReader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <thread>

namespace
{
constexpr juce::int64 wrapMs = 1LL << 32;

/** A generator over one virtual output, stepped by a fake clock, its thread never started. */
struct GeneratorFixture : public testing::Test
{
    GeneratorFixture()
    {
        devices.setOutputNames ({ "Out" });
        log = devices.getOutputLog ("Out");
        generator.exchangeOutput (devices.openOutput (0));
        generator.midiOutputActive = true;
    }

    void announce (juce::int64 count)
    {
        generator.lastEvenLtcFrame = count;
        generator.newLtcFrame.store (true, std::memory_order_release);
    }

    /** Runs one pass per millisecond for this long, announcing a frame every frameEveryMs. */
    void runFor (int ms, juce::int64& nextCount, int frameEveryMs = 0)
    {
        for (int i = 0; i < ms; ++i)
        {
            clock.advance (1);

            if (frameEveryMs > 0 && (clock.nowMs % frameEveryMs) == 0)
            {
                announce (nextCount);
                nextCount += 2;
            }

            generator.processPass();
        }
    }

    /** The position each handed-over block carries, read as a receiver would. */
    std::vector<long long> blockPositions (int rate) const
    {
        std::vector<long long> positions;

        for (const auto& block : log->getBlocks())
        {
            MtcReader reader;

            for (const auto& message : block.messages)
                reader.feed (message);

            EXPECT_EQ (reader.times.size(), 1u);
            positions.push_back (reader.times.empty() ? -1 : reader.times.back().countAt (rate));
        }

        return positions;
    }

    FakeClock clock;
    VirtualMidiDevices devices;
    std::shared_ptr<VirtualMidiOutputLog> log;
    DemoThread generator { devices, clock };
};
} // namespace

TEST_F (GeneratorFixture, StartSendsFullFrameForNPlusTwoThenBlocksOnScheduleStampedWithTheClockAlsoAcross2To32Ms)
{
    // Past 2^32 ms a 32-bit millisecond counter wraps; the clock and the stamps must run on.
    struct Case
    {
        int rate;
        int threshold;
        int steps[3];
        double messagesPerSecond;
        juce::int64 startMs;
    };
    const Case cases[] = { { 24, 80, { 83, 83, 84 }, 96.0, 1'000'000 },
                           { 30, 65, { 67, 67, 66 }, 120.0, 1'001'000 },
                           { 24, 80, { 83, 83, 84 }, 96.0, wrapMs - 300 },
                           { 30, 65, { 67, 67, 66 }, 120.0, wrapMs - 300 } };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (testing::Message() << c.rate << " fps from " << c.startMs << " ms");
        log->clear();
        generator.resetPositions();
        generator.blockPhase = 0;
        generator.outputFrameRate = c.rate;
        clock.set (c.startMs);

        const auto start = clock.nowMs;
        announce (1000);
        generator.processPass();

        const auto sent = log->getSent();
        ASSERT_EQ (sent.size(), 1u);
        MtcReader reader;
        ASSERT_TRUE (reader.feed (sent[0].bytes));
        EXPECT_TRUE (reader.times[0].fullFrame);
        EXPECT_EQ (reader.times[0].countAt (c.rate), 1002);
        EXPECT_EQ (generator.mtcPosition.load(), 1002);

        // Keep LTC coming; record when each block was handed over.
        std::vector<juce::int64> handedAt;
        juce::int64 count = 1004;

        for (int i = 0; i < 700; ++i)
        {
            clock.advance (1);

            if (i % 40 == 0)
            {
                announce (count);
                count += 2;
            }

            const auto before = log->getBlocks().size();
            generator.processPass();

            if (log->getBlocks().size() > before)
                handedAt.push_back (clock.nowMs - start);
        }

        ASSERT_GE (handedAt.size(), 7u);
        EXPECT_EQ (handedAt[0], c.threshold + 1); // strictly more than the threshold
        for (size_t i = 1; i < handedAt.size(); ++i)
            EXPECT_EQ (handedAt[i] - handedAt[i - 1], c.steps[(i - 1) % 3]);

        // Three blocks advance the schedule by six frames' worth of time.
        EXPECT_EQ (handedAt[4] - handedAt[1], c.rate == 24 ? 250 : 200);

        const auto positions = blockPositions (c.rate);
        for (size_t i = 0; i < positions.size(); ++i)
            EXPECT_EQ (positions[i], 1004 + 2 * (long long) i);

        // Each block is stamped with the clock's reading at its hand-over, as it was read.
        const auto blocks = log->getBlocks();
        ASSERT_EQ (blocks.size(), handedAt.size());
        for (size_t i = 0; i < blocks.size(); ++i)
        {
            EXPECT_EQ (blocks[i].startMs, (double) (start + handedAt[i]) + FakeClock::fractionMs);
            EXPECT_EQ (blocks[i].rate, c.messagesPerSecond);
            EXPECT_EQ (blocks[i].samplePositions, (std::vector<int> { 0, 1, 2, 3, 4, 5, 6, 7 }));
        }
    }
}

TEST_F (GeneratorFixture, BlocksHandedOverEitherSideOf2To32MsLeaveTheirPiecesAQuarterFrameApart)
{
    // The sending thread gets a clock of its own on the generator clock's time base, started at
    // the reading of each block's hand-over and moved on a fixed step at every reading: each
    // piece then leaves at the first reading at or after its time, however long the thread's
    // real waits take. A stamp on any other time base sends the pieces at once or never.
    constexpr double stepMs = 1.0;

    auto piecesLeftAt = [] (const VirtualMidiOutputLog::HandedBlock& block, double handedOverAtMs)
    {
        juce::MidiBuffer buffer;
        for (size_t k = 0; k < block.messages.size(); ++k)
            buffer.addEvent (block.messages[k].data(), (int) block.messages[k].size(), block.samplePositions[k]);

        double readingMs = handedOverAtMs, lastReadingMs = 0;
        std::mutex lock;
        std::condition_variable written;
        std::vector<double> leftAtMs;

        {
            TimedMidiSender sender (
                [&] (const juce::MidiMessage&, bool)
                {
                    const std::lock_guard<std::mutex> guard (lock);
                    leftAtMs.push_back (lastReadingMs);
                    written.notify_all();
                },
                [&]
                {
                    lastReadingMs = readingMs;
                    readingMs += stepMs;
                    return lastReadingMs;
                });
            sender.start();
            sender.sendBlock (buffer, block.startMs, block.rate);

            std::unique_lock<std::mutex> guard (lock);
            written.wait_for (guard, std::chrono::seconds (20),
                              [&] { return leftAtMs.size() == (size_t) buffer.getNumEvents(); });
        }

        return leftAtMs;
    };

    for (const int rate : { 24, 30 })
    {
        SCOPED_TRACE (rate);
        log->clear();
        generator.resetPositions();
        generator.outputFrameRate = rate;
        clock.set (wrapMs - 150);
        juce::int64 count = 1000;
        announce (count);
        generator.processPass();
        count += 2;

        std::vector<double> handedOverAtMs;
        for (int i = 0; i < 300; ++i)
        {
            const auto before = log->getBlocks().size();
            runFor (1, count, 40);

            if (log->getBlocks().size() > before)
                handedOverAtMs.push_back (clock.millisecondCounterHiRes());
        }

        // The last block handed over before 2^32 ms, whose pieces run across it, and the first after.
        const auto blocks = log->getBlocks();
        ASSERT_EQ (blocks.size(), handedOverAtMs.size());
        const auto firstAfter =
            (size_t) (std::upper_bound (handedOverAtMs.begin(), handedOverAtMs.end(), (double) wrapMs)
                      - handedOverAtMs.begin());
        ASSERT_GT (firstAfter, 0u);
        ASSERT_LT (firstAfter, blocks.size());
        ASSERT_GT (handedOverAtMs[firstAfter - 1] + 7000.0 / blocks[0].rate, (double) wrapMs);

        for (const auto index : { firstAfter - 1, firstAfter })
        {
            SCOPED_TRACE (testing::Message() << "block handed over at " << handedOverAtMs[index] << " ms");
            const auto leftAtMs = piecesLeftAt (blocks[index], handedOverAtMs[index]);
            ASSERT_EQ (leftAtMs.size(), 8u);

            for (size_t k = 0; k < leftAtMs.size(); ++k)
            {
                const auto dueMs = handedOverAtMs[index] + (double) k * 1000.0 / blocks[index].rate;
                EXPECT_GE (leftAtMs[k], dueMs) << "piece " << k;
                EXPECT_LT (leftAtMs[k], dueMs + stepMs) << "piece " << k;
            }
        }
    }
}

TEST_F (GeneratorFixture, StopsStrictlyAfter200msAndRestartsWithNewFullFrameKeepingBlockPhase)
{
    juce::int64 count = 500;
    announce (count);
    generator.processPass();
    const auto lastFrameAt = clock.nowMs;

    // Free-running for 200 ms after the last frame.
    runFor (200, count);
    EXPECT_TRUE (generator.ltcRunning);
    const auto blocksWhileFree = log->getBlocks().size();
    EXPECT_EQ (blocksWhileFree, 2u); // at +81 and +164
    EXPECT_EQ (clock.nowMs, lastFrameAt + 200);

    clock.advance (1);
    generator.processPass();
    EXPECT_FALSE (generator.ltcRunning);
    EXPECT_EQ (generator.blockPhase, 2);

    runFor (500, count);
    EXPECT_EQ (log->getBlocks().size(), blocksWhileFree);
    EXPECT_EQ (log->getSent().size(), 1u); // no stop message

    // LTC resumes: a new full frame for the resumed count + 2; the next step is the third one.
    announce (9000);
    generator.processPass();
    const auto restart = clock.nowMs;
    auto sent = log->getSent();
    ASSERT_EQ (sent.size(), 2u);
    MtcReader reader;
    reader.feed (sent[1].bytes);
    EXPECT_EQ (reader.times.at (0).countAt (24), 9002);

    juce::int64 next = 9004;
    std::vector<juce::int64> handedAt;
    for (int i = 0; i < 170; ++i)
    {
        const auto before = log->getBlocks().size();
        runFor (1, next, 40);
        if (log->getBlocks().size() > before)
            handedAt.push_back (clock.nowMs - restart);
    }

    ASSERT_EQ (handedAt.size(), 2u);
    EXPECT_EQ (handedAt[0], 81);
    EXPECT_EQ (handedAt[1], 81 + 84);
}

TEST_F (GeneratorFixture, WithoutActiveOutputNothingIsSentButPositionsAndHundredthsMove)
{
    generator.midiOutputActive = false;
    generator.displayHundredths = 50;

    // 23 frames into a second at 24 fps: the first block lands on frame 0 of the next second.
    const juce::int64 start = 24 * 10 + 20;
    announce (start);
    generator.processPass();

    juce::int64 count = start + 2;
    runFor (100, count, 40);

    EXPECT_TRUE (log->getSent().empty());
    EXPECT_TRUE (log->getBlocks().empty());
    EXPECT_EQ (generator.mtcPosition.load(), start + 4);
    EXPECT_EQ (generator.lastBlockPosition.load(), start + 4);
    EXPECT_EQ (generator.mtcFrames, 0);
    EXPECT_EQ (generator.displayHundredths.load(), 0);
}

TEST_F (GeneratorFixture, HeldUpThreadCatchesUpOneBlockPerPassWithConsecutivePositions)
{
    juce::int64 count = 100;
    announce (count);
    generator.processPass();
    count += 2;
    runFor (100, count, 40); // first block at +81

    ASSERT_EQ (log->getBlocks().size(), 1u);

    clock.advance (300);
    announce (count);
    count += 2;

    int passesWithBlock = 0;
    for (int pass = 0; pass < 4; ++pass)
    {
        const auto before = log->getBlocks().size();
        generator.processPass();
        passesWithBlock += log->getBlocks().size() == before + 1 ? 1 : 0;
    }

    // Schedule points at +83, +166 and +250 fell behind by now (+400); +333 is not yet due.
    EXPECT_EQ (passesWithBlock, 3);
    const auto positions = blockPositions (24);
    for (size_t i = 0; i < positions.size(); ++i)
        EXPECT_EQ (positions[i], 104 + 2 * (long long) i);
}

TEST_F (GeneratorFixture, InputRateResetStopsAndZeroesPositions)
{
    juce::int64 count = 2000;
    announce (count);
    generator.processPass();
    count += 2;
    runFor (200, count, 40);
    ASSERT_TRUE (generator.ltcRunning);

    generator.resetPositions();
    EXPECT_FALSE (generator.ltcRunning);
    EXPECT_EQ (generator.mtcPosition.load(), 0);
    EXPECT_EQ (generator.lastBlockPosition.load(), 0);

    // The next announced frame starts MTC afresh with a full frame.
    const auto fullFramesBefore = log->getSent().size();
    announce (count);
    generator.processPass();
    EXPECT_EQ (log->getSent().size(), fullFramesBefore + 1);
    EXPECT_EQ (generator.mtcPosition.load(), count + 2);
}

TEST_F (GeneratorFixture, PositionsBelowZeroSendNothingUntilZeroIsReached)
{
    announce (-10);
    generator.processPass();
    EXPECT_TRUE (log->getSent().empty());

    juce::int64 count = -8;
    runFor (400, count, 40);

    // Blocks for -6, -4 and -2 keep the schedule but stay unsent; 0 goes out first.
    const auto positions = blockPositions (24);
    ASSERT_FALSE (positions.empty());
    EXPECT_EQ (positions.front(), 0);
    for (size_t i = 0; i < positions.size(); ++i)
        EXPECT_EQ (positions[i], 2 * (long long) i);

    for (const auto& block : log->getBlocks())
        for (const auto& message : block.messages)
            EXPECT_LT (message[1], 0x80);
}

TEST_F (GeneratorFixture, OutputRateChangeSplitsTheSamePositionAtTheNewRate)
{
    generator.outputFrameRate = 30;
    announce (107'996);
    generator.processPass(); // starts at 107,998
    generator.outputFrameRate = 24;

    juce::int64 count = 107'998;
    runFor (90, count);

    const auto positions = blockPositions (24);
    ASSERT_EQ (positions.size(), 1u);
    EXPECT_EQ (positions[0], 108'000); // read at 24 fps: 01:15:00:00
    EXPECT_EQ (log->getSent().size(), 1u);
}

TEST (GeneratorSystemClock, ReadsTheHighResolutionMillisecondCounter)
{
    // The wall clock steps when it is corrected, and the 32-bit counter wraps and counts whole
    // milliseconds: only the high-resolution counter, which the sending thread waits against,
    // always lies between two readings of itself.
    auto& clock = GeneratorClock::system();

    for (int i = 0; i < 100; ++i)
    {
        const auto before = juce::Time::getMillisecondCounterHiRes();
        const auto reading = clock.millisecondCounterHiRes();
        const auto after = juce::Time::getMillisecondCounterHiRes();
        ASSERT_LE (before, reading);
        ASSERT_LE (reading, after);
    }
}

TEST (DemoThreadRealThread, SendsFullFrameThenOrderedQuarterFramesOverASecond)
{
    VirtualMidiDevices devices;
    devices.setOutputNames ({ "Thread Out" });
    auto log = devices.getOutputLog ("Thread Out");

    {
        DemoThread generator (devices);
        generator.startUp();
        ASSERT_TRUE (generator.midiOutputActive);
        EXPECT_EQ (generator.getThreadName(), "JUCE Demo Thread");

        std::atomic<bool> feeding { true };
        std::thread ltc (
            [&]
            {
                juce::int64 count = 86'400; // 01:00:00:00 at 24 fps
                while (feeding)
                {
                    generator.lastEvenLtcFrame = count;
                    generator.newLtcFrame.store (true, std::memory_order_release);
                    count += 2;
                    std::this_thread::sleep_for (std::chrono::microseconds (83'333));
                }
            });

        juce::MessageManager::getInstance()->runDispatchLoopUntil (1200);
        feeding = false;
        ltc.join();
        juce::MessageManager::getInstance()->runDispatchLoopUntil (400);
    }

    MtcReader reader;
    for (const auto& message : log->getSent())
        reader.feed (message.bytes);

    ASSERT_GE (reader.times.size(), 8u);
    EXPECT_TRUE (reader.times[0].fullFrame);
    EXPECT_EQ (reader.times[0].countAt (24), 86'402);
    EXPECT_EQ (reader.piecesOutOfOrder, 0);
    EXPECT_EQ (reader.otherMessages, 0);

    for (size_t i = 1; i < reader.times.size(); ++i)
    {
        EXPECT_FALSE (reader.times[i].fullFrame);
        EXPECT_EQ (reader.times[i].rateCode, 0);
        EXPECT_EQ (reader.times[i].countAt (24), 86'402 + 2 * (long long) i);
    }
}
