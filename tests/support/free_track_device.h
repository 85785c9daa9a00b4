// Frees a track device with all its tracks and keys. The program never does this (the device
// lives until exit); leak checks and fuzz runs must, or every track would be reported as a leak.
#pragma once

#include <cstdlib>

#include "sync/track.h"

inline void free_track_device(TrackDevice* device)
{
    for (int32_t i = 0; i < device->track_count; ++i) {
        std::free(device->tracks[i]->keys);
        std::free(device->tracks[i]->name);
        std::free(device->tracks[i]);
    }
    std::free(device->tracks);
    std::free(device->base_name);
    std::free(device);
}
