#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <sstream>

#include "TestSupport.h"
#include "run/Run.h"
#include "run/TableRun.h"
#include "table/Csv.h"

namespace vontralek {
namespace {

using testing::Analysis;
using testing::kRecharge;
using testing::kSeawater;
using testing::kSpring;
using testing::With;
const std::vector<Analysis> kWaters{kSeawater, kSpring, kRecharge, kSpring, kSeawater};

std::string Text(double v) {
  char buffer[32];
  return std::string(buffer, std::to_chars(buffer, buffer + sizeof buffer, v).ptr);
}

// One line per water, an ion not determined ("nd") where it is 0, as on the Batch sheet.
std::string Csv(const std::vector<Analysis>& waters) {
  std::string csv =
      "sample,pH,alkalinity_meq_L,Na_mmol_L,K_mmol_L,Ca_mmol_L,Mg_mmol_L,Cl_mmol_L,NO3_mmol_L,SO4_mmol_L\n";
  for (std::size_t i = 0; i < waters.size(); ++i) {
    csv.append("w").append(std::to_string(i));
    for (std::size_t k = 0; k < 9; ++k) csv.append(",").append(k >= 2 && waters[i][k] == 0 ? "nd" : Text(waters[i][k]));
    csv.append("\n");
  }
  return csv;
}

struct Table {
  std::vector<std::string> header;
  std::vector<std::vector<std::string>> rows;
};

Table Read(const std::string& text) {
  std::istringstream in(text);
  table::CsvReader reader(in, "out");
  Table t{reader.Header(), {}};
  for (std::vector<std::string> fields; reader.Next(fields);) t.rows.push_back(fields);
  return t;
}

const TableParameters& Shipped() {
  static const TableParameters parameters = LoadTableParameters(std::nullopt);
  return parameters;
}

TableOptions Options(SpeciationModel model, int threads, bool keepGoing = false) {
  TableOptions options;
  options.settings.model = model;
  options.settings.onFailure = keepGoing ? FailurePolicy::Continue : FailurePolicy::Stop;
  options.threads = threads;
  return options;
}
const TableOptions kSpecified = Options(SpeciationModel::AsSpecified, 2);

// The output so far, and the error's message if the run stopped.
std::string RunCsv(const std::string& csv, const TableOptions& options, std::string* error = nullptr) {
  std::istringstream in(csv);
  std::ostringstream out;
  try {
    RunTable(in, "in.csv", out, options, Shipped());
  } catch (const TableError& e) {
    if (error == nullptr) throw;
    *error = e.what();
  }
  return out.str();
}

double Number(const std::string& text) {
  double v = std::nan("");
  std::from_chars(text.data(), text.data() + text.size(), v);
  return v;
}

// The same waters on a workbook's Batch sheet, run as the workbook batch
// (the state carried from sample to sample), optionally at E29 °C.
workbook::MemoryWorkbook WorkbookBatch(const std::vector<Analysis>& waters, SpeciationModel model,
                                       double celsius = -1) {
  workbook::MemoryWorkbook wb;
  testing::FillDefaultParameters(wb);
  if (celsius >= 0) wb.Sheet(4).Put(29, 5, workbook::CellValue::Number(celsius));
  for (std::size_t i = 0; i < waters.size(); ++i) {
    wb.Sheet(2).Put(static_cast<int>(i) + 2, 1, testing::Text("w"));
    testing::PutAnalysis(wb.Sheet(2), static_cast<int>(i) + 2, 2, waters[i]);
  }
  ModelState state;
  state.SheetMode = DataSheet::Batch;
  state.InputPair = CarbonatePair::AlkalinityPH;
  RunOptions options;
  options.model = model;
  RunCalculation(state, wb, nullptr, nullptr, options);
  return wb;
}

// The largest relative difference of a table row's results (after `inputs`
// columns; the input pH not repeated) from the Batch row's K:R and T:CA.
double LargestDifference(const Table& t, workbook::MemoryWorkbook& wb, std::size_t row, std::size_t inputs = 10) {
  double largest = 0;
  for (std::size_t r = 0; r < 69; ++r) {
    if (r == table::ResultPH) continue;
    const std::size_t field = inputs + r - (r > table::ResultPH ? 1 : 0);
    const double table = Number(t.rows[row][field]);
    const workbook::CellValue cell = wb.Sheet(2).Value(static_cast<int>(row) + 2, 11 + static_cast<int>(r));
    const double batch = cell.kind == workbook::CellValue::Kind::Number ? cell.number : std::nan("");
    EXPECT_EQ(std::isnan(table), std::isnan(batch)) << t.header[field] << " row " << row;
    if (table != batch && !std::isnan(batch)) largest = std::max(largest, std::abs(table - batch) / std::abs(batch));
  }
  return largest;
}

TEST(TableRun, ExampleWatersAgreeWithTheWorkbookBatch) {
  // The ion-association model starts each sample afresh in both runs: equal
  // to 1e-12 relative (measured: 9e-16). The specified model's batch carries
  // the previous sample's state into the next solve: its first sample is
  // bit-identical, later ones agree to the solver's convergence (measured:
  // 1.3e-11 relative at most, seawater after the spring).
  for (const SpeciationModel model : {SpeciationModel::IonAssociation, SpeciationModel::AsSpecified}) {
    SCOPED_TRACE(static_cast<int>(model));
    const Table t = Read(RunCsv(Csv(kWaters), Options(model, 2)));
    workbook::MemoryWorkbook wb = WorkbookBatch(kWaters, model);
    ASSERT_EQ(t.rows.size(), kWaters.size());
    EXPECT_EQ(LargestDifference(t, wb, 0), 0.0);
    for (std::size_t row = 1; row < kWaters.size(); ++row) {
      EXPECT_LE(LargestDifference(t, wb, row), model == SpeciationModel::IonAssociation ? 1e-12 : 1e-9) << row;
      EXPECT_EQ(t.rows[row].back(), "ok");
    }
  }
}

TEST(TableRun, ARowsResultDependsNeitherOnItsPositionNorOnTheThreads) {
  // Rows 1 and 3, 0 and 4 are the same water: equal text wherever they stand.
  for (const int threads : {1, 2, 3}) {
    const Table t = Read(RunCsv(Csv(kWaters), Options(SpeciationModel::AsSpecified, threads)));
    for (const auto& [a, b] : {std::pair{1, 3}, {0, 4}})
      EXPECT_TRUE(std::equal(t.rows[a].begin() + 1, t.rows[a].end(), t.rows[b].begin() + 1)) << threads;
  }
  // Many rows through small chunks on two threads: the output is the one-thread output, row for row.
  std::vector<Analysis> many;
  for (int i = 0; i < 2000; ++i) many.push_back(kWaters[static_cast<std::size_t>(i * 7 % 5)]);
  EXPECT_EQ(RunCsv(Csv(many), kSpecified), RunCsv(Csv(many), Options(SpeciationModel::AsSpecified, 1)));
}

TEST(TableRun, ABadRowStopsTheRunOrGetsItsReasonWhenKeepingGoing) {
  // Line 3: Ca "1,2" quoted, a decimal comma. Line 4: pH 10.5 with 0.2 meq/L,
  // more hydroxide (Kw / 10^-10.5 = 0.32 meq/L) than alkalinity: no speciation.
  std::string csv = Csv({kSpring, kRecharge, With(kSpring, 10.5, 0.2), kSeawater});
  csv.replace(csv.find("1.19637"), 7, "\"1,2\"");
  std::string error;
  const Table before = Read(RunCsv(csv, kSpecified, &error));
  EXPECT_NE(error.find("in.csv line 3, column 6 (Ca_mmol_L): \"1,2\" is not a number"), std::string::npos) << error;
  ASSERT_EQ(before.rows.size(), 1u); // the row before it was written
  EXPECT_EQ(before.rows[0].back(), "ok");

  const Table kept = Read(RunCsv(csv, Options(SpeciationModel::AsSpecified, 2, true)));
  const Table good = Read(RunCsv(Csv({kSpring, kSpring, kSpring, kSeawater}), kSpecified));
  ASSERT_EQ(kept.rows.size(), 4u);
  EXPECT_EQ(kept.rows[0], good.rows[0]);
  EXPECT_EQ(kept.rows[3], good.rows[3]);
  EXPECT_NE(kept.rows[1].back().find("line 3, column 6 (Ca_mmol_L)"), std::string::npos);
  EXPECT_NE(kept.rows[2].back().find("in.csv line 4: the sample could not be calculated"), std::string::npos);
  for (const std::size_t r : {1, 2})
    EXPECT_TRUE(std::all_of(kept.rows[r].begin() + 10, kept.rows[r].end() - 1, [](auto& f) { return f.empty(); }));
}

TEST(TableRun, UnitsOfTheColumnsAreConverted) {
  // The spring in mg/L (mmol/L x molar mass: Na 22.990, K 39.098, Ca 40.078,
  // Mg 24.305, Cl 35.45, SO4 96.056), nitrate as mg/L N (x 14.007) and the
  // alkalinity as mg/L CaCO3 (meq/L x 100.086 / 2): the same water, to rounding.
  const double spring[] = {0.895 * 100.086 / 2, 0.259 * 22.990, 0.04 * 39.098, 0.26 * 40.078,
                           0.071 * 24.305,      0.03 * 35.45,   0.01 * 14.007, 0.025 * 96.056};
  std::string mg = "pH,alkalinity_mg_L_as_CaCO3,Na_mg_L,K_mg_L,Ca_mg_L,Mg_mg_L,Cl_mg_L,NO3_mg_L_as_N,SO4_mg_L\n6.8";
  for (const double v : spring) mg.append(",").append(Text(v));
  const Table a = Read(RunCsv(mg + "\n", kSpecified));
  Analysis nitrate = kSpring;
  nitrate[7] = 0.01;
  const Table b = Read(RunCsv(Csv({nitrate}), kSpecified));
  for (std::size_t r = 0; r + 1 < table::ResultColumnCount - 1; ++r) {
    const double x = Number(a.rows[0][9 + r]), y = Number(b.rows[0][10 + r]);
    EXPECT_TRUE(std::isnan(y) || std::abs(x - y) <= 1e-12 * std::abs(y)) << a.header[9 + r] << " " << x;
  }
}

TEST(TableRun, TheTemperatureColumnGivesEachRowItsOwnAsTheWorkbookDoes) {
  // 10 °C, empty (none), 150 °C: the first row is the workbook batch's first
  // sample at E29 = 10 bit for bit, the second the row without a
  // temperature, the third fails naming its column.
  std::istringstream lines(Csv({kSeawater, kSpring, kRecharge}));
  std::string csv;
  for (const char* temperature : {"temperature_C", "10", "", "150"}) {
    std::string line;
    std::getline(lines, line);
    csv += line + "," + temperature + "\n";
  }
  const Table t = Read(RunCsv(csv, Options(SpeciationModel::IonAssociation, 2, true)));
  workbook::MemoryWorkbook wb = WorkbookBatch({kSeawater}, SpeciationModel::IonAssociation, 10);
  EXPECT_EQ(LargestDifference(t, wb, 0, 11), 0.0);
  const Table plain = Read(RunCsv(Csv({kSeawater, kSpring}), Options(SpeciationModel::IonAssociation, 1)));
  EXPECT_TRUE(std::equal(t.rows[1].begin() + 11, t.rows[1].end(), plain.rows[1].begin() + 10));
  EXPECT_NE(t.rows[2].back().find("in.csv line 4, column 11 (temperature_C): the temperature 150 °C is outside"),
            std::string::npos)
      << t.rows[2].back();
}

TEST(TableRun, ShippedDefaultsAreTheShippedWorkbooksConstants) {
  // The compiled-in parameters and those read from the shipped workbook's
  // worksheets 3 and 4: the same state, the same digest.
  const TableParameters fromWorkbook = LoadTableParameters(std::filesystem::path(VONTRALEK_SHIPPED_WORKBOOK));
  EXPECT_TRUE(fromWorkbook.start == Shipped().start);
  EXPECT_EQ(fromWorkbook.digest, Shipped().digest);
  EXPECT_NE(ProvenanceJson(kSpecified, Shipped(), {}).find("\"constants_sha256\": \"" + Shipped().digest + "\""),
            std::string::npos);
  EXPECT_THROW(LoadTableParameters(std::filesystem::path("/nonexistent/book.xlsx")), TableError);
}

} // namespace
} // namespace vontralek
