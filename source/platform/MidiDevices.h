/*
    ZEM Quillbank - LTC to MTC converter and MIDI merger
    Copyright (C) 2026 ZEM. GPL-3.0-or-later.
*/

#pragma once

#include <juce_audio_devices/juce_audio_devices.h>

#include <memory>

/** An open MIDI output: sends single messages at once and timed blocks from a sending
    thread of its own.
*/
class MidiOutputPort
{
public:
    virtual ~MidiOutputPort() = default;

    /** The device's name. */
    virtual juce::String getName() const = 0;

    /** Sends one message from the calling thread, ignoring its time stamp. */
    virtual void sendMessageNow (const juce::MidiMessage& message) = 0;

    /** Queues a block for the sending thread: the event at sample position s goes out at
        millisecondCounterToStartAt + s * 1000 / samplesPerSecondForBuffer ms of the
        high-resolution millisecond counter.
    */
    virtual void sendBlockOfMessages (const juce::MidiBuffer& buffer, double millisecondCounterToStartAt,
                                      double samplesPerSecondForBuffer) = 0;

    /** Starts the sending thread that delivers queued blocks. */
    virtual void startBackgroundThread() = 0;

    /** Stops the sending thread, waiting up to 5,000 ms for it. */
    virtual void stopBackgroundThread() = 0;
};

/** Receives the messages of the MIDI inputs it is registered for. */
class MidiInputHandler
{
public:
    virtual ~MidiInputHandler() = default;

    /** Called on the MIDI input thread, one message at a time, with the source's device name. */
    virtual void handleIncomingMidiMessage (const juce::String& sourceName, const juce::MidiMessage& message) = 0;
};

/** The MIDI devices of the machine, named as the user sees them.

    Inputs and outputs are reached by device name; an output is opened by its index in the
    current list. Messages reach a handler only for inputs that are enabled and for which the
    handler was added; active sensing (0xFE) never reaches a handler. Adding and removing a
    handler waits for a delivery in progress to end.
*/
class MidiDevices
{
public:
    virtual ~MidiDevices() = default;

    /** Names of the output devices, in the platform's order. */
    virtual juce::StringArray getOutputNames() = 0;

    /** Opens the output at this index of getOutputNames(); empty when that fails. */
    virtual std::unique_ptr<MidiOutputPort> openOutput (int index) = 0;

    /** Names of the input devices, in the platform's order. */
    virtual juce::StringArray getInputNames() = 0;

    /** Opens or closes the present input of this name; a name no device has changes nothing. */
    virtual void setInputEnabled (const juce::String& name, bool enabled) = 0;

    /** Registers the handler for the present input of this name, if that input is enabled.
        A second registration of the same handler for the same device replaces the first.
    */
    virtual void addInputHandler (const juce::String& name, MidiInputHandler* handler) = 0;

    /** Undoes addInputHandler for that name, also when the device has gone since. */
    virtual void removeInputHandler (const juce::String& name, MidiInputHandler* handler) = 0;
};
