/*
    ZEM Quillbank - LTC to MTC converter and MIDI merger
    Copyright (C) 2026 ZEM. GPL-3.0-or-later.
*/

#include "config/SettingsFile.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <locale>
#include <memory>
#include <sstream>
#include <streambuf>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

bool operator== (const SettingsRowRecord& a, const SettingsRowRecord& b)
{
    return a.deviceName == b.deviceName && a.merge == b.merge && a.ccToNote == b.ccToNote
        && a.channelIndex == b.channelIndex;
}

std::string formatSettings (const SettingsSnapshot& snapshot)
{
    std::ostringstream out;
    out.imbue (std::locale::classic());

    // The slider never holds -0, but a stream would write it as "-0".
    const auto offset = snapshot.frameOffset == 0.0 ? 0.0 : snapshot.frameOffset;

    out << snapshot.inputRateId << '\n'
        << snapshot.outputRateId << '\n'
        << offset << '\n'
        << (snapshot.enabled ? 1 : 0) << '\n'
        << snapshot.midiOutputName << '\n';

    for (const auto& row : snapshot.rows)
    {
        out << row.deviceName << '\n'
            << (row.merge ? 1 : 0) << '\n'
            << (row.ccToNote ? 1 : 0) << '\n'
            << row.channelIndex << '\n';
    }

    return out.str();
}

namespace
{
bool writeAll (int fileDescriptor, const std::string& contents)
{
    const char* next = contents.data();
    auto remaining = contents.size();

    while (remaining > 0)
    {
        const auto written = ::write (fileDescriptor, next, remaining);

        if (written < 0)
        {
            if (errno == EINTR)
                continue;

            return false;
        }

        next += written;
        remaining -= static_cast<size_t> (written);
    }

    return true;
}

// Writing through a link keeps the link, as writing the file in place would.
std::string resolveTarget (const std::string& path)
{
    struct stat info;

    if (::lstat (path.c_str(), &info) != 0 || ! S_ISLNK (info.st_mode))
        return path;

    const std::unique_ptr<char, decltype (&std::free)> resolved { ::realpath (path.c_str(), nullptr), &std::free };
    return resolved != nullptr ? std::string (resolved.get()) : path;
}

std::string folderOf (const std::string& path)
{
    const auto slash = path.rfind ('/');
    return slash == std::string::npos ? std::string() : path.substr (0, slash + 1);
}

// Named after the process and a counter rather than the target, so a long file name cannot push
// the temporary one past the system's limit.
int createTemporaryFile (const std::string& folder, std::string& temporaryPath)
{
    static std::atomic<unsigned> counter { 0 };

    for (int attempt = 0; attempt < 100; ++attempt)
    {
        temporaryPath = folder + ".quillbank-" + std::to_string (::getpid()) + "-"
                      + std::to_string (counter.fetch_add (1)) + ".tmp";

        const auto fileDescriptor = ::open (temporaryPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);

        if (fileDescriptor >= 0 || errno != EEXIST)
            return fileDescriptor;
    }

    return -1;
}

std::string errorText (int error)
{
    return std::generic_category().message (error != 0 ? error : EIO);
}

// Why a path that names something other than a regular file is neither read nor written.
std::string notRegularFileText (mode_t mode)
{
    return S_ISDIR (mode) ? errorText (EISDIR) : "Not a regular file";
}

bool failWith (std::string* failure, const std::string& reason)
{
    if (failure != nullptr)
        *failure = reason;

    return false;
}

void syncFolder (const std::string& folder)
{
    const auto fileDescriptor = ::open (folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);

    if (fileDescriptor >= 0)
    {
        // The rename has already happened; this only makes it durable, so its result does not matter.
        ::fsync (fileDescriptor);
        ::close (fileDescriptor);
    }
}
} // namespace

bool writeSettingsFile (const std::string& path, const std::string& contents, std::string* failure)
{
    return writeSettingsFile (path, contents, writeAll, failure);
}

bool writeSettingsFile (const std::string& path, const std::string& contents, const SettingsWriteStep& writeStep,
                        std::string* failure)
{
    const auto target = resolveTarget (path);
    const auto folder = folderOf (target);

    // The rename would put a regular file in place of a FIFO, a device node or a socket (and so
    // remove a device node when run as root); such a target is left alone. What it is comes first,
    // so that a folder the user may not write is reported as a folder.
    struct stat existing;

    if (::stat (target.c_str(), &existing) == 0 && ! S_ISREG (existing.st_mode))
        return failWith (failure, notRegularFileText (existing.st_mode));

    // A file that could not be opened for writing in place is not replaced either.
    if (::access (target.c_str(), F_OK) == 0 && ::access (target.c_str(), W_OK) != 0)
        return failWith (failure, errorText (errno));

    std::string temporaryPath;
    const auto fileDescriptor = createTemporaryFile (folder, temporaryPath);

    if (fileDescriptor < 0)
        return failWith (failure, errorText (errno));

    // The first step that fails gives the reason; the descriptor is closed in any case.
    int error = 0;
    const auto step = [&error] (auto&& action)
    {
        if (error != 0)
            return;

        errno = 0;

        if (! action())
            error = errno != 0 ? errno : EIO;
    };

    struct stat previous;

    if (::stat (target.c_str(), &previous) == 0 && S_ISREG (previous.st_mode))
        step ([&] { return ::fchmod (fileDescriptor, previous.st_mode & 07777) == 0; });

    step ([&] { return writeStep (fileDescriptor, contents); });
    step ([&] { return ::fsync (fileDescriptor) == 0; });

    errno = 0;

    if (::close (fileDescriptor) != 0 && error == 0)
        error = errno != 0 ? errno : EIO;

    step ([&] { return std::rename (temporaryPath.c_str(), target.c_str()) == 0; });

    if (error != 0)
    {
        ::unlink (temporaryPath.c_str());
        return failWith (failure, errorText (error));
    }

    syncFolder (folder);
    return true;
}

namespace
{
std::optional<std::string> readLine (std::istream& input)
{
    std::string line;

    if (std::getline (input, line))
        return line;

    return std::nullopt;
}

std::optional<int> readNumber (std::istream& input)
{
    const auto line = readLine (input);

    if (! line)
        return std::nullopt;

    try
    {
        return std::stoi (*line, nullptr, 10);
    }
    catch (const std::invalid_argument&)
    {
    }
    catch (const std::out_of_range&)
    {
    }

    return std::nullopt;
}
} // namespace

ParsedSettings parseSettings (std::istream& input)
{
    ParsedSettings parsed;
    parsed.opened = true;
    parsed.inputRateId = readNumber (input);
    parsed.outputRateId = readNumber (input);
    parsed.frameOffset = readNumber (input);
    parsed.enabledValue = readNumber (input);
    parsed.midiOutputName = readLine (input);

    SettingsRowRecord record;

    while (auto name = readLine (input))
    {
        record.deviceName = std::move (*name);

        if (const auto merge = readNumber (input))
            record.merge = *merge == 1;

        if (const auto ccToNote = readNumber (input))
            record.ccToNote = *ccToNote == 1;

        if (const auto channel = readNumber (input))
            record.channelIndex = *channel;

        parsed.records.push_back (record);
    }

    return parsed;
}

FileContents readRegularFile (const std::string& path)
{
    FileContents contents;
    struct stat info;

    const auto failedWith = [&contents] (int error)
    {
        contents.failure = errorText (error);
        return contents;
    };

    // Anything but a regular file is passed over; a folder counts as opened, as a stream opens one.
    const auto passedOver = [&contents] (mode_t mode)
    {
        contents.opened = S_ISDIR (mode);
        contents.failure = notRegularFileText (mode);
        return contents;
    };

    // Opening a device can itself do something (a serial line, a watchdog), so what the path names
    // is looked at first.
    if (::stat (path.c_str(), &info) != 0)
        return failedWith (errno);

    if (! S_ISREG (info.st_mode))
        return passedOver (info.st_mode);

    // Without blocking, and looked at again once open, should something else have taken the
    // file's place in between: an open of a FIFO would otherwise wait for a writer.
    const auto fileDescriptor = ::open (path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);

    if (fileDescriptor < 0)
        return failedWith (errno);

    if (::fstat (fileDescriptor, &info) != 0 || ! S_ISREG (info.st_mode))
    {
        const auto error = errno;
        ::close (fileDescriptor);
        return S_ISREG (info.st_mode) ? failedWith (error) : passedOver (info.st_mode);
    }

    contents.opened = true;
    contents.bytes.reserve (static_cast<size_t> (info.st_size));
    char buffer[1 << 16];

    for (;;)
    {
        const auto got = ::read (fileDescriptor, buffer, sizeof (buffer));

        if (got > 0)
        {
            contents.bytes.append (buffer, static_cast<size_t> (got));
        }
        else if (got == 0)
        {
            break;
        }
        else if (errno != EINTR)
        {
            contents.failure = errorText (errno);
            break;
        }
    }

    ::close (fileDescriptor);
    return contents;
}

ParsedSettings readSettingsFile (const std::string& path, std::string* failure)
{
    auto contents = readRegularFile (path);

    if (failure != nullptr)
        *failure = contents.failure;

    if (! contents.opened)
        return {};

    // Read where they lie, without the copy that a string stream would make of a large file.
    struct BytesInPlace : public std::streambuf
    {
        explicit BytesInPlace (std::string& bytes) { setg (bytes.data(), bytes.data(), bytes.data() + bytes.size()); }
    } buffer (contents.bytes);

    std::istream input (&buffer);
    return parseSettings (input);
}
