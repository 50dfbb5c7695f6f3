#include "tools/images/rational.h"

#include <cmath>
#include <numeric>

namespace quarlin::tool {

Rational reduced(Rational r) {
  const int64_t divisor = std::gcd(r.num, r.den);
  return divisor > 1 ? Rational{r.num / divisor, r.den / divisor} : r;
}

std::optional<Rational> frameRate(uint8_t frameRateCode, uint8_t extN, uint8_t extD) {
  static constexpr Rational kRates[] = {{24000, 1001}, {24, 1}, {25, 1}, {30000, 1001},
                                        {30, 1},       {50, 1}, {60000, 1001}, {60, 1}};
  if (frameRateCode < 1 || frameRateCode > 8) return std::nullopt;
  const Rational base = kRates[frameRateCode - 1];
  return reduced(Rational{base.num * (extN + 1), base.den * (extD + 1)});
}

Rational approximate(double value, int64_t maxDen) {
  if (!std::isfinite(value) || value <= 0) return Rational{0, 0};
  // Convergents h/k of the continued fraction of `value`.
  int64_t h0 = 0, h1 = 1, k0 = 1, k1 = 0;
  double x = value;
  for (int step = 0; step < 40; ++step) {
    const double whole = std::floor(x);
    if (whole > 1e12) break;
    const int64_t a = static_cast<int64_t>(whole);
    const int64_t k2 = a * k1 + k0;
    if (k2 > maxDen) break;
    const int64_t h2 = a * h1 + h0;
    h0 = h1, h1 = h2, k0 = k1, k1 = k2;
    const double fraction = x - whole;
    if (fraction < 1e-12 || std::fabs(static_cast<double>(h1) / static_cast<double>(k1) - value) < 1e-12) break;
    x = 1.0 / fraction;
  }
  return k1 == 0 ? Rational{0, 0} : reduced(Rational{h1, k1});
}

}  // namespace quarlin::tool
