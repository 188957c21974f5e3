/*
    ZEM Quillbank - LTC to MTC converter and MIDI merger
    Copyright (C) 2026 ZEM. GPL-3.0-or-later.
*/

#include "Main.h"

#include "FirstPaint.h"
#include "LTCtoMTC.h"

Application::~Application()
{
    mainWindow = nullptr;
}

const juce::String Application::getApplicationName()
{
    return JUCE_APPLICATION_NAME_STRING;
}

const juce::String Application::getApplicationVersion()
{
    return JUCE_APPLICATION_VERSION_STRING;
}

void Application::initialise (const juce::String&)
{
    // The main component sets the shared colours, so the window's background is read after it.
    auto* content = new LTCtoMTC();
    mainWindow = std::make_unique<MainWindow> (getApplicationName(), content, *this);
}

void Application::shutdown()
{
    mainWindow = nullptr;
}

Application::MainWindow::MainWindow (const juce::String& name, juce::Component* content, Application& ownerToUse)
    : juce::DocumentWindow (
        name,
        juce::Desktop::getInstance().getDefaultLookAndFeel().findColour (juce::ResizableWindow::backgroundColourId),
        juce::DocumentWindow::allButtons, false),
      owner (ownerToUse)
{
    // Set up off the desktop, the native window is created and mapped at its final size and
    // place. On the desktop, the native title bar would map it at the framework's first size of
    // 128 x 128 and leave the final size to requests; a window manager that answers them late
    // reports the first size back, the framework takes that over, and the window stays small.
    setUsingNativeTitleBar (true);
    setContentOwned (content, true);
    setResizable (false, false);
    centreWithSize (getWidth(), getHeight());
    addToDesktop();
    setVisible (true);
    paintFirstTimeNow (*this);
}

void Application::MainWindow::closeButtonPressed()
{
    owner.systemRequestedQuit();
}
