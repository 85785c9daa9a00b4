// Where notes start in the music, for the editor's waveform lane and its snapping: a spectral-flux
// onset detector over the same decoded samples the peaks are made from.
//
// Pure and deterministic: one call reads the whole piece (its 65 s take about half a second) and returns
// rows, the music clock's positions (17.066… a second), fractional and ascending. It marks where
// the spectrum's energy rises suddenly (a drum, a plucked or struck note); it does not find notes
// that swell in slowly (a pad fading in) nor tell instruments apart.
#pragma once

#include <vector>

#include "audio/mp3_decoder.h"

// Rows of the onsets in `audio`, at least ONSET_MIN_GAP_S apart; empty for silence or no audio.
std::vector<double> onsets_of(const DecodedAudio& audio);

constexpr double ONSET_MIN_GAP_S = 0.05;  // two marks closer than this are one attack
