/*
    ZEM Quillbank - LTC to MTC converter and MIDI merger
    Copyright (C) 2026 ZEM. GPL-3.0-or-later.
*/

#include "Main.h"

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
        juce::DocumentWindow::allButtons),
      owner (ownerToUse)
{
    setUsingNativeTitleBar (true);
    setContentOwned (content, true);
    setResizable (false, false);
    centreWithSize (getWidth(), getHeight());
    setVisible (true);
}

void Application::MainWindow::closeButtonPressed()
{
    owner.systemRequestedQuit();
}
