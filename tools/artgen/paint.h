// Small painting toolkit shared by the picture and the icon: colours as
// doubles in 0..1, hashed value noise, and shape tests for supersampling.
#pragma once

#include "artgen.h"

#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <utility>

namespace artgen::paint {

struct Colour {
  double r = 0, g = 0, b = 0;
};

inline Colour operator+(Colour a, Colour b) { return {a.r + b.r, a.g + b.g, a.b + b.b}; }
inline Colour operator*(Colour a, double k) { return {a.r * k, a.g * k, a.b * k}; }
inline Colour Mix(Colour a, Colour b, double t) { return a * (1 - t) + b * t; }
inline Colour Hex(std::uint32_t v) {
  return {(v >> 16 & 0xFF) / 255.0, (v >> 8 & 0xFF) / 255.0, (v & 0xFF) / 255.0};
}

// Rounds to 8 bits per channel. Light beyond 1 in one channel spills into the
// others, so over-bright glows turn white instead of a flat saturated hue.
inline Rgb ToRgb(Colour c) {
  const double over = std::fmax(0.0, std::fmax(c.r, std::fmax(c.g, c.b)) - 1);
  c = c + Colour{over, over, over} * 0.5;
  auto channel = [](double v) {
    const double scaled = Clamp01(v) * 255 + 0.5;
    return static_cast<std::uint8_t>(scaled >= 255 ? 255 : static_cast<int>(scaled));
  };
  return {channel(c.r), channel(c.g), channel(c.b)};
}

inline std::uint32_t Hash(std::int32_t x, std::int32_t y, std::uint32_t seed) {
  std::uint32_t h = seed * 0x9E3779B1u ^ static_cast<std::uint32_t>(x) * 0x85EBCA77u ^
                    static_cast<std::uint32_t>(y) * 0xC2B2AE3Du;
  h ^= h >> 15;
  h *= 0x2C1B3C6Du;
  h ^= h >> 12;
  h *= 0x297A2D39u;
  h ^= h >> 15;
  return h;
}

inline double Unit(std::uint32_t h) { return (h >> 8) / 16777216.0; }

// Smooth value noise, about one feature per `scale` pixels, in 0..1.
inline double Noise(double x, double y, std::uint32_t seed) {
  const double fx = std::floor(x), fy = std::floor(y);
  const auto ix = static_cast<std::int32_t>(fx), iy = static_cast<std::int32_t>(fy);
  double tx = x - fx, ty = y - fy;
  tx = tx * tx * (3 - 2 * tx);
  ty = ty * ty * (3 - 2 * ty);
  const double a = Unit(Hash(ix, iy, seed)), b = Unit(Hash(ix + 1, iy, seed));
  const double c = Unit(Hash(ix, iy + 1, seed)), d = Unit(Hash(ix + 1, iy + 1, seed));
  return (a + (b - a) * tx) * (1 - ty) + (c + (d - c) * tx) * ty;
}

inline double Fbm(double x, double y, std::uint32_t seed, int octaves) {
  double sum = 0, amplitude = 0.5, norm = 0;
  for (int i = 0; i < octaves; ++i) {
    sum += Noise(x, y, seed + i) * amplitude;
    norm += amplitude;
    x = x * 2.03 + 17.1;
    y = y * 2.03 + 5.3;
    amplitude *= 0.5;
  }
  return sum / norm;
}

struct Point {
  double x, y;
};

// Which side of the line a->b the point p lies on (positive: left in y-down screen terms).
inline double Side(Point a, Point b, Point p) { return (b.x - a.x) * (p.y - a.y) - (b.y - a.y) * (p.x - a.x); }

// Convex polygon test, vertices in either winding order.
inline bool InConvex(std::initializer_list<Point> poly, Point p) {
  bool pos = false, neg = false;
  const Point* v = poly.begin();
  const std::size_t n = poly.size();
  for (std::size_t i = 0; i < n; ++i) {
    const double s = Side(v[i], v[(i + 1) % n], p);
    pos |= s > 0;
    neg |= s < 0;
  }
  return !(pos && neg);
}

inline double SegmentDistance(Point a, Point b, Point p) {
  const double dx = b.x - a.x, dy = b.y - a.y;
  const double t = Clamp01(((p.x - a.x) * dx + (p.y - a.y) * dy) / (dx * dx + dy * dy));
  const double ex = p.x - (a.x + dx * t), ey = p.y - (a.y + dy * t);
  return std::sqrt(ex * ex + ey * ey);
}

inline double Length(double x, double y) { return std::sqrt(x * x + y * y); }

// A soft glow: 1 at the centre, falling off like 1 / (1 + (d/r)^2)^2.
inline double Glow(double d, double r) {
  const double q = 1 + (d / r) * (d / r);
  return 1 / (q * q);
}

}  // namespace artgen::paint
