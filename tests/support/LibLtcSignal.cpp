/*
    ZEM Quillbank - LTC to MTC converter and MIDI merger
    Copyright (C) 2026 ZEM. GPL-3.0-or-later.
*/

#include "LibLtcSignal.h"

#include <ltc.h>

#include <cmath>
#include <memory>
#include <random>

LibLtcSignal::LibLtcSignal (const Options& options)
{
    const auto nominalRate = (int) std::lround (options.framesPerSecond);
    const auto standard = nominalRate == 25 ? LTC_TV_625_50 : (nominalRate == 24 ? LTC_TV_FILM_24 : LTC_TV_525_60);

    const std::unique_ptr<LTCEncoder, decltype (&ltc_encoder_free)> encoder (
        ltc_encoder_create (options.sampleRate, options.framesPerSecond, standard, 0), &ltc_encoder_free);

    // libltc flags 29.97 as drop frame; this signal counts every frame.
    LTCFrame frame;
    ltc_encoder_get_frame (encoder.get(), &frame);
    frame.dfbit = 0;
    ltc_encoder_set_frame (encoder.get(), &frame);
    ltc_encoder_set_volume (encoder.get(), 0.0);

    SMPTETimecode time {};
    time.hours = (unsigned char) options.start.hours;
    time.mins = (unsigned char) options.start.minutes;
    time.secs = (unsigned char) options.start.seconds;
    time.frame = (unsigned char) options.start.frames;
    ltc_encoder_set_timecode (encoder.get(), &time);

    // libltc writes 8-bit samples centred on 128, with 127 steps to full scale at 0 dBFS.
    const auto gain = (float) (std::pow (10.0, options.levelDbfs / 20.0) / 127.0);

    for (int i = 0; i < options.numFrames; ++i)
    {
        ltc_encoder_get_timecode (encoder.get(), &time);
        Frame written { { time.hours, time.mins, time.secs, time.frame }, samples.size(), 0 };

        ltc_encoder_encode_frame (encoder.get());
        ltcsnd_sample_t* buffer = nullptr;
        const auto numWritten = ltc_encoder_get_bufferptr (encoder.get(), &buffer, 1);

        for (int k = 0; k < numWritten; ++k)
            samples.push_back (((float) buffer[k] - 128.0f) * gain);

        written.endSample = samples.size();
        frames.push_back (written);
        ltc_encoder_inc_timecode (encoder.get());
    }

    if (std::isfinite (options.snrDb) && ! samples.empty())
    {
        double power = 0.0;

        for (auto s : samples)
            power += (double) s * s;

        power /= (double) samples.size();

        std::mt19937 random (options.noiseSeed);
        std::normal_distribution<float> noise (0.0f, (float) std::sqrt (power / std::pow (10.0, options.snrDb / 10.0)));

        for (auto& s : samples)
            s += noise (random);
    }
}
