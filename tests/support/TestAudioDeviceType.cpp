/*
    ZEM Quillbank - LTC to MTC converter and MIDI merger
    Copyright (C) 2026 ZEM. GPL-3.0-or-later.
*/

#include "TestAudioDeviceType.h"

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <utility>

struct TestAudioDeviceType::Shared
{
    int numOutputChannels = 0;
    std::atomic<int> inputLatency { 0 };
    std::atomic<juce::int64> blocksDelivered { 0 };

    std::mutex sourceLock;
    InputSource source;

    void fillInput (float* block, int numSamples)
    {
        const std::lock_guard<std::mutex> guard (sourceLock);

        if (source)
            source (block, numSamples);
        else
            juce::FloatVectorOperations::clear (block, numSamples);
    }
};

namespace
{
class TestAudioDevice final : public juce::AudioIODevice
{
public:
    explicit TestAudioDevice (std::shared_ptr<TestAudioDeviceType::Shared> sharedState)
        : juce::AudioIODevice (TestAudioDeviceType::deviceName, "Test"),
          shared (std::move (sharedState))
    {
    }

    ~TestAudioDevice() override { close(); }

    juce::StringArray getOutputChannelNames() override
    {
        return shared->numOutputChannels == 2 ? juce::StringArray { "Left", "Right" } : juce::StringArray();
    }

    juce::StringArray getInputChannelNames() override { return { "LTC" }; }
    juce::Array<double> getAvailableSampleRates() override { return { 44100.0, 48000.0, 96000.0 }; }
    juce::Array<int> getAvailableBufferSizes() override { return { 64, 128, 256, 512, 1024, 2048, 4096 }; }
    int getDefaultBufferSize() override { return 512; }

    juce::String open (const juce::BigInteger& inputChannels, const juce::BigInteger& outputChannels, double sampleRate,
                       int bufferSizeSamples) override
    {
        close();
        activeInputs = inputChannels;
        activeInputs.setRange (1, juce::jmax (0, activeInputs.getHighestBit()), false);
        activeOutputs = outputChannels;
        activeOutputs.setRange (shared->numOutputChannels, juce::jmax (0, activeOutputs.getHighestBit() + 1), false);
        currentSampleRate = sampleRate > 0 ? sampleRate : 48000.0;
        currentBufferSize = bufferSizeSamples > 0 ? bufferSizeSamples : getDefaultBufferSize();
        input.assign ((size_t) currentBufferSize, 0.0f);
        outputs.assign ((size_t) activeOutputs.countNumberOfSetBits(), std::vector<float> ((size_t) currentBufferSize));
        opened = true;
        return {};
    }

    void close() override
    {
        stop();
        opened = false;
    }

    bool isOpen() override { return opened; }

    void start (juce::AudioIODeviceCallback* newCallback) override
    {
        if (! opened || newCallback == nullptr)
            return;

        stop();
        newCallback->audioDeviceAboutToStart (this);

        callback = newCallback;
        running = true;
        thread = std::thread (
            [this]
            {
                juce::Thread::setCurrentThreadName ("Test Audio");
                run();
            });
    }

    void stop() override
    {
        if (! thread.joinable())
            return;

        running = false;
        thread.join();

        // The thread has ended, so the callback can be told at once and dropped.
        std::exchange (callback, nullptr)->audioDeviceStopped();
    }

    bool isPlaying() override { return running; }
    juce::String getLastError() override { return {}; }
    int getCurrentBufferSizeSamples() override { return currentBufferSize; }
    double getCurrentSampleRate() override { return currentSampleRate; }
    int getCurrentBitDepth() override { return 32; }
    juce::BigInteger getActiveOutputChannels() const override { return activeOutputs; }
    juce::BigInteger getActiveInputChannels() const override { return activeInputs; }
    int getOutputLatencyInSamples() override { return 0; }
    int getInputLatencyInSamples() override { return shared->inputLatency; }

private:
    void run()
    {
        using Clock = std::chrono::steady_clock;
        const auto startTime = Clock::now();
        const std::chrono::duration<double> blockDuration (currentBufferSize / currentSampleRate);

        std::vector<const float*> inputPointers;
        std::vector<float*> outputPointers;

        if (! activeInputs.isZero())
            inputPointers.push_back (input.data());

        for (auto& channel : outputs)
            outputPointers.push_back (channel.data());

        for (juce::int64 block = 0; running; ++block)
        {
            std::this_thread::sleep_until (
                startTime + std::chrono::duration_cast<Clock::duration> (blockDuration * (double) block));

            shared->fillInput (input.data(), currentBufferSize);

            callback->audioDeviceIOCallbackWithContext (inputPointers.data(), (int) inputPointers.size(),
                                                        outputPointers.data(), (int) outputPointers.size(),
                                                        currentBufferSize, {});

            ++shared->blocksDelivered;
        }
    }

    std::shared_ptr<TestAudioDeviceType::Shared> shared;
    juce::BigInteger activeInputs, activeOutputs;
    double currentSampleRate = 48000.0;
    int currentBufferSize = 512;
    std::vector<float> input;
    std::vector<std::vector<float>> outputs;
    bool opened = false;

    juce::AudioIODeviceCallback* callback = nullptr;
    std::atomic<bool> running { false };
    std::thread thread;
};
} // namespace

//==============================================================================
TestAudioDeviceType::TestAudioDeviceType (int numOutputChannels)
    : juce::AudioIODeviceType ("Test"),
      shared (std::make_shared<Shared>())
{
    shared->numOutputChannels = numOutputChannels == 2 ? 2 : 0;
}

TestAudioDeviceType::~TestAudioDeviceType() = default;

void TestAudioDeviceType::setInputSource (InputSource source)
{
    const std::lock_guard<std::mutex> guard (shared->sourceLock);
    shared->source = std::move (source);
}

void TestAudioDeviceType::setInputSamples (std::vector<float> samples, bool loop)
{
    setInputSource (
        [samples = std::move (samples), loop, position = (size_t) 0] (float* block, int numSamples) mutable
        {
            for (int i = 0; i < numSamples; ++i)
            {
                if (loop && position == samples.size())
                    position = 0;

                block[i] = position < samples.size() ? samples[position++] : 0.0f;
            }
        });
}

void TestAudioDeviceType::setInputLatency (int samples)
{
    shared->inputLatency = samples;
}

juce::int64 TestAudioDeviceType::getBlocksDelivered() const
{
    return shared->blocksDelivered;
}

void TestAudioDeviceType::scanForDevices() {}

juce::StringArray TestAudioDeviceType::getDeviceNames (bool) const
{
    return { deviceName };
}

int TestAudioDeviceType::getDefaultDeviceIndex (bool) const
{
    return 0;
}

int TestAudioDeviceType::getIndexOfDevice (juce::AudioIODevice* device, bool) const
{
    return device != nullptr && device->getName() == deviceName ? 0 : -1;
}

bool TestAudioDeviceType::hasSeparateInputsAndOutputs() const
{
    return false;
}

juce::AudioIODevice* TestAudioDeviceType::createDevice (const juce::String& outputDeviceName,
                                                        const juce::String& inputDeviceName)
{
    if (outputDeviceName == deviceName || inputDeviceName == deviceName)
        return new TestAudioDevice (shared);

    return nullptr;
}
