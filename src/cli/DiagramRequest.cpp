#include "cli/DiagramRequest.h"

#include "diagram/DiagramSample.h"

namespace vontralek::cli {

void DiagramOptions(CliOptions& options, const std::vector<std::string>& kinds, const std::vector<std::string>& files) {
  if (kinds.size() > 1) throw UsageError("--diagram given twice");
  if (files.size() > 1) throw UsageError("--diagram-out given twice");
  if (kinds.empty() != files.empty())
    throw UsageError("--diagram piper|stiff|schoeller and --diagram-out FILE.svg|FILE.png go together");
  if (kinds.empty()) return;
  options.diagram = diagram::ParseDiagramKind(kinds.front());
  if (!options.diagram)
    throw UsageError("unknown diagram \"" + kinds.front() + "\" for --diagram: use piper, stiff or schoeller");
  if (!diagram::ImageFormatOfName(files.front()))
    throw UsageError("--diagram-out needs a file ending in .svg or .png, not \"" + files.front() + "\"");
  options.diagramOut = files.front();
}

void DiagramRequest::Finish(std::ostream& out) {
  if (!options_.diagram) return;
  out << SaveDiagram(options_.diagramOut, *options_.diagram, samples_.samples) << " written to "
      << options_.diagramOut.string() << ".\n";
}

} // namespace vontralek::cli
