#include "diagram/DiagramSample.h"

#include <algorithm>
#include <cctype>
#include <cmath>

namespace vontralek::diagram {

namespace {

bool SameLetters(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

bool EndsWith(std::string_view name, std::string_view ending) {
  return name.size() >= ending.size() && SameLetters(name.substr(name.size() - ending.size()), ending);
}

} // namespace

std::optional<DiagramKind> ParseDiagramKind(std::string_view word) {
  for (const DiagramKind kind : {DiagramKind::Piper, DiagramKind::Stiff, DiagramKind::Schoeller})
    if (SameLetters(word, DiagramKindName(kind))) return kind;
  return std::nullopt;
}

std::string_view DiagramKindName(DiagramKind kind) {
  switch (kind) {
  case DiagramKind::Piper:
    return "Piper";
  case DiagramKind::Stiff:
    return "Stiff";
  case DiagramKind::Schoeller:
    break;
  }
  return "Schoeller";
}

std::optional<ImageFormat> ImageFormatOfName(std::string_view fileName) {
  if (EndsWith(fileName, ".svg")) return ImageFormat::Svg;
  if (EndsWith(fileName, ".png")) return ImageFormat::Png;
  return std::nullopt;
}

bool Drawable(const DiagramSample& s) {
  if (s.failed) return false;
  for (const double v : {s.ca, s.mg, s.na, s.k, s.cl, s.no3, s.so4})
    if (!std::isfinite(v) || v < 0.0) return false;
  if (!std::isfinite(s.alkalinity)) return false;
  const double alkalinity = std::max(0.0, s.alkalinity);
  return s.ca + s.mg + s.na + s.k > 0.0 && alkalinity + s.so4 + s.cl + s.no3 > 0.0;
}

Selection SelectSamples(const std::vector<DiagramSample>& samples) {
  Selection selection;
  for (const DiagramSample& s : samples) {
    if (!Drawable(s)) {
      ++selection.leftOut;
    } else if (selection.drawn.size() < kMostDrawn) {
      selection.drawn.push_back(&s);
    } else {
      ++selection.beyond;
    }
  }
  return selection;
}

std::string Caption(DiagramKind kind, const Selection& selection) {
  const std::size_t n = selection.drawn.size();
  std::string text = std::string(DiagramKindName(kind)) + " diagram of " + std::to_string(n) +
                     (n == 1 ? " sample" : " samples") + " (meq/L)";
  if (selection.leftOut > 0)
    text += "; " + std::to_string(selection.leftOut) + " left out (failed or without cations or anions)";
  if (selection.beyond > 0)
    text +=
        "; " + std::to_string(selection.beyond) + " more not drawn (the first " + std::to_string(kMostDrawn) + " are)";
  return text;
}

} // namespace vontralek::diagram
