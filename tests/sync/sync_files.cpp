#include "sync_files.h"

#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>

FileLog file_log;

namespace {

void append_le32(std::string& bytes, uint32_t bits)
{
    for (int shift = 0; shift < 32; shift += 8)
        bytes.push_back(static_cast<char>((bits >> shift) & 0xFFu));
}

}  // namespace

std::string track_file_bytes(int32_t count, const std::vector<FileKey>& keys)
{
    std::string bytes;
    append_le32(bytes, static_cast<uint32_t>(count));
    for (const FileKey& key : keys) {
        append_le32(bytes, static_cast<uint32_t>(key.row));
        uint32_t value_bits = 0;
        std::memcpy(&value_bits, &key.value, sizeof value_bits);
        append_le32(bytes, value_bits);
        bytes.push_back(static_cast<char>(key.interpolation));
    }
    return bytes;
}

std::string track_file_bytes(const std::vector<FileKey>& keys)
{
    return track_file_bytes(static_cast<int32_t>(keys.size()), keys);
}

void write_file(const std::string& path, const std::string& bytes)
{
    FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr) << path;
    ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), file), bytes.size());
    ASSERT_EQ(std::fclose(file), 0);
}

FILE* recording_open(const char* path, const char* mode)
{
    file_log.opened_paths.push_back(path);
    file_log.open_modes.push_back(mode);
    return std::fopen(path, mode);
}

size_t recording_read(void* destination, size_t item_size, size_t item_count, FILE* file)
{
    file_log.reads.push_back({item_size, item_count});
    return std::fread(destination, item_size, item_count, file);
}

int recording_close(FILE* file)
{
    ++file_log.closes;
    return std::fclose(file);
}

void record_file_ops(TrackDevice* device)
{
    file_log = FileLog{};
    device->open_file = recording_open;
    device->read_file = recording_read;
    device->close_file = recording_close;
}

void SyncFileTest::SetUp()
{
    char cwd[PATH_MAX];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    old_directory_ = cwd;
    std::string pattern = (std::filesystem::temp_directory_path() / "vordel-sync-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    directory_ = pattern;
    ASSERT_EQ(chdir(directory_.c_str()), 0);
    file_log = FileLog{};
}

void SyncFileTest::TearDown()
{
    if (!old_directory_.empty()) {
        EXPECT_EQ(chdir(old_directory_.c_str()), 0);
    }
    if (!directory_.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(directory_, ignored);
    }
}
