#include "run/BatchDiagrams.h"

#include "common/Errors.h"
#include "diagram/Diagram.h"
#include "layout/Layout.h"

namespace vontralek::sheet_run {

namespace {
// Shown at half their size in pixels: the two fit on a screen one under the other.
constexpr double kShownScale = 0.5;
} // namespace

void BatchDiagrams::Collect(const std::string& name, const std::optional<MajorIons>& ions) {
  samples_.Collect(name, ions);
  if (next_ != nullptr) next_->Collect(name, ions);
}

void BatchDiagrams::Check(workbook::Workbook& workbook) {
  if (workbook.PictureSheet(layout::kDiagramSheet, layout::kPictureMarker) == workbook::PictureSheetState::Foreign)
    throw VontralekError(std::string("the workbook has a worksheet \"") + layout::kDiagramSheet +
                         "\" that this program did not write, which the batch's diagrams would replace; nothing was "
                         "written. Rename or delete that worksheet, or set worksheet 4, E35 \"Diagrams\" to no");
}

void BatchDiagrams::Put(workbook::Workbook& workbook) const {
  std::vector<workbook::Picture> pictures;
  int row = 0;
  for (const diagram::DiagramKind kind : {diagram::DiagramKind::Piper, diagram::DiagramKind::Schoeller}) {
    workbook::Picture p;
    p.png = diagram::DrawDiagram(kind, samples_.samples, diagram::ImageFormat::Png);
    // The figure's size from the PNG header (width and height at bytes 16 and 20, big-endian).
    const auto word = [&p](std::size_t at) {
      int v = 0;
      for (std::size_t i = 0; i < 4; ++i) v = v << 8 | static_cast<unsigned char>(p.png[at + i]);
      return v;
    };
    p.widthPx = static_cast<int>(word(16) * kShownScale);
    p.heightPx = static_cast<int>(word(20) * kShownScale);
    p.row = row;
    row += p.heightPx / 20 + 2; // rows of 20 pixels, the default height
    p.name = std::string(layout::kPictureMarker) + " " + std::string(diagram::DiagramKindName(kind));
    pictures.push_back(std::move(p));
  }
  workbook.PutPictureSheet(layout::kDiagramSheet, layout::kPictureMarker, pictures);
}

} // namespace vontralek::sheet_run
