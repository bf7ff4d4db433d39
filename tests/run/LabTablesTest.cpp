#include <sstream>
#include <string>

#include <gmock/gmock.h>
#include <nlohmann/json.hpp>

#include "TestSupport.h"
#include "run/TableRun.h"
#include "table/Csv.h"

namespace vontralek {
namespace {

using namespace std::string_literals;
using ::testing::AllOf, ::testing::ElementsAre, ::testing::HasSubstr, ::testing::Not;

struct Ran {
  std::string csv;           // the output
  nlohmann::json provenance; // its record
};

// The table mode with the shipped parameters, "<x" counted as x/2, bad rows given their reason.
Ran RunLab(const std::string& csv, TableOptions options = {}) {
  static const TableParameters shipped = LoadTableParameters(std::nullopt);
  options.settings.belowLimit = labdata::BelowLimitPolicy::Half;
  options.settings.onFailure = FailurePolicy::Continue;
  std::istringstream in(csv);
  std::ostringstream out;
  const TableRunSummary summary = RunTable(in, "in.csv", out, options, shipped);
  return {out.str(), nlohmann::json::parse(ProvenanceJson(options, shipped, summary))};
}

// The text after the first line.
std::string Body(const std::string& csv) { return csv.substr(csv.find('\n') + 1); }

// The shipped lab-style example (examples/lab-waters.csv, made by examples/make_lab_example.py) and the same fields
// under canonical names give the same output rows, byte for byte; every row is calculated.
TEST(LabTables, TheLabExampleGivesTheResultsOfTheSameDataInCanonicalColumns) {
  const std::string lab = testing::ReadFile(VONTRALEK_DATA_DIR "/../examples/lab-waters.csv");
  const std::string canonical = "sample,Site,temperature_C,pH,alkalinity_mg_L_as_CaCO3,Ca_mg_L,Mg_mg_L,Na_mg_L,K_mg_L,"
                                "Cl_mg_L,SO4_mg_L,NO3_mg_L_as_N\n" +
                                Body(lab);
  ASSERT_THAT(lab, HasSubstr("Alkalinity (mg/L as CaCO3)"));
  const Ran a = RunLab(lab), b = RunLab(canonical);
  EXPECT_EQ(Body(a.csv), Body(b.csv));
  EXPECT_EQ(std::count(a.csv.begin(), a.csv.end(), '\n'), 6);
  EXPECT_THAT(a.csv, Not(HasSubstr("in.csv line")));                                // no row failed
  EXPECT_EQ(a.provenance["input_columns"]["NO3 (mg/L as N)"], "mg/L as N");         // read as nitrate as N
  EXPECT_EQ(a.provenance["input_columns"]["Temp (°C)"], "degrees C (empty: none)"); // and the temperature
  EXPECT_EQ(a.provenance["ions_not_measured"], nlohmann::json::array());
}

// An ion without a column is not measured: 0, as an empty field; the record names the ions and the columns that were
// not recognised.
TEST(LabTables, AnIonWithoutAColumnCountsAsNotMeasured) {
  const std::string empty = "sample,pH,alkalinity_meq_L,Na_mmol_L,K_mmol_L,Ca_mmol_L,Mg_mmol_L,Cl_mmol_L,NO3_mmol_L,"
                            "SO4_mmol_L\nSN2,6.8,0.895,0.259,,0.26,0.071,0.03,,0.025\n";
  const std::string missing = "sample,pH,alkalinity_meq_L,Na_mmol_L,Kalium mg,Ca_mmol_L,Mg_mmol_L,Cl_mmol_L,"
                              "SO4_mmol_L\nSN2,6.8,0.895,0.259,0.04,0.26,0.071,0.03,0.025\n";
  const Ran a = RunLab(empty), b = RunLab(missing);
  const std::string resultsA = Body(a.csv), resultsB = Body(b.csv);
  // The same results after the inputs (the "Kalium mg" field passes through, the two empty fields are gone).
  EXPECT_EQ(resultsA.substr(resultsA.find("0.025,")), resultsB.substr(resultsB.find("0.025,")));
  EXPECT_THAT(resultsB, HasSubstr(",ok\n"));
  EXPECT_THAT(b.provenance["ions_not_measured"], ElementsAre("K", "NO3"));
  EXPECT_THAT(b.provenance["columns_not_recognised"], ElementsAre("Kalium mg"));
}

// Text fields that a spreadsheet would run as formulas are written with an apostrophe, the header's too, unless raw
// text is asked for; numbers stay numbers. A NUL byte is refused, naming its line and column.
TEST(LabTables, FormulasInTextAreDefusedAndNulIsRefused) {
  const std::string csv =
      "sample,=note,pH,alkalinity_meq_L,Na_mmol_L\n\"=HYPERLINK(\"\"http://x\"\")\",@SUM(A1),6.8,0.895,-0\n";
  const std::string safe = RunLab(csv).csv;
  EXPECT_THAT(safe, AllOf(HasSubstr("sample,'=note,pH"), HasSubstr("\"'=HYPERLINK(\"\"http://x\"\")\",'@SUM(A1),6.8"),
                          HasSubstr(",-0,")));
  TableOptions raw;
  raw.rawText = true;
  EXPECT_THAT(RunLab(csv, raw).csv, AllOf(HasSubstr("sample,=note,pH"), HasSubstr(",@SUM(A1),")));
  EXPECT_THAT([] { RunLab("sample,pH,alkalinity_meq_L\na,7,1\nb\0c,7,1\n"s); },
              ::testing::ThrowsMessage<table::CsvError>(
                  AllOf(HasSubstr("in.csv line 3, column 1 (sample)"), HasSubstr("NUL"))));
}

// Nothing stored chooses the model: the table mode runs the ion-association model, and its record says so.
TEST(LabTables, TheTableModeDefaultsToTheIonAssociationModel) {
  const std::string csv = "pH,alkalinity_meq_L,Na_mmol_L,Ca_mmol_L,SO4_mmol_L\n8.22,2.37541,479.15,10.5241,28.8817\n";
  TableOptions ionAssociation, specified;
  ionAssociation.settings.model = SpeciationModel::IonAssociation;
  specified.settings.model = SpeciationModel::AsSpecified;
  const Ran byDefault = RunLab(csv);
  EXPECT_EQ(byDefault.csv, RunLab(csv, ionAssociation).csv);
  EXPECT_NE(byDefault.csv, RunLab(csv, specified).csv);
  EXPECT_EQ(byDefault.provenance["model"], "ion association");
}

} // namespace
} // namespace vontralek
