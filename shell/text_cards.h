// Text cards: four pictures laid as a centred square over whatever scene runs, chosen by
// "text.i" and made translucent by "text.fade".
//
// The textures are made once during GL set-up and never released.
#pragma once

#include <cstdint>

#include "sync/demo_tracks.h"

extern uint32_t text_card_textures[4];  // "text1.png", "greets.png", "more.png", "jimage.png"

// Loads the four card textures; returns 0. Needs a current GL context.
int load_text_cards();

// Draws the card that "text.i" chooses with the opacity of "text.fade", a square as tall as the
// window. Expects identity matrices, source-alpha blending, no depth test and no lighting.
void draw_text_card(float aspect);

// The card index for a "text.i" value: truncated toward zero, at most 3; values below 0 and NaN
// choose the first card.
int text_card_index(double text_i);
