// Small raster helpers shared by the picture generator and the timeline plotter.
//
// A Canvas holds straight (not premultiplied) RGBA in floats from 0 to 1, row 0 at the top of the
// picture. Text is drawn as an anti-aliased coverage mask from a TrueType file (stb_truetype), and
// pictures are written as 8-bit PNG, JPEG or BMP (stb_image_write). Nothing here reads images.
// Errors are returned as one-line messages; nothing throws.
#pragma once

#include <string>
#include <vector>

#include <stb/stb_truetype.h>

struct Rgba {
    float r, g, b, a;
};

// A picture under construction: width × height pixels, 4 floats each, rows top to bottom.
struct Canvas {
    int width = 0;
    int height = 0;
    std::vector<float> pixels;
};

// One float per pixel, 0 (empty) to 1 (fully covered); same layout as Canvas without channels.
struct Mask {
    int width = 0;
    int height = 0;
    std::vector<float> cover;
};

Canvas make_canvas(int width, int height, Rgba fill);
Mask make_mask(int width, int height);

// Lays `colour` over pixel (x, y) with its alpha times `amount` (source-over); pixels outside
// the canvas are ignored.
void blend_pixel(Canvas& canvas, int x, int y, Rgba colour, float amount);

// Lays `colour` over every pixel by the mask's coverage; canvas and mask must be the same size.
void blend_mask(Canvas& canvas, const Mask& mask, Rgba colour);

// Box-blurs the mask `passes` times with a (2·radius + 1)² window; edges are clamped.
void blur_mask(Mask& mask, int radius, int passes);

// An axis-aligned filled rectangle with anti-aliased edges, in pixel coordinates (x0 < x1).
void fill_rect(Canvas& canvas, float x0, float y0, float x1, float y1, Rgba colour);

// A line of the given width in pixels with anti-aliased edges and round ends.
void draw_line(Canvas& canvas, float x0, float y0, float x1, float y1, float width, Rgba colour);

// A TrueType font held in memory; `info` points into `data`, so a Font must not be copied after
// loading (load it where it will live).
struct Font {
    std::vector<unsigned char> data;
    stbtt_fontinfo info{};
    bool loaded = false;
};

// The fonts the tools use, from Debian's fonts-dejavu-core.
extern const char* const FONT_REGULAR_PATH;
extern const char* const FONT_BOLD_PATH;

// Reads a .ttf file; on failure returns false and sets `error` to "path: reason".
bool load_font(const std::string& path, Font& font, std::string& error);

// Width in pixels of UTF-8 `text` at the given pixel height (ascent to descent).
float text_width(const Font& font, const std::string& text, float pixel_height);

// Adds the coverage of `text` to the mask (per pixel the larger coverage wins), the pen starting
// at x with the baseline at y; letter_spacing pixels are added after every glyph.
void draw_text(const Font& font, const std::string& text, float pixel_height, float x, float baseline,
               Mask& mask, float letter_spacing = 0.0f);

// Writes the canvas as 8-bit PNG with 3 (RGB) or 4 (RGBA) components, JPEG (RGB, quality 1-100)
// or 24-bit BMP. Returns false and sets `error` on failure.
bool write_png(const Canvas& canvas, int components, const std::string& path, std::string& error);
bool write_jpg(const Canvas& canvas, int quality, const std::string& path, std::string& error);
bool write_bmp(const Canvas& canvas, const std::string& path, std::string& error);
