// Fuzz target: the MP3 decoding path the demo runs on "music.mp3" (the file reader hands the
// whole file to the same function). Any bytes are refused with an empty result, or decoded into
// whole sample frames of one or two channels at a positive rate, never more than the decoder's
// own bound of samples per input byte.
#include <cstddef>
#include <cstdint>

#include "audio/mp3_decoder.h"

// The decoder's bound on decoded samples per input byte (see mp3_decoder.cpp).
constexpr size_t MAX_SAMPLES_PER_INPUT_BYTE = 64;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    DecodedAudio audio;
    const bool decoded = decode_mp3_memory(data, size, audio);
    const size_t samples = audio.samples.size();
    const bool refused = !decoded && samples == 0 && audio.channels == 0 && audio.rate == 0;
    const bool whole = decoded && (audio.channels == 1 || audio.channels == 2) && audio.rate > 0 &&
                       samples > 0 && samples % audio.channels == 0 &&
                       samples <= size * MAX_SAMPLES_PER_INPUT_BYTE;
    if (!refused && !whole)
        __builtin_trap();
    return 0;
}
