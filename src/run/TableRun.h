#pragma once

// The table mode: samples from a table whose header names each column with
// its unit (a CSV file or a data frame), solved each from the same fresh
// start state on worker threads, results in input order.

#include <cstdint>
#include <istream>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "model/ModelState.h"
#include "run/InputRecord.h"
#include "run/Pipeline.h"
#include "run/RowReader.h"
#include "run/TableError.h"
#include "run/TableOptions.h"
#include "run/TableParameters.h"
#include "run/TableProvenance.h"
#include "run/TableResults.h"
#include "table/Columns.h"

namespace vontralek {

struct TableRunSummary {
  std::int64_t rows = 0, failed = 0;
  int threads = 1;
  table::PairColumns pair = table::PairColumns::AlkalinityPH;
  std::vector<std::string> inputHeader;
  std::vector<std::string> ionsNotMeasured; // ions without a column, counted as 0
  std::vector<std::string> notRecognised;   // the extra columns, passed through
  std::string startedUtc;                   // ISO 8601, set when the rows start
  std::optional<InputRecord> input;         // the input file, when the caller read one
  std::string mixture;                      // a mixture of two tables: what was mixed (empty: none)
};

// What a summary says about the model and the columns: "ion association model;
// not measured (no column): K, NO3, counted as 0; columns not recognised: X".
std::string DescribeTableRun(const TableOptions& options, const TableRunSummary& summary);

// The rows of a table (a CSV file or a data frame) solved each from the same
// fresh start state (the parameters' with summary.pair and the options' model)
// on the options' threads, into the sink in input order; summary gets the
// counts. Without keep-going a bad row throws RowStopped.
void SolveTableRows(const TableParameters& parameters, const TableOptions& options, SampleSource& source,
                    ResultSink& sink, TableRunSummary& summary);

// Reads the CSV from in (named source in messages), writes the output CSV to
// out in input order (text made safe for spreadsheets unless options.rawText;
// a NUL byte refused, naming line and column). Throws TableError (a bad header; without keep-going the
// first bad row, after the rows before it were written) and table::CsvError
// for a file that is not a proper CSV.
TableRunSummary RunTable(std::istream& in, const std::string& source, std::ostream& out, const TableOptions& options,
                         const TableParameters& parameters);

// The rows of samples (a table whose header is summary.inputHeader, read as
// summary.pair) solved and written as CSV to out, as RunTable does.
void WriteTableRows(SampleSource& samples, const std::string& source, table::CsvFormat format, std::ostream& out,
                    const TableOptions& options, const TableParameters& parameters, TableRunSummary& summary);

// Throws table::CsvError naming source, line and column when a field holds a NUL byte.
void RefuseNul(const std::vector<std::string>& fields, const std::string& source, std::size_t line,
               const std::vector<std::string>& header);

} // namespace vontralek
