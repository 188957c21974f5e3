/*
    ZEM Quillbank - LTC to MTC converter and MIDI merger
    Copyright (C) 2026 ZEM. GPL-3.0-or-later.
*/

#include <gtest/gtest.h>
#include <juce_gui_basics/juce_gui_basics.h>

#include <X11/Xlib.h>

namespace
{
// The framework installs lenient X error handlers only for applications; a test program on a
// bare X server would otherwise be ended by the first harmless protocol error.
int ignoreXError (Display*, XErrorEvent*)
{
    return 0;
}

int ignoreXIOError (Display*)
{
    return 0;
}
} // namespace

int main (int argc, char** argv)
{
    testing::InitGoogleTest (&argc, argv);
    XSetErrorHandler (ignoreXError);
    XSetIOErrorHandler (ignoreXIOError);
    const juce::ScopedJuceInitialiser_GUI juce;
    return RUN_ALL_TESTS();
}
