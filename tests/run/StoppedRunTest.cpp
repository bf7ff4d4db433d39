// What a run leaves in the workbook when it stops (an error under "stop", a signal) or calculates nothing, and the
// carbonate pair the sheet's headings show: on a sheet edited whole and on one edited as a stream of rows.

#include <gmock/gmock.h>

#include <unistd.h>

#include <csignal>
#include <fstream>

#include <fmt/format.h>

#include "TestSupport.h"
#include "run/Interruption.h"
#include "run/Run.h"
#include "workbook/XlsxWorkbook.h"

namespace vontralek {
namespace {

using namespace testing;
using ::testing::HasSubstr;
using workbook::XlsxWorkbook;
namespace fs = std::filesystem;

using Edits = std::vector<std::tuple<int, const char*, CellValue>>; // worksheet, cell, value

fs::path Folder() {
  const fs::path folder = fs::temp_directory_path() / ("vontralek-stopped-" + std::to_string(getpid()));
  return fs::create_directories(folder), folder;
}

// n samples on the Batch sheet (the spring, the recharge water, the seawater in turn) and the Main sheet's spring.
MemoryWorkbook Waters(int n, const char* onFailure) {
  std::vector<Analysis> waters;
  for (int k = 1; k <= n; ++k) waters.push_back(std::array{kSpring, kRecharge, kSeawater}[k % 3]);
  MemoryWorkbook wb = BatchBook(waters);
  Put(wb.Sheet(4), "E26", Text(onFailure));
  PutAnalysis(wb.Sheet(1), 5, 1, kSpring);
  return wb;
}

std::string XlsxBytes(MemoryWorkbook& wb) {
  const fs::path path = Folder() / "book.xlsx";
  WriteXlsx(path, wb);
  return ReadFile(path);
}

std::unique_ptr<XlsxWorkbook> Open(const std::string& bytes, bool streamed) {
  return XlsxWorkbook::FromBytes(bytes, "book.xlsx", {.streamFromSize = streamed ? 1u : 1ull << 40});
}

std::string Edit(const std::string& bytes, const Edits& edits) {
  auto book = Open(bytes, false);
  for (const auto& [sheet, a1, v] : edits) {
    const auto [row, column] = At(a1);
    workbook::Worksheet& s = book->Worksheets(sheet);
    if (v.kind == CellValue::Kind::Number) s.SetNumber(row, column, v.number);
    if (v.kind == CellValue::Kind::Text) s.SetText(row, column, v.text);
    if (v.kind == CellValue::Kind::Empty) s.SetEmpty(row, column);
  }
  return book->SaveToBytes();
}

// A batch run over the package, the sheet streamed or edited whole, stopped by a signal when sample stopAt is shown:
// the error, how far it got and the package saved after it.
struct BatchRun : ProgressListener {
  BatchRun(const std::string& bytes, bool streamed, std::int64_t stopAt = 0) : at(stopAt) {
    auto book = Open(bytes, streamed);
    std::tie(state.SheetMode, state.InputPair) = std::tuple(DataSheet::Batch, CarbonatePair::AlkalinityPH);
    RunOptions options;
    options.stopSignal = &signal;
    try {
      RunCalculation(state, *book, this, &summary, options);
    } catch (const RunError& e) {
      error = e.what();
    }
    EXPECT_EQ(book->Streamed(2), streamed);
    saved = book->SaveToBytes();
  }
  void OnProgress(const ProgressUpdate& update) override {
    if (update.sample == at) signal = SIGINT;
  }
  bool LooksAtTheState() const override { return false; }
  // Columns K to CE of a row (results, extra results, status): "K2=0.93 L2=..." for the cells that hold anything.
  std::string Row(int row) const {
    std::string cells;
    const auto book = Open(saved, false);
    for (int column = At("K1").second; column <= At("CE1").second; ++column) {
      const CellValue v = book->Worksheets(2).Value(row, column);
      if (!v.IsEmpty()) cells += workbook::CellAddress(row, column) + "=" + v.text + fmt::format("{}", v.number) + " ";
    }
    return cells;
  }
  std::int64_t at;
  std::atomic<int> signal{0};
  ModelState state;
  RunSummary summary;
  std::string error, saved;
};

// A first run with "continue" fills every row and "ok"; then row 5 becomes invalid (Na -5) and row 6 changes (Na 500),
// and a run with "stop" ends at row 5: its reason in CE5, rows 6 and 7 emptied (nothing there claims a result), rows 2
// to 4 recalculated. The same inputs as the first run's give its results again. A signal: every row after the last one
// written is emptied.
TEST(StoppedRun, LeavesNoRowClaimingAResultItDoesNotHold) {
  MemoryWorkbook wb = Waters(6, "continue");
  const std::string start = XlsxBytes(wb);
  for (const bool streamed : {false, true}) {
    SCOPED_TRACE(streamed ? "streamed" : "whole");
    const BatchRun first(start, streamed);
    ASSERT_EQ(first.error, "");
    for (int row = 2; row <= 7; ++row) ASSERT_THAT(first.Row(row), HasSubstr("CE" + std::to_string(row) + "=ok"));

    const BatchRun second(Edit(first.saved, {{2, "D5", Num(-5)}, {2, "D6", Num(500)}, {4, "E26", Text("stop")}}),
                          streamed);
    EXPECT_THAT(second.error, AllOf(HasSubstr("row 5"), HasSubstr("D5")));
    for (int row = 2; row <= 4; ++row) EXPECT_EQ(second.Row(row), first.Row(row));
    EXPECT_THAT(second.Row(5),
                AllOf(::testing::StartsWith("CE5="), HasSubstr("row 5"), HasSubstr("D5"), HasSubstr("negative")));
    EXPECT_EQ(second.Row(6) + second.Row(7), "");

    const BatchRun third(Edit(second.saved, {{2, "D5", Num(kRecharge[2])}, {2, "D6", Num(kSeawater[2])}}), streamed);
    for (int row = 2; row <= 7; ++row) EXPECT_EQ(third.Row(row), first.Row(row));

    const BatchRun stopped(first.saved, streamed, 3);
    EXPECT_THAT(stopped.error, HasSubstr("stopped by Ctrl-C"));
    ASSERT_GE(stopped.summary.samplesReached, 1);
    for (int row = 2; row <= 7; ++row)
      EXPECT_EQ(stopped.Row(row), row - 1 <= stopped.summary.samplesReached ? first.Row(row) : "") << row;
  }
}

// A batch long enough to be read far ahead of the rows being written, solved beside the reading and writing: every
// sample calculated, the streamed sheet's results those of the sheet edited whole.
TEST(StreamedBatch, ReadAheadAndWrittenBehindGivesTheWholeSheetsResults) {
  MemoryWorkbook wb = Waters(3000, "stop");
  const std::string start = XlsxBytes(wb);
  const BatchRun streamed(start, true), whole(start, false);
  EXPECT_EQ(streamed.error, "");
  EXPECT_EQ(streamed.summary.samplesDone, 3000);
  for (const int row : {2, 1100, 2204, 3001}) {
    EXPECT_NE(streamed.Row(row), "");
    EXPECT_EQ(streamed.Row(row), whole.Row(row)) << row;
  }
}

// A run that calculates no sample leaves the file byte for byte as it was, whether the Batch sheet is small or over 1
// MB (5,000 rows, read as a stream): refused before the first write, naming the cells (headings of another pair, the
// pair they show and how to change it; a user's text where a heading goes; a constant every sample needs left out;
// E19), or a batch without samples (A2 empty). The pair the headings show, or empty headings: the run goes on.
TEST(StoppedRun, ARunThatCalculatesNothingLeavesTheFileByteForByte) {
  const DataSheet M = DataSheet::Main, B = DataSheet::Batch;
  const CarbonatePair ph = CarbonatePair::AlkalinityPH, pco2 = CarbonatePair::AlkalinityPCO2,
                      hco3 = CarbonatePair::BicarbonateCarbonate;
  using Words = std::vector<const char*>;
  // clang-format off
  const std::tuple<DataSheet, CarbonatePair, Edits, Words> cases[] = {
      {B, pco2, {{2, "B1", Text("pH")}, {2, "C1", Text("Alk/meq/L")}},
       {"cells B1:C1", "alkalinity and pH (B1: \"pH\")", "alkalinity and pCO2", "clear B1:C1 to change the sheet's pair"}},
      {B, ph, {{2, "B1", Text("[CO32-]/mmol/L")}}, {"B1:C1", "bicarbonate and carbonate", "clear B1:C1"}},
      {B, hco3, {{2, "C1", Text("Alk/meq/L")}},
       {"C1: \"Alk/meq/L\"", "alkalinity and pH, alkalinity and pCO2 or alkalinity and DIC"}},
      {M, ph, {{1, "A4", Text("[CO32-]")}, {1, "B4", Text("[HCO3-]")}}, {"cells A4:B4", "clear A4:B4 to change"}},
      {B, ph, {{2, "B1", Text("Field pH")}}, {"cell B1 holds \"Field pH\"", "heading \"pH\""}},
      {M, ph, {{1, "B4", Num(7)}}, {"cell B4 holds a number", "heading \"Alk\""}},
      {B, ph, {{2, "C1", Text("pH")}}, {"cell C1 holds \"pH\"", "heading \"Alk/meq/L\""}},
      {B, ph, {{3, "D5", {}}}, {"D5", "first dissociation constant", "every sample needs it"}},
      {M, pco2, {{3, "B5", Num(0)}}, {"B5", "CO2 solubility"}},
      {B, hco3, {{3, "C5", {}}}, {"C5", "ion product of water"}},
      {M, ph, {{3, "E5", {}}}, {"E5", "second dissociation"}},
      {B, ph, {{4, "E19", Text("start")}}, {"E19", "start"}},
      {B, ph, {{2, "A2", {}}}, {}},
      {B, pco2, {{2, "B1", Text("pCO2")}}, {nullptr}},
      {M, hco3, {{1, "A4", Text("[CO32-]")}, {1, "B4", {}}}, {nullptr}}};
  // clang-format on
  const fs::path path = Folder() / "nothing.xlsx";
  for (const int rows : {3, 5000}) {
    MemoryWorkbook wb = Waters(rows, "stop");
    const std::string start = XlsxBytes(wb);
    for (const auto& [sheet, pair, edits, words] : cases) {
      SCOPED_TRACE(std::to_string(rows) + " rows, " + std::get<1>(edits.front()));
      const std::string bytes = Edit(start, edits);
      std::ofstream(path, std::ios::binary) << bytes;
      EXPECT_EQ(XlsxWorkbook::FromFile(path)->Streamed(2), rows > 3);
      RunRequest request{path, std::nullopt, sheet, pair, {}};
      ModelState state;
      std::string error;
      try {
        EXPECT_EQ(RunWorkbook(state, request, nullptr).samplesDone > 0, !words.empty() && !words[0]);
      } catch (const RunError& e) {
        error = e.what();
      }
      if (!words.empty() && !words[0]) continue; // calculated
      for (const char* word : words) EXPECT_THAT(error, HasSubstr(word));
      EXPECT_THAT(error, words.empty() ? HasSubstr("") : HasSubstr("the workbook was not changed"));
      EXPECT_TRUE(ReadFile(path) == bytes) << "the file was rewritten";
    }
  }
}

// An .ods (or .xls) workbook that calculates nothing is not converted back: a stand-in for LibreOffice gives the
// workbook as .xlsx and records every conversion; only the one to .xlsx takes place, and the file stays as it was.
TEST(StoppedRun, AConvertedWorkbookThatCalculatesNothingIsNotConvertedBack) {
  const fs::path folder = Folder() / "office", log = folder / "conversions";
  fs::create_directories(folder / "bin");
  MemoryWorkbook wb = Waters(3, "stop");
  {
    std::ofstream(folder / "as.xlsx", std::ios::binary) << Edit(XlsxBytes(wb), {{3, "D5", {}}});
    std::ofstream(folder / "bin" / "soffice") << "#!/bin/sh\n"
                                                 "while [ $# -gt 0 ]; do case \"$1\" in --convert-to) f=$2; shift;;"
                                                 " --outdir) d=$2; shift;; -*) ;; *) in=$1;; esac; shift; done\n"
                                                 "echo \"$f\" >> \"$LOG\"; stem=$(basename \"$in\"); stem=${stem%.*}\n"
                                                 "case \"$f\" in xlsx) cp \"$XLSX\" \"$d/$stem.xlsx\";; "
                                                 "*) cp \"$in\" \"$d/$stem.ods\";; esac\n";
    std::ofstream(folder / "book.ods") << "not read by the stand-in";
  }
  fs::permissions(folder / "bin" / "soffice", fs::perms::owner_all);
  const std::string path = std::getenv("PATH");
  ::setenv("PATH", ((folder / "bin").string() + ":" + path).c_str(), 1);
  ::setenv("XLSX", (folder / "as.xlsx").c_str(), 1);
  ::setenv("LOG", log.c_str(), 1);
  const RunRequest request{folder / "book.ods", std::nullopt, DataSheet::Batch, CarbonatePair::AlkalinityPH, {}};
  ModelState state;
  EXPECT_THROW(RunWorkbook(state, request, nullptr), RunError); // log K2 left out
  std::ofstream(folder / "as.xlsx", std::ios::binary) << Edit(XlsxBytes(wb), {{2, "A2", {}}});
  EXPECT_EQ(RunWorkbook(state, request, nullptr).samplesReached, 0); // no sample
  ::setenv("PATH", path.c_str(), 1);
  EXPECT_EQ(ReadFile(log), "xlsx\nxlsx\n");
  EXPECT_EQ(ReadFile(folder / "book.ods"), "not read by the stand-in");
}

// The handler notes SIGINT or SIGTERM instead of ending the program (in a child process: without the handler the
// signal ends it); the run polls it between samples.
TEST(StoppedRun, TheStopHandlerNotesTheSignal) {
  for (const int signal : {SIGINT, SIGTERM}) {
    EXPECT_EXIT(
        {
          InstallStopHandlers();
          std::raise(signal);
          std::exit(StopSignal().load() == signal ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "")
        << signal;
  }
}

} // namespace
} // namespace vontralek
