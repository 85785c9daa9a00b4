#include "scenes/scene.h"

#include <cmath>

int choose_scene(double scene_value, int scene_count)
{
    // Truncation toward zero, done in double so that values beyond the int range (and NaN) never
    // reach a conversion: they simply fall outside the list.
    const double index = std::trunc(scene_value);
    if (!(index >= 0.0 && index < static_cast<double>(scene_count)))
        return 0;
    return static_cast<int>(index);
}
