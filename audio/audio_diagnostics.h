// Internal to audio/ and its tests: a look behind the smooth position, for measuring it.
// Not for the demo: the shell uses audio/audio.h only. Seconds of stream audio.
#pragma once

#include "audio/audio.h"

// What the mixer itself reports as audible now (its offset minus the output latency; steps once
// per mixing period and may be negative at the start). False for a bad or not yet playing stream.
bool audio_channel_mixer_seconds(AudioStream stream, double& audible_seconds);
