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
#include <map>
#include <set>
#include <thread>

namespace
{
/** Forwards what the virtual inputs deliver, as the main component does. */
struct Forwarder : public MidiInputHandler
{
    Forwarder (MidiInputs& pageToUse, DemoThread& generatorToUse)
        : page (pageToUse),
          generator (generatorToUse)
    {
    }

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
    const auto log = devices.getOutputLog ("Out");

    DemoThread generator (devices);
    generator.exchangeOutput (devices.openOutput (0));
    generator.midiOutputActive = true;

    MidiInputs page;
    NullListener listener;
    Forwarder forwarder (page, generator);

    // "Z" is enabled and registered before any row exists, and no list the page is built from
    // ever names it again, so it never gets a row: nothing of it may leave.
    devices.setInputNames ({ "A", "Z" });
    devices.setInputEnabled ("A", true);
    devices.setInputEnabled ("Z", true);
    devices.addInputHandler ("Z", &forwarder);

    // Each round moves every row to its next setting through the controls' own notifications,
    // so each change is published on its own: a channel used only in passing, the conversion
    // switch, then the round's channel. Only the channels in passing are ever in force with the
    // switch both on and off; each other channel goes with one position of it. A message made
    // from the channel of one published table and the switch of another therefore comes out as
    // something that no table gives, such as the unchanged controller.
    struct RowState
    {
        int index;
        bool ccToNote;
    };
    const RowState settled[] = { { 1, true }, { 5, false }, { 0, true }, { 12, false }, { -1, true }, { 13, false } };
    const int inPassing[] = { 10, 16 };

    auto moveRowsTo = [&] (int round)
    {
        const auto& state = settled[round % 6];

        for (auto* row : page.inputs)
        {
            row->destinationChannel->setSelectedItemIndex (inPassing[round % 2], juce::sendNotificationSync);
            row->ccToNoteToggle->setToggleState (state.ccToNote, juce::sendNotificationSync);
            row->destinationChannel->setSelectedItemIndex (state.index, juce::sendNotificationSync);
        }
    };

    // Controller 7 value 100 on channel 3 from "A", controller 9 value 50 on channel 5 from "Z".
    std::set<std::vector<juce::uint8>> allowed;
    auto allow = [&allowed] (int index, bool ccToNote)
    {
        const auto channel = (juce::uint8) (index >= 1 ? index - 1 : 2);
        allowed.insert ({ (juce::uint8) ((ccToNote ? 0x90 : 0xb0) | channel), 0x07, 0x64 });
    };

    for (const auto& state : settled)
        allow (state.index, state.ccToNote);

    for (const auto index : inPassing)
    {
        allow (index, false);
        allow (index, true);
    }

    const std::vector<juce::uint8> unchanged { 0xb2, 0x07, 0x64 };
    ASSERT_EQ (allowed.count (unchanged), 0u);

    devices.setInputNames ({ "B", "A", "C" });
    page.rebuildRows (devices, listener);
    moveRowsTo (0);
    devices.addInputHandler ("A", &forwarder);

    std::atomic<bool> stop { false };
    std::atomic<int> deliveredFromA { 0 }, deliveredFromZ { 0 };

    std::thread input (
        [&]
        {
            const auto fromA = juce::MidiMessage::controllerEvent (3, 7, 100);
            const auto fromZ = juce::MidiMessage::controllerEvent (5, 9, 50);
            int fed = 0;

            // Paced, so that the output's log stays small over the run.
            while (! stop)
            {
                if (devices.feed ("A", fromA))
                    ++deliveredFromA;

                if (devices.feed ("Z", fromZ))
                    ++deliveredFromZ;

                if ((++fed % 8) == 0)
                    std::this_thread::sleep_for (std::chrono::microseconds (50));
            }
        });

    const auto deadline = juce::Time::getMillisecondCounter() + 1000;
    int round = 1;

    while (juce::Time::getMillisecondCounter() < deadline || round < 20)
    {
        // Every fourth round the rows of "A" and "C" go while "A" is fed, so its messages meet no
        // row. A row that comes back starts on the original channel without conversion, which
        // would let the unchanged message through; "A" is cut off until its row has the round's
        // settings.
        const bool rowOfAComesBack = (round % 4) == 2;

        if (rowOfAComesBack)
            devices.removeInputHandler ("A", &forwarder);

        devices.setInputNames ((round % 4) == 1 ? juce::StringArray { "B" } : juce::StringArray { "B", "A", "C" });
        page.rebuildRows (devices, listener);
        moveRowsTo (round);

        if (rowOfAComesBack)
            devices.addInputHandler ("A", &forwarder);

        auto old = generator.exchangeOutput (devices.openOutput (0));
        old.reset();
        ++round;
        std::this_thread::sleep_for (std::chrono::microseconds (100));
    }

    stop = true;
    input.join();
    devices.removeInputHandler ("A", &forwarder);
    devices.removeInputHandler ("Z", &forwarder);

    const auto sent = log->getSent();
    EXPECT_GT (deliveredFromA.load(), 0);
    EXPECT_GT (deliveredFromZ.load(), 0);
    EXPECT_FALSE (sent.empty());
    EXPECT_LE ((int) sent.size(), deliveredFromA.load());

    std::map<juce::String, int> unexpected;
    int notes = 0, controllers = 0;

    for (const auto& message : sent)
    {
        if (allowed.count (message.bytes) == 0)
            ++unexpected[juce::String::toHexString (message.bytes.data(), (int) message.bytes.size())];
        else if ((message.bytes[0] & 0xf0) == 0x90)
            ++notes;
        else
            ++controllers;
    }

    for (const auto& [bytes, count] : unexpected)
        ADD_FAILURE() << bytes << " sent " << count << " times";

    // Both kinds left, so the switch changed under the flood.
    EXPECT_GT (notes, 0);
    EXPECT_GT (controllers, 0);

    std::cout << "[          ] " << deliveredFromA.load() << " delivered from A, " << deliveredFromZ.load()
              << " from Z, " << sent.size() << " sent, " << round << " rounds\n";
}
