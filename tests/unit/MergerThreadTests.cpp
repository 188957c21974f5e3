/*
    ZEM Quillbank - LTC to MTC converter and MIDI merger
    Copyright (C) 2026 ZEM. GPL-3.0-or-later.
*/

#include "engine/DemoThread.h"
#include "merger/MidiInputs.h"
#include "merger/MidiMerger.h"
#include "platform/VirtualMidiDevices.h"

#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <thread>

namespace
{
/** Forwards what the virtual inputs deliver, as the main component does. */
struct Forwarder : public MidiInputHandler
{
    Forwarder (MidiInputs& pageToUse, DemoThread& generatorToUse) : page (pageToUse), generator (generatorToUse) {}

    void handleIncomingMidiMessage (const juce::String& sourceName, const juce::MidiMessage& message) override
    {
        forwardMergedMessage (sourceName, message, page.rowTable, generator);
    }

    MidiInputs& page;
    DemoThread& generator;
};

struct NullListener : public juce::Button::Listener
{
    void buttonClicked (juce::Button*) override {}
};
} // namespace

TEST (MergerThreads, FloodWhileRowsAndOutputChangeSendsOnlyWhatSomeRowGives)
{
    VirtualMidiDevices devices;
    devices.setOutputNames ({ "Out" });
    devices.setInputNames ({ "A", "B" });
    const auto log = devices.getOutputLog ("Out");

    DemoThread generator (devices);
    generator.exchangeOutput (devices.openOutput (0));
    generator.midiOutputActive = true;

    MidiInputs page;
    NullListener listener;
    page.rebuildRows (devices, listener);

    Forwarder forwarder (page, generator);
    devices.setInputEnabled ("A", true);
    devices.addInputHandler ("A", &forwarder);

    // Controller 7 value 100 on channel 3: under any row it leaves as a controller change or a
    // note-on, on channel 3 or on one of the channels the test chooses.
    const int channels[] = { 0, 1, 10, 16, -1 };
    std::set<std::vector<juce::uint8>> allowed;

    for (const auto index : channels)
    {
        const auto channel = (juce::uint8) (index >= 1 ? index - 1 : 2);
        allowed.insert ({ (juce::uint8) (0xb0 | channel), 0x07, 0x64 });
        allowed.insert ({ (juce::uint8) (0x90 | channel), 0x07, 0x64 });
    }

    std::atomic<bool> stop { false };
    std::atomic<int> fed { 0 };

    std::thread input ([&]
    {
        const auto controller = juce::MidiMessage::controllerEvent (3, 7, 100);

        // Paced, so that the output's log stays small over the run.
        while (! stop)
        {
            devices.feed ("A", controller);

            if ((++fed % 8) == 0)
                std::this_thread::sleep_for (std::chrono::microseconds (50));
        }
    });

    const auto deadline = juce::Time::getMillisecondCounter() + 1000;
    int round = 0;

    while (juce::Time::getMillisecondCounter() < deadline || round < 20)
    {
        devices.setInputNames ((round % 3) == 1 ? juce::StringArray { "B" } : juce::StringArray { "B", "A", "C" });
        page.rebuildRows (devices, listener);

        for (auto* row : page.inputs)
        {
            row->destinationChannel->setSelectedItemIndex (channels[round % 5], juce::dontSendNotification);
            row->ccToNoteToggle->setToggleState ((round % 2) == 0, juce::dontSendNotification);
        }

        page.publishRows();

        auto old = generator.exchangeOutput (devices.openOutput (0));
        old.reset();
        ++round;
        std::this_thread::sleep_for (std::chrono::microseconds (100));
    }

    stop = true;
    input.join();
    devices.removeInputHandler ("A", &forwarder);

    const auto sent = log->getSent();
    EXPECT_GT (fed.load(), 0);
    EXPECT_FALSE (sent.empty());
    EXPECT_LE ((int) sent.size(), fed.load());

    for (const auto& message : sent)
        EXPECT_EQ (allowed.count (message.bytes), 1u)
            << juce::String::toHexString (message.bytes.data(), (int) message.bytes.size());

    std::cout << "[          ] " << fed.load() << " fed, " << sent.size() << " sent, " << round << " rounds\n";
}
