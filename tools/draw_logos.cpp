// Draws the four logo pictures shipped with Tillvane (Horse, Lion, Map, Dragon) as
// monochrome BMP files: 14-byte file header, 40-byte information header, a two-entry
// palette (black at index 0, white at 1), pixel rows bottom-up from byte 62.
//
//   draw_logos OUTPUT_FOLDER
//
// The pictures are built from ellipses, polygons and stroked curves, so that they are
// ours and can be redrawn at will. scripts/draw-logos builds and runs this.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

struct P {
  double x, y;
};

class Canvas {
 public:
  Canvas(int w, int h) : w_(w), h_(h), ink_(static_cast<size_t>(w) * h, false) {}
  int width() const { return w_; }
  int height() const { return h_; }

  void Set(int x, int y, bool on) {
    if (x >= 0 && y >= 0 && x < w_ && y < h_) ink_[static_cast<size_t>(y) * w_ + x] = on;
  }
  bool Get(int x, int y) const {
    return x >= 0 && y >= 0 && x < w_ && y < h_ && ink_[static_cast<size_t>(y) * w_ + x];
  }

  // Ellipse centred at (cx, cy), radii rx, ry, turned by `angle` degrees.
  void Ellipse(double cx, double cy, double rx, double ry, bool on = true, double angle = 0) {
    const double a = angle * M_PI / 180, c = std::cos(a), s = std::sin(a);
    for (int y = 0; y < h_; ++y) {
      for (int x = 0; x < w_; ++x) {
        const double dx = x + 0.5 - cx, dy = y + 0.5 - cy;
        const double u = (dx * c + dy * s) / rx, v = (-dx * s + dy * c) / ry;
        if (u * u + v * v <= 1) Set(x, y, on);
      }
    }
  }

  // Even-odd fill of a closed polygon, sampled at pixel centres.
  void Polygon(const std::vector<P>& pts, bool on = true) {
    for (int y = 0; y < h_; ++y) {
      const double sy = y + 0.5;
      std::vector<double> xs;
      for (size_t i = 0; i < pts.size(); ++i) {
        const P& a = pts[i];
        const P& b = pts[(i + 1) % pts.size()];
        if ((a.y <= sy && b.y > sy) || (b.y <= sy && a.y > sy)) {
          xs.push_back(a.x + (sy - a.y) * (b.x - a.x) / (b.y - a.y));
        }
      }
      std::sort(xs.begin(), xs.end());
      for (size_t i = 0; i + 1 < xs.size(); i += 2) {
        for (int x = static_cast<int>(std::ceil(xs[i] - 0.5)); x + 0.5 < xs[i + 1]; ++x) {
          Set(x, y, on);
        }
      }
    }
  }

  // A stroke along the polyline whose width goes from r0 to r1 (radii).
  void Stroke(const std::vector<P>& pts, double r0, double r1, bool on = true) {
    double total = 0;
    for (size_t i = 1; i < pts.size(); ++i) total += Dist(pts[i - 1], pts[i]);
    double done = 0;
    for (size_t i = 1; i < pts.size(); ++i) {
      const double len = Dist(pts[i - 1], pts[i]);
      const int steps = std::max(1, static_cast<int>(len * 2));
      for (int k = 0; k <= steps; ++k) {
        const double t = static_cast<double>(k) / steps;
        const double r = r0 + (r1 - r0) * (total > 0 ? (done + len * t) / total : 0);
        Ellipse(pts[i - 1].x + (pts[i].x - pts[i - 1].x) * t,
                pts[i - 1].y + (pts[i].y - pts[i - 1].y) * t, r, r, on);
      }
      done += len;
    }
  }

  // Points along a quadratic Bezier curve.
  static std::vector<P> Curve(P a, P c, P b, int n = 24) {
    std::vector<P> out;
    for (int i = 0; i <= n; ++i) {
      const double t = static_cast<double>(i) / n, u = 1 - t;
      out.push_back({u * u * a.x + 2 * u * t * c.x + t * t * b.x,
                     u * u * a.y + 2 * u * t * c.y + t * t * b.y});
    }
    return out;
  }

  bool WriteBmp(const std::string& path) const {
    const uint32_t stride = ((static_cast<uint32_t>(w_) + 31) / 32) * 4;
    const uint32_t image = stride * static_cast<uint32_t>(h_);
    std::vector<uint8_t> f(62 + image, 0);
    auto put16 = [&](size_t at, uint32_t v) {
      f[at] = static_cast<uint8_t>(v);
      f[at + 1] = static_cast<uint8_t>(v >> 8);
    };
    auto put32 = [&](size_t at, uint32_t v) {
      for (int i = 0; i < 4; ++i) f[at + i] = static_cast<uint8_t>(v >> (8 * i));
    };
    put16(0, 0x4D42);
    put32(2, static_cast<uint32_t>(f.size()));
    put32(10, 62);
    put32(14, 40);
    put32(18, static_cast<uint32_t>(w_));
    put32(22, static_cast<uint32_t>(h_));
    put16(26, 1);
    put16(28, 1);
    put32(34, image);
    put32(38, 2835);  // 72 dpi
    put32(42, 2835);
    put32(46, 2);
    put32(54, 0x00000000);  // index 0: black
    put32(58, 0x00FFFFFF);  // index 1: white
    for (int row = 0; row < h_; ++row) {
      const int y = h_ - 1 - row;
      uint8_t* out = f.data() + 62 + static_cast<size_t>(row) * stride;
      for (uint32_t i = 0; i < stride; ++i) out[i] = 0xFF;
      for (int x = 0; x < w_; ++x) {
        if (Get(x, y)) out[x / 8] = static_cast<uint8_t>(out[x / 8] & ~(0x80 >> (x % 8)));
      }
    }
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    const bool ok = std::fwrite(f.data(), 1, f.size(), file) == f.size();
    return std::fclose(file) == 0 && ok;
  }

 private:
  static double Dist(P a, P b) { return std::hypot(a.x - b.x, a.y - b.y); }
  int w_, h_;
  std::vector<bool> ink_;
};

Canvas Horse() {
  Canvas c(100, 65);
  c.Ellipse(48, 31, 24, 11);                                                        // body
  c.Ellipse(30, 30, 9, 9);                                                          // haunch
  c.Ellipse(64, 31, 9, 10);                                                         // chest
  c.Polygon({{60, 26}, {70, 8}, {78, 6}, {74, 22}, {72, 34}});                      // neck
  c.Polygon({{71, 7}, {77, 3}, {93, 14}, {95, 18}, {91, 21}, {82, 17}, {75, 14}});  // head
  c.Polygon({{74, 6}, {76, 0}, {79, 5}});                                           // ear
  c.Stroke({{70, 8}, {66, 13}, {62, 20}, {59, 25}}, 2.2, 1.2);                      // mane
  c.Set(84, 11, false);                                                             // eye
  c.Set(85, 11, false);
  // Legs: a standing foreleg, a raised foreleg, two hind legs, with hooves.
  c.Stroke({{66, 38}, {67, 50}, {66, 61}}, 3, 2);
  c.Ellipse(67, 62, 3, 1.6);
  c.Stroke({{60, 38}, {63, 46}, {58, 53}}, 3, 2);
  c.Ellipse(57, 54, 2.6, 1.8);
  c.Stroke({{32, 36}, {28, 48}, {30, 61}}, 3.5, 2);
  c.Ellipse(31, 62, 3, 1.6);
  c.Stroke({{40, 38}, {40, 50}, {42, 61}}, 3, 2);
  c.Ellipse(43, 62, 3, 1.6);
  c.Stroke(Canvas::Curve({22, 26}, {10, 28}, {12, 52}), 3, 1.2);  // tail
  c.Stroke(Canvas::Curve({22, 27}, {14, 34}, {18, 50}), 2, 1);
  return c;
}

Canvas Lion() {
  Canvas c(123, 140);
  const double cx = 61.5, cy = 60;
  // Mane: a ring of tufts around the face.
  std::vector<P> mane;
  for (int i = 0; i < 48; ++i) {
    const double a = i * M_PI / 24;
    const double r = (i % 2) ? 46 : 58;
    mane.push_back({cx + r * std::cos(a), cy + r * std::sin(a) * 0.98});
  }
  c.Polygon(mane);
  c.Ellipse(cx, cy, 46, 46);
  // Face, white on the mane.
  c.Ellipse(cx, cy + 4, 31, 35, false);
  // Ears.
  c.Ellipse(cx - 25, cy - 27, 9, 9);
  c.Ellipse(cx + 25, cy - 27, 9, 9);
  c.Ellipse(cx - 25, cy - 26, 4.5, 4.5, false);
  c.Ellipse(cx + 25, cy - 26, 4.5, 4.5, false);
  c.Ellipse(cx, cy + 4, 31, 35, false);
  // Brows and eyes.
  c.Stroke({{cx - 22, cy - 10}, {cx - 14, cy - 14}, {cx - 6, cy - 11}}, 1.6, 1.2);
  c.Stroke({{cx + 22, cy - 10}, {cx + 14, cy - 14}, {cx + 6, cy - 11}}, 1.6, 1.2);
  c.Ellipse(cx - 13, cy - 4, 5.5, 3.5);
  c.Ellipse(cx + 13, cy - 4, 5.5, 3.5);
  c.Ellipse(cx - 12, cy - 4.5, 1.6, 1.6, false);
  c.Ellipse(cx + 14, cy - 4.5, 1.6, 1.6, false);
  // Nose bridge, nose and mouth.
  c.Stroke({{cx - 6, cy - 8}, {cx - 7, cy + 12}}, 1, 1);
  c.Stroke({{cx + 6, cy - 8}, {cx + 7, cy + 12}}, 1, 1);
  c.Polygon({{cx - 10, cy + 12}, {cx + 10, cy + 12}, {cx + 3, cy + 20}, {cx - 3, cy + 20}});
  c.Stroke({{cx, cy + 20}, {cx, cy + 25}}, 1.2, 1.2);
  c.Stroke(Canvas::Curve({cx, cy + 25}, {cx - 6, cy + 31}, {cx - 14, cy + 25}), 1.3, 1.1);
  c.Stroke(Canvas::Curve({cx, cy + 25}, {cx + 6, cy + 31}, {cx + 14, cy + 25}), 1.3, 1.1);
  // Whisker dots and whiskers.
  for (int s : {-1, 1}) {
    for (int i = 0; i < 3; ++i) c.Ellipse(cx + s * (9 + 4 * i), cy + 21 + (i % 2) * 2, 1, 1);
    c.Stroke({{cx + s * 20, cy + 20}, {cx + s * 30, cy + 16}}, 0.7, 0.6);
    c.Stroke({{cx + s * 20, cy + 23}, {cx + s * 31, cy + 24}}, 0.7, 0.6);
  }
  c.Stroke(Canvas::Curve({cx - 8, cy + 35}, {cx, cy + 39}, {cx + 8, cy + 35}), 1, 1);  // chin
  // Forepaws below the mane.
  for (int s : {-1, 1}) {
    c.Polygon({{cx + s * 10, 108}, {cx + s * 26, 108}, {cx + s * 30, 132}, {cx + s * 8, 132}});
    c.Ellipse(cx + s * 19, 133, 14, 6.5);
    for (int i = -1; i <= 1; ++i) {
      c.Stroke({{cx + s * 19 + i * 5.5, 131}, {cx + s * 19 + i * 5.5, 139}}, 0.6, 0.6, false);
    }
  }
  return c;
}

Canvas Map() {
  Canvas c(185, 121);
  // Equirectangular: longitude -180..180, latitude 82..-66 inside a 3-pixel margin.
  auto at = [](double lon, double lat) {
    return P{3 + (lon + 180) / 360 * 179, 3 + (82 - lat) / 148 * 115};
  };
  auto land = [&](std::initializer_list<std::pair<double, double>> ll) {
    std::vector<P> pts;
    for (auto [lon, lat] : ll) pts.push_back(at(lon, lat));
    c.Polygon(pts);
  };
  land({{-168, 66}, {-160, 71}, {-140, 70}, {-120, 72}, {-95, 73},  {-80, 68},  {-75, 62},
        {-62, 58},  {-55, 50},  {-67, 45},  {-70, 42},  {-76, 37},  {-81, 31},  {-80, 25},
        {-84, 30},  {-90, 29},  {-97, 27},  {-97, 20},  {-90, 21},  {-87, 15},  {-82, 9},
        {-78, 8},   {-82, 7},   {-92, 14},  {-105, 20}, {-110, 24}, {-113, 31}, {-118, 34},
        {-124, 41}, {-124, 48}, {-133, 56}, {-145, 60}, {-155, 58}, {-165, 60}});       // N America
  land({{-110, 76}, {-80, 78}, {-85, 72}, {-105, 70}});                                 // islands
  land({{-72, 79}, {-20, 82}, {-18, 72}, {-30, 68}, {-44, 60}, {-52, 66}, {-58, 75}});  // Greenland
  land({{-78, 8},
        {-62, 10},
        {-52, 5},
        {-50, 0},
        {-35, -6},
        {-39, -15},
        {-41, -22},
        {-48, -27},
        {-58, -35},
        {-63, -40},
        {-66, -47},
        {-70, -54},
        {-75, -50},
        {-72, -30},
        {-71, -18},
        {-76, -14},
        {-81, -5},
        {-80, 1}});  // S America
  land({{-10, 36}, {-9, 43}, {-2, 44}, {-4, 48}, {2, 50},  {8, 54},  {10, 57},
        {5, 58},   {6, 62},  {12, 66}, {18, 70}, {28, 71}, {40, 68}, {45, 60},
        {45, 47},  {38, 45}, {29, 41}, {24, 38}, {21, 40}, {19, 42}, {14, 45},
        {17, 40},  {15, 38}, {12, 44}, {8, 44},  {3, 43},  {-2, 37}});  // Europe
  land({{-6, 50}, {2, 51}, {0, 55}, {-3, 59}, {-6, 57}});               // Britain
  land({{-24, 65}, {-14, 66}, {-14, 64}, {-22, 63}});                   // Iceland
  land({{-17, 14}, {-16, 24}, {-10, 30}, {-6, 35},  {10, 37},  {20, 32},  {32, 31},
        {34, 28},  {39, 18},  {43, 12},  {51, 11},  {44, 2},   {40, -5},  {40, -15},
        {35, -22}, {32, -28}, {27, -34}, {19, -35}, {15, -27}, {12, -17}, {13, -6},
        {9, 0},    {7, 4},    {-4, 5},   {-10, 6},  {-15, 10}});  // Africa
  land({{44, -13}, {50, -15}, {47, -25}, {43, -22}});             // Madagascar
  land({{29, 41},  {38, 45},  {45, 47},  {45, 60},  {40, 68},  {60, 70},  {70, 73},  {80, 74},
        {100, 78}, {115, 74}, {140, 72}, {160, 70}, {180, 68}, {180, 64}, {172, 60}, {160, 58},
        {156, 51}, {142, 53}, {138, 46}, {130, 42}, {127, 38}, {122, 40}, {121, 32}, {119, 25},
        {110, 20}, {108, 16}, {109, 11}, {104, 9},  {100, 3},  {103, 1},  {98, 12},  {97, 17},
        {91, 22},  {86, 20},  {80, 14},  {77, 8},   {73, 17},  {72, 21},  {66, 25},  {57, 25},
        {56, 27},  {51, 25},  {50, 29},  {48, 30},  {55, 22},  {58, 21},  {52, 16},  {45, 13},
        {43, 17},  {39, 22},  {35, 29},  {36, 36}});                         // Asia
  land({{130, 31}, {136, 34}, {141, 37}, {142, 44}, {140, 41}, {135, 36}});  // Japan
  land({{95, 5}, {106, -6}, {104, -3}});                                     // Sumatra
  land({{109, 1}, {117, 7}, {119, 1}, {115, -4}, {110, -3}});                // Borneo
  land({{131, -1}, {141, -3}, {150, -10}, {141, -9}});                       // New Guinea
  land({{114, -22},
        {122, -18},
        {130, -12},
        {136, -12},
        {137, -16},
        {142, -11},
        {146, -19},
        {153, -26},
        {151, -34},
        {146, -39},
        {140, -38},
        {131, -31},
        {115, -34}});                                      // Australia
  land({{172, -34}, {178, -38}, {170, -46}, {167, -45}});  // New Zealand
  // Graticule: dotted parallels and meridians every 30 degrees over the sea.
  Canvas grid(185, 121);
  for (int lat = -60; lat <= 60; lat += 30) {
    const int y = static_cast<int>(at(0, lat).y);
    for (int x = 3; x < 182; x += 3) grid.Set(x, y, true);
  }
  for (int lon = -150; lon <= 150; lon += 30) {
    const int x = static_cast<int>(at(lon, 0).x);
    for (int y = 3; y < 118; y += 3) grid.Set(x, y, true);
  }
  for (int y = 0; y < 121; ++y) {
    for (int x = 0; x < 185; ++x) {
      if (grid.Get(x, y) && !c.Get(x, y) && !c.Get(x - 1, y) && !c.Get(x + 1, y)) {
        c.Set(x, y, true);
      }
    }
  }
  // Frame.
  for (int x = 0; x < 185; ++x) c.Set(x, 0, true), c.Set(x, 120, true);
  for (int y = 0; y < 121; ++y) c.Set(0, y, true), c.Set(184, y, true);
  return c;
}

Canvas Dragon() {
  Canvas c(140, 210);
  // Wing behind the body: bones from the shoulder, webbing scalloped between them.
  const P shoulder{62, 92};
  const P tips[] = {{6, 8}, {4, 44}, {12, 78}, {28, 104}};
  c.Stroke({shoulder, {40, 40}, tips[0]}, 3, 1.5);
  std::vector<P> web{shoulder, {40, 40}, tips[0]};
  for (int i = 1; i < 4; ++i) {
    const P a = tips[i - 1], b = tips[i];
    const P mid{(a.x + b.x) / 2 + 9, (a.y + b.y) / 2 + 2};
    for (const P& p : Canvas::Curve(a, mid, b, 8)) web.push_back(p);
  }
  web.push_back({52, 110});
  c.Polygon(web);
  for (int i = 1; i < 4; ++i) c.Stroke({{40, 40}, tips[i]}, 1.5, 1);
  // Tail, sweeping down and round, ending in a spade.
  c.Stroke(Canvas::Curve({60, 140}, {20, 200}, {80, 196}), 12, 6);
  c.Stroke(Canvas::Curve({80, 196}, {130, 190}, {124, 160}), 6, 2.5);
  c.Polygon({{124, 148}, {131, 160}, {124, 166}, {117, 160}});
  // Body and belly.
  c.Ellipse(72, 125, 24, 34, true, -15);
  // Neck rising to the head.
  c.Stroke(Canvas::Curve({78, 100}, {70, 60}, {96, 38}), 11, 7);
  // Head facing right, jaws open.
  c.Polygon({{88, 28}, {100, 22}, {118, 26}, {134, 32}, {134, 36}, {116, 37}, {100, 42}});
  c.Polygon({{100, 42}, {114, 42}, {130, 47}, {128, 50}, {110, 50}, {94, 46}});
  c.Polygon({{118, 37}, {132, 38}, {128, 45}, {114, 42}}, false);  // open mouth
  c.Polygon({{92, 26}, {84, 8}, {98, 24}});                        // horns
  c.Polygon({{98, 23}, {96, 4}, {104, 22}});
  c.Ellipse(107, 29, 2.5, 1.8, false);  // eye
  c.Ellipse(130, 33, 1.2, 1.2, false);  // nostril
  // Spines along the neck and back.
  for (const P& s : Canvas::Curve({82, 100}, {62, 60}, {90, 36}, 7)) {
    c.Polygon({{s.x - 2, s.y - 5}, {s.x - 12, s.y - 6}, {s.x - 2, s.y + 3}});
  }
  // Belly scales: white bands across the chest.
  for (int i = 0; i < 6; ++i) {
    const double y = 104 + i * 9;
    c.Stroke({{54 + i * 0.8, y}, {70 + i * 0.5, y + 3}}, 0.7, 0.7, false);
  }
  // Fore limb with claws.
  c.Stroke({{62, 112}, {48, 122}, {42, 114}}, 5, 3);
  for (int i = 0; i < 3; ++i)
    c.Polygon({{42, 112 + i * 2.0}, {34, 108 + i * 4.0}, {41, 116 + i * 1.0}});
  // Hind leg planted on the ground.
  c.Stroke({{82, 146}, {96, 164}, {86, 180}, {92, 198}}, 10, 4);
  c.Polygon({{84, 196}, {104, 196}, {108, 203}, {82, 203}});
  for (int i = 0; i < 3; ++i)
    c.Polygon({{96 + i * 4.0, 202}, {104 + i * 4.0, 208}, {93 + i * 4.0, 206}});
  c.Stroke({{70, 150}, {60, 168}, {70, 182}}, 8, 4);
  c.Polygon({{64, 180}, {80, 180}, {82, 186}, {62, 186}});
  // Ground line.
  for (int x = 0; x < 140; ++x) c.Set(x, 208, x % 4 != 3);
  return c;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: draw_logos OUTPUT_FOLDER\n");
    return 2;
  }
  const std::string dir = argv[1];
  const std::pair<const char*, Canvas> pictures[] = {
      {"Horse.bmp", Horse()}, {"Lion.bmp", Lion()}, {"Map.bmp", Map()}, {"Dragon.bmp", Dragon()}};
  for (const auto& [name, canvas] : pictures) {
    if (!canvas.WriteBmp(dir + "/" + name)) {
      std::fprintf(stderr, "cannot write %s/%s\n", dir.c_str(), name);
      return 1;
    }
  }
  return 0;
}
