// The value rules every reader of a cell relies on: empty is 0, a number is
// itself, numeric text is converted, any other text is a type mismatch that
// names the worksheet, the cell and the text.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "model/Errors.h"
#include "workbook/MemoryWorkbook.h"
#include "workbook/Workbook.h"

namespace vontralek::workbook {
namespace {

TEST(CellAddress, ColumnLettersRollOverAtZ) {
  // Bijective base 26: Z = 26, AA = 27, AZ = 52, BA = 53, CA = 79 (the last
  // batch result column), XFD = 16384 (the last column of a sheet).
  EXPECT_EQ(CellAddress(1, 1), "A1");
  EXPECT_EQ(CellAddress(5, 16), "P5");
  EXPECT_EQ(CellAddress(1, 26), "Z1");
  EXPECT_EQ(CellAddress(1, 27), "AA1");
  EXPECT_EQ(CellAddress(2, 52), "AZ2");
  EXPECT_EQ(CellAddress(2, 53), "BA2");
  EXPECT_EQ(CellAddress(1001, 79), "CA1001");
  EXPECT_EQ(CellAddress(1048576, 16384), "XFD1048576");
}

TEST(ParseDecimal, AcceptsDecimalNumbersOnly) {
  double v = -1;
  EXPECT_TRUE(ParseDecimal("7.25", v));
  EXPECT_EQ(v, 7.25);
  EXPECT_TRUE(ParseDecimal("  -0.5e-3 ", v));
  EXPECT_EQ(v, -0.0005);
  EXPECT_TRUE(ParseDecimal("+12", v));
  EXPECT_EQ(v, 12.0);
  EXPECT_TRUE(ParseDecimal(".5", v));
  EXPECT_EQ(v, 0.5);
  // 0.1 must be the double nearest to 1/10, as any correct reader gives it.
  EXPECT_TRUE(ParseDecimal("0.1", v));
  EXPECT_EQ(v, 1.0 / 10.0);

  for (const char* bad :
       {"", " ", "nan", "NaN", "inf", "-infinity", "0x1p3", "7,25", "1e400", "1.2.3", "12abc", "e5", "--1", "nd"}) {
    double untouched = 42;
    EXPECT_FALSE(ParseDecimal(bad, untouched)) << bad;
    EXPECT_EQ(untouched, 42) << bad;
  }
}

TEST(NumberValue, EmptyNumberAndNumericText) {
  MemoryWorkbook book;
  MemoryWorksheet& sheet = book.Sheet(2);
  sheet.Put(2, 3, CellValue::Number(4.2));
  sheet.Put(2, 4, CellValue::Text("1.5"));
  EXPECT_EQ(sheet.NumberValue(2, 2), 0.0); // never written: empty
  EXPECT_EQ(sheet.NumberValue(2, 3), 4.2);
  EXPECT_EQ(sheet.NumberValue(2, 4), 1.5);
}

TEST(NumberValue, OtherTextIsATypeMismatchNamingSheetCellAndText) {
  MemoryWorkbook book;
  MemoryWorksheet& sheet = book.Sheet(2);
  sheet.Put(7, 30, CellValue::Text("n.d."));
  try {
    sheet.NumberValue(7, 30);
    FAIL() << "no error";
  } catch (const TypeMismatchError& e) {
    const std::string message = e.what();
    EXPECT_NE(message.find("worksheet 2"), std::string::npos) << message;
    EXPECT_NE(message.find("\"Batch\""), std::string::npos) << message;
    EXPECT_NE(message.find("AD7"), std::string::npos) << message; // column 30 = AD
    EXPECT_NE(message.find("\"n.d.\""), std::string::npos) << message;
  }
  // A type mismatch is a workbook error, so callers may catch either.
  sheet.Put(1, 1, CellValue::Text("#DIV/0!"));
  EXPECT_THROW(sheet.NumberValue(1, 1), WorkbookError);
}

TEST(CellValue, EqualityWithTextIsExact) {
  EXPECT_TRUE(CellValue::Text("nd").EqualsText("nd"));
  EXPECT_FALSE(CellValue::Text("ND").EqualsText("nd"));
  EXPECT_FALSE(CellValue::Text("nd ").EqualsText("nd"));
  EXPECT_FALSE(CellValue::Empty().EqualsText(""));
  EXPECT_FALSE(CellValue::Number(0).EqualsText("0"));
  EXPECT_TRUE(CellValue::Empty().IsEmpty());
  EXPECT_FALSE(CellValue::Text("").IsEmpty());
}

} // namespace
} // namespace vontralek::workbook
