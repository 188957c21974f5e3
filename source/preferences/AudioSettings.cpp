/*
    ZEM Quillbank - LTC to MTC converter and MIDI merger
    Copyright (C) 2026 ZEM. GPL-3.0-or-later.
*/

#include "AudioSettings.h"

#include "look/PageLook.h"

AudioSettings::AudioSettings() = default;

AudioSettings::~AudioSettings() = default;

void AudioSettings::paint (juce::Graphics& g)
{
    paintPageBackground (g, getWidth(), getHeight());
}

void AudioSettings::resized() {}
