/*
    ZEM Quillbank - LTC to MTC converter and MIDI merger
    Copyright (C) 2026 ZEM. GPL-3.0-or-later.
*/

#include "platform/VirtualMidiDevices.h"
#include "preferences/PreferencesWindow.h"
#include "QuillbankResources.h"

#include <gtest/gtest.h>

namespace
{
/** The preferences window placed as the main component places it. */
struct PreferencesFixture : public testing::Test
{
    PreferencesFixture()
    {
        window.setBounds (200, 200, 550, 350);
        window.setResizable (false, false);
        window.setUsingNativeTitleBar (true);
    }

    juce::TabbedComponent& tabs()
    {
        return *dynamic_cast<juce::TabbedComponent*> (window.settings.getChildComponent (0));
    }

    template <typename ChildType>
    ChildType* child (juce::Component& parent, int index)
    {
        return dynamic_cast<ChildType*> (parent.getChildComponent (index));
    }

    /** Runs the message loop until the window manager has placed the window: it has put its
        frame around the window, which moves the window inside it, and the bounds have stayed the
        same for a while since (a slow machine may take longer than a fixed pause, and bounds that
        are steady before the frame comes are not yet the window's place).
    */
    void settle()
    {
        auto last = window.getBounds();

        for (int stable = 0, turns = 0; stable < 5 && turns < 200; ++turns)
        {
            juce::MessageManager::getInstance()->runDispatchLoopUntil (40);
            const auto now = window.getBounds();
            stable = now == last && isFramed() ? stable + 1 : 0;
            last = now;
        }
    }

    bool isFramed()
    {
        const auto* peer = window.getPeer();

        if (peer == nullptr)
            return false;

        const auto frame = peer->getFrameSizeIfPresent();
        return frame && frame->getTop() > 0;
    }

    PreferencesWindow window;
};

bool nearlyEqual (juce::Colour a, juce::Colour b)
{
    return std::abs (a.getRed() - b.getRed()) <= 3 && std::abs (a.getGreen() - b.getGreen()) <= 3
        && std::abs (a.getBlue() - b.getBlue()) <= 3;
}

struct NullListener : public juce::Button::Listener
{
    void buttonClicked (juce::Button*) override {}
};
} // namespace

TEST_F (PreferencesFixture, StartsHiddenWithFourTabsOverFullWidthPages)
{
    EXPECT_FALSE (window.isVisible());
    EXPECT_EQ (window.getName(), "Preferences");
    EXPECT_EQ (window.getContentComponent(), &window.settings);
    EXPECT_EQ (tabs().getCurrentTabIndex(), 0);
    EXPECT_EQ (tabs().getCurrentTabName(), "Midi Merger");
    EXPECT_EQ (tabs().getTabNames(), juce::StringArray ({ "Midi Merger", "Audio Input", "Offset", "About" }));
    EXPECT_EQ (tabs().getTabbedButtonBar().getThickness(), 30);
    EXPECT_EQ (tabs().getBounds(), juce::Rectangle<int> (-1, 0, 552, 351));
    EXPECT_EQ (window.settings.getBounds(), juce::Rectangle<int> (0, 0, 550, 350));
    EXPECT_FALSE (window.isResizable());

    const juce::Component* pages[] = { &window.settings.midiInputs, &window.settings.audioSettings,
                                       &window.settings.offsetSettings, tabs().getTabContentComponent (3) };

    for (int i = 0; i < 4; ++i)
    {
        EXPECT_EQ (tabs().getTabContentComponent (i), pages[i]);
        EXPECT_EQ (tabs().getTabBackgroundColour (i), juce::Colours::darkgrey);
        EXPECT_EQ (pages[i]->getBounds() + tabs().getPosition(), juce::Rectangle<int> (0, 30, 550, 320)) << i;
    }
}

TEST_F (PreferencesFixture, CloseButtonOnlyHidesAndKeepsTheTab)
{
    // The very first showing is placed by the window manager with or without the frame counted,
    // as the frame's size happens to be known by then; from the first reopening on, the window
    // comes back where it was. So the place is taken at a reopening.
    window.setVisible (true);
    settle();
    window.closeButtonPressed();
    window.setVisible (true);
    tabs().setCurrentTabIndex (2);
    settle();
    const auto placeWhenClosed = window.getBounds();

    window.closeButtonPressed();
    EXPECT_FALSE (window.isVisible());
    EXPECT_TRUE (window.isOnDesktop());

    window.setVisible (true);
    settle();
    EXPECT_EQ (tabs().getCurrentTabIndex(), 2);
    EXPECT_EQ (window.getBounds(), placeWhenClosed);
}

TEST_F (PreferencesFixture, OffsetSliderTakesWholeFramesWithinThirty)
{
    auto& slider = *window.settings.offsetSettings.frameFinetuning;

    EXPECT_EQ (slider.getName(), "Frame Finetuning");
    EXPECT_EQ (slider.getBounds(), juce::Rectangle<int> (160, 50, 300, 30));
    EXPECT_EQ (slider.getMinimum(), -30.0);
    EXPECT_EQ (slider.getMaximum(), 30.0);
    EXPECT_EQ (slider.getInterval(), 1.0);
    EXPECT_EQ (slider.getSliderStyle(), juce::Slider::LinearHorizontal);
    EXPECT_EQ (slider.getTextBoxPosition(), juce::Slider::TextBoxRight);
    EXPECT_TRUE (slider.isTextBoxEditable());
    EXPECT_EQ (slider.getTextBoxWidth(), 80);
    EXPECT_EQ (slider.getTextBoxHeight(), 20);

    const std::pair<int, juce::uint32> colours[] = {
        { juce::Slider::backgroundColourId, 0xff000000 },
        { juce::Slider::thumbColourId, 0xffffffff },
        { juce::Slider::trackColourId, 0xff000000 },
        { juce::Slider::textBoxBackgroundColourId, 0x00263238 },
        { juce::Slider::textBoxHighlightColourId, 0x0042a2c8 },
        { juce::Slider::textBoxOutlineColourId, 0x008e989b },
    };

    for (const auto& [id, argb] : colours)
        EXPECT_EQ (slider.findColour (id).getARGB(), argb) << std::hex << id;

    auto* textBox = child<juce::Label> (slider, 0);
    ASSERT_NE (textBox, nullptr);
    EXPECT_EQ (slider.getValue(), 0.0);
    EXPECT_EQ (textBox->getText(), "0");

    const std::pair<const char*, double> typed[] = { { "45", 30.0 }, { "-31", -30.0 }, { "2.6", 3.0 }, { "-7", -7.0 } };

    for (const auto& [text, value] : typed)
    {
        textBox->showEditor();
        ASSERT_NE (textBox->getCurrentTextEditor(), nullptr);
        textBox->getCurrentTextEditor()->setText (text);
        textBox->hideEditor (false);
        EXPECT_EQ (slider.getValue(), value) << text;
        EXPECT_EQ (textBox->getText(), juce::String ((int) value)) << text;
    }

    auto* caption = child<juce::Label> (window.settings.offsetSettings, 0);
    ASSERT_NE (caption, nullptr);
    EXPECT_EQ (caption->getText(), "Frame Delay");
    EXPECT_EQ (caption->getBounds(), juce::Rectangle<int> (20, 55, 150, 24));
    EXPECT_FALSE (caption->isEditableOnSingleClick() || caption->isEditableOnDoubleClick());
}

TEST_F (PreferencesFixture, AboutPageNamesTheProductAndLinksToItsSite)
{
    auto& about = *tabs().getTabContentComponent (3);
    ASSERT_EQ (about.getNumChildComponents(), 3);

    struct Line
    {
        const char* text;
        juce::Rectangle<int> bounds;
        float height;
        juce::Justification justification;
    };
    const Line lines[] = {
        { "To check for updates, or report bugs/recommendations, visit",
          { 90, 290, 293, 24 },
          12.0f,
          juce::Justification::topLeft },
        { "ZEM Quillbank, Version 1.0.1", { 125, 225, 300, 24 }, 15.0f, juce::Justification::centredTop },
    };

    for (int i = 0; i < 2; ++i)
    {
        auto* label = child<juce::Label> (about, i);
        ASSERT_NE (label, nullptr);
        EXPECT_EQ (label->getText(), lines[i].text);
        EXPECT_EQ (label->getBounds(), lines[i].bounds);
        EXPECT_EQ (label->getFont().getHeight(), lines[i].height);
        EXPECT_EQ (label->getJustificationType(), lines[i].justification);
        EXPECT_FALSE (label->isEditableOnSingleClick() || label->isEditableOnDoubleClick());
    }

    auto* link = child<juce::HyperlinkButton> (about, 2);
    ASSERT_NE (link, nullptr);
    EXPECT_EQ (link->getButtonText(), "ZEM");
    EXPECT_EQ (link->getURL().toString (false), "https://quillbank.example/");
    EXPECT_EQ (link->findColour (juce::HyperlinkButton::textColourId), juce::Colours::white);
    EXPECT_EQ (link->getBounds(), juce::Rectangle<int> (381, 287, 57, 20));
}

TEST_F (PreferencesFixture, EveryPageIsDarkGreyWithTheLogoAtItsLowerRight)
{
    VirtualMidiDevices devices;
    devices.setInputNames ({ "USB Keys", "Pad Controller", "Network Session 1" });
    NullListener listener;
    window.settings.midiInputs.rebuildRows (devices, listener);
    window.settings.midiInputs.inputs[1]->ccToNoteToggle->setToggleState (true, juce::dontSendNotification);
    window.settings.midiInputs.inputs[2]->destinationChannel->setSelectedItemIndex (10, juce::dontSendNotification);

    window.setVisible (true);
    settle();

    const auto folder = juce::File::getSpecialLocation (juce::File::currentExecutableFile)
                            .getSiblingFile ("output")
                            .getChildFile ("preferences");
    ASSERT_TRUE (folder.createDirectory());

    const char* names[] = { "midi-merger", "audio-input", "offset", "about" };

    for (int i = 0; i < 4; ++i)
    {
        tabs().setCurrentTabIndex (i);
        settle();

        ASSERT_EQ (window.getContentComponentBorder(), juce::BorderSize<int>());
        const auto shot = window.createComponentSnapshot (window.getLocalBounds(), true, 1.0f);
        const auto file = folder.getChildFile (juce::String (names[i]) + ".png");
        file.deleteFile();
        juce::FileOutputStream stream (file);
        ASSERT_TRUE (stream.openedOk());
        ASSERT_TRUE (juce::PNGImageFormat().writeImageToStream (shot, stream));

        // The page below the tab bar: dark grey in a plain corner, the logo's top left 73 x 73
        // in the lower right corner.
        EXPECT_EQ (shot.getPixelAt (545, 36).getARGB(), juce::Colours::darkgrey.getARGB()) << names[i];
        EXPECT_EQ (shot.getPixelAt (545, 5).getARGB(), juce::Colours::darkgrey.getARGB()) << names[i];

        const auto logo =
            juce::ImageCache::getFromMemory (QuillbankResources::logo_png, QuillbankResources::logo_pngSize);
        int differing = 0;

        for (int y = 0; y < 73; ++y)
            for (int x = 0; x < 73; ++x)
                if (! nearlyEqual (shot.getPixelAt (550 - 73 + x, 350 - 73 + y),
                                   juce::Colours::darkgrey.overlaidWith (logo.getPixelAt (x, y))))
                    ++differing;

        EXPECT_EQ (differing, 0) << names[i];
    }
}
