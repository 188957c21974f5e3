/*
    ZEM Quillbank - LTC to MTC converter and MIDI merger
    Copyright (C) 2026 ZEM. GPL-3.0-or-later.
*/

#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

/** Ends a read of a FIFO that waits for a writer, so that a test of such a read fails instead of
    hanging: once the deadline has passed while it lives, a thread of its own opens the FIFO at
    the path for writing and closes it again, over and over until it goes, and the reader then sees
    the end of the file. Nothing is ever written, and a path that names anything but a FIFO is not
    opened.
*/
class FifoRelease
{
public:
    FifoRelease (std::string fifoPath, int millisecondsBeforeRelease);
    ~FifoRelease();

    /** Whether the deadline passed and the FIFO was opened for writing, so the reader waited. */
    bool released() const { return didRelease.load(); }

private:
    void run();

    const std::string path;
    const int deadlineMs;
    std::mutex lock;
    std::condition_variable stopped;
    bool stopping = false;
    std::atomic<bool> didRelease { false };
    std::thread thread;
};
