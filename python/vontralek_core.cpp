// The extension behind the Python package vontralek: a data frame's columns
// through the same pipeline as the table mode (fresh start state per row,
// worker threads), results as one float64 array and the status texts.

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "common/Words.h"
#include "labdata/LabUnits.h"
#include "run/MineralRun.h"
#include "run/Pipeline.h"
#include "run/ReactionColumns.h"
#include "run/TableMix.h"
#include "run/TableRun.h"
#include "table/Csv.h"
#include "table/TextSafety.h"

namespace py = pybind11;
using namespace vontralek;

namespace {

// One input column: numbers (float64, NaN = empty field), read where the
// frame's array holds them, or texts (None: an empty field).
struct Column {
  bool numeric = false;
  py::array_t<double> array; // keeps the numbers alive
  const double* numbers = nullptr;
  std::vector<std::string> texts;
};

class FrameSource : public SampleSource {
public:
  FrameSource(const std::vector<Column>& columns, std::size_t rows, const RowReader& reader)
      : columns_(columns), rows_(rows), reader_(reader) {}
  bool Next(SampleRow& row) override {
    if (next_ == rows_) return false;
    const std::size_t r = next_++;
    row.place = "frame row " + std::to_string(r);
    row.fields.resize(columns_.size());
    reader_.Read(
        [&](int c) -> std::string_view {
          const Column& column = columns_[static_cast<std::size_t>(c)];
          if (!column.numeric) return column.texts[r];
          // The shortest text of the double reads back to the same double.
          std::string& text = row.fields[static_cast<std::size_t>(c)];
          const double v = column.numbers[r];
          if (std::isnan(v)) return {};
          char buffer[32];
          const auto end = std::to_chars(buffer, buffer + sizeof buffer, v).ptr;
          text.assign(buffer, end);
          return text;
        },
        row);
    return true;
  }

private:
  const std::vector<Column>& columns_;
  std::size_t rows_, next_ = 0;
  const RowReader& reader_;
};

// Results straight into the output array, one row of it per result column
// that the output keeps (the frame's columns are then views of it, never
// copies): rows are distinct, so the worker threads never share a value. The
// status of a row that failed; an empty status is "ok".
class FrameSink : public ResultSink {
public:
  FrameSink(double* values, std::size_t rows, const std::vector<std::size_t>& kept, std::vector<std::string>& status,
            double* minerals, const RunSettings& settings, std::size_t mineralCount)
      : values_(values), rows_(rows), kept_(kept), status_(status), minerals_(minerals), settings_(settings),
        mineralCount_(mineralCount) {}
  void Prepare(SampleRow& row, const ModelState* solved) override {
    const auto r = static_cast<std::size_t>(row.index);
    double all[ResultValueCount];
    if (mineralCount_ != 0) {
      std::vector<double> minerals;
      if (solved != nullptr) {
        AppendMineralValues(*solved, settings_, minerals);
        AppendReactionValues(*solved, settings_.reactions, minerals);
      }
      for (std::size_t i = 0; i < mineralCount_; ++i)
        minerals_[i * rows_ + r] = solved != nullptr ? minerals[i] : std::nan("");
    }
    if (solved != nullptr) {
      ExtractResults(*solved, all);
    } else {
      for (double& v : all) v = std::nan("");
      status_[r] = row.failure;
    }
    for (std::size_t i = 0; i < kept_.size(); ++i) values_[i * rows_ + r] = all[kept_[i]];
  }
  void Write(SampleRow&) override {}

private:
  double* values_;
  std::size_t rows_;
  const std::vector<std::size_t>& kept_;
  std::vector<std::string>& status_;
  double* minerals_;
  const RunSettings& settings_;
  std::size_t mineralCount_;
};

std::optional<table::PairColumns> PairOf(const std::optional<std::string>& pair) {
  if (!pair) return std::nullopt;
  if (SameWord(*pair, "ph")) return table::PairColumns::AlkalinityPH;
  if (SameWord(*pair, "pco2")) return table::PairColumns::AlkalinityPCO2;
  if (SameWord(*pair, "carbonate")) return table::PairColumns::BicarbonateCarbonate;
  if (SameWord(*pair, "dic ph")) return table::PairColumns::DICPH;
  if (SameWord(*pair, "alkalinity dic")) return table::PairColumns::AlkalinityDIC;
  throw TableError("Unknown pair \"" + *pair +
                   "\": use \"ph\" (alkalinity and pH), \"pco2\" (alkalinity and pCO2), \"carbonate\" (HCO3 and CO3), "
                   "\"dic-ph\" (DIC and pH) or \"alkalinity-dic\" (alkalinity and DIC).");
}

// The reactions asked for: calcite saturation (at evaluationTemperatureC, or
// each water's own), equilibrium with a CO2 pressure in atm.
ReactionSettings ReactionsOf(bool calciteSaturation, std::optional<double> evaluationTemperatureC,
                             std::optional<double> equilibriumPCO2) {
  if (evaluationTemperatureC && !calciteSaturation)
    throw TableError("evaluation_temperature_C is the temperature of the calcite saturation: pass "
                     "calcite_saturation=True.");
  ReactionSettings reactions;
  reactions.calciteSaturation = calciteSaturation;
  if (evaluationTemperatureC) {
    reactions.evaluationTemperature = TemperatureSource::Fixed;
    reactions.evaluationTemperatureC = *evaluationTemperatureC;
  }
  reactions.equilibriumPCO2Given = equilibriumPCO2.has_value();
  reactions.equilibriumPCO2 = equilibriumPCO2.value_or(0.0);
  return reactions;
}

const char* kSource = "the frame";

// A text column of the frame (position c, 0-based): refused when a text holds
// a NUL character; texts a spreadsheet program would run as formulas get an
// apostrophe unless raw. Returns the new values, or None when none changed.
py::object SafeTexts(std::size_t c, const std::string& name, const py::list& values, bool raw) {
  py::list safe(values.size());
  bool changed = false;
  std::string scratch;
  for (std::size_t r = 0; r < values.size(); ++r) {
    py::handle item = values[r];
    safe[r] = item;
    if (!py::isinstance<py::str>(item)) continue;
    const std::string text = item.cast<std::string>();
    if (table::FindNul(text) != std::string::npos)
      throw TableError("frame row " + std::to_string(r) + ", column " + std::to_string(c + 1) + " (" + name +
                       "): a NUL character in the text; remove it.");
    if (raw || !table::ReadAsFormula(text)) continue;
    safe[r] = py::str(std::string(table::SafeText(text, scratch)));
    changed = true;
  }
  return changed ? py::object(safe) : py::object(py::none());
}

// Runs the frame's columns (names in header order; each a float64 array or a
// list of texts, None for an empty field) and returns the results (rows x
// 72), the status texts, the output names of the results (the pair's input
// left out) and the provenance record as JSON text.
py::tuple Speciate(const std::vector<std::string>& header, const py::list& data, std::size_t rows,
                   const std::optional<std::string>& pair, const std::string& model, const std::string& belowLimit,
                   bool keepGoing, std::optional<int> threads, const std::optional<std::string>& constants,
                   std::optional<double> temperatureC, bool saturationIndices, bool waterQuality,
                   const ReactionSettings& reactions) {
  TableOptions options;
  options.settings.model = ParseModel(model);
  options.settings.belowLimit = labdata::ParseBelowLimitPolicy(belowLimit);
  options.settings.onFailure = keepGoing ? FailurePolicy::Continue : FailurePolicy::Stop;
  options.pair = PairOf(pair);
  if (threads && (*threads < 1 || *threads > kMostThreads))
    throw TableError("threads must be a whole number from 1 to " + std::to_string(kMostThreads) +
                     " (None: all cores), not " + std::to_string(*threads) + ".");
  options.threads = threads ? *threads : 0;
  if (constants) options.constants = *constants;
  options.settings.saturationIndices = saturationIndices;
  options.settings.waterQuality = waterQuality;
  options.settings.reactions = reactions;
  if (temperatureC) {
    options.settings.temperature = TemperatureSource::Fixed;
    options.settings.temperatureC = *temperatureC;
  }

  const table::InputColumns roles = table::ReadInputColumns(header, kSource);
  const table::PairColumns chosen = table::ChoosePair(roles, options.pair, kSource);
  const std::vector<std::string> outputHeader = table::OutputHeader(header, chosen, kSource);
  const TableParameters parameters = LoadTableParameters(options.constants);
  const RowReader reader(header, roles, chosen, options.settings, parameters);

  // Only the columns the run reads are converted (with the GIL held).
  std::vector<Column> columns(header.size());
  for (std::size_t c = 0; c < header.size(); ++c) {
    const table::Quantity q = roles.roles[c].quantity;
    if (q == table::Quantity::Extra || q == table::Quantity::Sample) continue;
    py::object column = data[c];
    std::size_t length = 0;
    if (py::isinstance<py::array>(column) && py::array(column).dtype().kind() == 'f') {
      columns[c].array = py::array_t<double, py::array::c_style | py::array::forcecast>::ensure(column);
      columns[c].numeric = true;
      columns[c].numbers = columns[c].array.data();
      length = static_cast<std::size_t>(columns[c].array.size());
    } else {
      // The package gives None for every missing value (None, NaN, pd.NA).
      for (py::handle item : column) {
        columns[c].texts.push_back(item.is_none() ? std::string() : py::str(item).cast<std::string>());
      }
      length = columns[c].texts.size();
    }
    if (length != rows) throw TableError("Column " + header[c] + " has another length than the frame.");
  }

  const RunSettings minerals = TableMineralSettings(options.settings, parameters.phases, parameters.masses.species);
  // The mineral and the reactions' columns after "status".
  std::vector<std::string> mineralNames = MineralColumnNames(minerals);
  const std::vector<std::string> reactionNames = ReactionColumnNames(reactions);
  std::vector<std::string> fullHeader = outputHeader; // refuses an input column named as one of these results
  AppendMineralHeader(fullHeader, header, minerals, kSource);
  AppendResultNames(fullHeader, header, reactionNames, kSource);
  mineralNames.insert(mineralNames.end(), reactionNames.begin(), reactionNames.end());
  py::array_t<double> mineralValues({mineralNames.size(), rows});
  // The result columns the output names (the pair's own input left out),
  // "status" last.
  const std::vector<std::string> allNames = table::ResultColumnNames();
  std::vector<std::string> resultNames(outputHeader.begin() + static_cast<std::ptrdiff_t>(header.size()),
                                       outputHeader.end() - 1);
  std::vector<std::size_t> kept;
  for (const std::string& name : resultNames)
    kept.push_back(static_cast<std::size_t>(std::find(allNames.begin(), allNames.end(), name) - allNames.begin()));
  py::array_t<double> values({kept.size(), rows});
  std::vector<std::string> status(rows);
  TableRunSummary summary;
  summary.pair = chosen;
  summary.inputHeader = header;
  {
    double* out = values.mutable_data();
    double* mineralOut = mineralValues.mutable_data();
    py::gil_scoped_release release; // solving needs no Python object
    FrameSource source(columns, rows, reader);
    FrameSink sink(out, rows, kept, status, mineralOut, minerals, mineralNames.size());
    try {
      SolveTableRows(parameters, options, source, sink, summary);
    } catch (const RowStopped& stop) {
      throw TableError(std::string(stop.what()) +
                       ". Correct the row, or pass keep_going=True to give bad rows their reason in the status "
                       "column.");
    }
  }
  // One Python text for every "ok", not one per row.
  py::list statusList(rows);
  const py::str ok("ok");
  for (std::size_t r = 0; r < rows; ++r) {
    statusList[r] = status[r].empty() ? ok : py::str(status[r]);
    std::string().swap(status[r]);
  }
  return py::make_tuple(values, statusList, resultNames, ProvenanceJson(options, parameters, summary), mineralValues,
                        mineralNames);
}

// Two frames' waters as CSV texts mixed, row i with row i (or every row of a
// with b's row with_sample): the mixtures' table as CSV text and its
// provenance record, as `vontralek-cli mix` writes them.
py::tuple Mix(const std::string& a, const std::string& b, double fraction, const std::optional<std::string>& withSample,
              const std::optional<std::string>& pair, const std::string& model, bool keepGoing,
              const std::optional<std::string>& constants, bool saturationIndices, bool waterQuality,
              bool calciteSaturation, std::optional<double> evaluationTemperatureC,
              std::optional<double> equilibriumPCO2) {
  TableOptions options;
  options.settings.model = ParseModel(model);
  options.settings.onFailure = keepGoing ? FailurePolicy::Continue : FailurePolicy::Stop;
  options.pair = PairOf(pair);
  if (constants) options.constants = *constants;
  options.settings.saturationIndices = saturationIndices;
  options.settings.waterQuality = waterQuality;
  options.settings.reactions = ReactionsOf(calciteSaturation, evaluationTemperatureC, equilibriumPCO2);
  options.rawText = true; // the frames' texts were made safe, or kept raw, by the caller
  const TableParameters parameters = LoadTableParameters(options.constants);
  std::istringstream first(a), second(b);
  std::ostringstream out;
  TableRunSummary summary;
  {
    py::gil_scoped_release release;
    summary = RunMix(first, "the first frame", second, "the second frame", MixRequest{fraction, withSample}, out,
                     options, parameters);
  }
  return py::make_tuple(out.str(), ProvenanceJson(options, parameters, summary));
}

} // namespace

namespace vontralek {
void BindDiagram(py::module_& m); // diagram_binding.cpp
} // namespace vontralek

PYBIND11_MODULE(_core, m) {
  m.doc() = "VONTRALEK speciation of water analyses (the C++ core)";
  static py::exception<VontralekError> error(m, "VontralekError", PyExc_ValueError);
  py::register_exception_translator([](std::exception_ptr p) {
    try {
      if (p) std::rethrow_exception(p);
    } catch (const VontralekError& e) {
      error(e.what());
    } catch (const table::CsvError& e) {
      error(e.what());
    } catch (const labdata::LabDataError& e) {
      error(e.what());
    }
  });
  m.def(
      "speciate",
      [](const std::vector<std::string>& header, const py::list& data, std::size_t rows,
         const std::optional<std::string>& pair, const std::string& model, const std::string& belowLimit,
         bool keepGoing, std::optional<int> threads, const std::optional<std::string>& constants,
         std::optional<double> temperatureC, bool saturationIndices, bool waterQuality, bool calciteSaturation,
         std::optional<double> evaluationTemperatureC, std::optional<double> equilibriumPCO2) {
        return Speciate(header, data, rows, pair, model, belowLimit, keepGoing, threads, constants, temperatureC,
                        saturationIndices, waterQuality,
                        ReactionsOf(calciteSaturation, evaluationTemperatureC, equilibriumPCO2));
      },
      py::arg("header"), py::arg("data"), py::arg("rows"), py::arg("pair"), py::arg("model"), py::arg("below_limit"),
      py::arg("keep_going"), py::arg("threads"), py::arg("constants"), py::arg("temperature_C"),
      py::arg("saturation_indices"), py::arg("water_quality"), py::arg("calcite_saturation"),
      py::arg("evaluation_temperature_C"), py::arg("equilibrium_pco2"));
  m.def("mix", &Mix, py::arg("a"), py::arg("b"), py::arg("fraction"), py::arg("with_sample"), py::arg("pair"),
        py::arg("model"), py::arg("keep_going"), py::arg("constants"), py::arg("saturation_indices"),
        py::arg("water_quality"), py::arg("calcite_saturation"), py::arg("evaluation_temperature_C"),
        py::arg("equilibrium_pco2"));
  m.def(
      "result_columns",
      [](const std::vector<std::string>& header, const std::optional<std::string>& pair, bool saturationIndices,
         bool waterQuality, const std::optional<std::string>& constants, bool calciteSaturation,
         std::optional<double> equilibriumPCO2) {
        const table::InputColumns roles = table::ReadInputColumns(header, kSource);
        std::vector<std::string> names =
            table::OutputHeader(header, table::ChoosePair(roles, PairOf(pair), kSource), kSource);
        RunSettings settings;
        settings.saturationIndices = saturationIndices;
        settings.waterQuality = waterQuality;
        const std::optional<std::filesystem::path> workbook =
            constants ? std::optional<std::filesystem::path>(*constants) : std::nullopt;
        const TableParameters parameters = LoadTableParameters(workbook);
        AppendMineralHeader(names, header, TableMineralSettings(settings, parameters.phases, parameters.masses.species),
                            kSource);
        AppendResultNames(names, header,
                          ReactionColumnNames(ReactionsOf(calciteSaturation, std::nullopt, equilibriumPCO2)), kSource);
        return names;
      },
      py::arg("header"), py::arg("pair"), py::arg("saturation_indices"), py::arg("water_quality"), py::arg("constants"),
      py::arg("calcite_saturation"), py::arg("equilibrium_pco2"));
  m.def("all_result_names", [] { return table::ResultColumnNames(); });
  m.attr("most_threads") = kMostThreads;
  m.def("safe_texts", &SafeTexts, py::arg("column"), py::arg("name"), py::arg("values"), py::arg("raw"));
  BindDiagram(m);
}
