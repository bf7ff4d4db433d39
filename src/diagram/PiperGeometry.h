#pragma once

// The Piper diagram (Piper 1944) in its own units: two equilateral triangles
// of side kSide (100 units = 100 %) on one base line, kGap apart, and the
// rhombus of the same side above them. y upwards.
//   cations, lower left: Ca2+ at (0, 0), Na+ + K+ at (100, 0), Mg2+ at the top;
//   anions, lower right: HCO3- + CO3 2- at its left corner, Cl- + NO3- at its
//   right corner, SO4 2- at the top;
//   rhombus: Na+ + K+ and HCO3- + CO3 2- at its lower corner, Ca2+ + Mg2+ and
//   SO4 2- + Cl- + NO3- at its upper one.
// A sample's point in the rhombus is where the line from its cation point
// parallel to the triangle's Ca-Mg side meets the line from its anion point
// parallel to the triangle's Cl-SO4 side.

#include "diagram/DiagramSample.h"
#include "diagram/Point.h"

namespace vontralek::diagram {

inline constexpr double kSide = 100.0;
inline constexpr double kGap = 20.0;
// The height of an equilateral triangle of side 1: sqrt(3) / 2.
inline constexpr double kHeight = 0.86602540378443864676;
// The left corner of the anion triangle.
inline constexpr double kAnionLeft = kSide + kGap;

// Percentages of the meq/L sums, each triple adding up to 100.
struct PiperPercent {
  double ca = 0, mg = 0, naK = 0;
  double alkalinity = 0, so4 = 0, clNo3 = 0;
};
PiperPercent PiperPercentOf(const DiagramSample& sample);

struct PiperPoints {
  Point cation, anion, rhombus;
};
PiperPoints PiperPointsOf(const PiperPercent& percent);

// A point of the cation triangle from its Mg2+ and Na+ + K+ percentages, and
// of the anion triangle from its SO4 2- and Cl- + NO3- percentages.
Point CationPoint(double mg, double naK);
Point AnionPoint(double so4, double clNo3);
// The rhombus point of a sample with these Na+ + K+ and SO4 2- + Cl- + NO3-
// percentages.
Point RhombusPoint(double naK, double so4Cl);

// The corners: triangles left, right, top; the rhombus bottom, left, top, right.
struct PiperFrame {
  Point cation[3], anion[3], rhombus[4];
};
PiperFrame PiperFrameCorners();

} // namespace vontralek::diagram
