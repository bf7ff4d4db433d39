#include "diagram/Canvas.h"

#include <cairo-svg.h>

#include <algorithm>
#include <cmath>

#include "common/Errors.h"

namespace vontralek::diagram {

namespace {

cairo_status_t Append(void* closure, const unsigned char* data, unsigned int length) {
  static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
  return CAIRO_STATUS_SUCCESS;
}

// Ten colours that stay apart on screen and in print (the "tableau 10" set).
constexpr double kPalette[10][3] = {
    {0.122, 0.467, 0.706}, {1.000, 0.498, 0.055}, {0.173, 0.627, 0.173}, {0.839, 0.153, 0.157}, {0.580, 0.404, 0.741},
    {0.549, 0.337, 0.294}, {0.890, 0.467, 0.761}, {0.498, 0.498, 0.498}, {0.737, 0.741, 0.133}, {0.090, 0.745, 0.812}};

} // namespace

Canvas::Canvas(ImageFormat format, int width, int height) : format_(format), width_(width), height_(height) {
  if (format == ImageFormat::Svg) {
    surface_ = cairo_svg_surface_create_for_stream(Append, &bytes_, width, height);
    cairo_svg_surface_set_document_unit(surface_, CAIRO_SVG_UNIT_PX);
  } else {
    surface_ = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
  }
  cr_ = cairo_create(surface_);
  cairo_set_source_rgb(cr_, 1, 1, 1);
  cairo_paint(cr_);
  cairo_select_font_face(cr_, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
}

Canvas::~Canvas() {
  if (cr_ != nullptr) cairo_destroy(cr_);
  if (surface_ != nullptr) cairo_surface_destroy(surface_);
}

void Canvas::Line(double x1, double y1, double x2, double y2, double width, double gray) {
  cairo_set_source_rgb(cr_, gray, gray, gray);
  cairo_set_line_width(cr_, width);
  cairo_move_to(cr_, x1, y1);
  cairo_line_to(cr_, x2, y2);
  cairo_stroke(cr_);
}

void Canvas::Text(double x, double y, std::string_view text, double size, Anchor anchor, double degrees, bool bold) {
  const std::string s(text);
  cairo_save(cr_);
  cairo_set_source_rgb(cr_, 0, 0, 0);
  if (bold) cairo_select_font_face(cr_, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_BOLD);
  cairo_set_font_size(cr_, size);
  cairo_text_extents_t e;
  cairo_text_extents(cr_, s.c_str(), &e);
  cairo_translate(cr_, x, y);
  cairo_rotate(cr_, degrees * M_PI / 180.0);
  const double shift = anchor == Anchor::Start ? 0 : anchor == Anchor::Middle ? e.x_advance / 2 : e.x_advance;
  cairo_move_to(cr_, -shift, 0);
  cairo_show_text(cr_, s.c_str());
  cairo_restore(cr_);
}

void Canvas::SampleColour(std::size_t i, double alpha) {
  const double* c = kPalette[i % 10];
  cairo_set_source_rgba(cr_, c[0], c[1], c[2], alpha);
}

void Canvas::Marker(std::size_t i, double x, double y, double size) {
  const double r = size / 2;
  switch ((i / 10) % 4) {
  case 0:
    cairo_new_sub_path(cr_);
    cairo_arc(cr_, x, y, r, 0, 2 * M_PI);
    break;
  case 1:
    cairo_rectangle(cr_, x - r, y - r, size, size);
    break;
  case 2:
    cairo_move_to(cr_, x, y - r);
    cairo_line_to(cr_, x + r, y + r);
    cairo_line_to(cr_, x - r, y + r);
    cairo_close_path(cr_);
    break;
  default:
    cairo_move_to(cr_, x, y - r);
    cairo_line_to(cr_, x + r, y);
    cairo_line_to(cr_, x, y + r);
    cairo_line_to(cr_, x - r, y);
    cairo_close_path(cr_);
  }
  SampleColour(i);
  cairo_fill_preserve(cr_);
  cairo_set_source_rgb(cr_, 0.15, 0.15, 0.15);
  cairo_set_line_width(cr_, 0.5);
  cairo_stroke(cr_);
}

void Canvas::Legend(double x, double y, const std::vector<const DiagramSample*>& samples, bool lines) {
  Text(x, y, "Samples", 13, Anchor::Start, 0, true);
  const std::size_t shown = std::min(samples.size(), kLegendEntries);
  for (std::size_t i = 0; i < shown; ++i) {
    const double row = y + 20 + 19 * static_cast<double>(i);
    if (lines) {
      SampleColour(i);
      cairo_set_line_width(cr_, 1.5);
      cairo_move_to(cr_, x, row - 4);
      cairo_line_to(cr_, x + 24, row - 4);
      cairo_stroke(cr_);
    }
    Marker(i, x + 12, row - 4, 8);
    std::string name = samples[i]->name;
    if (name.size() > 28) name = name.substr(0, 25) + "...";
    Text(x + 32, row, name, 12);
  }
  if (samples.size() > shown)
    Text(x, y + 20 + 19 * static_cast<double>(shown), "and " + std::to_string(samples.size() - shown) + " more", 12);
}

void Canvas::Caption(std::string_view text) { Text(20, height_ - 16, text, 13); }

std::string Canvas::Finish() {
  cairo_destroy(cr_);
  cr_ = nullptr;
  cairo_status_t status = CAIRO_STATUS_SUCCESS;
  if (format_ == ImageFormat::Png) status = cairo_surface_write_to_png_stream(surface_, Append, &bytes_);
  cairo_surface_finish(surface_);
  if (status == CAIRO_STATUS_SUCCESS) status = cairo_surface_status(surface_);
  cairo_surface_destroy(surface_);
  surface_ = nullptr;
  if (status != CAIRO_STATUS_SUCCESS)
    throw VontralekError(std::string("The diagram could not be drawn (") + cairo_status_to_string(status) +
                         "); try fewer samples or the other image format.");
  return std::move(bytes_);
}

} // namespace vontralek::diagram
