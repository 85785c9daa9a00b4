// The frame driver: the three window callbacks and the pieces of one frame.
//
// Every frame takes its row from the music's playback position (rows = seconds × ROWS_PER_SECOND),
// so the picture follows the audio clock, never a frame counter. Past FADE_OUT_ROW the fade
// opacity also turns the music down, and the run ends once the volume drops below
// SILENCE_THRESHOLD.
#pragma once

#include "sync/music_clock.h"

constexpr double FADE_OUT_ROW = 1024.0;
constexpr float SILENCE_THRESHOLD = 0.0001f;

// The music volume that a "fade.a" value gives past the fade-out row: 1 - a, rounded to single.
float fade_out_volume(double fade_a);

// True when the run ends after this frame: the row is past the fade-out row and the volume is
// below the silence threshold. Sets the music volume whenever the row is past the fade-out row.
bool apply_end_of_demo_rule(double row);

// The first steps of every frame: reads the music's playback position into current_row and applies
// the end-of-demo rule there. True when this frame is the last one.
bool start_frame();

// Draws one frame at demo_state.sync_state.current_row without presenting it: projection, clear
// colour, fog, the chosen scene, the text card and the fade quad.
void render_frame();

// The window's aspect ratio for the projection and the text card; 1 while the height is not positive.
float window_aspect();

// start_frame, render_frame and presentation; leaves the main loop after the last frame.
void display();
// Escape leaves the main loop; every other key is left alone.
constexpr unsigned char ESCAPE_KEY = 27;
void keyboard(unsigned char key, int x, int y);
void reshape(int width, int height);
