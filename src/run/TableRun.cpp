#include "run/TableRun.h"

#include <openssl/evp.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <limits>
#include <sstream>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "labdata/LabUnits.h"
#include "layout/ParameterLoading.h"
#include "layout/PhaseLoading.h"
#include "run/DefaultParameters.h"
#include "run/MineralRun.h"
#include "speciation/Speciation.h"
#include "table/Csv.h"
#include "workbook/Workbook.h"

namespace vontralek {

using table::ColumnUnit;
using table::PairColumns;
using table::Quantity;

namespace {

std::string Lower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower;
}

CarbonatePair ToCarbonatePair(PairColumns pair) {
  switch (pair) {
  case PairColumns::AlkalinityPH:
    return CarbonatePair::AlkalinityPH;
  case PairColumns::AlkalinityPCO2:
    return CarbonatePair::AlkalinityPCO2;
  case PairColumns::BicarbonateCarbonate:
    break;
  }
  return CarbonatePair::BicarbonateCarbonate;
}

const char* PairText(PairColumns pair) {
  switch (pair) {
  case PairColumns::AlkalinityPH:
    return "alkalinity and pH";
  case PairColumns::AlkalinityPCO2:
    return "alkalinity and pCO2";
  case PairColumns::BicarbonateCarbonate:
    break;
  }
  return "HCO3 and CO3";
}

// SHA-256 of the parameters as IEEE doubles (little-endian bytes): log K of
// rows 1..30, then charge and weight of species 1..11, then of complexes 1..24.
std::string ParameterDigest(const ModelState& state) {
  std::vector<double> values;
  for (int i = 1; i <= 30; ++i) values.push_back(state.ConstantTable[i].LogK);
  for (int i = 1; i <= 11; ++i)
    values.insert(values.end(), {state.SpeciesTable[i].Charge, state.SpeciesTable[i].SumWeight});
  for (int i = 1; i <= 24; ++i)
    values.insert(values.end(), {state.ComplexTable[i].Charge, state.ComplexTable[i].SumWeight});
  std::vector<unsigned char> bytes;
  for (double v : values) {
    std::uint64_t bits = 0;
    std::memcpy(&bits, &v, sizeof bits);
    for (int b = 0; b < 8; ++b) bytes.push_back(static_cast<unsigned char>(bits >> (8 * b)));
  }
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_sha256(), nullptr) != 1)
    throw TableError("The SHA-256 of the constants could not be computed (OpenSSL).");
  std::string hex;
  for (unsigned int i = 0; i < length; ++i) hex += fmt::format("{:02x}", digest[i]);
  return hex;
}

labdata::IonUnit IonUnitOf(ColumnUnit unit) {
  switch (unit) {
  case ColumnUnit::MgPerL:
  case ColumnUnit::MgPerLAsN:
    return labdata::IonUnit::MgPerL;
  case ColumnUnit::MeqPerL:
    return labdata::IonUnit::MeqPerL;
  default:
    return labdata::IonUnit::MmolPerL;
  }
}

labdata::AlkalinityUnit AlkalinityUnitOf(ColumnUnit unit) {
  if (unit == ColumnUnit::MgPerLAsCaCO3) return labdata::AlkalinityUnit::MgPerLAsCaCO3;
  if (unit == ColumnUnit::MgPerLAsHCO3) return labdata::AlkalinityUnit::MgPerLAsHCO3;
  return labdata::AlkalinityUnit::MeqPerL;
}

// Species row of an ion quantity (Na 3 .. SO4 9, HCO3 10, CO3 11).
int SpeciesRowOf(Quantity q) {
  switch (q) {
  case Quantity::HCO3:
    return species::Bicarbonate;
  case Quantity::CO3:
    return species::Carbonate;
  default:
    return species::Sodium + (static_cast<int>(q) - static_cast<int>(Quantity::Na));
  }
}

std::string UnitText(const table::ColumnRole& role) {
  switch (role.unit) {
  case ColumnUnit::MmolPerL:
    return "mmol/L";
  case ColumnUnit::MgPerL:
    return "mg/L";
  case ColumnUnit::MeqPerL:
    return "meq/L";
  case ColumnUnit::MgPerLAsN:
    return "mg/L as N";
  case ColumnUnit::MgPerLAsCaCO3:
    return "mg/L as CaCO3";
  case ColumnUnit::MgPerLAsHCO3:
    return "mg/L as HCO3";
  case ColumnUnit::None:
    break;
  }
  if (role.quantity == Quantity::PCO2) return "atm";
  if (role.quantity == Quantity::Temperature) return "degrees C (empty: none)";
  return "pH";
}

} // namespace

SpeciationModel ParseModel(std::string_view text) {
  const std::string lower = Lower(text);
  if (lower == "specified" || lower == "as specified") return SpeciationModel::AsSpecified;
  if (lower == "ion-association" || lower == "ion association") return SpeciationModel::IonAssociation;
  throw TableError("Unknown speciation model \"" + std::string(text) +
                   "\": use \"specified\" (the procedure as specified, the default) or \"ion-association\".");
}

std::string_view ModelText(SpeciationModel model) {
  return model == SpeciationModel::IonAssociation ? "ion-association" : "specified";
}

TableParameters LoadTableParameters(const std::optional<std::filesystem::path>& constants) {
  TableParameters parameters;
  ModelState& start = parameters.start;
  ComputeMachineEpsilon(start);
  start.SheetMode = DataSheet::Batch;
  if (constants) {
    try {
      const std::unique_ptr<workbook::Workbook> book = workbook::OpenWorkbook(*constants);
      LoadParameterTables(start, *book);
      LoadWeightedSumParameters(start, *book);
      parameters.temperatureData = LoadTemperatureTable(start, *book);
      if (HasPhaseTable(*book)) parameters.phases = LoadPhaseTable(*book);
    } catch (const std::exception& error) {
      throw TableError(
          "The constants of " + constants->string() +
          " (log K on worksheet 3, charges and weights on worksheet 4) could not be loaded: " + error.what());
    }
    parameters.constantsSource = constants->string();
  } else {
    LoadDefaultParameters(start);
    LoadDefaultTemperatureData(start);
    parameters.temperatureData = true;
    parameters.constantsSource = "shipped defaults";
    parameters.phases = DefaultPhases();
  }
  std::istringstream masses(
#include "MolarMassesText.inc"
  );
  parameters.masses = labdata::LoadMolarMasses(masses, "the shipped molar masses");
  parameters.digest = ParameterDigest(start);
  return parameters;
}

void SolveTableRows(const TableParameters& parameters, const TableOptions& options, SampleSource& source,
                    ResultSink& sink, TableRunSummary& summary) {
  ModelState start = parameters.start;
  start.InputPair = ToCarbonatePair(summary.pair);
  start.Model = options.settings.model;
  FixedWeightedSum weightedSum(start.AuxTable[WeightedSumRecord].WeightedSum,
                               start.AuxTable[WeightedSumRecord].SumScale);
  PipelineOptions pipeline;
  pipeline.start = StartState::Fresh;
  pipeline.onFailure = options.settings.onFailure;
  pipeline.threads = options.threads;
  const PipelineSummary done = RunPipeline(start, source, sink, weightedSum, pipeline);
  summary.rows = done.rowsWritten;
  summary.failed = done.rowsFailed;
  summary.threads = done.threads;
}

RowReader::RowReader(const std::vector<std::string>& header, const table::InputColumns& columns, PairColumns pair,
                     const RunSettings& settings, const TableParameters& parameters)
    : header_(header), belowLimit_(settings.belowLimit), masses_(parameters.masses), pair_(pair) {
  for (std::size_t q = 0; q < table::QuantityCount; ++q) units_[q] = columns.Unit(static_cast<Quantity>(q));
  const Quantity first[] = {Quantity::PH, Quantity::PCO2, Quantity::CO3};
  const Quantity second[] = {Quantity::Alkalinity, Quantity::Alkalinity, Quantity::HCO3};
  needed_.push_back({first[static_cast<int>(pair)], columns.Index(first[static_cast<int>(pair)]), 0});
  needed_.push_back({second[static_cast<int>(pair)], columns.Index(second[static_cast<int>(pair)]), 1});
  for (Quantity q : {Quantity::Na, Quantity::K, Quantity::Ca, Quantity::Mg, Quantity::Cl, Quantity::NO3, Quantity::SO4})
    needed_.push_back({q, columns.Index(q), SpeciesRowOf(q)});
  for (int n = 1; n <= 11; ++n) charges_[n] = parameters.start.SpeciesTable[n].Charge;
  if (settings.temperature == TemperatureSource::Fixed) {
    const double t = settings.temperatureC;
    if (!(t >= MinTemperatureC && t <= MaxTemperatureC))
      throw TableError(fmt::format("The temperature {} °C given for every row is outside 0 to 100 °C, the range of "
                                   "liquid water that the temperature data cover: give the water's temperature in °C.",
                                   t));
    if (!parameters.temperatureData)
      throw TableError("A temperature is given for every row, but the constants workbook has no temperature data "
                       "(the block \"" +
                       std::string(kTemperatureBlockTitle) +
                       "\" of worksheet 3): add the block, or give no temperature.");
    fixedTemperature_ = t;
  } else
    temperatureColumn_ = columns.Index(Quantity::Temperature);
  temperatureData_ = parameters.temperatureData;
}

double RowReader::Convert(const Needed& need, std::string_view text) const {
  const ColumnUnit unit = units_[static_cast<std::size_t>(need.quantity)];
  std::string_view trimmed = text;
  while (!trimmed.empty() && std::isspace(static_cast<unsigned char>(trimmed.front()))) trimmed.remove_prefix(1);
  while (!trimmed.empty() && std::isspace(static_cast<unsigned char>(trimmed.back()))) trimmed.remove_suffix(1);
  // An ion that was not determined: empty or "nd", counted as 0 as on the Batch sheet.
  if (need.target >= 3 && (trimmed.empty() || trimmed == "nd")) return 0.0;
  if (trimmed.empty())
    throw labdata::LabDataError(labdata::Problem::NotANumber, "the field is empty; the carbonate pair needs a value");
  const bool censored = labdata::IsCensored(trimmed);
  if (censored && (need.quantity == Quantity::PH || need.quantity == Quantity::PCO2))
    throw labdata::LabDataError(labdata::Problem::NotANumber,
                                "\"" + std::string(trimmed) +
                                    "\" is not a number; pH and pCO2 take no detection limit");
  const double value = censored ? labdata::CensoredValue(trimmed, belowLimit_) : labdata::ParseNumber(trimmed);
  if (need.quantity == Quantity::PH || need.quantity == Quantity::PCO2) return value; // pH, atm
  if (need.quantity == Quantity::Alkalinity)
    return labdata::AlkalinityToEqPerL(value, AlkalinityUnitOf(unit), masses_.CaCO3,
                                       masses_.species[species::Bicarbonate]);
  const int row = SpeciesRowOf(need.quantity);
  // Nitrate as mg/L N: divided by the molar mass of nitrogen gives mmol/L of nitrate.
  const double molarMass = unit == ColumnUnit::MgPerLAsN ? masses_.Nitrogen : masses_.species[row];
  return labdata::IonToMolPerL(value, IonUnitOf(unit), molarMass, charges_[row]);
}

void RowReader::Read(const std::function<std::string_view(int)>& field, SampleRow& row) const {
  for (const Needed& need : needed_) {
    const std::string_view text = field(need.column);
    double value = 0.0;
    try {
      value = Convert(need, text);
    } catch (const labdata::LabDataError& error) {
      row.failure = row.place + ", column " + std::to_string(need.column + 1) + " (" + header_[need.column] +
                    "): " + error.what();
      return;
    }
    if (need.target == 0) row.inputs.first = value;
    if (need.target == 1) row.inputs.second = value;
    if (need.target >= 3) row.inputs.ions[need.target] = value;
  }
  row.inputs.temperatureC = fixedTemperature_;
  if (temperatureColumn_ < 0) return;
  const auto fail = [&](const std::string& why) {
    row.failure = row.place + ", column " + std::to_string(temperatureColumn_ + 1) + " (" +
                  header_[static_cast<std::size_t>(temperatureColumn_)] + "): " + why;
  };
  std::string_view text = field(temperatureColumn_);
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.remove_suffix(1);
  if (text.empty()) return; // no temperature for this row: log K at 25 °C
  double celsius = 0.0;
  try {
    celsius = labdata::ParseNumber(text);
  } catch (const labdata::LabDataError& error) {
    return fail(error.what());
  }
  if (!(celsius >= MinTemperatureC && celsius <= MaxTemperatureC))
    return fail("the temperature " + fmt::format("{}", celsius) +
                " °C is outside 0 to 100 °C, the range of liquid water that the temperature data cover");
  if (!temperatureData_)
    return fail("a temperature is given, but the constants workbook has no temperature data (the block \"" +
                std::string(kTemperatureBlockTitle) +
                "\" of worksheet 3); add the block, or leave the column empty for log K at 25 °C");
  row.inputs.temperatureC = celsius;
}

void ExtractResults(const ModelState& s, double* v) {
  constexpr double nan = std::numeric_limits<double>::quiet_NaN();
  const auto defined = [](bool d, double x) { return d ? x : nan; };
  std::size_t i = 0;
  // The Batch row's results, in its units: mol/L -> mmol/L for the ionic
  // strengths and concentrations, SAR in (mmol/L)^0.5.
  v[i++] = s.AuxTable[WeightedSumRecord].WeightedSum;
  v[i++] = s.PCO2;
  v[i++] = s.IonicStrength * 1000.0;
  v[i++] = s.InitialIonicStrength * 1000.0;
  v[i++] = defined(s.LogIapCaSO4Defined, s.LogIapCaSO4);
  v[i++] = defined(s.LogIapCaCO3Defined, s.LogIapCaCO3);
  v[i++] = s.Sar;
  v[i++] = s.SarActivity;
  v[i++] = defined(s.PHDefined || s.InputPair == CarbonatePair::AlkalinityPH, s.PH);
  for (int n = 1; n <= 12; ++n) v[i++] = s.SpeciesTable[n].Gamma;
  for (int n = 1; n <= 12; ++n) v[i++] = defined(s.SpeciesTable[n].LogActivityDefined, s.SpeciesTable[n].LogActivity);
  for (int n = 1; n <= 12; ++n) v[i++] = s.SpeciesTable[n].FreeConc * 1000.0;
  for (int n = 1; n <= 24; ++n) v[i++] = s.ComplexTable[n].FreeConc * 1000.0;
  v[i++] = defined(s.SaturationIndexCalciteDefined, s.SaturationIndexCalcite);
  v[i++] = defined(s.SaturationIndexGypsumDefined, s.SaturationIndexGypsum);
  v[i++] = s.ChargeBalanceError;
}

namespace {

class CsvSource : public SampleSource {
public:
  CsvSource(table::CsvReader& reader, const RowReader& rows) : reader_(reader), rows_(rows) {}
  bool Next(SampleRow& row) override {
    if (!reader_.Next(row.fields)) return false;
    row.place = reader_.Source() + " line " + std::to_string(reader_.RecordLine());
    rows_.Read([&row](int i) { return std::string_view(row.fields[static_cast<std::size_t>(i)]); }, row);
    return true;
  }

private:
  table::CsvReader& reader_;
  const RowReader& rows_;
};

class CsvSink : public ResultSink {
public:
  CsvSink(std::ostream& out, PairColumns pair, const RunSettings& minerals)
      : out_(out), pair_(pair), minerals_(minerals), mineralCount_(MineralColumnNames(minerals).size()) {}
  void Prepare(SampleRow& row, const ModelState* solved) override {
    table::CsvRow text;
    for (const std::string& f : row.fields) text.Text(f);
    double values[ResultValueCount];
    if (solved != nullptr) ExtractResults(*solved, values);
    for (std::size_t r = 0; r < ResultValueCount; ++r) {
      if (table::ResultIsPairInput(r, pair_)) continue;
      if (solved != nullptr) {
        text.Number(values[r]);
      } else {
        text.Empty();
      }
    }
    text.Text(solved != nullptr ? std::string_view("ok") : std::string_view(row.failure));
    std::vector<double> minerals;
    if (solved != nullptr) AppendMineralValues(*solved, minerals_, minerals);
    for (std::size_t i = 0; i < mineralCount_; ++i) solved != nullptr ? text.Number(minerals[i]) : text.Empty();
    row.output = text.End();
  }
  void Write(SampleRow& row) override {
    out_.write(row.output.data(), static_cast<std::streamsize>(row.output.size()));
    if (!out_) throw TableError("The output could not be written (disk full or closed?).");
  }

private:
  std::ostream& out_;
  PairColumns pair_;
  const RunSettings& minerals_;
  std::size_t mineralCount_;
};

} // namespace

TableRunSummary RunTable(std::istream& in, const std::string& source, std::ostream& out, const TableOptions& options,
                         const TableParameters& parameters) {
  TableRunSummary summary;
  table::CsvReader reader(in, source);
  summary.inputHeader = reader.Header();
  const table::InputColumns columns = table::ReadInputColumns(reader.Header(), source);
  summary.pair = table::ChoosePair(columns, options.pair, source);
  const RowReader rows(reader.Header(), columns, summary.pair, options.settings, parameters);

  const RunSettings minerals = TableMineralSettings(options.settings, parameters.phases, parameters.masses.species);
  std::vector<std::string> outputHeader = table::OutputHeader(reader.Header(), summary.pair, source);
  AppendMineralHeader(outputHeader, reader.Header(), minerals, source);
  table::CsvWriter header(out);
  header.Row(outputHeader);

  CsvSource samples(reader, rows);
  CsvSink sink(out, summary.pair, minerals);
  try {
    SolveTableRows(parameters, options, samples, sink, summary);
  } catch (const RowStopped& stop) {
    out.flush();
    throw TableError(stop.what() + fmt::format(". The run stopped there; the {} row(s) before it were written. Correct "
                                               "the row, or keep going to give bad rows their reason in the status "
                                               "column.",
                                               stop.RowsWritten()));
  }
  out.flush();
  return summary;
}

std::string ProvenanceJson(const TableOptions& options, const TableParameters& parameters,
                           const TableRunSummary& summary) {
  nlohmann::ordered_json record;
  record["program"] = "VONTRALEK";
  record["version"] = VONTRALEK_VERSION;
  record["model"] = ModelText(options.settings.model);
  record["pair"] = PairText(summary.pair);
  record["pair_rule"] = options.pair ? "requested" : "from the columns present";
  nlohmann::ordered_json units = nlohmann::ordered_json::object();
  const table::InputColumns columns = table::ReadInputColumns(summary.inputHeader, "the input");
  for (std::size_t i = 0; i < summary.inputHeader.size(); ++i)
    if (columns.roles[i].quantity != Quantity::Extra && columns.roles[i].quantity != Quantity::Sample)
      units[summary.inputHeader[i]] = UnitText(columns.roles[i]);
  record["input_columns"] = units;
  record["units_out"] = "concentrations mmol/L, ionic strength mmol/L, pCO2 atm, SAR (mmol/L)^0.5";
  record["below_limit"] = labdata::ToText(options.settings.belowLimit);
  record["keep_going"] = options.settings.onFailure == FailurePolicy::Continue;
  record["threads"] = summary.threads;
  record["start_state"] = "fresh for every row";
  record["rows"] = summary.rows;
  record["rows_failed"] = summary.failed;
  record["constants"] = parameters.constantsSource;
  record["constants_sha256"] = parameters.digest;
  record["temperature"] =
      options.settings.temperature == TemperatureSource::Fixed
          ? fmt::format("{} degrees C for every row (given for the run)", options.settings.temperatureC)
      : table::ReadInputColumns(summary.inputHeader, "the input").Has(Quantity::Temperature)
          ? std::string("column temperature_C, degrees C (empty: none, log K at 25 degrees C)")
          : std::string("none: log K at 25 degrees C, Davies A 0.512");
  record["temperature_data"] = !parameters.temperatureData ? std::string("none")
                               : options.constants         ? "worksheet 3 of " + parameters.constantsSource
                                                   : std::string("shipped defaults (data/logk-temperature.csv)");
  record["phases"] = !options.settings.saturationIndices ? std::string("off")
                     : options.constants
                         ? fmt::format("{} of worksheet 3 of {}", parameters.phases.size(), parameters.constantsSource)
                         : fmt::format("{} shipped (data/phases.csv)", parameters.phases.size());
  record["water_quality"] = options.settings.waterQuality;
  record["constants_sha256_covers"] =
      "log K of rows 1-30, then charge and weight of species 1-11 and of complexes 1-24, as little-endian IEEE "
      "doubles";
  return record.dump(2) + "\n";
}

} // namespace vontralek
