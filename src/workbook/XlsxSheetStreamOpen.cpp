// The check of a large worksheet at open, before it is edited as a stream of
// rows: every row parsed once and let go, so that damage is reported before
// anything is calculated, and what a run needs to know ahead noted (column A,
// the masters of shared formulas, the row count).

#include <cstring>

#include "workbook/NumberText.h"
#include "workbook/PackageReader.h"
#include "workbook/References.h"
#include "workbook/RowReadAhead.h"
#include "workbook/TemporarySpace.h"
#include "workbook/UnkeptText.h"
#include "workbook/XlsxSheet.h"
#include "workbook/XlsxSheetStream.h"
#include "workbook/XlsxXml.h"

namespace vontralek::workbook {

using namespace xml;

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

} // namespace vontralek::workbook
