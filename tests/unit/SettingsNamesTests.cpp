/*
    ZEM Quillbank - LTC to MTC converter and MIDI merger
    Copyright (C) 2026 ZEM. GPL-3.0-or-later.
*/

#include "config/SettingsNames.h"

#include <gtest/gtest.h>

using namespace std::string_literals;

TEST (SettingsNames, OnlyWellFormedTextWithoutNulBecomesAName)
{
    struct Case
    {
        std::string bytes;
        bool wellFormed;
    };

    // The edges of each range of the table of well-formed sequences, and the forms just past them.
    const Case cases[] = {
        { "", true },
        { "Studio Out\r", true },
        { "\x7F", true },
        { "\xC2\x80", true },
        { "\xDF\xBF", true },
        { "\xE0\xA0\x80", true },
        { "\xED\x9F\xBF", true },
        { "\xEE\x80\x80", true },
        { "\xEF\xBF\xBF", true },
        { "\xF0\x90\x80\x80", true },
        { "\xF4\x8F\xBF\xBF", true },
        { "K\xC3\xBC\x63he", true },
        { "\0"s, false },
        { "Out\0put"s, false },
        { "A\x80", false },
        { "\xBF", false },
        { "\xC0\x80", false },
        { "\xC1\xBF", false },
        { "\xE0\x9F\xBF", false },
        { "\xF0\x8F\xBF\xBF", false },
        { "\xED\xA0\x80", false },
        { "\xED\xBF\xBF", false },
        { "\xF4\x90\x80\x80", false },
        { "\xF5\x80\x80\x80", false },
        { "\xF8\x88\x80\x80\x80", false },
        { "\xFF", false },
        { "\xC2", false },
        { "\xE2\x82", false },
        { "\xF0\x9F\x98", false },
        { "\xC2\x41", false },
        { "\xE2\x82\x41", false },
    };

    for (const auto& c : cases)
    {
        SCOPED_TRACE (testing::PrintToString (c.bytes));
        EXPECT_EQ (isWellFormedText (c.bytes.data(), c.bytes.size()), c.wellFormed);

        const auto text = settingsNameText (c.bytes);
        ASSERT_EQ (text.has_value(), c.wellFormed);

        if (text.has_value())
        {
            EXPECT_EQ (text->toStdString(), c.bytes);
        }
    }
}

TEST (SettingsNames, MatchesWholeTextsOnlyAndNothingForAnInvalidName)
{
    const juce::StringArray names { "Out", "Out\r", "out", "Out", "Out put" };

    EXPECT_EQ (indexesOfNamesEqualTo (names, settingsNameText ("Out")), (juce::Array<int> { 0, 3 }));
    EXPECT_EQ (indexesOfNamesEqualTo (names, settingsNameText ("Out\r")), (juce::Array<int> { 1 }));
    EXPECT_TRUE (indexesOfNamesEqualTo (names, settingsNameText ("Out\0put"s)).isEmpty());
    EXPECT_TRUE (indexesOfNamesEqualTo (names, settingsNameText ("Out\xC0\x80")).isEmpty());
    EXPECT_TRUE (indexesOfNamesEqualTo (names, settingsNameText ("O\xC1\xB5t")).isEmpty());
    EXPECT_TRUE (indexesOfNamesEqualTo ({ "" }, std::nullopt).isEmpty());
    EXPECT_EQ (indexesOfNamesEqualTo ({ "" }, settingsNameText ("")), (juce::Array<int> { 0 }));
}
