#include "worldgen/Textures.h"

#include <algorithm>
#include <cmath>

#include "geo/MapProjection.h"
#include "worldgen/Noise.h"

namespace
{

struct Colour
{
    double r, g, b;
};

Colour Mix(const Colour& a, const Colour& b, double t)
{
    return Colour{a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

void Put(osg::Image& image, int32_t column, int32_t row, const Colour& c)
{
    unsigned char* p = image.data(column, row);
    p[0] = static_cast<unsigned char>(std::clamp(std::lround(c.r * 255.0), 0L, 255L));
    p[1] = static_cast<unsigned char>(std::clamp(std::lround(c.g * 255.0), 0L, 255L));
    p[2] = static_cast<unsigned char>(std::clamp(std::lround(c.b * 255.0), 0L, 255L));
}

osg::ref_ptr<osg::Image> NewImage(int32_t width, int32_t height)
{
    osg::ref_ptr<osg::Image> image = new osg::Image;
    image->allocateImage(width, height, 1, GL_RGB, GL_UNSIGNED_BYTE);
    return image;
}

} // namespace

void SkyDirection(int32_t column, int32_t row, double& elevation, double& azimuth)
{
    elevation = ((row + 0.5) / SkyHeight - 0.5) * Pi;
    azimuth = (column + 0.5) / SkyWidth * TwoPi;
}

osg::ref_ptr<osg::Image> MakeSkyImage(uint32_t seed)
{
    ValueNoise clouds(seed * 13u + 5u);
    osg::ref_ptr<osg::Image> image = NewImage(SkyWidth, SkyHeight);
    const Colour haze{0.80, 0.85, 0.90};
    const Colour zenith{0.20, 0.40, 0.78};
    const Colour groundHaze{0.62, 0.67, 0.62};
    const Colour ground{0.33, 0.40, 0.28};
    // The afternoon sun: south-west (compass 225 degrees), 35 degrees high. Azimuths here
    // run from south towards east, so south-west lies at 360 - 45 degrees.
    const double sunAzimuth = -45.0 * Pi / 180.0;
    const double sunElevation = 35.0 * Pi / 180.0;
    const double sx = std::cos(sunElevation) * std::cos(sunAzimuth);
    const double sy = std::cos(sunElevation) * std::sin(sunAzimuth);
    const double sz = std::sin(sunElevation);

    for (int32_t row = 0; row < SkyHeight; ++row)
    {
        for (int32_t column = 0; column < SkyWidth; ++column)
        {
            double elevation = 0.0;
            double azimuth = 0.0;
            SkyDirection(column, row, elevation, azimuth);
            const double dx = std::cos(elevation) * std::cos(azimuth);
            const double dy = std::cos(elevation) * std::sin(azimuth);
            const double dz = std::sin(elevation);
            Colour c;
            if (elevation < 0.0)
            {
                // Below the horizon: what lies beyond the terrain's edge, hazy and plain.
                c = Mix(groundHaze, ground, SmoothStep(0.0, 0.25, -elevation));
            }
            else
            {
                c = Mix(haze, zenith, std::pow(SmoothStep(0.0, Pi / 2.0, elevation), 0.45));
                const double toSun = dx * sx + dy * sy + dz * sz;
                c = Mix(c, Colour{1.0, 0.98, 0.90}, 0.35 * std::pow(std::max(toSun, 0.0), 24.0));
                // Clouds on a flat layer: their pattern shrinks towards the horizon as a
                // real cloud deck does, and depends on direction only, so the picture
                // closes seamlessly round the vertical and at the zenith.
                const double reach = std::min(std::cos(elevation) / std::max(std::sin(elevation), 0.05), 20.0);
                const double px = dx / std::max(std::cos(elevation), 1e-6) * reach;
                const double py = dy / std::max(std::cos(elevation), 1e-6) * reach;
                const double puffs = clouds.Fractal(px * 2.2 + 31.0, py * 2.2 - 17.0, 1.0, 5, 0.55, 0.0);
                const double cover = SmoothStep(0.18, 0.55, puffs) * SmoothStep(0.03, 0.2, elevation);
                const double lit = 0.86 + 0.14 * SmoothStep(-0.2, 0.6, clouds.At(px * 6.0, py * 6.0));
                c = Mix(c, Colour{0.96 * lit, 0.96 * lit, 0.97 * lit}, cover * 0.9);
            }
            Put(*image, column, row, c);
        }
    }
    return image;
}

osg::ref_ptr<osg::Image> MakeGrassImage(uint32_t seed)
{
    ValueNoise noise(seed * 13u + 7u);
    const int32_t size = 256;
    osg::ref_ptr<osg::Image> image = NewImage(size, size);
    const Colour dark{0.26, 0.38, 0.16};
    const Colour light{0.47, 0.58, 0.28};
    for (int32_t row = 0; row < size; ++row)
    {
        for (int32_t column = 0; column < size; ++column)
        {
            // Periodic noise on lattices of 8, 32 and 64 cells: the tile repeats seamlessly.
            const double x = column / 32.0;
            const double y = row / 32.0;
            const double patches = noise.AtPeriodic(x, y, 8);
            const double tufts = noise.AtPeriodic(x * 4.0 + 0.5, y * 4.0 + 0.5, 32);
            const double blades = noise.AtPeriodic(column / 4.0, row / 4.0, 64);
            const double t = std::clamp(0.5 + 0.35 * patches + 0.2 * tufts + 0.15 * blades, 0.0, 1.0);
            Put(*image, column, row, Mix(dark, light, t));
        }
    }
    return image;
}

osg::ref_ptr<osg::Image> MakeShapeAircraftImage()
{
    const int32_t size = 256;
    osg::ref_ptr<osg::Image> image = NewImage(size, size);
    const Colour foam{0.93, 0.92, 0.88};
    const Colour red{0.80, 0.12, 0.10};
    const Colour underside{0.72, 0.73, 0.75};
    for (int32_t row = 0; row < size; ++row)
    {
        const double t = (row + 0.5) / size;
        for (int32_t column = 0; column < size; ++column)
        {
            const double s = (column + 0.5) / size;
            Colour c = t < 0.5 ? underside : foam;
            // Two red bands on the upper half, and red where s wraps round (the tips).
            if ((t > 0.62 && t < 0.68) || (t > 0.5 && (s < 0.04 || s > 0.96 || std::fabs(s - 0.5) < 0.04)))
                c = red;
            Put(*image, column, row, c);
        }
    }
    return image;
}
