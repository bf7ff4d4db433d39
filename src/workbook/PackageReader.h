#pragma once

// The zip package of a workbook, read: its parts by name, within the limits
// that keep a hostile file from filling the memory; and the names of parts.

#include <pugixml.hpp>
#include <zip.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "workbook/XlsxWorkbook.h"

namespace vontralek::workbook {

// Part names inside the package: "xl/worksheets/sheet1.xml" (no leading '/').
std::string PartDirectory(const std::string& part);                             // "xl/worksheets/"
std::string RelationshipsPart(const std::string& part);                         // "xl/worksheets/_rels/sheet1.xml.rels"
std::string ResolveTarget(const std::string& baseDir, std::string_view target); // "..", "." and "/" resolved
// Part names compare without regard to ASCII case, as the package format says.
std::string LowerName(std::string name);
bool EndsWith(std::string_view s, std::string_view suffix);

class PackageReader {
public:
  PackageReader(std::filesystem::path path, const PackageLimits& limits) : path_(std::move(path)), limits_(limits) {}
  ~PackageReader();
  PackageReader(const PackageReader&) = delete;
  PackageReader& operator=(const PackageReader&) = delete;

  // Takes bytes as the package; throws WorkbookError (as Damaged) for what is
  // no zip package, too many entries or an entry name given twice.
  void Open(std::string bytes);
  // Reads the package from the file, part by part as asked (for a package
  // too large to hold: a large workbook, or what a streamed sheet was saved
  // into, written says which for the message when it cannot be read).
  void OpenFile(const std::filesystem::path& path, bool written = true);
  std::string Bytes() const;
  std::uint64_t Size() const; // of the package, packed
  zip_t* Archive() const { return archive_; }
  const PackageLimits& Limits() const { return limits_; }
  const std::filesystem::path& Path() const { return path_; }
  void SetPath(const std::filesystem::path& path) { path_ = path; }

  std::string Where() const { return "the workbook \"" + path_.string() + "\""; }
  [[noreturn]] void Damaged(const std::string& problem) const;

  bool HasPart(const std::string& part) const { return Locate(part) >= 0; }
  // The part unpacked; a missing, encrypted or damaged part and one beyond the
  // limits are refused as damaged.
  std::string ReadPart(const std::string& part) const;
  // Parses the part; a part that is no well-formed XML, or that holds text the
  // writer could not write back as it is (see UnkeptText.h), is refused as
  // damaged, named by what (the part's name when empty).
  void ParsePart(const std::string& part, pugi::xml_document& doc, const std::string& what = {}) const;
  // The part opened for reading piece by piece, and its packed size; a missing
  // or encrypted part is refused as damaged.
  zip_file_t* OpenPart(const std::string& part, std::uint64_t& compressedSize) const;
  // A deflated, unencrypted part opened for its packed bytes, with what its
  // unpacked data must come to; nullptr for a part stored or packed otherwise.
  struct Deflated {
    zip_file_t* file = nullptr;
    std::uint64_t size = 0, compressedSize = 0;
    std::uint32_t crc = 0;
  };
  Deflated OpenDeflatedPart(const std::string& part) const;
  // The unpacked size the zip directory states for the part (0 if unknown).
  std::uint64_t StatedSize(const std::string& part) const;

private:
  zip_int64_t Locate(const std::string& part) const;
  // The checks of the zip directory every package passes when opened.
  void CheckDirectory() const;

  std::filesystem::path path_;
  PackageLimits limits_;
  std::string bytes_;
  bool fromFile_ = false;
  zip_t* archive_ = nullptr;            // read-only view of bytes_ or of the file
  mutable std::uint64_t totalRead_ = 0; // uncompressed bytes read from the package
};

} // namespace vontralek::workbook
