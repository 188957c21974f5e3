/*
    ZEM Quillbank - LTC to MTC converter and MIDI merger
    Copyright (C) 2026 ZEM. GPL-3.0-or-later.
*/

#include "MergerRowTable.h"

void MergerRowTable::publish (std::vector<MergerRowSettings> newRows)
{
    {
        const std::lock_guard<std::mutex> guard (lock);
        std::swap (rows, newRows);
    }

    // newRows now holds the rows that were in force; they are freed here, outside the lock.
}

std::optional<MergerRowSettings> MergerRowTable::find (const juce::String& sourceName) const
{
    const std::lock_guard<std::mutex> guard (lock);

    if (const auto* row = findMergerRow (rows, sourceName))
        return *row;

    return std::nullopt;
}

std::vector<MergerRowSettings> MergerRowTable::getRows() const
{
    const std::lock_guard<std::mutex> guard (lock);
    return rows;
}
