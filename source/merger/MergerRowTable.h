/*
    ZEM Quillbank - LTC to MTC converter and MIDI merger
    Copyright (C) 2026 ZEM. GPL-3.0-or-later.
*/

#pragma once

#include "ForwardingRule.h"

#include <mutex>
#include <optional>

/** The merger rows as the MIDI input thread sees them.

    The message thread publishes a complete copy of the rows' settings each time they change;
    the MIDI input thread looks sources up in the copy in force and never touches a control.
    The lock is held only to exchange the copy or to look up and copy one row.
*/
class MergerRowTable
{
public:
    MergerRowTable() = default;

    /** Puts these rows in force, in display order. */
    void publish (std::vector<MergerRowSettings> newRows);

    /** The settings of the row that applies to this source, if there is one. */
    std::optional<MergerRowSettings> find (const juce::String& sourceName) const;

    /** A copy of the rows in force. */
    std::vector<MergerRowSettings> getRows() const;

private:
    mutable std::mutex lock;
    std::vector<MergerRowSettings> rows;

    JUCE_DECLARE_NON_COPYABLE (MergerRowTable)
};
