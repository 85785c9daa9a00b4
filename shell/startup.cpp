#include "shell/startup.h"

#include "audio/audio.h"
#include "shell/demo_state.h"
#include "sync/demo_tracks.h"

namespace {

constexpr int DEFAULT_AUDIO_DEVICE = -1;
constexpr uint32_t AUDIO_FREQUENCY = 44100;

}  // namespace

StartResult start_demo()
{
    init_gl();

    if (!audio_init(DEFAULT_AUDIO_DEVICE, AUDIO_FREQUENCY, 0, 0, nullptr))
        return {EXIT_NO_AUDIO, "failed to initialise audio"};
    demo_state.music = audio_stream_create_file(false, "music.mp3", 0, 0, AUDIO_STREAM_PRESCAN);
    if (demo_state.music == 0)
        return {EXIT_NO_MUSIC, "failed to open music"};
    demo_state.device = create_track_device();
    if (demo_state.device == nullptr)
        return {EXIT_NO_SYNC, "failed to start sync"};
    register_demo_tracks(demo_state.device, demo_state.sync_state);
    return {0, nullptr};
}
