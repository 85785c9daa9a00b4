#include "sync/track.h"

#include <cstdlib>
#include <cstring>

namespace {

const char BASE_NAME[] = "sync";
const char NAME_SEPARATOR[] = "_";
const char FILE_SUFFIX[] = ".track";

// 259 characters and the terminating NUL; the demo's own paths are at most 20 characters.
constexpr size_t TRACK_PATH_SIZE = 260;
char track_path[TRACK_PATH_SIZE];

// The key array starts this small and doubles as keys actually arrive, so a few-byte file that
// announces a large count never makes us allocate for keys it does not hold.
constexpr int32_t FIRST_KEY_CAPACITY = 256;

char* copy_string(const char* text)
{
    const size_t size = std::strlen(text) + 1;
    char* copy = static_cast<char*>(std::malloc(size));
    if (copy != nullptr)
        std::memcpy(copy, text, size);
    return copy;
}

// Fills track_path with "<base>_<name>.track". A path that would not fit is refused rather than
// cut, since a cut path names some other file.
bool compose_track_path(const char* base_name, const char* name)
{
    const char* const parts[] = {base_name, NAME_SEPARATOR, name, FILE_SUFFIX};
    size_t length = 0;
    for (const char* part : parts) {
        const size_t part_length = std::strlen(part);
        if (part_length > TRACK_PATH_SIZE - 1 - length)
            return false;
        std::memcpy(track_path + length, part, part_length);
        length += part_length;
    }
    track_path[length] = '\0';
    return true;
}

void drop_keys(Track* track)
{
    std::free(track->keys);
    track->keys = nullptr;
    track->key_count = 0;
}

// Reads one key as three reads (row, value, interpolation byte). False when the file ends
// before the key is complete; `key` is then untouched.
bool read_key(TrackDevice* device, FILE* file, TrackKey* key)
{
    int32_t row = 0;
    float value = 0.0f;
    int8_t interpolation = 0;
    if (device->read_file(&row, sizeof row, 1, file) != 1)
        return false;
    if (device->read_file(&value, sizeof value, 1, file) != 1)
        return false;
    if (device->read_file(&interpolation, sizeof interpolation, 1, file) != 1)
        return false;
    key->row = row;
    key->value = value;
    key->interpolation = interpolation;  // widened with its sign: 0xFF becomes -1
    return true;
}

}  // namespace

TrackDevice* create_track_device()
{
    TrackDevice* device = static_cast<TrackDevice*>(std::calloc(1, sizeof(TrackDevice)));
    if (device == nullptr)
        return nullptr;
    device->base_name = copy_string(BASE_NAME);
    if (device->base_name == nullptr) {
        std::free(device);
        return nullptr;
    }
    device->tracks = nullptr;
    device->track_count = 0;
    device->open_file = std::fopen;
    device->read_file = std::fread;
    device->close_file = std::fclose;
    return device;
}

int32_t find_track(const TrackDevice* device, const char* name)
{
    if (device == nullptr || name == nullptr)
        return -1;
    for (int32_t i = 0; i < device->track_count; ++i) {
        if (std::strcmp(device->tracks[i]->name, name) == 0)
            return i;
    }
    return -1;
}

Track* track_get(TrackDevice* device, const char* name)
{
    if (device == nullptr || name == nullptr)
        return nullptr;
    const int32_t index = find_track(device, name);
    if (index >= 0)
        return device->tracks[index];
    if (device->track_count == INT32_MAX)
        return nullptr;

    Track* track = static_cast<Track*>(std::calloc(1, sizeof(Track)));
    if (track == nullptr)
        return nullptr;
    track->name = copy_string(name);
    if (track->name == nullptr) {
        std::free(track);
        return nullptr;
    }
    // One more slot per track. The array is replaced only once the larger one exists, so running
    // out of memory leaves the device as it was.
    const size_t slots = static_cast<size_t>(device->track_count) + 1;
    Track** tracks = static_cast<Track**>(std::realloc(device->tracks, slots * sizeof(Track*)));
    if (tracks == nullptr) {
        std::free(track->name);
        std::free(track);
        return nullptr;
    }
    device->tracks = tracks;
    device->tracks[device->track_count] = track;
    device->track_count += 1;

    load_track_file(device, track);  // a missing or damaged file leaves a track without keys
    return track;
}

int load_track_file(TrackDevice* device, Track* track)
{
    if (device == nullptr || track == nullptr)
        return -1;
    drop_keys(track);
    if (device->base_name == nullptr || track->name == nullptr)
        return -1;
    if (!compose_track_path(device->base_name, track->name))
        return -1;
    FILE* file = device->open_file(track_path, "rb");
    if (file == nullptr)
        return -1;

    // A file too short to hold the count holds no keys, like an empty one.
    int32_t count = 0;
    if (device->read_file(&count, sizeof count, 1, file) != 1) {
        device->close_file(file);
        return 0;
    }
    if (count < 0 || count > MAX_TRACK_KEYS) {
        device->close_file(file);
        return -1;
    }

    TrackKey* keys = nullptr;
    int32_t capacity = 0;
    int32_t loaded = 0;
    while (loaded < count) {
        if (loaded == capacity) {
            const int32_t wanted = capacity == 0 ? FIRST_KEY_CAPACITY : capacity * 2;
            const int32_t new_capacity = wanted < count ? wanted : count;
            TrackKey* grown = static_cast<TrackKey*>(
                std::realloc(keys, static_cast<size_t>(new_capacity) * sizeof(TrackKey)));
            if (grown == nullptr) {
                std::free(keys);
                device->close_file(file);
                return -1;
            }
            keys = grown;
            capacity = new_capacity;
        }
        // A file shorter than its count keeps the complete keys before its end.
        if (!read_key(device, file, &keys[loaded]))
            break;
        ++loaded;
    }
    device->close_file(file);

    if (loaded == 0) {
        std::free(keys);
        return 0;
    }
    track->keys = keys;
    track->key_count = loaded;
    return 0;
}

int track_set_keys(Track* track, const TrackKey* keys, int32_t count)
{
    if (track == nullptr || count < 0 || count > MAX_TRACK_KEYS || (count > 0 && keys == nullptr))
        return -1;
    TrackKey* copy = nullptr;
    if (count > 0) {
        const size_t size = static_cast<size_t>(count) * sizeof(TrackKey);
        copy = static_cast<TrackKey*>(std::malloc(size));
        if (copy == nullptr)
            return -1;
        std::memcpy(copy, keys, size);
    }
    // The old array goes only once the new one exists: a frame never sees a track half replaced.
    std::free(track->keys);
    track->keys = copy;
    track->key_count = count;
    return 0;
}

int track_swap_keys(Track* track, TrackKey** keys, int32_t* count)
{
    if (track == nullptr || *count < 0 || *count > MAX_TRACK_KEYS || (*count > 0) != (*keys != nullptr))
        return -1;
    TrackKey* const old_keys = track->keys;
    const int32_t old_count = track->key_count;
    track->keys = *keys;
    track->key_count = *count;
    *keys = old_keys;
    *count = old_count;
    return 0;
}
