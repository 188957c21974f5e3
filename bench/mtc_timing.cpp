/*
    ZEM Quillbank - LTC to MTC converter and MIDI merger
    Copyright (C) 2026 ZEM. GPL-3.0-or-later.

    Runs the real generator thread over a virtual output for 10 s at 24 and at 30 fps, fed with
    even frames as LTC would feed it, and prints the quarter-frame spacing error, the gaps
    between blocks, the block lateness against the schedule and the CPU time used, next to a
    bare loop that waits 1 ms and then takes the message-thread lock for an empty pass, as the
    generator's loop does: the floor of a design that locks every pass.

    It also prints where the monotonic clock stands and every step of the wall clock it saw
    during each run, so that a run in a time namespace or under a faked wall clock
    (bench/clock_faults.sh) shows that the clocks really were as intended.
*/

#include "CpuClocks.h"
#include "engine/DemoThread.h"
#include "platform/VirtualMidiDevices.h"
#include "support/ShowRun.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace
{
constexpr int runSeconds = 10;

/** The generator's loop with an empty pass: it waits 1 ms, then takes the message-thread lock
    and counts the pass. What it costs is the floor under what the generator costs.
*/
class BareLockLoop final : public juce::Thread
{
public:
    BareLockLoop()
        : juce::Thread ("Bare Lock Loop")
    {
    }

    void run() override
    {
        while (! threadShouldExit())
        {
            wait (1);

            const juce::MessageManagerLock lock (this);

            if (! lock.lockWasGained())
                return;

            ++passes;
        }
    }

    std::atomic<long> passes { 0 };
};

/** Watches the wall clock against the monotonic clock while it lives, and tells the steps of
    the wall clock it saw and the largest step of the monotonic one between two readings.
*/
class ClockWatch
{
public:
    ClockWatch()
        : watcher ([this] { watch(); })
    {
    }

    ~ClockWatch()
    {
        watching = false;

        if (watcher.joinable())
            watcher.join();
    }

    std::string describe()
    {
        watching = false;

        if (watcher.joinable())
            watcher.join();

        std::string text = "wall clock steps seen: " + std::to_string (wallSteps.size());

        for (const auto step : wallSteps)
            text += (step > 0 ? " +" : " ") + std::to_string (step) + " ms";

        return text + "; largest monotonic step between readings " + std::to_string ((int) largestMonotonicStepMs)
             + " ms";
    }

private:
    void watch()
    {
        auto lastWall = juce::Time::currentTimeMillis();
        auto lastMonotonic = juce::Time::getMillisecondCounterHiRes();

        while (watching)
        {
            std::this_thread::sleep_for (std::chrono::milliseconds (2));
            const auto wall = juce::Time::currentTimeMillis();
            const auto monotonic = juce::Time::getMillisecondCounterHiRes();
            const auto drift = (double) (wall - lastWall) - (monotonic - lastMonotonic);

            if (std::abs (drift) > 500.0)
                wallSteps.push_back ((int) std::lround (drift));

            largestMonotonicStepMs = std::max (largestMonotonicStepMs, monotonic - lastMonotonic);
            lastWall = wall;
            lastMonotonic = monotonic;
        }
    }

    std::atomic<bool> watching { true };
    std::vector<int> wallSteps;
    double largestMonotonicStepMs = 0;
    std::thread watcher;
};

void printClocks()
{
    const auto monotonicMs = juce::Time::getMillisecondCounterHiRes();
    std::printf ("monotonic clock at %.3f s (%s 2^32 ms), 32-bit millisecond counter at %u ms\n", monotonicMs / 1000.0,
                 monotonicMs >= 4294967296.0 ? "past" : "below", juce::Time::getMillisecondCounter());
}

/** Runs the message loop and returns for how long it ran, in seconds of the monotonic clock:
    the framework's dispatch loop times itself on the wall clock, which a step lengthens or
    shortens.
*/
double runMessageLoopFor (int seconds)
{
    const auto startMs = juce::Time::getMillisecondCounterHiRes();
    juce::MessageManager::getInstance()->runDispatchLoopUntil (seconds * 1000);
    return (juce::Time::getMillisecondCounterHiRes() - startMs) / 1000.0;
}

double measureBareLoop()
{
    BareLockLoop loop;
    const auto cpuBefore = processCpuSeconds();
    loop.startThread();
    const auto ranSeconds = runMessageLoopFor (runSeconds);
    loop.stopThread (2000);
    const auto cpu = processCpuSeconds() - cpuBefore;
    std::printf ("bare lock loop: %.1f passes/s, process CPU %.2f%% of one core\n", (double) loop.passes / ranSeconds,
                 100.0 * cpu / ranSeconds);
    return cpu / ranSeconds;
}

void measureGenerator (int frameRate, double bareLoopCpu)
{
    VirtualMidiDevices devices;
    devices.setOutputNames ({ "Bench Out" });
    auto log = devices.getOutputLog ("Bench Out");

    const auto cpuBefore = processCpuSeconds();
    double generatorCpu = 0, ranSeconds = 0;
    ClockWatch clockWatch;

    {
        DemoThread generator (devices);
        generator.outputFrameRate = frameRate;
        generator.inputFrameRate = frameRate;
        generator.startUp();

        std::atomic<bool> feeding { true };
        std::thread ltc (
            [&]
            {
                const auto framePeriod = std::chrono::duration<double> (2.0 / frameRate);
                auto next = std::chrono::steady_clock::now();
                juce::int64 count = 3600LL * frameRate;

                while (feeding)
                {
                    generator.lastEvenLtcFrame = count;
                    generator.newLtcFrame.store (true, std::memory_order_release);
                    count += 2;
                    next += std::chrono::duration_cast<std::chrono::steady_clock::duration> (framePeriod);
                    std::this_thread::sleep_until (next);
                }
            });

        ranSeconds = runMessageLoopFor (runSeconds);
        generatorCpu = threadCpuSeconds (generator);
        feeding = false;
        ltc.join();
    }

    const auto processCpu = (processCpuSeconds() - cpuBefore) / ranSeconds;

    const auto clocks = clockWatch.describe();

    // Spacing of consecutive quarter frames, across blocks too, and the gaps between the
    // first pieces of consecutive blocks as they left.
    const double ideal = 1000.0 / (4.0 * frameRate);
    std::vector<double> spacingErrors, withinBlock, acrossBlocks, blockGaps;
    double previous = -1, previousPieceZero = -1;

    for (const auto& message : log->getSent())
    {
        if (message.bytes.size() != 2)
            continue;

        if (previous >= 0)
        {
            const auto error = std::abs (message.timeMs - previous - ideal);
            spacingErrors.push_back (error);
            // Piece 0 opens a block: its gap to the previous piece 7 follows the block schedule.
            ((message.bytes[1] >> 4) == 0 ? acrossBlocks : withinBlock).push_back (error);
        }

        if ((message.bytes[1] >> 4) == 0)
        {
            if (previousPieceZero >= 0)
                blockGaps.push_back (message.timeMs - previousPieceZero);

            previousPieceZero = message.timeMs;
        }

        previous = message.timeMs;
    }

    // Lateness of each hand-over against the block schedule that the first one started.
    const auto blocks = log->getBlocks();
    const auto lateness = latenessAgainstSchedule (blocks, frameRate);

    const auto spacing = percentilesOf (spacingErrors);
    const auto inside = percentilesOf (withinBlock);
    const auto across = percentilesOf (acrossBlocks);
    const auto late = percentilesOf (lateness);
    const auto gaps = percentilesOf (blockGaps);
    const auto longGaps = std::count_if (blockGaps.begin(), blockGaps.end(), [] (double gap) { return gap > 200.0; });
    std::printf ("\n%d fps: %zu quarter frames in %zu blocks over %.1f s\n", frameRate, spacingErrors.size() + 1,
                 blocks.size(), ranSeconds);
    std::printf ("  quarter-frame spacing error vs %.2f ms: median %.3f ms, p99 %.3f ms, max %.3f ms\n", ideal,
                 spacing.median, spacing.p99, spacing.max);
    std::printf (
        "    within a block: median %.3f ms, p99 %.3f ms; from one block to the next: median %.3f ms, p99 %.3f ms\n",
        inside.median, inside.p99, across.median, across.p99);
    std::printf ("  block-to-block gap: median %.3f ms, p99 %.3f ms, max %.3f ms; gaps over 200 ms: %ld\n", gaps.median,
                 gaps.p99, gaps.max, (long) longGaps);
    std::printf ("  block lateness vs schedule: median %.3f ms, p99 %.3f ms, max %.3f ms\n", late.median, late.p99,
                 late.max);
    std::printf ("  generator thread CPU %.2f%% of one core; process CPU %.2f%%; process vs bare loop %.2fx\n",
                 100.0 * generatorCpu / ranSeconds, 100.0 * processCpu, processCpu / bareLoopCpu);
    std::printf ("  %s\n", clocks.c_str());
}
} // namespace

int main()
{
    const juce::ScopedJuceInitialiser_GUI juce;
    printClocks();
    const auto bareLoopCpu = measureBareLoop();
    measureGenerator (24, bareLoopCpu);
    measureGenerator (30, bareLoopCpu);
    return 0;
}
