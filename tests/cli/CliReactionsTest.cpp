// The reactions and the mixtures on the command line: each value in its column against PHREEQC 3.8.8
// (tests/speciation/data/reference-reactions.csv: the example waters at 15 and 25 °C, with calcite, with CO2 at
// 10^-3.4 atm, at 10 °C, and two mixtures), a reaction that cannot be solved, and mixing two tables.

#include <gmock/gmock.h>

#include <cmath>
#include <fstream>
#include <map>
#include <sstream>

#include <fmt/format.h>

#include "TestSupport.h"
#include "cli/Cli.h"
#include "table/Csv.h"

namespace vontralek {
namespace {

using namespace testing;
using ::testing::HasSubstr;
using Row = std::map<std::string, std::string>;
namespace fs = std::filesystem;

double N(const Row& row, const std::string& name) { return std::stod(row.at(name)); }

// PHREEQC's row of a case ("calcite", "co2", "t10_from15", "mix:...") for a water at a temperature ("1.5", "2.5").
const Row& Phreeqc(const std::string& which, const std::string& id, const std::string& temperature) {
  static const std::vector<Row> rows =
      CsvRecords(ReadFile(VONTRALEK_DATA_DIR "/../tests/speciation/data/reference-reactions.csv"));
  for (const Row& row : rows)
    if (row.at("case") == which && row.at("id") == id && row.at("temp_C").starts_with(temperature)) return row;
  throw std::runtime_error("no reference row " + which + " " + id);
}

constexpr const char* kHeader = "sample,temperature_C,pH,alkalinity_meq_L,Na_mmol_L,K_mmol_L,Ca_mmol_L,Mg_mmol_L,"
                                "Cl_mmol_L,NO3_mmol_L,SO4_mmol_L";
// data/example-waters.csv's waters, at temperature.
std::string Water(const std::string& id, const std::string& temperature) {
  static const std::map<std::string, std::string> waters = {
      {"SW", "8.22,2.37541,479.15,10.4425,10.5241,54.372,558.433,0.004785,28.8817"},
      {"MR", "7.55,4.07674,0.0199395,0.0199395,1.19637,1.00695,0.0199395,0,0.159516"},
      {"MY", "6.61,4.8526,31.7781,2.53109,11.2404,4.52407,17.7874,0,19.7903"},
      {"RIV", "7.5,0.95711,0.274032,0.0588265,0.37427,0.16869,0.22001,0.016128,0.116594"}};
  return id + "," + temperature + "," + waters.at(id) + "\n";
}

struct Outcome {
  int status;
  std::string out, err;
};
Outcome Cli(const std::vector<std::string>& args) {
  std::ostringstream out, err;
  cli::CliEnvironment env{fs::path(VONTRALEK_TEST_TMP), false, nullptr, nullptr};
  const int status = cli::RunCli(args, out, err, env);
  return {status, out.str(), err.str()};
}

fs::path Write(const fs::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
  return path;
}

// Seawater at 15 °C, evaluated at its own temperature (row 1) and at 10 °C (row 2, its evaluation_temperature_C).
TEST(CliReactions, EachResultInItsColumnAsPhreeqcHasIt) {
  const fs::path folder = EmptyFolder("reactions");
  const std::string line = Water("SW", "15");
  const fs::path in =
      Write(folder / "in.csv", std::string(kHeader) + ",evaluation_temperature_C\n" + line.substr(0, line.size() - 1) +
                                   ",\n" + line.substr(0, line.size() - 1) + ",10\n");
  const fs::path out = folder / "out.csv";
  const Outcome o = Cli({in, "--calcite-saturation", "--equilibrium-pco2", fmt::format("{}", std::pow(10.0, -3.4)),
                         "--no-saturation-indices", "--no-water-quality", "-o", out});
  ASSERT_EQ(o.status, 0) << o.err;
  const std::vector<Row> rows = CsvRecords(ReadFile(out));
  const Row &own = rows.at(0), &at10 = rows.at(1);
  const Row &calcite = Phreeqc("calcite", "SW", "1.5"), &co2 = Phreeqc("co2", "SW", "1.5"),
            &water = Phreeqc("speciate", "SW", "1.5"), &cooled = Phreeqc("t10_from15", "SW", "1.0");
  const double dic = N(water, "tot_C") * 1000.0; // mmol/L
  EXPECT_NEAR(N(own, "DIC_mmol_L"), dic, 1e-6 * dic);
  EXPECT_NEAR(N(own, "pH_evaluation"), 8.22, 1e-9); // at its own temperature: the water's own pH
  EXPECT_NEAR(N(own, "pHC"), N(calcite, "pH"), 1e-6);
  // Calcite precipitated (PHREEQC) is the capacity with its sign turned; mg/L as CaCO3: x 100.086 g/mol, CCPP = -D.
  const double capacity = -N(calcite, "calcite_precipitated_mol") * 1000.0;
  EXPECT_NEAR(N(own, "calcite_dissolution_capacity_mmol_L"), capacity, 1e-6 * std::fabs(capacity));
  EXPECT_NEAR(N(own, "calcite_dissolution_capacity_mg_L_as_CaCO3"),
              N(own, "calcite_dissolution_capacity_mmol_L") * 100.086, 1e-12);
  EXPECT_NEAR(N(own, "CCPP_mg_L_as_CaCO3"), -N(own, "calcite_dissolution_capacity_mmol_L") * 100.086, 1e-12);
  EXPECT_GT(N(own, "CCPP_mg_L_as_CaCO3"), 0.0); // seawater deposits calcite
  EXPECT_NEAR(N(own, "pH_CO2_equilibrium"), N(co2, "pH"), 1e-6);
  EXPECT_NEAR(N(own, "DIC_CO2_equilibrium_mmol_L"), N(co2, "tot_C") * 1000.0, 1e-6 * dic);
  EXPECT_NEAR(N(own, "SI_calcite_CO2_equilibrium"), N(co2, "SI_Calcite"), 1e-6);
  EXPECT_NEAR(N(own, "CO2_degassed_mmol_L"), N(co2, "CO2_degassed_mol") * 1000.0, 1e-6 * dic);
  EXPECT_NEAR(N(at10, "pH_evaluation"), N(cooled, "pH"), 1e-6);
  EXPECT_NEAR(N(at10, "SI_calcite_evaluation"), N(cooled, "SI_Calcite"), 1e-6);
  EXPECT_THAT(ReadFile(out.string() + ".json"), HasSubstr("evaluated at column evaluation_temperature_C"));
}

// Without the solubility product of calcite (log K of constant 5, F5 of worksheet 3, left out) the speciation runs
// but the calcite equilibrium cannot: each row fails with its reason, the run goes on with --keep-going.
TEST(CliReactions, AReactionThatCannotBeSolvedFailsItsRow) {
  const fs::path folder = EmptyFolder("unsolved");
  MemoryWorkbook wb;
  FillDefaultParameters(wb);
  wb.Sheet(3).Put(5, 6, Num(0.0));
  const std::string book = folder / "constants.xlsx";
  WriteXlsx(book, wb);
  const fs::path in = Write(folder / "in.csv", std::string(kHeader) + "\n" + Water("SW", "") + Water("RIV", ""));
  const Outcome kept = Cli({in, "--constants", book, "--calcite-saturation", "--keep-going", "-o", folder / "a.csv"});
  EXPECT_EQ(kept.status, 1);
  const std::vector<Row> rows = CsvRecords(ReadFile(folder / "a.csv"));
  ASSERT_EQ(rows.size(), 2u);
  for (int line : {2, 3})
    EXPECT_THAT(rows.at(line - 2).at("status"),
                AllOf(HasSubstr(fmt::format("in.csv line {}: the sample could not be calculated: bringing the water "
                                            "to equilibrium with calcite: ",
                                            line)),
                      HasSubstr("solubility product")));
  const Outcome stopped = Cli({in, "--constants", book, "--calcite-saturation", "-o", folder / "b.csv"});
  EXPECT_EQ(stopped.status, 1);
  EXPECT_THAT(stopped.err, AllOf(HasSubstr("in.csv line 2"), HasSubstr("The run stopped there")));
}

// SW and RIV (0.1 and 0.9), MR and MY (0.5 each; MY found by its name) at 25 °C, as PHREEQC mixed them.
TEST(CliReactions, MixturesOfTwoTablesAsPhreeqcHasThem) {
  const fs::path folder = EmptyFolder("mix");
  const fs::path a = Write(folder / "a.csv", std::string(kHeader) + "\n" + Water("SW", "25") + Water("MR", "25"));
  const fs::path b = Write(folder / "b.csv", std::string(kHeader) + "\n" + Water("RIV", "25") + Water("MY", "25"));
  const fs::path first = folder / "first.csv", second = folder / "second.csv";
  ASSERT_EQ(Cli({"mix", a, b, "--fraction", "0.1", "-o", first}).status, 0);
  const Outcome named = Cli({"mix", a, b, "--fraction", "0.5", "--with", "MY", "-o", second});
  ASSERT_EQ(named.status, 0) << named.err;
  const std::vector<Row> firstRows = CsvRecords(ReadFile(first)), secondRows = CsvRecords(ReadFile(second));
  const Row &swRiv = firstRows.at(0), &mrMy = secondRows.at(1);
  for (const auto& [got, id, name] :
       {std::tuple{&swRiv, "mix:SW0.1+RIV0.9", "SW + RIV"}, {&mrMy, "mix:MR0.5+MY0.5", "MR + MY"}}) {
    const Row& want = Phreeqc(id, id == std::string("mix:SW0.1+RIV0.9") ? "SW+RIV" : "MR+MY", "2.5");
    EXPECT_EQ(got->at("sample"), name);
    EXPECT_NEAR(N(*got, "pH"), N(want, "pH"), 1e-6) << id;
    EXPECT_NEAR(N(*got, "SI_calcite"), N(want, "SI_Calcite"), 1e-6) << id;
    for (const auto& [ours, theirs] : {std::pair{"DIC_mmol_L", "tot_C"},
                                       {"alkalinity_meq_L", "alk_eq_kgw"},
                                       {"pCO2_atm", "pCO2"},
                                       {"ionic_strength_mmol_L", "I"},
                                       {"Ca_mmol_L", "Ca"}}) {
      const double scale = std::string(theirs) == "pCO2" ? 1.0 : 1000.0;
      EXPECT_NEAR(N(*got, ours), N(want, theirs) * scale, 1e-6 * N(want, theirs) * scale) << id << " " << ours;
    }
  }
  const fs::path one = Write(folder / "one.csv", std::string(kHeader) + "\n" + Water("RIV", "25"));
  EXPECT_THAT(Cli({"mix", a, one, "--fraction", "0.5"}).err,
              AllOf(HasSubstr(a.string() + " has 2 rows and " + one.string() + " has 1")));
  EXPECT_EQ(Cli({"mix", a, b, "--fraction", "1.5"}).status, 2);
}

} // namespace
} // namespace vontralek
