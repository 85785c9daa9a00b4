// Running out of memory at every allocation the sync code makes: nothing crashes, nothing is
// half-registered, and no track claims keys it does not hold.
//
// This program replaces malloc, calloc and realloc with glibc's own entry points behind a
// countdown, so the Nth allocation from the start of a call can be made to fail. It is built
// without the sanitizers, which bring allocators of their own.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "sync/track.h"
#include "sync/track_value.h"
#include "sync_files.h"

extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* block, size_t size);
}

namespace {

// Allocations still allowed before one fails; negative while no failure is armed.
long allocations_left = -1;
bool allocation_failed = false;

bool refuse_allocation()
{
    if (allocations_left < 0)
        return false;
    if (allocations_left == 0) {
        allocation_failed = true;
        allocations_left = -1;  // only one failure per run, as a real shortage might ease again
        return true;
    }
    --allocations_left;
    return false;
}

// Arms a failure of the allocation `index` (from 0) made after this call.
void fail_allocation(long index)
{
    allocations_left = index;
    allocation_failed = false;
}

// True when the armed failure happened; disarms it either way.
bool disarm()
{
    allocations_left = -1;
    return allocation_failed;
}

// Enough tries to reach past the last allocation of any call below.
constexpr long MAX_ALLOCATIONS = 64;

}  // namespace

extern "C" {
void* malloc(size_t size)
{
    return refuse_allocation() ? nullptr : __libc_malloc(size);
}
void* calloc(size_t count, size_t size)
{
    return refuse_allocation() ? nullptr : __libc_calloc(count, size);
}
void* realloc(void* block, size_t size)
{
    return refuse_allocation() ? nullptr : __libc_realloc(block, size);
}
}

namespace {

using OutOfMemoryTest = SyncFileTest;

TEST(OutOfMemory, DeviceCreationReturnsNull)
{
    long index = 0;
    for (; index < MAX_ALLOCATIONS; ++index) {
        fail_allocation(index);
        TrackDevice* device = create_track_device();
        if (!disarm()) {
            ASSERT_NE(device, nullptr);
            EXPECT_STREQ(device->base_name, "sync");
            break;
        }
        EXPECT_EQ(device, nullptr) << index;
    }
    EXPECT_EQ(index, 2);  // the record and the copy of the base name
}

TEST_F(OutOfMemoryTest, TrackGetFailsWholeOrLoadsWholeKeysOrNone)
{
    std::vector<FileKey> keys;
    for (int32_t i = 0; i < 600; ++i)  // enough keys for the key array to grow twice
        keys.push_back({i, static_cast<float>(i), 1});
    write_file("sync_long.track", track_file_bytes(keys));

    int refused = 0;
    int without_keys = 0;
    long index = 0;
    for (; index < MAX_ALLOCATIONS; ++index) {
        SCOPED_TRACE(index);
        TrackDevice* device = create_track_device();
        ASSERT_NE(device, nullptr);
        Track* existing = track_get(device, "missing");
        ASSERT_NE(existing, nullptr);

        fail_allocation(index);
        Track* track = track_get(device, "long");
        const bool failed = disarm();

        if (track == nullptr) {
            ++refused;
            EXPECT_TRUE(failed);
            EXPECT_EQ(device->track_count, 1);
            EXPECT_EQ(device->tracks[0], existing);
            EXPECT_EQ(find_track(device, "long"), -1);
            EXPECT_EQ(track_value(track, 5.5), 0.0);
            continue;
        }
        EXPECT_EQ(device->track_count, 2);
        EXPECT_EQ(device->tracks[0], existing);
        EXPECT_EQ(device->tracks[1], track);
        if (track->key_count == 0) {
            ++without_keys;
            EXPECT_TRUE(failed);
            EXPECT_EQ(track->keys, nullptr);
            EXPECT_EQ(track_value(track, 5.5), 0.0);
            continue;
        }
        ASSERT_EQ(track->key_count, 600);
        EXPECT_EQ(track->keys[599].value, 599.0f);
        EXPECT_EQ(track_value(track, 5.5), 5.5);
        if (!failed)
            break;
    }
    EXPECT_LT(index, MAX_ALLOCATIONS);
    EXPECT_EQ(refused, 3);       // the track record, its name, the larger registry
    EXPECT_GE(without_keys, 4);  // opening the file and the key array's three sizes
}

}  // namespace
