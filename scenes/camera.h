// The camera that every scene looks through: eye and target from the six camera tracks.
#pragma once

#include "sync/demo_tracks.h"

struct Camera {
    float eye[3];
    float target[3];
};

// Reads "cam.x", "cam.y", "cam.z", "cam.lookx", "cam.looky", "cam.lookz" at the current row, in
// that order, each rounded to single precision.
Camera read_camera(const SyncState& state);

// gluLookAt from the eye to the target with (0, 1, 0) up, on the current matrix.
void look_through(const Camera& camera);
