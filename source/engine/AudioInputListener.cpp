/*
    ZEM Quillbank - LTC to MTC converter and MIDI merger
    Copyright (C) 2026 ZEM. GPL-3.0-or-later.
*/

#include "AudioInputListener.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#if defined(__SSE2__)
 #include <emmintrin.h>
 #define QUILLBANK_SSE2_MASKS 1
#else
 #define QUILLBANK_SSE2_MASKS 0
#endif

namespace
{
/*  The samples are examined 32 at a time as bit masks (bit i for sample i), so that the
    crossing rule costs a few word operations per chunk instead of several branches per
    sample. Samples that are zero or not a number are in none of the masks, which is exactly
    how the rule treats them: they change nothing but the count.
*/
constexpr int chunkSize = 32;
constexpr juce::int64 countCeiling = std::numeric_limits<int>::max();

struct ChunkMasks
{
    juce::uint32 positive = 0; ///< 10 x sample > 0
    juce::uint32 negative = 0; ///< 10 x sample < 0
    juce::uint32 loud = 0;     ///< |10 x sample| >= 1
};

#if QUILLBANK_SSE2_MASKS
inline juce::uint32 maskOf16 (__m128 a, __m128 b, __m128 c, __m128 d) noexcept
{
    const auto words = _mm_packs_epi32 (_mm_castps_si128 (a), _mm_castps_si128 (b));
    const auto moreWords = _mm_packs_epi32 (_mm_castps_si128 (c), _mm_castps_si128 (d));
    return (juce::uint32) _mm_movemask_epi8 (_mm_packs_epi16 (words, moreWords));
}

inline ChunkMasks classifySixteen (const float* samples) noexcept
{
    const auto ten = _mm_set1_ps (10.0f);
    const auto zero = _mm_setzero_ps();
    const auto one = _mm_set1_ps (1.0f);
    const auto magnitude = _mm_castsi128_ps (_mm_set1_epi32 (0x7fffffff));

    const auto a = _mm_mul_ps (_mm_loadu_ps (samples), ten);
    const auto b = _mm_mul_ps (_mm_loadu_ps (samples + 4), ten);
    const auto c = _mm_mul_ps (_mm_loadu_ps (samples + 8), ten);
    const auto d = _mm_mul_ps (_mm_loadu_ps (samples + 12), ten);

    return { maskOf16 (_mm_cmpgt_ps (a, zero), _mm_cmpgt_ps (b, zero), _mm_cmpgt_ps (c, zero), _mm_cmpgt_ps (d, zero)),
             maskOf16 (_mm_cmplt_ps (a, zero), _mm_cmplt_ps (b, zero), _mm_cmplt_ps (c, zero), _mm_cmplt_ps (d, zero)),
             maskOf16 (_mm_cmpge_ps (_mm_and_ps (a, magnitude), one), _mm_cmpge_ps (_mm_and_ps (b, magnitude), one),
                       _mm_cmpge_ps (_mm_and_ps (c, magnitude), one), _mm_cmpge_ps (_mm_and_ps (d, magnitude), one)) };
}

inline ChunkMasks classifyChunk (const float* samples) noexcept
{
    const auto low = classifySixteen (samples);
    const auto high = classifySixteen (samples + 16);
    return { low.positive | (high.positive << 16), low.negative | (high.negative << 16), low.loud | (high.loud << 16) };
}
#else
ChunkMasks classifyChunk (const float* samples) noexcept
{
    ChunkMasks masks;

    for (int i = 0; i < chunkSize; ++i)
    {
        const float v = 10.0f * samples[i];
        const auto bit = (juce::uint32) 1 << i;
        masks.positive |= v > 0.0f ? bit : 0u;
        masks.negative |= v < 0.0f ? bit : 0u;
        masks.loud |= std::abs (v) >= 1.0f ? bit : 0u;
    }

    return masks;
}
#endif

/** Bit i is set when some seed at or below i reaches i through bits that all pass. */
inline juce::uint32 fillUpward (juce::uint32 seeds, juce::uint32 pass) noexcept
{
    seeds |= pass & (seeds << 1);
    pass &= pass << 1;
    seeds |= pass & (seeds << 2);
    pass &= pass << 2;
    seeds |= pass & (seeds << 4);
    pass &= pass << 4;
    seeds |= pass & (seeds << 8);
    pass &= pass << 8;
    return seeds | (pass & (seeds << 16));
}

/** Whether a half-wave is armed after each sample: armed by its loud samples, disarmed by
    every sample of the other sign; the state carried in lasts up to the first such sample.
*/
inline juce::uint32 armedAfter (juce::uint32 loudSameSign, juce::uint32 otherSign, bool armedBefore) noexcept
{
    const auto carried = (0u - (juce::uint32) armedBefore) & ((otherSign & (0u - otherSign)) - 1u);
    return fillUpward (loudSameSign, ~otherSign) | carried;
}

inline int lowestBit (juce::uint32 word) noexcept
{
    return __builtin_ctz (word);
}

inline int highestBit (juce::uint32 word) noexcept
{
    return 31 - __builtin_clz (word);
}

int truncatedPeak (float extreme) noexcept
{
    // Truncation toward zero, held inside the field's range for huge or infinite samples.
    if (extreme >= 2147483648.0f)
        return std::numeric_limits<int>::max();

    if (extreme <= -2147483648.0f)
        return std::numeric_limits<int>::min();

    return (int) extreme;
}

int truncatedLimit (double samples) noexcept
{
    return (int) juce::jlimit (0.0, (double) std::numeric_limits<int>::max(), samples);
}
} // namespace

//==============================================================================
AudioInputListener::AudioInputListener (MidiDevices& devices, GeneratorClock& clock)
    : mtcThread (devices, clock)
{
    mtcThread.startUp();
}

AudioInputListener::~AudioInputListener() = default;

void AudioInputListener::audioDeviceAboutToStart (juce::AudioIODevice* device)
{
    mtcThread.raisePriority();

    if (device == nullptr)
        return;

    resyncThreshold = std::max (5, (5 * device->getCurrentBufferSizeSamples()) / 512);

    const double r = device->getCurrentSampleRate() / 48000.0;
    const auto rate = mtcThread.inputFrameRate.load();

    if (rate == 30)
    {
        shortMinSamples = truncatedLimit (5 * r);
        shortMaxSamples = truncatedLimit (13 * r);
        longMinSamples = truncatedLimit (15 * r);
    }
    else if (rate == 24)
    {
        shortMinSamples = truncatedLimit (6 * r);
        shortMaxSamples = truncatedLimit (16 * r);
        longMinSamples = truncatedLimit (19 * r);
    }
}

void AudioInputListener::audioDeviceStopped() {}

void AudioInputListener::audioDeviceIOCallbackWithContext (const float* const* inputChannelData, int numInputChannels,
                                                           float* const* outputChannelData, int numOutputChannels,
                                                           int numSamples, const juce::AudioIODeviceCallbackContext&)
{
    if (numSamples <= 0)
        return;

    const float* input = nullptr;

    if (inputChannelData != nullptr && inputChannel >= 0 && inputChannel < numInputChannels)
        input = inputChannelData[inputChannel];

    if (input != nullptr)
        decodeSamples (input, numSamples);
    else
        countSilence (numSamples);

    if (outputChannelData != nullptr)
        for (int channel = 0; channel < numOutputChannels; ++channel)
            if (outputChannelData[channel] != nullptr)
                juce::FloatVectorOperations::clear (outputChannelData[channel], numSamples);
}

void AudioInputListener::countSilence (int numSamples) noexcept
{
    samplesSinceCrossing = (int) std::min (countCeiling, (juce::int64) samplesSinceCrossing + numSamples);
}

void AudioInputListener::decodeSamples (const float* samples, int numSamples)
{
    // The timing state lives in locals for the block; bits wait in a small queue and go to
    // addBit in arrival order, so that the crossing loop has no call in it.
    juce::int64 sinceCrossing = samplesSinceCrossing;
    bool halfBit = halfBitPending;
    bool positiveArmed = positivePeak > 0;
    bool negativeArmed = negativePeak < 0;
    const juce::int64 shortMin = shortMinSamples, shortMax = shortMaxSamples, longMin = longMinSamples;

    juce::uint64 queuedBits = 0;
    int numQueued = 0;
    int lastPositive = -1, lastNegative = -1;

    const auto flushBits = [&]
    {
        for (int k = 0; k < numQueued; ++k)
            addBit ((unsigned char) ((queuedBits >> k) & 1));

        queuedBits = 0;
        numQueued = 0;
    };

    float tail[chunkSize];

    for (int start = 0; start < numSamples; start += chunkSize)
    {
        const int length = std::min (chunkSize, numSamples - start);
        const float* chunk = samples + start;

        if (length < chunkSize)
        {
            std::fill (std::begin (tail), std::end (tail), 0.0f);
            std::memcpy (tail, chunk, sizeof (float) * (size_t) length);
            chunk = tail;
        }

        const auto masks = classifyChunk (chunk);
        const auto positiveState = armedAfter (masks.loud & masks.positive, masks.negative, positiveArmed);
        const auto negativeState = armedAfter (masks.loud & masks.negative, masks.positive, negativeArmed);
        const auto positiveBefore = (positiveState << 1) | (juce::uint32) positiveArmed;
        const auto negativeBefore = (negativeState << 1) | (juce::uint32) negativeArmed;
        positiveArmed = (positiveState >> 31) != 0;
        negativeArmed = (negativeState >> 31) != 0;

        if (masks.positive != 0)
            lastPositive = start + highestBit (masks.positive);

        if (masks.negative != 0)
            lastNegative = start + highestBit (masks.negative);

        for (auto counted = (masks.negative & positiveBefore) | (masks.positive & negativeBefore); counted != 0;
             counted &= counted - 1)
        {
            const int t = lowestBit (counted);
            const auto n = sinceCrossing + t + 1;
            const bool isHalf = (n > shortMin) & (n < shortMax);
            const bool isZero = ! isHalf & (n > longMin);
            const bool isOne = isHalf & halfBit;
            halfBit = halfBit != isHalf;
            queuedBits |= (juce::uint64) isOne << numQueued;
            numQueued += (int) (isOne | isZero);
            sinceCrossing = -(juce::int64) (t + 1);
        }

        sinceCrossing = std::min (countCeiling, sinceCrossing + length);

        if (numQueued > 64 - chunkSize)
            flushBits();
    }

    flushBits();

    samplesSinceCrossing = (int) sinceCrossing;
    halfBitPending = halfBit;

    // The peaks belong to the half-wave in progress, which starts after the last sample of
    // the other sign; one that began in an earlier block continues from the stored peak.
    if (lastPositive > lastNegative)
    {
        float peak = 0.0f;

        for (int i = lastNegative + 1; i <= lastPositive; ++i)
            peak = std::max (peak, 10.0f * samples[i]);

        positivePeak = lastNegative < 0 ? std::max (positivePeak, truncatedPeak (peak)) : truncatedPeak (peak);
        negativePeak = 0;
    }
    else if (lastNegative > lastPositive)
    {
        float peak = 0.0f;

        for (int i = lastPositive + 1; i <= lastNegative; ++i)
            peak = std::min (peak, 10.0f * samples[i]);

        negativePeak = lastPositive < 0 ? std::min (negativePeak, truncatedPeak (peak)) : truncatedPeak (peak);
        positivePeak = 0;
    }
}

void AudioInputListener::addBit (unsigned char bit)
{
    // The register as a 64-bit and a 16-bit word, byte 0 lowest, so that a shift is two steps.
    juce::uint64 low;
    juce::uint16 high;
    std::memcpy (&low, ltcBits.data(), sizeof (low));
    std::memcpy (&high, ltcBits.data() + 8, sizeof (high));
    low = juce::ByteOrder::swapIfBigEndian (low);
    high = juce::ByteOrder::swapIfBigEndian (high);

    low = (low >> 1) | ((juce::uint64) (high & 1) << 63);
    high = (juce::uint16) ((high >> 1) | ((bit & 1) << 15));

    low = juce::ByteOrder::swapIfBigEndian (low);
    std::memcpy (ltcBits.data(), &low, sizeof (low));
    ltcBits[8] = (juce::uint8) (high & 0xff);
    ltcBits[9] = (juce::uint8) (high >> 8);

    if (high != 0xbffc)
        return;

    auto frames = (juce::uint32) (10 * (ltcBits[1] & 0x03) + (ltcBits[0] & 0x0f));
    const auto seconds = (juce::uint32) (10 * (ltcBits[3] & 0x07) + (ltcBits[2] & 0x0f));
    const auto minutes = (juce::uint32) (10 * (ltcBits[5] & 0x07) + (ltcBits[4] & 0x0f));
    const auto hours = (juce::uint32) (10 * (ltcBits[7] & 0x03) + (ltcBits[6] & 0x0f));

    const auto inputRate = mtcThread.inputFrameRate.load (std::memory_order_relaxed);
    const auto outputRate = mtcThread.outputFrameRate.load (std::memory_order_relaxed);

    if (inputRate == 30 && outputRate == 24)
        frames = (frames * 24) / 30;
    else if (inputRate == 24 && outputRate == 30)
        frames = (frames * 30) / 24;

    const auto rate = (juce::uint32) outputRate;
    const auto frameCount = hours * 3600 * rate + minutes * 60 * rate + seconds * rate + frames;
    auto count = (juce::int64) frameCount + frameOffset.load (std::memory_order_relaxed);

    if (pullDownInput.load (std::memory_order_relaxed))
    {
        // Formed in 64 bits: the same product for every count a frame can give, and no
        // overflow for an offset far outside the slider's range.
        const auto product = count * outputRate;
        const double divisor = outputRate == 30 ? 29.97 : 23.976;
        count = (juce::int64) ((double) product / divisor);
    }

    ltcBits.fill (0);

    if (frameWatcher != nullptr)
        frameWatcher->frameCounted (count);

    if ((count & 1) != 0)
        return;

    mtcThread.lastEvenLtcFrame.store (count, std::memory_order_relaxed);

    const auto position = mtcThread.mtcPosition.load (std::memory_order_relaxed);

    if (position <= count && count < position + 3)
        mismatchCount = 0;
    else
        ++mismatchCount;

    if (mismatchCount > resyncThreshold)
    {
        mtcThread.jumpTo (count);
        mismatchCount = 0;
    }

    mtcThread.newLtcFrame.store (true, std::memory_order_release);
}
