// The constants of the 8x8 inverse DCT's fixed-point arithmetic, shared by
// the generic code (idct_arithmetic.h, which explains them) and the vector
// tiers. Constants only, so that code compiled for any tier may include it.
#pragma once
#include <cstdint>

namespace quarlin::idct {

constexpr int kConstantBits = 15;
constexpr int kPassBits = 4;
// Each 1-D sum is 2^(kConstantBits + 1) times the transform value.
constexpr int kRowShift = kConstantBits + 1 - kPassBits;
constexpr int kColumnShift = kConstantBits + 1 + kPassBits;

// round(2^15 * cos(k * pi / 16)) for k = 1..7.
constexpr int32_t kC1 = 32138, kC2 = 30274, kC3 = 27246, kC4 = 23170, kC5 = 18205, kC6 = 12540,
                  kC7 = 6393;

// The butterfly as the vector tiers' 16-bit multiply-adds take it, on the
// input pairs (x0, x4), (x2, x6), (x1, x5) and (x3, x7), each pair by a pair
// of factors: the even part's a0 and a1 are (x0, x4) by kEvenFactors[0] and
// [1], b0 and b1 (x2, x6) by [2] and [3]; odd part n is (x1, x5) by
// kOddFactors[n][0] plus (x3, x7) by kOddFactors[n][1].
constexpr int32_t kEvenFactors[4][2] = {{kC4, kC4}, {kC4, -kC4}, {kC2, kC6}, {kC6, -kC2}};
constexpr int32_t kOddFactors[4][2][2] = {{{kC1, kC5}, {kC3, kC7}},
                                          {{kC3, -kC1}, {-kC7, -kC5}},
                                          {{kC5, kC7}, {-kC1, kC3}},
                                          {{kC7, kC3}, {-kC5, -kC1}}};
// The factor of input x7 in output n.
constexpr int32_t kLastFactors[8] = {kC7, -kC5, kC3, -kC1, kC1, -kC3, kC5, -kC7};

}  // namespace quarlin::idct
