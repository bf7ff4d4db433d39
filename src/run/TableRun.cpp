#include "run/TableRun.h"

#include <chrono>

#include <fmt/format.h>

#include "run/TableUnits.h"
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
  if (summary.startedUtc.empty()) summary.startedUtc = UtcIso8601(std::chrono::system_clock::now());
  const table::InputColumns columns = table::ReadInputColumns(summary.inputHeader, "the input");
  summary.ionsNotMeasured = columns.missingIons;
  summary.notRecognised = columns.unrecognised;
  const PipelineSummary done = RunPipeline(start, source, sink, weightedSum, pipeline);
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

namespace {

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

class CsvSource : public SampleSource {
public:
  CsvSource(table::CsvReader& reader, const RowReader& rows) : reader_(reader), rows_(rows) {}
  bool Next(SampleRow& row) override {
    if (!reader_.Next(row.fields)) return false;
    RefuseNul(row.fields, reader_.Source(), reader_.RecordLine(), reader_.Header());
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
  CsvSink(std::ostream& out, PairColumns pair, const TableOptions& options)
      : out_(out), pair_(pair), rawText_(options.rawText), progress_(options.progress) {}
  void Prepare(SampleRow& row, const ModelState* solved) override {
    table::CsvRow text;
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
    row.output = text.End();
  }
  void Write(SampleRow& row) override {
    out_.write(row.output.data(), static_cast<std::streamsize>(row.output.size()));
    if (!out_) throw TableError("The output could not be written (disk full or closed?).");
    if (progress_ != nullptr) progress_->OnRowsWritten(++written_);
  }

private:
  std::ostream& out_;
  PairColumns pair_;
  bool rawText_;
  TableProgressListener* progress_;
  std::int64_t written_ = 0;
};

} // namespace

TableRunSummary RunTable(std::istream& in, const std::string& source, std::ostream& out, const TableOptions& options,
                         const TableParameters& parameters) {
  TableRunSummary summary;
  table::CsvReader reader(in, source);
  RefuseNul(reader.Header(), source, 1, reader.Header());
  summary.inputHeader = reader.Header();
  const table::InputColumns columns = table::ReadInputColumns(reader.Header(), source);
  summary.pair = table::ChoosePair(columns, options.pair, source);
  const RowReader rows(reader.Header(), columns, summary.pair, options.settings, parameters);

  table::CsvWriter header(out);
  std::vector<std::string> names = table::OutputHeader(reader.Header(), summary.pair, source);
  std::string scratch;
  if (!options.rawText)
    for (std::string& name : names) name = std::string(table::SafeText(name, scratch));
  header.Row(names);

  CsvSource samples(reader, rows);
  CsvSink sink(out, summary.pair, options);
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

} // namespace vontralek
