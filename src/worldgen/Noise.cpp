#include "worldgen/Noise.h"

#include <algorithm>
#include <cmath>

uint32_t Hash(int32_t a, int32_t b, int32_t c, uint32_t seed)
{
    uint32_t h = seed * 0x9E3779B9u;
    h ^= static_cast<uint32_t>(a) * 0x85EBCA6Bu;
    h = (h << 13) | (h >> 19);
    h ^= static_cast<uint32_t>(b) * 0xC2B2AE35u;
    h = (h << 11) | (h >> 21);
    h ^= static_cast<uint32_t>(c) * 0x27D4EB2Fu;
    // final avalanche (murmur3 finaliser)
    h ^= h >> 16;
    h *= 0x85EBCA6Bu;
    h ^= h >> 13;
    h *= 0xC2B2AE35u;
    h ^= h >> 16;
    return h;
}

double HashUnit(int32_t a, int32_t b, int32_t c, uint32_t seed)
{
    return Hash(a, b, c, seed) / 4294967296.0;
}

double DetailWeight(double wavelength, double footprint)
{
    return std::clamp(1.0 - footprint / wavelength, 0.0, 1.0);
}

double SmoothStep(double edge0, double edge1, double x)
{
    const double t = std::clamp((x - edge0) / (edge1 - edge0), 0.0, 1.0);
    return t * t * (3.0 - 2.0 * t);
}

// Quintic fade: continuous first and second derivative, so hills shade without creases.
static double Fade(double t)
{
    return t * t * t * (t * (t * 6.0 - 15.0) + 10.0);
}

ValueNoise::ValueNoise(uint32_t seed)
{
    for (int32_t n = 0; n < TableSize; ++n)
    {
        permutation[n] = n;
        values[n] = HashUnit(n, 0x5bd1, 0, seed) * 2.0 - 1.0;
    }
    // Fisher-Yates shuffle driven by the hash, so the table depends on the seed only.
    for (int32_t n = TableSize - 1; n > 0; --n)
    {
        const int32_t m = static_cast<int32_t>(Hash(n, 0x1f3d, 1, seed) % static_cast<uint32_t>(n + 1));
        const int32_t t = permutation[n];
        permutation[n] = permutation[m];
        permutation[m] = t;
    }
}

double ValueNoise::At(double x, double y) const
{
    // The lattice is turned against the map's axes, or its squares would line up with
    // north and east and show.
    const double rx = x * 0.9165 - y * 0.4000;
    y = x * 0.4000 + y * 0.9165;
    x = rx;
    const double fx = std::floor(x);
    const double fy = std::floor(y);
    const int32_t i = static_cast<int32_t>(fx);
    const int32_t j = static_cast<int32_t>(fy);
    const double u = Fade(x - fx);
    const double v = Fade(y - fy);
    const double a = Lattice(i, j) + (Lattice(i + 1, j) - Lattice(i, j)) * u;
    const double b = Lattice(i, j + 1) + (Lattice(i + 1, j + 1) - Lattice(i, j + 1)) * u;
    return a + (b - a) * v;
}

double ValueNoise::At(double x, double y, double z) const
{
    const double fx = std::floor(x);
    const double fy = std::floor(y);
    const double fz = std::floor(z);
    const int32_t i = static_cast<int32_t>(fx);
    const int32_t j = static_cast<int32_t>(fy);
    const int32_t k = static_cast<int32_t>(fz);
    const double u = Fade(x - fx);
    const double v = Fade(y - fy);
    const double w = Fade(z - fz);
    double plane[2];
    for (int dz = 0; dz < 2; ++dz)
    {
        const double a = Lattice(i, j, k + dz) + (Lattice(i + 1, j, k + dz) - Lattice(i, j, k + dz)) * u;
        const double b = Lattice(i, j + 1, k + dz) + (Lattice(i + 1, j + 1, k + dz) - Lattice(i, j + 1, k + dz)) * u;
        plane[dz] = a + (b - a) * v;
    }
    return plane[0] + (plane[1] - plane[0]) * w;
}

double ValueNoise::AtPeriodic(double x, double y, int32_t period) const
{
    const double fx = std::floor(x);
    const double fy = std::floor(y);
    const int32_t i = static_cast<int32_t>(fx);
    const int32_t j = static_cast<int32_t>(fy);
    auto wrap = [period](int32_t n) { return ((n % period) + period) % period; };
    const double u = Fade(x - fx);
    const double v = Fade(y - fy);
    const double c00 = Lattice(wrap(i), wrap(j));
    const double c10 = Lattice(wrap(i + 1), wrap(j));
    const double c01 = Lattice(wrap(i), wrap(j + 1));
    const double c11 = Lattice(wrap(i + 1), wrap(j + 1));
    const double a = c00 + (c10 - c00) * u;
    const double b = c01 + (c11 - c01) * u;
    return a + (b - a) * v;
}

double ValueNoise::Fractal(double x, double y, double wavelength, int octaves, double gain, double footprint) const
{
    double sum = 0.0;
    double amplitude = 1.0;
    for (int octave = 0; octave < octaves; ++octave)
    {
        const double weight = DetailWeight(wavelength, footprint);
        if (weight <= 0.0)
            break; // every finer octave is averaged away too
        // Each octave is shifted and turned so the lattices of different octaves do not
        // line up (a turn of about 37 degrees per octave).
        sum += amplitude * weight * At(x / wavelength + octave * 17.31, y / wavelength - octave * 9.73);
        const double turned = x * 0.8 - y * 0.6;
        y = x * 0.6 + y * 0.8;
        x = turned;
        amplitude *= gain;
        wavelength *= 0.5;
    }
    return sum;
}
