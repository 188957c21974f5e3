/*
    ZEM Quillbank - LTC to MTC converter and MIDI merger
    Copyright (C) 2026 ZEM. GPL-3.0-or-later.
*/

#include "config/SettingsFile.h"
#include "support/FifoRelease.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <locale>
#include <sstream>

#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/sysmacros.h>
#include <unistd.h>

void PrintTo (const SettingsRowRecord& r, std::ostream* os)
{
    *os << "{\"" << r.deviceName << "\", " << r.merge << ", " << r.ccToNote << ", " << r.channelIndex << "}";
}

namespace
{
namespace fs = std::filesystem;

std::string lines (std::initializer_list<std::string> values)
{
    std::string text;

    for (const auto& v : values)
        text += v + '\n';

    return text;
}

SettingsSnapshot workedExample()
{
    return { 4, 2, -2.0, true, "Studio Out", { { "Keys In", true, false, 0 }, { "Pad Box", false, true, 10 } } };
}

const std::string workedExampleText =
    lines ({ "4", "2", "-2", "1", "Studio Out", "Keys In", "1", "0", "0", "Pad Box", "0", "1", "10" });

ParsedSettings parseText (const std::string& text)
{
    std::istringstream input (text);
    return parseSettings (input);
}

void expectParsed (const ParsedSettings& actual, const ParsedSettings& expected)
{
    EXPECT_EQ (actual.opened, expected.opened);
    EXPECT_EQ (actual.inputRateId, expected.inputRateId);
    EXPECT_EQ (actual.outputRateId, expected.outputRateId);
    EXPECT_EQ (actual.frameOffset, expected.frameOffset);
    EXPECT_EQ (actual.enabledValue, expected.enabledValue);
    EXPECT_EQ (actual.midiOutputName, expected.midiOutputName);
    EXPECT_EQ (actual.records, expected.records);
}

std::string readBytes (const fs::path& path)
{
    std::ifstream file (path, std::ios::binary);
    return { std::istreambuf_iterator<char> (file), std::istreambuf_iterator<char>() };
}

/** Whether every user may pass through each folder on the way to this one. */
bool everyoneCanReach (const fs::path& where)
{
    for (auto path = where;; path = path.parent_path())
    {
        struct stat info;

        if (::stat (path.c_str(), &info) != 0 || (info.st_mode & S_IXOTH) == 0)
            return false;

        if (path == path.root_path() || path.empty())
            return true;
    }
}

/** Runs an action in a child process as an ordinary user would, so that file permissions hold
    for it even when the tests run as root (the child then becomes the user "nobody"), and gives
    what it returned.
*/
std::string asOrdinaryUser (const std::function<std::string()>& action)
{
    int channel[2];

    if (::pipe (channel) != 0)
        return "no pipe";

    const auto child = ::fork();

    if (child == 0)
    {
        ::close (channel[0]);
        constexpr uid_t nobody = 65534;

        if (::geteuid() == 0 && (::setgroups (0, nullptr) != 0 || ::setgid (nobody) != 0 || ::setuid (nobody) != 0))
            ::_exit (2);

        const auto result = action();
        const auto written = ::write (channel[1], result.data(), result.size());
        ::_exit (written == static_cast<ssize_t> (result.size()) ? 0 : 3);
    }

    ::close (channel[1]);
    std::string result;
    char buffer[256];
    ssize_t got;

    while (child > 0 && (got = ::read (channel[0], buffer, sizeof (buffer))) > 0)
        result.append (buffer, static_cast<size_t> (got));

    ::close (channel[0]);
    int status = 0;
    const bool ended = child > 0 && ::waitpid (child, &status, 0) == child && WIFEXITED (status);
    EXPECT_TRUE (ended && WEXITSTATUS (status) == 0) << "the child process failed";
    return result;
}

// A global locale that groups thousands, as a host application might install.
struct GroupingPunctuation : std::numpunct<char>
{
    char do_thousands_sep() const override { return ','; }
    std::string do_grouping() const override { return "\3"; }
};
} // namespace

TEST (SettingsFormat, WorkedExampleByteForByte)
{
    EXPECT_EQ (formatSettings (workedExample()), workedExampleText);
}

TEST (SettingsFormat, OddValues)
{
    struct Case
    {
        const char* what;
        SettingsSnapshot snapshot;
        std::string expected;
    };

    const Case cases[] = {
        { "no rows", { 1, 1, 0.0, false, "No Output", {} }, lines ({ "1", "1", "0", "0", "No Output" }) },
        { "no output selected",
          { 0, 0, 0.0, false, "", { { "A", false, false, -1 } } },
          lines ({ "0", "0", "0", "0", "", "A", "0", "0", "-1" }) },
        { "offset at the low end", { 3, 1, -30.0, true, "", {} }, lines ({ "3", "1", "-30", "1", "" }) },
        { "offset at the high end", { 3, 1, 30.0, true, "", {} }, lines ({ "3", "1", "30", "1", "" }) },
        { "negative zero offset", { 3, 1, -0.0, true, "", {} }, lines ({ "3", "1", "0", "1", "" }) },
        { "names outside ASCII",
          { 1, 2, 12.0, false, "Sortie \xC3\xA9", { { "\xE9\x8D\xB5\xE7\x9B\xA4", true, true, 16 } } },
          lines ({ "1", "2", "12", "0", "Sortie \xC3\xA9", "\xE9\x8D\xB5\xE7\x9B\xA4", "1", "1", "16" }) },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        EXPECT_EQ (formatSettings (c.snapshot), c.expected);
    }
}

TEST (SettingsFormat, IgnoresTheGlobalLocale)
{
    const auto previous = std::locale::global (std::locale (std::locale::classic(), new GroupingPunctuation));
    const auto text = formatSettings ({ 1234, 2, 1.0, true, "", { { "A", false, false, 1000 } } });
    std::locale::global (previous);

    EXPECT_EQ (text, lines ({ "1234", "2", "1", "1", "", "A", "0", "0", "1000" }));
}

TEST (SettingsRead, DamagedAndOddFiles)
{
    struct Case
    {
        const char* what;
        std::string text;
        ParsedSettings expected;
    };

    const auto head = lines ({ "1", "2", "0", "1", "Out" });

    const Case cases[] = {
        { "empty file", "", { true, {}, {}, {}, {}, {}, {} } },
        { "short file", "3\n2\n", { true, 3, 2, {}, {}, {}, {} } },
        { "four lines: no output name at all", lines ({ "1", "2", "-3", "0" }), { true, 1, 2, -3, 0, {}, {} } },
        { "worked example without its last line feed",
          workedExampleText.substr (0, workedExampleText.size() - 1),
          { true, 4, 2, -2, 1, "Studio Out", { { "Keys In", true, false, 0 }, { "Pad Box", false, true, 10 } } } },
        { "enabled 2", lines ({ "1", "1", "0", "2", "" }), { true, 1, 1, 0, 2, "", {} } },
        { "enabled -1", lines ({ "1", "1", "0", "-1", "" }), { true, 1, 1, 0, -1, "", {} } },
        { "enabled text", lines ({ "1", "1", "0", "on", "" }), { true, 1, 1, 0, {}, "", {} } },
        { "numbers as stoi reads them", lines ({ " 4", "2x", "3.7", "+0", "" }), { true, 4, 2, 3, 0, "", {} } },
        { "out-of-range numbers are skipped",
          lines ({ "99999999999", "-99999999999", "45", "1", "" }),
          { true, {}, {}, 45, 1, "", {} } },
        { "switches on only for exactly 1",
          head + lines ({ "A", "2", "01", "0", "B", "+1", "1.9", "0", "C", " 1", "-1", "0" }),
          { true, 1, 2, 0, 1, "Out", { { "A", false, true, 0 }, { "B", true, true, 0 }, { "C", true, false, 0 } } } },
        { "first record without values starts off, off, original channel",
          head + lines ({ "A", "x", "", "ch" }),
          { true, 1, 2, 0, 1, "Out", { { "A", false, false, 0 } } } },
        { "bad values carry over",
          head + lines ({ "A", "1", "1", "5", "B", "yes", "99999999999", "-" }),
          { true, 1, 2, 0, 1, "Out", { { "A", true, true, 5 }, { "B", true, true, 5 } } } },
        { "file ends inside a record",
          head + lines ({ "A", "1", "1", "5", "B", "0" }),
          { true, 1, 2, 0, 1, "Out", { { "A", true, true, 5 }, { "B", false, true, 5 } } } },
        { "file ends after a name",
          head + lines ({ "A", "1", "0", "7" }) + "B",
          { true, 1, 2, 0, 1, "Out", { { "A", true, false, 7 }, { "B", true, false, 7 } } } },
        { "two records for one device stay in order",
          head + lines ({ "A", "1", "0", "3", "A", "0", "1", "4" }),
          { true, 1, 2, 0, 1, "Out", { { "A", true, false, 3 }, { "A", false, true, 4 } } } },
        { "channels as read",
          head + lines ({ "A", "1", "0", "16", "B", "1", "0", "17", "C", "1", "0", "-1" }),
          { true,
            1,
            2,
            0,
            1,
            "Out",
            { { "A", true, false, 16 }, { "B", true, false, 17 }, { "C", true, false, -1 } } } },
        { "empty output name",
          lines ({ "1", "2", "0", "1", "", "A", "1", "0", "0" }),
          { true, 1, 2, 0, 1, "", { { "A", true, false, 0 } } } },
        { "carriage returns",
          "4\r\n2\r\n-2\r\n1\r\nStudio Out\r\nKeys In\r\n1\r\n1\r\n9\r\n",
          { true, 4, 2, -2, 1, "Studio Out\r", { { "Keys In\r", true, true, 9 } } } },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        expectParsed (parseText (c.text), c.expected);
    }
}

class SettingsFileOnDisk : public ::testing::Test
{
protected:
    void SetUp() override
    {
        std::string pattern = (fs::temp_directory_path() / "quillbank-settings-XXXXXX").string();
        ASSERT_NE (::mkdtemp (pattern.data()), nullptr);
        folder = pattern;
        target = folder / "autosave.zems";
    }

    void TearDown() override { fs::remove_all (folder); }

    std::vector<std::string> entries (const fs::path& where) const
    {
        std::vector<std::string> names;

        for (const auto& entry : fs::directory_iterator (where))
            names.push_back (entry.path().filename().string());

        std::sort (names.begin(), names.end());
        return names;
    }

    void writeOldFile() const { std::ofstream (target, std::ios::binary) << "old\ncontents\n"; }

    fs::path folder, target;
};

TEST_F (SettingsFileOnDisk, ReplacesTheFileAndKeepsItsPermissions)
{
    writeOldFile();
    ::chmod (target.c_str(), 0640);

    ASSERT_TRUE (writeSettingsFile (target.string(), workedExampleText));
    EXPECT_EQ (readBytes (target), workedExampleText);
    EXPECT_EQ (entries (folder), std::vector<std::string> { "autosave.zems" });

    struct stat info;
    ASSERT_EQ (::stat (target.c_str(), &info), 0);
    EXPECT_EQ (info.st_mode & 07777, 0640u);

    const auto first = readBytes (target);
    ASSERT_TRUE (writeSettingsFile (target.string(), formatSettings (workedExample())));
    EXPECT_EQ (readBytes (target), first);
}

TEST_F (SettingsFileOnDisk, FailedWriteLeavesThePreviousFile)
{
    const auto writeHalfThenFail = [] (int fd, const std::string& contents)
    {
        EXPECT_EQ (::write (fd, contents.data(), contents.size() / 2), static_cast<ssize_t> (contents.size() / 2));
        return false;
    };

    writeOldFile();
    const auto before = readBytes (target);

    std::string failure;
    EXPECT_FALSE (writeSettingsFile (target.string(), workedExampleText, writeHalfThenFail, &failure));
    EXPECT_EQ (failure, "Input/output error"); // the step failed without saying why
    EXPECT_EQ (readBytes (target), before);
    EXPECT_EQ (entries (folder), std::vector<std::string> { "autosave.zems" });

    fs::remove (target);
    EXPECT_FALSE (writeSettingsFile (target.string(), workedExampleText, writeHalfThenFail));
    EXPECT_TRUE (entries (folder).empty());
}

TEST_F (SettingsFileOnDisk, PathsThatCannotBeWrittenWriteNothingAndSayWhy)
{
    std::ofstream (folder / "plain") << "not a folder\n";

    const std::pair<fs::path, std::string> cases[] = {
        { folder / "missing" / "autosave.zems", "No such file or directory" },
        { folder / "plain" / "autosave.zems", "Not a directory" },
    };

    for (const auto& [path, reason] : cases)
    {
        SCOPED_TRACE (path);
        std::string failure;
        EXPECT_FALSE (writeSettingsFile (path.string(), workedExampleText, &failure));
        EXPECT_EQ (failure, reason);
        EXPECT_EQ (entries (folder), std::vector<std::string> { "plain" });
    }
}

TEST_F (SettingsFileOnDisk, WritesThroughASymbolicLink)
{
    fs::create_directory (folder / "real");
    const auto real = folder / "real" / "settings.zems";
    std::ofstream (real) << "old\n";
    fs::create_symlink (real, target);

    ASSERT_TRUE (writeSettingsFile (target.string(), workedExampleText));
    EXPECT_TRUE (fs::is_symlink (target));
    EXPECT_EQ (readBytes (real), workedExampleText);
    EXPECT_EQ (entries (folder / "real"), std::vector<std::string> { "settings.zems" });
}

TEST_F (SettingsFileOnDisk, LeavesATargetThatIsNotARegularFileUntouched)
{
    struct Case
    {
        const char* what;
        std::function<bool (const fs::path& target)> make; // false: cannot be made here
        fs::path node; // where the link at the target leads; empty when there is no link
    };

    const Case cases[] = {
        { "FIFO", [] (const fs::path& t) { return ::mkfifo (t.c_str(), 0666) == 0; }, {} },
        { "device node",
          [] (const fs::path& t) { return ::mknod (t.c_str(), S_IFCHR | 0666, ::makedev (1, 3)) == 0; },
          {} },
        { "folder", [] (const fs::path& t) { return fs::create_directory (t); }, {} },
        { "link to /dev/null", [] (const fs::path& t) { return ::symlink ("/dev/null", t.c_str()) == 0; },
          "/dev/null" },
        { "link to a FIFO",
          [this] (const fs::path& t)
          { return ::mkfifo ((folder / "fifo").c_str(), 0666) == 0 && ::symlink ("fifo", t.c_str()) == 0; },
          folder / "fifo" },
    };

    const auto temporaryFilesIn = [] (const fs::path& where)
    {
        std::vector<std::string> names;

        for (const auto& entry : fs::directory_iterator (where))
            if (entry.path().filename().string().rfind (".quillbank-", 0) == 0)
                names.push_back (entry.path().filename().string());

        return names;
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.what);
        fs::remove_all (folder);
        fs::create_directory (folder);

        if (! c.make (target))
        {
            std::cout << "[ skipped  ] " << c.what << ": cannot be made here" << std::endl;
            continue;
        }

        const auto node = c.node.empty() ? target : c.node;
        struct stat before;
        ASSERT_EQ (::lstat (node.c_str(), &before), 0);
        const auto entriesBefore = entries (folder);
        const auto linkBefore = fs::is_symlink (target) ? fs::read_symlink (target) : fs::path();

        std::string failure;
        EXPECT_FALSE (writeSettingsFile (target.string(), workedExampleText, &failure));
        EXPECT_EQ (failure, std::string (S_ISDIR (before.st_mode) ? "Is a directory" : "Not a regular file"));

        struct stat after;
        ASSERT_EQ (::lstat (node.c_str(), &after), 0);
        EXPECT_EQ (after.st_mode, before.st_mode);
        EXPECT_EQ (after.st_ino, before.st_ino);
        EXPECT_EQ (after.st_rdev, before.st_rdev);
        EXPECT_EQ (entries (folder), entriesBefore);
        EXPECT_TRUE (temporaryFilesIn (node.parent_path()).empty());
        EXPECT_EQ (fs::is_symlink (target) ? fs::read_symlink (target) : fs::path(), linkBefore);
    }
}

TEST_F (SettingsFileOnDisk, FilesThatCannotBeReadSayWhy)
{
    std::ofstream (folder / "plain") << "2\n";
    fs::create_directory (folder / "folder.zems");
    ASSERT_EQ (::mkfifo ((folder / "pipe.zems").c_str(), 0666), 0);
    fs::create_symlink ("pipe.zems", folder / "link-to-pipe.zems");
    fs::create_symlink ("/dev/null", folder / "link-to-null.zems");

    struct Case
    {
        fs::path path;
        bool opened; // a folder opens like a file, and reading it fails at once
        std::string reason;
    };

    // A device that ends at once stands for those that never end, such as /dev/zero.
    const Case cases[] = {
        { folder / "none.zems", false, "No such file or directory" },
        { folder / "plain" / "x.zems", false, "Not a directory" },
        { folder / "folder.zems", true, "Is a directory" },
        { folder / "plain", true, "" },
        { folder / "pipe.zems", false, "Not a regular file" },
        { folder / "link-to-pipe.zems", false, "Not a regular file" },
        { folder / "link-to-null.zems", false, "Not a regular file" },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.path);
        std::string failure = "left from before";
        const FifoRelease release (c.path.string(), 5000);
        const auto parsed = readSettingsFile (c.path.string(), &failure);
        EXPECT_FALSE (release.released()) << "the read waited for a writer";
        EXPECT_EQ (parsed.opened, c.opened);
        EXPECT_EQ (failure, c.reason);
    }

    expectParsed (readSettingsFile ((folder / "none.zems").string()), {});
    EXPECT_TRUE (fs::is_fifo (folder / "pipe.zems"));
}

TEST_F (SettingsFileOnDisk, AFolderThatMayNotBeWrittenIsReportedAsAFolder)
{
    ::chmod (folder.c_str(), 0755);

    if (! everyoneCanReach (folder))
        GTEST_SKIP() << "an ordinary user cannot reach " << folder;

    // Root's folders, or when this is an ordinary user already, its own made read-only.
    const auto theirs = folder / "theirs";
    fs::create_directories (theirs / "show.zems");
    ::chmod ((theirs / "show.zems").c_str(), 0555);
    ::chmod (theirs.c_str(), 0555);

    const std::pair<fs::path, std::string> cases[] = {
        { theirs / "show.zems", "Is a directory" },
        { theirs / "new.zems", "Permission denied" },
    };

    for (const auto& [path, reason] : cases)
    {
        SCOPED_TRACE (path);
        const auto failure = asOrdinaryUser (
            [&path]
            {
                std::string why;
                return writeSettingsFile (path.string(), workedExampleText, &why) ? std::string ("written") : why;
            });
        EXPECT_EQ (failure, reason);
    }

    EXPECT_TRUE (fs::is_empty (theirs / "show.zems"));
    EXPECT_EQ (entries (theirs), std::vector<std::string> { "show.zems" });
    ::chmod (theirs.c_str(), 0755); // so that the folder can be removed
}

TEST_F (SettingsFileOnDisk, RoundTrip)
{
    const SettingsSnapshot snapshots[] = {
        workedExample(),
        { 0, 0, 0.0, false, "", {} },
        { 3, 1, -30.0, true, "", { { "", false, false, -1 }, { "K\xC3\xBC\x63he", true, true, 16 } } },
        { 1, 2, 30.0, false, "No Output", { { "A", true, false, 0 }, { "A", false, true, 1 } } },
    };

    for (const auto& s : snapshots)
    {
        ASSERT_TRUE (writeSettingsFile (target.string(), formatSettings (s)));
        expectParsed (readSettingsFile (target.string()),
                      { true, s.inputRateId, s.outputRateId, static_cast<int> (s.frameOffset), s.enabled ? 1 : 0,
                        s.midiOutputName, s.rows });
    }
}
