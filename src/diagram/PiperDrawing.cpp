#include <string>

#include "diagram/Drawings.h"
#include "diagram/PiperGeometry.h"

namespace vontralek::diagram {

namespace {

// Pixels per unit and where the diagram's origin (the Ca2+ corner) lands.
constexpr double kScale = 3.4, kLeft = 60, kBase = 720;
constexpr int kFigureWidth = 1140, kFigureHeight = 820;

struct Px {
  double x, y;
};
Px ToPx(Point p) { return {kLeft + kScale * p.x, kBase - kScale * p.y}; }

void Segment(Canvas& c, Point a, Point b, double width, double gray) {
  const Px p = ToPx(a), q = ToPx(b);
  c.Line(p.x, p.y, q.x, q.y, width, gray);
}

void Outline(Canvas& c, const Point* corners, int n) {
  for (int i = 0; i < n; ++i) Segment(c, corners[i], corners[(i + 1) % n], 1.4, 0);
}

void Label(Canvas& c, Point at, double dx, double dy, std::string_view text, double size, Anchor anchor,
           double degrees = 0) {
  const Px p = ToPx(at);
  c.Text(p.x + dx, p.y + dy, text, size, anchor, degrees);
}

// The grid every 20 % with its percentages, the corners' ions and the rhombus's sides.
void Frame(Canvas& c) {
  const PiperFrame f = PiperFrameCorners();
  for (int v = 20; v < 100; v += 20) {
    const double w = v;
    const std::string t = std::to_string(v);
    Segment(c, CationPoint(w, 0), CationPoint(w, 100 - w), 0.6, 0.75);       // Mg2+ = v
    Segment(c, CationPoint(0, w), CationPoint(100 - w, w), 0.6, 0.75);       // Na+ + K+ = v
    Segment(c, CationPoint(0, 100 - w), CationPoint(100 - w, 0), 0.6, 0.75); // Ca2+ = v
    Segment(c, AnionPoint(w, 0), AnionPoint(w, 100 - w), 0.6, 0.75);
    Segment(c, AnionPoint(0, w), AnionPoint(100 - w, w), 0.6, 0.75);
    Segment(c, AnionPoint(0, 100 - w), AnionPoint(100 - w, 0), 0.6, 0.75);
    Segment(c, RhombusPoint(w, 0), RhombusPoint(w, 100), 0.6, 0.75);
    Segment(c, RhombusPoint(0, w), RhombusPoint(100, w), 0.6, 0.75);
    Label(c, CationPoint(0, w), 0, 16, t, 10, Anchor::Middle);        // Na+ + K+ along the base
    Label(c, CationPoint(w, 0), -5, 4, t, 10, Anchor::End);           // Mg2+ along the left side
    Label(c, AnionPoint(0, w), 0, 16, t, 10, Anchor::Middle);         // Cl- + NO3- along the base
    Label(c, AnionPoint(w, 100 - w), 5, 4, t, 10, Anchor::Start);     // SO4 2- along the right side
    Label(c, RhombusPoint(0, w), -5, 4, t, 10, Anchor::End);          // SO4 + Cl + NO3 along the upper left
    Label(c, RhombusPoint(100 - w, 100), 5, 4, t, 10, Anchor::Start); // Ca + Mg along the upper right
  }
  Outline(c, f.cation, 3);
  Outline(c, f.anion, 3);
  Outline(c, f.rhombus, 4);
  Label(c, f.cation[0], 0, 36, "Ca²⁺", 14, Anchor::Middle);
  Label(c, f.cation[1], 8, 36, "Na⁺ + K⁺", 14, Anchor::End);
  Label(c, f.cation[2], -40, -4, "Mg²⁺", 14, Anchor::End);
  Label(c, f.anion[0], -8, 36, "HCO₃⁻ + CO₃²⁻", 14, Anchor::Start);
  Label(c, f.anion[1], 0, 36, "Cl⁻ + NO₃⁻", 14, Anchor::Middle);
  Label(c, f.anion[2], 40, -4, "SO₄²⁻", 14, Anchor::Start);
  const Point upperLeft{(f.rhombus[1].x + f.rhombus[2].x) / 2, (f.rhombus[1].y + f.rhombus[2].y) / 2};
  const Point upperRight{(f.rhombus[2].x + f.rhombus[3].x) / 2, (f.rhombus[2].y + f.rhombus[3].y) / 2};
  Label(c, upperLeft, -30, -12, "SO₄²⁻ + Cl⁻ + NO₃⁻", 14, Anchor::Middle, -60);
  Label(c, upperRight, 30, -12, "Ca²⁺ + Mg²⁺", 14, Anchor::Middle, 60);
  Label(c, CationPoint(0, 50), 0, 56, "Cations, % of meq/L", 13, Anchor::Middle);
  Label(c, AnionPoint(0, 50), 0, 56, "Anions, % of meq/L", 13, Anchor::Middle);
}

} // namespace

FigureSize PiperSize() { return {kFigureWidth, kFigureHeight}; }

void DrawPiper(Canvas& c, const Selection& selection) {
  c.Text(20, 30, "Piper diagram", 18, Anchor::Start, 0, true);
  Frame(c);
  const double size = selection.drawn.size() <= 100 ? 8 : 4;
  for (std::size_t i = 0; i < selection.drawn.size(); ++i) {
    const PiperPoints points = PiperPointsOf(PiperPercentOf(*selection.drawn[i]));
    for (const Point p : {points.cation, points.anion, points.rhombus}) {
      const Px q = ToPx(p);
      c.Marker(i, q.x, q.y, size);
    }
  }
  c.Legend(kLeft + kScale * (2 * kSide + kGap) + 60, 80, selection.drawn, false);
}

} // namespace vontralek::diagram
