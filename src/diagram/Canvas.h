#pragma once

// A cairo drawing surface that ends as the bytes of an SVG (pixel units) or
// PNG file, with what the three diagrams share: lines, text, the samples'
// markers and colours, the legend and the caption. Pixels, y downwards.

#include <cairo.h>

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "diagram/DiagramSample.h"

namespace vontralek::diagram {

enum class Anchor { Start, Middle, End };

class Canvas {
public:
  Canvas(ImageFormat format, int width, int height);
  ~Canvas();
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;

  cairo_t* Cairo() { return cr_; }
  int Width() const { return width_; }
  int Height() const { return height_; }

  // gray 0 black .. 1 white.
  void Line(double x1, double y1, double x2, double y2, double width, double gray);
  // Text with its baseline at y, anchored at x; turned by degrees (clockwise) about (x, y).
  void Text(double x, double y, std::string_view text, double size, Anchor anchor = Anchor::Start, double degrees = 0,
            bool bold = false);
  // Sample i's colour (alpha 0..1) as the source.
  void SampleColour(std::size_t i, double alpha = 1);
  // Sample i's marker (shape by i / palette size) centred at (x, y), size px across.
  void Marker(std::size_t i, double x, double y, double size);
  // Up to kLegendEntries names with their markers (and a line when lines is
  // set) from (x, y) down, then "and N more".
  void Legend(double x, double y, const std::vector<const DiagramSample*>& samples, bool lines);
  // The caption at the foot of the figure.
  void Caption(std::string_view text);

  // Ends the drawing: the file's bytes. Throws VontralekError when cairo failed.
  std::string Finish();

  static constexpr std::size_t kLegendEntries = 24;

private:
  ImageFormat format_;
  int width_, height_;
  std::string bytes_;
  cairo_surface_t* surface_ = nullptr;
  cairo_t* cr_ = nullptr;
};

} // namespace vontralek::diagram
