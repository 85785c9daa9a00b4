#include "scenes/camera.h"

#include <GL/glu.h>

Camera read_camera(const SyncState& state)
{
    Camera camera;
    camera.eye[0] = static_cast<float>(demo_value(state, TRACK_CAM_X));
    camera.eye[1] = static_cast<float>(demo_value(state, TRACK_CAM_Y));
    camera.eye[2] = static_cast<float>(demo_value(state, TRACK_CAM_Z));
    camera.target[0] = static_cast<float>(demo_value(state, TRACK_CAM_LOOKX));
    camera.target[1] = static_cast<float>(demo_value(state, TRACK_CAM_LOOKY));
    camera.target[2] = static_cast<float>(demo_value(state, TRACK_CAM_LOOKZ));
    return camera;
}

void look_through(const Camera& camera)
{
    gluLookAt(camera.eye[0], camera.eye[1], camera.eye[2], camera.target[0], camera.target[1],
              camera.target[2], 0.0, 1.0, 0.0);
}
