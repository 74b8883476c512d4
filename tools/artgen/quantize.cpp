// Colour reduction: median cut over the image's colour histogram, a few rounds
// of k-means to settle the palette, then serpentine Floyd-Steinberg mapping.
// Integer arithmetic throughout, so the result depends on the input only.
#include "artgen.h"

#include <algorithm>
#include <array>
#include <cstdlib>

namespace artgen {
namespace {

struct Bin {
  std::array<int, 3> c;  // r, g, b
  std::int64_t count;
};

std::uint32_t Pack(const std::array<int, 3>& c) {
  return static_cast<std::uint32_t>(c[0] << 16 | c[1] << 8 | c[2]);
}

// Eye-weighted squared distance: green matters most, blue least.
int Distance(const std::array<int, 3>& a, const Rgb& b) {
  const int dr = a[0] - b.r, dg = a[1] - b.g, db = a[2] - b.b;
  return 3 * dr * dr + 4 * dg * dg + 2 * db * db;
}

int Nearest(const std::array<int, 3>& c, const std::vector<Rgb>& palette) {
  int best = 0, bestDistance = Distance(c, palette[0]);
  for (int i = 1; i < static_cast<int>(palette.size()); ++i) {
    const int d = Distance(c, palette[i]);
    if (d < bestDistance) best = i, bestDistance = d;
  }
  return best;
}

std::vector<Bin> Histogram(const RgbImage& image) {
  std::vector<std::int64_t> counts(1 << 24, 0);
  for (const Rgb& p : image.pixels) ++counts[p.r << 16 | p.g << 8 | p.b];
  std::vector<Bin> bins;
  for (std::uint32_t v = 0; v < counts.size(); ++v) {
    if (counts[v]) bins.push_back({{int(v >> 16), int(v >> 8 & 0xFF), int(v & 0xFF)}, counts[v]});
  }
  return bins;
}

Rgb Mean(const std::vector<Bin>& bins, std::size_t begin, std::size_t end) {
  std::int64_t sum[3] = {0, 0, 0}, n = 0;
  for (std::size_t i = begin; i < end; ++i) {
    for (int k = 0; k < 3; ++k) sum[k] += bins[i].c[k] * bins[i].count;
    n += bins[i].count;
  }
  auto avg = [&](int k) { return static_cast<std::uint8_t>((sum[k] + n / 2) / n); };
  return {avg(0), avg(1), avg(2)};
}

// Splits the histogram into `wanted` boxes; returns each box's mean colour.
std::vector<Rgb> MedianCut(std::vector<Bin> bins, int wanted) {
  struct Box {
    std::size_t begin, end;
  };
  std::vector<Box> boxes{{0, bins.size()}};
  while (static_cast<int>(boxes.size()) < wanted) {
    int pick = -1, axis = 0;
    std::int64_t bestScore = 0;
    for (int b = 0; b < static_cast<int>(boxes.size()); ++b) {
      const Box& box = boxes[b];
      if (box.end - box.begin < 2) continue;
      std::array<int, 3> lo{255, 255, 255}, hi{0, 0, 0};
      std::int64_t n = 0;
      for (std::size_t i = box.begin; i < box.end; ++i) {
        for (int k = 0; k < 3; ++k) lo[k] = std::min(lo[k], bins[i].c[k]), hi[k] = std::max(hi[k], bins[i].c[k]);
        n += bins[i].count;
      }
      static constexpr int kWeight[3] = {3, 4, 2};
      int longest = 1;
      for (int k : {0, 2}) {
        if ((hi[k] - lo[k]) * kWeight[k] > (hi[longest] - lo[longest]) * kWeight[longest]) longest = k;
      }
      // Large, populous boxes first; the square root keeps rare highlights alive.
      std::int64_t spread = std::int64_t(hi[longest] - lo[longest]) * kWeight[longest];
      std::int64_t root = 1;
      while ((root + 1) * (root + 1) <= n) ++root;
      const std::int64_t score = spread * spread * root;
      if (score > bestScore) bestScore = score, pick = b, axis = longest;
    }
    if (pick < 0) break;  // fewer distinct colours than wanted
    Box box = boxes[pick];
    std::sort(bins.begin() + box.begin, bins.begin() + box.end, [axis](const Bin& a, const Bin& b) {
      return a.c[axis] != b.c[axis] ? a.c[axis] < b.c[axis] : Pack(a.c) < Pack(b.c);
    });
    std::int64_t total = 0, seen = 0;
    for (std::size_t i = box.begin; i < box.end; ++i) total += bins[i].count;
    std::size_t split = box.begin + 1;
    for (std::size_t i = box.begin; i < box.end - 1; ++i) {
      seen += bins[i].count;
      split = i + 1;
      if (2 * seen >= total) break;
    }
    boxes[pick] = {box.begin, split};
    boxes.push_back({split, box.end});
  }
  std::vector<Rgb> palette;
  for (const Box& box : boxes) palette.push_back(Mean(bins, box.begin, box.end));
  return palette;
}

// Moves every free entry to the mean of the colours nearest to it.
void Refine(const std::vector<Bin>& bins, std::vector<Rgb>& palette, std::size_t firstFree, int rounds) {
  for (int round = 0; round < rounds; ++round) {
    std::vector<std::array<std::int64_t, 4>> sums(palette.size(), {0, 0, 0, 0});
    for (const Bin& bin : bins) {
      auto& s = sums[Nearest(bin.c, palette)];
      for (int k = 0; k < 3; ++k) s[k] += bin.c[k] * bin.count;
      s[3] += bin.count;
    }
    for (std::size_t i = firstFree; i < palette.size(); ++i) {
      const auto& s = sums[i];
      if (s[3] == 0) continue;
      auto avg = [&](int k) { return static_cast<std::uint8_t>((s[k] + s[3] / 2) / s[3]); };
      palette[i] = {avg(0), avg(1), avg(2)};
    }
  }
}

}  // namespace

IndexedImage Quantize(const RgbImage& image, int colours, const std::vector<Rgb>& fixed, bool dither) {
  const std::vector<Bin> bins = Histogram(image);
  std::vector<Rgb> palette = fixed;
  for (const Rgb& c : MedianCut(bins, colours - static_cast<int>(fixed.size()))) palette.push_back(c);
  Refine(bins, palette, fixed.size(), 6);

  IndexedImage out{image.width, image.height, palette, std::vector<std::uint8_t>(image.pixels.size())};
  const int w = image.width;
  // Diffused error in sixteenths, for the current and the next row.
  std::vector<std::array<int, 3>> current(w + 2, {0, 0, 0}), next(w + 2, {0, 0, 0});
  for (int y = 0; y < image.height; ++y) {
    const bool leftToRight = y % 2 == 0;
    for (int i = 0; i < w; ++i) {
      const int x = leftToRight ? i : w - 1 - i;
      const Rgb& p = image.pixels[y * w + x];
      std::array<int, 3> want{p.r, p.g, p.b};
      if (dither) {
        for (int k = 0; k < 3; ++k) want[k] = std::clamp(want[k] + current[x + 1][k] / 16, 0, 255);
      }
      const int index = Nearest(want, palette);
      out.pixels[y * w + x] = static_cast<std::uint8_t>(index);
      if (!dither) continue;
      const Rgb& got = palette[index];
      const int err[3] = {want[0] - got.r, want[1] - got.g, want[2] - got.b};
      const int ahead = leftToRight ? 1 : -1;
      for (int k = 0; k < 3; ++k) {
        current[x + 1 + ahead][k] += err[k] * 7;
        next[x + 1 - ahead][k] += err[k] * 3;
        next[x + 1][k] += err[k] * 5;
        next[x + 1 + ahead][k] += err[k] * 1;
      }
    }
    current.swap(next);
    std::fill(next.begin(), next.end(), std::array<int, 3>{0, 0, 0});
  }
  return out;
}

}  // namespace artgen
