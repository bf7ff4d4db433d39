#include "diagram/Diagram.h"

#include "diagram/Drawings.h"

namespace vontralek::diagram {

std::string DrawDiagram(DiagramKind kind, const std::vector<DiagramSample>& samples, ImageFormat format) {
  const Selection selection = SelectSamples(samples);
  const FigureSize size = kind == DiagramKind::Piper   ? PiperSize()
                          : kind == DiagramKind::Stiff ? StiffSize(selection.drawn.size())
                                                       : SchoellerSize();
  Canvas canvas(format, size.width, size.height);
  switch (kind) {
  case DiagramKind::Piper:
    DrawPiper(canvas, selection);
    break;
  case DiagramKind::Stiff:
    DrawStiff(canvas, selection);
    break;
  case DiagramKind::Schoeller:
    DrawSchoeller(canvas, selection);
    break;
  }
  canvas.Caption(Caption(kind, selection));
  return canvas.Finish();
}

} // namespace vontralek::diagram
