#include "run/TableRun.h"

#include <fmt/format.h>

#include "run/TableUnits.h"
#include "table/Csv.h"

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
  const PipelineSummary done = RunPipeline(start, source, sink, weightedSum, pipeline);
  summary.rows = done.rowsWritten;
  summary.failed = done.rowsFailed;
  summary.threads = done.threads;
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
  CsvSink(std::ostream& out, PairColumns pair) : out_(out), pair_(pair) {}
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
    row.output = text.End();
  }
  void Write(SampleRow& row) override {
    out_.write(row.output.data(), static_cast<std::streamsize>(row.output.size()));
    if (!out_) throw TableError("The output could not be written (disk full or closed?).");
  }

private:
  std::ostream& out_;
  PairColumns pair_;
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

  table::CsvWriter header(out);
  header.Row(table::OutputHeader(reader.Header(), summary.pair, source));

  CsvSource samples(reader, rows);
  CsvSink sink(out, summary.pair);
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
