#include "run/TableRun.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <optional>

#include <fmt/format.h>

#include "run/CollectingSink.h"
#include "run/MineralRun.h"
#include "run/ReactionColumns.h"
#include "run/TableUnits.h"
#include "table/BlockOutput.h"
#include "table/Csv.h"
#include "table/TextSafety.h"

namespace vontralek {

using table::ColumnUnit;
using table::PairColumns;
using table::Quantity;

using table_run::ToCarbonatePair;

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
  pipeline.reactions = options.settings.reactions;
  if (summary.startedUtc.empty()) summary.startedUtc = UtcIso8601(std::chrono::system_clock::now());
  const table::InputColumns columns = table::ReadInputColumns(summary.inputHeader, "the input");
  summary.ionsNotMeasured = columns.missingIons;
  summary.notRecognised = columns.unrecognised;
  std::optional<CollectingSink> collecting;
  if (options.collector != nullptr)
    collecting.emplace(sink, *options.collector, columns.Index(table::Quantity::Sample));
  const PipelineSummary done =
      RunPipeline(start, source, collecting ? static_cast<ResultSink&>(*collecting) : sink, weightedSum, pipeline);
  summary.rows = done.rowsWritten;
  summary.failed = done.rowsFailed;
  summary.threads = done.threads;
}

std::string DescribeTableRun(const TableOptions& options, const TableRunSummary& summary) {
  const auto list = [](const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& name : names) text += (text.empty() ? "" : ", ") + name;
    return text;
  };
  std::string text = std::string(ModelText(options.settings.model)) + " model";
  if (!summary.ionsNotMeasured.empty()) {
    text += "; not measured (no column): " + list(summary.ionsNotMeasured) + ", counted as 0";
    if (!summary.notRecognised.empty()) text += "; columns not recognised: " + list(summary.notRecognised);
  }
  return text;
}

// A NUL byte is no text: the table is refused, naming the line and column.
void RefuseNul(const std::vector<std::string>& fields, const std::string& source, std::size_t line,
               const std::vector<std::string>& header) {
  for (std::size_t i = 0; i < fields.size(); ++i)
    if (table::FindNul(fields[i]) != std::string::npos)
      throw table::CsvError(table::Place(source, line, i + 1, i < header.size() ? header[i] : "") +
                                ": a NUL byte in the text; the file is not plain text (saved as UTF-16?): save it "
                                "as a UTF-8 CSV file",
                            line, i + 1);
}

namespace {

class CsvSource : public SampleSource {
public:
  // pointOut: the numbers read are handed on with a decimal point (for an output
  // in the canonical convention).
  CsvSource(table::CsvReader& reader, const RowReader& rows, bool pointOut)
      : reader_(reader), rows_(rows), pointOut_(pointOut) {}
  bool Next(SampleRow& row) override {
    if (!reader_.Next(row.fields)) return false;
    RefuseNul(row.fields, reader_.Source(), reader_.RecordLine(), reader_.Header());
    // The place built in the row's own storage: no allocation once it has grown.
    char line[24];
    const auto end = std::to_chars(line, line + sizeof line, reader_.RecordLine()).ptr;
    row.place.assign(reader_.Source()).append(" line ").append(line, end);
    if (!reader_.Format().decimalComma) {
      rows_.Read([&row](int i) { return std::string_view(row.fields[static_cast<std::size_t>(i)]); }, row);
      return true;
    }
    // The numbers the row reader asks for, with a decimal point where the file has its comma.
    scratch_.resize(std::max(scratch_.size(), row.fields.size()));
    int dotted = -1;
    asked_.clear();
    rows_.Read(
        [&](int i) {
          const std::string& text = row.fields[static_cast<std::size_t>(i)];
          if (dotted < 0 && text.find('.') != std::string::npos) dotted = i;
          asked_.push_back(i);
          return table::DecimalPointText(text, scratch_[static_cast<std::size_t>(i)]);
        },
        row);
    if (pointOut_ && dotted < 0)
      for (const int i : asked_) row.fields[static_cast<std::size_t>(i)].assign(scratch_[static_cast<std::size_t>(i)]);
    if (dotted >= 0 && row.failure.empty())
      row.failure = reader_.Where(static_cast<std::size_t>(dotted)) + ": \"" +
                    row.fields[static_cast<std::size_t>(dotted)] +
                    "\" has a '.' in a table with decimal commas (a thousands separator?); write the number with a "
                    "decimal comma and no thousands separator, or read the table with --delimiter ';' alone";
    return true;
  }

private:
  table::CsvReader& reader_;
  const RowReader& rows_;
  bool pointOut_;
  std::vector<std::string> scratch_;
  std::vector<int> asked_; // the fields read as numbers
};

class CsvSink : public ResultSink {
public:
  CsvSink(table::BlockOutput& out, PairColumns pair, table::CsvFormat format, const RunSettings& minerals,
          const TableOptions& options)
      : out_(out), pair_(pair), format_(format), minerals_(minerals),
        extraCount_(MineralColumnNames(minerals).size() + ReactionColumnNames(minerals.reactions).size()),
        rawText_(options.rawText), progress_(options.progress) {}
  void Prepare(SampleRow& row, const ModelState* solved) override {
    table::CsvRow text(format_);
    text.Reuse(std::move(row.output));
    std::string scratch;
    for (const std::string& f : row.fields) text.Text(rawText_ ? f : table::SafeText(f, scratch));
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
    text.Text(solved != nullptr ? std::string_view("ok") : table::SafeText(row.failure, scratch));
    if (extraCount_ != 0) {
      std::vector<double>& extras = row.values;
      extras.clear();
      if (solved != nullptr) {
        AppendMineralValues(*solved, minerals_, extras);
        AppendReactionValues(*solved, minerals_.reactions, extras);
      }
      for (std::size_t i = 0; i < extraCount_; ++i) solved != nullptr ? text.Number(extras[i]) : text.Empty();
    }
    row.output = text.Release();
  }
  void Write(SampleRow& row) override {
    if (!out_.Append(row.output)) throw TableError("The output could not be written (disk full or closed?).");
    if (progress_ != nullptr) progress_->OnRowsWritten(++written_);
  }

private:
  table::BlockOutput& out_;
  PairColumns pair_;
  table::CsvFormat format_;
  const RunSettings& minerals_;
  std::size_t extraCount_; // the mineral and reaction columns
  bool rawText_;
  TableProgressListener* progress_;
  std::int64_t written_ = 0;
};

} // namespace

TableRunSummary RunTable(std::istream& in, const std::string& source, std::ostream& out, const TableOptions& options,
                         const TableParameters& parameters) {
  TableRunSummary summary;
  table::CsvReader reader(in, source, options.inputFormat);
  RefuseNul(reader.Header(), source, 1, reader.Header());
  summary.inputHeader = reader.Header();
  const table::InputColumns columns = table::ReadInputColumns(reader.Header(), source);
  summary.pair = table::ChoosePair(columns, options.pair, source);
  const RowReader rows(reader.Header(), columns, summary.pair, options.settings, parameters);
  // The output in the input's convention unless told otherwise.
  const table::CsvFormat format = options.outputFormat.value_or(reader.Format());
  CsvSource samples(reader, rows, !format.decimalComma);
  WriteTableRows(samples, source, format, out, options, parameters, summary);
  return summary;
}

void WriteTableRows(SampleSource& samples, const std::string& source, table::CsvFormat format, std::ostream& out,
                    const TableOptions& options, const TableParameters& parameters, TableRunSummary& summary) {
  const RunSettings minerals = TableMineralSettings(options.settings, parameters.phases, parameters.masses.species);
  const std::vector<std::string>& inputHeader = summary.inputHeader;
  std::vector<std::string> outputHeader = table::OutputHeader(inputHeader, summary.pair, source);
  AppendMineralHeader(outputHeader, inputHeader, minerals, source);
  AppendResultNames(outputHeader, inputHeader, ReactionColumnNames(options.settings.reactions), source);
  // Written in blocks.
  table::BlockOutput output(out);
  table::CsvRow header(format);
  std::string scratch;
  for (const std::string& name : outputHeader) header.Text(options.rawText ? name : table::SafeText(name, scratch));
  output.Append(header.Release());

  CsvSink sink(output, summary.pair, format, minerals, options);
  try {
    SolveTableRows(parameters, options, samples, sink, summary);
  } catch (const RowStopped& stop) {
    output.Flush();
    throw TableError(stop.what() + fmt::format(". The run stopped there; the {} row(s) before it were written. Correct "
                                               "the row, or keep going to give bad rows their reason in the status "
                                               "column.",
                                               stop.RowsWritten()));
  } catch (...) {
    output.Flush(); // the rows before a table that cannot be read on stay written
    throw;
  }
  if (!output.Flush()) throw TableError("The output could not be written (disk full or closed?).");
}

} // namespace vontralek
