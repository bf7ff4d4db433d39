#include "run/Pipeline.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>

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

// Rows travel in chunks: the calling thread reads a chunk, a worker solves and
// prepares it, the calling thread writes the chunks in input order. At most
// threads * chunksPerThread chunks are in flight, so memory stays flat.
struct Chunk {
  std::vector<SampleRow> rows;
  std::size_t count = 0;
  bool done = false;
  std::exception_ptr error; // from the sink's Prepare
};

// Reads the source's next rows into chunk, numbered from index on. Returns
// false when the source has ended; an exception of the source ends it too and
// is kept in sourceError, so that the rows read before it are still solved and
// written.
bool FillChunk(Chunk& chunk, SampleSource& source, std::size_t perChunk, std::int64_t& index,
               std::exception_ptr& sourceError) {
  chunk.rows.resize(perChunk);
  chunk.count = 0;
  chunk.error = nullptr;
  try {
    while (chunk.count < perChunk) {
      SampleRow& row = chunk.rows[chunk.count];
      row.failure.clear();
      if (!source.Next(row)) return false;
      row.index = index++;
      chunk.count += 1;
    }
  } catch (...) {
    sourceError = std::current_exception();
    return false;
  }
  return true;
}

// Reads the source a chunk at a time into the chunks (their number bounds
// the rows in flight; the caller owns them, so that they outlive the solvers'
// threads even when an exception unwinds), hands each to the solvers (Submit, then WaitFor in input order) and
// writes the solved rows in input order; writing(row) is told of the row being
// written (nullptr between chunks). An exception of the source ends the
// reading: the rows read before it are written, then it is rethrown.
template <class Solvers, class Writing>
void FlowChunks(Solvers& solvers, SampleSource& source, Writer& writer, std::vector<Chunk>& chunks,
                std::size_t perChunk, Writing&& writing) {
  std::deque<Chunk*> free, inFlight;
  for (Chunk& c : chunks) free.push_back(&c);
  std::exception_ptr sourceError;
  bool sourceEnded = false;
  std::int64_t index = 0;
  for (;;) {
    while (!sourceEnded && !free.empty()) {
      Chunk* chunk = free.front();
      free.pop_front();
      sourceEnded = !FillChunk(*chunk, source, perChunk, index, sourceError);
      if (chunk->count == 0) {
        free.push_back(chunk);
        break;
      }
      inFlight.push_back(chunk);
      solvers.Submit(chunk);
    }
    if (inFlight.empty()) break;
    Chunk* next = inFlight.front();
    inFlight.pop_front();
    solvers.WaitFor(next);
    if (next->error) std::rethrow_exception(next->error);
    for (std::size_t i = 0; i < next->count; ++i) {
      writing(&next->rows[i]);
      writer.Write(next->rows[i]);
    }
    writing(nullptr);
    free.push_back(next);
  }
  if (sourceError) std::rethrow_exception(sourceError);
}

// The chunks handed to the solving threads and given back solved: Submit
// and WaitFor on the calling thread, Take and Done on the solving ones.
class ChunkQueue {
public:
  void Submit(Chunk* chunk) {
    {
      std::lock_guard lock(mutex_);
      chunk->done = false;
      todo_.push_back(chunk);
    }
    todoChanged_.notify_one();
  }
  void WaitFor(Chunk* chunk) {
    std::unique_lock lock(mutex_);
    doneChanged_.wait(lock, [chunk] { return chunk->done; });
  }
  // The next chunk in the order submitted; nullptr once Stop was called.
  Chunk* Take() {
    std::unique_lock lock(mutex_);
    todoChanged_.wait(lock, [this] { return stopping_ || !todo_.empty(); });
    if (stopping_) return nullptr;
    Chunk* chunk = todo_.front();
    todo_.pop_front();
    return chunk;
  }
  void Done(Chunk* chunk) {
    {
      std::lock_guard lock(mutex_);
      chunk->done = true;
    }
    doneChanged_.notify_all();
  }
  void Stop() {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    todoChanged_.notify_all();
  }

private:
  std::mutex mutex_;
  std::condition_variable todoChanged_, doneChanged_;
  std::deque<Chunk*> todo_;
  bool stopping_ = false;
};

class Workers {
public:
  Workers(int count, const ModelState& start, SampleSource& source, ResultSink& sink, WeightedSumSource& weightedSum,
          const PipelineOptions& options)
      : start_(start), source_(source), sink_(sink), weightedSum_(weightedSum), options_(options) {
    for (int i = 0; i < count; ++i) threads_.emplace_back([this] { Work(); });
  }
  ~Workers() {
    queue_.Stop();
    for (std::thread& t : threads_) t.join();
  }
  void Submit(Chunk* chunk) { queue_.Submit(chunk); }
  void WaitFor(Chunk* chunk) { queue_.WaitFor(chunk); }

private:
  void Work() {
    ModelState work = start_;
    while (Chunk* chunk = queue_.Take()) {
      try {
        for (std::size_t i = 0; i < chunk->count; ++i) {
          SampleRow& row = chunk->rows[i];
          Restart(work, start_);
          source_.Enter(work, row);
          const bool solved = SolveRow(work, row, weightedSum_, options_);
          sink_.Prepare(row, solved ? &work : nullptr);
        }
      } catch (...) {
        chunk->error = std::current_exception();
      }
      queue_.Done(chunk);
    }
  }

  const ModelState& start_;
  SampleSource& source_;
  ResultSink& sink_;
  WeightedSumSource& weightedSum_;
  const PipelineOptions& options_;
  ChunkQueue queue_;
  std::vector<std::thread> threads_;
};

PipelineSummary RunParallel(const ModelState& start, SampleSource& source, ResultSink& sink,
                            WeightedSumSource& weightedSum, const PipelineOptions& options, int threads) {
  PipelineSummary summary;
  summary.threads = threads;
  Writer writer(sink, options.onFailure, summary);
  std::vector<Chunk> chunks(static_cast<std::size_t>(threads) * std::max<std::size_t>(1, options.chunksPerThread));
  Workers workers(threads, start, source, sink, weightedSum, options);
  FlowChunks(workers, source, writer, chunks, std::max<std::size_t>(1, options.rowsPerChunk), [](const SampleRow*) {});
  return summary;
}

// The carried-over state solved on a thread of its own: the chunks go to it
// in input order and it takes them in that order, so every row starts from
// the state the row before it left, as in RunSequential. Each row leaves a
// copy of the state for the sink, written on the calling thread.
class CarriedSolver {
public:
  CarriedSolver(ModelState& state, SampleSource& source, ResultSink& sink, WeightedSumSource& weightedSum,
                const PipelineOptions& options)
      : state_(state), source_(source), sink_(sink), weightedSum_(weightedSum), options_(options),
        thread_([this] { Work(); }) {}
  ~CarriedSolver() { Join(); }
  void Submit(Chunk* chunk) { queue_.Submit(chunk); }
  void WaitFor(Chunk* chunk) { queue_.WaitFor(chunk); }
  // No further rows are solved; the thread ends. After it the state is the
  // caller's again.
  void Join() {
    queue_.Stop();
    if (thread_.joinable()) thread_.join();
  }

private:
  void Work() {
    // With Stop, no row after the first failed one is solved: the run ends there.
    bool halted = false;
    while (Chunk* chunk = queue_.Take()) {
      try {
        for (std::size_t i = 0; i < chunk->count && !halted; ++i) {
          SampleRow& row = chunk->rows[i];
          source_.Enter(state_, row);
          const bool solved = SolveRow(state_, row, weightedSum_, options_);
          if (!row.solved) row.solved = std::make_unique<ModelState>();
          *row.solved = state_;
          if (!solved && options_.onFailure == FailurePolicy::Stop)
            halted = true;
          else
            sink_.Prepare(row, solved ? &state_ : nullptr);
        }
      } catch (...) {
        chunk->error = std::current_exception();
        halted = true;
      }
      queue_.Done(chunk);
    }
  }

  ModelState& state_;
  SampleSource& source_;
  ResultSink& sink_;
  WeightedSumSource& weightedSum_;
  const PipelineOptions& options_;
  ChunkQueue queue_;
  std::thread thread_; // last: started once everything it uses is there
};

PipelineSummary RunOverlapped(ModelState& state, SampleSource& source, ResultSink& sink, WeightedSumSource& weightedSum,
                              const PipelineOptions& options) {
  PipelineSummary summary;
  summary.threads = 2;
  Writer writer(sink, options.onFailure, summary);
  std::vector<Chunk> chunks(std::max<std::size_t>(2, options.chunksPerThread));
  const SampleRow* writing = nullptr; // the row being written, whose state the run ends with
  CarriedSolver solver(state, source, sink, weightedSum, options);
  try {
    FlowChunks(solver, source, writer, chunks, std::max<std::size_t>(1, options.rowsPerChunk),
               [&](const SampleRow* row) { writing = row; });
  } catch (...) {
    // The solver may be ahead: the state goes back to the row the run ended at.
    solver.Join();
    if (writing != nullptr && writing->solved) state = *writing->solved;
    throw;
  }
  solver.Join();
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
