/*
    ZEM Quillbank - LTC to MTC converter and MIDI merger
    Copyright (C) 2026 ZEM. GPL-3.0-or-later.
*/

#pragma once

#include "MidiDevices.h"

#include <map>
#include <mutex>
#include <vector>

/** What a virtual output device received, kept by device name across every opening of it. */
class VirtualMidiOutputLog
{
public:
    /** A message that left the device, with the millisecond counter (high resolution) at that moment. */
    struct SentMessage
    {
        std::vector<juce::uint8> bytes;
        double timeMs = 0;
        bool fromBlock = false; ///< sent by the sending thread, not by sendMessageNow
    };

    /** A block handed to sendBlockOfMessages. */
    struct HandedBlock
    {
        std::vector<std::vector<juce::uint8>> messages;
        std::vector<int> samplePositions;
        double startMs = 0;
        double rate = 0;
    };

    /** What the log held when it was taken; the log is then empty. */
    struct Taken
    {
        std::vector<SentMessage> sent;
        std::vector<HandedBlock> blocks;
    };

    std::vector<SentMessage> getSent() const;
    std::vector<HandedBlock> getBlocks() const;
    /** Empties the log and returns what it held, so that long runs can read it as they go. */
    Taken take();
    int getOpenCount() const;
    /** What happened to the device, in order: "open", "start", "stop" (of the sending thread)
        and "close", over every opening of it.
    */
    juce::StringArray getEvents() const;
    void clear();

    void recordSent (const juce::MidiMessage& message, bool fromBlock);
    void recordBlock (const juce::MidiBuffer& buffer, double startMs, double rate);
    void recordEvent (const juce::String& event);

private:
    mutable std::mutex lock;
    std::vector<SentMessage> sent;
    std::vector<HandedBlock> blocks;
    juce::StringArray events;
};

/** MIDI devices that exist only in this process, for tests and benchmarks.

    Outputs record what they send; they send as the real ones do, through a TimedMidiSender.
    Inputs are fed by the test from any thread; a delivery holds the same lock that adding and
    removing handlers takes, as the framework's device manager does.
*/
class VirtualMidiDevices final : public MidiDevices
{
public:
    VirtualMidiDevices();
    ~VirtualMidiDevices() override;

    /** Replaces the list of output devices (names may repeat). */
    void setOutputNames (const juce::StringArray& names);
    /** Replaces the list of input devices. */
    void setInputNames (const juce::StringArray& names);
    /** Makes opening an output of this name fail (or succeed again). */
    void setOutputOpenFails (const juce::String& name, bool shouldFail);

    /** The log of the output of this name (created on first use). */
    std::shared_ptr<VirtualMidiOutputLog> getOutputLog (const juce::String& name);

    /** Delivers a message as the input of this name would; returns true when a handler got it. */
    bool feed (const juce::String& inputName, const juce::MidiMessage& message);

    bool isInputEnabled (const juce::String& name) const;
    int getNumHandlers (const juce::String& name) const;
    /** Every input call made, as "enable NAME", "disable NAME", "add NAME", "remove NAME". */
    juce::StringArray getInputCalls() const;

    juce::StringArray getOutputNames() override;
    std::unique_ptr<MidiOutputPort> openOutput (int index) override;
    juce::StringArray getInputNames() override;
    void setInputEnabled (const juce::String& name, bool enabled) override;
    void addInputHandler (const juce::String& name, MidiInputHandler* handler) override;
    void removeInputHandler (const juce::String& name, MidiInputHandler* handler) override;

private:
    mutable std::mutex listLock;
    juce::StringArray outputNames, inputNames;
    juce::StringArray failingOutputs;
    std::map<juce::String, std::shared_ptr<VirtualMidiOutputLog>> logs;
    juce::StringArray inputCalls;

    mutable std::recursive_mutex callbackLock;
    juce::StringArray enabledInputs;
    std::vector<std::pair<juce::String, MidiInputHandler*>> handlers;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (VirtualMidiDevices)
};
