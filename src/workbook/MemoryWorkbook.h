#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "workbook/Workbook.h"

namespace vontralek::workbook {

// A workbook held in memory only: for tests of the code that reads and writes
// cells, and as a record of every sub- and superscript range that was set.
class MemoryWorksheet : public Worksheet {
public:
  struct Format {
    int row, column, start, length;
    bool superscript;
    bool operator==(const Format&) const = default;
  };

  MemoryWorksheet(std::string name, int number) : name_(std::move(name)), number_(number) {}

  std::string Name() const override { return name_; }
  int Number() const override { return number_; }
  CellValue Value(int row, int column) const override;
  void SetNumber(int row, int column, double value) override;
  void SetText(int row, int column, std::string_view text) override;
  void SetSubscript(int row, int column, int start, int length) override;
  void SetSuperscript(int row, int column, int start, int length) override;
  void SetEmpty(int row, int column) override;

  // Test helpers.
  void Put(int row, int column, CellValue value) { cells_[{row, column}] = std::move(value); }
  const std::map<std::pair<int, int>, CellValue>& Cells() const { return cells_; }
  const std::vector<Format>& Formats() const { return formats_; }
  // Every cell write in order, as (row, column).
  const std::vector<std::pair<int, int>>& Writes() const { return writes_; }

private:
  std::string name_;
  int number_;
  std::map<std::pair<int, int>, CellValue> cells_;
  std::vector<Format> formats_;
  std::vector<std::pair<int, int>> writes_;
};

class MemoryWorkbook : public Workbook {
public:
  explicit MemoryWorkbook(int sheetCount = 4);

  Worksheet& Worksheets(int number) override;
  int WorksheetCount() const override { return static_cast<int>(sheets_.size()); }
  void Activate(int number) override;
  void Save() override { ++saveCount_; }
  void SaveAs(const std::filesystem::path&) override { ++saveCount_; }
  std::filesystem::path Path() const override { return "memory.xlsx"; }
  void CheckSaveTo(const std::filesystem::path&) const override {}
  // Picture sheets are kept by name beside the worksheets.
  PictureSheetState PictureSheet(const std::string& name, std::string_view marker) override {
    return pictureSheets.count(name) ? PictureSheetState::Ours : Workbook::PictureSheet(name, marker);
  }
  void PutPictureSheet(const std::string& name, std::string_view, const std::vector<Picture>& pictures) override {
    pictureSheets[name] = pictures;
  }
  std::map<std::string, std::vector<Picture>> pictureSheets;

  MemoryWorksheet& Sheet(int number) { return static_cast<MemoryWorksheet&>(Worksheets(number)); }
  int ActiveSheet() const { return active_; }
  int SaveCount() const { return saveCount_; }

private:
  std::vector<std::unique_ptr<MemoryWorksheet>> sheets_;
  int active_ = 1;
  int saveCount_ = 0;
};

} // namespace vontralek::workbook
