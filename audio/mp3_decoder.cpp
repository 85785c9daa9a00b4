// MP3 decoding over libmpg123, reading from memory through replaced I/O so that files and
// in-memory bytes take the same path (and a fuzzer exercises exactly what the demo runs).
#include "audio/mp3_decoder.h"

#include <mpg123.h>

#include <cstdio>
#include <cstring>
#include <memory>

namespace {

// A file larger than this is not music for a demo; refusing it bounds the read.
constexpr size_t MAX_FILE_BYTES = size_t{512} << 20;
constexpr size_t READ_CHUNK_BYTES = size_t{1} << 16;
// The densest legal MPEG frames (8 kbit/s at 24 kHz, stereo) give 48 samples per input byte;
// anything claiming more is hostile and is refused rather than allocated.
constexpr size_t MAX_SAMPLES_PER_INPUT_BYTE = 64;
// An hour of 48 kHz stereo: 691 MB of PCM, which still fits one OpenAL buffer (int byte size).
constexpr size_t MAX_DECODED_SAMPLES = size_t{48000} * 2 * 3600;
constexpr size_t DECODE_CHUNK_BYTES = size_t{1} << 16;

struct MemoryReader {
    const uint8_t* data;
    size_t size;
    size_t pos;
};

mpg123_ssize_t memory_read(void* handle, void* buffer, size_t count)
{
    auto& reader = *static_cast<MemoryReader*>(handle);
    const size_t left = reader.size - reader.pos;
    const size_t n = count < left ? count : left;
    if (n > 0)
        std::memcpy(buffer, reader.data + reader.pos, n);
    reader.pos += n;
    return static_cast<mpg123_ssize_t>(n);
}

// Like lseek(2); a target outside the bytes is refused with -1, without arithmetic overflow.
off_t memory_seek(void* handle, off_t offset, int whence)
{
    auto& reader = *static_cast<MemoryReader*>(handle);
    off_t base = 0;
    switch (whence) {
    case SEEK_SET:
        base = 0;
        break;
    case SEEK_CUR:
        base = static_cast<off_t>(reader.pos);
        break;
    case SEEK_END:
        base = static_cast<off_t>(reader.size);
        break;
    default:
        return -1;
    }
    const off_t size = static_cast<off_t>(reader.size);
    if (offset > size - base || offset < -base)
        return -1;
    reader.pos = static_cast<size_t>(base + offset);
    return static_cast<off_t>(reader.pos);
}

struct Mpg123Closer {
    void operator()(mpg123_handle* handle) const
    {
        mpg123_close(handle);
        mpg123_delete(handle);
    }
};
using Mpg123Ptr = std::unique_ptr<mpg123_handle, Mpg123Closer>;

struct FileCloser {
    void operator()(FILE* file) const { std::fclose(file); }
};

// Before libmpg123 1.27 this had to run once per process; later versions ignore it.
bool library_ready()
{
    static const bool ready = mpg123_init() == MPG123_OK;
    return ready;
}

// Only 16-bit signed output, mono or stereo, at whatever rate the stream has (no resampling).
bool configure(mpg123_handle* handle)
{
    const long flags = MPG123_QUIET | MPG123_NO_FRANKENSTEIN | MPG123_SKIP_ID3V2;
    if (mpg123_param(handle, MPG123_ADD_FLAGS, flags, 0.0) != MPG123_OK)
        return false;
    if (mpg123_format_none(handle) != MPG123_OK)
        return false;
    const long* rates = nullptr;
    size_t rate_count = 0;
    mpg123_rates(&rates, &rate_count);
    for (size_t i = 0; i < rate_count; ++i) {
        if (mpg123_format(handle, rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16) != MPG123_OK)
            return false;
    }
    return true;
}

bool decode_all(mpg123_handle* handle, size_t input_size, DecodedAudio& out)
{
    if (mpg123_scan(handle) != MPG123_OK)
        return false;
    long rate = 0;
    int channels = 0;
    int encoding = 0;
    if (mpg123_getformat(handle, &rate, &channels, &encoding) != MPG123_OK)
        return false;
    if (encoding != MPG123_ENC_SIGNED_16 || (channels != 1 && channels != 2) || rate <= 0)
        return false;

    const size_t limit = input_size < MAX_DECODED_SAMPLES / MAX_SAMPLES_PER_INPUT_BYTE
                             ? input_size * MAX_SAMPLES_PER_INPUT_BYTE
                             : MAX_DECODED_SAMPLES;
    // The scanned length is only a hint for the reservation; the decoded frames are the truth.
    const off_t frames = mpg123_length(handle);
    if (frames > 0 && static_cast<uint64_t>(frames) <= limit / static_cast<size_t>(channels))
        out.samples.reserve(static_cast<size_t>(frames) * static_cast<size_t>(channels));

    std::vector<unsigned char> chunk(DECODE_CHUNK_BYTES);
    for (;;) {
        size_t done = 0;
        const int result = mpg123_read(handle, chunk.data(), chunk.size(), &done);
        if (result != MPG123_OK && result != MPG123_DONE && result != MPG123_NEW_FORMAT)
            return false;
        const size_t count = done / sizeof(int16_t);
        if (count > limit - out.samples.size())
            return false;
        const size_t old_size = out.samples.size();
        out.samples.resize(old_size + count);
        if (count > 0)
            std::memcpy(out.samples.data() + old_size, chunk.data(), count * sizeof(int16_t));
        if (result == MPG123_DONE)
            break;
    }
    // A partial sample frame cannot come out of a fixed format, but would break the byte maths.
    if (out.samples.empty() || out.samples.size() % static_cast<size_t>(channels) != 0)
        return false;
    out.channels = channels;
    out.rate = rate;
    return true;
}

}  // namespace

bool decode_mp3_memory(const uint8_t* data, size_t size, DecodedAudio& out)
{
    out = DecodedAudio{};
    if (data == nullptr || size == 0 || !library_ready())
        return false;
    int error = MPG123_OK;
    Mpg123Ptr handle(mpg123_new(nullptr, &error));
    if (!handle || !configure(handle.get()))
        return false;
    MemoryReader reader{data, size, 0};
    if (mpg123_replace_reader_handle(handle.get(), memory_read, memory_seek, nullptr) != MPG123_OK)
        return false;
    if (mpg123_open_handle(handle.get(), &reader) != MPG123_OK)
        return false;
    if (!decode_all(handle.get(), size, out)) {
        out = DecodedAudio{};
        return false;
    }
    return true;
}

bool decode_mp3_file(const char* path, DecodedAudio& out)
{
    out = DecodedAudio{};
    if (path == nullptr)
        return false;
    std::unique_ptr<FILE, FileCloser> file(std::fopen(path, "rb"));
    if (!file)
        return false;
    // Read in chunks rather than trusting a size from seeking: works for pipes and bounds memory.
    std::vector<uint8_t> bytes;
    for (;;) {
        const size_t old_size = bytes.size();
        if (old_size >= MAX_FILE_BYTES)
            return false;
        bytes.resize(old_size + READ_CHUNK_BYTES);
        const size_t got = std::fread(bytes.data() + old_size, 1, READ_CHUNK_BYTES, file.get());
        bytes.resize(old_size + got);
        if (got < READ_CHUNK_BYTES)
            break;
    }
    if (std::ferror(file.get()))
        return false;
    return decode_mp3_memory(bytes.data(), bytes.size(), out);
}
