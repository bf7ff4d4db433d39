#include "run/DiagramSamples.h"

#include <fstream>
#include <system_error>

#include "common/Errors.h"
#include "diagram/Diagram.h"

namespace vontralek {

diagram::DiagramSample ToDiagramSample(const std::string& name, const std::optional<MajorIons>& ions) {
  diagram::DiagramSample s;
  s.name = name;
  s.failed = !ions.has_value();
  if (ions) {
    s.ca = ions->ca;
    s.mg = ions->mg;
    s.na = ions->na;
    s.k = ions->k;
    s.cl = ions->cl;
    s.no3 = ions->no3;
    s.so4 = ions->so4;
    s.alkalinity = ions->alkalinity;
  }
  return s;
}

void DiagramSamples::Collect(const std::string& name, const std::optional<MajorIons>& ions) {
  samples.push_back(ToDiagramSample(name, ions));
}

diagram::ImageFormat DiagramFileFormat(const std::filesystem::path& file) {
  const std::optional<diagram::ImageFormat> format = diagram::ImageFormatOfName(file.filename().string());
  if (!format)
    throw VontralekError("The diagram file " + file.string() +
                         " has neither the ending .svg nor .png; name it FILE.svg (vector) or FILE.png.");
  return *format;
}

std::string SaveDiagram(const std::filesystem::path& file, diagram::DiagramKind kind,
                        const std::vector<diagram::DiagramSample>& samples) {
  const std::string bytes = diagram::DrawDiagram(kind, samples, DiagramFileFormat(file));
  std::filesystem::path temporary = file;
  temporary += ".part";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
      std::error_code ignored;
      std::filesystem::remove(temporary, ignored);
      throw VontralekError("The diagram " + file.string() +
                           " could not be written; check the folder exists, is writable and has space.");
    }
  }
  std::error_code renamed;
  std::filesystem::rename(temporary, file, renamed);
  if (renamed) {
    std::error_code ignored;
    std::filesystem::remove(temporary, ignored);
    throw VontralekError("The diagram " + file.string() + " could not be written (" + renamed.message() +
                         "); check the folder's permissions.");
  }
  return diagram::Caption(kind, diagram::SelectSamples(samples));
}

} // namespace vontralek
