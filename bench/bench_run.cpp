// A whole batch run on a generated workbook of 10,000 samples: open, read,
// solve, write and save timed separately (the save split into the sheet XML,
// deflate, the package and the file), and the peak resident memory of the
// runs (the workbook is generated in a child process). A Batch sheet of more
// than 1 MB (some 3,000 rows) is edited as a stream: its rows are deflated on
// a thread of their own while the run writes (that deflate time overlaps the
// run's). With a second core the samples are solved on it while the rows are
// read and written: the solve time shown is then the time the reading and
// writing waited for it. The CPU time of all threads and of the calling one
// shows the work done when other programs share the cores.
// Targets: 10,000 samples in at most 0.30 s (median), 100,000 in under 3.5 s,
// under 300 MB at every size (up to 1,048,575 samples, a full sheet).
//
// The CPU time per sample is to be read beside bench_speciation's for the same
// model; BENCH_MODEL=ion-association runs the workbook's batch with that model.
//
//   bench_run [samples] [repeats] [keep.xlsx]   (keep: a copy of the last result)

#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "run/Run.h"
#include "workbook/XlsxWorkbook.h"

namespace {

namespace fs = std::filesystem;

// The four sheets with the shipped parameters and `samples` batch rows that
// cycle through four natural waters (pH, alkalinity meq/L, Na, K, Ca, Mg, Cl,
// NO3, SO4 mmol/L), each row slightly scaled so that no two solves are alike.
void MakeWorkbook(const fs::path& path, int samples) {
  using namespace vontralek::testing;
  MemoryWorkbook wb;
  FillDefaultParameters(wb);
  const Analysis kFourth{6.61, 4.8526, 31.7781, 2.53109, 11.2404, 4.52407, 17.7874, 0, 19.7903};
  const Analysis* waters[] = {&kSpring, &kRecharge, &kSeawater, &kFourth};
  wb.Sheet(2).Put(1, 1, Text("Sample"));
  for (int k = 1; k <= samples; ++k) {
    Analysis water = *waters[(k - 1) % 4];
    const double scale = 1.0 + ((k - 1) / 4 % 50) / 100.0;
    for (std::size_t i = 1; i < water.size(); ++i) water[i] *= scale; // all but the pH
    wb.Sheet(2).Put(k + 1, 1, Num(k));
    PutAnalysis(wb.Sheet(2), k + 1, 2, water);
  }
  WriteXlsx(path.string(), wb);
}

// User and system time of every thread of this process: on a machine that
// other work shares, the work done, whatever the wall time.
double CpuSeconds(int who = RUSAGE_SELF) {
  struct rusage usage {};
  getrusage(who, &usage);
  const auto seconds = [](const timeval& t) {
    return static_cast<double>(t.tv_sec) + 1e-6 * static_cast<double>(t.tv_usec);
  };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

double Seconds(std::chrono::steady_clock::time_point from) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - from).count();
}

} // namespace

int main(int argc, char** argv) {
  const int samples = argc > 1 ? std::stoi(argv[1]) : 10000;
  const int repeats = argc > 2 ? std::stoi(argv[2]) : 3;
  const char* keep = argc > 3 ? argv[3] : nullptr;
  // A fresh folder of its own, so that two benches at once do not collide;
  // removed at the end, whatever happened.
  std::string pattern = (fs::temp_directory_path() / "vontralek-bench-run-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) {
    std::perror("bench_run: cannot create a temporary folder");
    return 1;
  }
  const fs::path folder = pattern;
  const std::shared_ptr<void> removeFolder(nullptr, [&folder](void*) {
    std::error_code ignored;
    fs::remove_all(folder, ignored);
  });
  const fs::path generated = folder / "generated.xlsx";
  const fs::path work = folder / "batch.xlsx";
  try {
    // Generated apart: a million rows in memory would dwarf the run's peak.
    const pid_t child = fork();
    if (child == 0) {
      try {
        MakeWorkbook(generated, samples);
        _exit(0);
      } catch (const std::exception& error) {
        std::fprintf(stderr, "bench_run: %s\n", error.what());
        _exit(1);
      }
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      std::fprintf(stderr, "bench_run: the workbook could not be generated\n");
      return 1;
    }
    std::printf("batch of %d samples, %.1f kB workbook\n", samples,
                static_cast<double>(fs::file_size(generated)) / 1024.0);
    std::vector<double> totals;
    for (int i = 0; i < repeats; ++i) {
      fs::copy_file(generated, work, fs::copy_options::overwrite_existing);
      vontralek::ModelState state;
      vontralek::RunOptions options;
      const char* model = std::getenv("BENCH_MODEL");
      if (model != nullptr && std::string(model) == "ion-association")
        options.model = vontralek::SpeciationModel::IonAssociation;
      const vontralek::RunRequest request{work, std::nullopt, vontralek::DataSheet::Batch,
                                          vontralek::CarbonatePair::AlkalinityPH, options};
      const double cpuBefore = CpuSeconds(), callerBefore = CpuSeconds(RUSAGE_THREAD);
      const auto start = std::chrono::steady_clock::now();
      const vontralek::RunSummary s = vontralek::RunWorkbook(state, request, nullptr);
      const double total = Seconds(start);
      const double cpu = CpuSeconds() - cpuBefore, caller = CpuSeconds(RUSAGE_THREAD) - callerBefore;
      totals.push_back(total);
      std::printf("run %d: %lld samples; open %.3f s, read %.3f s, solve %.3f s, write %.3f s, save %.3f s; "
                  "total %.3f s (CPU %.3f s, %.3f s of it on the calling thread; CPU %.2f us per sample)\n",
                  i + 1, static_cast<long long>(s.samplesDone), s.openSeconds, s.readSeconds, s.solveSeconds,
                  s.writeSeconds, s.saveSeconds, total, cpu, caller, 1e6 * cpu / static_cast<double>(samples));
      std::printf("       solver: %.1f outer, %.1f inner passes per sample\n",
                  static_cast<double>(state.Memo.outerPasses) / static_cast<double>(state.Memo.solves),
                  static_cast<double>(state.Memo.innerPasses) / static_cast<double>(state.Memo.solves));
      const auto save = vontralek::workbook::LastSaveTimings();
      std::printf("       save: sheet XML %.3f s, deflate %.3f s, package %.3f s, file %.3f s\n", save.serializeSeconds,
                  save.deflateSeconds, save.packageSeconds, save.fileSeconds);
    }
    if (keep) fs::copy_file(work, keep, fs::copy_options::overwrite_existing);
    std::sort(totals.begin(), totals.end());
    struct rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    const double peakMB = static_cast<double>(usage.ru_maxrss) / 1024.0; // ru_maxrss is in kB on Linux
    const double best = totals.front(), median = totals[totals.size() / 2];
    // The wall-time target scales with the batch: 0.30 s per 10,000 samples
    // up to 10,000, 3.5 s per 100,000 beyond.
    const double target = samples <= 10000 ? 0.30 : 3.5 * samples / 100000.0;
    std::printf("best %.3f s, median %.3f s (target <= %.2f s): %s\n", best, median, target,
                median <= target ? "met" : "MISSED");
    std::printf("peak resident memory %.1f MB (target < 300 MB): %s\n", peakMB, peakMB < 300.0 ? "met" : "MISSED");
    return 0;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "bench_run: %s\n", error.what());
    return 1;
  }
}
