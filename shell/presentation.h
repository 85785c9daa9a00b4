// How frames reach the screen: the swap interval asked of the GL driver, and the refresh rate of
// the display, which the authoring mode paces its frames to where presentation does not (a
// virtual display, a driver without vertical sync). Both need the window's GL context current.
// Nothing here waits: a driver that honours the interval waits in its buffer swap.
#pragma once

// The rate assumed where the X server reports none (a virtual display reports 0 Hz).
constexpr double DEFAULT_REFRESH_HZ = 60.0;

// Asks the driver to present at most one frame a refresh (1) or each frame at once (0), through
// whichever swap-control extension of GLX it offers. False when it offers none that can.
bool set_swap_interval(int interval);

// The current refresh rate of the screen the demo is on, in Hz, or DEFAULT_REFRESH_HZ.
double display_refresh_hz();
