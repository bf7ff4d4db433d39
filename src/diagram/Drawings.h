#pragma once

// Each diagram's figure: its size in pixels for the samples drawn, and its drawing.

#include "diagram/Canvas.h"
#include "diagram/DiagramSample.h"

namespace vontralek::diagram {

struct FigureSize {
  int width = 0, height = 0;
};

FigureSize PiperSize();
void DrawPiper(Canvas& canvas, const Selection& selection);

FigureSize StiffSize(std::size_t samples);
void DrawStiff(Canvas& canvas, const Selection& selection);

FigureSize SchoellerSize();
void DrawSchoeller(Canvas& canvas, const Selection& selection);

} // namespace vontralek::diagram
