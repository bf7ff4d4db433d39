#include <cmath>

#include <fmt/format.h>

#include "diagram/Drawings.h"
#include "diagram/SchoellerGeometry.h"

namespace vontralek::diagram {

namespace {

constexpr int kWidth = 1100, kHeight = 720;
constexpr double kLeft = 100, kRight = 800, kTop = 60, kBottom = 620;

} // namespace

FigureSize SchoellerSize() { return {kWidth, kHeight}; }

void DrawSchoeller(Canvas& c, const Selection& selection) {
  const auto& drawn = selection.drawn;
  const Decades d = SchoellerDecades(drawn);
  const double xStep = (kRight - kLeft) / 5.0;
  const double yPerDecade = (kBottom - kTop) / (d.high - d.low);
  const auto px = [&](Point p) { return Point{kLeft + xStep * p.x, kBottom - yPerDecade * (p.y - d.low)}; };
  c.Text(20, 30, "Schoeller diagram", 18, Anchor::Start, 0, true);

  // Decades with their values, the 2..9 between them lighter; the ions below.
  for (int e = d.low; e <= d.high; ++e) {
    const double y = px({0, static_cast<double>(e)}).y;
    c.Line(kLeft, y, kRight, y, 0.8, 0.6);
    c.Text(kLeft - 8, y + 4, fmt::format("{:g}", std::pow(10.0, e)), 12, Anchor::End);
    if (e == d.high) break;
    for (int m = 2; m <= 9; ++m) {
      const double ym = px({0, e + std::log10(static_cast<double>(m))}).y;
      c.Line(kLeft, ym, kRight, ym, 0.4, 0.85);
    }
  }
  for (std::size_t i = 0; i < kSchoellerIons.size(); ++i) {
    const double x = kLeft + xStep * static_cast<double>(i);
    c.Line(x, kTop, x, kBottom, 0.6, 0.75);
    c.Text(x, kBottom + 24, kSchoellerIons[i], 13, Anchor::Middle);
  }
  c.Line(kLeft, kTop, kLeft, kBottom, 1.2, 0);
  c.Line(kLeft, kBottom, kRight, kBottom, 1.2, 0);
  c.Text(35, (kTop + kBottom) / 2, "meq/L (logarithmic)", 13, Anchor::Middle, -90);

  cairo_t* cr = c.Cairo();
  // Thousands of thin lines: not smoothed, which costs most of the time and shows little at that density.
  if (drawn.size() > 1000) cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
  const double size = drawn.size() <= 100 ? 7 : 3;
  for (std::size_t i = 0; i < drawn.size(); ++i) {
    const auto points = SchoellerPoints(*drawn[i]);
    bool open = false;
    for (const auto& p : points) {
      if (!p) {
        open = false;
        continue;
      }
      const Point q = px(*p);
      open ? cairo_line_to(cr, q.x, q.y) : cairo_move_to(cr, q.x, q.y);
      open = true;
    }
    c.SampleColour(i, drawn.size() <= 100 ? 1 : 0.5);
    cairo_set_line_width(cr, drawn.size() <= 100 ? 1.5 : 0.6);
    cairo_stroke(cr);
    // Beyond a thousand lines the markers would only hide them (and cost the most time).
    if (drawn.size() > 1000) continue;
    for (const auto& p : points)
      if (p) c.Marker(i, px(*p).x, px(*p).y, size);
  }
  c.Legend(kRight + 50, 80, drawn, true);
}

} // namespace vontralek::diagram
