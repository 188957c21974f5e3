/*
    ZEM Quillbank - LTC to MTC converter and MIDI merger
    Copyright (C) 2026 ZEM. GPL-3.0-or-later.
*/

#pragma once

#include "MidiDevices.h"

#include <map>
#include <vector>

/** The machine's real MIDI devices, through the framework.

    Outputs are juce::MidiOutput objects opened by the identifier of the device at the given
    index. Inputs are enabled and listened to through the audio device manager, so that its
    saved state keeps listing the enabled inputs. Where two present devices share a name, the
    first of them is the one meant.
*/
class JuceMidiDevices final : public MidiDevices
{
public:
    explicit JuceMidiDevices (juce::AudioDeviceManager& deviceManagerToUse);
    ~JuceMidiDevices() override;

    juce::StringArray getOutputNames() override;
    std::unique_ptr<MidiOutputPort> openOutput (int index) override;
    juce::StringArray getInputNames() override;
    void setInputEnabled (const juce::String& name, bool enabled) override;
    void addInputHandler (const juce::String& name, MidiInputHandler* handler) override;
    void removeInputHandler (const juce::String& name, MidiInputHandler* handler) override;

private:
    class HandlerAdapter;

    juce::String findInputIdentifier (const juce::String& name);
    HandlerAdapter* adapterFor (MidiInputHandler* handler);

    juce::AudioDeviceManager& deviceManager;
    std::map<MidiInputHandler*, std::unique_ptr<HandlerAdapter>> adapters;

    struct Registration
    {
        juce::String name, identifier;
        juce::MidiInputCallback* callback;
    };

    std::vector<Registration> registrations;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (JuceMidiDevices)
};
