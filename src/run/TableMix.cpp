#include "run/TableMix.h"

#include <charconv>
#include <exception>
#include <utility>
#include <vector>

#include <fmt/format.h>

#include "common/Words.h"
#include "run/TableUnits.h"
#include "speciation/Mixing.h"
#include "speciation/Speciation.h"
#include "table/Csv.h"

namespace vontralek {

namespace {

// One table read whole: its rows' inputs (or reasons) and names.
struct Waters {
  std::string source;
  table::PairColumns pair = table::PairColumns::AlkalinityPH;
  std::vector<SampleRow> rows;
  std::vector<std::string> names; // the sample column's field, else "<source> line N"
  bool named = false;             // it has a sample column
};

Waters ReadWaters(std::istream& in, const std::string& source, const TableOptions& options,
                  const TableParameters& parameters) {
  Waters waters;
  waters.source = source;
  table::CsvReader reader(in, source, options.inputFormat);
  const std::vector<std::string> header = reader.Header();
  RefuseNul(header, source, 1, header);
  const table::InputColumns columns = table::ReadInputColumns(header, source);
  waters.pair = table::ChoosePair(columns, options.pair, source);
  const RowReader rows(header, columns, waters.pair, options.settings, parameters);
  const int sample = columns.Index(table::Quantity::Sample);
  waters.named = sample >= 0;
  std::string scratch;
  for (std::vector<std::string> fields; reader.Next(fields);) {
    RefuseNul(fields, source, reader.RecordLine(), header);
    SampleRow& row = waters.rows.emplace_back();
    row.place = source + " line " + std::to_string(reader.RecordLine());
    const bool comma = reader.Format().decimalComma;
    rows.Read(
        [&](int i) {
          const std::string& text = fields[static_cast<std::size_t>(i)];
          return comma ? table::DecimalPointText(text, scratch) : std::string_view(text);
        },
        row);
    waters.names.push_back(sample >= 0 ? fields[static_cast<std::size_t>(sample)] : row.place);
  }
  return waters;
}

// The rows of b each row of a is mixed with: its own index, or the one named.
std::vector<std::size_t> Partners(const Waters& a, const Waters& b, const MixRequest& request) {
  if (!request.with) {
    if (a.rows.size() != b.rows.size())
      throw TableError(fmt::format("{} has {} rows and {} has {}: row i of one is mixed with row i of the other, so "
                                   "both need the same number of rows; or mix every row with one row of {} by its "
                                   "sample name (--with NAME).",
                                   a.source, a.rows.size(), b.source, b.rows.size(), b.source));
    std::vector<std::size_t> same(a.rows.size());
    for (std::size_t i = 0; i < same.size(); ++i) same[i] = i;
    return same;
  }
  if (!b.named)
    throw TableError(b.source + " has no sample column to find \"" + *request.with +
                     "\" in: add a column \"sample\" with the waters' names.");
  std::vector<std::size_t> found;
  for (std::size_t i = 0; i < b.names.size(); ++i)
    if (TrimBlanks(b.names[i]) == TrimBlanks(*request.with)) found.push_back(i);
  if (found.size() != 1)
    throw TableError(found.empty() ? b.source + " has no row whose sample is \"" + *request.with +
                                         "\"; give the name as its sample column writes it."
                                   : b.source + " has more than one row whose sample is \"" + *request.with + "\" (" +
                                         b.rows[found[0]].place + ", " + b.rows[found[1]].place +
                                         "); give the water a name of its own.");
  return std::vector<std::size_t>(a.rows.size(), found.front());
}

// A water of a table solved from the parameters' start state, or the reason it cannot be.
struct Solved {
  ModelState state;
  std::string failure;
};

Solved SolveWater(const SampleRow& row, table::PairColumns pair, const TableOptions& options,
                  const TableParameters& parameters) {
  Solved solved;
  solved.state = parameters.start;
  solved.failure = row.failure;
  if (!solved.failure.empty()) return solved;
  ModelState& s = solved.state;
  s.InputPair = table_run::ToCarbonatePair(pair);
  s.Model = options.settings.model;
  FixedWeightedSum weights(s.AuxTable[WeightedSumRecord].WeightedSum, s.AuxTable[WeightedSumRecord].SumScale);
  try {
    SetSampleInputs(s, row.inputs);
    SolveSpeciation(s, weights);
  } catch (const std::exception& error) {
    solved.failure = row.place + ": the sample could not be calculated: " + error.what();
  }
  return solved;
}

// The mixture's input columns, as the table mode reads them back.
const std::vector<std::string> kMixtureHeader = {"sample",    "temperature_C", "alkalinity_meq_L", "DIC_mmol_L",
                                                 "Na_mmol_L", "K_mmol_L",      "Ca_mmol_L",        "Mg_mmol_L",
                                                 "Cl_mmol_L", "NO3_mmol_L",    "SO4_mmol_L"};

std::string Shortest(double value) {
  char text[32];
  return std::string(text, std::to_chars(text, text + sizeof text, value).ptr);
}

class MixSource : public SampleSource {
public:
  MixSource(const Waters& a, const Waters& b, std::vector<std::size_t> partners, double fraction,
            const TableOptions& options, const TableParameters& parameters)
      : a_(a), b_(b), partners_(std::move(partners)), fraction_(fraction), options_(options), parameters_(parameters) {}
  bool Next(SampleRow& row) override {
    if (next_ == a_.rows.size()) return false;
    const std::size_t i = next_++, j = partners_[i];
    row.place = "the mixture of " + a_.rows[i].place + " and " + b_.rows[j].place;
    row.fields.assign(kMixtureHeader.size(), std::string());
    row.fields[0] = a_.names[i] + " + " + b_.names[j];
    row.inputs = SampleInputs{};
    const Solved first = SolveWater(a_.rows[i], a_.pair, options_, parameters_);
    if (!first.failure.empty()) return row.failure = first.failure, true;
    if (!partner_ || partnerIndex_ != j) partner_ = SolveWater(b_.rows[j], b_.pair, options_, parameters_);
    partnerIndex_ = j;
    if (!partner_->failure.empty()) return row.failure = partner_->failure, true;
    ModelState mixture;
    try {
      mixture = MixedWater(first.state, partner_->state, fraction_);
    } catch (const std::exception& error) {
      return row.failure = row.place + ": " + error.what(), true;
    }
    // The mixture as the pair alkalinity and DIC (first DIC, second alkalinity), mol/L and eq/L.
    row.inputs.first = mixture.DIC;
    row.inputs.second = mixture.Alkalinity;
    for (int n = species::Sodium; n <= species::Sulfate; ++n) row.inputs.ions[n] = mixture.SpeciesTable[n].TotalConc;
    if (mixture.TemperatureGiven) row.inputs.temperatureC = mixture.TemperatureC;
    if (row.inputs.temperatureC) row.fields[1] = Shortest(*row.inputs.temperatureC);
    row.fields[2] = Shortest(mixture.Alkalinity * 1000.0);
    row.fields[3] = Shortest(mixture.DIC * 1000.0);
    for (int n = species::Sodium; n <= species::Sulfate; ++n)
      row.fields[static_cast<std::size_t>(n + 1)] = Shortest(mixture.SpeciesTable[n].TotalConc * 1000.0);
    return true;
  }

private:
  const Waters &a_, &b_;
  std::vector<std::size_t> partners_;
  double fraction_;
  const TableOptions& options_;
  const TableParameters& parameters_;
  std::size_t next_ = 0;
  std::optional<Solved> partner_; // b's last water, kept for --with
  std::size_t partnerIndex_ = 0;
};

} // namespace

TableRunSummary RunMix(std::istream& a, const std::string& aName, std::istream& b, const std::string& bName,
                       const MixRequest& request, std::ostream& out, const TableOptions& options,
                       const TableParameters& parameters) {
  if (!(request.fraction >= 0.0 && request.fraction <= 1.0))
    throw TableError(
        fmt::format("The fraction {} of {} is outside 0 to 1: give the first table's share.", request.fraction, aName));
  const Waters first = ReadWaters(a, aName, options, parameters);
  const Waters second = ReadWaters(b, bName, options, parameters);
  MixSource mixtures(first, second, Partners(first, second, request), request.fraction, options, parameters);
  TableRunSummary summary;
  summary.pair = table::PairColumns::AlkalinityDIC;
  summary.inputHeader = kMixtureHeader;
  summary.mixture =
      fmt::format("{} of {} ({}) with {} of {} ({}), {}", request.fraction, aName, table_run::PairText(first.pair),
                  1.0 - request.fraction, bName, table_run::PairText(second.pair),
                  request.with ? "every row with the row \"" + *request.with + "\"" : std::string("row by row"));
  WriteTableRows(mixtures, "the mixtures", options.outputFormat.value_or(table::CsvFormat{}), out, options, parameters,
                 summary);
  return summary;
}

} // namespace vontralek
