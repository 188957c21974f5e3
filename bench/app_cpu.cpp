/*
    ZEM Quillbank - LTC to MTC converter and MIDI merger
    Copyright (C) 2026 ZEM. GPL-3.0-or-later.

    CPU of the running application per second of wall time, in three states: idle with "Enabled"
    off, waiting for LTC with "Enabled" on, and converting LTC to MTC with a merged input carrying
    500 messages a second. The main component runs in its window on the display (run this under
    scripts/with-display.sh), over virtual MIDI devices and the test audio device, which plays
    libltc's LTC in real time. Prints the process's CPU for each state, the threads that used it,
    and the ratios of the states to the idle one.
*/

#include "CpuClocks.h"
#include "support/AppFixture.h"
#include "support/LibLtcSignal.h"
#include "support/ShowRun.h"

#include <X11/Xlib.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <unistd.h>

namespace
{
int ignoreXError (Display*, XErrorEvent*)
{
    return 0;
}

int ignoreXIOError (Display*)
{
    return 0;
}

/** CPU seconds used so far by each live thread of this process, summed by thread name. */
std::map<std::string, double> cpuSecondsByThreadName()
{
    std::map<std::string, double> byName;
    const auto ticksPerSecond = (double) sysconf (_SC_CLK_TCK);

    for (const auto& task : juce::File ("/proc/self/task").findChildFiles (juce::File::findDirectories, false))
    {
        std::ifstream in (task.getChildFile ("stat").getFullPathName().toStdString());
        std::string line;

        if (! std::getline (in, line))
            continue;

        // "tid (name) state ...": the name may hold spaces, so the fields are counted after ')'.
        const auto open = line.find ('('), close = line.rfind (')');

        if (open == std::string::npos || close == std::string::npos)
            continue;

        std::istringstream fields (line.substr (close + 2));
        std::string field;
        double userTicks = 0, systemTicks = 0;

        for (int index = 3; fields >> field; ++index)
        {
            if (index == 14)
                userTicks = std::atof (field.c_str());
            else if (index == 15)
                systemTicks = std::atof (field.c_str());
        }

        byName[line.substr (open + 1, close - open - 1)] += (userTicks + systemTicks) / ticksPerSecond;
    }

    return byName;
}

struct StateFigures
{
    const char* name;
    double cpuPercent = 0, generatorPercent = 0;
    std::map<std::string, double> threadPercent;
};

/** Runs the message loop for this long and returns the process's CPU per wall second. */
StateFigures measure (const char* name, double seconds, juce::Thread& generator)
{
    StateFigures figures;
    figures.name = name;
    const auto generatorBefore = threadCpuSeconds (generator);
    const auto threadsBefore = cpuSecondsByThreadName();
    const auto cpuBefore = processCpuSeconds();
    const auto wallBefore = juce::Time::getMillisecondCounterHiRes();

    juce::MessageManager::getInstance()->runDispatchLoopUntil ((int) (seconds * 1000.0));

    const auto wallSeconds = (juce::Time::getMillisecondCounterHiRes() - wallBefore) / 1000.0;
    figures.cpuPercent = 100.0 * (processCpuSeconds() - cpuBefore) / wallSeconds;
    figures.generatorPercent = 100.0 * (threadCpuSeconds (generator) - generatorBefore) / wallSeconds;

    for (const auto& [thread, used] : cpuSecondsByThreadName())
    {
        const auto before = threadsBefore.count (thread) != 0 ? threadsBefore.at (thread) : 0.0;
        figures.threadPercent[thread] = 100.0 * (used - before) / wallSeconds;
    }

    return figures;
}

void print (const StateFigures& figures, double idlePercent)
{
    std::printf ("%-34s %6.2f %% of one core  (%.2f x idle)\n", figures.name, figures.cpuPercent,
                 idlePercent > 0 ? figures.cpuPercent / idlePercent : 0.0);

    for (const auto& [thread, percent] : figures.threadPercent)
        if (percent >= 0.01)
            std::printf ("    %-30s %6.2f %%\n", thread.c_str(), percent);

    std::printf ("    of which the generator thread  %6.2f %%\n", figures.generatorPercent);
}
} // namespace

int main (int argc, char** argv)
{
    const double secondsPerState = argc > 1 ? std::atof (argv[1]) : 20.0;

    XSetErrorHandler (ignoreXError);
    XSetIOErrorHandler (ignoreXIOError);
    const juce::ScopedJuceInitialiser_GUI juce;

    TemporaryHome home;
    VirtualMidiDevices devices;
    devices.setOutputNames ({ "Bench Out" });
    devices.setInputNames ({ "Bench In" });

    // "30 FPS" in and out, "Enabled" off, the output chosen and the input merged on channel 3
    // with controller changes turned into notes.
    home.settingsFolder().createDirectory();
    home.settingsFolder().getChildFile ("autosave.zems").replaceWithText ("2\n2\n0\n0\nBench Out\nBench In\n1\n1\n3\n");

    TestAudioDeviceType* audio = nullptr;
    auto app = std::make_unique<LTCtoMTC> (testEnvironment (devices, 0, audio));
    auto& generator = app->audioInputListener.mtcThread;

    // Threads take the name of the thread that starts them, and a name of more than 15
    // characters ("JUCE Demo Thread") is refused; named now, the message thread stands apart
    // from the threads that the component has started.
    juce::Thread::setCurrentThreadName ("Message Thread");

    juce::DocumentWindow window ("ZEM Quillbank", juce::Colours::darkgrey, juce::DocumentWindow::allButtons);
    window.setUsingNativeTitleBar (true);
    window.setContentNonOwned (app.get(), true);
    window.setResizable (false, false);
    window.centreWithSize (window.getWidth(), window.getHeight());
    window.setVisible (true);
    juce::MessageManager::getInstance()->runDispatchLoopUntil (1000);

    if (audio == nullptr || app->deviceManager.getCurrentAudioDevice() == nullptr)
    {
        std::fprintf (stderr, "the test audio device did not open\n");
        return 1;
    }

    LibLtcSignal::Options options;
    options.framesPerSecond = 30.0;
    options.sampleRate = app->deviceManager.getCurrentAudioDevice()->getCurrentSampleRate();
    options.start = { 10, 0, 0, 0 };
    options.numFrames = (int) (secondsPerState * 2 * 30);
    LibLtcSignal ltc (options);

    std::printf ("ZEM Quillbank CPU per second of wall time, %.0f s per state, main window on the display\n",
                 secondsPerState);

    const auto idle = measure ("idle, \"Enabled\" off", secondsPerState, generator);

    app->enableToggle->setToggleState (true, juce::sendNotificationSync);
    const auto waiting = measure ("waiting for LTC, \"Enabled\" on", secondsPerState, generator);

    audio->setInputSamples (ltc.samples, true);
    MergerFeeder feeder (devices, "Bench In", mergedTestMessage, 500.0, 1, 0);
    feeder.start();
    juce::MessageManager::getInstance()->runDispatchLoopUntil (500);
    const auto running = measure ("running LTC to MTC, merger loaded", secondsPerState, generator);
    feeder.stop();

    const bool converted = app->statusLabel.getText() == "[Running LTC]";

    print (idle, idle.cpuPercent);
    print (waiting, idle.cpuPercent);
    print (running, idle.cpuPercent);
    std::printf ("status while running: %s; %lld merged messages fed by the \"MIDI Feeder\" thread, which\n"
                 "stands in for a MIDI driver, and LTC played by the \"Test Audio\" thread, which stands in\n"
                 "for an audio driver and runs the decoder\n",
                 app->statusLabel.getText().toRawUTF8(), (long long) feeder.fed.load());

    window.clearContentComponent();
    app = nullptr;
    return converted ? 0 : 1;
}
