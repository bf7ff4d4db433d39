// Loading the parameter tables from the shipped workbook: 100 cell reads per
// run (30 log K values, 70 charges and weights) and 2 per solve for the
// weighted sum. Run from the build's bin/ folder, where VONTRALEK.xlsx lies
// beside the programs; the workbook is opened once, outside the timing.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>

#include "layout/ParameterLoading.h"
#include "workbook/MemoryWorkbook.h"

namespace {

std::unique_ptr<vontralek::workbook::Workbook> OpenShipped() {
  const auto dir = std::filesystem::read_symlink("/proc/self/exe").parent_path();
  return vontralek::workbook::OpenWorkbook(dir / "VONTRALEK.xlsx");
}

// Through the workbook file's own cell store, as a run does.
void BM_LoadParameterTables_File(benchmark::State& st) {
  const auto book = OpenShipped();
  vontralek::ModelState state;
  for (auto _ : st) {
    vontralek::LoadParameterTables(state, *book);
    benchmark::DoNotOptimize(state.ConstantTable[30].LogK);
  }
}
BENCHMARK(BM_LoadParameterTables_File);

// Once per sample of a batch.
void BM_LoadWeightedSumParameters_File(benchmark::State& st) {
  const auto book = OpenShipped();
  vontralek::ModelState state;
  for (auto _ : st) {
    vontralek::LoadWeightedSumParameters(state, *book);
    benchmark::DoNotOptimize(state.AuxTable[vontralek::WeightedSumRecord].SumScale);
  }
}
BENCHMARK(BM_LoadWeightedSumParameters_File);

// The same reads on the in-memory workbook: the cost of the loader itself.
void BM_LoadParameterTables_Memory(benchmark::State& st) {
  vontralek::workbook::MemoryWorkbook book;
  for (int r = 1; r <= 20; ++r) {
    for (int c = 1; c <= 13; ++c) {
      book.Sheet(3).Put(r, c, vontralek::workbook::CellValue::Number(r + 0.01 * c));
      book.Sheet(4).Put(r, c, vontralek::workbook::CellValue::Number(r - 0.01 * c));
    }
  }
  vontralek::ModelState state;
  for (auto _ : st) {
    vontralek::LoadParameterTables(state, book);
    benchmark::DoNotOptimize(state.ConstantTable[30].LogK);
  }
}
BENCHMARK(BM_LoadParameterTables_Memory);

} // namespace

BENCHMARK_MAIN();
