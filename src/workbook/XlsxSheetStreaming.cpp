// A large worksheet edited as a stream of rows. The DOM holds the part without
// its rows (the skeleton) and a window of rows; rows before the window have
// been written out (deflated into a temporary file), rows after it are still in
// the part read. A read a little ahead of the window (a batch reads a few
// hundred rows ahead of the rows it writes) takes the rows up to it from the
// same pass over the part that the writing takes them from, parsed once and
// kept until they are written; a read far ahead (a count of column A past what
// the check at open noted) parses the one row asked for from a second pass.
// Memory thus stays flat for a sheet that is read and written in row order, as
// a batch run does: column A scanned first, then row by row read and written. A write or read before the window leaves
// row order: the sheet is then put together whole and edited as a DOM.
//
// Every row goes through the same parser and writer as in a sheet read whole,
// so the part written is the same, byte for byte.

#include <climits>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "common/Errors.h"
#include "workbook/DeflateStream.h"
#include "workbook/NumberText.h"
#include "workbook/PackageReader.h"
#include "workbook/References.h"
#include "workbook/RowReadAhead.h"
#include "workbook/RowStream.h"
#include "workbook/TemporarySpace.h"
#include "workbook/UnkeptText.h"
#include "workbook/XlsxSheet.h"
#include "workbook/XlsxXml.h"

namespace vontralek::workbook {

using namespace xml;

struct XlsxSheet::Stream {
  // A forward pass over the part's rows, one row looked ahead.
  struct Cursor {
    std::unique_ptr<RowStream> rows;
    bool has = false, end = false;
    std::string text;
    int number = 0;
    int taken = 0; // the last row passed
    void Open(const PackageReader& package, const std::string& part) {
      rows = std::make_unique<RowStream>(package, part);
      std::string head;
      rows->Start(head);
      has = end = false;
      taken = 0;
    }
    bool Look() {
      if (!has && !end) (rows->Read(text, number) == RowStream::Next::Row ? has : end) = true;
      return has;
    }
    void Take() {
      has = false;
      taken = number;
    }
  };
  std::string tail; // the part's text from </sheetData> on
  Cursor source;    // the rows after the window
  // Rows taken from source ahead of the window and parsed for reading, by
  // number: kept until the window reaches them (source has passed them).
  std::map<int, Row> near;
  // How far past the window a read takes the rows from source: each parsed
  // row holds a page of memory, so this many at most are kept.
  static constexpr int kNearReach = 1024;
  Cursor ahead; // reads beyond that reach
  // Rows beyond the reach parsed for reading, the latest kept (source still
  // holds them: one taken there is not parsed again).
  std::map<int, Row> far;
  static constexpr std::size_t kFarKept = 1024;
  bool TakeFar(int number, Row& row) {
    const auto found = far.find(number);
    if (found == far.end()) return false;
    row = std::move(found->second);
    far.erase(found);
    return true;
  }
  // The number of the part's next row past the window, read ahead or not.
  bool NextSource(int& number) {
    if (!near.empty()) {
      number = near.begin()->first;
      return true;
    }
    if (!source.Look()) return false;
    number = source.number;
    return true;
  }
  // Column A of every row as checked at open, by row number: whether it is
  // certainly empty or certainly not (a plain number), else unknown. Rows are
  // counted by that column before they are read; the count need not parse them.
  enum : std::uint8_t { kUnknown, kEmpty, kFilled };
  std::vector<std::uint8_t> firstColumn;
  int windowStart = 1; // rows before it are written out
  int loadedUpTo = 0;  // the part's rows up to it are in the window or written out
  std::size_t rowCount = 0;
  std::map<std::string, SharedMaster> masters, dropped; // shared formulas by si; those overwritten
  DeflateStream out;
  std::string text;
  explicit Stream(const std::filesystem::path& temporaryFolder) : out(temporaryFolder) {}
};

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

// What a read of column A will find, as far as that is certain without the
// shared strings or the checks of a value: a cell that holds nothing, or a
// number stored as such.
void XlsxSheet::NoteFirstColumn(Stream& stream, const Row& row, int number) const {
  std::uint8_t kind = Stream::kEmpty;
  if (!row.cells.empty() && row.cells.front().column == 1) {
    const pugi::xml_node cell = row.cells.front().node;
    const std::string_view type = cell.attribute("t").value();
    const pugi::xml_node v = Child(cell, "v");
    double value = 0.0;
    if (!v && !Child(cell, "f") && !Child(cell, "is")) {
      kind = Stream::kEmpty;
    } else if (v && (type.empty() || type == "n") && ParseStoredNumber(v.text().get(), value)) {
      kind = Stream::kFilled;
    } else {
      kind = Stream::kUnknown;
    }
  }
  if (stream.firstColumn.size() <= static_cast<std::size_t>(number))
    stream.firstColumn.resize(static_cast<std::size_t>(number) + 1, Stream::kEmpty);
  stream.firstColumn[static_cast<std::size_t>(number)] = kind;
}

bool XlsxSheet::IsEmpty(int row, int column) const {
  if (column == 1 && row >= 1 && row <= kMaxRow) {
    Load();
    // Only rows the run has not reached yet are as they were checked.
    if (stream_ && row >= stream_->windowStart && row > stream_->loadedUpTo) {
      const std::vector<std::uint8_t>& kinds = stream_->firstColumn;
      const std::uint8_t kind = static_cast<std::size_t>(row) < kinds.size() ? kinds[static_cast<std::size_t>(row)]
                                                                             : std::uint8_t{Stream::kEmpty};
      if (kind != Stream::kUnknown) return kind == Stream::kEmpty;
    }
  }
  return Value(row, column).IsEmpty();
}

bool XlsxSheet::LoadStreamed() const {
  RowReadAhead rows(book_.package, info_.part);
  std::string head;
  if (!rows.Start(head)) return false;
  auto stream = std::make_unique<Stream>(TemporaryFolder(book_.package.Path()));
  // The whole part is checked now, as a part read whole is, so that damage is
  // reported before anything is written.
  int last = 0, number = 0;
  pugi::xml_document checking;
  for (;;) {
    char* text = nullptr;
    std::size_t length = 0;
    const RowStream::Next next = rows.Read(text, length, number);
    if (next == RowStream::Next::Unusual) return false;
    if (next == RowStream::Next::End) break;
    if (std::memchr(text, '&', length)) {
      if (const std::string unkept = UnkeptConstruct({text, length}); !unkept.empty())
        book_.package.Damaged(SheetName() + " holds " + unkept + UnkeptReason());
    }
    // Checked and let go: parsed in place, in one document for all rows.
    const pugi::xml_parse_result parsed = checking.load_buffer_inplace(text, length, kParseFlags);
    if (!parsed) {
      book_.package.Damaged("the part \"" + TextForMessage(info_.part) + "\" is not well-formed XML (" +
                            parsed.description() + " in a row)");
    }
    int previous = number - 1;
    const Row row = IndexRow(checking.document_element(), previous);
    if (previous <= last) return false; // rows out of order: read whole
    last = previous;
    for (const DomCell& cell : row.cells) {
      pugi::xml_node f = Child(cell.node, "f");
      if (!f || std::string_view(f.attribute("t").value()) != "shared") continue;
      const std::string si = f.attribute("si").value();
      if (f.attribute("ref")) {
        stream->masters[si] = {f.text().get(), last, cell.column};
      } else if (!stream->masters.count(si)) {
        return false; // a cell before the master of its formula: read whole
      }
    }
    NoteFirstColumn(*stream, row, last);
    readCells_ = readCells_ || !row.cells.empty();
    ++stream->rowCount;
  }
  stream->tail = rows.Tail();
  auto doc = std::make_unique<pugi::xml_document>();
  const std::string skeleton = head + stream->tail;
  if (const std::string unkept = UnkeptConstruct(skeleton); !unkept.empty())
    book_.package.Damaged(SheetName() + " holds " + unkept + UnkeptReason());
  const pugi::xml_parse_result result = doc->load_buffer(skeleton.data(), skeleton.size(), kParseFlags);
  if (!result) {
    book_.package.Damaged("the part \"" + TextForMessage(info_.part) + "\" is not well-formed XML (" +
                          result.description() + ")");
  }
  LoadDocument(std::move(doc));
  stream->source.Open(book_.package, info_.part);
  stream->text.clear();
  stream_ = std::move(stream);
  return true;
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
