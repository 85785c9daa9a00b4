// The authoring mode's transport: pause and resume, steps by beats and bars, back to the start, a
// loop of whole bars, and the hold on the demo's last row. Each move prints the new position on
// standard error ("12:2:0 (row 400) paused"), so that a run can be followed and checked.
//
// Frame loop only: it moves the music, which the audio layer reads from that thread. Rows are
// music positions; bars and beats are the music clock's (32 and 8 rows).
#pragma once

#include <cstdint>
#include <string>

// "12:2:3 (row 403)": a row as bar, beat and row within the beat, then the whole row.
std::string format_position(double row);

// Moves the music and the picture to a row, holding the fade's volume rule there. False when
// the row is past the end of the music; the position is then unchanged. Prints nothing.
bool seek_to_row(double row);

// Seeks as the keys do and prints the new position, or that the row is past the end of the music.
void transport_seek(double row);

// Pauses or resumes the music and prints the position.
void transport_set_paused(bool paused);

// Sets the loop to the bars from `first_bar` to `last_bar`, both included (in either order), and
// turns it on or off; prints it. Turning it on outside its bars moves playback to its first bar.
void transport_set_loop(int32_t first_bar, int32_t last_bar, bool on);

// The keys: space pauses or resumes; [ and ] mark the loop's ends at the current bar; l turns the
// loop on or off. Left and Right step by beats, Page Up and Page Down by bars, Home goes to the
// start; a step back taken again before a beat has played goes one further back. False for any
// other key.
bool transport_key(unsigned char key);
bool transport_special_key(int key);

// Where a step back of `step` rows from `row` lands: the start of the step playing (a row within
// a thousandth of a start counts as on it), at least 0. A step back pressed again before a beat
// has played past where the last one landed (`last_landing`; negative: none) goes one further
// back, as "previous" does in a player, rather than to that same start again.
double step_back_row(double row, double step, double last_landing);

// Every frame, before the frame reads the position: keeps a looping playback within its bars.
void transport_before_frame();

// On the frame at which the demo would end: pauses on the first whole row where it ends instead,
// however far past it that frame has run.
void transport_hold_at_end(double row);
