// Fuzz target: the timeline text parser behind synctool and its track file codec. Any text is
// accepted or refused with a line number and a reason; an accepted timeline holds the twenty tracks
// in the demo's order, each encoding to a file the decoder accepts (so rows ascend, values are
// finite) and whose keys encode the same. Raw bytes the decoder accepts hold finite values and
// encode back to the very same bytes, which a codec that loses anything cannot do for every file.
#include <cmath>
#include <string>
#include <vector>

#include "timeline/timeline.h"

namespace {

void check(bool condition)
{
    if (!condition)
        __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Timeline timeline;
    ParseError error;
    const std::string text(reinterpret_cast<const char*>(data), size);
    const bool parsed = parse_timeline(text, timeline, error);
    check(parsed ? timeline.tracks.size() == TIMELINE_TRACK_COUNT : error.line >= 0 && !error.reason.empty());
    std::vector<TrackKey> decoded;
    std::string reason;
    for (size_t t = 0; t < timeline.tracks.size(); ++t) {
        const std::vector<unsigned char> bytes = encode_track(timeline.tracks[t].keys);
        check(timeline.tracks[t].name == TIMELINE_TRACK_NAMES[t] && decode_track(bytes, decoded, reason) &&
              encode_track(decoded) == bytes);
        for (const TrackKey& key : decoded)
            (void)keys_value(decoded, key.row + 0.5);
    }
    const std::vector<unsigned char> bytes(data, data + size);
    const bool accepted = decode_track(bytes, decoded, reason);
    check(accepted ? encode_track(decoded) == bytes : decoded.empty() && !reason.empty());
    for (const TrackKey& key : decoded)
        check(std::isfinite(key.value));
    return 0;
}
