// Draws 10,000 samples (or argv[1]) into each of the three diagrams as SVG
// and as PNG; prints the wall time and the file size of each, and with a
// folder as argv[2] writes the figures there to look at. Target: under 2 s
// for a diagram of 10,000 samples to SVG.

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <vector>

#include "diagram/Diagram.h"

using vontralek::diagram::DiagramKind;
using vontralek::diagram::DiagramSample;
using vontralek::diagram::ImageFormat;

int main(int argc, char** argv) {
  const int count = argc > 1 ? std::atoi(argv[1]) : 10000;
  // Fresh waters of 0.1 to 20 meq/L per ion, fixed seed: the same figures each time.
  std::mt19937_64 random(42);
  std::lognormal_distribution<double> meq(0.5, 1.0);
  std::vector<DiagramSample> samples(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) {
    DiagramSample& s = samples[static_cast<std::size_t>(i)];
    char name[16];
    std::snprintf(name, sizeof name, "W%d", i + 1);
    s = {name,        meq(random),       meq(random), meq(random), 0.1 * meq(random),
         meq(random), 0.2 * meq(random), meq(random), meq(random)};
  }
  for (const DiagramKind kind : {DiagramKind::Piper, DiagramKind::Stiff, DiagramKind::Schoeller}) {
    for (const ImageFormat format : {ImageFormat::Svg, ImageFormat::Png}) {
      const auto start = std::chrono::steady_clock::now();
      const std::string bytes = vontralek::diagram::DrawDiagram(kind, samples, format);
      const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      std::printf("%-9s %s %d samples: %.3f s, %.1f MB\n", std::string(DiagramKindName(kind)).c_str(),
                  format == ImageFormat::Svg ? "SVG" : "PNG", count, seconds, static_cast<double>(bytes.size()) / 1e6);
      if (argc > 2) {
        const std::string name = std::string(DiagramKindName(kind)) + (format == ImageFormat::Svg ? ".svg" : ".png");
        std::ofstream(std::string(argv[2]) + "/" + name, std::ios::binary) << bytes;
      }
    }
  }
  return 0;
}
