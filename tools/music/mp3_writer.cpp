// MP3 encoding of the generated music through the system's encoder library (see mp3_writer.h).
#include "tools/music/mp3_writer.h"

#include <lame.h>  // the encoder's own include directory comes from its pkg-config entry

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <memory>

namespace {

constexpr int CHANNELS = 2;
constexpr int ENCODER_QUALITY = 2;     // 0 best .. 9 fastest; 2 is near-best at modest cost
constexpr int CHUNK_FRAMES = 8192;     // frames handed to the encoder per call
constexpr int TAG_FRAME_BYTES = 2048;  // the info frame is far smaller at any bit rate

// Worst-case encoder output for `frames` input frames, as the encoder's documentation gives it.
int mp3_buffer_bytes(int frames)
{
    return frames + frames / 4 + 7200;
}

struct EncoderCloser {
    void operator()(lame_global_flags* flags) const { lame_close(flags); }
};

struct FileCloser {
    void operator()(FILE* file) const { std::fclose(file); }
};

std::string reason(const std::string& what, const std::string& path)
{
    return what + " " + path + ": " + std::strerror(errno);
}

// Encodes everything into `file`, then overwrites the placeholder first frame with the final tag.
bool encode(FILE* file, const std::vector<int16_t>& interleaved, int sample_rate, std::string& error)
{
    std::unique_ptr<lame_global_flags, EncoderCloser> encoder(lame_init());
    if (!encoder) {
        error = "cannot start the mp3 encoder";
        return false;
    }
    lame_global_flags* flags = encoder.get();
    lame_set_in_samplerate(flags, sample_rate);
    lame_set_out_samplerate(flags, sample_rate);
    lame_set_num_channels(flags, CHANNELS);
    lame_set_mode(flags, JOINT_STEREO);
    lame_set_VBR(flags, vbr_off);
    lame_set_brate(flags, MP3_BITRATE_KBPS);
    lame_set_quality(flags, ENCODER_QUALITY);
    lame_set_bWriteVbrTag(flags, 1);
    lame_set_write_id3tag_automatic(flags, 0);
    if (lame_init_params(flags) < 0) {
        error = "the mp3 encoder refused its settings";
        return false;
    }
    std::vector<unsigned char> out(static_cast<size_t>(mp3_buffer_bytes(CHUNK_FRAMES)));
    size_t frames = interleaved.size() / CHANNELS;
    std::vector<short> chunk(static_cast<size_t>(CHUNK_FRAMES) * CHANNELS);
    for (size_t first = 0; first < frames; first += CHUNK_FRAMES) {
        int count = static_cast<int>(std::min<size_t>(CHUNK_FRAMES, frames - first));
        std::copy(interleaved.begin() + static_cast<std::ptrdiff_t>(first * CHANNELS),
                  interleaved.begin() +
                      static_cast<std::ptrdiff_t>((first + static_cast<size_t>(count)) * CHANNELS),
                  chunk.begin());
        int bytes = lame_encode_buffer_interleaved(flags, chunk.data(), count, out.data(),
                                                   static_cast<int>(out.size()));
        if (bytes < 0 ||
            std::fwrite(out.data(), 1, static_cast<size_t>(bytes), file) != static_cast<size_t>(bytes)) {
            error =
                bytes < 0 ? "the mp3 encoder failed" : std::string("write failed: ") + std::strerror(errno);
            return false;
        }
    }
    int bytes = lame_encode_flush(flags, out.data(), static_cast<int>(out.size()));
    if (bytes < 0 ||
        std::fwrite(out.data(), 1, static_cast<size_t>(bytes), file) != static_cast<size_t>(bytes)) {
        error = bytes < 0 ? "the mp3 encoder failed to flush"
                          : std::string("write failed: ") + std::strerror(errno);
        return false;
    }
    unsigned char tag[TAG_FRAME_BYTES];
    size_t tag_bytes = lame_get_lametag_frame(flags, tag, sizeof tag);
    if (tag_bytes == 0 || tag_bytes > sizeof tag) {
        error = "the mp3 encoder gave no info tag";
        return false;
    }
    if (std::fseek(file, 0, SEEK_SET) != 0 || std::fwrite(tag, 1, tag_bytes, file) != tag_bytes) {
        error = std::string("cannot write the info tag: ") + std::strerror(errno);
        return false;
    }
    return true;
}

}  // namespace

bool write_mp3(const std::string& path, const std::vector<int16_t>& interleaved, int sample_rate,
               std::string& error)
{
    std::string temporary = path + ".tmp";
    bool ok = false;
    {
        std::unique_ptr<FILE, FileCloser> file(std::fopen(temporary.c_str(), "wb"));
        if (!file) {
            error = reason("cannot create", temporary);
            return false;
        }
        ok = encode(file.get(), interleaved, sample_rate, error);
        if (ok && std::fflush(file.get()) != 0) {
            error = reason("cannot write", temporary);
            ok = false;
        }
    }
    if (ok && std::rename(temporary.c_str(), path.c_str()) != 0) {
        error = reason("cannot rename to", path);
        ok = false;
    }
    if (!ok) {
        std::remove(temporary.c_str());
    }
    return ok;
}
