#include "yuv_frame.h"

#include <algorithm>
#include <cmath>

namespace quarlin::decodetest {

YuvFrame::YuvFrame(int w, int h) : width(w), height(h) {
  for (int p = 0; p < 3; ++p) plane[p].assign(static_cast<size_t>(planeWidth(p)) * planeHeight(p), 0);
}

bool YuvFrame::operator==(const YuvFrame& other) const {
  return width == other.width && height == other.height && plane[0] == other.plane[0] &&
         plane[1] == other.plane[1] && plane[2] == other.plane[2];
}

YuvFrame fromPicture(const tool::Picture& picture) {
  const tool::ImageView view = picture.view();
  YuvFrame f(static_cast<int>(view.y.width), static_cast<int>(view.y.height));
  const tool::PlaneView* planes[3] = {&view.y, &view.cb, &view.cr};
  for (int p = 0; p < 3; ++p)
    for (int y = 0; y < f.planeHeight(p); ++y)
      std::copy_n(planes[p]->row(static_cast<uint32_t>(y)), f.planeWidth(p),
                  f.plane[p].begin() + static_cast<ptrdiff_t>(y) * f.planeWidth(p));
  return f;
}

namespace {
double squaredError(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
  double sum = 0;
  for (size_t i = 0; i < a.size() && i < b.size(); ++i) {
    const double d = static_cast<double>(a[i]) - static_cast<double>(b[i]);
    sum += d * d;
  }
  return sum;
}
double toPsnr(double sum, size_t count) {
  if (sum == 0 || count == 0) return 99.0;
  return 10.0 * std::log10(255.0 * 255.0 * static_cast<double>(count) / sum);
}
}  // namespace

double psnr(const YuvFrame& a, const YuvFrame& b, int p) {
  return toPsnr(squaredError(a.plane[p], b.plane[p]), a.plane[p].size());
}

double chromaPsnr(const YuvFrame& a, const YuvFrame& b) {
  return toPsnr(squaredError(a.plane[1], b.plane[1]) + squaredError(a.plane[2], b.plane[2]),
                a.plane[1].size() + a.plane[2].size());
}

double meanValue(const YuvFrame& f, int p) {
  double sum = 0;
  for (uint8_t v : f.plane[p]) sum += v;
  return f.plane[p].empty() ? 0 : sum / static_cast<double>(f.plane[p].size());
}

namespace {

// c[k][n] = C(k) / 2 * cos((2n + 1) k pi / 16), the orthonormal 8-point DCT.
struct DctBasis {
  double c[8][8];
  DctBasis() {
    const double pi = std::acos(-1.0);
    for (int k = 0; k < 8; ++k)
      for (int n = 0; n < 8; ++n) c[k][n] = (k == 0 ? std::sqrt(0.125) : 0.5) * std::cos((2 * n + 1) * k * pi / 16);
  }
};

// One block at (bx, by) of plane p: forward DCT, horizontal frequencies 4..7
// dropped, inverse DCT.
void reducedBlock(const YuvFrame& full, int p, int bx, int by, double out[8][8]) {
  static const DctBasis basis;
  double block[8][8], freq[8][8];
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) {
      const int sx = std::min(bx + x, full.planeWidth(p) - 1), sy = std::min(by + y, full.planeHeight(p) - 1);
      block[y][x] = full.at(p, sx, sy);
    }
  for (int v = 0; v < 8; ++v)
    for (int u = 0; u < 8; ++u) {
      double s = 0;
      if (u < 4)
        for (int y = 0; y < 8; ++y)
          for (int x = 0; x < 8; ++x) s += basis.c[v][y] * basis.c[u][x] * block[y][x];
      freq[v][u] = s;
    }
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x) {
      double s = 0;
      for (int v = 0; v < 8; ++v)
        for (int u = 0; u < 4; ++u) s += basis.c[v][y] * basis.c[u][x] * freq[v][u];
      out[y][x] = s;
    }
}

}  // namespace

YuvFrame reducedModel(const YuvFrame& full, bool quarter) {
  YuvFrame out((full.width + 1) / 2, quarter ? (full.height + 1) / 2 : full.height);
  for (int p = 0; p < 3; ++p) {
    for (int by = 0; by < full.planeHeight(p); by += 8)
      for (int bx = 0; bx < full.planeWidth(p); bx += 8) {
        double block[8][8];
        reducedBlock(full, p, bx, by, block);
        for (int y = 0; y < 8; y += quarter ? 2 : 1)
          for (int x = 0; x < 8; x += 2) {
            const int ox = (bx + x) / 2, oy = quarter ? (by + y) / 2 : by + y;
            if (ox >= out.planeWidth(p) || oy >= out.planeHeight(p)) continue;
            out.at(p, ox, oy) = static_cast<uint8_t>(std::clamp(std::lround(block[y][x]), 0L, 255L));
          }
      }
  }
  return out;
}

}  // namespace quarlin::decodetest
