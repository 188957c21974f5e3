/*
    ZEM Quillbank - LTC to MTC converter and MIDI merger
    Copyright (C) 2026 ZEM. GPL-3.0-or-later.
*/

#include "MidiInputs.h"

#include "look/PageLook.h"

#include <algorithm>

MidiInputs::MidiInputs()
{
    addAndMakeVisible (viewport);

    const auto headerJustification = juce::Justification::topLeft;
    setUpPageLabel (*this, inputsLabel, { 20, 15, 180, 35 }, 18.0f, headerJustification, "Inputs to Merge");
    setUpPageLabel (*this, convertLabel, { 220, 7, 180, 55 }, 18.0f, headerJustification, "Convert\nCC to Note");
    setUpPageLabel (*this, channelLabel, { 345, 15, 180, 55 }, 18.0f, headerJustification, "Destination Channel");

    viewport.setBounds (0, 55, 550, 200);
    viewport.setViewedComponent (&inputList, false);
    viewport.setScrollBarThickness (12);
    viewport.getVerticalScrollBar().setColour (juce::ScrollBar::thumbColourId, juce::Colours::silver);

    setSize (200, 300);
}

MidiInputs::~MidiInputs() = default;

void MidiInputs::publishRows()
{
    std::vector<MergerRowSettings> rows;
    rows.reserve ((size_t) inputs.size());

    for (const auto* row : inputs)
        rows.push_back (row->getSettings());

    rowTable.publish (std::move (rows));
}

void MidiInputs::rebuildRows (MidiDevices& devices, juce::Button::Listener& listener)
{
    addMissingRows (devices.getInputNames());

    const auto presentNames = devices.getInputNames();
    juce::OwnedArray<SingleMidiInput> removedRows;

    for (int i = inputs.size(); --i >= 0;)
        if (! presentNames.contains (inputs[i]->inputToggle->getButtonText()))
            removedRows.add (inputs.removeAndReturn (i));

    // The rows go away only after the forwarding has stopped seeing them.
    publishRows();

    if (! inputs.isEmpty())
        layOutRows();

    for (auto* row : inputs)
    {
        row->inputToggle->addListener (&listener);
        followRowChanges (*row);
    }
}

void MidiInputs::addMissingRows (const juce::StringArray& deviceNames)
{
    for (const auto& name : deviceNames)
    {
        const auto hasRow =
            std::any_of (inputs.begin(), inputs.end(),
                         [&] (const SingleMidiInput* row) { return row->inputToggle->getButtonText() == name; });

        if (! hasRow)
            inputs.add (SingleMidiInput::create (name));
    }
}

void MidiInputs::layOutRows()
{
    const auto numRows = inputs.size();

    for (int i = 0; i < numRows; ++i)
    {
        auto* row = inputs[i];
        row->setBounds (20, 5 + 30 * i, 500, 24);
        inputList.setBounds (0, 0, 530, 30 * numRows + 10);
        inputList.addAndMakeVisible (row);
    }
}

void MidiInputs::followRowChanges (SingleMidiInput& row)
{
    // The forwarding reads only the published copy, so every change of a row's conversion
    // switch or channel is published at once and holds from the next message on.
    row.ccToNoteToggle->onClick = [this] { publishRows(); };
    row.destinationChannel->onChange = [this] { publishRows(); };
}

void MidiInputs::paint (juce::Graphics& g)
{
    paintPageBackground (g, getWidth(), getHeight());
}

void MidiInputs::resized() {}
