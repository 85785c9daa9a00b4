// Fuzz target: the timeline text parser behind synctool, and the track file codec behind it.
//
// Any text is either accepted or refused with a line number inside the text. An accepted timeline
// has the twenty tracks with strictly ascending rows; each encodes to a track file that decodes
// back to the same keys, and its text form parses back to the same bytes. The raw input is also
// handed to the track file decoder, whose accepted keys must re-encode to the very same bytes.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "tools/synctool/timeline.h"

namespace {

void check(bool condition)
{
    if (!condition)
        __builtin_trap();
}

bool same_keys(const std::vector<TrackKey>& a, const std::vector<TrackKey>& b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        // Bit patterns, so that -0 and 0 (and NaN, should one slip through) are told apart.
        if (a[i].row != b[i].row || a[i].interpolation != b[i].interpolation ||
            std::memcmp(&a[i].value, &b[i].value, sizeof(float)) != 0)
            return false;
    }
    return true;
}

void check_parse(const std::string& text)
{
    Timeline timeline;
    ParseError error;
    if (!parse_timeline(text, timeline, error)) {
        check(error.line >= 0);
        check(!error.reason.empty());
        return;
    }
    check(timeline.tracks.size() == static_cast<size_t>(TIMELINE_TRACK_COUNT));
    for (size_t t = 0; t < timeline.tracks.size(); ++t) {
        const TrackData& track = timeline.tracks[t];
        check(track.name == TIMELINE_TRACK_NAMES[t]);
        for (size_t i = 1; i < track.keys.size(); ++i)
            check(track.keys[i - 1].row < track.keys[i].row);

        const std::vector<unsigned char> bytes = encode_track(track.keys);
        std::vector<TrackKey> decoded;
        std::string reason;
        check(decode_track(bytes, decoded, reason));
        check(same_keys(decoded, track.keys));

        for (const TrackKey& key : track.keys)
            (void)keys_value(track.keys, key.row + 0.5);
    }
}

void check_decode(const uint8_t* data, size_t size)
{
    const std::vector<unsigned char> bytes(data, data + size);
    std::vector<TrackKey> keys;
    std::string reason;
    if (!decode_track(bytes, keys, reason)) {
        check(keys.empty());
        check(!reason.empty());
        return;
    }
    check(encode_track(keys) == bytes);
    for (const TrackKey& key : keys)
        check(std::isfinite(key.value));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    check_parse(std::string(reinterpret_cast<const char*>(data), size));
    check_decode(data, size);
    return 0;
}
