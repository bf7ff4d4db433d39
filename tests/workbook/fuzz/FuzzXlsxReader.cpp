// libFuzzer target for the .xlsx reader: opens a package from bytes, reads
// every cell of the four sheets, then edits, saves to memory and reopens,
// checking that what was written reads back. The custom mutator mutates the
// XML inside the zip entries (and rezips them with valid checksums), so that
// the fuzzer reaches the XML handling instead of stopping at the zip layer.

#include <zip.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "model/Errors.h"
#include "workbook/XlsxWorkbook.h"

using vontralek::WorkbookError;
using vontralek::workbook::Worksheet;
using vontralek::workbook::XlsxWorkbook;

extern "C" size_t LLVMFuzzerMutate(uint8_t* data, size_t size, size_t maxSize);

namespace {

using Entries = std::vector<std::pair<std::string, std::string>>;

bool Unzip(const uint8_t* data, size_t size, Entries& entries) {
  zip_error_t error;
  zip_error_init(&error);
  zip_source_t* source = zip_source_buffer_create(data, size, 0, &error);
  zip_t* archive = source ? zip_open_from_source(source, ZIP_RDONLY, &error) : nullptr;
  if (!archive) {
    if (source) zip_source_free(source);
    return false;
  }
  bool ok = true;
  for (zip_int64_t i = 0; ok && i < zip_get_num_entries(archive, 0); ++i) {
    zip_file_t* f = zip_fopen_index(archive, static_cast<zip_uint64_t>(i), 0);
    if (!f) {
      ok = false;
      break;
    }
    std::string content;
    char buffer[4096];
    zip_int64_t n;
    while ((n = zip_fread(f, buffer, sizeof buffer)) > 0 && content.size() < (1u << 20)) content.append(buffer, n);
    ok = n >= 0;
    zip_fclose(f);
    entries.push_back({zip_get_name(archive, static_cast<zip_uint64_t>(i), 0), content});
  }
  zip_discard(archive);
  return ok && !entries.empty();
}

std::string ZipStored(const Entries& entries) {
  zip_error_t error;
  zip_error_init(&error);
  zip_source_t* source = zip_source_buffer_create(nullptr, 0, 0, &error);
  zip_source_keep(source);
  zip_t* archive = zip_open_from_source(source, ZIP_TRUNCATE, &error);
  for (const auto& [name, content] : entries) {
    zip_source_t* part = zip_source_buffer(archive, content.data(), content.size(), 0);
    const zip_int64_t index = zip_file_add(archive, name.c_str(), part, ZIP_FL_ENC_UTF_8);
    if (index >= 0) {
      zip_set_file_compression(archive, static_cast<zip_uint64_t>(index), ZIP_CM_STORE, 0);
    } else {
      zip_source_free(part); // a repeated name: the entry is left out
    }
  }
  std::string bytes;
  if (zip_close(archive) == 0) {
    zip_stat_t st;
    zip_source_open(source);
    zip_source_stat(source, &st);
    bytes.resize(st.size);
    zip_source_read(source, bytes.data(), bytes.size());
    zip_source_close(source);
  } else {
    zip_discard(archive);
  }
  zip_source_free(source);
  return bytes;
}

} // namespace

extern "C" size_t LLVMFuzzerCustomMutator(uint8_t* data, size_t size, size_t maxSize, unsigned int seed) {
  Entries entries;
  if (seed % 8 == 0 || !Unzip(data, size, entries)) return LLVMFuzzerMutate(data, size, maxSize);
  std::string& content = entries[(seed / 8) % entries.size()].second;
  const size_t used = content.size();
  content.resize(used * 2 + 64);
  content.resize(LLVMFuzzerMutate(reinterpret_cast<uint8_t*>(content.data()), used, content.size()));
  const std::string bytes = ZipStored(entries);
  if (bytes.empty() || bytes.size() > maxSize) return LLVMFuzzerMutate(data, size, maxSize);
  std::memcpy(data, bytes.data(), bytes.size());
  return bytes.size();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  try {
    auto book = XlsxWorkbook::FromBytes(std::string(reinterpret_cast<const char*>(data), size), "fuzz.xlsx");
    for (int n = 1; n <= 4; ++n) {
      Worksheet& sheet = book->Worksheets(n);
      for (const auto& [row, column] : book->CellPositions(n)) {
        try {
          (void)sheet.IsEmpty(row, column);
          (void)sheet.NumberValue(row, column);
        } catch (const WorkbookError&) {
        }
      }
    }
    // What a run does: headings with scripts, numbers, another sheet shown.
    Worksheet& main = book->Worksheets(1);
    main.SetText(4, 1, "[CO32-]");
    main.SetSubscript(4, 1, 4, 1);
    main.SetSuperscript(4, 1, 5, 2);
    main.SetNumber(5, 16, 0.1);
    book->Worksheets(2).SetNumber(2, 79, -1.5e-7);
    book->Activate(2);
    auto again = XlsxWorkbook::FromBytes(book->SaveToBytes(), "fuzz-saved.xlsx");
    if (!again->Worksheets(1).Value(4, 1).EqualsText("[CO32-]")) __builtin_trap();
    if (again->Worksheets(1).NumberValue(5, 16) != 0.1) __builtin_trap();
    if (again->Worksheets(2).NumberValue(2, 79) != -1.5e-7) __builtin_trap();
  } catch (const WorkbookError&) {
    // A damaged package is refused with a message: that is the expected outcome.
  }
  return 0;
}
