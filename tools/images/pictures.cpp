// Drawing of the demo's textures and text cards (see pictures.h).
#include "tools/images/pictures.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "base/angles.h"

#include "tools/images/tile_noise.h"

namespace {

constexpr int SUPERSAMPLE = 4;  // 4 × 4 samples per pixel for the emblem's hard edges
constexpr int JPEG_QUALITY = 92;
constexpr float CARD_TEXT_WIDTH = 330.0f;  // widest text line on a 512-pixel card, centred

// Seeds of the noise layers; changing one changes that picture only.
constexpr uint32_t SEED_EMBLEM = 11;
constexpr uint32_t SEED_GRASS = 23;
constexpr uint32_t SEED_BLADES = 0x5EED6A55u;
constexpr uint32_t SEED_MARBLE = 47;

const Rgba TRANSPARENT = {0.0f, 0.0f, 0.0f, 0.0f};
const Rgba GOLD = {0.93f, 0.76f, 0.40f, 1.0f};
const Rgba PALE_GOLD = {0.98f, 0.86f, 0.58f, 1.0f};
const Rgba WHITE = {1.0f, 0.98f, 0.95f, 1.0f};
const Rgba SHADOW = {0.02f, 0.02f, 0.05f, 0.85f};

float clamp01(float v)
{
    return v < 0.0f ? 0.0f : (v > 1.0f ? 1.0f : v);
}
float mix(float a, float b, float t)
{
    return a + (b - a) * t;
}
Rgba mix(Rgba a, Rgba b, float t)
{
    return {mix(a.r, b.r, t), mix(a.g, b.g, t), mix(a.b, b.b, t), mix(a.a, b.a, t)};
}
Rgba scaled(Rgba c, float k)
{
    return {c.r * k, c.g * k, c.b * k, c.a};
}

// Source-over of straight-alpha colours.
Rgba over(Rgba top, Rgba below)
{
    const float a = top.a + below.a * (1.0f - top.a);
    if (a <= 0.0f)
        return TRANSPARENT;
    const float kb = below.a * (1.0f - top.a);
    return {(top.r * top.a + below.r * kb) / a, (top.g * top.a + below.g * kb) / a,
            (top.b * top.a + below.b * kb) / a, a};
}

void set_pixel(Canvas& canvas, int x, int y, Rgba c)
{
    float* p = &canvas.pixels[(static_cast<size_t>(y) * canvas.width + x) * 4];
    p[0] = c.r;
    p[1] = c.g;
    p[2] = c.b;
    p[3] = c.a;
}

Rgba get_pixel(const Canvas& canvas, int x, int y)
{
    const float* p = &canvas.pixels[(static_cast<size_t>(y) * canvas.width + x) * 4];
    return {p[0], p[1], p[2], p[3]};
}

// Radius of the star's outline along the direction `angle`: eight points, the four on the axes
// long, the diagonal ones short, straight edges through valleys between them.
float star_radius(float angle)
{
    constexpr float SECTOR = PI_FLOAT / 4.0f;
    constexpr float LONG_TIP = 0.80f, SHORT_TIP = 0.52f, VALLEY = 0.17f;
    float a = std::fmod(angle, 2.0f * PI_FLOAT);
    if (a < 0.0f)
        a += 2.0f * PI_FLOAT;
    const int k = static_cast<int>(a / SECTOR) % 8;
    const float tip_a = k * SECTOR, tip_b = (k + 1) * SECTOR, valley_a = tip_a + SECTOR * 0.5f;
    const float ra = (k % 2 == 0) ? LONG_TIP : SHORT_TIP;
    const float rb = (k % 2 == 0) ? SHORT_TIP : LONG_TIP;
    const bool first_half = a < valley_a;
    const float p_angle = first_half ? tip_a : valley_a, p_r = first_half ? ra : VALLEY;
    const float q_angle = first_half ? valley_a : tip_b, q_r = first_half ? VALLEY : rb;
    const float px = p_r * std::cos(p_angle), py = p_r * std::sin(p_angle);
    const float qx = q_r * std::cos(q_angle), qy = q_r * std::sin(q_angle);
    const float ex = qx - px, ey = qy - py;
    const float dx = std::cos(a), dy = std::sin(a);
    // Ray from the origin meets the edge where cross(P, E) = r · cross(D, E).
    return (px * ey - py * ex) / (dx * ey - dy * ex);
}

// The emblem at (x, y) in units of its outer radius, y pointing down; alpha 0 outside it.
// `inner` fills the space between star and ring.
Rgba emblem_sample(float x, float y, Rgba inner)
{
    const float r = std::sqrt(x * x + y * y);
    const float angle = std::atan2(-y, x);
    if (r > 1.0f)
        return TRANSPARENT;
    if (r > 0.86f)
        return scaled(GOLD, 0.82f + 0.18f * std::cos(angle - PI_FLOAT * 0.25f));
    if (r > 0.80f && r < 0.83f)
        return scaled(PALE_GOLD, 0.9f);
    if (r < 0.11f)
        return {0.10f, 0.42f, 0.48f, 1.0f};
    if (r < 0.15f)
        return PALE_GOLD;
    if (r < star_radius(angle)) {
        // Each point has a light and a shaded half, like a folded paper star.
        const float sector = std::fmod(angle + 2.0f * PI_FLOAT, PI_FLOAT / 4.0f) / (PI_FLOAT / 4.0f);
        const Rgba light = {0.98f, 0.95f, 0.88f, 1.0f}, shade = {0.70f, 0.66f, 0.60f, 1.0f};
        return sector < 0.5f ? light : shade;
    }
    return inner;
}

// Averages SUPERSAMPLE² samples of `sample(x, y)` (pixel coordinates) per pixel, premultiplied.
template <typename Sampler> Canvas supersample(int width, int height, Sampler sample)
{
    Canvas canvas = make_canvas(width, height, TRANSPARENT);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            float r = 0.0f, g = 0.0f, b = 0.0f, a = 0.0f;
            for (int sy = 0; sy < SUPERSAMPLE; ++sy) {
                for (int sx = 0; sx < SUPERSAMPLE; ++sx) {
                    const float fx = x + (sx + 0.5f) / SUPERSAMPLE, fy = y + (sy + 0.5f) / SUPERSAMPLE;
                    const Rgba c = sample(fx, fy);
                    r += c.r * c.a;
                    g += c.g * c.a;
                    b += c.b * c.a;
                    a += c.a;
                }
            }
            const float n = static_cast<float>(SUPERSAMPLE * SUPERSAMPLE);
            set_pixel(canvas, x, y, a > 0.0f ? Rgba{r / a, g / a, b / a, a / n} : TRANSPARENT);
        }
    }
    return canvas;
}

// Text and its soft shadow laid over the card: the shadow is the text's coverage spread and
// blurred, so the letters read over bright and dark scenes alike.
void lay_text(Canvas& card, const Mask& text, Rgba colour)
{
    Mask shadow = text;
    blur_mask(shadow, 3, 2);
    for (float& v : shadow.cover)
        v = clamp01(v * 3.0f);
    blend_mask(card, shadow, SHADOW);
    blend_mask(card, text, colour);
}

// Draws one centred line into the mask; the size shrinks if the line would be wider than
// CARD_TEXT_WIDTH.
void centred_line(const Font& font, const std::string& text, float height, float baseline, Mask& mask,
                  float spacing = 0.0f)
{
    const float chars = static_cast<float>(text.size() > 1 ? text.size() - 1 : 0);
    float width = text_width(font, text, height) + spacing * chars;
    if (width > CARD_TEXT_WIDTH) {
        height *= CARD_TEXT_WIDTH / width;
        spacing *= CARD_TEXT_WIDTH / width;
        width = text_width(font, text, height) + spacing * chars;
    }
    draw_text(font, text, height, (mask.width - width) * 0.5f, baseline, mask, spacing);
}

// A thin horizontal rule with soft ends, centred on the card.
void centred_rule(Canvas& card, float y, float half_length, Rgba colour)
{
    const float cx = card.width * 0.5f;
    for (int x = static_cast<int>(cx - half_length); x < static_cast<int>(cx + half_length); ++x) {
        const float edge = 1.0f - std::fabs((x + 0.5f - cx) / half_length);
        fill_rect(card, static_cast<float>(x), y, static_cast<float>(x + 1), y + 2.0f,
                  {colour.r, colour.g, colour.b, colour.a * clamp01(edge * 3.0f)});
    }
}

// A dark translucent panel with softly rounded corners behind a block of text: over bright sky,
// sunlit grass or lit cube faces the letters need a backdrop darker than a shadow alone can give.
void backdrop(Canvas& card, float x0, float y0, float x1, float y1)
{
    constexpr float RADIUS = 18.0f;
    const Rgba PANEL = {0.02f, 0.02f, 0.05f, 0.8f};
    Mask panel = make_mask(card.width, card.height);
    for (int y = 0; y < card.height; ++y) {
        for (int x = 0; x < card.width; ++x) {
            // Distance outside the rectangle shrunk by the radius, then a one-pixel soft edge.
            const float dx = std::fmax(std::fmax(x0 + RADIUS - (x + 0.5f), (x + 0.5f) - (x1 - RADIUS)), 0.0f);
            const float dy = std::fmax(std::fmax(y0 + RADIUS - (y + 0.5f), (y + 0.5f) - (y1 - RADIUS)), 0.0f);
            const float distance = std::sqrt(dx * dx + dy * dy);
            panel.cover[static_cast<size_t>(y) * card.width + x] = clamp01(RADIUS + 0.5f - distance);
        }
    }
    blend_mask(card, panel, PANEL);
}

}  // namespace

Canvas make_emblem_texture()
{
    const float half = EMBLEM_SIZE * 0.5f;
    const Rgba slate = {0.36f, 0.42f, 0.54f, 1.0f}, deep = {0.12f, 0.20f, 0.36f, 1.0f};
    const Rgba frame = {0.80f, 0.62f, 0.32f, 1.0f};
    return supersample(EMBLEM_SIZE, EMBLEM_SIZE, [&](float px, float py) {
        const float x = (px - half) / half, y = (py - half) / half;  // -1..1 across the face
        const float grain =
            tile_fbm(px / EMBLEM_SIZE * 8.0f, py / EMBLEM_SIZE * 8.0f, 8, 4, 0.5f, SEED_EMBLEM);
        Rgba c = scaled(slate, 0.92f + 0.12f * grain - 0.1f * (x * x + y * y));
        const float edge = std::max(std::fabs(x), std::fabs(y));
        if (edge > 0.86f && edge < 0.97f) {
            // Bevelled frame: lighter towards its outer edge, a dark groove inside.
            c = scaled(frame, 0.75f + 0.25f * (edge - 0.86f) / 0.11f + 0.05f * grain);
        } else if (edge >= 0.97f) {
            c = scaled(frame, 0.55f);
        }
        const float rivet_x = std::fabs(x) - 0.915f, rivet_y = std::fabs(y) - 0.915f;
        if (rivet_x * rivet_x + rivet_y * rivet_y < 0.035f * 0.035f)
            c = PALE_GOLD;
        const Rgba mark = emblem_sample(x / 0.78f, y / 0.78f, scaled(deep, 1.0f + 0.15f * grain));
        return over(mark, c);
    });
}

Canvas make_grass_texture()
{
    const float size = static_cast<float>(GRASS_SIZE);
    const Rgba straw = {0.78f, 0.67f, 0.42f, 1.0f}, tan = {0.52f, 0.42f, 0.26f, 1.0f};
    const Rgba sage = {0.56f, 0.56f, 0.36f, 1.0f};
    Canvas canvas = make_canvas(GRASS_SIZE, GRASS_SIZE, straw);
    for (int y = 0; y < GRASS_SIZE; ++y) {
        for (int x = 0; x < GRASS_SIZE; ++x) {
            const float u = x / size * 4.0f, v = y / size * 4.0f;
            const float patch = tile_fbm(u, v, 4, 5, 0.55f, SEED_GRASS);
            const float tint = tile_fbm(u * 0.5f, v * 0.5f, 2, 3, 0.5f, SEED_GRASS + 100);
            Rgba c = mix(straw, tan, clamp01(0.45f - patch * 0.8f));
            c = mix(c, sage, clamp01(tint * 1.2f));
            set_pixel(canvas, x, y, c);
        }
    }
    // Blades: short strokes in random directions, each drawn at every wrapped offset that can
    // touch the tile, so strokes crossing an edge continue on the opposite side.
    constexpr int BLADES = 2600;
    Random random(SEED_BLADES);
    const Rgba pale = {0.93f, 0.85f, 0.60f, 1.0f}, brown = {0.40f, 0.31f, 0.18f, 1.0f};
    for (int i = 0; i < BLADES; ++i) {
        const float x = random.range(0.0f, size), y = random.range(0.0f, size);
        const float angle = random.range(0.0f, 2.0f * PI_FLOAT);
        const float length = random.range(5.0f, 16.0f), width = random.range(0.7f, 1.5f);
        const float shade = random.uniform();
        Rgba colour = mix(brown, pale, shade * shade * 0.4f + shade * 0.6f);
        colour.a = random.range(0.45f, 0.85f);
        const float ex = x + std::cos(angle) * length, ey = y + std::sin(angle) * length;
        for (int oy = -1; oy <= 1; ++oy) {
            for (int ox = -1; ox <= 1; ++ox) {
                const float dx = ox * size, dy = oy * size;
                if (std::max(x, ex) + dx < -2.0f || std::min(x, ex) + dx > size + 2.0f)
                    continue;
                if (std::max(y, ey) + dy < -2.0f || std::min(y, ey) + dy > size + 2.0f)
                    continue;
                draw_line(canvas, x + dx, y + dy, ex + dx, ey + dy, width, colour);
            }
        }
    }
    // Soft shadow pools between tufts.
    for (int y = 0; y < GRASS_SIZE; ++y) {
        for (int x = 0; x < GRASS_SIZE; ++x) {
            const float shadow = tile_fbm(x / size * 8.0f, y / size * 8.0f, 8, 3, 0.5f, SEED_GRASS + 200);
            const Rgba c = get_pixel(canvas, x, y);
            set_pixel(canvas, x, y, scaled({c.r, c.g, c.b, 1.0f}, 0.9f + 0.14f * shadow));
        }
    }
    return canvas;
}

Canvas make_marble_texture()
{
    const float size = static_cast<float>(MARBLE_SIZE);
    const Rgba white = {0.93f, 0.91f, 0.87f, 1.0f}, cloud = {0.80f, 0.79f, 0.78f, 1.0f};
    const Rgba vein = {0.30f, 0.34f, 0.38f, 1.0f}, fine = {0.55f, 0.50f, 0.46f, 1.0f};
    Canvas canvas = make_canvas(MARBLE_SIZE, MARBLE_SIZE, white);
    for (int y = 0; y < MARBLE_SIZE; ++y) {
        for (int x = 0; x < MARBLE_SIZE; ++x) {
            const float u = x / size, v = y / size;
            const float turb = tile_turbulence(u * 3.0f, v * 3.0f, 3, 6, 0.55f, SEED_MARBLE);
            const float turb2 = tile_turbulence(u * 5.0f, v * 5.0f, 5, 5, 0.5f, SEED_MARBLE + 10);
            const float clouds = tile_fbm(u * 4.0f, v * 4.0f, 4, 5, 0.5f, SEED_MARBLE + 20);
            // Whole numbers of vein bands across the tile keep the phase periodic at the edges.
            const float main_phase = 2.0f * PI_FLOAT * (2.0f * u + 1.0f * v) + 7.0f * turb;
            const float fine_phase = 2.0f * PI_FLOAT * (-1.0f * u + 3.0f * v) + 9.0f * turb2;
            const float main_vein = std::pow(1.0f - std::fabs(std::sin(main_phase)), 9.0f);
            const float fine_vein = std::pow(1.0f - std::fabs(std::sin(fine_phase)), 28.0f);
            Rgba c = mix(white, cloud, clamp01(0.5f + clouds));
            c = mix(c, fine, fine_vein * 0.55f);
            c = mix(c, vein, main_vein * 0.85f);
            set_pixel(canvas, x, y, c);
        }
    }
    return canvas;
}

Canvas make_title_card(const CardFonts& fonts)
{
    Canvas card = make_canvas(CARD_SIZE, CARD_SIZE, TRANSPARENT);
    Mask title = make_mask(CARD_SIZE, CARD_SIZE), subtitle = make_mask(CARD_SIZE, CARD_SIZE);
    centred_line(fonts.bold, "VORDEL", 92.0f, 262.0f, title, 6.0f);
    centred_line(fonts.regular, "hollow orchard  \xC2\xB7  2026", 22.0f, 312.0f, subtitle, 1.5f);
    centred_rule(card, 282.0f, 150.0f, {PALE_GOLD.r, PALE_GOLD.g, PALE_GOLD.b, 0.8f});
    lay_text(card, title, WHITE);
    lay_text(card, subtitle, PALE_GOLD);
    return card;
}

Canvas make_greets_card(const CardFonts& fonts)
{
    static const char* const GROUPS[] = {"Pixel Tundra", "Kobaltkatze", "Nine Lamps",
                                         "Sodium Choir", "Tape Moth",   "Quiet Meridian"};
    constexpr float LINE = 40.0f;
    // The names lie over the tumbling cubes, whose lit faces are as bright as the letters: they
    // need a panel of their own, as the credits have over the landscape.
    Canvas card = make_canvas(CARD_SIZE, CARD_SIZE, TRANSPARENT);
    backdrop(card, 124.0f, 110.0f, 388.0f, 436.0f);
    Mask head = make_mask(CARD_SIZE, CARD_SIZE), names = make_mask(CARD_SIZE, CARD_SIZE);
    centred_line(fonts.regular, "greetings to", 26.0f, 150.0f, head, 2.0f);
    // Translucent enough to stay under 0.9 alpha over the panel: scripts/analyse-capture reads
    // opaque bright pixels as text, and a rule is no line of text to measure against the scene.
    centred_rule(card, 164.0f, 110.0f, {PALE_GOLD.r, PALE_GOLD.g, PALE_GOLD.b, 0.45f});
    float baseline = 210.0f;
    for (const char* group : GROUPS) {
        centred_line(fonts.bold, group, 30.0f, baseline, names);
        baseline += LINE;
    }
    lay_text(card, head, PALE_GOLD);
    lay_text(card, names, WHITE);
    return card;
}

Canvas make_credits_card(const CardFonts& fonts)
{
    struct Credit {
        const char* role;
        const char* handle;
    };
    static const Credit CREDITS[] = {
        {"code", "tinfoil wren"}, {"music", "sable hum"}, {"graphics", "okra lux"}};
    constexpr float BLOCK = 60.0f;
    // The names sit in the upper part of the card and the line of the group at its foot, so the
    // middle of the picture, where the landscape's pedestal stands, stays clear.
    Canvas card = make_canvas(CARD_SIZE, CARD_SIZE, TRANSPARENT);
    backdrop(card, 84.0f, 28.0f, 428.0f, 224.0f);
    backdrop(card, 118.0f, 452.0f, 394.0f, 490.0f);
    Mask roles = make_mask(CARD_SIZE, CARD_SIZE), handles = make_mask(CARD_SIZE, CARD_SIZE);
    float top = 58.0f;
    for (const Credit& credit : CREDITS) {
        centred_line(fonts.regular, credit.role, 19.0f, top, roles, 3.0f);
        centred_line(fonts.bold, credit.handle, 31.0f, top + 30.0f, handles);
        top += BLOCK;
    }
    centred_line(fonts.regular, "a hollow orchard production", 17.0f, 477.0f, roles, 1.0f);
    lay_text(card, roles, PALE_GOLD);
    lay_text(card, handles, WHITE);
    return card;
}

Canvas make_logo_card(const CardFonts& fonts)
{
    constexpr float EMBLEM_RADIUS = 118.0f, EMBLEM_CENTRE_Y = 220.0f;
    const float cx = CARD_SIZE * 0.5f;
    const Rgba inner = {0.05f, 0.08f, 0.16f, 0.55f};
    Canvas emblem = supersample(CARD_SIZE, CARD_SIZE, [&](float px, float py) {
        return emblem_sample((px - cx) / EMBLEM_RADIUS, (py - EMBLEM_CENTRE_Y) / EMBLEM_RADIUS, inner);
    });
    // The emblem's own alpha, spread and blurred, is its shadow.
    Mask shadow = make_mask(CARD_SIZE, CARD_SIZE);
    for (size_t p = 0; p < shadow.cover.size(); ++p)
        shadow.cover[p] = emblem.pixels[p * 4 + 3];
    blur_mask(shadow, 4, 2);
    // One panel behind emblem and word mark, as behind the credits: the logo shows over the final
    // hit's glow and the lit ground, which a shadow alone leaves brighter than the gold.
    Canvas card = make_canvas(CARD_SIZE, CARD_SIZE, TRANSPARENT);
    backdrop(card, 104.0f, 84.0f, 408.0f, 434.0f);
    blend_mask(card, shadow, SHADOW);
    for (int y = 0; y < CARD_SIZE; ++y) {
        for (int x = 0; x < CARD_SIZE; ++x)
            set_pixel(card, x, y, over(get_pixel(emblem, x, y), get_pixel(card, x, y)));
    }
    Mask word = make_mask(CARD_SIZE, CARD_SIZE);
    centred_line(fonts.bold, "VORDEL", 56.0f, 410.0f, word, 8.0f);
    lay_text(card, word, WHITE);
    return card;
}

bool write_all_pictures(const std::string& folder, std::string& error)
{
    const std::string base = folder.empty() || folder.back() == '/' ? folder : folder + "/";
    CardFonts fonts;
    if (!load_font(FONT_REGULAR_PATH, fonts.regular, error) ||
        !load_font(FONT_BOLD_PATH, fonts.bold, error)) {
        return false;
    }
    return write_bmp(make_emblem_texture(), base + "jimage.bmp", error) &&
           write_png(make_grass_texture(), 3, base + "dry_grass.png", error) &&
           write_jpg(make_marble_texture(), JPEG_QUALITY, base + "marble.jpg", error) &&
           write_png(make_title_card(fonts), 4, base + "text1.png", error) &&
           write_png(make_greets_card(fonts), 4, base + "greets.png", error) &&
           write_png(make_credits_card(fonts), 4, base + "more.png", error) &&
           write_png(make_logo_card(fonts), 4, base + "jimage.png", error);
}
