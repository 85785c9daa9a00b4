// Fuzz target: the MP3 decoding path the demo runs on "music.mp3" (the file reader hands the
// whole file to the same function). Any bytes are refused with an empty result, or decoded into
// whole sample frames of one or two channels at a positive rate, never more than the decoder's
// own bound of samples per input byte.
#include <cstddef>
#include <cstdint>

#include "audio/mp3_decoder.h"

namespace {

// The decoder's bound on decoded samples per input byte (see mp3_decoder.cpp).
constexpr size_t MAX_SAMPLES_PER_INPUT_BYTE = 64;

void check(bool condition)
{
    if (!condition)
        __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    DecodedAudio audio;
    if (!decode_mp3_memory(data, size, audio)) {
        check(audio.samples.empty() && audio.channels == 0 && audio.rate == 0);
        return 0;
    }
    check(audio.channels == 1 || audio.channels == 2);
    check(audio.rate > 0);
    check(!audio.samples.empty());
    check(audio.samples.size() % static_cast<size_t>(audio.channels) == 0);
    check(audio.samples.size() <= size * MAX_SAMPLES_PER_INPUT_BYTE);
    return 0;
}
