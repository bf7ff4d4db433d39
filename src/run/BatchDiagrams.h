#pragma once

#include <optional>
#include <string>

#include "run/DiagramSamples.h"
#include "run/SampleCollector.h"
#include "workbook/Workbook.h"

namespace vontralek::sheet_run {

// A batch's Piper and Schoeller diagrams as pictures on the worksheet
// "Diagrams" after the four (worksheet 4, E35 "Diagrams" = yes): the samples
// are collected as the run writes them (and handed on to next, the door's
// collector) and drawn after the last.
class BatchDiagrams : public SampleCollector {
public:
  explicit BatchDiagrams(SampleCollector* next) : next_(next) {}
  void Collect(const std::string& name, const std::optional<MajorIons>& ions) override;

  // Before anything is written: a worksheet "Diagrams" that this program did
  // not write stops the run (throws VontralekError naming it).
  static void Check(workbook::Workbook& workbook);
  // Adds the worksheet, or replaces the pictures of ours.
  void Put(workbook::Workbook& workbook) const;

private:
  SampleCollector* next_;
  DiagramSamples samples_;
};

} // namespace vontralek::sheet_run
