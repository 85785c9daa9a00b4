#include "shell/demo_state.h"

#include <GL/gl.h>

#include <cstdio>

#include "scenes/spinning_cube.h"
#include "scenes/spinning_triangle.h"
#include "shell/text_cards.h"
#include "terrain/terrain_scene.h"

DemoState demo_state;

void init_gl()
{
    std::printf("OpenGL version: %s\n", reinterpret_cast<const char*>(glGetString(GL_VERSION)));
    std::printf("OpenGL renderer: %s\n", reinterpret_cast<const char*>(glGetString(GL_RENDERER)));

    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glShadeModel(GL_SMOOTH);
    // No blend function yet: the first frame blends with GL's default until the overlay sets one.
    glEnable(GL_BLEND);
    glEnable(GL_TEXTURE_2D);
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_CULL_FACE);
    glCullFace(GL_BACK);
    glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);

    const SyncState* sync = &demo_state.sync_state;
    demo_state.scenes.push_back(new SpinningTriangle(sync));
    demo_state.scenes.push_back(new SpinningCube(sync));
    demo_state.scenes.push_back(new TerrainScene(sync));

    load_text_cards();
    for (Scene* scene : demo_state.scenes)
        scene->init();
}
