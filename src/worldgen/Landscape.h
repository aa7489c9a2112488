#pragma once
#include <cstdint>

#include "worldgen/Noise.h"

// The launch field: a mown meadow centred on the site, its long axis pointing along the
// compass bearing FieldAxisBearing (and the reverse), so that launches and landings head
// into the prevailing west-south-westerly wind.
const double FieldAxisBearing = 65.0;  // degrees clockwise from north
const double FieldHalfLength = 175.0;  // metres along the axis
const double FieldHalfWidth = 95.0;    // metres across the axis
const double MownStripHalfWidth = 14.0;   // metres, the strip launches and landings use
const double MownStripHalfLength = 150.0; // metres

struct Rgb
{
    float r = 0.0f;
    float g = 0.0f;
    float b = 0.0f;
};

// What covers the ground at a point: its colour before terrain shading, and how much of
// the terrain shading applies (0 on water, whose surface is flat and mirrors the sky).
struct LandCover
{
    Rgb colour;
    float shading = 1.0f;
};

// How far the ground is shaped: Local for the demo world, whose flight stays within a few
// kilometres of the field; Regional adds broad hill ranges and winding valleys beyond
// those kilometres, for long flights that would otherwise cross an endless rolling plain.
enum class Relief
{
    Local,
    Regional,
};

// The demo world's ground as functions of the local frame of WorldSite.h (metres east
// and north of the site): its height above sea level and what covers it. Fixed layout
// (field, river, lake, roads), seeded detail (hills, parcels, woods, textures).
class Landscape
{
public:
    explicit Landscape(uint32_t seed, Relief relief = Relief::Local);

    // Height above sea level, metres: rolling hills that grow towards the horizon, a river
    // valley south of the field, a lake to the north-east and the flat field itself.
    double Height(double east, double north) const;

    // Ground cover averaged over a square footprint of `footprint` metres around the
    // point: details smaller than the footprint fade to their mean, so coarse imagery
    // levels show what the finer ones average to.
    LandCover Cover(double east, double north, double footprint) const;

    // Brightness factor of sunlight from the north-west on the terrain slope: 1 on flat
    // ground, above 1 on slopes facing the sun, below 1 on slopes turned away.
    double Shade(double east, double north) const;

    double FieldLevel() const { return fieldLevel; }

    // Distance in metres from the centreline of the river (0 on it).
    double RiverDistance(double east, double north) const;
    // Normalised lake radius: below 1 inside the lake.
    double LakeRadius(double east, double north) const;

    static const double RiverWidth; // metres, water from bank to bank (mean)
    static const double LakeLevel;  // metres above sea level of the lake's surface

private:
    double UnflattenedHeight(double east, double north) const;
    Rgb FieldsColour(double east, double north, double footprint) const;
    Rgb CropColour(int32_t iu, int32_t strip, double pv, double tone, double footprint, bool& tramlines) const;
    Rgb ForestColour(double east, double north, double footprint) const;
    Rgb MeadowColour(double east, double north, double footprint) const;
    double ForestMask(double east, double north, double footprint) const;

    uint32_t seed;
    ValueNoise hills;
    ValueNoise ridges;
    ValueNoise texture;
    ValueNoise woods;
    ValueNoise ranges;
    ValueNoise valleys;
    Relief relief;
    double fieldLevel;
};
