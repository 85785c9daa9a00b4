// The sound track of a capture: the music cut to the captured frames, with the volume the frames
// set ramped linearly across each frame so that steps in the fade make no clicks. No encoding and
// no files. Frames are video frames at a frame rate; samples are the music's sample frames.
#pragma once

#include <cstdint>
#include <vector>

#include "audio/mp3_decoder.h"

// The music under video frames first_frame .. first_frame + volumes.size() - 1 at
// frames_per_second: interleaved 16-bit PCM, exactly volumes.size() × rate / fps sample frames
// (fps should divide the rate), silent past the music's end. `volumes[i]` is the volume frame i
// set; across frame i the gain runs from the previous frame's volume (its own for the first frame)
// and reaches volumes[i] at the frame's last sample.
std::vector<int16_t> faded_music(const DecodedAudio& music, uint64_t first_frame, uint32_t frames_per_second,
                                 const std::vector<float>& volumes);
