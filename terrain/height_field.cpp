#include "terrain/height_field.h"

#include <cmath>

namespace {

constexpr double RIDGE_RISE_START = 8.0;   // radius where the ring starts to climb
constexpr double RIDGE_FALL_START = 12.0;  // radius where its falling term starts
constexpr double RING_TERM_LIMIT = 5.0;    // each ring term is clamped to 0..5
constexpr double RING_SCALE = 0.1;
constexpr double RELIEF_SCALE = 0.5;
constexpr double MEDIUM_SCALE = 2.0;
constexpr double FINE_SCALE = 10.0;
constexpr double MEDIUM_WEIGHT = 0.25;
constexpr double FINE_WEIGHT = 0.04;
constexpr double MEDIUM_LAYER = 1.0;  // the medium detail samples the field's z = 1 layer
constexpr int MEDIUM_LAYER_CELL = 1;
constexpr double DETAIL_THRESHOLD = 0.5;  // base height where detail starts to show
constexpr double DETAIL_RAMP = 2.0;       // full detail 0.5 units above the threshold

// Not above low gives low, then not below high gives high; a NaN therefore becomes low.
double clamp_to(double value, double low, double high)
{
    if (!(value > low))
        return low;
    if (!(value < high))
        return high;
    return value;
}

struct BaseHeight {
    float base;
    double mask;
};

BaseHeight base_height(float x, float z, double relief)
{
    const float radius = static_cast<float>(std::sqrt(static_cast<double>(x * x + z * z)));
    const double rise = clamp_to(static_cast<double>(radius) - RIDGE_RISE_START, 0.0, RING_TERM_LIMIT);
    const double fall = clamp_to(static_cast<double>(radius) - RIDGE_FALL_START, 0.0, RING_TERM_LIMIT);
    const float ring =
        static_cast<float>(RING_SCALE * std::pow(rise, 2.0) - RING_SCALE * std::pow(fall, 2.0));
    const float base = static_cast<float>(relief + static_cast<double>(ring));
    const double mask = clamp_to((static_cast<double>(base) - DETAIL_THRESHOLD) * DETAIL_RAMP, 0.0, 1.0);
    return BaseHeight{base, mask};
}

float with_detail(const BaseHeight& ground, double detail)
{
    return static_cast<float>(detail * ground.mask) + ground.base;
}

}  // namespace

float terrain_height(const PerlinNoise& noise, float x, float z)
{
    const double wx = static_cast<double>(x);
    const double wz = static_cast<double>(z);
    const BaseHeight ground = base_height(x, z, noise.noise(RELIEF_SCALE * wx, RELIEF_SCALE * wz, 0.0));
    const double detail = FINE_WEIGHT * noise.noise(FINE_SCALE * wx, FINE_SCALE * wz, 0.0) +
                          MEDIUM_WEIGHT * noise.noise(MEDIUM_SCALE * wx, MEDIUM_SCALE * wz, MEDIUM_LAYER);
    return with_detail(ground, detail);
}

GroundCoordinate prepare_ground_coordinate(float value)
{
    const double wide = static_cast<double>(value);
    return GroundCoordinate{value, prepare_noise_coordinate(RELIEF_SCALE * wide),
                            prepare_noise_coordinate(MEDIUM_SCALE * wide),
                            prepare_noise_coordinate(FINE_SCALE * wide)};
}

float terrain_height(const PerlinNoise& noise, const GroundCoordinate& x, const GroundCoordinate& z)
{
    const BaseHeight ground = base_height(x.value, z.value, noise.noise_on_layer(x.relief, z.relief, 0));
    // detail × 0 is a zero, and base (never -0) plus a zero of either sign is base itself.
    if (ground.mask == 0.0)
        return ground.base;
    const double detail = FINE_WEIGHT * noise.noise_on_layer(x.fine, z.fine, 0) +
                          MEDIUM_WEIGHT * noise.noise_on_layer(x.medium, z.medium, MEDIUM_LAYER_CELL);
    return with_detail(ground, detail);
}
