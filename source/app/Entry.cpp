/*
    ZEM Quillbank - LTC to MTC converter and MIDI merger
    Copyright (C) 2026 ZEM. GPL-3.0-or-later.
*/

#include "app/Main.h"
#include "config/SettingsNames.h"

#include <cstring>
#include <vector>

juce::JUCEApplicationBase* juce_CreateApplication();
juce::JUCEApplicationBase* juce_CreateApplication()
{
    return new Application();
}

// The framework turns every argument into its text unchecked, and bytes that are not UTF-8 overrun
// its buffer before the first window opens. The program reads no arguments, so those are not
// handed on; the rest is what the framework's own entry point does.
extern "C" int main (int argc, char* argv[])
{
    std::vector<const char*> arguments;

    for (int i = 0; i < argc; ++i)
        if (i == 0 || isWellFormedText (argv[i], std::strlen (argv[i])))
            arguments.push_back (argv[i]);

    arguments.push_back (nullptr);

    juce::JUCEApplicationBase::createInstance = &juce_CreateApplication;
    return juce::JUCEApplicationBase::main ((int) arguments.size() - 1, arguments.data());
}
