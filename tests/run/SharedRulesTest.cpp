// The rules every layer shares, each tested where it lives, and each layer tested to use it: the temperature range and
// its reason, the place of a cell in messages, the matching of typed words.
#include <gmock/gmock.h>

#include <cmath>
#include <limits>
#include <string>

#include "common/TemperatureRange.h"
#include "common/Words.h"
#include "layout/SettingsLoading.h"
#include "run/RowReader.h"
#include "run/SampleTemperature.h"
#include "run/TableError.h"
#include "run/TableOptions.h"
#include "workbook/MemoryWorkbook.h"
#include "workbook/Places.h"

namespace vontralek {
namespace {

using ::testing::HasSubstr, ::testing::ThrowsMessage;
using workbook::CellValue;

TEST(TemperatureRange, LiquidWaterFromZeroTo100DegreesEndsIncluded) {
  for (const double in : {0.0, -0.0, 100.0, 25.0}) EXPECT_TRUE(InWaterRange(in)) << in;
  for (const double out : {std::nextafter(0.0, -1.0), std::nextafter(100.0, 200.0),
                           std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity()})
    EXPECT_FALSE(InWaterRange(out)) << out;
}

// Every layer that reads a temperature refuses 150 °C with the same reason.
TEST(TemperatureRange, EveryLayerGivesTheSameReason) {
  const std::string reason = "outside 0 to 100 °C, the range of liquid water that the temperature data cover";
  EXPECT_EQ(OutsideWaterRange(), reason);

  workbook::MemoryWorkbook settingsBook;
  settingsBook.Sheet(4).Put(29, 5, CellValue::Number(150)); // E29 "Temperature"
  EXPECT_THAT([&] { LoadRunSettings(settingsBook); },
              ThrowsMessage<WorkbookError>(HasSubstr("cell E29 (\"Temperature\") holds 150 °C, " + reason)));

  RunSettings perSample;
  perSample.temperature = TemperatureSource::PerSample;
  workbook::MemoryWorksheet batch("Batch", 2);
  batch.Put(4, 84, CellValue::Number(150)); // CF4: sample 3
  EXPECT_THAT(
      [&] { SampleTemperatureC(perSample, batch, DataSheet::Batch, 4); },
      ThrowsMessage<SampleFailure>(::testing::StrEq("Worksheet 2 (\"Batch\"), cell CF4 (the sample's temperature): "
                                                    "the temperature 150 °C is " +
                                                    reason + "; give the water's temperature in °C")));

  RunSettings fixed;
  fixed.temperature = TemperatureSource::Fixed;
  fixed.temperatureC = 150;
  const std::vector<std::string> header{"pH", "alkalinity_meq_L"};
  const table::InputColumns columns = table::ReadInputColumns(header, "t.csv");
  EXPECT_THAT([&] { RowReader(header, columns, table::PairColumns::AlkalinityPH, fixed, TableParameters{}); },
              ThrowsMessage<TableError>(HasSubstr("150 °C given for every row is " + reason + ": ")));
}

TEST(Places, AWorksheetAndACellAsEveryMessageNamesThem) {
  EXPECT_EQ(workbook::SheetPlace(3, "Constants"), "Worksheet 3 (\"Constants\")");
  EXPECT_EQ(workbook::CellPlace(2, "Batch", 5, 11), "Worksheet 2 (\"Batch\"), cell K5");
  const workbook::MemoryWorksheet sheet("Ma\nin", 1);
  // The name as messages show text: a control character escaped.
  EXPECT_EQ(workbook::CellPlace(sheet, 1048576, 16384), "Worksheet 1 (\"Ma\\nin\"), cell XFD1048576");
}

TEST(Words, BlanksAroundAndTheCaseOfAToZDoNotCount) {
  EXPECT_EQ(TrimBlanks(" \tper sample\t "), "per sample");
  EXPECT_EQ(TrimBlanks(" \t "), "");
  EXPECT_EQ(TrimBlanks("\nx"), "\nx"); // only spaces and tabs are blanks
  EXPECT_TRUE(SameWord("  Per SAMPLE\t", "per sample"));
  EXPECT_FALSE(SameWord("per  sample", "per sample"));
  EXPECT_TRUE(SameLetters(".CSV", ".csv"));
  EXPECT_FALSE(SameLetters(" .csv", ".csv")); // SameLetters does not trim
  EXPECT_FALSE(SameLetters(".cs", ".csv"));
  EXPECT_FALSE(SameLetters("[", "{"));               // only A to Z fold: not by the bit 0x20
  EXPECT_FALSE(SameLetters("\xC3\x89", "\xC3\xA9")); // É and é: UTF-8 bytes are not folded
}

} // namespace
} // namespace vontralek
