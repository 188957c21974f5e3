/*
    ZEM Quillbank - LTC to MTC converter and MIDI merger
    Copyright (C) 2026 ZEM. GPL-3.0-or-later.
*/

#include "config/SettingsFile.h"
#include "config/SettingsNames.h"

#include <algorithm>
#include <cstdint>
#include <sstream>
#include <vector>

namespace
{
void check (bool condition)
{
    if (! condition)
        __builtin_trap();
}

ParsedSettings parseBytes (const std::string& bytes)
{
    std::istringstream input (bytes);
    return parseSettings (input);
}

// What the main component would write back after applying a file, before any control
// clamps or rejects a value.
SettingsSnapshot snapshotOf (const ParsedSettings& parsed)
{
    return { parsed.inputRateId.value_or (0),
             parsed.outputRateId.value_or (0),
             static_cast<double> (parsed.frameOffset.value_or (0)),
             parsed.enabledValue.value_or (0) != 0,
             parsed.midiOutputName.value_or (std::string()),
             parsed.records };
}

// An independent reading of UTF-8: decode by the bit patterns alone, then reject what the
// encoding forbids, so that it shares no table with the code under test. Gives the length of
// the longest prefix of whole, valid sequences, and their code points.
std::size_t wellFormedPrefix (const std::string& bytes, std::vector<std::uint32_t>& codePoints)
{
    std::size_t i = 0;

    while (i < bytes.size())
    {
        const auto lead = static_cast<unsigned char> (bytes[i]);
        const int length = lead < 0x80 ? 1 : (lead >> 5) == 6 ? 2 : (lead >> 4) == 14 ? 3 : (lead >> 3) == 30 ? 4 : 0;

        if (length == 0 || i + static_cast<std::size_t> (length) > bytes.size())
            break;

        std::uint32_t value = length == 1 ? lead : lead & (0x7fu >> length);
        bool continued = true;

        for (int k = 1; k < length && continued; ++k)
        {
            const auto next = static_cast<unsigned char> (bytes[i + static_cast<std::size_t> (k)]);
            continued = (next >> 6) == 2;
            value = (value << 6) | (next & 0x3fu);
        }

        const int shortest = value < 0x80 ? 1 : value < 0x800 ? 2 : value < 0x10000 ? 3 : 4;

        if (! continued || value == 0 || length != shortest || (value >= 0xd800 && value <= 0xdfff) || value > 0x10ffff)
            break;

        codePoints.push_back (value);
        i += static_cast<std::size_t> (length);
    }

    return i;
}

// The device list a name meets: names the file itself suggests, as a device could be called
// (the name whole, cut at its first NUL, without a trailing carriage return, cut before its
// first bad byte), kept when they are texts a device could have. Drawn from the first names
// only, so that a file of many short records does not make every run quadratic.
juce::StringArray deviceNamesFrom (std::vector<std::string> names)
{
    juce::StringArray devices;
    names.resize (std::min<std::size_t> (names.size(), 16));

    const auto add = [&devices] (const std::string& bytes)
    {
        if (const auto text = settingsNameText (bytes))
            devices.add (*text);
    };

    for (const auto& name : names)
    {
        add (name);
        add (name.substr (0, name.find ('\0')));

        if (! name.empty() && name.back() == '\r')
            add (name.substr (0, name.size() - 1));

        std::vector<std::uint32_t> codePoints;
        add (name.substr (0, wellFormedPrefix (name, codePoints)));
    }

    return devices;
}

// What the reader does with one name: convert it, then find the devices of that name.
void checkName (const std::string& bytes, const juce::StringArray& devices)
{
    std::vector<std::uint32_t> codePoints;
    const bool wellFormed = wellFormedPrefix (bytes, codePoints) == bytes.size();
    check (isWellFormedText (bytes.data(), bytes.size()) == wellFormed);

    const auto text = settingsNameText (bytes);
    check (text.has_value() == wellFormed);

    const auto matches = indexesOfNamesEqualTo (devices, text);

    if (! text.has_value())
    {
        check (matches.isEmpty());
        return;
    }

    check (text->toStdString() == bytes);
    check (text->getNumBytesAsUTF8() == bytes.size());
    check (static_cast<std::size_t> (text->length()) == codePoints.size());

    auto p = text->getCharPointer();

    for (const auto codePoint : codePoints)
        check (static_cast<std::uint32_t> (p.getAndAdvance()) == codePoint);

    // Whole texts compared: a device matches exactly when its bytes are the name's.
    juce::Array<int> expected;

    for (int i = 0; i < devices.size(); ++i)
        if (devices[i].toStdString() == bytes)
            expected.add (i);

    check (matches == expected);
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput (const std::uint8_t* data, std::size_t size)
{
    const auto parsed = parseBytes (std::string (reinterpret_cast<const char*> (data), size));
    check (parsed.opened);

    // Records start only after five head lines.
    check (parsed.records.empty() || parsed.midiOutputName.has_value());

    std::vector<std::string> names;

    if (parsed.midiOutputName.has_value())
        names.push_back (*parsed.midiOutputName);

    for (const auto& record : parsed.records)
        names.push_back (record.deviceName);

    const auto devices = deviceNamesFrom (names);

    for (const auto& name : names)
        checkName (name, devices);

    const auto snapshot = snapshotOf (parsed);
    const auto text = formatSettings (snapshot);
    const auto again = parseBytes (text);

    check (again.opened);
    check (again.inputRateId == snapshot.inputRateId);
    check (again.outputRateId == snapshot.outputRateId);
    check (again.enabledValue == (snapshot.enabled ? 1 : 0));

    // Names come from lines, so they never hold a line feed and always survive.
    check (again.midiOutputName == snapshot.midiOutputName);
    check (again.records == snapshot.rows);

    // The offset is written with six significant digits; beyond that only its leading digits come back.
    const auto offset = parsed.frameOffset.value_or (0);
    check (again.frameOffset.has_value());

    if (offset > -1'000'000 && offset < 1'000'000)
    {
        check (again.frameOffset == offset);
        check (formatSettings (snapshotOf (again)) == text);
    }

    return 0;
}
