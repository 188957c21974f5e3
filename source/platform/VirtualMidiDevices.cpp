/*
    ZEM Quillbank - LTC to MTC converter and MIDI merger
    Copyright (C) 2026 ZEM. GPL-3.0-or-later.
*/

#include "VirtualMidiDevices.h"

#include "TimedMidiSender.h"

#include <algorithm>

namespace
{
std::vector<juce::uint8> bytesOf (const juce::MidiMessage& message)
{
    const auto* data = message.getRawData();
    return { data, data + message.getRawDataSize() };
}

class VirtualMidiOutput final : public MidiOutputPort
{
public:
    VirtualMidiOutput (juce::String nameToUse, std::shared_ptr<VirtualMidiOutputLog> logToUse)
        : name (std::move (nameToUse)),
          log (std::move (logToUse))
    {
        log->recordEvent ("open");
    }

    ~VirtualMidiOutput() override
    {
        sender.stop();
        log->recordEvent ("close");
    }

    juce::String getName() const override { return name; }

    void sendMessageNow (const juce::MidiMessage& message) override { sender.sendNow (message); }

    void sendBlockOfMessages (const juce::MidiBuffer& buffer, double startMs, double rate) override
    {
        log->recordBlock (buffer, startMs, rate);
        sender.sendBlock (buffer, startMs, rate);
    }

    void startBackgroundThread() override
    {
        log->recordEvent ("start");
        sender.start();
    }

    void stopBackgroundThread() override
    {
        log->recordEvent ("stop");
        sender.stop();
    }

private:
    const juce::String name;
    const std::shared_ptr<VirtualMidiOutputLog> log;
    TimedMidiSender sender { [this] (const juce::MidiMessage& message, bool fromBlock)
                             { log->recordSent (message, fromBlock); } };
};
} // namespace

//==============================================================================
std::vector<VirtualMidiOutputLog::SentMessage> VirtualMidiOutputLog::getSent() const
{
    const std::lock_guard<std::mutex> guard (lock);
    return sent;
}

std::vector<VirtualMidiOutputLog::HandedBlock> VirtualMidiOutputLog::getBlocks() const
{
    const std::lock_guard<std::mutex> guard (lock);
    return blocks;
}

VirtualMidiOutputLog::Taken VirtualMidiOutputLog::take()
{
    const std::lock_guard<std::mutex> guard (lock);
    Taken taken { std::move (sent), std::move (blocks) };
    sent.clear();
    blocks.clear();
    return taken;
}

int VirtualMidiOutputLog::getOpenCount() const
{
    const auto events = getEvents();
    return (int) std::count (events.begin(), events.end(), "open");
}

juce::StringArray VirtualMidiOutputLog::getEvents() const
{
    const std::lock_guard<std::mutex> guard (lock);
    return events;
}

void VirtualMidiOutputLog::clear()
{
    const std::lock_guard<std::mutex> guard (lock);
    sent.clear();
    blocks.clear();
}

void VirtualMidiOutputLog::recordSent (const juce::MidiMessage& message, bool fromBlock)
{
    const auto now = juce::Time::getMillisecondCounterHiRes();
    const std::lock_guard<std::mutex> guard (lock);
    sent.push_back ({ bytesOf (message), now, fromBlock });
}

void VirtualMidiOutputLog::recordBlock (const juce::MidiBuffer& buffer, double startMs, double rate)
{
    HandedBlock block;
    block.startMs = startMs;
    block.rate = rate;

    for (const auto metadata : buffer)
    {
        block.messages.push_back (bytesOf (metadata.getMessage()));
        block.samplePositions.push_back (metadata.samplePosition);
    }

    const std::lock_guard<std::mutex> guard (lock);
    blocks.push_back (std::move (block));
}

void VirtualMidiOutputLog::recordEvent (const juce::String& event)
{
    const std::lock_guard<std::mutex> guard (lock);
    events.add (event);
}

//==============================================================================
VirtualMidiDevices::VirtualMidiDevices() = default;
VirtualMidiDevices::~VirtualMidiDevices() = default;

void VirtualMidiDevices::setOutputNames (const juce::StringArray& names)
{
    const std::lock_guard<std::mutex> guard (listLock);
    outputNames = names;
}

void VirtualMidiDevices::setInputNames (const juce::StringArray& names)
{
    const std::lock_guard<std::mutex> guard (listLock);
    inputNames = names;
}

void VirtualMidiDevices::setOutputOpenFails (const juce::String& name, bool shouldFail)
{
    const std::lock_guard<std::mutex> guard (listLock);
    failingOutputs.removeString (name);

    if (shouldFail)
        failingOutputs.add (name);
}

std::shared_ptr<VirtualMidiOutputLog> VirtualMidiDevices::getOutputLog (const juce::String& name)
{
    const std::lock_guard<std::mutex> guard (listLock);
    auto& log = logs[name];

    if (log == nullptr)
        log = std::make_shared<VirtualMidiOutputLog>();

    return log;
}

bool VirtualMidiDevices::feed (const juce::String& inputName, const juce::MidiMessage& message)
{
    if (message.isActiveSense())
        return false;

    const std::lock_guard<std::recursive_mutex> guard (callbackLock);

    if (! enabledInputs.contains (inputName))
        return false;

    bool delivered = false;

    for (const auto& entry : handlers)
    {
        if (entry.first == inputName)
        {
            entry.second->handleIncomingMidiMessage (inputName, message);
            delivered = true;
        }
    }

    return delivered;
}

bool VirtualMidiDevices::isInputEnabled (const juce::String& name) const
{
    const std::lock_guard<std::recursive_mutex> guard (callbackLock);
    return enabledInputs.contains (name);
}

int VirtualMidiDevices::getNumHandlers (const juce::String& name) const
{
    const std::lock_guard<std::recursive_mutex> guard (callbackLock);
    return (int) std::count_if (handlers.begin(), handlers.end(),
                                [&] (const auto& entry) { return entry.first == name; });
}

juce::StringArray VirtualMidiDevices::getInputCalls() const
{
    const std::lock_guard<std::mutex> guard (listLock);
    return inputCalls;
}

juce::StringArray VirtualMidiDevices::getOutputNames()
{
    const std::lock_guard<std::mutex> guard (listLock);
    return outputNames;
}

std::unique_ptr<MidiOutputPort> VirtualMidiDevices::openOutput (int index)
{
    juce::String name;

    {
        const std::lock_guard<std::mutex> guard (listLock);

        if (! juce::isPositiveAndBelow (index, outputNames.size()) || failingOutputs.contains (outputNames[index]))
            return {};

        name = outputNames[index];
    }

    return std::make_unique<VirtualMidiOutput> (name, getOutputLog (name));
}

juce::StringArray VirtualMidiDevices::getInputNames()
{
    const std::lock_guard<std::mutex> guard (listLock);
    return inputNames;
}

void VirtualMidiDevices::setInputEnabled (const juce::String& name, bool enabled)
{
    {
        const std::lock_guard<std::mutex> guard (listLock);
        inputCalls.add ((enabled ? "enable " : "disable ") + name);

        if (! inputNames.contains (name))
            return;
    }

    const std::lock_guard<std::recursive_mutex> guard (callbackLock);
    enabledInputs.removeString (name);

    if (enabled)
        enabledInputs.add (name);
}

void VirtualMidiDevices::addInputHandler (const juce::String& name, MidiInputHandler* handler)
{
    {
        const std::lock_guard<std::mutex> guard (listLock);
        inputCalls.add ("add " + name);
    }

    const std::lock_guard<std::recursive_mutex> guard (callbackLock);
    handlers.erase (std::remove (handlers.begin(), handlers.end(), std::make_pair (name, handler)), handlers.end());

    if (handler != nullptr && enabledInputs.contains (name))
        handlers.emplace_back (name, handler);
}

void VirtualMidiDevices::removeInputHandler (const juce::String& name, MidiInputHandler* handler)
{
    {
        const std::lock_guard<std::mutex> guard (listLock);
        inputCalls.add ("remove " + name);
    }

    const std::lock_guard<std::recursive_mutex> guard (callbackLock);
    handlers.erase (std::remove (handlers.begin(), handlers.end(), std::make_pair (name, handler)), handlers.end());
}
