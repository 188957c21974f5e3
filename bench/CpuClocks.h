/*
    ZEM Quillbank - LTC to MTC converter and MIDI merger
    Copyright (C) 2026 ZEM. GPL-3.0-or-later.
*/

#pragma once

#include <juce_core/juce_core.h>

#include <pthread.h>
#include <sys/resource.h>
#include <time.h>

/** CPU seconds used so far by this whole process, in user and system time. */
inline double processCpuSeconds()
{
    rusage usage {};
    getrusage (RUSAGE_SELF, &usage);
    return (double) usage.ru_utime.tv_sec + usage.ru_utime.tv_usec * 1e-6 + (double) usage.ru_stime.tv_sec
         + usage.ru_stime.tv_usec * 1e-6;
}

/** CPU seconds used so far by a running framework thread. */
inline double threadCpuSeconds (juce::Thread& thread)
{
    clockid_t clock {};
    timespec used {};

    if (pthread_getcpuclockid ((pthread_t) thread.getThreadId(), &clock) != 0 || clock_gettime (clock, &used) != 0)
        return 0;

    return (double) used.tv_sec + used.tv_nsec * 1e-9;
}
