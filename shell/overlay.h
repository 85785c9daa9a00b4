// The authoring mode's overlay: a dark box at the window's top left with the position, the scene
// and the frame rate, the transport's state and the last timeline load's result (red for a
// mistake). It only draws; what it shows is kept by the transport and the timeline watch.
//
// Frame loop only: it draws with GL, over the finished frame.
#pragma once

// Counts this frame for the frame rate and draws the overlay when it is shown. `now_s` is the
// steady clock in seconds.
void overlay_frame(double now_s);

// Shows or hides the overlay (the o key).
void overlay_toggle();

// The name of the scene this frame shows ("triangle", "cubes", "landscape"), for the overlay and
// the editor's event stream.
const char* shown_scene_name();
