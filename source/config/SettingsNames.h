/*
    ZEM Quillbank - LTC to MTC converter and MIDI merger
    Copyright (C) 2026 ZEM. GPL-3.0-or-later.
*/

#pragma once

#include <juce_core/juce_core.h>

#include <cstddef>
#include <optional>
#include <string>

/** True when the bytes are well-formed UTF-8 and hold no NUL: every sequence in its shortest
    form, no encoded surrogate, nothing past U+10FFFF and no sequence cut short.

    The framework's own check lets overlong forms and surrogates through and stops at a NUL as
    if the text ended there, and its conversion is undefined for anything it would reject, so
    bytes from outside are checked here before they become a juce::String.
*/
bool isWellFormedText (const char* data, std::size_t size) noexcept;

/** A name read from a settings file (an output or a device name) as the framework's text, or
    nothing when its bytes are not well-formed UTF-8 or hold a NUL: such a name matches nothing.
*/
std::optional<juce::String> settingsNameText (const std::string& bytes);

/** The indexes of the names that equal a name read from a settings file, whole texts compared
    case-sensitively, in order; none for a name that did not convert.
*/
juce::Array<int> indexesOfNamesEqualTo (const juce::StringArray& names, const std::optional<juce::String>& name);
