// Vordel: opens the full-screen window, starts the music and hands over to the frame driver.
//
// Exit statuses: 0 after a normal run (Escape, the final fade or closing the window);
// 0xB001 without audio output, 0xB002 without a playable "music.mp3", 0xC001 when the track
// device cannot be made; 64 for a bad command line, 66 for --edit without a readable timeline,
// 69 when the editor's port is taken.
// Without options the command line goes to the window library only.
#include <GL/freeglut.h>

#include <cstdio>
#include <iostream>
#include <string>

#include "audio/audio.h"
#include "editor/editor_server.h"
#include "shell/authoring.h"
#include "shell/demo_state.h"
#include "shell/editor_wiring.h"
#include "shell/frame_driver.h"
#include "shell/options.h"
#include "shell/presentation.h"
#include "shell/startup.h"

int main(int argc, char** argv)
{
    // Everything about the command line is settled before the window exists.
    Options options;
    std::string error;
    if (!parse_options(argc, argv, options, error)) {
        std::fprintf(stderr, "vordel: %s (try --help)\n", error.c_str());
        return EXIT_BAD_OPTION;
    }
    if (options.help) {
        std::fputs(options_help(), stdout);
        return 0;
    }
    if (options.edit && !authoring_open(options.timeline, error)) {
        std::fprintf(stderr, "vordel: %s\n", error.c_str());
        return EXIT_NO_TIMELINE;
    }
    if (options.edit && !wire_editor(options, error)) {
        std::fprintf(stderr, "vordel: %s\n", error.c_str());
        return EXIT_EDITOR_UNAVAILABLE;
    }
    int window_argc = static_cast<int>(options.window_arguments.size());
    options.window_arguments.push_back(nullptr);

    glutInit(&window_argc, options.window_arguments.data());
    glutInitDisplayMode(GLUT_RGBA | GLUT_DOUBLE | GLUT_DEPTH | GLUT_STENCIL);
    glutInitWindowSize(800, 600);
    glutInitWindowPosition(100, 100);
    glutCreateWindow("Vordel");
    // As fast as presentation allows: on a display with vertical sync, once a refresh.
    set_swap_interval(1);
    glutDisplayFunc(display);
    glutKeyboardFunc(keyboard);
    glutReshapeFunc(reshape);
    // Leaving the loop, by Escape, the final fade or closing the window, returns here for shutdown.
    glutSetOption(GLUT_ACTION_ON_WINDOW_CLOSE, GLUT_ACTION_CONTINUE_EXECUTION);
    glutFullScreen();

    const StartResult start = start_demo();
    if (start.status != 0) {
        editor_stop();
        std::cout << start.message << std::endl;
        return start.status;
    }
    if (options.edit)
        authoring_start();
    if (options.from) {
        if (!seek_to_row(options.from_row)) {
            std::fprintf(stderr, "vordel: position %s is past the end of the music\n",
                         format_position(options.from_row).c_str());
            authoring_stop();
            editor_stop();
            audio_stream_free(demo_state.music);
            audio_free();
            return EXIT_BAD_OPTION;
        }
        std::fprintf(stderr, "%s start\n", format_position(options.from_row).c_str());
    }

    audio_channel_play(demo_state.music, false);
    glutMainLoop();

    // The live timeline closes first: every request still waiting for a frame is answered at once.
    authoring_stop();
    editor_stop();
    audio_stream_free(demo_state.music);
    audio_free();
    std::cout << "finito";
    return 0;
}
