#include "diagram/PiperGeometry.h"

#include <algorithm>

namespace vontralek::diagram {

PiperPercent PiperPercentOf(const DiagramSample& s) {
  PiperPercent p;
  const double cations = s.ca + s.mg + (s.na + s.k);
  const double alkalinity = std::max(0.0, s.alkalinity);
  const double anions = alkalinity + s.so4 + (s.cl + s.no3);
  p.ca = 100.0 * s.ca / cations;
  p.mg = 100.0 * s.mg / cations;
  p.naK = 100.0 * (s.na + s.k) / cations;
  p.alkalinity = 100.0 * alkalinity / anions;
  p.so4 = 100.0 * s.so4 / anions;
  p.clNo3 = 100.0 * (s.cl + s.no3) / anions;
  return p;
}

// Barycentric: Ca (0,0) weight ca, Na+K (S,0) weight naK, Mg (S/2, hS) weight mg.
Point CationPoint(double mg, double naK) {
  const double f = kSide / 100.0;
  return {f * (naK + 0.5 * mg), f * kHeight * mg};
}

Point AnionPoint(double so4, double clNo3) {
  const double f = kSide / 100.0;
  return {kAnionLeft + f * (clNo3 + 0.5 * so4), f * kHeight * so4};
}

// The cation line (direction (1/2, h)) keeps x - y / (2h) = naK; the anion
// line (direction (-1/2, h)) keeps x + y / (2h) = kAnionLeft + (so4 + clNo3);
// solved for x and y (percent in units of kSide / 100).
Point RhombusPoint(double naK, double so4Cl) {
  const double f = kSide / 100.0;
  const double a = f * naK, b = kAnionLeft + f * so4Cl;
  return {0.5 * (a + b), kHeight * (b - a)};
}

PiperPoints PiperPointsOf(const PiperPercent& p) {
  return {CationPoint(p.mg, p.naK), AnionPoint(p.so4, p.clNo3), RhombusPoint(p.naK, p.so4 + p.clNo3)};
}

PiperFrame PiperFrameCorners() {
  PiperFrame f;
  f.cation[0] = CationPoint(0, 0);
  f.cation[1] = CationPoint(0, 100);
  f.cation[2] = CationPoint(100, 0);
  f.anion[0] = AnionPoint(0, 0);
  f.anion[1] = AnionPoint(0, 100);
  f.anion[2] = AnionPoint(100, 0);
  f.rhombus[0] = RhombusPoint(100, 0);
  f.rhombus[1] = RhombusPoint(0, 0);
  f.rhombus[2] = RhombusPoint(0, 100);
  f.rhombus[3] = RhombusPoint(100, 100);
  return f;
}

} // namespace vontralek::diagram
