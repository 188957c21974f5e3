/*
    ZEM Quillbank - LTC to MTC converter and MIDI merger
    Copyright (C) 2026 ZEM. GPL-3.0-or-later.
*/

#include "engine/AudioInputListener.h"
#include "platform/VirtualMidiDevices.h"
#include "support/LtcTestWriter.h"
#include "support/MtcReader.h"
#include "support/TestAudioDeviceType.h"

#include <gtest/gtest.h>

TEST (TestAudioDevice, DeviceManagerRunsItAndTheDecoderStartsMtc)
{
    VirtualMidiDevices devices;
    devices.setOutputNames ({ "Out" });
    const auto log = devices.getOutputLog ("Out");

    auto type = std::make_unique<TestAudioDeviceType>();
    auto& testType = *type;
    testType.setInputLatency (256);

    LtcTestWriter writer (48000.0, 24.0);
    writer.frames ({ 1, 0, 0, 0 }, 48);
    testType.setInputSamples (writer.samples(), true);

    juce::AudioDeviceManager manager;
    manager.addAudioDeviceType (std::move (type));
    ASSERT_TRUE (manager.initialise (1, 0, nullptr, false).isEmpty());

    auto* device = manager.getCurrentAudioDevice();
    ASSERT_NE (device, nullptr);
    EXPECT_EQ (device->getName(), TestAudioDeviceType::deviceName);
    EXPECT_EQ (device->getTypeName(), "Test");
    EXPECT_EQ (device->getCurrentSampleRate(), 48000.0);
    EXPECT_EQ (device->getCurrentBufferSizeSamples(), 512);
    EXPECT_EQ (device->getInputLatencyInSamples(), 256);
    EXPECT_EQ (device->getActiveInputChannels().countNumberOfSetBits(), 1);

    AudioInputListener listener (devices);
    manager.addAudioCallback (&listener);
    EXPECT_EQ (listener.longMinSamples, 19);

    for (int i = 0; i < 60 && ! listener.mtcThread.ltcRunning; ++i)
        juce::MessageManager::getInstance()->runDispatchLoopUntil (50);

    manager.removeAudioCallback (&listener);
    manager.closeAudioDevice();

    EXPECT_TRUE (listener.mtcThread.ltcRunning);
    EXPECT_GT (testType.getBlocksDelivered(), 0);

    const auto sent = log->getSent();
    ASSERT_FALSE (sent.empty());
    MtcReader reader;
    ASSERT_TRUE (reader.feed (sent.front().bytes));
    EXPECT_TRUE (reader.times.front().fullFrame);
    EXPECT_EQ (reader.times.front().hours, 1);
}
