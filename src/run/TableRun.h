#pragma once

// The table mode: samples from a table whose header names each column with
// its unit (a CSV file or a data frame), solved each from the same fresh
// start state on worker threads, results in input order.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <istream>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "common/Errors.h"
#include "labdata/MolarMasses.h"
#include "model/ModelState.h"
#include "model/RunSettings.h"
#include "run/Pipeline.h"
#include "table/Columns.h"

namespace vontralek {

// A table run that cannot start or had to stop: the message says what, where
// (file, line, column) and what to do.
class TableError : public VontralekError {
public:
  using VontralekError::VontralekError;
};

struct TableOptions {
  // model, belowLimit, onFailure are used; temperature Fixed gives every row
  // temperatureC (°C) whatever its temperature_C column holds.
  RunSettings settings;
  std::optional<table::PairColumns> pair;         // none: from the columns present
  int threads = 0;                                // 0: all cores
  std::optional<std::filesystem::path> constants; // worksheets 3 and 4 of this workbook; none: shipped
};

// "specified" (also "as specified") or "ion-association" (also "ion
// association"); letter case does not matter. Throws TableError otherwise.
SpeciationModel ParseModel(std::string_view text);
std::string_view ModelText(SpeciationModel model);

// The parameters of a run: the state after loading the 30 log K, the charges
// and weights (the shipped ones, or a workbook's worksheets 3 and 4), the
// constants' temperature data (the shipped ones, or the block of that
// workbook's worksheet 3 when it has one), the molar masses for mg/L, and
// where they came from.
struct TableParameters {
  ModelState start;
  labdata::MolarMasses masses;
  std::string constantsSource; // "shipped defaults" or the workbook's path
  std::string digest;          // SHA-256 (hex) of the log K, charges and weights
  bool temperatureData = false;
  PhaseTable phases; // the shipped ones, or the workbook's table (none without one)
};
TableParameters LoadTableParameters(const std::optional<std::filesystem::path>& constants);

// The conversion of one row's fields to the model's units, the same for a CSV
// line and a data-frame row: pH and pCO2 (atm) as given, the alkalinity to
// eq/L, the ions to mol/L through the laboratory-unit conversion. An empty ion
// field or "nd" counts as 0; "<x" follows the detection-limit policy. The
// temperature: the fixed one of the settings, else the temperature_C column
// (°C; empty: none). A value that cannot be used (a temperature outside 0 to
// 100 °C, or one without temperature data) gives the row its failure, naming
// place and column.
class RowReader {
public:
  RowReader(const std::vector<std::string>& header, const table::InputColumns& columns, table::PairColumns pair,
            const RunSettings& settings, const TableParameters& parameters);
  // field(i): the text of header column i. place: "data.csv line 7".
  void Read(const std::function<std::string_view(int)>& field, SampleRow& row) const;

private:
  struct Needed {
    table::Quantity quantity;
    int column;
    int target; // 0 first, 1 second, n >= 3 ion row n
  };
  double Convert(const Needed& need, std::string_view text) const;
  std::vector<std::string> header_;
  std::vector<Needed> needed_;
  table::ColumnUnit units_[table::QuantityCount];
  labdata::BelowLimitPolicy belowLimit_;
  labdata::MolarMasses masses_;
  std::array<double, 12> charges_{};
  table::PairColumns pair_;
  int temperatureColumn_ = -1; // -1: none read
  std::optional<double> fixedTemperature_;
  bool temperatureData_ = false;
};

// The results of a solved sample in the order of table::ResultColumnNames()
// without status (ResultColumnCount - 1 values), in the workbook's units; an
// undefined value is NaN.
inline constexpr std::size_t ResultValueCount = table::ResultColumnCount - 1;
void ExtractResults(const ModelState& solved, double* values);

struct TableRunSummary {
  std::int64_t rows = 0, failed = 0;
  int threads = 1;
  table::PairColumns pair = table::PairColumns::AlkalinityPH;
  std::vector<std::string> inputHeader;
};

// The rows of a table (a CSV file or a data frame) solved each from the same
// fresh start state (the parameters' with summary.pair and the options' model)
// on the options' threads, into the sink in input order; summary gets the
// counts. Without keep-going a bad row throws RowStopped.
void SolveTableRows(const TableParameters& parameters, const TableOptions& options, SampleSource& source,
                    ResultSink& sink, TableRunSummary& summary);

// Reads the CSV from in (named source in messages), writes the output CSV to
// out in input order. Throws TableError (a bad header; without keep-going the
// first bad row, after the rows before it were written) and table::CsvError
// for a file that is not a proper CSV.
TableRunSummary RunTable(std::istream& in, const std::string& source, std::ostream& out, const TableOptions& options,
                         const TableParameters& parameters);

// The provenance record of a run, as JSON text: program version, model, pair
// rule, units of the input columns, detection-limit policy, failure policy,
// thread count, where the constants came from and their SHA-256.
std::string ProvenanceJson(const TableOptions& options, const TableParameters& parameters,
                           const TableRunSummary& summary);

} // namespace vontralek
