#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <pugixml.hpp>

#include "diagram/Diagram.h"
#include "diagram/PiperGeometry.h"
#include "diagram/SchoellerGeometry.h"
#include "diagram/StiffGeometry.h"

namespace vontralek::diagram {
namespace {

constexpr double kTol = 1e-9;
constexpr double h = 0.8660254037844386; // sqrt(3) / 2

// Water A, meq/L: Ca 4, Mg 2, Na 1.5, K 0.5 (cations 8); alkalinity 5, SO4 2, Cl 0.5, NO3 0.5 (anions 8).
// Water B: Na 10 and Cl 10 alone, alkalinity -1 (acid: counts as none).
DiagramSample WaterA() { return {"A", 4, 2, 1.5, 0.5, 0.5, 0.5, 2, 5}; }
DiagramSample WaterB() { return {"B", 0, 0, 10, 0, 10, 0, 0, -1}; }

void ExpectPoint(Point p, double x, double y) {
  EXPECT_NEAR(p.x, x, kTol);
  EXPECT_NEAR(p.y, y, kTol);
}

// Piper: A's cations are Ca 4/8 = 50 %, Mg 2/8 = 25 %, Na+K 2/8 = 25 %, so its cation
// point is (Na+K + Mg/2, h Mg) = (37.5, 25 h); anions HCO3 5/8 = 62.5 %, SO4 25 %, Cl+NO3
// 12.5 %: (120 + 12.5 + 25/2, 25 h) = (145, 25 h). The rhombus point is where
// x - y/(2h) = Na+K = 25 meets x + y/(2h) = 120 + SO4 + Cl+NO3 = 157.5: x = 91.25,
// y = h (157.5 - 25) = 132.5 h. B is 100 % Na+K and 100 % Cl+NO3: the cation triangle's
// right corner (100, 0), the anion triangle's (220, 0), the rhombus's right corner
// x = (100 + 220) / 2 = 160, y = h (220 - 100) = 120 h.
TEST(PiperGeometry, TwoWatersInBothTrianglesAndTheRhombus) {
  const PiperPercent a = PiperPercentOf(WaterA());
  EXPECT_NEAR(a.ca + a.mg + a.naK, 100, kTol);
  EXPECT_NEAR(a.alkalinity, 62.5, kTol);
  const PiperPoints pa = PiperPointsOf(a);
  ExpectPoint(pa.cation, 37.5, 25 * h);
  ExpectPoint(pa.anion, 145, 25 * h);
  ExpectPoint(pa.rhombus, 91.25, 132.5 * h);
  const PiperPoints pb = PiperPointsOf(PiperPercentOf(WaterB()));
  ExpectPoint(pb.cation, 100, 0);
  ExpectPoint(pb.anion, 220, 0);
  ExpectPoint(pb.rhombus, 160, 120 * h);
}

// Every side of both triangles and of the rhombus is 100 units long.
TEST(PiperGeometry, TrianglesEquilateralAndRhombusOfTheSameSide) {
  const PiperFrame f = PiperFrameCorners();
  const auto side = [](Point p, Point q) { return std::hypot(p.x - q.x, p.y - q.y); };
  for (const Point* shape : {f.cation, f.anion})
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(side(shape[i], shape[(i + 1) % 3]), kSide, kTol);
  for (int i = 0; i < 4; ++i) EXPECT_NEAR(side(f.rhombus[i], f.rhombus[(i + 1) % 4]), kSide, kTol);
  ExpectPoint(f.rhombus[0], 110, 20 * h); // above the gap's middle, the gap's width up the 60° sides
}

// Stiff: Na+K 2, Ca 4, Mg 2 to the left; SO4 2, HCO3+CO3 5, Cl+NO3 1 to the right. One
// scale for A and B: the largest value 10 -> 10; A alone: 5 -> 5 (1, 2, 5 x 10^n).
// Schoeller: log10 of Ca 4, Mg 2, Na+K 2, Cl+NO3 1, SO4 2, HCO3+CO3 5; B has only Na+K
// and Cl+NO3 (log10 10 = 1), spanning with A the decade 1 to 10.
TEST(StiffAndSchoeller, VerticesPointsAndCommonScale) {
  const auto v = StiffVertices(WaterA());
  const double expected[6][2] = {{-2, 0}, {-4, 1}, {-2, 2}, {2, 2}, {5, 1}, {1, 0}};
  for (int i = 0; i < 6; ++i) ExpectPoint(v[i], expected[i][0], expected[i][1]);
  const DiagramSample a = WaterA(), b = WaterB();
  EXPECT_EQ(StiffScale({&a, &b}), 10);
  EXPECT_EQ(StiffScale({&a}), 5);
  EXPECT_EQ(StiffVertices(b)[4].x, 0); // negative alkalinity: none

  const auto s = SchoellerPoints(a);
  const double logs[6] = {std::log10(4.0), std::log10(2.0), std::log10(2.0), 0, std::log10(2.0), std::log10(5.0)};
  for (int i = 0; i < 6; ++i) ExpectPoint(*s[i], i, logs[i]);
  const auto sb = SchoellerPoints(b);
  EXPECT_TRUE(!sb[0] && !sb[1] && sb[2] && sb[3] && !sb[4] && !sb[5]);
  const Decades d = SchoellerDecades({&a, &b});
  EXPECT_EQ(d.low, 0);
  EXPECT_EQ(d.high, 1);
}

// Failed samples, samples without cations or anions and values that are no
// finite numbers are left out and counted; past the first 10000 drawable ones they are counted too.
TEST(SampleSelection, LeftOutAndBeyondCountedInTheCaption) {
  std::vector<DiagramSample> samples(kMostDrawn + 4, WaterA()); // 4 bad, then 10000 + B drawable
  samples.front().failed = true;
  samples[1].ca = samples[1].mg = samples[1].na = samples[1].k = 0;
  samples[2].cl = INFINITY;
  samples[3].so4 = -1;
  samples.push_back(WaterB());
  const Selection s = SelectSamples(samples);
  EXPECT_EQ(s.drawn.size(), kMostDrawn);
  EXPECT_EQ(s.leftOut, 4u);
  EXPECT_EQ(s.beyond, 1u);
  EXPECT_EQ(Caption(DiagramKind::Stiff, s), "Stiff diagram of 10000 samples (meq/L); 4 left out (failed or without "
                                            "cations or anions); 1 more not drawn (the first 10000 are)");
}

// The PNG's width and height from its IHDR chunk.
std::pair<unsigned, unsigned> PngSize(const std::string& png) {
  EXPECT_EQ(png.substr(1, 3), "PNG");
  const auto word = [&png](std::size_t at) {
    unsigned v = 0;
    for (std::size_t i = 0; i < 4; ++i) v = v << 8 | static_cast<unsigned char>(png[at + i]);
    return v;
  };
  return {word(16), word(20)};
}

// Each diagram as SVG is well-formed XML of the figure's size in pixels, which
// rsvg-convert renders to a PNG of that size; drawn as PNG it has that size too.
TEST(DiagramFiles, SvgParsesAndRendersPngOfTheFigureSize) {
  const std::filesystem::path dir = std::filesystem::path(VONTRALEK_TEST_TMP) / "diagram";
  std::filesystem::create_directories(dir);
  const std::vector<DiagramSample> samples = {WaterA(), WaterB()};
  for (const DiagramKind kind : {DiagramKind::Piper, DiagramKind::Stiff, DiagramKind::Schoeller}) {
    const std::string name(DiagramKindName(kind));
    const std::string svg = DrawDiagram(kind, samples, ImageFormat::Svg);
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_string(svg.c_str())) << name;
    const pugi::xml_node root = doc.child("svg");
    const std::string width = root.attribute("width").value(), height = root.attribute("height").value();
    ASSERT_TRUE(width.ends_with("px") && height.ends_with("px")) << width;
    const auto png = PngSize(DrawDiagram(kind, samples, ImageFormat::Png));
    EXPECT_EQ(std::to_string(png.first) + "px", width) << name;
    EXPECT_EQ(std::to_string(png.second) + "px", height) << name;

    const std::filesystem::path in = dir / (name + ".svg"), out = dir / (name + ".png");
    std::ofstream(in, std::ios::binary) << svg;
    std::filesystem::remove(out);
    const std::string command =
        std::string(VONTRALEK_RSVG_CONVERT) + " -o '" + out.string() + "' '" + in.string() + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    std::ifstream rendered(out, std::ios::binary);
    EXPECT_EQ(PngSize(std::string(std::istreambuf_iterator<char>(rendered), {})), png) << name;
  }
}

} // namespace
} // namespace vontralek::diagram
