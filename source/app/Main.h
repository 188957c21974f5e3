/*
    ZEM Quillbank - LTC to MTC converter and MIDI merger
    Copyright (C) 2026 ZEM. GPL-3.0-or-later.
*/

#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

/** The application object: builds the main component and its window at start, and takes
    them down at quit.
*/
class Application : public juce::JUCEApplication
{
public:
    Application() = default;
    ~Application() override;

    const juce::String getApplicationName() override;
    const juce::String getApplicationVersion() override;
    void initialise (const juce::String& commandLine) override;
    void shutdown() override;

    /** The main window: a fixed-size document window holding the main component. */
    class MainWindow : public juce::DocumentWindow
    {
    public:
        MainWindow (const juce::String& name, juce::Component* content, Application& ownerToUse);
        ~MainWindow() override = default;

        void closeButtonPressed() override;

    private:
        Application& owner;

        JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (MainWindow)
    };

private:
    std::unique_ptr<MainWindow> mainWindow;
};
