#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <gmock/gmock.h>

#include "table/BlockOutput.h"
#include "table/Csv.h"

namespace vontralek::table {
namespace {

using ::testing::ElementsAre;

// The shortest text that reads back to v, as the standard library makes it.
std::string Shortest(double v) {
  char text[32];
  return std::string(text, std::to_chars(text, text + sizeof text, v).ptr);
}

std::string RowText(double v, CsvFormat format = {}) {
  CsvRow row(format);
  return row.Number(v), row.Release();
}

TEST(CsvNumbers, TheWritersTextIsTheShortestExactTextOfEveryDouble) {
  // Random bit patterns cover every exponent (subnormals included, about 1 in 2048); integers and powers of ten
  // are where a formatter may choose between fixed and exponent notation.
  using Limits = std::numeric_limits<double>;
  std::vector<double> values{0.0, -0.0, Limits::denorm_min(), Limits::min(), Limits::max(), Limits::infinity()};
  std::mt19937_64 random(20261207);
  for (int i = 0; i < 200000; ++i)
    if (const double v = std::bit_cast<double>(random()); !std::isnan(v)) values.push_back(v);
  for (int i = 0; i < 2000; ++i) values.push_back(std::ldexp(static_cast<double>(random() >> 12), -1074)); // subnormal
  for (std::int64_t n = -100000; n <= 100000; n += 7) values.push_back(static_cast<double>(n));
  for (int e = -323; e <= 308; ++e) values.push_back(std::pow(10.0, e));
  for (const double v : values) {
    const std::string text = Shortest(v);
    ASSERT_EQ(RowText(v), text + "\n") << text;
    // With a decimal comma, the same digits with ',' for '.'.
    std::string comma = text;
    std::replace(comma.begin(), comma.end(), '.', ',');
    ASSERT_EQ(RowText(v, {';', true}), comma + "\n") << text;
  }
}

std::pair<char, bool> detected(std::string_view header) {
  return {DetectFormat(header).delimiter, DetectFormat(header).decimalComma};
}

TEST(CsvFormats, TheHeaderLineTellsTheConvention) {
  EXPECT_EQ(detected("sample;pH;Ca_mg_L"), std::pair(';', true));
  EXPECT_EQ(detected("sample,pH,Ca_mg_L"), std::pair(',', false));
  EXPECT_EQ(detected("\"a;b\",pH"), std::pair(',', false));      // a ';' inside quotes separates nothing
  EXPECT_EQ(detected("\"Ca, total\";pH"), std::pair(';', true)); // nor does a quoted ','
  EXPECT_EQ(detected("sample;pH,x"), std::pair(',', false));     // both: the canonical table
  EXPECT_EQ(detected("sample"), std::pair(',', false));
}

TEST(CsvFormats, SemicolonTablesAreReadAndWrittenInTheirConvention) {
  std::istringstream in("\xEF\xBB\xBFsample;pH\r\n\"a;b\";7,5\nc,d;8\n");
  CsvReader reader(in, "t.csv");
  EXPECT_EQ(reader.Format().delimiter, ';');
  std::vector<std::string> a, b;
  EXPECT_TRUE(reader.Next(a) && reader.Next(b));
  EXPECT_THAT(a, ElementsAre("a;b", "7,5"));
  EXPECT_THAT(b, ElementsAre("c,d", "8"));
  std::string scratch;
  EXPECT_EQ(DecimalPointText("7,5", scratch), "7.5");
  // Told otherwise, the same text is one comma-separated column... of two fields, refused.
  std::istringstream again("sample;pH\na;7,5\n");
  EXPECT_THROW(CsvReader(again, "t.csv", CsvFormat{}).Next(a), CsvError);
  // Written back: the delimiter quoted, commas left alone, numbers with a decimal comma.
  CsvRow row({';', true});
  row.Text("a;b"), row.Text("c,d"), row.Number(-2.5e-12);
  EXPECT_EQ(row.Release(), "\"a;b\";c,d;-2,5e-12\n");
}

// Counts the calls that hand bytes on, as a file's write calls would.
class CountingBuffer : public std::stringbuf {
public:
  std::vector<std::size_t> writes;

protected:
  std::streamsize xsputn(const char* s, std::streamsize n) override {
    writes.push_back(static_cast<std::size_t>(n));
    return std::stringbuf::xsputn(s, n);
  }
};

TEST(BlockOutputs, RowsGoOutInBlocksOfAtLeast64KBAndAllOfThemAtTheEnd) {
  CountingBuffer buffer;
  std::ostream out(&buffer);
  BlockOutput blocks(out);
  std::string expected;
  for (int i = 0; i < 3000; ++i) {
    const std::string row = std::string(static_cast<std::size_t>(200 + i % 1000), 'x') + "\n";
    expected += row;
    ASSERT_TRUE(blocks.Append(row));
  }
  // A last row too short to fill a block waits for Flush.
  expected += "last\n";
  ASSERT_TRUE(blocks.Append("last\n"));
  EXPECT_LT(buffer.str().size(), expected.size());
  ASSERT_TRUE(blocks.Flush());
  EXPECT_EQ(buffer.str(), expected);
  ASSERT_GE(buffer.writes.size(), 2u);
  for (std::size_t i = 0; i + 1 < buffer.writes.size(); ++i) EXPECT_GE(buffer.writes[i], 65536u) << i;
  // A stream that fails is told.
  std::ostream broken(nullptr);
  BlockOutput lost(broken);
  EXPECT_FALSE(lost.Append(std::string(BlockOutput::kBlockSize, 'x')));
}

} // namespace
} // namespace vontralek::table
