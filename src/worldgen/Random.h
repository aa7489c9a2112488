#pragma once
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "geo/Geodesy.h"

// Deterministic random numbers, the same on every platform (the standard library's
// distributions are not).
class Random
{
public:
    explicit Random(uint64_t seed)
        : state(seed * 0x9E3779B97F4A7C15ull + 0x632BE59BD9B4E019ull)
    {
    }

    double Uniform() // [0, 1)
    {
        state += 0x9E3779B97F4A7C15ull;
        uint64_t z = state;
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        z ^= z >> 31;
        return (z >> 11) * (1.0 / 9007199254740992.0);
    }

    double Gaussian()
    {
        const double u = std::max(Uniform(), 1e-300);
        const double v = Uniform();
        return std::sqrt(-2.0 * std::log(u)) * std::cos(TwoPi * v);
    }

private:
    uint64_t state;
};

// A slowly wandering error: mean 0, standard deviation sigma, memory of tau seconds.
class Wander
{
public:
    Wander(double sigma, double tau)
        : sigma(sigma)
        , tau(tau)
    {
    }

    double Step(Random& random, double dt)
    {
        value += -value / tau * dt + sigma * std::sqrt(2.0 * dt / tau) * random.Gaussian();
        return value;
    }

    double value = 0.0;

private:
    double sigma;
    double tau;
};
