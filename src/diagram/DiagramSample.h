#pragma once

// What the three water diagrams are drawn from: each sample's major ions as
// analytical totals in meq/L (mmol/L times the charge number), with a name
// for the legend. The diagrams know nothing of files, runs or the model.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vontralek::diagram {

struct DiagramSample {
  std::string name;
  // meq/L. alkalinity: HCO3- + CO3 2- as the sample's alkalinity gives it
  // (eq/L x 1000); a negative alkalinity (acid water) counts as none.
  double ca = 0, mg = 0, na = 0, k = 0, cl = 0, no3 = 0, so4 = 0, alkalinity = 0;
  bool failed = false; // the sample has no result: left out and counted
};

enum class DiagramKind { Piper, Stiff, Schoeller };
enum class ImageFormat { Svg, Png };

// "piper", "stiff", "schoeller" in any letter case; none for another word.
std::optional<DiagramKind> ParseDiagramKind(std::string_view word);
std::string_view DiagramKindName(DiagramKind kind); // "Piper", "Stiff", "Schoeller"
// From a file name: ".png" (any case) is PNG, ".svg" SVG; none for another ending.
std::optional<ImageFormat> ImageFormatOfName(std::string_view fileName);

// At most this many samples are drawn; the rest are counted in the caption.
inline constexpr std::size_t kMostDrawn = 10000;

// The samples a figure draws (in input order) and what it leaves out.
struct Selection {
  std::vector<const DiagramSample*> drawn;
  std::size_t leftOut = 0; // failed, or no cations or no anions (or a value not a finite number >= 0)
  std::size_t beyond = 0;  // drawable but past the first kMostDrawn
};

// A sample is drawable when every value is a finite number, none is
// negative (the alkalinity apart) and both its cation and anion sums are
// positive: the Piper percentages divide by them.
bool Drawable(const DiagramSample& sample);
Selection SelectSamples(const std::vector<DiagramSample>& samples);

// The figure's caption: "Piper diagram of 12 samples (meq/L); 2 left out
// (failed or without cations or anions); 5 more not drawn (the first 10000
// are)".
std::string Caption(DiagramKind kind, const Selection& selection);

} // namespace vontralek::diagram
