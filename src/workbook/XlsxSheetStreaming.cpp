// A large worksheet edited as a stream of rows. The DOM holds the part without
// its rows (the skeleton) and a window of rows; rows before the window have
// been written out (deflated into a temporary file), rows after it are still in
// the part read. A read a little ahead of the window (a batch reads a few
// hundred rows ahead of the rows it writes) takes the rows up to it from the
// same pass over the part that the writing takes them from, parsed once and
// kept until they are written; a read far ahead (a count of column A past what
// the check at open noted) parses the one row asked for from a second pass.
// Memory thus stays flat for a sheet that is read and written in row order, as
// a batch run does: column A scanned first, then row by row read and written.
// A write or read before the window leaves row order: the sheet is then put
// together whole and edited as a DOM. The stream's state is in
// XlsxSheetStream.h, the check of the part at open in XlsxSheetStreamOpen.cpp.
//
// Every row goes through the same parser and writer as in a sheet read whole,
// so the part written is the same, byte for byte.

#include <algorithm>
#include <climits>
#include <vector>

#include "common/Errors.h"
#include "workbook/DeflateStream.h"
#include "workbook/PackageReader.h"
#include "workbook/References.h"
#include "workbook/RowStream.h"
#include "workbook/XlsxSheet.h"
#include "workbook/XlsxSheetStream.h"
#include "workbook/XlsxXml.h"

namespace vontralek::workbook {

using namespace xml;

XlsxSheet::XlsxSheet(SheetContext book, Info info, int number) : book_(book), info_(std::move(info)), number_(number) {}
XlsxSheet::~XlsxSheet() = default;

std::unique_ptr<pugi::xml_document> XlsxSheet::ParseRow(const std::string& text) const {
  auto doc = std::make_unique<pugi::xml_document>();
  const pugi::xml_parse_result result = doc->load_buffer(text.data(), text.size(), kParseFlags);
  if (!result) {
    book_.package.Damaged("the part \"" + TextForMessage(info_.part) + "\" is not well-formed XML (" +
                          result.description() + " in a row)");
  }
  return doc;
}

void XlsxSheet::KeepRowsIn(const std::filesystem::path& folder) {
  if (stream_) stream_->out.MoveTo(folder);
}

std::size_t XlsxSheet::RowCount() const { return stream_ ? stream_->rowCount : rows_.size(); }

void XlsxSheet::NoteDroppedShared(const std::string& si, const std::string& text, int row, int column) {
  if (!stream_) return;
  stream_->dropped[si] = {text, row, column};
  stream_->far.clear(); // parsed before: reparsed with the formula made its own
  for (auto& [number, near] : stream_->near) ApplyDroppedShared(near, number);
}

const XlsxSheet::SharedMaster* XlsxSheet::StreamedMaster(const std::string& si) const {
  if (!stream_) return nullptr;
  const auto found = stream_->masters.find(si);
  return found == stream_->masters.end() ? nullptr : &found->second;
}

void XlsxSheet::ApplyDroppedShared(Row& row, int number) const {
  if (!stream_ || stream_->dropped.empty()) return;
  for (const DomCell& cell : row.cells) {
    pugi::xml_node f = Child(cell.node, "f");
    if (!f || std::string_view(f.attribute("t").value()) != "shared") continue;
    const auto master = stream_->dropped.find(f.attribute("si").value());
    if (master == stream_->dropped.end()) continue;
    f.remove_attribute("t");
    f.remove_attribute("si");
    f.remove_attribute("ref");
    f.text().set(
        ShiftFormula(master->second.text, number - master->second.row, cell.column - master->second.column).c_str());
  }
}

const XlsxSheet::Row* XlsxSheet::RowForReading(int row) const {
  Load();
  if (stream_ && row < stream_->windowStart) StopStreaming();
  if (!stream_ || row <= stream_->loadedUpTo) {
    const auto r = rows_.find(row);
    return r == rows_.end() ? nullptr : &r->second;
  }
  Stream& s = *stream_;
  if (const auto found = s.near.find(row); found != s.near.end()) return &found->second;
  if (const auto found = s.far.find(row); found != s.far.end()) return &found->second;
  if (row - s.loadedUpTo <= Stream::kNearReach) {
    // The rows up to it taken from the pass the writing takes them from.
    while (s.source.Look() && s.source.number <= row) {
      const int number = s.source.number;
      s.near.emplace(number, ParseSourceRow());
    }
    const auto found = s.near.find(row);
    return found == s.near.end() ? nullptr : &found->second;
  }
  Stream::Cursor& ahead = s.ahead;
  if (!ahead.rows || row <= ahead.taken) ahead.Open(book_.package, info_.part);
  while (ahead.Look() && ahead.number < row) ahead.Take();
  if (!ahead.has || ahead.number != row) return nullptr;
  ahead.Take();
  auto doc = ParseRow(ahead.text);
  int previous = row - 1;
  Row& parsed = s.far[row];
  parsed = IndexRow(doc->document_element(), previous);
  ApplyDroppedShared(parsed, row);
  parsed.own = std::move(doc);
  if (s.far.size() > Stream::kFarKept && s.far.begin()->first != row) s.far.erase(s.far.begin());
  return &parsed;
}

void XlsxSheet::Advance(int row) const {
  if (!stream_) return;
  if (row < stream_->windowStart) return StopStreaming();
  if (row <= stream_->loadedUpTo) return;
  WriteOut(row);
  Stream& s = *stream_;
  if (int next = 0; s.NextSource(next) && next == row) rows_.emplace(row, TakeSourceRow());
  s.loadedUpTo = row;
}

XlsxSheet::Row XlsxSheet::TakeSourceRow() const {
  Stream& s = *stream_;
  if (s.near.empty()) return ParseSourceRow();
  Row row = std::move(s.near.begin()->second);
  s.near.erase(s.near.begin());
  return row;
}

XlsxSheet::Row XlsxSheet::ParseSourceRow() const {
  Stream& s = *stream_;
  Row row;
  const int number = s.source.number;
  s.source.Take();
  if (s.TakeFar(number, row)) return row; // parsed already when it was read ahead
  auto doc = ParseRow(s.source.text);
  int previous = number - 1;
  row = IndexRow(doc->document_element(), previous);
  ApplyDroppedShared(row, number);
  row.own = std::move(doc);
  return row;
}

void XlsxSheet::PrintRow(int number, Row& row, std::string& out) const {
  if (row.numbers.empty()) return Print(row.node, out, {}, {});
  const std::string markName = NumbersMarkName();
  std::vector<Mark> ranges;
  const std::vector<pugi::xml_node> marks = MarkNumbers(number, row, markName, ranges);
  for (Mark& mark : ranges) mark.row_ = &row;
  std::size_t next = 0;
  Print(row.node, out, markName, [&](std::string_view value, std::string& o) {
    if (next >= ranges.size() || value != std::to_string(next)) MarkOutOfOrder(number);
    ExpandNumbers(ranges[next++], o);
    return true;
  });
  for (pugi::xml_node mark : marks) mark.parent().remove_child(mark);
}

void XlsxSheet::WriteOut(int limit) const {
  Stream& s = *stream_;
  std::string& text = s.text;
  for (;;) {
    const auto window = rows_.begin();
    int next = 0;
    const bool fromWindow = window != rows_.end() && window->first < limit;
    const bool fromSource = s.NextSource(next) && next < limit;
    if (!fromWindow && !fromSource) break;
    if (fromWindow && (!fromSource || window->first < next)) {
      PrintRow(window->first, window->second, text);
      if (window->second.node.parent() == sheetData_) sheetData_.remove_child(window->second.node);
      rows_.erase(window);
    } else {
      // A row no one asked for, through the same parser all the same.
      Row row = TakeSourceRow();
      PrintRow(next, row, text);
    }
    if (text.size() >= (1u << 16)) {
      s.out.Append(text);
      text.clear();
    }
  }
  s.out.Append(text);
  text.clear();
  s.windowStart = std::max(s.windowStart, limit);
  s.loadedUpTo = std::max(s.loadedUpTo, limit == INT_MAX ? INT_MAX : limit - 1);
}

namespace {
// The sheet's text before and after its rows: the skeleton written with a
// mark as the only content of sheetData.
void SplitAtRows(pugi::xml_document& doc, pugi::xml_node sheetData, std::string& head, std::string& tail) {
  const std::string name = NumbersMarkName();
  pugi::xml_node mark = sheetData.append_child(pugi::node_pi);
  mark.set_name(name.c_str());
  std::string text = Serialize(doc);
  sheetData.remove_child(mark);
  const std::string written = "<?" + name + "?>";
  const std::size_t at = text.find(written);
  head = text.substr(0, at);
  tail = text.substr(at + written.size());
}
} // namespace

void XlsxSheet::StopStreaming() const {
  if (!stream_) return;
  WriteOut(INT_MAX);
  std::string head, tail;
  SplitAtRows(*doc_, sheetData_, head, tail);
  const std::string text = head + stream_->out.Inflate() + tail;
  stream_.reset();
  rows_.clear();
  auto doc = std::make_unique<pugi::xml_document>();
  const pugi::xml_parse_result result = doc->load_buffer(text.data(), text.size(), kParseFlags);
  if (!result) book_.package.Damaged("the part \"" + TextForMessage(info_.part) + "\" could not be put together");
  doc_.reset();
  LoadDocument(std::move(doc));
}

DeflateStream& XlsxSheet::FinishStream() {
  UpdateDimension();
  WriteOut(INT_MAX);
  std::string head, tail;
  SplitAtRows(*doc_, sheetData_, head, tail);
  stream_->out.Finish(head, tail);
  return stream_->out;
}

void XlsxSheet::Reload() {
  stream_.reset();
  doc_.reset();
  rows_.clear();
  sheetData_ = {};
  dirty_ = written_ = false;
  minRow_ = minColumn_ = INT_MAX;
  maxRow_ = maxColumn_ = 0;
  alignments_.clear();
}

} // namespace vontralek::workbook
