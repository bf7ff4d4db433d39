#include <algorithm>
#include <cmath>

#include <fmt/format.h>

#include "diagram/Drawings.h"
#include "diagram/StiffGeometry.h"

namespace vontralek::diagram {

namespace {

// The panels: one per sample, in rows of kColumns(n); every panel the same
// size and the same meq/L per pixel, so that the shapes compare.
constexpr double kMargin = 40, kTop = 150, kFoot = 50;

std::size_t Columns(std::size_t n) {
  return std::clamp<std::size_t>(static_cast<std::size_t>(std::ceil(std::sqrt(static_cast<double>(n)))), 1, 100);
}
double PanelWidth(std::size_t columns) { return std::clamp(3600.0 / static_cast<double>(columns), 40.0, 260.0); }

constexpr const char* kCations[3] = {"Na⁺ + K⁺", "Ca²⁺", "Mg²⁺"};
constexpr const char* kAnions[3] = {"Cl⁻ + NO₃⁻", "HCO₃⁻ + CO₃²⁻", "SO₄²⁻"};

} // namespace

FigureSize StiffSize(std::size_t samples) {
  const std::size_t columns = Columns(samples);
  const std::size_t rows = std::max<std::size_t>(1, (samples + columns - 1) / columns);
  const double w = PanelWidth(columns);
  return {static_cast<int>(std::max(900.0, 2 * kMargin + static_cast<double>(columns) * w)),
          static_cast<int>(kTop + static_cast<double>(rows) * w * 0.55 + kFoot)};
}

void DrawStiff(Canvas& c, const Selection& selection) {
  const auto& drawn = selection.drawn;
  const std::size_t columns = Columns(drawn.size());
  const double w = PanelWidth(columns), h = w * 0.55;
  const double scale = StiffScale(drawn);
  const double pxPerMeq = 0.42 * w / scale;
  c.Text(20, 30, "Stiff diagrams", 18, Anchor::Start, 0, true);

  // The key: the ions of each row and the scale, at the panels' own meq/L per pixel.
  const double keyX = 300, keyTop = 60;
  for (int r = 0; r < 3; ++r) {
    c.Text(keyX - 10, keyTop + 18 * r + 4, kCations[r], 12, Anchor::End);
    c.Text(keyX + 10, keyTop + 18 * r + 4, kAnions[r], 12, Anchor::Start);
  }
  c.Line(keyX, keyTop - 8, keyX, keyTop + 44, 1, 0);
  c.Text(keyX - 10, keyTop - 14, "cations", 11, Anchor::End);
  c.Text(keyX + 10, keyTop - 14, "anions", 11, Anchor::Start);
  const double scaleX = 560, scaleY = keyTop + 30;
  c.Line(scaleX - pxPerMeq * scale, scaleY, scaleX + pxPerMeq * scale, scaleY, 1.2, 0);
  for (const double t : {-1.0, 0.0, 1.0}) {
    const double x = scaleX + t * pxPerMeq * scale;
    c.Line(x, scaleY - 5, x, scaleY + 5, 1.2, 0);
    c.Text(x, scaleY + 20, fmt::format("{:g}", std::fabs(t) * scale), 12, Anchor::Middle);
  }
  c.Text(scaleX + pxPerMeq * scale + 12, scaleY + 4, "meq/L (scale of every polygon)", 12);

  const bool names = w >= 100;
  for (std::size_t i = 0; i < drawn.size(); ++i) {
    const double left = kMargin + static_cast<double>(i % columns) * w;
    const double top = kTop + static_cast<double>(i / columns) * h;
    const double centre = left + w / 2, first = top + h * (names ? 0.32 : 0.2), step = h * (names ? 0.26 : 0.3);
    c.Line(centre, first - 3, centre, first + 2 * step + 3, 0.6, 0.5);
    cairo_t* cr = c.Cairo();
    const auto vertices = StiffVertices(*drawn[i]);
    for (std::size_t v = 0; v < vertices.size(); ++v) {
      const double x = centre + pxPerMeq * vertices[v].x, y = first + step * vertices[v].y;
      v == 0 ? cairo_move_to(cr, x, y) : cairo_line_to(cr, x, y);
    }
    cairo_close_path(cr);
    c.SampleColour(i, 0.45);
    cairo_fill_preserve(cr);
    c.SampleColour(i);
    cairo_set_line_width(cr, names ? 1.2 : 0.6);
    cairo_stroke(cr);
    if (names) {
      std::string name = drawn[i]->name;
      if (name.size() > 30) name = name.substr(0, 27) + "...";
      c.Text(centre, top + 14, name, 11, Anchor::Middle);
    }
  }
}

} // namespace vontralek::diagram
