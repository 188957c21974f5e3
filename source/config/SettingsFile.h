/*
    ZEM Quillbank - LTC to MTC converter and MIDI merger
    Copyright (C) 2026 ZEM. GPL-3.0-or-later.
*/

#pragma once

#include <functional>
#include <istream>
#include <optional>
#include <string>
#include <vector>

/** One merger row as the settings file stores it. */
struct SettingsRowRecord
{
    /** The MIDI input device's name as bytes: UTF-8 as written, but as read from a file they are
        unchecked and need not be text (see settingsNameText).
    */
    std::string deviceName;

    /** Whether the row's input is merged into the output. */
    bool merge = false;

    /** Whether the row's controllers are turned into notes. */
    bool ccToNote = false;

    /** Item index of the destination box: 0 "Original Channel", 1 to 16 the channel, -1 nothing selected. */
    int channelIndex = 0;
};

/** Two records are equal when all four stored values are. */
bool operator== (const SettingsRowRecord& a, const SettingsRowRecord& b);

/** Everything that a settings file holds, as the main component reads it from its controls. */
struct SettingsSnapshot
{
    /** Selected id of the input frame-rate box; 0 when the selection matches no item. */
    int inputRateId = 0;

    /** Selected id of the output frame-rate box; 0 when the selection matches no item. */
    int outputRateId = 0;

    /** The offset slider's value in frames. */
    double frameOffset = 0.0;

    /** The "Enabled" switch. */
    bool enabled = false;

    /** The text of the MIDI output box; empty when no item is selected. */
    std::string midiOutputName;

    /** One record per merger row, in the rows' order. */
    std::vector<SettingsRowRecord> rows;
};

/** The whole text of a settings file for a snapshot: five head lines, then four lines per row,
    each line ended by a line feed.
*/
std::string formatSettings (const SettingsSnapshot& snapshot);

/** Writes one block of bytes to an open file descriptor; returns false unless every byte was written. */
using SettingsWriteStep = std::function<bool (int fileDescriptor, const std::string& contents)>;

/** Replaces the file at a path with the given contents, or leaves it exactly as it was.

    The contents go to a new file in the same folder, which is flushed to the disk and then renamed
    over the target, so a full disk or a crash never leaves a truncated settings file. A symbolic link
    at the path is followed, and an existing file's permission bits are kept. A target that exists and
    is not a regular file (a folder, a FIFO, a device node, a socket) is not written. Returns false on
    any failure, with the previous file unchanged and no temporary file left behind; when the caller
    asks for it, the reason goes to failure (the system's text for the error, such as "Permission
    denied").
*/
bool writeSettingsFile (const std::string& path, const std::string& contents, std::string* failure = nullptr);

/** As above, with the step that writes the bytes supplied by the caller, so that tests can make it fail. */
bool writeSettingsFile (const std::string& path, const std::string& contents, const SettingsWriteStep& writeStep,
                        std::string* failure = nullptr);

/** What a settings file held, line by line; an absent value is a line that was missing or did not convert.

    Numbers are converted as std::stoi reads them (leading spaces, a sign, the digits up to the first
    other character), so "3.7" is 3, "+1" is 1 and a trailing carriage return is ignored. Nothing here is
    range-checked: applying the values (defaults, clamping, selections) is up to the caller.
*/
struct ParsedSettings
{
    /** False only when the file could not be opened; every other field is then empty, and the caller
        falls back to its defaults.
    */
    bool opened = false;

    /** Head line 1: the input frame-rate box's id. */
    std::optional<int> inputRateId;

    /** Head line 2: the output frame-rate box's id. */
    std::optional<int> outputRateId;

    /** Head line 3: the offset in frames, unclamped. */
    std::optional<int> frameOffset;

    /** Head line 4: "Enabled" is on when this is not 0. */
    std::optional<int> enabledValue;

    /** Head line 5, whole and unchanged (a carriage return included); empty when the line is empty. */
    std::optional<std::string> midiOutputName;

    /** The row records in file order, one per device-name line, repeated names included. A merge,
        CC-to-note or channel line that is missing or does not convert keeps the previous record's
        value (off, off and 0 for the first record); merge and CC-to-note are on only for exactly 1.
        The channel index is as read, so values outside 0 to 16 can occur.
    */
    std::vector<SettingsRowRecord> records;
};

/** Reads settings from a stream; the result counts as opened. */
ParsedSettings parseSettings (std::istream& input);

/** Reads the settings file at a path; opened is false when it cannot be opened.

    The file is read as readRegularFile reads it, so a path that names a FIFO, a device node or a
    socket is not read at all: opened is false, as for a missing file. When the caller asks for it,
    failure is set to why the file could not be read (the system's text for the error, or "Not a
    regular file"), or emptied when it was read to its end. Reading can also fail part-way, for a
    folder or on an input/output error; opened is then true and the result holds what was read before.
*/
ParsedSettings readSettingsFile (const std::string& path, std::string* failure = nullptr);

/** The bytes of a file, as readRegularFile read them. */
struct FileContents
{
    /** False when nothing could be read: the path names nothing, may not be read, or names neither
        a regular file nor a folder. A folder opens as a stream opens one, and reading it fails at once.
    */
    bool opened = false;

    /** What was read, up to the end or up to the first error. */
    std::string bytes;

    /** Empty when the file was read to its end; otherwise the system's text for the first error,
        or "Not a regular file".
    */
    std::string failure;
};

/** Reads the whole of the regular file at a path, following symbolic links.

    What the path names is looked at before it is opened, and the opened file once more, so that a
    FIFO, a device node or a socket is never read from: on the message thread, a FIFO would wait for
    a writer for ever and a device such as /dev/zero would never end. Nothing here blocks for such a
    file, and none is even opened unless it took a regular file's place in between.
*/
FileContents readRegularFile (const std::string& path);
