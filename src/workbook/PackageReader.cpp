#include "workbook/PackageReader.h"

#include <algorithm>
#include <cstring>
#include <set>
#include <vector>

#include "common/Errors.h"
#include "workbook/UnkeptText.h"
#include "workbook/XlsxXml.h"

namespace vontralek::workbook {

bool EndsWith(std::string_view s, std::string_view suffix) {
  return s.size() >= suffix.size() && s.substr(s.size() - suffix.size()) == suffix;
}

std::string LowerName(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

std::string PartDirectory(const std::string& part) {
  const auto slash = part.rfind('/');
  return slash == std::string::npos ? std::string() : part.substr(0, slash + 1);
}

std::string RelationshipsPart(const std::string& part) {
  const auto slash = part.rfind('/');
  const std::string dir = slash == std::string::npos ? std::string() : part.substr(0, slash + 1);
  const std::string file = slash == std::string::npos ? part : part.substr(slash + 1);
  return dir + "_rels/" + file + ".rels";
}

std::string ResolveTarget(const std::string& baseDir, std::string_view target) {
  std::string joined =
      !target.empty() && target.front() == '/' ? std::string(target.substr(1)) : baseDir + std::string(target);
  std::vector<std::string> segments;
  std::size_t start = 0;
  while (start <= joined.size()) {
    auto slash = joined.find('/', start);
    if (slash == std::string::npos) slash = joined.size();
    const std::string segment = joined.substr(start, slash - start);
    if (segment == "..") {
      if (!segments.empty()) segments.pop_back();
    } else if (!segment.empty() && segment != ".") {
      segments.push_back(segment);
    }
    start = slash + 1;
  }
  std::string result;
  for (const auto& s : segments) result += (result.empty() ? "" : "/") + s;
  return result;
}

PackageReader::~PackageReader() {
  if (archive_) zip_discard(archive_);
}

void PackageReader::Damaged(const std::string& problem) const {
  throw WorkbookError("Cannot use " + Where() + ": " + problem +
                      ". The file is not a valid .xlsx workbook or is damaged. Open it in a "
                      "spreadsheet application and save it again as an Excel workbook (.xlsx).");
}

std::uint64_t PackageReader::Size() const {
  if (!fromFile_) return bytes_.size();
  std::error_code ec;
  const std::uintmax_t size = std::filesystem::file_size(path_, ec);
  return ec ? 0 : size;
}

std::string PackageReader::Bytes() const { return fromFile_ ? ReadWorkbookFile(path_) : bytes_; }

void PackageReader::OpenFile(const std::filesystem::path& path, bool written) {
  bytes_.clear();
  bytes_.shrink_to_fit();
  if (archive_) zip_discard(archive_);
  int error = 0;
  archive_ = zip_open(path.c_str(), ZIP_RDONLY, &error);
  fromFile_ = true;
  path_ = path;
  if (!archive_) {
    if (written) Damaged("the zip package just written cannot be read back");
    zip_error_t why;
    zip_error_init_with_code(&why, error);
    const std::string text = zip_error_strerror(&why);
    zip_error_fini(&why);
    Damaged("the zip package cannot be read (" + text + ")");
  }
  CheckDirectory();
}

void PackageReader::Open(std::string bytes) {
  fromFile_ = false;
  bytes_ = std::move(bytes);
  if (archive_) zip_discard(archive_);
  archive_ = nullptr;
  zip_error_t error;
  zip_error_init(&error);
  zip_source_t* source = zip_source_buffer_create(bytes_.data(), bytes_.size(), 0, &error);
  if (source) archive_ = zip_open_from_source(source, ZIP_RDONLY, &error);
  if (!archive_) {
    if (source) zip_source_free(source);
    const std::string why = zip_error_strerror(&error);
    zip_error_fini(&error);
    Damaged("the zip package cannot be read (" + why + ")");
  }
  zip_error_fini(&error);
  CheckDirectory();
}

void PackageReader::CheckDirectory() const {
  // Entry count, then names: a name given twice (compared without regard to
  // case, as part names are) makes the package ambiguous.
  const zip_int64_t entries = zip_get_num_entries(archive_, 0);
  if (entries < 0 || static_cast<std::uint64_t>(entries) > limits_.maxEntries) {
    Damaged("the package has " + std::to_string(entries) + " entries, more than the " +
            std::to_string(limits_.maxEntries) + " a workbook may have");
  }
  std::set<std::string> names;
  for (zip_int64_t i = 0; i < entries; ++i) {
    const char* raw = zip_get_name(archive_, static_cast<zip_uint64_t>(i), ZIP_FL_ENC_RAW);
    if (!names.insert(LowerName(raw ? raw : "")).second)
      Damaged("the package holds the entry \"" + TextForMessage(raw) + "\" twice");
  }
}

zip_int64_t PackageReader::Locate(const std::string& part) const {
  zip_int64_t index = zip_name_locate(archive_, part.c_str(), 0);
  if (index < 0) index = zip_name_locate(archive_, part.c_str(), ZIP_FL_NOCASE);
  return index;
}

zip_file_t* PackageReader::OpenPart(const std::string& part, std::uint64_t& compressedSize) const {
  const zip_int64_t index = Locate(part);
  if (index < 0) Damaged("the part \"" + TextForMessage(part) + "\" is missing from the package");
  zip_file_t* file = zip_fopen_index(archive_, static_cast<zip_uint64_t>(index), 0);
  if (!file) {
    Damaged("the part \"" + TextForMessage(part) + "\" cannot be read (" + zip_strerror(archive_) +
            "); an encrypted or password-protected workbook cannot be used");
  }
  zip_stat_t st;
  zip_stat_init(&st);
  zip_stat_index(archive_, static_cast<zip_uint64_t>(index), 0, &st);
  compressedSize = (st.valid & ZIP_STAT_COMP_SIZE) ? st.comp_size : 0;
  return file;
}

PackageReader::Deflated PackageReader::OpenDeflatedPart(const std::string& part) const {
  const zip_int64_t index = Locate(part);
  zip_stat_t st;
  zip_stat_init(&st);
  if (index < 0 || zip_stat_index(archive_, static_cast<zip_uint64_t>(index), 0, &st) != 0) return {};
  constexpr zip_uint64_t kNeeded =
      ZIP_STAT_SIZE | ZIP_STAT_COMP_SIZE | ZIP_STAT_COMP_METHOD | ZIP_STAT_CRC | ZIP_STAT_ENCRYPTION_METHOD;
  if ((st.valid & kNeeded) != kNeeded || st.comp_method != ZIP_CM_DEFLATE || st.encryption_method != ZIP_EM_NONE)
    return {};
  zip_file_t* file = zip_fopen_index(archive_, static_cast<zip_uint64_t>(index), ZIP_FL_COMPRESSED);
  if (!file) return {};
  return {file, st.size, st.comp_size, st.crc};
}

std::uint64_t PackageReader::StatedSize(const std::string& part) const {
  const zip_int64_t index = Locate(part);
  zip_stat_t st;
  zip_stat_init(&st);
  if (index < 0 || zip_stat_index(archive_, static_cast<zip_uint64_t>(index), 0, &st) != 0) return 0;
  return (st.valid & ZIP_STAT_SIZE) ? st.size : 0;
}

std::string PackageReader::ReadPart(const std::string& part) const {
  std::uint64_t compressed = 0;
  zip_file_t* file = OpenPart(part, compressed);
  std::string data;
  char buffer[65536];
  for (;;) {
    const zip_int64_t n = zip_fread(file, buffer, sizeof buffer);
    if (n < 0) {
      const std::string why = zip_file_strerror(file);
      zip_fclose(file);
      Damaged("the part \"" + TextForMessage(part) + "\" is damaged (" + why + ")");
    }
    if (n == 0) break;
    data.append(buffer, static_cast<std::size_t>(n));
    // The limits_ are checked as the data comes, whatever sizes the zip
    // directory states: a bomb is stopped before it fills the memory.
    totalRead_ += static_cast<std::uint64_t>(n);
    std::string problem;
    if (data.size() > limits_.maxPartSize) {
      problem = "unpacks to more than " + std::to_string(limits_.maxPartSize) + " bytes";
    } else if (totalRead_ > limits_.maxTotalSize) {
      problem = "brings the parts read to more than " + std::to_string(limits_.maxTotalSize) + " bytes";
    } else if (data.size() >= limits_.ratioFromSize &&
               data.size() / std::max<std::uint64_t>(compressed, 1) > limits_.maxRatio) {
      problem =
          "unpacks to more than " + std::to_string(limits_.maxRatio) + " times its packed size (a decompression bomb)";
    }
    if (!problem.empty()) {
      zip_fclose(file);
      Damaged("the part \"" + TextForMessage(part) + "\" " + problem);
    }
  }
  zip_fclose(file);
  return data;
}

void PackageReader::ParsePart(const std::string& part, pugi::xml_document& doc, const std::string& what) const {
  const std::string data = ReadPart(part);
  if (const std::string unkept = UnkeptConstruct(data); !unkept.empty())
    Damaged((what.empty() ? "the part \"" + TextForMessage(part) + "\"" : what) + " holds " + unkept + UnkeptReason());
  const pugi::xml_parse_result result = doc.load_buffer(data.data(), data.size(), xml::kParseFlags);
  if (!result) {
    Damaged("the part \"" + TextForMessage(part) + "\" is not well-formed XML (" + result.description() + " at byte " +
            std::to_string(result.offset) + ")");
  }
  if (!doc.document_element()) Damaged("the part \"" + TextForMessage(part) + "\" holds no XML element");
}

} // namespace vontralek::workbook
