// The timeline at a glance: every track drawn over the rows into one picture, one lane per track.
//
// Lanes are labelled with the track name and its value range; thin lines mark every bar
// (32 rows), stronger ones every four bars. Keys show as small marks on the curve.
#pragma once

#include <string>

#include "tools/images/raster.h"
#include "timeline/timeline.h"

// Draws the timeline; needs a loaded font for the labels.
Canvas plot_timeline(const Timeline& timeline, const Font& font);
