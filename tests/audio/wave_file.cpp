#include "wave_file.h"

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>

namespace {

constexpr int FORMAT_PCM = 1;
constexpr int FORMAT_FLOAT = 3;
constexpr int FORMAT_EXTENSIBLE = 0xFFFE;

uint32_t le32(const unsigned char* p)
{
    return p[0] | (p[1] << 8) | (p[2] << 16) | (uint32_t{p[3]} << 24);
}
uint16_t le16(const unsigned char* p)
{
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

}  // namespace

bool read_wave_file(const std::string& path, WaveData& out)
{
    std::ifstream in(path, std::ios::binary);
    const std::vector<unsigned char> bytes((std::istreambuf_iterator<char>(in)),
                                           std::istreambuf_iterator<char>());
    if (bytes.size() < 12 || std::memcmp(bytes.data(), "RIFF", 4) != 0 ||
        std::memcmp(bytes.data() + 8, "WAVE", 4) != 0)
        return false;
    int format = 0;
    int bits = 0;
    size_t pos = 12;
    while (pos + 8 <= bytes.size()) {
        const unsigned char* chunk = bytes.data() + pos;
        const size_t size = le32(chunk + 4);
        const size_t body = pos + 8;
        if (std::memcmp(chunk, "fmt ", 4) == 0 && body + 16 <= bytes.size()) {
            format = le16(bytes.data() + body);
            out.channels = le16(bytes.data() + body + 2);
            out.rate = static_cast<int>(le32(bytes.data() + body + 4));
            bits = le16(bytes.data() + body + 14);
            if (format == FORMAT_EXTENSIBLE && body + 26 <= bytes.size())
                format = le16(bytes.data() + body + 24);
        } else if (std::memcmp(chunk, "data", 4) == 0) {
            // A writer that was not closed leaves the size unset: take the rest of the file then.
            size_t end = body + size;
            if (size == 0 || end > bytes.size())
                end = bytes.size();
            if (format == FORMAT_PCM && bits == 16) {
                for (size_t i = body; i + 2 <= end; i += 2)
                    out.samples.push_back(static_cast<int16_t>(le16(bytes.data() + i)) / 32768.0);
            } else if (format == FORMAT_FLOAT && bits == 32) {
                for (size_t i = body; i + 4 <= end; i += 4) {
                    const uint32_t raw = le32(bytes.data() + i);
                    float value = 0.0f;
                    std::memcpy(&value, &raw, sizeof value);
                    out.samples.push_back(value);
                }
            } else {
                return false;
            }
            return out.channels > 0 && out.rate > 0;
        }
        pos = body + size + (size & 1);
    }
    return false;
}
