/*
    ZEM Quillbank - LTC to MTC converter and MIDI merger
    Copyright (C) 2026 ZEM. GPL-3.0-or-later.
*/

#pragma once

#include "DemoThread.h"

#include <juce_gui_basics/juce_gui_basics.h>

#include <array>
#include <atomic>

/** The LTC decoder: the audio callback that reads one input channel, turns the intervals
    between its zero crossings into biphase-mark bits, assembles 80-bit frames and hands the
    even frame positions to the MTC generator that it owns.

    A sign change counts as a crossing only when the half-wave that it ends reached 0.1 of
    full scale; a long interval is a 0 bit, two short ones make a 1 bit.
*/
class AudioInputListener : public juce::AudioIODeviceCallback
{
public:
    /** Is told of every frame count the decoder forms, odd or even, on the audio thread.
        Meant for tests and diagnostics; set it only while no device calls the listener.
    */
    class FrameWatcher
    {
    public:
        virtual ~FrameWatcher() = default;

        /** A frame was recognised and gave this count at the output rate. */
        virtual void frameCounted (juce::int64 count) = 0;
    };

    /** Builds the decoder and its generator, then starts the generator (thread and output 0). */
    explicit AudioInputListener (MidiDevices& devices, GeneratorClock& clock = GeneratorClock::system());

    /** Stops the generator; the listener must no longer be registered with a device. */
    ~AudioInputListener() override;

    /** Decodes one block of the input channel and silences every output channel. */
    void audioDeviceIOCallbackWithContext (const float* const* inputChannelData, int numInputChannels,
                                           float* const* outputChannelData, int numOutputChannels, int numSamples,
                                           const juce::AudioIODeviceCallbackContext& context) override;

    /** Raises the generator's priority and sets the interval limits and the resynchronisation
        threshold for the device's sample rate, buffer size and the current input frame rate.
    */
    void audioDeviceAboutToStart (juce::AudioIODevice* device) override;

    /** Keeps all decoding state as it is. */
    void audioDeviceStopped() override;

    /** Shifts one bit (0 or 1) into the frame register; a completed sync word turns the
        register into a frame count, and even counts are handed to the generator.
    */
    void addBit (unsigned char bit);

    //==============================================================================
    std::atomic<int> frameOffset { 0 };
    juce::Label timecodeLabel;
    bool halfBitPending = false;
    int samplesSinceCrossing = 0;
    int positivePeak = 0;
    int negativePeak = 0;
    std::atomic<bool> pullDownInput { false };
    std::array<juce::uint8, 10> ltcBits { { 0x08, 0, 0, 0, 0, 0, 0, 0, 0, 0x01 } };
    int shortMinSamples = 0;
    int shortMaxSamples = 0;
    int longMinSamples = 0;
    int resyncThreshold = 3;
    int mismatchCount = 0;
    DemoThread mtcThread;
    int inputChannel = 0;
    FrameWatcher* frameWatcher = nullptr;

private:
    void decodeSamples (const float* samples, int numSamples);
    void countSilence (int numSamples) noexcept;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (AudioInputListener)
};
