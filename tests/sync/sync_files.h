// Track files and device operations for the sync tests.
//
// SyncFileTest runs each test in a fresh temporary working directory, where the device looks for
// "sync_<name>.track". The recording operations log every open, read and close the device makes;
// they are plain functions because the device holds plain function pointers.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "sync/track.h"

struct FileKey {
    int32_t row;
    float value;
    int8_t interpolation;
};

// A track file body: the count as given, then the keys, little-endian, 9 bytes a key.
std::string track_file_bytes(int32_t count, const std::vector<FileKey>& keys);
std::string track_file_bytes(const std::vector<FileKey>& keys);

void write_file(const std::string& path, const std::string& bytes);

struct ReadCall {
    size_t item_size;
    size_t item_count;
};

struct FileLog {
    std::vector<std::string> opened_paths;
    std::vector<std::string> open_modes;
    std::vector<ReadCall> reads;
    int closes = 0;
};

extern FileLog file_log;

FILE* recording_open(const char* path, const char* mode);
size_t recording_read(void* destination, size_t item_size, size_t item_count, FILE* file);
int recording_close(FILE* file);

// Swaps the device's file operations for the recording ones and clears the log.
void record_file_ops(TrackDevice* device);

class SyncFileTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

private:
    std::string old_directory_;
    std::string directory_;
};
