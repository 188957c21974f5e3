/*
    ZEM Quillbank - LTC to MTC converter and MIDI merger
    Copyright (C) 2026 ZEM. GPL-3.0-or-later.
*/

#include "support/FifoRelease.h"

#include <chrono>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

FifoRelease::FifoRelease (std::string fifoPath, int millisecondsBeforeRelease)
    : path (std::move (fifoPath)),
      deadlineMs (millisecondsBeforeRelease),
      thread ([this] { run(); })
{
}

FifoRelease::~FifoRelease()
{
    {
        const std::lock_guard<std::mutex> guard (lock);
        stopping = true;
    }

    stopped.notify_all();
    thread.join();
}

void FifoRelease::run()
{
    std::unique_lock<std::mutex> guard (lock);
    auto wait = std::chrono::milliseconds (deadlineMs);

    while (! stopped.wait_for (guard, wait, [this] { return stopping; }))
    {
        wait = std::chrono::milliseconds (50);
        struct stat info;

        if (::stat (path.c_str(), &info) != 0 || ! S_ISFIFO (info.st_mode))
            continue;

        // Without blocking: this succeeds only while a reader has the FIFO open or waits in open.
        const auto writer = ::open (path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);

        if (writer >= 0)
        {
            ::close (writer);
            didRelease = true;
        }
    }
}
