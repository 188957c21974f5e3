/*
    ZEM Quillbank - LTC to MTC converter and MIDI merger
    Copyright (C) 2026 ZEM. GPL-3.0-or-later.
*/

#include "ForwardingRule.h"

juce::MidiMessage forwardedMessage (const juce::MidiMessage& message, const MergerRowSettings& row)
{
    if (message.getRawDataSize() == 0 || message.getRawData()[0] >= 0xf0)
        return message;

    auto result = message;

    if (row.destinationIndex >= 1)
        result.setChannel (row.destinationIndex);

    if (row.ccToNote && result.isController())
        return juce::MidiMessage::noteOn (result.getChannel(), result.getControllerNumber() & 0x7f,
                                          (juce::uint8) juce::jmin (127, result.getControllerValue()));

    return result;
}

const MergerRowSettings* findMergerRow (const std::vector<MergerRowSettings>& rows, const juce::String& sourceName)
{
    for (auto row = rows.rbegin(); row != rows.rend(); ++row)
        if (row->name == sourceName)
            return &*row;

    return nullptr;
}
