/*
    ZEM Quillbank - LTC to MTC converter and MIDI merger
    Copyright (C) 2026 ZEM. GPL-3.0-or-later.
*/

#pragma once

#include <juce_audio_devices/juce_audio_devices.h>

#include <functional>
#include <memory>
#include <vector>

/** An audio device type named "Test" with one device, "Test LTC Input": one input channel and
    no or two output channels. Its open device runs a thread of its own that calls the started
    callback in real time, block by block, with the input filled from a source that the test
    sets (silence when none is set or a sample vector has been played out).

    Add it to an AudioDeviceManager with addAudioDeviceType before initialise; the manager then
    opens and runs it as it would a hardware device.
*/
class TestAudioDeviceType final : public juce::AudioIODeviceType
{
public:
    /** Fills the input channel's block of this many samples; called on the device's thread. */
    using InputSource = std::function<void (float*, int)>;

    static constexpr const char* deviceName = "Test LTC Input";

    explicit TestAudioDeviceType (int numOutputChannels = 0);
    ~TestAudioDeviceType() override;

    /** Feeds the input from this function, from the next block on. */
    void setInputSource (InputSource source);

    /** Feeds the input with these samples from the next block on, once or over and over. */
    void setInputSamples (std::vector<float> samples, bool loop);

    /** The input latency that the device reports. */
    void setInputLatency (int samples);

    /** Blocks delivered by the devices of this type so far. */
    juce::int64 getBlocksDelivered() const;

    void scanForDevices() override;
    juce::StringArray getDeviceNames (bool wantInputNames) const override;
    int getDefaultDeviceIndex (bool forInput) const override;
    int getIndexOfDevice (juce::AudioIODevice* device, bool asInput) const override;
    bool hasSeparateInputsAndOutputs() const override;
    juce::AudioIODevice* createDevice (const juce::String& outputDeviceName,
                                       const juce::String& inputDeviceName) override;

    /** What the type shares with the devices it creates. */
    struct Shared;

private:
    std::shared_ptr<Shared> shared;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (TestAudioDeviceType)
};
