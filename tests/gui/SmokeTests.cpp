/*
    ZEM Quillbank - LTC to MTC converter and MIDI merger
    Copyright (C) 2026 ZEM. GPL-3.0-or-later.
*/

#include <gtest/gtest.h>
#include <juce_gui_basics/juce_gui_basics.h>

TEST (VirtualDisplay, WindowCanBeShown)
{
    juce::DocumentWindow window ("probe", juce::Colours::darkgrey, juce::DocumentWindow::allButtons);
    window.setUsingNativeTitleBar (true);
    window.centreWithSize (100, 50);
    window.setVisible (true);
    juce::MessageManager::getInstance()->runDispatchLoopUntil (100);
    EXPECT_TRUE (window.isOnDesktop());
}
