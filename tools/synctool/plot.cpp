// Drawing of the timeline overview (see plot.h).
#include "tools/synctool/plot.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

constexpr int LABEL_WIDTH = 150;   // pixels left of the rows for names and ranges
constexpr int HEADER_HEIGHT = 26;  // bar numbers
constexpr int LANE_HEIGHT = 46;
constexpr int LANE_GAP = 4;
constexpr int RIGHT_MARGIN = 16;
constexpr float TARGET_PLOT_WIDTH = 1400.0f;  // pixels for the whole row range, roughly
constexpr int BARS_PER_SECTION = 4;           // a stronger line every four bars
constexpr int64_t MAX_BARS = 512;             // about 16 minutes at 128 BPM; later keys are not drawn
constexpr float NAME_SIZE = 15.0f, SMALL_SIZE = 11.0f;

const Rgba BACKGROUND = {0.08f, 0.08f, 0.10f, 1.0f};
const Rgba LANE_A = {0.13f, 0.13f, 0.16f, 1.0f}, LANE_B = {0.16f, 0.16f, 0.19f, 1.0f};
const Rgba BAR_LINE = {1.0f, 1.0f, 1.0f, 0.08f}, SECTION_LINE = {1.0f, 1.0f, 1.0f, 0.28f};
const Rgba TEXT = {0.90f, 0.90f, 0.92f, 1.0f}, DIM_TEXT = {0.60f, 0.60f, 0.66f, 1.0f};
const Rgba KEY_MARK = {1.0f, 1.0f, 1.0f, 0.9f};

// One colour per group of tracks, so related lanes read together.
Rgba lane_colour(const std::string& name)
{
    if (name == "clear.r" || name == "fade.r")
        return {1.0f, 0.42f, 0.42f, 1.0f};
    if (name == "clear.g" || name == "fade.g")
        return {0.45f, 0.95f, 0.45f, 1.0f};
    if (name == "clear.b" || name == "fade.b")
        return {0.50f, 0.62f, 1.0f, 1.0f};
    if (name.compare(0, 4, "cam.") == 0)
        return {0.98f, 0.80f, 0.35f, 1.0f};
    if (name.compare(0, 4, "scp.") == 0)
        return {0.85f, 0.55f, 0.98f, 1.0f};
    if (name.compare(0, 5, "text.") == 0)
        return {0.40f, 0.90f, 0.90f, 1.0f};
    return {0.95f, 0.95f, 0.95f, 1.0f};
}

// Labels gather in two masks (bright and dim) that are laid over the picture once at the end.
struct Labels {
    Mask bright, dim;
};

void put_text(Labels& labels, const Font& font, const std::string& text, float size, float x, float baseline,
              bool bright)
{
    draw_text(font, text, size, x, baseline, bright ? labels.bright : labels.dim);
}

std::string short_number(double v)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.3g", v);
    return text;
}

}  // namespace

Canvas plot_timeline(const Timeline& timeline, const Font& font)
{
    int32_t last_row = 0;
    for (const TrackData& track : timeline.tracks) {
        if (!track.keys.empty())
            last_row = std::max(last_row, track.keys.back().row);
    }
    // Whole bars, one spare bar after the last key; rows before 0 are not shown.
    const int bars =
        static_cast<int>(std::min<int64_t>(static_cast<int64_t>(last_row) / ROWS_PER_BAR + 2, MAX_BARS));
    const int rows = bars * ROWS_PER_BAR;
    const float per_row = std::min(2.0f, std::max(0.25f, TARGET_PLOT_WIDTH / static_cast<float>(rows)));
    const int plot_width = static_cast<int>(std::ceil(rows * per_row));
    const int lanes = static_cast<int>(timeline.tracks.size());
    const int width = LABEL_WIDTH + plot_width + RIGHT_MARGIN;
    const int height = HEADER_HEIGHT + lanes * (LANE_HEIGHT + LANE_GAP) + LANE_GAP;
    Canvas canvas = make_canvas(width, height, BACKGROUND);
    const float x0 = static_cast<float>(LABEL_WIDTH);
    Labels labels{make_mask(width, height), make_mask(width, height)};

    for (int lane = 0; lane < lanes; ++lane) {
        const float top = static_cast<float>(HEADER_HEIGHT + lane * (LANE_HEIGHT + LANE_GAP));
        fill_rect(canvas, 0.0f, top, static_cast<float>(width), top + LANE_HEIGHT,
                  lane % 2 ? LANE_B : LANE_A);
    }
    for (int bar = 0; bar <= bars; ++bar) {
        const float x = x0 + bar * ROWS_PER_BAR * per_row;
        const bool section = bar % BARS_PER_SECTION == 0;
        fill_rect(canvas, x, static_cast<float>(HEADER_HEIGHT - 4), x + 1.0f, static_cast<float>(height),
                  section ? SECTION_LINE : BAR_LINE);
        if (section || per_row * ROWS_PER_BAR >= 40.0f) {
            put_text(labels, font, std::to_string(bar), SMALL_SIZE, x + 3.0f, HEADER_HEIGHT - 8.0f, section);
        }
    }

    for (int lane = 0; lane < lanes; ++lane) {
        const TrackData& track = timeline.tracks[lane];
        const float top = static_cast<float>(HEADER_HEIGHT + lane * (LANE_HEIGHT + LANE_GAP));
        double lo = 0.0, hi = 0.0;
        for (size_t k = 0; k < track.keys.size(); ++k) {
            const double v = track.keys[k].value;
            lo = k == 0 ? v : std::min(lo, v);
            hi = k == 0 ? v : std::max(hi, v);
        }
        const double span = hi - lo > 1e-9 ? hi - lo : 1.0;
        const double middle = hi - lo > 1e-9 ? 0.0 : 0.5;  // a flat track runs through the middle
        const float inner_top = top + 6.0f, inner_height = LANE_HEIGHT - 12.0f;
        auto y_of = [&](double v) {
            return inner_top + inner_height * static_cast<float>(1.0 - ((v - lo) / span + middle));
        };
        put_text(labels, font, track.name, NAME_SIZE, 8.0f, top + 20.0f, true);
        const std::string range =
            track.keys.empty() ? "no keys" : short_number(lo) + " .. " + short_number(hi);
        put_text(labels, font, range, SMALL_SIZE, 8.0f, top + 37.0f, false);

        const Rgba colour = lane_colour(track.name);
        float prev_x = x0, prev_y = y_of(keys_value(track.keys, 0.0));
        for (int px = 1; px <= plot_width; ++px) {
            const double row = px / static_cast<double>(per_row);
            const float x = x0 + static_cast<float>(px), y = y_of(keys_value(track.keys, row));
            draw_line(canvas, prev_x, prev_y, x, y, 1.6f, colour);
            prev_x = x;
            prev_y = y;
        }
        for (const TrackKey& key : track.keys) {
            if (key.row < 0 || key.row > rows)
                continue;
            const float x = x0 + key.row * per_row, y = y_of(key.value);
            fill_rect(canvas, x - 2.0f, y - 2.0f, x + 2.0f, y + 2.0f, KEY_MARK);
        }
    }
    blend_mask(canvas, labels.bright, TEXT);
    blend_mask(canvas, labels.dim, DIM_TEXT);
    return canvas;
}
