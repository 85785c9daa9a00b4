// The demo's audio library: one output device, MP3 streams decoded whole at creation, playback,
// a smooth playback position, pausing, seeking and a volume. Not offered: memory streams, replays
// (a stream that has played to its end plays again only after a seek back).
// Positions are bytes of the stream's decoded 16-bit PCM (all channels); seconds are bytes divided
// by the stream's own byte rate. The position is what is audible now, rising smoothly to the end.
// Should the output go away (a headset unplugged), the position runs on with the steady clock from
// where it stood, pausing and seeking keep working on that clock, the volume changes nothing, and
// one line on standard error says so.
// Handles are plain numbers owned by this library; bad or freed handles are refused, never a crash.
// Everything runs on the caller's thread; playback itself runs inside the output library.
#pragma once

#include <cstdint>

using AudioStream = uint32_t;  // 0 is never a valid stream

constexpr uint32_t AUDIO_STREAM_PRESCAN = 0x20000;  // scan the whole file for exact positions
constexpr uint32_t AUDIO_POS_BYTE = 0;
constexpr uint32_t AUDIO_ATTRIB_VOL = 2;

// Opens the default output device (`device` must be -1) at `frequency` Hz (0: the device's own rate).
// False when no device can be had. A second call while open keeps the open device and says true.
bool audio_init(int device, uint32_t frequency, uint32_t flags, uintptr_t window, const void* device_id);

// Decodes the whole MP3 file `file` (from_memory false, offset and length 0) and returns a stream
// handle, or 0 for a missing, empty or undecodable file, other arguments, or when audio_init has
// not succeeded. Nothing leaks on failure. Every stream is fully scanned (AUDIO_STREAM_PRESCAN).
AudioStream audio_stream_create_file(bool from_memory, const char* file, uint64_t offset, uint64_t length,
                                     uint32_t flags);

// Starts playback from the beginning, or where audio_channel_set_position put it (restart is
// ignored: a stream plays once, and later calls do nothing and say true). False on a bad handle.
bool audio_channel_play(AudioStream stream, bool restart);

// Pauses playback where it is: the position stands still and nothing more is heard until
// audio_channel_resume. True also when already paused; false on a bad handle or before play.
bool audio_channel_pause(AudioStream stream);
// Goes on from where playback was paused. True also when not paused; false on a bad handle or before play.
bool audio_channel_resume(AudioStream stream);
// Moves playback (playing or paused, and also before play: play then starts there) to `position`
// (mode AUDIO_POS_BYTE: bytes of decoded PCM, rounded down to a whole sample frame; past the end it
// is the end). The smooth position jumps exactly there. False on a bad handle or mode.
bool audio_channel_set_position(AudioStream stream, uint64_t position, uint32_t mode);

// The audible position in bytes of decoded PCM (whole sample frames): 0 before play (or where a
// seek put it), then following the clock steadily between the mixer's updates, less than one mixing
// period ahead of what the mixer has mixed; the exact stream length once the last sample is heard.
// It stands still while paused, is exactly the new place after a seek until playback moves on,
// and otherwise never goes backwards. 0 for a bad handle or mode.
uint64_t audio_channel_get_position(AudioStream stream, uint32_t mode);

// Converts a byte position of this stream to seconds (bytes / (rate × channels × 2)); 0 for a bad handle.
double audio_channel_bytes_to_seconds(AudioStream stream, uint64_t position);

// Sets the volume (1 full, 0 silent; values outside 0..1 are clamped, NaN counts as silent).
// False for a bad handle or an attribute other than AUDIO_ATTRIB_VOL.
bool audio_channel_set_attribute(AudioStream stream, uint32_t attribute, float value);

// Stops and releases a stream; its handle is refused from then on.
bool audio_stream_free(AudioStream stream);

// Releases every stream that is left and the output device. False when audio_init had not succeeded.
bool audio_free();
