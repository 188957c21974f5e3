/*
    ZEM Quillbank - LTC to MTC converter and MIDI merger
    Copyright (C) 2026 ZEM. GPL-3.0-or-later.
*/

#include "ShowRun.h"

#include <algorithm>
#include <chrono>
#include <fstream>
#include <unistd.h>

juce::int64 decoderCountFor (const LtcTime& time, const ShowRates& rates)
{
    juce::int64 frames = time.frames;

    if (rates.inputRate == 30 && rates.outputRate == 24)
        frames = frames * 24 / 30;
    else if (rates.inputRate == 24 && rates.outputRate == 30)
        frames = frames * 30 / 24;

    auto count = (((juce::int64) time.hours * 60 + time.minutes) * 60 + time.seconds) * rates.outputRate + frames;

    if (rates.pullDown)
        count = (juce::int64) ((double) (count * rates.outputRate) / (rates.outputRate == 30 ? 29.97 : 23.976));

    return count;
}

//==============================================================================
LtcReference::LtcReference (ShowRates ratesToUse)
    : rates (ratesToUse)
{
}

void LtcReference::append (const LibLtcSignal& signal)
{
    const auto offset = (juce::int64) samples.size();
    samples.insert (samples.end(), signal.samples.begin(), signal.samples.end());

    for (const auto& written : signal.frames)
    {
        Frame frame;
        frame.firstSample = offset + (juce::int64) written.firstSample;
        frame.endSample = offset + (juce::int64) written.endSample;
        frame.count = decoderCountFor (written.time, rates);
        frame.time = written.time;
        frame.runStartSample = frame.firstSample;

        if (! frames.empty())
        {
            const auto& previous = frames.back();
            const auto step = frame.count - previous.count;
            frame.afterSilence = previous.endSample != frame.firstSample;
            frame.followsOn = ! frame.afterSilence && step >= 0 && step <= 3;

            if (frame.followsOn)
                frame.runStartSample = previous.runStartSample;
        }

        frames.push_back (frame);
    }
}

void LtcReference::appendSilence (juce::int64 numSamples)
{
    samples.insert (samples.end(), (size_t) numSamples, 0.0f);
}

const LtcReference::Frame* LtcReference::latestFrameAt (juce::int64 sample, bool looped) const
{
    if (samples.empty() || sample < 0)
        return nullptr;

    if (looped)
        sample %= (juce::int64) samples.size();

    const auto after = std::upper_bound (frames.begin(), frames.end(), sample,
                                         [] (juce::int64 s, const Frame& f) { return s < f.firstSample; });
    return after == frames.begin() ? nullptr : &*(after - 1);
}

const LtcReference::Frame* LtcReference::frameAt (juce::int64 sample, bool looped) const
{
    const auto* frame = latestFrameAt (sample, looped);

    if (frame == nullptr)
        return nullptr;

    const auto within = looped ? sample % (juce::int64) samples.size() : sample;
    return within < frame->endSample ? frame : nullptr;
}

//==============================================================================
LtcPlayback::LtcPlayback (const std::vector<float>& samplesToPlay, juce::int64 length, double sampleRate,
                          size_t maxDeliveries)
    : samples (samplesToPlay),
      lengthToPlay (length),
      samplesPerMs (sampleRate / 1000.0),
      deliveries (maxDeliveries)
{
}

LtcPlayback::~LtcPlayback()
{
    if (device != nullptr)
        device->setInputSource ({});
}

void LtcPlayback::start (TestAudioDeviceType& deviceToFeed)
{
    device = &deviceToFeed;
    device->setInputSource ([this] (float* block, int numSamples) { fill (block, numSamples); });
}

void LtcPlayback::fill (float* block, int numSamples)
{
    const auto n = numDeliveries.load (std::memory_order_relaxed);

    if (n < deliveries.size())
    {
        const auto now = juce::Time::getMillisecondCounterHiRes();
        auto sampleZeroMs = now - (double) (position + numSamples) / samplesPerMs;

        if (n > 0)
            sampleZeroMs = std::min (sampleZeroMs, deliveries[n - 1].sampleZeroMs);

        deliveries[n] = { position, numSamples, now, sampleZeroMs };
        numDeliveries.store (n + 1, std::memory_order_release);
    }

    const auto size = (juce::int64) samples.size();

    for (int i = 0; i < numSamples; ++i, ++position)
        block[i] = position < lengthToPlay && size > 0 ? samples[(size_t) (position % size)] : 0.0f;
}

size_t LtcPlayback::deliveriesSoFar() const
{
    return numDeliveries.load (std::memory_order_acquire);
}

juce::int64 LtcPlayback::samplesDelivered() const
{
    const auto n = deliveriesSoFar();
    return n == 0 ? 0 : deliveries[n - 1].firstSample + deliveries[n - 1].numSamples;
}

juce::int64 LtcPlayback::samplePlayingAt (double timeMs) const
{
    const auto begin = deliveries.begin(), end = begin + (std::ptrdiff_t) deliveriesSoFar();
    const auto after = std::upper_bound (begin, end, timeMs, [] (double t, const Delivery& d) { return t < d.timeMs; });

    if (after == begin)
        return -1;

    return (juce::int64) ((timeMs - (after - 1)->sampleZeroMs) * samplesPerMs);
}

double LtcPlayback::deliveryTimeOf (juce::int64 sample) const
{
    const auto begin = deliveries.begin(), end = begin + (std::ptrdiff_t) deliveriesSoFar();
    const auto holder = std::upper_bound (
        begin, end, sample, [] (juce::int64 s, const Delivery& d) { return s < d.firstSample + d.numSamples; });
    return holder == end ? 0.0 : holder->timeMs;
}

//==============================================================================
MergerFeeder::MergerFeeder (VirtualMidiDevices& devicesToFeed, juce::String input, MessageMaker maker,
                            double burstsPerSecond, int messagesPerBurst, size_t timesToKeep)
    : devices (devicesToFeed),
      inputName (std::move (input)),
      makeMessage (std::move (maker)),
      intervalMs (1000.0 / burstsPerSecond),
      burstSize (messagesPerBurst)
{
    feedTimesMs.reserve (timesToKeep);
}

MergerFeeder::~MergerFeeder()
{
    stop();
}

void MergerFeeder::start()
{
    running = true;
    thread = std::thread (
        [this]
        {
            juce::Thread::setCurrentThreadName ("MIDI Feeder");
            run();
        });
}

void MergerFeeder::stop()
{
    running = false;

    if (thread.joinable())
        thread.join();
}

void MergerFeeder::run()
{
    using Clock = std::chrono::steady_clock;
    const auto startTime = Clock::now();
    const std::chrono::duration<double, std::milli> interval (intervalMs);

    for (juce::int64 burst = 0; running; ++burst)
    {
        std::this_thread::sleep_until (startTime
                                       + std::chrono::duration_cast<Clock::duration> (interval * (double) burst));

        for (int i = 0; i < burstSize; ++i)
        {
            const auto message = makeMessage (fed.load());

            if (feedTimesMs.size() < feedTimesMs.capacity())
                feedTimesMs.push_back (juce::Time::getMillisecondCounterHiRes());

            if (devices.feed (inputName, message))
                ++delivered;

            ++fed;
        }
    }
}

juce::MidiMessage mergedTestMessage (juce::int64 n)
{
    const auto channel = (int) (n % 16) + 1;
    const auto key = (int) (n % 128);

    switch (n % 4)
    {
        case 0: return juce::MidiMessage::noteOn (channel, key, (juce::uint8) (1 + n % 127));
        case 1: return juce::MidiMessage::noteOff (channel, key, (juce::uint8) 0x40);
        case 2: return juce::MidiMessage::controllerEvent (channel, key, (int) ((n / 3) % 128));
        default: return juce::MidiMessage::pitchWheel (channel, (int) (n % 16384));
    }
}

std::vector<juce::uint8> expectedForwardedBytes (juce::int64 n, int destinationChannel)
{
    const auto channelBits = (juce::uint8) (destinationChannel - 1);
    const auto key = (juce::uint8) (n % 128);

    switch (n % 4)
    {
        case 0: return { (juce::uint8) (0x90 | channelBits), key, (juce::uint8) (1 + n % 127) };
        case 1: return { (juce::uint8) (0x80 | channelBits), key, 0x40 };
        case 2: return { (juce::uint8) (0x90 | channelBits), key, (juce::uint8) ((n / 3) % 128) };
        default:
            return { (juce::uint8) (0xe0 | channelBits), (juce::uint8) (n % 16384 & 0x7f),
                     (juce::uint8) ((n % 16384) >> 7) };
    }
}

//==============================================================================
MtcCollector::MtcCollector (int rate)
    : outputRate (rate)
{
}

bool MtcCollector::take (const VirtualMidiOutputLog::SentMessage& message)
{
    const auto& bytes = message.bytes;
    const bool quarterFrame = bytes.size() == 2 && bytes[0] == 0xf1;
    const bool fullFrame =
        bytes.size() == 10 && bytes[0] == 0xf0 && bytes[1] == 0x7f && bytes[3] == 0x01 && bytes[4] == 0x01;

    if (! quarterFrame && ! fullFrame)
        return false;

    if (quarterFrame)
    {
        ++quarterFrames;

        if (keepSpacings && lastQuarterFrameMs >= 0)
            quarterFrameSpacingsMs.push_back (message.timeMs - lastQuarterFrameMs);

        lastQuarterFrameMs = message.timeMs;

        if ((bytes[1] >> 4) == 0)
            pieceZeroMs = message.timeMs;
    }

    if (reader.feed (bytes, message.timeMs))
    {
        const auto& time = reader.times.back();

        if (time.fullFrame)
            fullFrames.push_back (time);
        else
            blocks.push_back ({ pieceZeroMs, time.countAt (outputRate), time.rateCode });

        reader.times.clear();
    }

    return true;
}

//==============================================================================
Percentiles percentilesOf (std::vector<double> values)
{
    if (values.empty())
        return {};

    std::sort (values.begin(), values.end());
    return { values[values.size() / 2], values[(size_t) ((double) (values.size() - 1) * 0.99)], values.back() };
}

std::vector<double> latenessAgainstSchedule (const std::vector<VirtualMidiOutputLog::HandedBlock>& blocks,
                                             int outputRate, juce::int64 blocksBefore)
{
    const int steps24[] = { 83, 83, 84 }, steps30[] = { 67, 67, 66 };
    const int* steps = outputRate == 30 ? steps30 : steps24;
    std::vector<double> lateness;
    double scheduled = blocks.empty() ? 0 : blocks.front().startMs;

    for (size_t i = 0; i < blocks.size(); ++i)
    {
        lateness.push_back (blocks[i].startMs - scheduled);
        scheduled += steps[(blocksBefore + (juce::int64) i) % 3];
    }

    if (! lateness.empty())
    {
        const auto earliest = *std::min_element (lateness.begin(), lateness.end());

        for (auto& late : lateness)
            late -= earliest;
    }

    return lateness;
}

double residentBytes()
{
    long pages = 0, resident = 0;
    std::ifstream ("/proc/self/statm") >> pages >> resident;
    return (double) resident * (double) sysconf (_SC_PAGESIZE);
}
