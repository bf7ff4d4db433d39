// vontralek.diagram(): the rows of a frame (as CSV text, written by the
// package) solved as the table mode solves them, then drawn.

#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <optional>
#include <sstream>
#include <string>

#include "diagram/Diagram.h"
#include "run/DiagramSamples.h"
#include "run/TableError.h"
#include "run/TableRun.h"

namespace py = pybind11;

namespace vontralek {

namespace {

diagram::DiagramKind KindOf(const std::string& kind) {
  const std::optional<diagram::DiagramKind> parsed = diagram::ParseDiagramKind(kind);
  if (!parsed) throw TableError("Unknown diagram \"" + kind + "\": use \"piper\", \"stiff\" or \"schoeller\".");
  return *parsed;
}

// Every row is solved (keep going: a failed row is left out and counted in the caption).
std::vector<diagram::DiagramSample> SolvedSamples(const std::string& csv, const std::optional<std::string>& pair,
                                                  const std::string& model, const std::string& belowLimit,
                                                  const std::optional<std::string>& constants) {
  TableOptions options;
  options.settings.model = ParseModel(model);
  options.settings.belowLimit = labdata::ParseBelowLimitPolicy(belowLimit);
  options.settings.onFailure = FailurePolicy::Continue;
  if (pair == "ph") options.pair = table::PairColumns::AlkalinityPH;
  if (pair == "pco2") options.pair = table::PairColumns::AlkalinityPCO2;
  if (pair == "carbonate") options.pair = table::PairColumns::BicarbonateCarbonate;
  if (pair && !options.pair) throw TableError("Unknown pair \"" + *pair + "\": use \"ph\", \"pco2\" or \"carbonate\".");
  if (constants) options.constants = *constants;
  DiagramSamples collected;
  options.collector = &collected;
  std::istringstream in(csv);
  std::ostringstream ignored;
  py::gil_scoped_release release;
  RunTable(in, "the frame", ignored, options, LoadTableParameters(options.constants));
  return std::move(collected.samples);
}

} // namespace

void BindDiagram(py::module_& m) {
  m.def(
      "diagram",
      [](const std::string& csv, const std::string& kind, const std::optional<std::string>& pair,
         const std::string& model, const std::string& belowLimit, const std::optional<std::string>& constants) {
        const auto samples = SolvedSamples(csv, pair, model, belowLimit, constants);
        return diagram::DrawDiagram(KindOf(kind), samples, diagram::ImageFormat::Svg);
      },
      py::arg("csv"), py::arg("kind"), py::arg("pair"), py::arg("model"), py::arg("below_limit"), py::arg("constants"));
  m.def(
      "save_diagram",
      [](const std::string& csv, const std::string& kind, const std::string& path,
         const std::optional<std::string>& pair, const std::string& model, const std::string& belowLimit,
         const std::optional<std::string>& constants) {
        const auto samples = SolvedSamples(csv, pair, model, belowLimit, constants);
        return SaveDiagram(path, KindOf(kind), samples);
      },
      py::arg("csv"), py::arg("kind"), py::arg("path"), py::arg("pair"), py::arg("model"), py::arg("below_limit"),
      py::arg("constants"));
}

} // namespace vontralek
