// A whole batch run on a generated workbook of 10,000 samples: open, read,
// solve, write and save timed separately, and the peak resident memory.
// Target: under 2 s end to end and under 300 MB.
//
//   bench_run [samples] [repeats]

#include <stdlib.h>
#include <sys/resource.h>
#include <xlsxwriter.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "run/Run.h"

namespace {

namespace fs = std::filesystem;

std::vector<double> DefaultLogK() {
  std::ifstream in(std::string(VONTRALEK_DATA_DIR) + "/default-logk.csv");
  std::vector<double> logK;
  std::string line;
  std::getline(in, line); // header
  while (std::getline(in, line)) {
    std::stringstream fields(line);
    std::string row, reaction, value;
    std::getline(fields, row, ',');
    std::getline(fields, reaction, ',');
    std::getline(fields, value, ',');
    logK.push_back(std::stod(value));
  }
  return logK;
}

// The four sheets with the default parameters and `samples` batch rows that
// cycle through four natural waters (pH, alkalinity meq/L, Na, K, Ca, Mg, Cl,
// NO3, SO4 mmol/L), each row slightly scaled so that no two solves are alike.
void MakeWorkbook(const fs::path& path, int samples) {
  const std::vector<double> logK = DefaultLogK();
  if (logK.size() != 30) throw std::runtime_error("data/default-logk.csv should hold 30 constants");
  lxw_workbook_options options{};
  options.constant_memory = LXW_TRUE;
  lxw_workbook* wb = workbook_new_opt(path.c_str(), &options);
  workbook_add_worksheet(wb, "Main");
  lxw_worksheet* batch = workbook_add_worksheet(wb, "Batch");
  lxw_worksheet* constants = workbook_add_worksheet(wb, "Constants");
  lxw_worksheet* charges = workbook_add_worksheet(wb, "Charges");

  const double waters[4][9] = {
      {6.8, 0.895, 0.259, 0.04, 0.26, 0.071, 0.03, 0, 0.025},
      {7.55, 4.07674, 0.0199395, 0.0199395, 1.19637, 1.00695, 0.0199395, 0, 0.159516},
      {8.22, 2.37541, 479.15, 10.4425, 10.5241, 54.372, 558.433, 0.004785, 28.8817},
      {6.61, 4.8526, 31.7781, 2.53109, 11.2404, 4.52407, 17.7874, 0, 19.7903},
  };
  worksheet_write_string(batch, 0, 0, "Sample", nullptr);
  for (int k = 1; k <= samples; ++k) {
    const double* w = waters[(k - 1) % 4];
    const double scale = 1.0 + ((k - 1) / 4 % 50) / 100.0;
    const auto row = static_cast<lxw_row_t>(k);
    worksheet_write_number(batch, row, 0, k, nullptr);
    worksheet_write_number(batch, row, 1, w[0], nullptr);
    for (lxw_col_t c = 2; c <= 9; ++c) worksheet_write_number(batch, row, c, w[c - 1] * scale, nullptr);
  }

  // Worksheet 3: constants 1-6 in B5:G5, complex constants in C13:F18.
  for (int i = 1; i <= 6; ++i) worksheet_write_number(constants, 4, static_cast<lxw_col_t>(i), logK[i - 1], nullptr);
  for (int h = 0; h <= 5; ++h)
    for (int c = 1; c <= 4; ++c)
      worksheet_write_number(constants, static_cast<lxw_row_t>(12 + h), static_cast<lxw_col_t>(1 + c),
                             logK[4 * h + c + 6 - 1], nullptr);

  // Worksheet 4: charges B4:L4, weights B6:L6; complexes B10:M11, B14:M15;
  // E19 start value (left empty: 0), E20 scale 1.
  const int speciesCharge[11] = {+1, -1, +1, +1, +2, +2, -1, -1, -2, -1, -2};
  const int complexCharge[24] = {0, 0, +1, +1, 0, 0, +1, +1, 0, 0, +1, +1, -1, -1, 0, 0, 0, 0, +1, +1, -1, -1, 0, 0};
  for (int i = 1; i <= 11; ++i)
    worksheet_write_number(charges, 3, static_cast<lxw_col_t>(i), speciesCharge[i - 1], nullptr);
  for (int i = 1; i <= 11; ++i) worksheet_write_number(charges, 5, static_cast<lxw_col_t>(i), 1, nullptr);
  for (int j = 1; j <= 12; ++j)
    worksheet_write_number(charges, 9, static_cast<lxw_col_t>(j), complexCharge[j - 1], nullptr);
  for (int j = 1; j <= 12; ++j) worksheet_write_number(charges, 10, static_cast<lxw_col_t>(j), 1, nullptr);
  for (int j = 1; j <= 12; ++j)
    worksheet_write_number(charges, 13, static_cast<lxw_col_t>(j), complexCharge[j + 11], nullptr);
  for (int j = 1; j <= 12; ++j) worksheet_write_number(charges, 14, static_cast<lxw_col_t>(j), 1, nullptr);
  worksheet_write_number(charges, 19, 4, 1, nullptr);
  if (workbook_close(wb) != LXW_NO_ERROR) throw std::runtime_error("cannot write " + path.string());
}

double Seconds(std::chrono::steady_clock::time_point from) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - from).count();
}

} // namespace

int main(int argc, char** argv) {
  const int samples = argc > 1 ? std::stoi(argv[1]) : 10000;
  const int repeats = argc > 2 ? std::stoi(argv[2]) : 3;
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
    MakeWorkbook(generated, samples);
    std::printf("batch of %d samples, %.1f kB workbook\n", samples,
                static_cast<double>(fs::file_size(generated)) / 1024.0);
    std::vector<double> totals;
    for (int i = 0; i < repeats; ++i) {
      fs::copy_file(generated, work, fs::copy_options::overwrite_existing);
      vontralek::ModelState state;
      const vontralek::RunRequest request{work, std::nullopt, vontralek::DataSheet::Batch,
                                          vontralek::CarbonatePair::AlkalinityPH};
      const auto start = std::chrono::steady_clock::now();
      const vontralek::RunSummary s = vontralek::RunWorkbook(state, request, nullptr);
      const double total = Seconds(start);
      totals.push_back(total);
      std::printf("run %d: %lld samples; open %.3f s, read %.3f s, solve %.3f s, write %.3f s, save %.3f s; "
                  "total %.3f s\n",
                  i + 1, static_cast<long long>(s.samplesDone), s.openSeconds, s.readSeconds, s.solveSeconds,
                  s.writeSeconds, s.saveSeconds, total);
    }
    std::sort(totals.begin(), totals.end());
    struct rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    const double peakMB = static_cast<double>(usage.ru_maxrss) / 1024.0; // ru_maxrss is in kB on Linux
    const double best = totals.front(), median = totals[totals.size() / 2];
    std::printf("best %.3f s, median %.3f s (target < 2 s): %s\n", best, median, median < 2.0 ? "met" : "MISSED");
    std::printf("peak resident memory %.1f MB (target < 300 MB): %s\n", peakMB, peakMB < 300.0 ? "met" : "MISSED");
    return 0;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "bench_run: %s\n", error.what());
    return 1;
  }
}
