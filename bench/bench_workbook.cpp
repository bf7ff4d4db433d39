// Open a workbook, write 70,000 numbers (1,000 sample rows of 70 results, as a
// large batch does), save; prints the wall time of each step and the peak
// resident memory. Target: under 1 s and under 200 MB in all.

#include <sys/resource.h>
#include <xlsxwriter.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "workbook/Workbook.h"

namespace {

// The input: four sheets, a batch sheet with 1,000 sample rows of 10 inputs.
void MakeInput(const std::filesystem::path& path) {
  lxw_workbook* wb = workbook_new(path.c_str());
  workbook_add_worksheet(wb, "Main");
  lxw_worksheet* batch = workbook_add_worksheet(wb, "Batch");
  workbook_add_worksheet(wb, "Constants");
  workbook_add_worksheet(wb, "Charges");
  for (lxw_row_t r = 1; r <= 1000; ++r) {
    worksheet_write_string(batch, r, 0, "W", nullptr);
    for (lxw_col_t c = 1; c <= 9; ++c) worksheet_write_number(batch, r, c, 0.1 * (r + c), nullptr);
  }
  workbook_close(wb);
}

double Seconds(std::chrono::steady_clock::time_point from) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - from).count();
}

} // namespace

int main(int argc, char** argv) {
  const std::filesystem::path folder = std::filesystem::temp_directory_path() / "vontralek-bench-workbook";
  std::filesystem::create_directories(folder);
  const std::filesystem::path path = folder / "batch.xlsx";
  const int repeats = argc > 1 ? std::stoi(argv[1]) : 5;
  double best = 1e9;
  for (int i = 0; i < repeats; ++i) {
    MakeInput(path);
    const auto start = std::chrono::steady_clock::now();
    auto book = vontralek::workbook::OpenWorkbook(path);
    const double open = Seconds(start);
    auto& sheet = book->Worksheets(2);
    for (int r = 2; r <= 1001; ++r) {
      for (int c = 11; c <= 80; ++c) sheet.SetNumber(r, c, r * 1e-3 + c / 7.0);
    }
    const double write = Seconds(start) - open;
    book->Save();
    const double total = Seconds(start);
    best = std::min(best, total);
    std::printf("run %d: open %.3f s, write 70000 cells %.3f s, save %.3f s, total %.3f s\n", i + 1, open, write,
                total - open - write, total);
  }
  struct rusage usage {};
  getrusage(RUSAGE_SELF, &usage);
  std::printf("best total %.3f s (target < 1 s); peak resident memory %.1f MB (target < 200 MB); file %.2f MB\n", best,
              usage.ru_maxrss / 1024.0, std::filesystem::file_size(path) / 1048576.0);
  std::filesystem::remove_all(folder);
  return best < 1.0 && usage.ru_maxrss < 200 * 1024 ? 0 : 1;
}
