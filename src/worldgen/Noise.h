#pragma once
#include <cstdint>

// Seeded value noise: smooth pseudo-random fields in [-1, 1] with unit feature size. The
// same seed always gives the same field, which is what makes the demo world reproducible.
class ValueNoise
{
public:
    explicit ValueNoise(uint32_t seed);

    double At(double x, double y) const;
    double At(double x, double y, double z) const;

    // Tileable variant: the field repeats every `period` units on both axes.
    double AtPeriodic(double x, double y, int32_t period) const;

    // Sum of octaves, each twice the frequency and `gain` times the amplitude of the one
    // before, starting at unit amplitude and `wavelength`. Octaves finer than the
    // `footprint` (same unit as the wavelength) fade out, so a wide pixel sees their mean.
    double Fractal(double x, double y, double wavelength, int octaves, double gain, double footprint) const;

private:
    // Lattice values come from a seeded permutation of 1024 entries: a table lookup per
    // corner instead of a hash, which the imagery's millions of samples notice. The
    // pattern repeats after 1024 cells, far beyond the terrain for all but the finest
    // textures, whose repeats hide among the parcels they lie on.
    static const int32_t TableSize = 1024;
    double Lattice(int32_t i, int32_t j) const
    {
        return values[permutation[(permutation[i & (TableSize - 1)] + j) & (TableSize - 1)]];
    }
    double Lattice(int32_t i, int32_t j, int32_t k) const
    {
        const int32_t ij = permutation[(permutation[i & (TableSize - 1)] + j) & (TableSize - 1)];
        return values[permutation[(ij + k) & (TableSize - 1)]];
    }

    int32_t permutation[TableSize];
    double values[TableSize];
};

// A well-mixed 32-bit hash of up to three integers and a seed.
uint32_t Hash(int32_t a, int32_t b, int32_t c, uint32_t seed);

// Hash as a number in [0, 1).
double HashUnit(int32_t a, int32_t b, int32_t c, uint32_t seed);

// How much of a detail of `wavelength` survives averaging over `footprint`: 1 for a sharp
// view, falling to 0 as the footprint reaches the wavelength.
double DetailWeight(double wavelength, double footprint);

double SmoothStep(double edge0, double edge1, double x);
