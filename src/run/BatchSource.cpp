#include "run/BatchSource.h"

#include <optional>
#include <string>

#include "layout/Layout.h"
#include "run/RunSteps.h"
#include "run/SampleTemperature.h"
#include "run/Stopwatch.h"
#include "workbook/NumberText.h"

namespace vontralek::sheet_run {

namespace {

// The sample's name in column A: its text, or its number as the sheet shows it.
std::string MarkerText(const workbook::CellValue& cell) {
  return cell.kind == workbook::CellValue::Kind::Number ? workbook::FormatNumber(cell.number) : cell.text;
}

} // namespace

bool BatchSource::Next(SampleRow& row) {
  if (k_ == count_) return false;
  const std::int64_t k = ++k_;
  // k * 100 / N percent, exactly 100 at the start of the last sample (the
  // same value Enter puts into the state).
  ProgressUpdate update = ShowProgress(static_cast<double>(k) * 100.0 / state_.SampleCount);
  update.sample = k;
  update.sampleCount = count_;
  if (progress_ != nullptr) progress_->OnProgress(update);

  const auto start = RunClock::now();
  row.place = BatchSampleText(k);
  if (keepNames)
    row.fields.assign(1, MarkerText(sheet_.Value(static_cast<int>(k + 1), layout::batch_sheet::MarkerColumn)));
  const std::optional<std::string> failure =
      Attempt([&] { return row.place + " could not be read"; },
              [&] {
                ReadBatchSample(row.inputs, sheet_, static_cast<int>(k + 1), reader_);
                row.inputs.temperatureC =
                    SampleTemperatureC(settings_, sheet_, DataSheet::Batch, static_cast<int>(k + 1));
                row.inputs.evaluationTemperatureC =
                    SampleEvaluationTemperatureC(settings_, sheet_, DataSheet::Batch, static_cast<int>(k + 1));
              });
  if (failure) row.failure = *failure;
  readSeconds += SecondsSince(start);
  return true;
}

// The sample's number and the progress, in the state that solves it.
void BatchSource::Enter(ModelState& state, const SampleRow& row) {
  state.CurrentSample = row.index + 1;
  state.SampleNumber = static_cast<double>(state.CurrentSample);
  state.ProgressPercent = state.SampleNumber * 100.0 / state.SampleCount;
}

} // namespace vontralek::sheet_run
