#include <chrono>
#include <exception>
#include <string>

#include "model/ParameterLoading.h"
#include "report/BatchReport.h"
#include "report/SampleReport.h"
#include "run/Run.h"
#include "run/Stopwatch.h"
#include "speciation/Speciation.h"

namespace vontralek {

namespace {

// The weighted charge sum restarts, for every sample, from the start value and
// scale the user keeps in E19 and E20 of worksheet 4.
class WorkbookWeightedSum : public WeightedSumSource {
public:
  explicit WorkbookWeightedSum(workbook::Workbook& workbook) : workbook_(workbook) {}
  void LoadWeightedSumParameters(ModelState& state) override {
    ::vontralek::LoadWeightedSumParameters(state, workbook_);
  }

private:
  workbook::Workbook& workbook_;
};

// The headings of the two carbonate input columns, with the chemical sub- and
// superscripts: CO2 has its 2 lowered, CO3 2- its 3 lowered and 2- raised,
// HCO3- its 3 lowered and - raised.
void WritePCO2Heading(workbook::Worksheet& sheet, int row, int column) {
  sheet.SetText(row, column, "pCO2");
  sheet.SetSubscript(row, column, 4, 1);
}

void WriteCarbonateHeading(workbook::Worksheet& sheet, int row, int column, const char* text) {
  sheet.SetText(row, column, text);
  sheet.SetSubscript(row, column, 4, 1);
  sheet.SetSuperscript(row, column, 5, 2);
}

void WriteBicarbonateHeading(workbook::Worksheet& sheet, int row, int column, const char* text) {
  sheet.SetText(row, column, text);
  sheet.SetSubscript(row, column, 5, 1);
  sheet.SetSuperscript(row, column, 6, 1);
}

// The headings of the two input columns of the pair, in the given row from
// the given column on (A4:B4 on the Main sheet, B1:C1 on the Batch sheet,
// where they carry their units). No pair: no headings.
void WritePairHeadings(CarbonatePair pair, workbook::Worksheet& sheet, int row, int column, bool withUnits) {
  const char* alkalinity = withUnits ? "Alk/meq/L" : "Alk";
  if (pair == CarbonatePair::AlkalinityPH) {
    sheet.SetText(row, column, "pH");
    sheet.SetText(row, column + 1, alkalinity);
  } else if (pair == CarbonatePair::AlkalinityPCO2) {
    WritePCO2Heading(sheet, row, column);
    sheet.SetText(row, column + 1, alkalinity);
  } else if (pair == CarbonatePair::BicarbonateCarbonate) {
    WriteCarbonateHeading(sheet, row, column, withUnits ? "[CO32-]/mmol/L" : "[CO32-]");
    WriteBicarbonateHeading(sheet, row, column + 1, withUnits ? "[HCO3-]/mmol/L" : "[HCO3-]");
  }
}

std::string ArithmeticHint(const ModelState& state) {
  if (state.InputPair == CarbonatePair::None) {
    return " No pair of carbonate-system variables was chosen, so the hydrogen-ion concentration stays 0: choose "
           "alkalinity and pH, alkalinity and pCO2, or bicarbonate and carbonate.";
  }
  return " Check the sample's inputs: a zero or negative pH, pCO2, alkalinity or concentration can leave the "
         "model undefined (with bicarbonate and carbonate given, the carbonate concentration must not be 0).";
}

// The two carbonate inputs of the pair from the given row, first column on:
// pH and pCO2 as entered, alkalinity meq/L -> eq/L, CO3 2- and HCO3- mmol/L ->
// mol/L. No pair: nothing is read.
void ReadPairInputs(ModelState& state, const workbook::Worksheet& sheet, int row, int column) {
  if (state.InputPair == CarbonatePair::AlkalinityPH) {
    state.PH = sheet.NumberValue(row, column);
    state.Alkalinity = sheet.NumberValue(row, column + 1) / 1000.0;
  } else if (state.InputPair == CarbonatePair::AlkalinityPCO2) {
    state.PCO2 = sheet.NumberValue(row, column);
    state.Alkalinity = sheet.NumberValue(row, column + 1) / 1000.0;
  } else if (state.InputPair == CarbonatePair::BicarbonateCarbonate) {
    state.SpeciesTable[species::Carbonate].TotalConc = sheet.NumberValue(row, column) / 1000.0;
    state.SpeciesTable[species::Bicarbonate].TotalConc = sheet.NumberValue(row, column + 1) / 1000.0;
  }
}

// An ion concentration: the cell in mmol/L, returned in mol/L. Text other than
// a number is a type mismatch, whose message then says how an ion that was not
// determined is marked on this sheet.
double IonConcentration(const workbook::Worksheet& sheet, int row, int column, const char* ndHint) {
  try {
    return sheet.NumberValue(row, column) / 1000.0;
  } catch (const TypeMismatchError& error) {
    throw TypeMismatchError(std::string(error.what()) + ndHint);
  }
}

constexpr const char* kMainNdHint =
    " The Main sheet needs a number for every ion; \"nd\" (not determined) is accepted only on the Batch sheet.";
constexpr const char* kBatchNdHint = " An ion that was not determined is marked \"nd\", in lower case.";

std::string BatchSampleText(std::int64_t k) {
  return "Batch sample " + std::to_string(k) + " (row " + std::to_string(k + 1) + " of the Batch sheet)";
}

// Runs one step of the run; any failure becomes a RunError that says where it
// happened (context, only built when needed), what went wrong, and how far the
// run got.
template <typename Context, typename Step>
void Guarded(const ModelState& state, const RunSummary& summary, Context&& context, Step&& step,
             bool arithmeticHint = false) {
  try {
    step();
  } catch (const RunError&) {
    throw;
  } catch (const ArithmeticFault& fault) {
    const std::string cause = context() + ": " + fault.what() + (arithmeticHint ? ArithmeticHint(state) : "");
    throw RunError(cause, DescribeRunProgress(CodeOf(state.SheetMode), summary, ""));
  } catch (const std::exception& error) {
    throw RunError(context() + ": " + error.what(), DescribeRunProgress(CodeOf(state.SheetMode), summary, ""));
  }
}

// A fixed context text.
auto Text(const char* text) {
  return [text] { return std::string(text); };
}

void RunSingleSample(ModelState& state, workbook::Workbook& workbook, WeightedSumSource& weightedSum,
                     RunSummary& summary) {
  summary.samplesFound = 1;
  auto start = RunClock::now();
  workbook::Worksheet* sheet = nullptr;
  Guarded(state, summary, Text("The Main sheet (worksheet 1) could not be used"), [&] {
    sheet = &workbook.Worksheets(1);
    // Headings A4 and B4 first, then the carbonate inputs of row 5: pH and
    // pCO2 as entered, alkalinity meq/L -> eq/L, HCO3- and CO3 2- mmol/L -> mol/L.
    WritePairHeadings(state.InputPair, *sheet, 4, 1, false);
  });
  Guarded(state, summary, Text("The sample on the Main sheet (row 5) could not be read"), [&] {
    ReadPairInputs(state, *sheet, 5, 1);
    // C5:I5 hold species rows 3 to 9 in mmol/L. The Main sheet has no marker
    // for an ion that was not determined: "nd" here is a type mismatch.
    for (int n = 3; n <= 9; ++n) state.SpeciesTable[n].TotalConc = IonConcentration(*sheet, 5, n, kMainNdHint);
  });
  summary.readSeconds += SecondsSince(start);

  start = RunClock::now();
  Guarded(
      state, summary, Text("The sample on the Main sheet (row 5) could not be calculated"),
      [&] { SolveSpeciation(state, weightedSum); }, true);
  summary.solveSeconds += SecondsSince(start);

  start = RunClock::now();
  Guarded(state, summary, Text("The results of the sample on the Main sheet could not be written"),
          [&] { WriteSampleReport(state, workbook); });
  summary.writeSeconds += SecondsSince(start);
  summary.samplesDone = 1;
}

void RunBatch(ModelState& state, workbook::Workbook& workbook, WeightedSumSource& weightedSum,
              ProgressListener* progress, RunSummary& summary) {
  // The last row a worksheet can have; column A is not scanned beyond it.
  constexpr std::int64_t LastSheetRow = 1048576;
  auto start = RunClock::now();
  workbook::Worksheet* sheet = nullptr;
  Guarded(state, summary, Text("The Batch sheet (worksheet 2) could not be used"), [&] {
    sheet = &workbook.Worksheets(2);
    WritePairHeadings(state.InputPair, *sheet, 1, 2, true);
    // Samples run from row 2 down to the first cell of column A that holds
    // nothing; a 0 or an empty text still marks a sample, and rows below the
    // first empty cell are not processed.
    state.SampleRowCounter = 2;
    while (state.SampleRowCounter <= LastSheetRow && !sheet->IsEmpty(static_cast<int>(state.SampleRowCounter), 1)) {
      state.SampleRowCounter += 1;
    }
    state.SampleCount = static_cast<double>(state.SampleRowCounter - 2);
  });
  summary.samplesFound = state.SampleRowCounter - 2;
  summary.readSeconds += SecondsSince(start);

  const auto sampleCount = static_cast<std::int64_t>(state.SampleCount);
  for (state.CurrentSample = 1; state.CurrentSample <= sampleCount; ++state.CurrentSample) {
    const std::int64_t k = state.CurrentSample;
    const int r = static_cast<int>(k + 1);

    // The progress is shown before the sample is read: k * 100 / N percent,
    // exactly 100 at the start of the last sample.
    state.SampleNumber = static_cast<double>(k);
    state.ProgressPercent = state.SampleNumber * 100.0 / state.SampleCount;
    const ProgressUpdate update = ShowProgress(state.ProgressPercent);
    if (progress != nullptr) progress->OnProgress(update);

    start = RunClock::now();
    Guarded(
        state, summary, [k] { return BatchSampleText(k) + " could not be read"; },
        [&] {
          ReadPairInputs(state, *sheet, r, 2);
          // D:J hold species rows 3 to 9 in mmol/L; exactly "nd" (not determined)
          // counts as 0, any other text is a type mismatch.
          for (int n = 3; n <= 9; ++n) {
            if (sheet->Value(r, n + 1).EqualsText("nd")) {
              state.SpeciesTable[n].TotalConc = 0.0;
            } else {
              state.SpeciesTable[n].TotalConc = IonConcentration(*sheet, r, n + 1, kBatchNdHint);
            }
          }
        });
    summary.readSeconds += SecondsSince(start);

    start = RunClock::now();
    Guarded(
        state, summary, [k] { return BatchSampleText(k) + " could not be calculated"; },
        [&] { SolveSpeciation(state, weightedSum); }, true);
    summary.solveSeconds += SecondsSince(start);

    start = RunClock::now();
    Guarded(
        state, summary, [k] { return "The results of " + BatchSampleText(k) + " could not be written"; },
        [&] { WriteBatchRow(state, workbook); });
    summary.writeSeconds += SecondsSince(start);
    summary.samplesDone = k;
  }
  // After a batch the counter names the last sample, whose results the state holds.
  if (sampleCount > 0) state.CurrentSample = sampleCount;
}

} // namespace

void RunCalculation(ModelState& state, workbook::Workbook& workbook, ProgressListener* progress, RunSummary* summary) {
  RunSummary local;
  RunSummary& done = summary != nullptr ? *summary : local;
  done.samplesDone = 0;
  done.samplesFound = 0;

  ComputeMachineEpsilon(state);
  const auto start = RunClock::now();
  Guarded(state, done, Text("The parameters of worksheets 3 and 4 could not be loaded"),
          [&] { LoadParameterTables(state, workbook); });
  done.readSeconds += SecondsSince(start);

  WorkbookWeightedSum weightedSum(workbook);
  if (state.SheetMode == DataSheet::Main) RunSingleSample(state, workbook, weightedSum, done);
  if (state.SheetMode == DataSheet::Batch) RunBatch(state, workbook, weightedSum, progress, done);
}

std::string DescribeRunProgress(const std::string& sheetMode, const RunSummary& summary, const std::string& savedTo) {
  const std::string saved = savedTo.empty() ? "" : " and saved to " + savedTo;
  if (sheetMode != "B") {
    if (summary.samplesDone > 0) return "The sample's results were written" + saved + ".";
    return savedTo.empty() ? "The sample was not calculated."
                           : "The sample was not calculated; the workbook was saved to " + savedTo + ".";
  }
  const std::int64_t d = summary.samplesDone;
  std::string text;
  if (d == 0) {
    text = "No sample was calculated";
    if (!savedTo.empty()) text += "; the workbook was saved to " + savedTo;
  } else if (d == 1) {
    text = "Sample 1 (row 2) was calculated" + saved;
  } else {
    text = "Samples 1 to " + std::to_string(d) + " (rows 2 to " + std::to_string(d + 1) + ") were calculated" + saved;
  }
  const std::int64_t n = summary.samplesFound;
  if (n > d) {
    if (n == d + 1) {
      text += "; sample " + std::to_string(n) + " (row " + std::to_string(n + 1) + ") was not";
    } else {
      text += "; samples " + std::to_string(d + 1) + " to " + std::to_string(n) + " (rows " + std::to_string(d + 2) +
              " to " + std::to_string(n + 1) + ") were not";
    }
  }
  return text + ". Correct the cause and run the batch again.";
}

} // namespace vontralek
