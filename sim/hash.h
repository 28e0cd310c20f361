#pragma once
// Small deterministic mixing functions: every generated value of the simulator derives from
// them, so the same seed gives the same graph and the same bytes on every machine.

#include <cstdint>
#include <string_view>

namespace pelvaro::sim {

inline std::uint64_t SplitMix(std::uint64_t x) {
  x += 0x9E3779B97F4A7C15ull;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  return x ^ (x >> 31);
}

inline std::uint64_t Fnv1a(std::string_view bytes) {
  std::uint64_t h = 0xCBF29CE484222325ull;
  for (unsigned char c : bytes) {
    h ^= c;
    h *= 0x100000001B3ull;
  }
  return h;
}

// A tiny generator for one derived stream of values (one article, one answer).
class Rng {
 public:
  explicit Rng(std::uint64_t seed) : state_(seed) {}
  Rng(std::uint64_t a, std::uint64_t b, std::uint64_t c = 0)
      : state_(SplitMix(a ^ SplitMix(b ^ SplitMix(c)))) {}

  std::uint64_t Next() {
    state_ += 0x9E3779B97F4A7C15ull;
    return SplitMix(state_);
  }
  // Uniform in [lo, hi], both inclusive.
  std::int64_t Between(std::int64_t lo, std::int64_t hi) {
    return lo + static_cast<std::int64_t>(Next() % static_cast<std::uint64_t>(hi - lo + 1));
  }
  double Unit() { return static_cast<double>(Next() >> 11) / 9007199254740992.0; }
  bool Chance(double p) { return Unit() < p; }

 private:
  std::uint64_t state_;
};

}  // namespace pelvaro::sim
