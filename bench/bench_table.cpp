// The table mode end to end: vontralek-cli on a CSV of 1,000,000 rows cycled
// from the example waters (data/example-waters.csv), for 1 and 2 threads,
// rows per second and the program's peak resident memory.
// Targets: >= 40,000 rows/s on one thread with the specified model, >= 1.8
// times that on two, peak RSS < 100 MB. The CPU time per row (user + system)
// is to be read beside bench_speciation's CPU time per sample of the same model:
// with the ion-association model at most 1.6 times it on one thread.
//
//   bench_table [rows] [model]      (vontralek-cli is taken from this program's folder)

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;

// The analyses of the example waters as table rows (pH, alkalinity meq/L,
// Na, K, Ca, Mg, Cl, NO3, SO4 mmol/L).
std::vector<std::string> ExampleRows() {
  std::ifstream in(std::string(VONTRALEK_DATA_DIR) + "/example-waters.csv");
  std::vector<std::string> rows;
  std::string line;
  std::getline(in, line); // header: id,description,source,pH,alk_meq_L,Na,...
  while (std::getline(in, line)) {
    // The last nine fields are the numbers (description and source are quoted and may hold commas).
    std::vector<std::string> fields;
    std::size_t end = line.size();
    for (int i = 0; i < 9; ++i) {
      const std::size_t comma = line.rfind(',', end - 1);
      fields.insert(fields.begin(), line.substr(comma + 1, end - comma - 1));
      end = comma;
    }
    std::string row;
    for (const std::string& f : fields) row += (row.empty() ? "" : ",") + f;
    rows.push_back(line.substr(0, line.find(',')) + "," + row);
  }
  return rows;
}

struct Result {
  double seconds = 0;
  double cpuSeconds = 0; // user + system time of the program
  long peakKiB = 0;
  int status = 0;
};

Result RunCli(const fs::path& cli, const std::vector<std::string>& args) {
  std::vector<char*> argv{const_cast<char*>(cli.c_str())};
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  const auto start = std::chrono::steady_clock::now();
  pid_t pid = 0;
  Result r;
  if (posix_spawn(&pid, cli.c_str(), nullptr, nullptr, argv.data(), environ) != 0) {
    r.status = -1;
    return r;
  }
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  r.peakKiB = usage.ru_maxrss;
  const auto seconds = [](const timeval& t) {
    return static_cast<double>(t.tv_sec) + 1e-6 * static_cast<double>(t.tv_usec);
  };
  r.cpuSeconds = seconds(usage.ru_utime) + seconds(usage.ru_stime);
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

} // namespace

int main(int argc, char** argv) {
  const long rows = argc > 1 ? std::atol(argv[1]) : 1000000;
  const std::string model = argc > 2 ? argv[2] : "specified";
  const fs::path cli = fs::canonical("/proc/self/exe").parent_path() / "vontralek-cli";
  const fs::path folder = fs::temp_directory_path() / "vontralek_bench_table";
  fs::create_directories(folder);
  const fs::path input = folder / "in.csv", output = folder / "out.csv";
  {
    const std::vector<std::string> waters = ExampleRows();
    std::ofstream out(input);
    out << "sample,pH,alkalinity_meq_L,Na_mmol_L,K_mmol_L,Ca_mmol_L,Mg_mmol_L,Cl_mmol_L,NO3_mmol_L,SO4_mmol_L\n";
    for (long i = 0; i < rows; ++i) out << waters[static_cast<std::size_t>(i) % waters.size()] << '\n';
  }
  std::printf("%ld rows cycled from %s, model %s, %.1f MB of input\n", rows, "the example waters", model.c_str(),
              static_cast<double>(fs::file_size(input)) / 1e6);
  double oneThread = 0;
  for (const int threads : {1, 2}) {
    const Result r =
        RunCli(cli, {input.string(), "-o", output.string(), "--model", model, "--threads", std::to_string(threads)});
    if (r.status != 0) {
      std::fprintf(stderr, "vontralek-cli failed (status %d)\n", r.status);
      return 1;
    }
    const double rate = static_cast<double>(rows) / r.seconds;
    if (threads == 1) oneThread = rate;
    std::printf("threads %d: %.2f s, %.0f rows/s (%.2f x one thread), CPU %.2f us per row, peak RSS %.1f MB\n", threads,
                r.seconds, rate, rate / oneThread, 1e6 * r.cpuSeconds / static_cast<double>(rows),
                static_cast<double>(r.peakKiB) / 1024.0);
  }
  std::printf("output %.1f MB\n", static_cast<double>(fs::file_size(output)) / 1e6);
  fs::remove_all(folder);
  return 0;
}
