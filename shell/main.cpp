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
#include "shell/startup.h"

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

    const StartResult start = start_demo();
    if (start.status != 0) {
        std::cout << start.message << std::endl;
        return start.status;
    }

    audio_channel_play(demo_state.music, false);
    glutMainLoop();

    audio_stream_free(demo_state.music);
    audio_free();
    std::cout << "finito";
    return 0;
}
