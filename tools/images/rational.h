// Frame rates and pixel aspect ratios as exact fractions.
#pragma once
#include <cstdint>
#include <optional>

namespace quarlin::tool {

struct Rational {
  int64_t num = 0;
  int64_t den = 0;
  double value() const { return static_cast<double>(num) / static_cast<double>(den); }
  bool operator==(const Rational&) const = default;
};

Rational reduced(Rational r);

// Frames per second of frame_rate_code 1..8 (ISO/IEC 13818-2 table 6-4)
// scaled by (frame_rate_extension_n + 1) / (frame_rate_extension_d + 1);
// none for the reserved codes 0 and 9..15.
std::optional<Rational> frameRate(uint8_t frameRateCode, uint8_t extN, uint8_t extD);

// The nearest fraction with a denominator of at most `maxDen` (continued
// fractions); pixel aspect ratios such as 16/15 and 64/45 come out exact.
Rational approximate(double value, int64_t maxDen = 10000);

}  // namespace quarlin::tool
