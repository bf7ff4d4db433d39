#pragma once

// The samples of a run for the water diagrams: collected as the run writes
// them, drawn after it, and saved as an SVG or PNG file.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "diagram/DiagramSample.h"
#include "run/SampleCollector.h"

namespace vontralek {

class DiagramSamples : public SampleCollector {
public:
  void Collect(const std::string& name, const std::optional<MajorIons>& ions) override;
  std::vector<diagram::DiagramSample> samples; // in input order, failed ones marked
};

diagram::DiagramSample ToDiagramSample(const std::string& name, const std::optional<MajorIons>& ions);

// The file's format from its name (.svg or .png, any letter case). Throws
// VontralekError naming the file for another ending.
diagram::ImageFormat DiagramFileFormat(const std::filesystem::path& file);

// Draws the diagram into file, whole or not at all: written beside it under a
// temporary name and renamed over it. Returns the caption (what was drawn).
// Throws VontralekError naming the file when it cannot be written.
std::string SaveDiagram(const std::filesystem::path& file, diagram::DiagramKind kind,
                        const std::vector<diagram::DiagramSample>& samples);

} // namespace vontralek
