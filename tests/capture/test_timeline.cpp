#include "test_timeline.h"

#include <cstdint>
#include <cstdio>
#include <map>
#include <vector>

namespace {

constexpr int8_t HOLD = 0;
constexpr int8_t LINEAR = 1;

struct Key {
    int32_t row;
    float value;
    int8_t interpolation;
};

using Timeline = std::map<std::string, std::vector<Key>>;

Timeline short_timeline()
{
    Timeline t;
    t["scene"] = {{0, 0, HOLD}, {17, 1, HOLD}, {34, 2, HOLD}};
    t["clear.r"] = {{0, 0.1f, LINEAR}, {52, 0.5f, HOLD}};
    t["clear.g"] = {{0, 0.2f, HOLD}};
    t["clear.b"] = {{0, 0.3f, LINEAR}, {52, 0.1f, HOLD}};
    t["fade.r"] = {{0, 0.9f, HOLD}};
    t["fade.g"] = {{0, 0.8f, HOLD}};
    t["fade.b"] = {{0, 0.6f, HOLD}};
    // The triangle is drawn in the fade colour, so it needs some fade alpha to be seen.
    t["fade.a"] = {{0, 0.3f, HOLD}, {17, 0.0f, HOLD}};
    t["cam.x"] = {{0, 0, LINEAR}, {16, 1.3f, HOLD}, {17, 1.2f, LINEAR}, {33, 6.4f, HOLD}, {34, -4.8f, LINEAR}, {52, 8.4f, HOLD}};
    t["cam.y"] = {{0, 0, LINEAR}, {16, 0.4f, HOLD}, {17, 2.2f, LINEAR}, {33, 3.2f, HOLD}, {34, 6, LINEAR}, {52, 4.7f, HOLD}};
    t["cam.z"] = {{0, -4.5f, LINEAR}, {16, -3.6f, HOLD}, {17, 8, LINEAR}, {33, 13, HOLD}, {34, 13.2f, LINEAR}, {52, 5.9f, HOLD}};
    t["cam.lookx"] = {{0, 0, HOLD}, {17, 1.6f, LINEAR}, {33, 6.4f, HOLD}, {34, 0, HOLD}};
    t["cam.looky"] = {{0, 0, HOLD}, {34, 1, LINEAR}, {52, 1.15f, HOLD}};
    t["cam.lookz"] = {{0, 0, HOLD}};
    t["scp.a"] = {{0, 1, HOLD}, {17, 1, LINEAR}, {33, 5, HOLD}, {34, 16, HOLD}};
    t["scp.b"] = {{0, 3.2f, HOLD}, {34, 3, HOLD}};
    t["scp.c"] = {{0, 0, HOLD}, {34, 1.5f, HOLD}};
    t["fog"] = {{0, 0, HOLD}, {34, 0.04f, HOLD}};
    t["text.i"] = {{0, 0, HOLD}};
    t["text.fade"] = {{0, 0, LINEAR}, {5, 0.9f, HOLD}, {12, 0.9f, LINEAR}, {16, 0, HOLD}};
    return t;
}

bool write_track(const std::string& path, const std::vector<Key>& keys)
{
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr)
        return false;
    // Little-endian on the machines we test on: the format's own byte order.
    const auto count = static_cast<int32_t>(keys.size());
    bool ok = std::fwrite(&count, sizeof count, 1, file) == 1;
    for (const Key& key : keys) {
        ok = ok && std::fwrite(&key.row, sizeof key.row, 1, file) == 1;
        ok = ok && std::fwrite(&key.value, sizeof key.value, 1, file) == 1;
        ok = ok && std::fwrite(&key.interpolation, sizeof key.interpolation, 1, file) == 1;
    }
    return std::fclose(file) == 0 && ok;
}

}  // namespace

bool write_test_timeline(const std::string& folder, const std::string& kind)
{
    if (kind != "short" && kind != "fade")
        return false;
    Timeline timeline = short_timeline();
    if (kind == "fade")
        timeline["fade.a"] = {{0, 0.3f, HOLD}, {17, 0.0f, HOLD}, {1025, 0.0f, LINEAR}, {1030, 1.0f, HOLD}};
    for (const auto& [name, keys] : timeline)
        if (!write_track(folder + "/sync_" + name + ".track", keys))
            return false;
    return true;
}
