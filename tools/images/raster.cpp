// Canvas, mask, text and file output for the authoring tools (see raster.h).
#include "tools/images/raster.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>

#include <stb/stb_image_write.h>

const char* const FONT_REGULAR_PATH = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
const char* const FONT_BOLD_PATH = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf";

namespace {

constexpr int CHANNELS = 4;
constexpr float BYTE_MAX = 255.0f;

float clamp01(float v)
{
    return v < 0.0f ? 0.0f : (v > 1.0f ? 1.0f : v);
}

// Decodes one UTF-8 sequence at text[i], advancing i; malformed bytes come out as '?'.
int next_codepoint(const std::string& text, size_t& i)
{
    const unsigned char c = static_cast<unsigned char>(text[i++]);
    if (c < 0x80)
        return c;
    int extra = 0;
    int cp = 0;
    if ((c & 0xE0) == 0xC0) {
        extra = 1;
        cp = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
        extra = 2;
        cp = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
        extra = 3;
        cp = c & 0x07;
    } else
        return '?';
    for (int k = 0; k < extra; ++k) {
        if (i >= text.size())
            return '?';
        const unsigned char d = static_cast<unsigned char>(text[i]);
        if ((d & 0xC0) != 0x80)
            return '?';
        cp = (cp << 6) | (d & 0x3F);
        ++i;
    }
    return cp;
}

std::vector<int> codepoints(const std::string& text)
{
    std::vector<int> out;
    size_t i = 0;
    while (i < text.size())
        out.push_back(next_codepoint(text, i));
    return out;
}

// 8-bit pixels with `components` channels, rounded to nearest.
std::vector<unsigned char> to_bytes(const Canvas& canvas, int components)
{
    std::vector<unsigned char> out(static_cast<size_t>(canvas.width) * canvas.height * components);
    for (size_t p = 0; p < static_cast<size_t>(canvas.width) * canvas.height; ++p) {
        for (int c = 0; c < components; ++c) {
            const float v = clamp01(canvas.pixels[p * CHANNELS + c]);
            out[p * components + c] = static_cast<unsigned char>(std::floor(v * BYTE_MAX + 0.5f));
        }
    }
    return out;
}

// Distance from point p to the segment a-b, in pixels.
float segment_distance(float px, float py, float ax, float ay, float bx, float by)
{
    const float dx = bx - ax, dy = by - ay;
    const float len2 = dx * dx + dy * dy;
    float t = len2 > 0.0f ? ((px - ax) * dx + (py - ay) * dy) / len2 : 0.0f;
    t = clamp01(t);
    const float qx = ax + t * dx - px, qy = ay + t * dy - py;
    return std::sqrt(qx * qx + qy * qy);
}

}  // namespace

Canvas make_canvas(int width, int height, Rgba fill)
{
    Canvas canvas;
    canvas.width = width;
    canvas.height = height;
    canvas.pixels.resize(static_cast<size_t>(width) * height * CHANNELS);
    for (size_t p = 0; p < static_cast<size_t>(width) * height; ++p) {
        canvas.pixels[p * CHANNELS + 0] = fill.r;
        canvas.pixels[p * CHANNELS + 1] = fill.g;
        canvas.pixels[p * CHANNELS + 2] = fill.b;
        canvas.pixels[p * CHANNELS + 3] = fill.a;
    }
    return canvas;
}

Mask make_mask(int width, int height)
{
    Mask mask;
    mask.width = width;
    mask.height = height;
    mask.cover.assign(static_cast<size_t>(width) * height, 0.0f);
    return mask;
}

void blend_pixel(Canvas& canvas, int x, int y, Rgba colour, float amount)
{
    if (x < 0 || y < 0 || x >= canvas.width || y >= canvas.height)
        return;
    float* px = &canvas.pixels[(static_cast<size_t>(y) * canvas.width + x) * CHANNELS];
    const float sa = clamp01(colour.a * amount);
    if (sa <= 0.0f)
        return;
    const float da = px[3];
    const float oa = sa + da * (1.0f - sa);
    const float src[3] = {colour.r, colour.g, colour.b};
    for (int c = 0; c < 3; ++c)
        px[c] = (src[c] * sa + px[c] * da * (1.0f - sa)) / oa;
    px[3] = oa;
}

void blend_mask(Canvas& canvas, const Mask& mask, Rgba colour)
{
    for (int y = 0; y < canvas.height; ++y) {
        for (int x = 0; x < canvas.width; ++x) {
            blend_pixel(canvas, x, y, colour, mask.cover[static_cast<size_t>(y) * mask.width + x]);
        }
    }
}

void blur_mask(Mask& mask, int radius, int passes)
{
    const int w = mask.width, h = mask.height;
    std::vector<float> tmp(mask.cover.size());
    const float norm = 1.0f / static_cast<float>(2 * radius + 1);
    for (int pass = 0; pass < passes; ++pass) {
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                float sum = 0.0f;
                for (int k = -radius; k <= radius; ++k) {
                    const int xx = std::min(std::max(x + k, 0), w - 1);
                    sum += mask.cover[static_cast<size_t>(y) * w + xx];
                }
                tmp[static_cast<size_t>(y) * w + x] = sum * norm;
            }
        }
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                float sum = 0.0f;
                for (int k = -radius; k <= radius; ++k) {
                    const int yy = std::min(std::max(y + k, 0), h - 1);
                    sum += tmp[static_cast<size_t>(yy) * w + x];
                }
                mask.cover[static_cast<size_t>(y) * w + x] = sum * norm;
            }
        }
    }
}

void fill_rect(Canvas& canvas, float x0, float y0, float x1, float y1, Rgba colour)
{
    const int ix0 = static_cast<int>(std::floor(x0)), ix1 = static_cast<int>(std::ceil(x1));
    const int iy0 = static_cast<int>(std::floor(y0)), iy1 = static_cast<int>(std::ceil(y1));
    for (int y = iy0; y < iy1; ++y) {
        const float cy = std::min(static_cast<float>(y + 1), y1) - std::max(static_cast<float>(y), y0);
        for (int x = ix0; x < ix1; ++x) {
            const float cx = std::min(static_cast<float>(x + 1), x1) - std::max(static_cast<float>(x), x0);
            blend_pixel(canvas, x, y, colour, clamp01(cx) * clamp01(cy));
        }
    }
}

void draw_line(Canvas& canvas, float x0, float y0, float x1, float y1, float width, Rgba colour)
{
    const float half = width * 0.5f;
    const int bx0 = static_cast<int>(std::floor(std::min(x0, x1) - half - 1.0f));
    const int bx1 = static_cast<int>(std::ceil(std::max(x0, x1) + half + 1.0f));
    const int by0 = static_cast<int>(std::floor(std::min(y0, y1) - half - 1.0f));
    const int by1 = static_cast<int>(std::ceil(std::max(y0, y1) + half + 1.0f));
    for (int y = std::max(by0, 0); y <= std::min(by1, canvas.height - 1); ++y) {
        for (int x = std::max(bx0, 0); x <= std::min(bx1, canvas.width - 1); ++x) {
            const float d = segment_distance(x + 0.5f, y + 0.5f, x0, y0, x1, y1);
            const float cover = clamp01(half + 0.5f - d);
            if (cover > 0.0f)
                blend_pixel(canvas, x, y, colour, cover);
        }
    }
}

bool load_font(const std::string& path, Font& font, std::string& error)
{
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        error = path + ": cannot open font";
        return false;
    }
    font.data.clear();
    unsigned char buffer[65536];
    size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        font.data.insert(font.data.end(), buffer, buffer + got);
    std::fclose(file);
    const int offset = stbtt_GetFontOffsetForIndex(font.data.data(), 0);
    if (font.data.empty() || offset < 0 || !stbtt_InitFont(&font.info, font.data.data(), offset)) {
        error = path + ": not a TrueType font";
        return false;
    }
    font.loaded = true;
    return true;
}

float text_width(const Font& font, const std::string& text, float pixel_height)
{
    const float scale = stbtt_ScaleForPixelHeight(&font.info, pixel_height);
    const std::vector<int> cps = codepoints(text);
    float width = 0.0f;
    for (size_t i = 0; i < cps.size(); ++i) {
        int advance = 0, bearing = 0;
        stbtt_GetCodepointHMetrics(&font.info, cps[i], &advance, &bearing);
        width += advance * scale;
        if (i + 1 < cps.size())
            width += stbtt_GetCodepointKernAdvance(&font.info, cps[i], cps[i + 1]) * scale;
    }
    return width;
}

void draw_text(const Font& font, const std::string& text, float pixel_height, float x, float baseline,
               Mask& mask, float letter_spacing)
{
    const float scale = stbtt_ScaleForPixelHeight(&font.info, pixel_height);
    const std::vector<int> cps = codepoints(text);
    const int base_y = static_cast<int>(std::floor(baseline + 0.5f));
    float pen = x;
    for (size_t i = 0; i < cps.size(); ++i) {
        const int cp = cps[i];
        const int pen_whole = static_cast<int>(std::floor(pen));
        const float shift = pen - static_cast<float>(pen_whole);
        int w = 0, h = 0, xoff = 0, yoff = 0;
        unsigned char* glyph =
            stbtt_GetCodepointBitmapSubpixel(&font.info, scale, scale, shift, 0.0f, cp, &w, &h, &xoff, &yoff);
        for (int gy = 0; glyph != nullptr && gy < h; ++gy) {
            for (int gx = 0; gx < w; ++gx) {
                const int mx = pen_whole + xoff + gx, my = base_y + yoff + gy;
                if (mx < 0 || my < 0 || mx >= mask.width || my >= mask.height)
                    continue;
                float& cell = mask.cover[static_cast<size_t>(my) * mask.width + mx];
                cell = std::max(cell, glyph[gy * w + gx] / BYTE_MAX);
            }
        }
        stbtt_FreeBitmap(glyph, nullptr);
        int advance = 0, bearing = 0;
        stbtt_GetCodepointHMetrics(&font.info, cp, &advance, &bearing);
        pen += advance * scale + letter_spacing;
        if (i + 1 < cps.size())
            pen += stbtt_GetCodepointKernAdvance(&font.info, cp, cps[i + 1]) * scale;
    }
}

bool write_png(const Canvas& canvas, int components, const std::string& path, std::string& error)
{
    const std::vector<unsigned char> bytes = to_bytes(canvas, components);
    if (!stbi_write_png(path.c_str(), canvas.width, canvas.height, components, bytes.data(),
                        canvas.width * components)) {
        error = path + ": cannot write PNG";
        return false;
    }
    return true;
}

bool write_jpg(const Canvas& canvas, int quality, const std::string& path, std::string& error)
{
    const std::vector<unsigned char> bytes = to_bytes(canvas, 3);
    if (!stbi_write_jpg(path.c_str(), canvas.width, canvas.height, 3, bytes.data(), quality)) {
        error = path + ": cannot write JPEG";
        return false;
    }
    return true;
}

bool write_bmp(const Canvas& canvas, const std::string& path, std::string& error)
{
    const std::vector<unsigned char> bytes = to_bytes(canvas, 3);
    if (!stbi_write_bmp(path.c_str(), canvas.width, canvas.height, 3, bytes.data())) {
        error = path + ": cannot write BMP";
        return false;
    }
    return true;
}
