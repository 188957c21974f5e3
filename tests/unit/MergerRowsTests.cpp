/*
    ZEM Quillbank - LTC to MTC converter and MIDI merger
    Copyright (C) 2026 ZEM. GPL-3.0-or-later.
*/

#include "merger/MidiInputs.h"
#include "platform/VirtualMidiDevices.h"

#include <gtest/gtest.h>

namespace
{
/** Counts the clicks it hears, by button text. */
struct ClickCounter : public juce::Button::Listener
{
    void buttonClicked (juce::Button* button) override { clicks.add (button->getButtonText()); }

    juce::StringArray clicks;
};

/** A page without a window, over virtual input devices. */
struct MergerPageFixture : public testing::Test
{
    void rebuildWith (const juce::StringArray& names)
    {
        devices.setInputNames (names);
        page.rebuildRows (devices, listener);
    }

    juce::Viewport& viewport() { return *dynamic_cast<juce::Viewport*> (page.getChildComponent (0)); }
    juce::Component& inputList() { return *viewport().getViewedComponent(); }

    juce::StringArray rowNames() const
    {
        juce::StringArray names;

        for (const auto* row : page.inputs)
            names.add (row->inputToggle->getButtonText());

        return names;
    }

    juce::StringArray publishedNames() const
    {
        juce::StringArray names;

        for (const auto& row : page.rowTable.getRows())
            names.add (row.name);

        return names;
    }

    std::vector<int> rowTops()
    {
        std::vector<int> tops;

        for (const auto* row : page.inputs)
        {
            EXPECT_EQ (row->getParentComponent(), &inputList());
            EXPECT_EQ (row->getBounds().withY (0), juce::Rectangle<int> (20, 0, 500, 24));
            EXPECT_TRUE (row->isVisible());
            tops.push_back (row->getY());
        }

        return tops;
    }

    VirtualMidiDevices devices;
    ClickCounter listener;
    MidiInputs page;
};
} // namespace

TEST_F (MergerPageFixture, RebuildFollowsTheDeviceListAndKeepsSurvivingRows)
{
    ASSERT_EQ (&inputList(), viewport().getViewedComponent());

    rebuildWith ({ "A", "B", "C" });
    EXPECT_EQ (rowNames(), juce::StringArray ({ "A", "B", "C" }));
    EXPECT_EQ (rowTops(), (std::vector<int> { 5, 35, 65 }));
    EXPECT_EQ (inputList().getBounds(), juce::Rectangle<int> (0, 0, 530, 100));

    for (const auto* row : page.inputs)
    {
        EXPECT_FALSE (row->inputToggle->getToggleState());
        EXPECT_FALSE (row->ccToNoteToggle->getToggleState());
        EXPECT_EQ (row->destinationChannel->getText(), "Original Channel");
    }

    page.inputs[2]->destinationChannel->setSelectedItemIndex (4, juce::dontSendNotification);
    page.inputs[2]->inputToggle->setToggleState (true, juce::dontSendNotification);
    auto* rowC = page.inputs[2];

    rebuildWith ({ "A", "C" });
    EXPECT_EQ (rowNames(), juce::StringArray ({ "A", "C" }));
    EXPECT_EQ (rowTops(), (std::vector<int> { 5, 35 }));
    EXPECT_EQ (inputList().getBounds(), juce::Rectangle<int> (0, 0, 530, 70));
    EXPECT_EQ (inputList().getNumChildComponents(), 2);
    EXPECT_EQ (page.inputs[1], rowC);
    EXPECT_EQ (rowC->destinationChannel->getSelectedItemIndex(), 4);
    EXPECT_TRUE (rowC->inputToggle->getToggleState());

    rebuildWith ({ "D", "C", "A", "E", "E" });
    EXPECT_EQ (rowNames(), juce::StringArray ({ "A", "C", "D", "E" }));
    EXPECT_EQ (rowTops(), (std::vector<int> { 5, 35, 65, 95 }));
    EXPECT_EQ (publishedNames(), rowNames());
    EXPECT_EQ (page.rowTable.find ("C")->destinationIndex, 4);

    rebuildWith ({});
    EXPECT_TRUE (page.inputs.isEmpty());
    EXPECT_TRUE (publishedNames().isEmpty());
    EXPECT_EQ (inputList().getBounds(), juce::Rectangle<int> (0, 0, 530, 130));
    EXPECT_EQ (inputList().getNumChildComponents(), 0);

    // The rebuild leaves the inputs themselves to the main component.
    EXPECT_TRUE (devices.getInputCalls().isEmpty());
}

TEST_F (MergerPageFixture, TheListenerHearsEveryInputSwitchOnce)
{
    rebuildWith ({ "A", "B" });
    rebuildWith ({ "A", "B", "C" });

    for (auto* row : page.inputs)
    {
        row->inputToggle->setToggleState (true, juce::sendNotificationSync);
        row->ccToNoteToggle->setToggleState (true, juce::sendNotificationSync);
    }

    EXPECT_EQ (listener.clicks, juce::StringArray ({ "A", "B", "C" }));
}

TEST_F (MergerPageFixture, SwitchAndChannelChangesArePublishedAtOnce)
{
    rebuildWith ({ "A", "B" });
    auto& rowB = *page.inputs[1];

    rowB.ccToNoteToggle->setToggleState (true, juce::sendNotificationSync);
    EXPECT_TRUE (page.rowTable.find ("B")->ccToNote);

    rowB.destinationChannel->setSelectedItemIndex (10, juce::sendNotificationSync);
    EXPECT_EQ (page.rowTable.find ("B")->destinationIndex, 10);

    rowB.destinationChannel->setSelectedId (0, juce::sendNotificationSync);
    EXPECT_EQ (page.rowTable.find ("B")->destinationIndex, -1);

    EXPECT_EQ (page.rowTable.find ("A")->destinationIndex, 0);
    EXPECT_FALSE (page.rowTable.find ("A")->ccToNote);
    EXPECT_FALSE (page.rowTable.find ("C").has_value());
}

TEST_F (MergerPageFixture, MoreThanSixRowsScrollVerticallyOnly)
{
    rebuildWith ({ "1", "2", "3", "4", "5", "6" });
    EXPECT_FALSE (viewport().getVerticalScrollBar().isVisible());

    rebuildWith ({ "1", "2", "3", "4", "5", "6", "7" });
    EXPECT_EQ (inputList().getHeight(), 220);
    EXPECT_TRUE (viewport().getVerticalScrollBar().isVisible());
    EXPECT_FALSE (viewport().getHorizontalScrollBar().isVisible());
    EXPECT_EQ (viewport().getScrollBarThickness(), 12);
    EXPECT_EQ (viewport().getVerticalScrollBar().findColour (juce::ScrollBar::thumbColourId), juce::Colours::silver);
}

TEST_F (MergerPageFixture, PageHasItsHeadersAboveTheList)
{
    EXPECT_EQ (page.getWidth(), 200);
    EXPECT_EQ (page.getHeight(), 300);
    EXPECT_EQ (viewport().getBounds(), juce::Rectangle<int> (0, 55, 550, 200));
    ASSERT_EQ (page.getNumChildComponents(), 4);

    struct Header
    {
        const char* text;
        juce::Rectangle<int> bounds;
    };
    const Header headers[] = { { "Inputs to Merge", { 20, 15, 180, 35 } },
                               { "Convert\nCC to Note", { 220, 7, 180, 55 } },
                               { "Destination Channel", { 345, 15, 180, 55 } } };

    for (int i = 0; i < 3; ++i)
    {
        const auto* label = dynamic_cast<juce::Label*> (page.getChildComponent (i + 1));
        ASSERT_NE (label, nullptr);
        EXPECT_EQ (label->getText(), headers[i].text);
        EXPECT_EQ (label->getBounds(), headers[i].bounds);
        EXPECT_EQ (label->getFont().getHeight(), 18.0f);
        EXPECT_EQ (label->getJustificationType(), juce::Justification::topLeft);
        EXPECT_FALSE (label->isEditableOnSingleClick() || label->isEditableOnDoubleClick());
        EXPECT_EQ (label->findColour (juce::TextEditor::textColourId), juce::Colours::black);
        EXPECT_EQ (label->findColour (juce::TextEditor::backgroundColourId), juce::Colour (0x00000000));
    }
}

TEST (MergerRow, IsBuiltWithItsDeviceNameAndTheChannelItems)
{
    const auto row = SingleMidiInput::create ("USB Keys 2");

    EXPECT_EQ (row->getName(), "");
    EXPECT_EQ (row->getNumChildComponents(), 3);
    EXPECT_EQ (row->inputToggle->getButtonText(), "USB Keys 2");
    EXPECT_EQ (row->inputToggle->getBounds(), juce::Rectangle<int> (0, 0, 200, 24));
    EXPECT_EQ (row->ccToNoteToggle->getButtonText(), "Enabled");
    EXPECT_EQ (row->ccToNoteToggle->getBounds(), juce::Rectangle<int> (200, 0, 100, 24));
    EXPECT_TRUE (row->inputToggle->getClickingTogglesState() && row->ccToNoteToggle->getClickingTogglesState());
    EXPECT_FALSE (row->inputToggle->getToggleState() || row->ccToNoteToggle->getToggleState());

    const auto& box = *row->destinationChannel;
    EXPECT_EQ (box.getName(), "new combo box");
    EXPECT_EQ (box.getBounds(), juce::Rectangle<int> (330, 0, 150, 24));
    EXPECT_TRUE (box.isVisible() && row->inputToggle->isVisible() && row->ccToNoteToggle->isVisible());
    EXPECT_FALSE (box.isTextEditable());
    EXPECT_EQ (box.getJustificationType(), juce::Justification::centredLeft);
    EXPECT_EQ (box.getTextWhenNothingSelected(), "");
    EXPECT_EQ (box.getTextWhenNoChoicesAvailable(), "(no choices)");
    EXPECT_EQ (box.findColour (juce::ComboBox::backgroundColourId), juce::Colour (0xff393939));
    EXPECT_EQ (box.findColour (juce::ComboBox::outlineColourId), juce::Colour (0xff393939));

    ASSERT_EQ (box.getNumItems(), 17);
    EXPECT_EQ (box.getItemText (0), "Original Channel");
    EXPECT_EQ (box.getItemId (0), 1);

    for (int k = 1; k <= 16; ++k)
    {
        EXPECT_EQ (box.getItemText (k), "Channel " + juce::String (k));
        EXPECT_EQ (box.getItemId (k), k + 1);
    }

    EXPECT_EQ (box.getSelectedItemIndex(), 0);

    const auto settings = row->getSettings();
    EXPECT_EQ (settings.name, "USB Keys 2");
    EXPECT_EQ (settings.destinationIndex, 0);
    EXPECT_FALSE (settings.ccToNote);
}
