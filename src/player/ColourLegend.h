#pragma once
#include <osg/Geode>
#include <osg/ref_ptr>
#include <osgText/Font>

#include "scene/TrackColouring.h"

// The legend of the track's colours, for the display's camera (window pixels, origin at the
// bottom left), filling the rectangle from (x, y) to (x + width, y + height) with a
// translucent dark box: the title on top, then for a ramp a bar of its colours with its
// low, middle and high values under it, or for modes a small box of each mode's colour
// beside its name, in columns filled top to bottom, as many as the width holds. Text is
// textSize pixels high, in `font` (the library's built-in font when null). Names that the
// rectangle has no room for, even with their lines closer together, are left out and counted
// on a last line ("+3 more"); the entry `keep` (the selected flight's) is never among them.
// Built once: nothing in it is dynamic. Empty for a colouring without entries.
osg::ref_ptr<osg::Geode> BuildColourLegend(const TrackColouring& colouring, double x, double y, double width, double height, double textSize, osgText::Font* font,
                                           size_t keep = static_cast<size_t>(-1));

// The height in pixels the legend needs to show all of itself at that width and text size;
// 0 for a colouring without entries.
double LegendHeight(const TrackColouring& colouring, double width, double textSize);

// The width in pixels at which the title and every entry of a legend of names fit in one column.
double OneColumnLegendWidth(const TrackColouring& colouring, double textSize);
