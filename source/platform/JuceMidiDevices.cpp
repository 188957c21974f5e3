/*
    ZEM Quillbank - LTC to MTC converter and MIDI merger
    Copyright (C) 2026 ZEM. GPL-3.0-or-later.
*/

#include "JuceMidiDevices.h"

#include "TimedMidiSender.h"

#include <algorithm>

namespace
{
class JuceMidiOutputPort final : public MidiOutputPort
{
public:
    explicit JuceMidiOutputPort (std::unique_ptr<juce::MidiOutput> outputToUse)
        : output (std::move (outputToUse))
    {
    }

    juce::String getName() const override { return output->getName(); }

    void sendMessageNow (const juce::MidiMessage& message) override { sender.sendNow (message); }

    void sendBlockOfMessages (const juce::MidiBuffer& buffer, double startMs, double rate) override
    {
        sender.sendBlock (buffer, startMs, rate);
    }

    // The framework's own sending thread is never started: it would write to the device
    // while the merger and the generator write to it too, and its timing is whole milliseconds.
    void startBackgroundThread() override { sender.start(); }
    void stopBackgroundThread() override { sender.stop(); }

private:
    std::unique_ptr<juce::MidiOutput> output;
    TimedMidiSender sender { [this] (const juce::MidiMessage& message, bool) { output->sendMessageNow (message); } };
};

juce::StringArray namesOf (const juce::Array<juce::MidiDeviceInfo>& devices)
{
    juce::StringArray names;

    for (const auto& device : devices)
        names.add (device.name);

    return names;
}
} // namespace

/** Hands the framework's callbacks on to a handler, with the source's device name. */
class JuceMidiDevices::HandlerAdapter final : public juce::MidiInputCallback
{
public:
    explicit HandlerAdapter (MidiInputHandler& handlerToUse)
        : handler (handlerToUse)
    {
    }

    void handleIncomingMidiMessage (juce::MidiInput* source, const juce::MidiMessage& message) override
    {
        handler.handleIncomingMidiMessage (source != nullptr ? source->getName() : juce::String(), message);
    }

private:
    MidiInputHandler& handler;
};

JuceMidiDevices::JuceMidiDevices (juce::AudioDeviceManager& deviceManagerToUse)
    : deviceManager (deviceManagerToUse)
{
}

JuceMidiDevices::~JuceMidiDevices()
{
    for (const auto& registration : registrations)
        deviceManager.removeMidiInputDeviceCallback (registration.identifier, registration.callback);
}

juce::StringArray JuceMidiDevices::getOutputNames()
{
    return namesOf (juce::MidiOutput::getAvailableDevices());
}

std::unique_ptr<MidiOutputPort> JuceMidiDevices::openOutput (int index)
{
    const auto devices = juce::MidiOutput::getAvailableDevices();

    if (! juce::isPositiveAndBelow (index, devices.size()))
        return {};

    if (auto output = juce::MidiOutput::openDevice (devices[index].identifier))
        return std::make_unique<JuceMidiOutputPort> (std::move (output));

    return {};
}

juce::StringArray JuceMidiDevices::getInputNames()
{
    return namesOf (juce::MidiInput::getAvailableDevices());
}

juce::String JuceMidiDevices::findInputIdentifier (const juce::String& name)
{
    for (const auto& device : juce::MidiInput::getAvailableDevices())
        if (device.name == name)
            return device.identifier;

    return {};
}

void JuceMidiDevices::setInputEnabled (const juce::String& name, bool enabled)
{
    const auto identifier = findInputIdentifier (name);

    if (identifier.isNotEmpty())
        deviceManager.setMidiInputDeviceEnabled (identifier, enabled);
}

JuceMidiDevices::HandlerAdapter* JuceMidiDevices::adapterFor (MidiInputHandler* handler)
{
    auto& adapter = adapters[handler];

    if (adapter == nullptr)
        adapter = std::make_unique<HandlerAdapter> (*handler);

    return adapter.get();
}

void JuceMidiDevices::addInputHandler (const juce::String& name, MidiInputHandler* handler)
{
    const auto identifier = findInputIdentifier (name);

    // An empty identifier would register the handler for every input.
    if (handler == nullptr || identifier.isEmpty())
        return;

    auto* adapter = adapterFor (handler);
    deviceManager.addMidiInputDeviceCallback (identifier, adapter);

    const auto alreadyRegistered =
        std::any_of (registrations.begin(), registrations.end(),
                     [&] (const auto& r) { return r.identifier == identifier && r.callback == adapter; });

    if (deviceManager.isMidiInputDeviceEnabled (identifier) && ! alreadyRegistered)
        registrations.push_back ({ name, identifier, adapter });
}

void JuceMidiDevices::removeInputHandler (const juce::String& name, MidiInputHandler* handler)
{
    const auto adapter = adapters.find (handler);

    if (adapter == adapters.end())
        return;

    // By the identifier registered, not the present one: the device may have gone since, or
    // come back under another identifier, and its registration must still go.
    for (auto registration = registrations.begin(); registration != registrations.end();)
    {
        if (registration->name == name && registration->callback == adapter->second.get())
        {
            deviceManager.removeMidiInputDeviceCallback (registration->identifier, registration->callback);
            registration = registrations.erase (registration);
        }
        else
        {
            ++registration;
        }
    }
}
