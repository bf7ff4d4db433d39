#include "run/Pipeline.h"

#include <algorithm>
#include <exception>
#include <mutex>
#include <thread>

#include <tbb/enumerable_thread_specific.h>
#include <tbb/parallel_pipeline.h>
#include <tbb/task_arena.h>

#include "run/SampleReactions.h"
#include "run/SampleTemperature.h"
#include "speciation/Speciation.h"

namespace vontralek {

void SetSampleInputs(ModelState& state, const SampleInputs& inputs) {
  switch (state.InputPair) {
  case CarbonatePair::AlkalinityPH:
    state.PH = inputs.first;
    state.Alkalinity = inputs.second;
    break;
  case CarbonatePair::AlkalinityPCO2:
    state.PCO2 = inputs.first;
    state.Alkalinity = inputs.second;
    break;
  case CarbonatePair::BicarbonateCarbonate:
    state.SpeciesTable[species::Carbonate].TotalConc = inputs.first;
    state.SpeciesTable[species::Bicarbonate].TotalConc = inputs.second;
    break;
  case CarbonatePair::DICPH:
    state.PH = inputs.first;
    state.DIC = inputs.second;
    break;
  case CarbonatePair::AlkalinityDIC:
    state.DIC = inputs.first;
    state.Alkalinity = inputs.second;
    break;
  case CarbonatePair::None:
    break;
  }
  for (int n = species::Sodium; n <= species::Sulfate; ++n) state.SpeciesTable[n].TotalConc = inputs.ions[n];
  SetSampleTemperature(state, inputs.temperatureC);
}

namespace {

// Solves one row in work (already holding its start state); a sample without
// a result gets its reason. Returns whether it was solved.
bool SolveRow(ModelState& work, SampleRow& row, WeightedSumSource& weightedSum, const PipelineOptions& options) {
  if (!row.failure.empty()) return false;
  try {
    SetSampleInputs(work, row.inputs);
    SolveSpeciation(work, weightedSum);
    if (options.reactions.Any())
      ComputeReactions(work, ReactionConditionsOf(options.reactions, row.inputs), weightedSum);
    return true;
  } catch (const ArithmeticFault& fault) {
    row.failure = row.place + ": the sample could not be calculated: " + fault.what() +
                  (options.arithmeticHint != nullptr ? options.arithmeticHint(work) : std::string());
  } catch (const std::exception& error) {
    row.failure = row.place + ": the sample could not be calculated: " + error.what();
  }
  return false;
}

// A fresh start for the next row: the start state, keeping the solver's memo
// of 10^log K (computed from the same log K values, so the results do not change).
void Restart(ModelState& work, const ModelState& start) {
  SolverMemo memo = work.Memo;
  work = start;
  work.Memo = memo;
}

class Writer {
public:
  Writer(ResultSink& sink, FailurePolicy policy, PipelineSummary& summary)
      : sink_(sink), policy_(policy), summary_(summary) {}
  void Write(SampleRow& row) {
    if (!row.failure.empty()) {
      if (policy_ == FailurePolicy::Stop) throw RowStopped(row.failure, row.index, summary_.rowsWritten);
      summary_.rowsFailed += 1;
    }
    sink_.Write(row);
    summary_.rowsWritten += 1;
  }

private:
  ResultSink& sink_;
  FailurePolicy policy_;
  PipelineSummary& summary_;
};

PipelineSummary RunSequential(ModelState& start, SampleSource& source, ResultSink& sink, WeightedSumSource& weightedSum,
                              const PipelineOptions& options) {
  PipelineSummary summary;
  Writer writer(sink, options.onFailure, summary);
  const bool fresh = options.start == StartState::Fresh;
  ModelState work;
  if (fresh) work = start;
  ModelState& state = fresh ? work : start;
  SampleRow row;
  for (std::int64_t index = 0;; ++index) {
    row.failure.clear();
    if (!source.Next(row)) break;
    row.index = index;
    if (fresh) Restart(work, start);
    source.Enter(state, row);
    const bool solved = SolveRow(state, row, weightedSum, options);
    // Stop before preparing a row that will not be written.
    if (!solved && options.onFailure == FailurePolicy::Stop) writer.Write(row);
    sink.Prepare(row, solved ? &state : nullptr);
    writer.Write(row);
  }
  return summary;
}

// Rows travel in chunks through oneTBB's pipeline: a serial input filter reads
// a chunk, a filter solves and prepares it (in parallel with fresh starts;
// serially, in input order, with the carried-over state), a serial output
// filter writes the chunks in input order. At most `tokens` chunks are in
// flight, so memory stays flat; the chunks form a ring of that many, since
// the in-order output frees chunk k before chunk k + tokens is read.
struct Chunk {
  std::vector<SampleRow> rows;
  std::size_t count = 0;
  std::exception_ptr error; // from the solving filter (the sink's Prepare)
};

class ChunkFlow {
public:
  ChunkFlow(SampleSource& source, std::size_t tokens, std::size_t perChunk)
      : source_(source), chunks_(tokens), perChunk_(std::max<std::size_t>(1, perChunk)) {}

  std::size_t Tokens() const { return chunks_.size(); }

  // The input filter: the source's next rows, or the end. An exception of the
  // source ends the reading; the rows read before it are still solved and
  // written, then Finish rethrows it.
  Chunk* Read(tbb::flow_control& control) {
    if (ended_) {
      control.stop();
      return nullptr;
    }
    Chunk& chunk = chunks_[next_++ % chunks_.size()];
    chunk.rows.resize(perChunk_);
    chunk.count = 0;
    chunk.error = nullptr;
    try {
      while (chunk.count < perChunk_) {
        SampleRow& row = chunk.rows[chunk.count];
        row.failure.clear();
        if (!source_.Next(row)) {
          ended_ = true;
          break;
        }
        row.index = index_++;
        chunk.count += 1;
      }
    } catch (...) {
      sourceError_ = std::current_exception();
      ended_ = true;
    }
    if (chunk.count == 0) {
      control.stop();
      return nullptr;
    }
    return &chunk;
  }

  void Finish() const {
    if (sourceError_) std::rethrow_exception(sourceError_);
  }

private:
  SampleSource& source_;
  std::vector<Chunk> chunks_;
  std::size_t perChunk_;
  std::size_t next_ = 0;
  std::int64_t index_ = 0;
  bool ended_ = false;
  std::exception_ptr sourceError_;
};

// The output filter's work: the solved rows written in input order; writing(row)
// is told of the row being written (nullptr after the chunk).
template <class Writing> void WriteChunk(Chunk* chunk, Writer& writer, Writing&& writing) {
  if (chunk->error) std::rethrow_exception(chunk->error);
  for (std::size_t i = 0; i < chunk->count; ++i) {
    writing(&chunk->rows[i]);
    writer.Write(chunk->rows[i]);
  }
  writing(nullptr);
}

PipelineSummary RunParallel(const ModelState& start, SampleSource& source, ResultSink& sink,
                            WeightedSumSource& weightedSum, const PipelineOptions& options, int threads) {
  PipelineSummary summary;
  summary.threads = threads;
  Writer writer(sink, options.onFailure, summary);
  ChunkFlow flow(source, static_cast<std::size_t>(threads) * std::max<std::size_t>(1, options.chunksPerThread),
                 options.rowsPerChunk);
  // Each worker thread solves from a copy of the start state of its own.
  tbb::enumerable_thread_specific<ModelState> works(start);
  const auto solve = [&](Chunk* chunk) {
    ModelState& work = works.local();
    try {
      for (std::size_t i = 0; i < chunk->count; ++i) {
        SampleRow& row = chunk->rows[i];
        Restart(work, start);
        source.Enter(work, row);
        const bool solved = SolveRow(work, row, weightedSum, options);
        sink.Prepare(row, solved ? &work : nullptr);
      }
    } catch (...) {
      chunk->error = std::current_exception();
    }
    return chunk;
  };
  tbb::task_arena arena(threads);
  arena.execute([&] {
    tbb::parallel_pipeline(
        flow.Tokens(), tbb::make_filter<void, Chunk*>(tbb::filter_mode::serial_in_order,
                                                      [&](tbb::flow_control& control) { return flow.Read(control); }) &
                           tbb::make_filter<Chunk*, Chunk*>(tbb::filter_mode::parallel, solve) &
                           tbb::make_filter<Chunk*, void>(tbb::filter_mode::serial_in_order, [&](Chunk* chunk) {
                             WriteChunk(chunk, writer, [](const SampleRow*) {});
                           }));
  });
  flow.Finish();
  return summary;
}

// The carried-over state solved beside the reading and writing: the solving
// filter is serial and in input order, so every row starts from the state the
// row before it left, as in RunSequential. Each row leaves a copy of the state
// for the sink, written by the output filter. The source and the sink may be
// one document (a workbook's sheet, read ahead and written behind), which is
// not safe to use from two threads at once: the input and output filters take
// turns, and only the solving runs beside them.
PipelineSummary RunOverlapped(ModelState& state, SampleSource& source, ResultSink& sink, WeightedSumSource& weightedSum,
                              const PipelineOptions& options) {
  PipelineSummary summary;
  summary.threads = 2;
  Writer writer(sink, options.onFailure, summary);
  ChunkFlow flow(source, std::max<std::size_t>(2, options.chunksPerThread), options.rowsPerChunk);
  const SampleRow* writing = nullptr; // the row being written, whose state the run ends with
  // With Stop, no row after the first failed one is solved: the run ends there.
  bool halted = false;
  const auto solve = [&](Chunk* chunk) {
    try {
      for (std::size_t i = 0; i < chunk->count && !halted; ++i) {
        SampleRow& row = chunk->rows[i];
        source.Enter(state, row);
        const bool solved = SolveRow(state, row, weightedSum, options);
        if (!row.solved) row.solved = std::make_unique<ModelState>();
        *row.solved = state;
        if (!solved && options.onFailure == FailurePolicy::Stop)
          halted = true;
        else
          sink.Prepare(row, solved ? &state : nullptr);
      }
    } catch (...) {
      chunk->error = std::current_exception();
      halted = true;
    }
    return chunk;
  };
  std::mutex document; // held by the input and output filters
  tbb::task_arena arena(2);
  try {
    arena.execute([&] {
      tbb::parallel_pipeline(flow.Tokens(),
                             tbb::make_filter<void, Chunk*>(tbb::filter_mode::serial_in_order,
                                                            [&](tbb::flow_control& control) {
                                                              const std::lock_guard<std::mutex> turn(document);
                                                              return flow.Read(control);
                                                            }) &
                                 tbb::make_filter<Chunk*, Chunk*>(tbb::filter_mode::serial_in_order, solve) &
                                 tbb::make_filter<Chunk*, void>(tbb::filter_mode::serial_in_order, [&](Chunk* chunk) {
                                   const std::lock_guard<std::mutex> turn(document);
                                   WriteChunk(chunk, writer, [&](const SampleRow* row) { writing = row; });
                                 }));
    });
  } catch (...) {
    // The solver may be ahead (the pipeline has ended): the state goes back to
    // the row the run ended at.
    if (writing != nullptr && writing->solved) state = *writing->solved;
    throw;
  }
  flow.Finish();
  return summary;
}

} // namespace

PipelineSummary RunPipeline(ModelState& start, SampleSource& source, ResultSink& sink, WeightedSumSource& weightedSum,
                            const PipelineOptions& options) {
  int threads = options.threads;
  if (threads <= 0) threads = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  if (options.start == StartState::CarryOver && options.overlap) {
    return RunOverlapped(start, source, sink, weightedSum, options);
  }
  if (options.start == StartState::CarryOver || threads == 1) {
    PipelineSummary summary = RunSequential(start, source, sink, weightedSum, options);
    summary.threads = 1;
    return summary;
  }
  return RunParallel(start, source, sink, weightedSum, options, threads);
}

} // namespace vontralek
