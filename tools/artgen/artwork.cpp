// The setup window's picture and the application icon: a sword set in a blue
// crystal inside a golden ring, under a night sky with a crescent moon over a
// castle on the hills. The icon shows the same emblem on a round night badge.
#include "artgen.h"
#include "paint.h"

#include <algorithm>
#include <vector>

namespace artgen {
namespace {

using namespace paint;

constexpr double kPi = 3.14159265358979323846;
constexpr Point kCentre{118, 126};  // emblem centre in picture coordinates

// ---- the emblem: crystal and sword, in picture coordinates ----

struct Facet {
  std::vector<Point> corners;
  Colour light, dark;  // gradient from the upper left to the lower right
};

const std::vector<Facet>& Facets() {
  static const std::vector<Facet> facets = [] {
    const Point t{118, 52}, b{118, 202};
    const Point ul{86, 100}, ll{89, 154}, ur{150, 100}, lr{147, 154};
    const Point iul{107, 94}, ill{107, 160}, iur{129, 94}, ilr{129, 160};
    return std::vector<Facet>{
        {{t, ul, iul}, Hex(0xd8f6ff), Hex(0x6ccaf4)},
        {{ul, ll, ill, iul}, Hex(0x62b8f0), Hex(0x2a6cd0)},
        {{ll, b, ill}, Hex(0x2a5cc0), Hex(0x142a78)},
        {{t, iul, iur}, Hex(0xffffff), Hex(0x9ee4ff)},
        {{iul, ill, ilr, iur}, Hex(0x8edcff), Hex(0x3a88e0)},
        {{ill, b, ilr}, Hex(0x3a78d8), Hex(0x1c3c9a)},
        {{t, iur, ur}, Hex(0x9adcff), Hex(0x4296e4)},
        {{iur, ilr, lr, ur}, Hex(0x3a82dc), Hex(0x1a3c98)},
        {{ilr, b, lr}, Hex(0x1c3c9a), Hex(0x0c1a58)},
    };
  }();
  return facets;
}

bool InPolygon(const std::vector<Point>& poly, Point p) {
  bool pos = false, neg = false;
  for (std::size_t i = 0; i < poly.size(); ++i) {
    const double s = Side(poly[i], poly[(i + 1) % poly.size()], p);
    pos |= s > 0;
    neg |= s < 0;
  }
  return !(pos && neg);
}

double EdgeDistance(const std::vector<Point>& poly, Point p) {
  double d = 1e9;
  for (std::size_t i = 0; i < poly.size(); ++i) d = std::min(d, SegmentDistance(poly[i], poly[(i + 1) % poly.size()], p));
  return d;
}

// Gold with a soft top light: t = 0 at the top of a part, 1 at its bottom.
Colour Gold(double t) { return Mix(Hex(0xfff0b0), Hex(0x9a5e14), Clamp01(t)); }

// Paints the crystal and the sword over `under`. `line` is the width of the
// facet edge highlights in picture units (wider when drawn small).
Colour Emblem(Point p, Colour under, double line) {
  Colour c = under;
  for (const Facet& f : Facets()) {
    if (!InPolygon(f.corners, p)) continue;
    const double t = Clamp01(((p.x - 86) + (p.y - 52)) / 180.0);
    Colour face = Mix(f.light, f.dark, t);
    // Light gathers in the heart of the crystal.
    face = face + Hex(0x4080ff) * (0.35 * Glow(Length(p.x - 118, p.y - 128), 30));
    if (EdgeDistance(f.corners, p) < line) face = Mix(face, Hex(0xe8fbff), 0.55);
    c = Mix(c, face, 0.88);  // a little of the sky shows through
    break;
  }

  const double x = p.x - kCentre.x;
  // Blade: bright left half, shaded right half, a fuller line down the middle.
  if (InConvex({{113, 92}, {123, 92}, {123, 192}, {118, 212}, {113, 192}}, p)) {
    const double down = (p.y - 92) / 120.0;
    Colour blade = x < 0 ? Mix(Hex(0xf6f9ff), Hex(0xb8c8e4), down) : Mix(Hex(0x9cabcb), Hex(0x5a6a90), down);
    if (std::fabs(x) < line * 0.5 && p.y < 184) blade = Hex(0xdfe8fa);
    c = blade;
  }
  // Grip with leather wraps.
  if (p.x >= 114.5 && p.x <= 121.5 && p.y >= 60 && p.y <= 86) {
    const bool band = static_cast<int>(std::floor((p.y - 60) / 4)) % 2 == 0;
    c = band ? Mix(Hex(0x7a5030), Hex(0x4a2c18), Clamp01((p.x - 114.5) / 7)) : Hex(0x2c180c);
  }
  // Pommel.
  {
    const double d = Length(p.x - 118, p.y - 55);
    if (d < 6) c = Length(p.x - 116.3, p.y - 53.3) < 2 ? Hex(0xfff6d8) : Gold((p.y - 49) / 12);
  }
  // Crossguard: a bar with swept-up ends and a red gem in the middle.
  {
    const double bar = SegmentDistance({94, 89}, {142, 89}, p);
    const double leftWing = SegmentDistance({95, 89}, {84, 81}, p);
    const double rightWing = SegmentDistance({141, 89}, {152, 81}, p);
    if (bar < 3.6 || leftWing < 3 || rightWing < 3 || Length(p.x - 83, p.y - 80.5) < 3.6 ||
        Length(p.x - 153, p.y - 80.5) < 3.6) {
      c = Gold((p.y - 76) / 17);
    }
    const double gem = Length(p.x - 118, p.y - 89);
    if (gem < 6.5) c = Gold((p.y - 82) / 14);
    if (gem < 4.6) {
      c = Mix(Hex(0xff5a78), Hex(0x70081c), Clamp01((p.y - 85) / 8));
      if (Length(p.x - 116.6, p.y - 87.4) < 1.5) c = Hex(0xffe4ec);
    }
  }
  return c;
}

// ---- the picture ----

struct Star {
  double x, y, radius, brightness;
  Colour tint;
};

std::vector<Star> Stars() {
  std::vector<Star> stars;
  std::uint32_t n = 0;
  while (stars.size() < 170) {
    const std::uint32_t h = Hash(static_cast<std::int32_t>(n), 7, 1234);
    ++n;
    const double x = Unit(h) * 256, y = Unit(Hash(static_cast<std::int32_t>(n), 9, 99)) * 200;
    const double bright = Unit(Hash(static_cast<std::int32_t>(n), 11, 5));
    const double tint = Unit(Hash(static_cast<std::int32_t>(n), 13, 6));
    // Keep the title's corner quiet so white text stays readable there.
    if (x > 200 && y > 50 && y < 150) continue;
    stars.push_back({x, y, 0.45 + bright * bright * 0.7, 0.35 + bright * 0.9,
                     tint < 0.6 ? Hex(0xdfe8ff) : (tint < 0.85 ? Hex(0xfff2d0) : Hex(0xa8c8ff))});
  }
  return stars;
}

// A four-pointed glint: a bright core and two thin rays.
double Sparkle(double dx, double dy, double size) {
  const double ax = std::fabs(dx), ay = std::fabs(dy);
  return Glow(Length(dx, dy), size * 0.25) + Glow(ax, size) * Glow(ay, 0.45) + Glow(ay, size) * Glow(ax, 0.45);
}

// Everything soft, evaluated once per pixel: sky, nebula, stars and glows.
Colour Sky(double x, double y, const std::vector<Star>& stars) {
  const double t = y / 256;
  Colour c = t < 0.6 ? Mix(Hex(0x04051a), Hex(0x0e1446), t / 0.6) : Mix(Hex(0x0e1446), Hex(0x2a1c5a), (t - 0.6) / 0.4);

  // A faint milky band from the lower left towards the top.
  const double band = Glow(SegmentDistance({-20, 230}, {210, -20}, {x, y}), 46);
  const double cloud = Clamp01((Fbm(x / 40, y / 40, 11, 5) - 0.42) * 2.2) * band;
  c = c + Mix(Hex(0x6a2c8c), Hex(0x1c6c9c), Fbm(x / 64, y / 64, 23, 3)) * (cloud * 0.8);

  for (const Star& s : stars) {
    const double d = Length(x - s.x, y - s.y);
    if (d < 6) c = c + s.tint * (s.brightness * Glow(d, s.radius));
  }
  static const struct {
    double x, y, size, strength;
  } kSparkles[] = {{36, 118, 7, 0.9}, {186, 36, 9, 1.0}, {160, 64, 6, 0.8}, {78, 196, 5, 0.6}, {170, 180, 6, 0.7}};
  for (const auto& s : kSparkles) c = c + Hex(0xe6f0ff) * (s.strength * Sparkle(x - s.x, y - s.y, s.size));

  // Moon and emblem glows, and the golden ring's halo.
  c = c + Hex(0x8c86c0) * (0.4 * Glow(Length(x - 46, y - 44), 26));
  c = c + Hex(0x2e5cd0) * (0.55 * Glow(Length(x - kCentre.x, y - kCentre.y), 58));
  const double ring = std::fabs(Length(x - kCentre.x, y - kCentre.y) - 84);
  c = c + Hex(0xd8a040) * (0.22 * Glow(ring, 4));
  // Mist over the hills.
  c = c + Hex(0x3a3478) * (0.35 * Glow(std::fabs(y - 214), 12));
  return c;
}

double Ridge(double x) {
  return 216 - 30 * Glow(x - 42, 34) - 16 * Glow(x - 206, 40) + 12 * (Fbm(x / 18, 3.7, 31, 4) - 0.5);
}

Colour Scene(Point p, Colour sky) {
  Colour c = sky;
  // Crescent moon: a disc with a smaller disc cut away.
  if (Length(p.x - 46, p.y - 44) < 17 && Length(p.x - 54, p.y - 38) >= 15.5) {
    c = Mix(Hex(0xfffbe6), Hex(0xe0c888), Clamp01((p.x - 30 + p.y - 28) / 40));
  }

  // Hills with a castle on the left one; lit windows.
  const double ridge = Ridge(p.x);
  const Colour hill = Mix(Hex(0x0c0e28), Hex(0x020308), SmoothStep(ridge, ridge + 34, p.y));
  if (p.y > ridge) c = p.y - ridge < 1.2 ? Hex(0x3a3474) : hill;
  const Point q{p.x - 12, p.y};  // the castle, drawn from its own origin
  const bool castle =
      (q.x >= 17 && q.x <= 49 && q.y >= 178) ||                                      // curtain wall
      (q.x >= 21 && q.x <= 30 && q.y >= 156) || InConvex({{19, 157}, {32, 157}, {25.5, 138}}, q) ||  // keep
      (q.x >= 38 && q.x <= 45 && q.y >= 166) || InConvex({{36.5, 167}, {46.5, 167}, {41.5, 152}}, q) ||
      (q.x >= 12 && q.x <= 17 && q.y >= 172) || InConvex({{11, 173}, {18, 173}, {14.5, 163}}, q) ||
      (q.y >= 175 && q.y < 178 && q.x >= 17 && q.x <= 49 && static_cast<int>(std::floor(q.x - 17)) % 4 < 2);
  if (castle && q.y <= ridge + 20) c = Hex(0x05061a);
  if ((q.x >= 24.5 && q.x < 26.5 && q.y >= 162 && q.y < 165) || (q.x >= 40.5 && q.x < 42.5 && q.y >= 172 && q.y < 175) ||
      (q.x >= 30 && q.x < 32 && q.y >= 184 && q.y < 186)) {
    c = Hex(0xffc45a);
  }

  // The ring: two gold circles with marks between them.
  const double r = Length(p.x - kCentre.x, p.y - kCentre.y);
  if (std::fabs(r - 88) < 0.9 || std::fabs(r - 79) < 0.6) c = Mix(c, Hex(0xf0c86a), 0.85);
  for (int i = 0; i < 24; ++i) {
    const double a = i * kPi / 12;
    const Point m{kCentre.x + 83.5 * Cos(a), kCentre.y + 83.5 * Sin(a)};
    const double size = i % 2 == 0 ? 2.4 : 1.3;
    if (std::fabs(p.x - m.x) + std::fabs(p.y - m.y) < size) c = Mix(c, Hex(0xffe09a), 0.9);
  }

  return Emblem(p, c, 0.8);
}

// Glints that catch the crystal's corners and the blade, drawn over everything.
Colour Glints(double x, double y) {
  static const struct {
    double x, y, size, strength;
  } kGlints[] = {{87, 101, 9, 0.9}, {118, 53, 5, 0.5}, {146, 154, 6, 0.5}, {115, 150, 5, 0.6}};
  Colour c;
  for (const auto& g : kGlints) c = c + Hex(0xf0f8ff) * (g.strength * Sparkle(x - g.x, y - g.y, g.size));
  return c;
}

// Darkens the borders into the black window, most of all under the title.
double Vignette(double x, double y) {
  const double edge = std::min(std::min(x, y), std::min(256 - x, 256 - y));
  const double v = 0.04 + 0.96 * SmoothStep(0, 46, edge);
  const double title = SmoothStep(196, 232, x) * SmoothStep(46, 76, y) * SmoothStep(156, 130, y);
  return v * (1 - 0.5 * title);
}

}  // namespace

RgbImage RenderPicture() {
  constexpr int kSize = 256, kSub = 4;
  const std::vector<Star> stars = Stars();
  RgbImage image{kSize, kSize, std::vector<Rgb>(kSize * kSize)};
  for (int y = 0; y < kSize; ++y) {
    for (int x = 0; x < kSize; ++x) {
      const Colour sky = Sky(x + 0.5, y + 0.5, stars);
      Colour sum;
      for (int sy = 0; sy < kSub; ++sy) {
        for (int sx = 0; sx < kSub; ++sx) {
          sum = sum + Scene({x + (sx + 0.5) / kSub, y + (sy + 0.5) / kSub}, sky);
        }
      }
      const Colour lit = sum * (1.0 / (kSub * kSub)) + Glints(x + 0.5, y + 0.5);
      image.pixels[y * kSize + x] = ToRgb(lit * Vignette(x + 0.5, y + 0.5));
    }
  }
  return image;
}

RgbImage RenderIcon(std::vector<bool>& transparent) {
  constexpr int kSize = 32, kSub = 8;
  constexpr double kScale = 6.3;  // picture units per icon pixel
  RgbImage image{kSize, kSize, std::vector<Rgb>(kSize * kSize)};
  transparent.assign(kSize * kSize, false);
  for (int y = 0; y < kSize; ++y) {
    for (int x = 0; x < kSize; ++x) {
      Colour sum;
      int covered = 0;
      for (int sy = 0; sy < kSub; ++sy) {
        for (int sx = 0; sx < kSub; ++sx) {
          const double ix = x + (sx + 0.5) / kSub, iy = y + (sy + 0.5) / kSub;
          const double d = Length(ix - 16, iy - 16);
          if (d > 15.8) continue;
          ++covered;
          // Badge: night blue, lighter at the centre, with a gold rim.
          Colour c = Mix(Hex(0x2a4ab0), Hex(0x080c30), Clamp01(d / 15));
          if (d > 14.6) c = Gold((iy - 2) / 28);
          if (d <= 14.6) c = Emblem({kCentre.x + (ix - 16) * kScale, 131 + (iy - 16) * kScale}, c, 4);
          sum = sum + c;
        }
      }
      // Half-covered border pixels belong to the icon; the rest show the desktop.
      transparent[y * kSize + x] = covered * 2 < kSub * kSub;
      image.pixels[y * kSize + x] = transparent[y * kSize + x] ? Rgb{} : ToRgb(sum * (1.0 / covered));
    }
  }
  return image;
}

}  // namespace artgen
