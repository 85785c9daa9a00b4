// Vordel: opens the full-screen window, starts the music and hands over to the frame driver.
//
// Exit statuses: 0 after a normal run (Escape, the final fade or closing the window);
// 0xB001 without audio output, 0xB002 without a playable "music.mp3", 0xC001 when the track
// device cannot be made. The command line goes to the window library only.
#include <GL/freeglut.h>

#include <iostream>

#include "audio/audio.h"
#include "shell/demo_state.h"
#include "shell/frame_driver.h"
#include "sync/demo_tracks.h"

namespace {

constexpr int EXIT_NO_AUDIO = 0xB001;
constexpr int EXIT_NO_MUSIC = 0xB002;
constexpr int EXIT_NO_SYNC = 0xC001;

constexpr int DEFAULT_AUDIO_DEVICE = -1;
constexpr uint32_t AUDIO_FREQUENCY = 44100;

int fail(const char* message, int status)
{
    std::cout << message << std::endl;
    return status;
}

}  // namespace

int main(int argc, char** argv)
{
    glutInit(&argc, argv);
    glutInitDisplayMode(GLUT_RGBA | GLUT_DOUBLE | GLUT_DEPTH | GLUT_STENCIL);
    glutInitWindowSize(800, 600);
    glutInitWindowPosition(100, 100);
    glutCreateWindow("Vordel");
    glutDisplayFunc(display);
    glutKeyboardFunc(keyboard);
    glutReshapeFunc(reshape);
    // Leaving the loop, by Escape, the final fade or closing the window, returns here for shutdown.
    glutSetOption(GLUT_ACTION_ON_WINDOW_CLOSE, GLUT_ACTION_CONTINUE_EXECUTION);
    glutFullScreen();

    init_gl();

    if (!audio_init(DEFAULT_AUDIO_DEVICE, AUDIO_FREQUENCY, 0, 0, nullptr))
        return fail("failed to initialise audio", EXIT_NO_AUDIO);
    demo_state.music = audio_stream_create_file(false, "music.mp3", 0, 0, AUDIO_STREAM_PRESCAN);
    if (demo_state.music == 0)
        return fail("failed to open music", EXIT_NO_MUSIC);
    demo_state.device = create_track_device();
    if (demo_state.device == nullptr)
        return fail("failed to start sync", EXIT_NO_SYNC);
    register_demo_tracks(demo_state.device, demo_state.sync_state);

    audio_channel_play(demo_state.music, false);
    glutMainLoop();

    audio_stream_free(demo_state.music);
    audio_free();
    std::cout << "finito";
    return 0;
}
