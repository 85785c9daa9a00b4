// The demo's seven pictures, drawn from code: same program, same bytes, every run.
//
// Textures (RGB, widths multiples of 4 because the demo uploads 3-byte rows with GL's default
// 4-byte row alignment): the cube face emblem, the tileable dry grass (one tile per world unit on
// the landscape) and the tileable veined marble of the pedestal. Cards (RGBA, square, transparent
// around the text, text kept inside the middle so tall windows do not cut it): title, greetings,
// credits and the closing logo. Row 0 of every canvas is the top of the picture.
#pragma once

#include <string>

#include "tools/images/raster.h"

constexpr int EMBLEM_SIZE = 256;
constexpr int GRASS_SIZE = 256;
constexpr int MARBLE_SIZE = 512;
constexpr int CARD_SIZE = 512;

Canvas make_emblem_texture();
Canvas make_grass_texture();
Canvas make_marble_texture();

// The fonts the cards are set in; both must be loaded.
struct CardFonts {
    Font regular;
    Font bold;
};

Canvas make_title_card(const CardFonts& fonts);
Canvas make_greets_card(const CardFonts& fonts);
Canvas make_credits_card(const CardFonts& fonts);
Canvas make_logo_card(const CardFonts& fonts);

// Writes all seven files into `folder` under their demo names; false and a one-line `error` on
// the first failure.
bool write_all_pictures(const std::string& folder, std::string& error);
