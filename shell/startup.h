// Start-up after the window exists, shared by the demo and the video capture: GL state and scenes,
// the audio library, the music stream, the track device and the demo's tracks, in that order.
// It does not start playback and never releases what it made (the caller shuts down as usual).
// Failures come back as the demo's console line and exit status; nothing is printed for them here.
#pragma once

constexpr int EXIT_NO_AUDIO = 0xB001;
constexpr int EXIT_NO_MUSIC = 0xB002;
constexpr int EXIT_NO_SYNC = 0xC001;

struct StartResult {
    int status;           // 0 when everything is ready, else one of the exit statuses above
    const char* message;  // the console line for a failure ("failed to open music"); null on success
};

// Runs init_gl, starts the audio library, opens "music.mp3" into demo_state.music, creates the track
// device and registers the demo tracks. Stops at the first failure.
StartResult start_demo();
