#pragma once

// One run as three stages: a source of sample rows, the solver, a sink of
// result rows. The workbook batch and the tables share it:
//   - the source yields one sample's inputs in the model's units (mol/L, eq/L,
//     pH, atm) or the reason it has none, with its place (sheet/row/cell or
//     line/column) already in the reason;
//   - the solver either carries the state from sample to sample (the workbook
//     batch: whatever a sample does not overwrite stays from the previous one,
//     and the solver starts from it) or solves every sample from the same
//     fresh start state, so that a row's result does not depend on its
//     position, the thread count or how the data are split;
//   - the sink gets every row in input order, solved or with its reason.

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/Errors.h"
#include "model/ModelState.h"
#include "model/RunSettings.h"
#include "speciation/WeightedSumSource.h"

namespace vontralek {

// One sample's inputs in the model's units. The pair's two values: pH or pCO2
// (atm) and the alkalinity (eq/L), or CO3 2- and HCO3- (mol/L). ions[n]: the
// total of species row n = 3..9 (Na+, K+, Ca2+, Mg2+, Cl-, NO3-, SO4 2-), mol/L.
// The water's temperature in °C, or none (log K at 25 °C, Davies A 0.512).
struct SampleInputs {
  double first = 0.0, second = 0.0;
  std::array<double, 10> ions{};
  std::optional<double> temperatureC;
  // The temperature of the calcite evaluation in °C, when the sample gives its own.
  std::optional<double> evaluationTemperatureC;
};

// A row on its way through the pipeline.
struct SampleRow {
  std::int64_t index = 0;          // 0-based position in the input
  std::string place;               // where the row is, for messages: "data.csv line 7"
  SampleInputs inputs;             // valid when failure is empty
  std::string failure;             // why the row has no result, naming its place; empty: solved
  std::vector<std::string> fields; // whatever the source keeps for the sink (e.g. the input fields)
  std::string output;              // whatever the sink prepares on a worker thread
  std::vector<double> values;      // the sink's scratch numbers (storage reused row after row)
  // With the carried-over state solved on a thread of its own: the state as
  // this row left it (solved or not), for the sink to write from.
  std::unique_ptr<ModelState> solved;
};

// Yields the rows in input order.
class SampleSource {
public:
  virtual ~SampleSource() = default;
  // Fills the next row (its storage is reused; index is set by the pipeline)
  // and returns false at the end. A row that cannot be read gets its failure
  // and true; an input that cannot go on at all throws.
  virtual bool Next(SampleRow& row) = 0;
  // On the thread that solves, just before the row is (or would be) solved:
  // what the row puts into the carried-over state besides its inputs.
  virtual void Enter(ModelState&, const SampleRow&) {}
};

class ResultSink {
public:
  virtual ~ResultSink() = default;
  // Turns the solved state (nullptr when the row failed) into whatever Write
  // needs, kept in the row. With more than one thread it runs on the worker
  // threads, several rows at once: it may touch only the row.
  virtual void Prepare(SampleRow& row, const ModelState* solved) = 0;
  // Takes the prepared rows one by one in input order, on the calling thread.
  virtual void Write(SampleRow& row) = 0;
};

enum class StartState {
  CarryOver, // the specified batch: each sample starts from the previous one's state (one thread)
  Fresh,     // every sample from a copy of the start state
};

struct PipelineOptions {
  StartState start = StartState::Fresh;
  // With CarryOver: solve on a second thread while the calling thread reads
  // the next rows and writes the solved ones (each row's state handed over in
  // SampleRow::solved). The samples are solved in the same order from the same
  // states, so the results are the same; weightedSum must then be safe to use
  // beside the source and the sink (FixedWeightedSum is).
  bool overlap = false;
  FailurePolicy onFailure = FailurePolicy::Stop;
  int threads = 1;                 // with Fresh: worker threads; 0 = all cores
  std::size_t rowsPerChunk = 256;  // rows a worker takes at a time
  std::size_t chunksPerThread = 4; // chunks in flight per worker: bounds the memory
  // When set, appended to the reason of a row whose solve ended in an
  // ArithmeticFault: which inputs leave the model undefined (may run on the
  // worker threads: it may only read the state).
  std::string (*arithmeticHint)(const ModelState& failed) = nullptr;
  // The reactions of every solved sample (their results in state.Reactions);
  // one that cannot be solved fails the sample like its speciation.
  ReactionSettings reactions;
};

struct PipelineSummary {
  std::int64_t rowsWritten = 0; // rows handed to the sink
  std::int64_t rowsFailed = 0;  // of those, rows with a failure (keep going)
  int threads = 1;              // worker threads used
};

// The run stopped at a row that has no result (failure policy Stop). The
// message is the row's reason; the rows before it were written.
class RowStopped : public VontralekError {
public:
  RowStopped(const std::string& reason, std::int64_t rowIndex, std::int64_t rowsWritten)
      : VontralekError(reason), rowIndex_(rowIndex), rowsWritten_(rowsWritten) {}
  std::int64_t RowIndex() const { return rowIndex_; }
  std::int64_t RowsWritten() const { return rowsWritten_; }

private:
  std::int64_t rowIndex_, rowsWritten_;
};

// The weighted charge sum's start value and scale as fixed numbers (tables:
// from the loaded parameters, once for the run).
class FixedWeightedSum : public WeightedSumSource {
public:
  FixedWeightedSum(double start, double scale) : start_(start), scale_(scale) {}
  void LoadWeightedSumParameters(ModelState& state) override {
    state.AuxTable[WeightedSumRecord].WeightedSum = start_;
    state.AuxTable[WeightedSumRecord].SumScale = scale_;
  }

private:
  double start_, scale_;
};

// Puts a sample's inputs into the state as the workbook run does: the pair's
// variables (by state.InputPair), the ion totals of rows 3 to 9 and the
// temperature.
void SetSampleInputs(ModelState& state, const SampleInputs& inputs);

// Runs every row of source through the solver into sink. start: the state
// after the parameters are loaded (InputPair and Model set); with CarryOver it
// is the state the samples work in, with Fresh it is copied for every row
// (weightedSum must then be thread-safe: FixedWeightedSum is). A solve that
// fails (SampleFailure, ArithmeticFault) becomes the row's failure, prefixed
// by the row's place. With Stop, the first failed row in input order
// throws RowStopped after every row before it was written; an exception of
// the source or the sink ends the run the same way (rows before it written).
// With CarryOver, start is left as the last row handed to the sink left it.
PipelineSummary RunPipeline(ModelState& start, SampleSource& source, ResultSink& sink, WeightedSumSource& weightedSum,
                            const PipelineOptions& options);

} // namespace vontralek
