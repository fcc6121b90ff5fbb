#pragma once

#include <cstdint>

namespace telvora::lasgen
{

// Everything the generator draws comes from these, never from the standard distributions: their
// results differ between standard libraries, and a seed must give the same file everywhere.

inline std::uint64_t MixBits(std::uint64_t z) noexcept
{
    z += 0x9E3779B97F4A7C15ull;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

// A value fixed by the seed and a place (block indices, object numbers) and what it is for, so
// that the landscape of one place does not depend on the order in which places are laid out.
inline std::uint64_t HashOf(std::uint64_t seed, std::int64_t a, std::int64_t b,
                            std::uint64_t salt) noexcept
{
    std::uint64_t h = MixBits(seed ^ MixBits(salt));
    h = MixBits(h ^ static_cast<std::uint64_t>(a));
    return MixBits(h ^ (static_cast<std::uint64_t>(b) * 0xD1B54A32D192ED03ull));
}

inline double UnitOf(std::uint64_t bits) noexcept
{
    return static_cast<double>(bits >> 11) * 0x1.0p-53;
}

// xoshiro256**: fast, and good enough for noise on millions of points.
class Rng
{
public:
    explicit Rng(std::uint64_t seed) noexcept
    {
        for (auto& word : state)
        {
            seed = MixBits(seed);
            word = seed;
        }
    }

    std::uint64_t Next() noexcept
    {
        const std::uint64_t result = Rotate(state[1] * 5, 7) * 9;
        const std::uint64_t t = state[1] << 17;
        state[2] ^= state[0];
        state[3] ^= state[1];
        state[1] ^= state[2];
        state[0] ^= state[3];
        state[2] ^= t;
        state[3] = Rotate(state[3], 45);
        return result;
    }

    // [0, 1)
    double Uniform() noexcept { return UnitOf(Next()); }
    double Uniform(double lo, double hi) noexcept { return lo + (hi - lo) * Uniform(); }
    bool Chance(double p) noexcept { return Uniform() < p; }
    // [0, n)
    std::uint32_t Below(std::uint32_t n) noexcept
    {
        return static_cast<std::uint32_t>(((Next() >> 32) * n) >> 32);
    }
    // Close enough to a standard normal deviate for measurement noise, at a fraction of the cost
    // of an exact one; never beyond 3.5 either way.
    double Normal() noexcept
    {
        const double sum = Uniform() + Uniform() + Uniform() + Uniform();
        return (sum - 2.0) * 1.7320508075688772;
    }

private:
    static std::uint64_t Rotate(std::uint64_t x, int k) noexcept
    {
        return (x << k) | (x >> (64 - k));
    }

    std::uint64_t state[4] = {};
};

} // namespace telvora::lasgen
