/*
    ZEM Quillbank - LTC to MTC converter and MIDI merger
    Copyright (C) 2026 ZEM. GPL-3.0-or-later.
*/

#include "config/SettingsFile.h"

#include <cstdint>
#include <sstream>

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
} // namespace

extern "C" int LLVMFuzzerTestOneInput (const std::uint8_t* data, std::size_t size)
{
    const auto parsed = parseBytes (std::string (reinterpret_cast<const char*> (data), size));
    check (parsed.opened);

    // Records start only after five head lines.
    check (parsed.records.empty() || parsed.midiOutputName.has_value());

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
