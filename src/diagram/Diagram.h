#pragma once

// The three water diagrams as the bytes of an SVG or PNG file.

#include <string>
#include <vector>

#include "diagram/DiagramSample.h"

namespace vontralek::diagram {

// Draws the samples that are drawable (at most kMostDrawn of them, in input
// order); the caption counts those left out and those beyond. Throws
// VontralekError when the drawing library fails.
std::string DrawDiagram(DiagramKind kind, const std::vector<DiagramSample>& samples, ImageFormat format);

} // namespace vontralek::diagram
