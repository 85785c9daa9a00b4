// Angles shared by the scenes and the generators, in radians.
//
// PI is the double nearest π. THIRD_TURNS are the offsets of three things spaced evenly around a
// circle (the triangle's corners, the landscape's coloured lights) as the demo has always taken
// them: two and four thirds rounded to single precision before the multiplication by π, so not
// exactly 2π/3 and 4π/3. Pictures are drawn in single precision with PI rounded to float.
#pragma once

constexpr double PI = 3.141592653589793;
constexpr double THIRD_TURNS[3] = {0.0, 2.0943951648110333, 4.1887903296220665};
constexpr float PI_FLOAT = static_cast<float>(PI);
