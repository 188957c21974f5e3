/*
    ZEM Quillbank - LTC to MTC converter and MIDI merger
    Copyright (C) 2026 ZEM. GPL-3.0-or-later.
*/

#include "engine/DemoThread.h"
#include "platform/VirtualMidiDevices.h"

#include <gtest/gtest.h>

#include <thread>

TEST (OutputReplacement, SendsFromAnotherThreadNeverReachAnOutputBeingReplaced)
{
    VirtualMidiDevices devices;
    devices.setOutputNames ({ "First", "Second" });
    DemoThread generator (devices);
    generator.exchangeOutput (devices.openOutput (0));
    generator.midiOutputActive = true;

    std::atomic<bool> sending { true };
    std::atomic<int> attempts { 0 };
    std::thread sender (
        [&]
        {
            const auto note = juce::MidiMessage::noteOn (1, 60, (juce::uint8) 100);

            while (sending)
            {
                generator.sendNow (note);
                ++attempts;
            }
        });

    // Replace the output over and over, stopping and destroying each old one as the output
    // box does, while the other thread keeps sending.
    for (int i = 0; i < 400; ++i)
    {
        if (auto* output = generator.getOutput())
            output->stopBackgroundThread();

        auto next = devices.openOutput (i % 2);
        next->startBackgroundThread();
        generator.exchangeOutput (std::move (next));

        if (i % 50 == 0)
        {
            generator.midiOutputActive = false;
            generator.exchangeOutput (nullptr);
            generator.midiOutputActive = true;
        }
    }

    sending = false;
    sender.join();

    const auto sent =
        devices.getOutputLog ("First")->getSent().size() + devices.getOutputLog ("Second")->getSent().size();
    EXPECT_GT (attempts.load(), 0);
    EXPECT_GT (sent, 0u);
    EXPECT_LE (sent, (size_t) attempts.load());
}
