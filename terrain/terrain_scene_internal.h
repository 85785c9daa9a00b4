// Internal to terrain/ and its tests; may change at any time. The motion of the box and the
// lights, kept apart from the drawing so that tests can check their numbers without GL.
#pragma once

// The box's height above the pedestal at a row: it climbs at scale / period per row and falls
// back fall_rate times as fast, once per period (in rows). A period that is not positive, or
// any value for which the height would not be a number, gives 0: the box rests.
float box_height(double row, float period, float fall_rate, float scale);

// The places of the three coloured lights at a row, as GL positions (x, y, z, 1): radius 3 at
// height 1 around (centre_x, centre_z), 120 degrees apart, one turn every 40 rows.
void coloured_light_positions(double row, float centre_x, float centre_z, float positions[3][4]);
