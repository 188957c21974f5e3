/*
    ZEM Quillbank - LTC to MTC converter and MIDI merger
    Copyright (C) 2026 ZEM. GPL-3.0-or-later.
*/

#include "SingleMidiInput.h"

SingleMidiInput::SingleMidiInput() = default;

SingleMidiInput::~SingleMidiInput() = default;

std::unique_ptr<SingleMidiInput> SingleMidiInput::create (const juce::String& deviceName)
{
    std::unique_ptr<SingleMidiInput> row (new SingleMidiInput());

    row->inputToggle = std::make_unique<juce::ToggleButton> (deviceName);
    row->ccToNoteToggle = std::make_unique<juce::ToggleButton> ("Enabled");

    row->addAndMakeVisible (*row->inputToggle);
    row->inputToggle->setBounds (0, 0, 200, 24);

    row->addAndMakeVisible (*row->ccToNoteToggle);
    row->ccToNoteToggle->setBounds (200, 0, 100, 24);

    row->destinationChannel = std::make_unique<juce::ComboBox> ("new combo box");
    auto& box = *row->destinationChannel;
    row->addAndMakeVisible (box);

    box.setEditableText (false);
    box.setJustificationType (juce::Justification::centredLeft);
    box.setTextWhenNothingSelected ({});
    box.setTextWhenNoChoicesAvailable (juce::translate ("(no choices)"));
    box.setColour (juce::ComboBox::backgroundColourId, juce::Colour (0xff393939));
    box.setColour (juce::ComboBox::outlineColourId, juce::Colour (0xff393939));

    box.addItem (juce::translate ("Original Channel"), 1);

    for (int channel = 1; channel <= 16; ++channel)
        box.addItem (juce::translate ("Channel " + juce::String (channel)), channel + 1);

    box.setSelectedItemIndex (0, juce::sendNotificationAsync);
    box.setBounds (330, 0, 150, 24);

    return row;
}

MergerRowSettings SingleMidiInput::getSettings() const
{
    return { inputToggle->getButtonText(), destinationChannel->getSelectedItemIndex(),
             ccToNoteToggle->getToggleState() };
}

void SingleMidiInput::paint (juce::Graphics&) {}

void SingleMidiInput::resized() {}
