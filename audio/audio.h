// The demo's audio library: one output device, MP3 streams decoded whole at creation, playback,
// a smooth playback position and a volume.
//
// Positions are in bytes of the stream's decoded 16-bit PCM (all channels), so seconds are bytes
// divided by the stream's own byte rate. The position is what is audible now: it advances smoothly
// between the mixer's updates, never goes backwards and stops at the end of the stream.
// Everything runs on the caller's thread; playback itself runs inside the output library.
#pragma once

#include <cstdint>

using AudioStream = uint32_t;  // 0 is never a valid stream

constexpr uint32_t AUDIO_STREAM_PRESCAN = 0x20000;  // scan the whole file for exact positions
constexpr uint32_t AUDIO_POS_BYTE = 0;
constexpr uint32_t AUDIO_ATTRIB_VOL = 2;

// Opens an output device (-1: the default) at `frequency` Hz. False when no device can be had.
bool audio_init(int device, uint32_t frequency, uint32_t flags, uintptr_t window, const void* device_id);

// Decodes the MP3 file `file` (from_memory must be false) and returns a stream handle, or 0 for a
// missing, empty or undecodable file or when audio_init has not succeeded. Nothing leaks on failure.
AudioStream audio_stream_create_file(bool from_memory, const char* file, uint64_t offset, uint64_t length,
                                     uint32_t flags);

// Starts playback from the beginning (restart is ignored: a stream plays once). False on a bad handle.
bool audio_channel_play(AudioStream stream, bool restart);

// The audible position in bytes of decoded PCM; 0 for a bad handle or mode.
uint64_t audio_channel_get_position(AudioStream stream, uint32_t mode);

// Converts a byte position of this stream to seconds; 0 for a bad handle.
double audio_channel_bytes_to_seconds(AudioStream stream, uint64_t position);

// Sets the volume (1 full, 0 silent; values outside 0..1 are clamped, NaN counts as silent).
bool audio_channel_set_attribute(AudioStream stream, uint32_t attribute, float value);

// Stops and releases a stream.
bool audio_stream_free(AudioStream stream);

// Releases every stream that is left and the output device.
bool audio_free();
