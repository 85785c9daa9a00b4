#include "shell/text_cards.h"

#include <GL/gl.h>

#include <cmath>

#include "scenes/image_texture.h"
#include "shell/demo_state.h"

uint32_t text_card_textures[4];

namespace {

constexpr const char* CARD_FILES[4] = {"text1.png", "greets.png", "more.png", "jimage.png"};
constexpr int LAST_CARD = 3;

// The cards read the row and their two tracks through this pointer, held from program start.
const SyncState* const card_state = &demo_state.sync_state;

struct CardCorner {
    float s, t;
    float x_sign, y;
};

// Counter-clockwise from the bottom left; t = 0 is the top row of the picture, so cards stand upright.
constexpr CardCorner CARD_CORNERS[4] = {
    {0.0f, 1.0f, -1.0f, -1.0f},
    {1.0f, 1.0f, 1.0f, -1.0f},
    {1.0f, 0.0f, 1.0f, 1.0f},
    {0.0f, 0.0f, -1.0f, 1.0f},
};

}  // namespace

int load_text_cards()
{
    glEnable(GL_TEXTURE_2D);
    for (int i = 0; i < 4; ++i)
        text_card_textures[i] = load_image_texture(CARD_FILES[i], 4);
    return 0;
}

int text_card_index(double text_i)
{
    // Compared in double so that huge values and NaN never reach an int conversion.
    const double index = std::trunc(text_i);
    if (!(index > 0.0))
        return 0;  // below zero (and NaN) there is no card to pick: show the first
    if (index >= LAST_CARD)
        return LAST_CARD;
    return static_cast<int>(index);
}

void draw_text_card(float aspect)
{
    glEnable(GL_TEXTURE_2D);
    const int index = text_card_index(demo_value(*card_state, TRACK_TEXT_I));
    glBindTexture(GL_TEXTURE_2D, text_card_textures[index]);

    glBegin(GL_QUADS);
    const float alpha = static_cast<float>(demo_value(*card_state, TRACK_TEXT_FADE));
    glColor4f(1.0f, 1.0f, 1.0f, alpha);
    // Half the width in normalised coordinates: a square as tall as the window.
    const double half_width = 1.0 / static_cast<double>(aspect);
    const float left = static_cast<float>(-half_width);
    const float right = static_cast<float>(half_width);
    for (const CardCorner& corner : CARD_CORNERS) {
        glTexCoord2f(corner.s, corner.t);
        glVertex2f(corner.x_sign < 0.0f ? left : right, corner.y);
    }
    glEnd();
}
