/*
    ZEM Quillbank - LTC to MTC converter and MIDI merger
    Copyright (C) 2026 ZEM. GPL-3.0-or-later.
*/

#include "engine/DemoThread.h"
#include "merger/MidiMerger.h"
#include "platform/VirtualMidiDevices.h"

#include <gtest/gtest.h>

namespace
{
using Bytes = std::vector<juce::uint8>;

juce::MidiMessage messageOf (const Bytes& bytes)
{
    return juce::MidiMessage (bytes.data(), (int) bytes.size());
}

Bytes bytesOf (const juce::MidiMessage& message)
{
    return { message.getRawData(), message.getRawData() + message.getRawDataSize() };
}

constexpr int original = 0, none = -1;
constexpr bool on = true, off = false;
} // namespace

TEST (ForwardingRule, EachKindOfMessageBecomesWhatItsRowSays)
{
    struct Case
    {
        const char* what;
        Bytes in;
        int destination;
        bool ccToNote;
        Bytes out;
    };

    // Columns lined up by hand, which the formatter would undo.
    // clang-format off
    const Case cases[] = {
        { "note-off, original",            { 0x82, 0x3c, 0x40 }, original, on,  { 0x82, 0x3c, 0x40 } },
        { "note-off to channel 10",        { 0x82, 0x3c, 0x40 }, 10,       on,  { 0x89, 0x3c, 0x40 } },
        { "note-on to channel 1",          { 0x9f, 0x3c, 0x7f }, 1,        off, { 0x90, 0x3c, 0x7f } },
        { "poly pressure to channel 5",    { 0xa2, 0x3c, 0x10 }, 5,        on,  { 0xa4, 0x3c, 0x10 } },
        { "program change to channel 2",   { 0xc2, 0x05 },       2,        on,  { 0xc1, 0x05 } },
        { "channel pressure, original",    { 0xd2, 0x40 },       original, on,  { 0xd2, 0x40 } },
        { "pitch bend to channel 16",      { 0xe0, 0x12, 0x34 }, 16,       off, { 0xef, 0x12, 0x34 } },
        { "CC, switch off, original",      { 0xb2, 0x07, 0x64 }, original, off, { 0xb2, 0x07, 0x64 } },
        { "CC, switch on, original",       { 0xb2, 0x07, 0x64 }, original, on,  { 0x92, 0x07, 0x64 } },
        { "CC, switch on, channel 10",     { 0xb2, 0x07, 0x64 }, 10,       on,  { 0x99, 0x07, 0x64 } },
        { "CC, switch off, channel 10",    { 0xb2, 0x07, 0x64 }, 10,       off, { 0xb9, 0x07, 0x64 } },
        { "CC value 0 gives velocity 0",   { 0xb2, 0x07, 0x00 }, original, on,  { 0x92, 0x07, 0x00 } },
        { "CC 120 (all sound off)",        { 0xb0, 0x78, 0x00 }, 3,        on,  { 0x92, 0x78, 0x00 } },
        { "CC 121",                        { 0xb0, 0x79, 0x01 }, 3,        on,  { 0x92, 0x79, 0x01 } },
        { "CC 122",                        { 0xb0, 0x7a, 0x7f }, 3,        on,  { 0x92, 0x7a, 0x7f } },
        { "CC 123 (all notes off)",        { 0xb0, 0x7b, 0x00 }, 3,        on,  { 0x92, 0x7b, 0x00 } },
        { "CC 124",                        { 0xb0, 0x7c, 0x00 }, 3,        on,  { 0x92, 0x7c, 0x00 } },
        { "CC 125",                        { 0xb0, 0x7d, 0x00 }, 3,        on,  { 0x92, 0x7d, 0x00 } },
        { "CC 126",                        { 0xb0, 0x7e, 0x02 }, 3,        on,  { 0x92, 0x7e, 0x02 } },
        { "CC 127",                        { 0xb0, 0x7f, 0x00 }, 3,        on,  { 0x92, 0x7f, 0x00 } },
        { "no selection is original: CC",  { 0xb2, 0x07, 0x64 }, none,     on,  { 0x92, 0x07, 0x64 } },
        { "no selection is original: note",{ 0x95, 0x3c, 0x40 }, none,     off, { 0x95, 0x3c, 0x40 } },
        { "sysex unchanged",               { 0xf0, 0x7e, 0x7f, 0x06, 0x01, 0xf7 }, 10, on,
                                           { 0xf0, 0x7e, 0x7f, 0x06, 0x01, 0xf7 } },
        { "clock unchanged",               { 0xf8 },             10,       on,  { 0xf8 } },
        { "quarter frame unchanged",       { 0xf1, 0x35 },       16,       on,  { 0xf1, 0x35 } },
        { "quarter frame, original",       { 0xf1, 0x35 },       original, on,  { 0xf1, 0x35 } },
    };
    // clang-format on

    for (const auto& c : cases)
    {
        const auto result = forwardedMessage (messageOf (c.in), { "In", c.destination, c.ccToNote });
        EXPECT_EQ (bytesOf (result), c.out) << c.what;
    }
}

TEST (ForwardingRule, NoteMadeFromControllerIsFreshAndCapsItsVelocity)
{
    auto controller = juce::MidiMessage::controllerEvent (3, 7, 100);
    controller.setTimeStamp (1234.0);
    const auto note = forwardedMessage (controller, { "In", original, on });
    EXPECT_EQ (note.getTimeStamp(), 0.0);

    // Data bytes above 127 never come from a device, but the velocity must stay a data byte.
    const juce::MidiMessage overfull (0xb2, 0x07, 0xc8);
    EXPECT_EQ (bytesOf (forwardedMessage (overfull, { "In", original, on })), (Bytes { 0x92, 0x07, 0x7f }));
}

TEST (ForwardingRule, TheLastRowOfTheSourcesNameApplies)
{
    const std::vector<MergerRowSettings> rows { { "Keys", 1, false }, { "Pads", 2, false }, { "Keys", 3, true } };

    ASSERT_NE (findMergerRow (rows, "Keys"), nullptr);
    EXPECT_EQ (findMergerRow (rows, "Keys"), &rows[2]);
    EXPECT_EQ (findMergerRow (rows, "Pads"), &rows[1]);
    EXPECT_EQ (findMergerRow (rows, "keys"), nullptr);
    EXPECT_EQ (findMergerRow (rows, "Keys "), nullptr);
    EXPECT_EQ (findMergerRow ({}, "Keys"), nullptr);
}

namespace
{
/** A generator over one virtual output, not started, the output active. */
struct MergerOutputFixture : public testing::Test
{
    MergerOutputFixture()
    {
        devices.setOutputNames ({ "Out" });
        log = devices.getOutputLog ("Out");
        generator.exchangeOutput (devices.openOutput (0));
        generator.midiOutputActive = true;
    }

    std::vector<Bytes> sent() const
    {
        std::vector<Bytes> result;

        for (const auto& message : log->getSent())
            result.push_back (message.bytes);

        return result;
    }

    VirtualMidiDevices devices;
    std::shared_ptr<VirtualMidiOutputLog> log;
    DemoThread generator { devices };
    MergerRowTable rows;
};
} // namespace

TEST_F (MergerOutputFixture, SendsWhatTheLaterRowGivesAndDropsSourcesWithoutARow)
{
    rows.publish ({ { "Keys", 10, false }, { "Pads", original, on }, { "Keys", original, on } });
    const auto controller = messageOf ({ 0xb2, 0x07, 0x64 });

    forwardMergedMessage ("Keys", controller, rows, generator);
    forwardMergedMessage ("Pads", controller, rows, generator);
    forwardMergedMessage ("Drums", controller, rows, generator);
    forwardMergedMessage ("keys", controller, rows, generator);

    EXPECT_EQ (sent(), (std::vector<Bytes> { { 0x92, 0x07, 0x64 }, { 0x92, 0x07, 0x64 } }));

    rows.publish ({});
    forwardMergedMessage ("Keys", controller, rows, generator);
    EXPECT_EQ (sent().size(), 2u);
}

TEST_F (MergerOutputFixture, NothingLeavesWhileNoOutputIsActive)
{
    rows.publish ({ { "Keys", original, off } });
    generator.midiOutputActive = false;

    for (const auto& bytes :
         { Bytes { 0x90, 0x3c, 0x40 }, Bytes { 0xb0, 0x07, 0x64 }, Bytes { 0xf8 }, Bytes { 0xf0, 0x01, 0xf7 } })
        forwardMergedMessage ("Keys", messageOf (bytes), rows, generator);

    EXPECT_TRUE (sent().empty());

    generator.midiOutputActive = true;
    forwardMergedMessage ("Keys", messageOf ({ 0xf8 }), rows, generator);
    EXPECT_EQ (sent(), (std::vector<Bytes> { { 0xf8 } }));
}
