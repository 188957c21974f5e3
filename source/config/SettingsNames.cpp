/*
    ZEM Quillbank - LTC to MTC converter and MIDI merger
    Copyright (C) 2026 ZEM. GPL-3.0-or-later.
*/

#include "config/SettingsNames.h"

namespace
{
bool isContinuation (unsigned char byte) noexcept
{
    return (byte & 0xc0) == 0x80;
}
} // namespace

bool isWellFormedText (const char* data, std::size_t size) noexcept
{
    const auto* bytes = reinterpret_cast<const unsigned char*> (data);
    std::size_t i = 0;

    while (i < size)
    {
        const auto lead = bytes[i];

        if (lead == 0)
            return false;

        if (lead < 0x80)
        {
            ++i;
            continue;
        }

        // The ranges of the second byte follow the table of well-formed sequences in the Unicode
        // standard: they rule out the overlong forms, the surrogates and everything past U+10FFFF.
        std::size_t length = 0;
        unsigned char low = 0x80, high = 0xbf;

        if (lead >= 0xc2 && lead <= 0xdf)
            length = 2;
        else if (lead == 0xe0)
            length = 3, low = 0xa0;
        else if (lead == 0xed)
            length = 3, high = 0x9f;
        else if (lead >= 0xe1 && lead <= 0xef)
            length = 3;
        else if (lead == 0xf0)
            length = 4, low = 0x90;
        else if (lead >= 0xf1 && lead <= 0xf3)
            length = 4;
        else if (lead == 0xf4)
            length = 4, high = 0x8f;
        else
            return false;

        if (size - i < length || bytes[i + 1] < low || bytes[i + 1] > high)
            return false;

        for (std::size_t k = 2; k < length; ++k)
            if (! isContinuation (bytes[i + k]))
                return false;

        i += length;
    }

    return true;
}

std::optional<juce::String> settingsNameText (const std::string& bytes)
{
    if (! isWellFormedText (bytes.data(), bytes.size()))
        return std::nullopt;

    // Of known length, so that nothing past the name is read.
    return juce::String (juce::CharPointer_UTF8 (bytes.data()), juce::CharPointer_UTF8 (bytes.data() + bytes.size()));
}

juce::Array<int> indexesOfNamesEqualTo (const juce::StringArray& names, const std::optional<juce::String>& name)
{
    juce::Array<int> indexes;

    if (name.has_value())
        for (int i = 0; i < names.size(); ++i)
            if (names[i] == *name)
                indexes.add (i);

    return indexes;
}
