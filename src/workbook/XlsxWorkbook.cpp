#include "workbook/XlsxWorkbook.h"

#include <zip.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <map>
#include <set>

#include "common/Errors.h"
#include "workbook/WorkbookFiles.h"
#include "workbook/XlsxXml.h"

namespace vontralek::workbook {

using namespace xml;

namespace {

constexpr int kMaxRow = 1048576;
constexpr int kMaxColumn = 16384;

bool EndsWith(std::string_view s, std::string_view suffix) {
  return s.size() >= suffix.size() && s.substr(s.size() - suffix.size()) == suffix;
}

// Parses "BC12" (or "bc12"); either part may be missing. Returns false on
// anything else or on a position outside the sheet.
bool ParseCellRef(std::string_view ref, int& row, int& column) {
  std::size_t i = 0;
  long col = 0;
  // ASCII letters only: isalpha and toupper would follow the process locale.
  while (i < ref.size() && ((ref[i] >= 'A' && ref[i] <= 'Z') || (ref[i] >= 'a' && ref[i] <= 'z'))) {
    col = col * 26 + ((ref[i] & ~0x20) - 'A' + 1);
    if (col > kMaxColumn) return false;
    ++i;
  }
  long r = 0;
  const std::size_t digits = i;
  while (i < ref.size() && ref[i] >= '0' && ref[i] <= '9') {
    r = r * 10 + (ref[i] - '0');
    if (r > kMaxRow) return false;
    ++i;
  }
  if (i != ref.size() || (digits == 0 && i == 0)) return false;
  row = static_cast<int>(r);
  column = static_cast<int>(col);
  return true;
}

bool ParseInt(std::string_view text, int& value) {
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return ec == std::errc() && end == text.data() + text.size();
}

// A stored number: always written with a '.' by every spreadsheet program,
// read with from_chars so that the process locale plays no part.
bool ParseStoredNumber(std::string_view text, double& value) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\n' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\n' || text.back() == '\t')) text.remove_suffix(1);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty()) return false;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::general);
  return ec == std::errc() && end == text.data() + text.size() && std::isfinite(value);
}

std::string FormatNumber(double value) {
  char buffer[32];
  const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, ec == std::errc() ? end : buffer);
}

// Part names inside the package: "xl/worksheets/sheet1.xml" (no leading '/').
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

bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// One name-like token of a formula moved by (dRow, dColumn): a cell reference
// "B$3", or a column or row of a range "A:C", "1:4" (kind 'c' or 'r' when the
// token stands beside a ':'). Absolute ($) parts stay; a reference moved off
// the sheet becomes #REF!, as the spreadsheet makes it. Anything else is kept.
std::string ShiftToken(std::string_view token, int dRow, int dColumn, bool besideColon) {
  std::size_t i = 0;
  const bool columnFixed = i < token.size() && token[i] == '$';
  if (columnFixed) ++i;
  const std::size_t lettersStart = i;
  long column = 0;
  while (i < token.size() && IsLetter(token[i]) && i - lettersStart < 3)
    column = column * 26 + ((token[i++] & ~0x20) - 'A' + 1);
  const std::size_t letters = i - lettersStart;
  const bool rowFixed = i < token.size() && token[i] == '$';
  if (rowFixed) ++i;
  const std::size_t digitsStart = i;
  long row = 0;
  while (i < token.size() && IsDigit(token[i]) && i - digitsStart < 7) row = row * 10 + (token[i++] - '0');
  const std::size_t digits = i - digitsStart;
  if (i != token.size()) return std::string(token);
  const bool cell = letters > 0 && digits > 0 && !(columnFixed && letters == 0);
  const bool wholeColumn = besideColon && letters > 0 && digits == 0 && !rowFixed;
  const bool wholeRow = besideColon && letters == 0 && digits > 0 && !(columnFixed && rowFixed);
  if ((!cell && !wholeColumn && !wholeRow) || column > kMaxColumn || (digits > 0 && (row < 1 || row > kMaxRow))) {
    return std::string(token); // a name, not a reference
  }
  if (letters > 0 && !columnFixed) column += dColumn;
  if (digits > 0 && !(wholeRow ? columnFixed : rowFixed)) row += dRow;
  if ((letters > 0 && (column < 1 || column > kMaxColumn)) || (digits > 0 && (row < 1 || row > kMaxRow)))
    return "#REF!";
  std::string out;
  if (letters > 0) {
    if (columnFixed) out += '$';
    const std::string address = CellAddress(1, static_cast<int>(column));
    out += address.substr(0, address.size() - 1); // the letters of "C1"
  }
  if (digits > 0) {
    if (wholeRow ? columnFixed : rowFixed) out += '$';
    out += std::to_string(row);
  }
  return out;
}

// The formula of a cell moved by (dRow, dColumn) from where it was written,
// as the spreadsheet fills a shared formula: relative references move. Texts
// in quotes, quoted sheet names, bracketed parts, functions and sheet names
// are kept.
std::string ShiftFormula(std::string_view formula, int dRow, int dColumn) {
  auto name = [](char c) { return IsLetter(c) || IsDigit(c) || c == '_' || c == '.' || c == '$' || c == '\\'; };
  std::string out;
  std::size_t i = 0;
  while (i < formula.size()) {
    const char c = formula[i];
    if (c == '"' || c == '\'') { // a text or a quoted sheet name; doubled quotes inside
      std::size_t j = i + 1;
      while (j < formula.size() && (formula[j] != c || (j + 1 < formula.size() && formula[j + 1] == c)))
        j += formula[j] == c ? 2 : 1;
      j = std::min(j + 1, formula.size());
      out.append(formula.substr(i, j - i));
      i = j;
    } else if (c == '[') { // a structured reference or an external workbook
      std::size_t j = i, depth = 0;
      do {
        depth += formula[j] == '[';
        depth -= formula[j] == ']';
        ++j;
      } while (j < formula.size() && depth > 0);
      out.append(formula.substr(i, j - i));
      i = j;
    } else if (name(c)) {
      std::size_t j = i;
      while (j < formula.size() && name(formula[j])) ++j;
      const std::string_view token = formula.substr(i, j - i);
      const char next = j < formula.size() ? formula[j] : '\0';
      if (next == '(' || next == '!') {
        out.append(token); // a function or a sheet name
      } else {
        out += ShiftToken(token, dRow, dColumn, next == ':' || (!out.empty() && out.back() == ':'));
      }
      i = j;
    } else {
      out += c;
      ++i;
    }
  }
  return out;
}

std::size_t CodePointCount(std::string_view text) {
  std::size_t n = 0;
  for (char c : text) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return n;
}

// The byte offset of each code point, plus the end.
std::vector<std::size_t> CodePointOffsets(std::string_view text) {
  std::vector<std::size_t> offsets;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) offsets.push_back(i);
  }
  offsets.push_back(text.size());
  return offsets;
}

enum : std::uint8_t { kPlain = 0, kSubscript = 1, kSuperscript = 2 };

// The entry of a vector sorted by column where column is or would go.
template <class Vector> auto AtColumn(Vector& cells, int column) {
  return std::lower_bound(cells.begin(), cells.end(), column, [](const auto& cell, int c) { return cell.column < c; });
}

// The name of the marks that stand for numbers kept outside the DOM while a
// sheet is serialized: random for each serialization, so that no content of
// the file (a CDATA section is written as it was read) can pass for one.
std::string NumbersMarkName() {
  static std::uint64_t state = [] {
    std::uint64_t seed = 0;
    if (FILE* f = std::fopen("/dev/urandom", "rb")) {
      if (std::fread(&seed, sizeof seed, 1, f) != 1) seed = 0;
      std::fclose(f);
    }
    return seed ^ reinterpret_cast<std::uintptr_t>(&seed) ^ static_cast<std::uint64_t>(std::time(nullptr));
  }();
  char name[64];
  std::uint64_t a = state += 0x9E3779B97F4A7C15ull, b = state += 0x9E3779B97F4A7C15ull;
  auto mix = [](std::uint64_t z) { // splitmix64
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  };
  std::snprintf(name, sizeof name, "vontralek-%016llx%016llx", static_cast<unsigned long long>(mix(a)),
                static_cast<unsigned long long>(mix(b)));
  return name;
}

} // namespace

class XlsxSheet;

struct XlsxWorkbook::Impl {
  std::filesystem::path path;
  std::string bytes;
  zip_t* archive = nullptr; // read-only view of bytes
  PackageLimits limits;
  mutable std::uint64_t totalRead = 0; // uncompressed bytes read from the package
  std::shared_ptr<FileHold> hold;

  std::string workbookPart;
  pugi::xml_document workbookDoc;
  bool workbookDirty = false;
  std::vector<std::unique_ptr<XlsxSheet>> sheets; // the worksheets, in tab order
  std::map<std::string, std::string> relTypeTarget;

  std::string sharedStringsPart;
  bool sharedStringsLoaded = false;
  std::vector<std::string> sharedStrings;

  std::string stylesPart;
  bool stylesLoaded = false;
  pugi::xml_document styles;

  std::string calcChainPart;
  bool calcChainLoaded = false;
  pugi::xml_document calcChain;
  std::set<std::pair<int, std::string>> calcChainRemovals; // (sheetId, "B5")
  bool anyWritten = false;

  ~Impl() {
    if (archive) zip_discard(archive);
  }

  std::string Where() const { return "the workbook \"" + path.string() + "\""; }
  [[noreturn]] void Damaged(const std::string& problem) const {
    throw WorkbookError("Cannot use " + Where() + ": " + problem +
                        ". The file is not a valid .xlsx workbook or is damaged. Open it in a "
                        "spreadsheet application and save it again as an Excel workbook (.xlsx).");
  }

  void OpenArchive() {
    if (archive) zip_discard(archive);
    archive = nullptr;
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = zip_source_buffer_create(bytes.data(), bytes.size(), 0, &error);
    if (source) archive = zip_open_from_source(source, ZIP_RDONLY, &error);
    if (!archive) {
      if (source) zip_source_free(source);
      const std::string why = zip_error_strerror(&error);
      zip_error_fini(&error);
      Damaged("the zip package cannot be read (" + why + ")");
    }
    zip_error_fini(&error);
    // Entry count, then names: a name given twice (compared without regard to
    // case, as part names are) makes the package ambiguous.
    const zip_int64_t entries = zip_get_num_entries(archive, 0);
    if (entries < 0 || static_cast<std::uint64_t>(entries) > limits.maxEntries) {
      Damaged("the package has " + std::to_string(entries) + " entries, more than the " +
              std::to_string(limits.maxEntries) + " a workbook may have");
    }
    std::set<std::string> names;
    for (zip_int64_t i = 0; i < entries; ++i) {
      const char* raw = zip_get_name(archive, static_cast<zip_uint64_t>(i), ZIP_FL_ENC_RAW);
      std::string name = raw ? raw : "";
      for (char& c : name) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
      }
      if (!names.insert(name).second) Damaged("the package holds the entry \"" + TextForMessage(raw) + "\" twice");
    }
  }

  zip_int64_t Locate(const std::string& part) const {
    zip_int64_t index = zip_name_locate(archive, part.c_str(), 0);
    if (index < 0) index = zip_name_locate(archive, part.c_str(), ZIP_FL_NOCASE);
    return index;
  }

  bool HasPart(const std::string& part) const { return Locate(part) >= 0; }

  std::string ReadPart(const std::string& part) const {
    const zip_int64_t index = Locate(part);
    if (index < 0) Damaged("the part \"" + TextForMessage(part) + "\" is missing from the package");
    zip_file_t* file = zip_fopen_index(archive, static_cast<zip_uint64_t>(index), 0);
    if (!file) {
      Damaged("the part \"" + TextForMessage(part) + "\" cannot be read (" + zip_strerror(archive) +
              "); an encrypted or password-protected workbook cannot be used");
    }
    zip_stat_t st;
    zip_stat_init(&st);
    zip_stat_index(archive, static_cast<zip_uint64_t>(index), 0, &st);
    const std::uint64_t compressed = (st.valid & ZIP_STAT_COMP_SIZE) ? st.comp_size : 0;
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
      // The limits are checked as the data comes, whatever sizes the zip
      // directory states: a bomb is stopped before it fills the memory.
      totalRead += static_cast<std::uint64_t>(n);
      std::string problem;
      if (data.size() > limits.maxPartSize) {
        problem = "unpacks to more than " + std::to_string(limits.maxPartSize) + " bytes";
      } else if (totalRead > limits.maxTotalSize) {
        problem = "brings the parts read to more than " + std::to_string(limits.maxTotalSize) + " bytes";
      } else if (data.size() >= limits.ratioFromSize &&
                 data.size() / std::max<std::uint64_t>(compressed, 1) > limits.maxRatio) {
        problem =
            "unpacks to more than " + std::to_string(limits.maxRatio) + " times its packed size (a decompression bomb)";
      }
      if (!problem.empty()) {
        zip_fclose(file);
        Damaged("the part \"" + TextForMessage(part) + "\" " + problem);
      }
    }
    zip_fclose(file);
    return data;
  }

  void ParsePart(const std::string& part, pugi::xml_document& doc) const {
    const std::string data = ReadPart(part);
    const pugi::xml_parse_result result = doc.load_buffer(data.data(), data.size(), kParseFlags);
    if (!result) {
      Damaged("the part \"" + TextForMessage(part) + "\" is not well-formed XML (" + result.description() +
              " at byte " + std::to_string(result.offset) + ")");
    }
    if (!doc.document_element()) Damaged("the part \"" + TextForMessage(part) + "\" holds no XML element");
  }

  void Load();
  const std::string& SharedString(long index, const std::string& where);
  void LoadStyles();
  pugi::xml_node FontOfStyle(int styleIndex);
  std::string BuildPackage();
  static std::string Lower(std::string text);
  void CheckWritten(const std::string& package, std::set<std::string>& store) const;
  std::string Assemble(const std::map<std::string, std::pair<std::string, std::string>>& pending,
                       const std::set<std::string>& removed, const std::set<std::string>& store);
  void Commit(std::string newBytes) {
    bytes = std::move(newBytes);
    OpenArchive();
  }
  void ApplyCalcChainRemovals(std::map<std::string, std::string>& replaced, std::set<std::string>& deleted);
};

class XlsxSheet : public Worksheet {
public:
  struct Info {
    std::string name;
    int tabIndex = 0; // position among all sheets of <sheets>, 0-based
    int sheetId = 0;
    std::string part;
  };

  XlsxSheet(XlsxWorkbook::Impl& book, Info info, int number) : book_(book), info_(std::move(info)), number_(number) {}

  std::string Name() const override { return info_.name; }
  int Number() const override { return number_; }
  CellValue Value(int row, int column) const override;
  void SetNumber(int row, int column, double value) override;
  void SetText(int row, int column, std::string_view text) override;
  void SetSubscript(int row, int column, int start, int length) override {
    Align(row, column, start, length, kSubscript);
  }
  void SetSuperscript(int row, int column, int start, int length) override {
    Align(row, column, start, length, kSuperscript);
  }
  void SetEmpty(int row, int column) override;

  const Info& info() const { return info_; }
  bool Dirty() const { return dirty_; }
  void Load() const;
  std::string Serialize();
  std::vector<std::pair<int, int>> Positions() const;
  // Marks or unmarks the sheet as the selected tab of the first workbook view.
  void SetTabSelected(bool selected);
  bool MayBeTabSelected() const;

private:
  struct DomCell {
    int column;
    pugi::xml_node node;
  };
  // A number written where the sheet had no cell, kept outside the DOM: 16
  // bytes instead of about 480 for a <c> element, its r attribute, a <v> child
  // and its text. A batch writes hundreds of thousands of them; they are put
  // into the XML only while the sheet is serialized. A cell that gets a text
  // later moves into the DOM.
  struct NumberCell {
    int column;
    int style;
    double value;
  };
  struct Row {
    pugi::xml_node node;
    std::vector<DomCell> cells;      // sorted by column
    std::vector<NumberCell> numbers; // sorted by column; never a column of cells
  };
  struct ColumnStyle {
    int min, max, style;
  };

  std::string Where(int row, int column) const {
    return "worksheet " + std::to_string(number_) + " (\"" + TextForMessage(info_.name) + "\"), cell " +
           CellAddress(row, column);
  }
  void CheckPosition(int row, int column) const;
  pugi::xml_node FindCell(int row, int column) const;
  const NumberCell* FindNumber(int row, int column) const;
  Row& RowForWriting(int row);
  void Touch(int row, int column);
  pugi::xml_node CellForWriting(int row, int column);
  struct Mark {
    int row;
    std::size_t first, last;
  };
  void ExpandNumbers(const Mark& mark, std::string& out) const;
  pugi::xml_node SheetData();
  void DropContent(pugi::xml_node cell, int row, int column);
  void DropSharedFormula(pugi::xml_node master, int row, int column);
  std::string FormulaText(int row, int column, pugi::xml_node f) const;
  void Align(int row, int column, int start, int length, std::uint8_t kind);
  void WriteRuns(pugi::xml_node cell, const std::string& text, const std::vector<std::uint8_t>& kinds);
  int DefaultStyle(pugi::xml_node rowNode, int column) const;
  void UpdateDimension();

  XlsxWorkbook::Impl& book_;
  Info info_;
  int number_;
  mutable std::unique_ptr<pugi::xml_document> doc_;
  mutable pugi::xml_node sheetData_;
  mutable std::map<int, Row> rows_;
  mutable std::vector<ColumnStyle> columnStyles_;
  bool dirty_ = false;
  bool written_ = false;
  int minRow_ = INT_MAX, minColumn_ = INT_MAX, maxRow_ = 0, maxColumn_ = 0;
  // Character formats set on a cell's text since it was last written, one entry per character.
  std::map<std::pair<int, int>, std::vector<std::uint8_t>> alignments_;
};

// ---------------------------------------------------------------------------
// Opening

void XlsxWorkbook::Impl::Load() {
  if (bytes.size() >= 8 && std::memcmp(bytes.data(), "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) == 0) {
    throw WorkbookError("Cannot use " + Where() +
                        ": it is not an .xlsx package but an OLE compound file, which is what Excel writes for a "
                        "password-protected (encrypted) workbook or an old .xls workbook. The file was left unchanged. "
                        "Remove the password, or save the workbook as .xlsx (Excel Workbook) in the spreadsheet "
                        "application.");
  }
  if (bytes.size() < 4 || bytes.compare(0, 2, "PK") != 0) Damaged("it is not a zip package (not an .xlsx file)");
  OpenArchive();

  // The main part from the package relationships.
  pugi::xml_document rootRels;
  ParsePart("_rels/.rels", rootRels);
  for (pugi::xml_node rel = Child(rootRels.document_element(), "Relationship"); rel;
       rel = NextNamed(rel, "Relationship")) {
    if (EndsWith(rel.attribute("Type").value(), "/officeDocument")) {
      workbookPart = ResolveTarget("", rel.attribute("Target").value());
      break;
    }
  }
  if (workbookPart.empty()) Damaged("the package names no workbook part");
  ParsePart(workbookPart, workbookDoc);
  if (LocalName(workbookDoc.document_element().name()) != "workbook") {
    Damaged("the part \"" + workbookPart + "\" is not a workbook");
  }

  // Relationships of the workbook: sheets, shared strings, styles, calc chain.
  const std::string relsPart = RelationshipsPart(workbookPart);
  std::map<std::string, std::pair<std::string, std::string>> byId; // id -> (type, part)
  if (HasPart(relsPart)) {
    pugi::xml_document rels;
    ParsePart(relsPart, rels);
    const std::string dir = PartDirectory(workbookPart);
    for (pugi::xml_node rel = Child(rels.document_element(), "Relationship"); rel;
         rel = NextNamed(rel, "Relationship")) {
      if (std::string_view(rel.attribute("TargetMode").value()) == "External") continue;
      const std::string type = rel.attribute("Type").value();
      const std::string target = ResolveTarget(dir, rel.attribute("Target").value());
      byId[rel.attribute("Id").value()] = {type, target};
      if (EndsWith(type, "/sharedStrings")) sharedStringsPart = target;
      if (EndsWith(type, "/styles")) stylesPart = target;
      if (EndsWith(type, "/calcChain")) calcChainPart = target;
    }
  }

  pugi::xml_node sheetsNode = Child(workbookDoc.document_element(), "sheets");
  int tab = 0;
  for (pugi::xml_node s = Child(sheetsNode, "sheet"); s; s = NextNamed(s, "sheet"), ++tab) {
    const auto found = byId.find(PrefixedAttribute(s, "id").value());
    // Chart sheets, dialog and macro sheets are not worksheets and are not counted.
    if (found == byId.end() || !EndsWith(found->second.first, "/worksheet")) continue;
    XlsxSheet::Info info;
    info.name = s.attribute("name").value();
    info.tabIndex = tab;
    info.sheetId = s.attribute("sheetId").as_int();
    info.part = found->second.second;
    const int number = static_cast<int>(sheets.size()) + 1;
    for (const auto& other : sheets) {
      if (other->info().part == info.part) {
        Damaged("worksheets " + std::to_string(other->Number()) + " and " + std::to_string(number) +
                " are one and the same part \"" + TextForMessage(info.part) + "\"");
      }
    }
    if (!HasPart(info.part)) {
      Damaged("worksheet " + std::to_string(number) + " (\"" + info.name + "\") refers to the part \"" + info.part +
              "\", which is missing from the package");
    }
    sheets.push_back(std::make_unique<XlsxSheet>(*this, std::move(info), number));
  }
  // Every worksheet is read at once, so that a damaged one is reported before
  // anything is written.
  for (const auto& sheet : sheets) sheet->Load();
}

const std::string& XlsxWorkbook::Impl::SharedString(long index, const std::string& where) {
  if (!sharedStringsLoaded) {
    sharedStringsLoaded = true;
    if (!sharedStringsPart.empty() && HasPart(sharedStringsPart)) {
      pugi::xml_document doc;
      ParsePart(sharedStringsPart, doc);
      // Every <si> counts for the index, empty or not.
      for (pugi::xml_node si = Child(doc.document_element(), "si"); si; si = NextNamed(si, "si")) {
        sharedStrings.push_back(RichText(si));
      }
    }
  }
  if (index < 0 || static_cast<std::size_t>(index) >= sharedStrings.size()) {
    Damaged(where + " refers to shared string " + std::to_string(index) + " of " +
            std::to_string(sharedStrings.size()));
  }
  return sharedStrings[static_cast<std::size_t>(index)];
}

void XlsxWorkbook::Impl::LoadStyles() {
  if (stylesLoaded) return;
  stylesLoaded = true;
  if (!stylesPart.empty() && HasPart(stylesPart)) ParsePart(stylesPart, styles);
}

pugi::xml_node XlsxWorkbook::Impl::FontOfStyle(int styleIndex) {
  LoadStyles();
  pugi::xml_node root = styles.document_element();
  pugi::xml_node xf = Child(Child(root, "cellXfs"), "xf");
  for (int i = 0; xf && i < styleIndex; ++i) xf = NextNamed(xf, "xf");
  const int fontId = xf ? xf.attribute("fontId").as_int() : 0;
  pugi::xml_node font = Child(Child(root, "fonts"), "font");
  for (int i = 0; font && i < fontId; ++i) font = NextNamed(font, "font");
  return font;
}

// ---------------------------------------------------------------------------
// Worksheet model: the DOM of the sheet part, parsed on first use, with an
// ordered index of rows and cells so that lookups and inserts stay O(log n).

void XlsxSheet::Load() const {
  if (doc_) return;
  auto doc = std::make_unique<pugi::xml_document>();
  book_.ParsePart(info_.part, *doc);
  pugi::xml_node root = doc->document_element();
  if (LocalName(root.name()) != "worksheet")
    book_.Damaged("the part \"" + TextForMessage(info_.part) + "\" is not a worksheet");
  sheetData_ = Child(root, "sheetData");
  int previousRow = 0;
  for (pugi::xml_node r = Child(sheetData_, "row"); r; r = NextNamed(r, "row")) {
    int rowNumber = previousRow + 1;
    if (pugi::xml_attribute a = r.attribute("r")) {
      if (!ParseInt(a.value(), rowNumber) || rowNumber < 1 || rowNumber > kMaxRow) {
        book_.Damaged("worksheet \"" + TextForMessage(info_.name) + "\" has a row numbered \"" +
                      TextForMessage(a.value()) + "\"");
      }
    } else {
      // A row without a number follows the previous one; the number is made
      // explicit so that rows inserted later cannot shift it.
      if (rowNumber > kMaxRow) book_.Damaged("worksheet \"" + TextForMessage(info_.name) + "\" has too many rows");
      r.append_attribute("r") = rowNumber;
    }
    previousRow = rowNumber;
    // A row or cell given twice is read as the first copy by some programs
    // and as the last by others: the file is ambiguous, hence damaged.
    const auto [rowAt, newRow] = rows_.try_emplace(rowNumber, Row{r, {}, {}});
    if (!newRow)
      book_.Damaged("worksheet \"" + TextForMessage(info_.name) + "\" has row " + std::to_string(rowNumber) + " twice");
    Row& row = rowAt->second;
    int previousColumn = 0;
    for (pugi::xml_node c = Child(r, "c"); c; c = NextNamed(c, "c")) {
      int column = previousColumn + 1;
      if (pugi::xml_attribute a = c.attribute("r")) {
        // The reference must name a cell of this very row ("A0" names none).
        int cellRow = 0;
        if (!ParseCellRef(a.value(), cellRow, column) || column < 1 || cellRow != rowNumber) {
          book_.Damaged("worksheet \"" + TextForMessage(info_.name) + "\" has a cell named \"" +
                        TextForMessage(a.value()) + "\" in row " + std::to_string(rowNumber));
        }
      } else {
        if (column > kMaxColumn) book_.Damaged("worksheet \"" + TextForMessage(info_.name) + "\" has too many columns");
        c.append_attribute("r") = CellAddress(rowNumber, column).c_str();
      }
      previousColumn = column;
      const auto at = AtColumn(row.cells, column);
      if (at != row.cells.end() && at->column == column) {
        book_.Damaged("worksheet \"" + TextForMessage(info_.name) + "\" has cell " + CellAddress(rowNumber, column) +
                      " twice");
      }
      row.cells.insert(at, {column, c});
    }
  }
  // Column default styles, for cells created in formatted columns.
  for (pugi::xml_node col = Child(Child(root, "cols"), "col"); col; col = NextNamed(col, "col")) {
    if (col.attribute("style")) {
      columnStyles_.push_back(
          {col.attribute("min").as_int(), col.attribute("max").as_int(), col.attribute("style").as_int()});
    }
  }
  doc_ = std::move(doc);
}

void XlsxSheet::CheckPosition(int row, int column) const {
  if (row < 1 || row > kMaxRow || column < 1 || column > kMaxColumn) {
    throw WorkbookError("Worksheet " + std::to_string(number_) + " (\"" + TextForMessage(info_.name) +
                        "\") has no cell at row " + std::to_string(row) + ", column " + std::to_string(column) +
                        " of " + book_.Where() + ": rows run from 1 to 1048576 and columns from 1 to 16384.");
  }
}

pugi::xml_node XlsxSheet::FindCell(int row, int column) const {
  Load();
  const auto r = rows_.find(row);
  if (r == rows_.end()) return {};
  const auto c = AtColumn(r->second.cells, column);
  return c == r->second.cells.end() || c->column != column ? pugi::xml_node() : c->node;
}

const XlsxSheet::NumberCell* XlsxSheet::FindNumber(int row, int column) const {
  Load();
  const auto r = rows_.find(row);
  if (r == rows_.end()) return nullptr;
  const auto n = AtColumn(r->second.numbers, column);
  return n == r->second.numbers.end() || n->column != column ? nullptr : &*n;
}

CellValue XlsxSheet::Value(int row, int column) const {
  CheckPosition(row, column);
  if (const NumberCell* n = FindNumber(row, column)) return CellValue::Number(n->value);
  pugi::xml_node cell = FindCell(row, column);
  if (!cell) return CellValue::Empty();
  const std::string_view type = cell.attribute("t").value();
  if (type == "inlineStr") {
    pugi::xml_node is = Child(cell, "is");
    return is ? CellValue::Text(RichText(is)) : CellValue::Empty();
  }
  pugi::xml_node v = Child(cell, "v");
  if (!v) {
    // A formula that was never calculated (many generators write none) has
    // no value to give: its own kind, not an empty cell read as 0.
    if (pugi::xml_node f = Child(cell, "f"))
      return {CellValue::Kind::UncalculatedFormula, 0.0, FormulaText(row, column, f)};
    return CellValue::Empty(); // only a style
  }
  const char* text = v.text().get();
  if (type == "s") {
    long index = -1;
    std::string_view digits = text;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), index);
    if (ec != std::errc() || end != digits.data() + digits.size()) index = -1;
    return CellValue::Text(book_.SharedString(index, Where(row, column)));
  }
  if (type == "str" || type == "d") {
    // Text from a formula, or a date in ISO form.
    return CellValue::Text(DecodeEscapes(text));
  }
  // An error value such as #DIV/0! and a logical value are no numbers.
  if (type == "e") return {CellValue::Kind::Error, 0.0, DecodeEscapes(text)};
  double number = 0.0;
  if (type == "b") {
    const std::string_view b = text;
    if (b == "1" || b == "true" || b == "TRUE") return {CellValue::Kind::Boolean, 1.0, "TRUE"};
    if (b == "0" || b == "false" || b == "FALSE") return {CellValue::Kind::Boolean, 0.0, "FALSE"};
  } else if (ParseStoredNumber(text, number)) {
    return CellValue::Number(number);
  } else if (std::string_view(text).empty()) {
    return CellValue::Empty();
  }
  book_.Damaged(Where(row, column) + " holds \"" + TextForMessage(text) + "\" where a stored number is expected");
}

std::vector<std::pair<int, int>> XlsxSheet::Positions() const {
  Load();
  std::vector<std::pair<int, int>> positions;
  for (const auto& [r, row] : rows_) {
    auto n = row.numbers.begin();
    for (const DomCell& cell : row.cells) {
      for (; n != row.numbers.end() && n->column < cell.column; ++n) positions.emplace_back(r, n->column);
      positions.emplace_back(r, cell.column);
    }
    for (; n != row.numbers.end(); ++n) positions.emplace_back(r, n->column);
  }
  return positions;
}

pugi::xml_node XlsxSheet::SheetData() {
  Load();
  if (!sheetData_) sheetData_ = InsertInOrder(doc_->document_element(), "sheetData", kWorksheetOrder);
  return sheetData_;
}

int XlsxSheet::DefaultStyle(pugi::xml_node rowNode, int column) const {
  // A new cell takes the row's format if the row has one, else its column's.
  if (rowNode.attribute("customFormat").as_bool() && rowNode.attribute("s")) return rowNode.attribute("s").as_int();
  for (const ColumnStyle& cs : columnStyles_) {
    if (column >= cs.min && column <= cs.max) return cs.style;
  }
  return 0;
}

XlsxSheet::Row& XlsxSheet::RowForWriting(int row) {
  pugi::xml_node data = SheetData();
  auto rowIt = rows_.find(row);
  if (rowIt == rows_.end()) {
    const auto next = rows_.upper_bound(row);
    const std::string name = Prefixed(data, "row");
    pugi::xml_node node = next != rows_.end() && next->second.node.parent() == data
                              ? data.insert_child_before(name.c_str(), next->second.node)
                              : data.append_child(name.c_str());
    node.append_attribute("r") = row;
    rowIt = rows_.emplace(row, Row{node, {}, {}}).first;
  }
  return rowIt->second;
}

void XlsxSheet::Touch(int row, int column) {
  dirty_ = true;
  written_ = true;
  book_.anyWritten = true;
  minRow_ = std::min(minRow_, row);
  maxRow_ = std::max(maxRow_, row);
  minColumn_ = std::min(minColumn_, column);
  maxColumn_ = std::max(maxColumn_, column);
}

// The cell's element, made if needed: a new cell takes its default format, and
// a number kept outside the DOM becomes an element with the format it had.
pugi::xml_node XlsxSheet::CellForWriting(int row, int column) {
  CheckPosition(row, column);
  Row& r = RowForWriting(row);
  auto cellIt = AtColumn(r.cells, column);
  if (cellIt == r.cells.end() || cellIt->column != column) {
    int style = 0;
    if (auto n = AtColumn(r.numbers, column); n != r.numbers.end() && n->column == column) {
      style = n->style;
      r.numbers.erase(n);
    } else {
      style = DefaultStyle(r.node, column);
      // The row's span hint may no longer cover its cells; it is optional.
      r.node.remove_attribute("spans");
    }
    const std::string name = Prefixed(r.node, "c");
    pugi::xml_node node = cellIt != r.cells.end() && cellIt->node.parent() == r.node
                              ? r.node.insert_child_before(name.c_str(), cellIt->node)
                              : r.node.append_child(name.c_str());
    node.append_attribute("r") = CellAddress(row, column).c_str();
    if (style != 0) node.append_attribute("s") = style;
    cellIt = r.cells.insert(cellIt, {column, node});
  }
  Touch(row, column);
  return cellIt->node;
}

void XlsxSheet::DropSharedFormula(pugi::xml_node master, int masterRow, int masterColumn) {
  // The cells that share this formula hold only a reference to the master's
  // text. With the master overwritten each of them gets the formula as its
  // own, moved from the master to where it stands, as the spreadsheet would
  // have filled it: the cells not written keep their formulas.
  const std::string si = master.attribute("si").value();
  const std::string text = master.text().get();
  for (auto& [r, row] : rows_) {
    for (auto& [c, cell] : row.cells) {
      pugi::xml_node f = Child(cell, "f");
      if (f && f != master && std::string_view(f.attribute("t").value()) == "shared" &&
          si == f.attribute("si").value()) {
        f.remove_attribute("t");
        f.remove_attribute("si");
        f.remove_attribute("ref");
        f.text().set(ShiftFormula(text, r - masterRow, c - masterColumn).c_str());
        dirty_ = true;
      }
    }
  }
}

std::string XlsxSheet::FormulaText(int row, int column, pugi::xml_node f) const {
  std::string text = f.text().get();
  if (!text.empty() || std::string_view(f.attribute("t").value()) != "shared") return text;
  // A cell sharing a formula: the master's text, moved here.
  const std::string si = f.attribute("si").value();
  for (const auto& [r, rowCells] : rows_) {
    for (const auto& [c, cell] : rowCells.cells) {
      pugi::xml_node m = Child(cell, "f");
      if (m && m.attribute("ref") && std::string_view(m.attribute("t").value()) == "shared" &&
          si == m.attribute("si").value()) {
        return ShiftFormula(m.text().get(), row - r, column - c);
      }
    }
  }
  return "(a shared formula without its master)";
}

void XlsxSheet::SetEmpty(int row, int column) {
  CheckPosition(row, column);
  Load();
  const auto r = rows_.find(row);
  if (r == rows_.end()) return;
  if (auto n = AtColumn(r->second.numbers, column); n != r->second.numbers.end() && n->column == column) {
    r->second.numbers.erase(n); // a number written in this run, where there was no cell
    Touch(row, column);
    return;
  }
  pugi::xml_node cell = FindCell(row, column);
  if (!cell || (!Child(cell, "v") && !Child(cell, "f") && !Child(cell, "is"))) return;
  DropContent(cell, row, column); // the cell element stays with its format
  Touch(row, column);
}

void XlsxSheet::DropContent(pugi::xml_node cell, int row, int column) {
  if (pugi::xml_node f = Child(cell, "f")) {
    // A constant replaces the formula: its calculation chain entry goes too.
    if (std::string_view(f.attribute("t").value()) == "shared" && f.attribute("ref")) DropSharedFormula(f, row, column);
    cell.remove_child(f);
    book_.calcChainRemovals.insert({info_.sheetId, CellAddress(row, column)});
  }
  while (pugi::xml_node v = Child(cell, "v")) cell.remove_child(v);
  while (pugi::xml_node is = Child(cell, "is")) cell.remove_child(is);
  cell.remove_attribute("t");
  cell.remove_attribute("cm");
  cell.remove_attribute("vm");
  alignments_.erase({row, column});
}

void XlsxSheet::SetNumber(int row, int column, double value) {
  if (!std::isfinite(value)) {
    throw WorkbookError("Cannot write " + FormatNumber(value) + " into " + Where(row, column) + " of " + book_.Where() +
                        ": a workbook cell holds only finite numbers.");
  }
  CheckPosition(row, column);
  Row& r = RowForWriting(row);
  if (auto cell = AtColumn(r.cells, column); cell == r.cells.end() || cell->column != column) {
    // No element: the number is kept outside the DOM.
    auto n = AtColumn(r.numbers, column);
    if (n != r.numbers.end() && n->column == column) {
      n->value = value;
    } else {
      r.numbers.insert(n, {column, DefaultStyle(r.node, column), value});
      r.node.remove_attribute("spans");
    }
    Touch(row, column);
    return;
  }
  pugi::xml_node cell = CellForWriting(row, column);
  DropContent(cell, row, column);
  // The shortest text that reads back as the same double, always with '.'.
  InsertInOrder(cell, "v", kCellOrder).text().set(FormatNumber(value).c_str());
}

void XlsxSheet::SetText(int row, int column, std::string_view text) {
  pugi::xml_node cell = CellForWriting(row, column);
  DropContent(cell, row, column);
  cell.append_attribute("t") = "inlineStr";
  pugi::xml_node is = InsertInOrder(cell, "is", kCellOrder);
  SetTextElement(is.append_child(Prefixed(cell, "t").c_str()), text);
}

void XlsxSheet::Align(int row, int column, int start, int length, std::uint8_t kind) {
  CheckPosition(row, column);
  pugi::xml_node existing = FindCell(row, column); // a number kept outside the DOM has no text
  if (!existing || Child(existing, "f")) return;   // no text of its own to format
  const CellValue value = Value(row, column);
  if (value.kind != CellValue::Kind::Text) return;
  const std::size_t count = CodePointCount(value.text);
  auto& kinds = alignments_[{row, column}];
  kinds.resize(count, kPlain);
  // Characters beyond the text are ignored, as the spreadsheet does.
  const long first = std::max(1, start);
  const long last = std::min<long>(static_cast<long>(count), static_cast<long>(start) + length - 1);
  for (long i = first; i <= last; ++i) kinds[static_cast<std::size_t>(i - 1)] = kind;
  const std::vector<std::uint8_t> keep = kinds;
  pugi::xml_node cell = CellForWriting(row, column);
  DropContent(cell, row, column);
  WriteRuns(cell, value.text, keep);
  alignments_[{row, column}] = keep;
}

void XlsxSheet::WriteRuns(pugi::xml_node cell, const std::string& text, const std::vector<std::uint8_t>& kinds) {
  cell.append_attribute("t") = "inlineStr";
  pugi::xml_node is = InsertInOrder(cell, "is", kCellOrder);
  // Each run carries the cell's own font so that it looks like the rest of the
  // cell, plus the vertical alignment; properties in the order Excel writes them.
  pugi::xml_node font = book_.FontOfStyle(cell.attribute("s").as_int());
  static const char* const before[] = {"b", "i", "strike", "condense", "extend", "outline", "shadow", "u"};
  static const char* const after[] = {"sz", "color", "name", "family", "charset", "scheme"};
  const std::vector<std::size_t> offsets = CodePointOffsets(text);
  std::size_t i = 0;
  while (i < kinds.size()) {
    std::size_t j = i;
    while (j < kinds.size() && kinds[j] == kinds[i]) ++j;
    pugi::xml_node r = is.append_child(Prefixed(cell, "r").c_str());
    pugi::xml_node rPr = r.append_child(Prefixed(cell, "rPr").c_str());
    auto copy = [&](const char* local) {
      if (pugi::xml_node p = Child(font, local)) {
        pugi::xml_node q = rPr.append_copy(p);
        q.set_name(Prefixed(cell, std::string_view(local) == "name" ? "rFont" : local).c_str());
      }
    };
    for (const char* local : before) copy(local);
    if (kinds[i] != kPlain) {
      rPr.append_child(Prefixed(cell, "vertAlign").c_str()).append_attribute("val") =
          kinds[i] == kSubscript ? "subscript" : "superscript";
    }
    for (const char* local : after) copy(local);
    if (!rPr.first_child()) r.remove_child(rPr);
    SetTextElement(r.append_child(Prefixed(cell, "t").c_str()),
                   std::string_view(text).substr(offsets[i], offsets[j] - offsets[i]));
    i = j;
  }
  if (kinds.empty()) SetTextElement(is.append_child(Prefixed(cell, "t").c_str()), "");
}

void XlsxSheet::UpdateDimension() {
  if (!written_) return;
  pugi::xml_node root = doc_->document_element();
  pugi::xml_node dimension = EnsureChild(root, "dimension", kWorksheetOrder);
  int r1 = minRow_, c1 = minColumn_, r2 = maxRow_, c2 = maxColumn_;
  const std::string_view ref = dimension.attribute("ref").value();
  const auto colon = ref.find(':');
  int a = 0, b = 0, c = 0, d = 0;
  if (colon == std::string_view::npos) {
    if (ParseCellRef(ref, a, b) && a > 0 && b > 0) c = a, d = b;
  } else if (!ParseCellRef(ref.substr(0, colon), a, b) || !ParseCellRef(ref.substr(colon + 1), c, d)) {
    a = b = c = d = 0;
  }
  // "A1" alone is what writers put in an empty sheet: it covers nothing.
  const bool emptySheetMark = colon == std::string_view::npos && a == 1 && b == 1 && rows_.size() <= 1;
  if (a > 0 && b > 0 && c > 0 && d > 0 && !emptySheetMark) {
    r1 = std::min(r1, std::min(a, c));
    c1 = std::min(c1, std::min(b, d));
    r2 = std::max(r2, std::max(a, c));
    c2 = std::max(c2, std::max(b, d));
  }
  const std::string value =
      r1 == r2 && c1 == c2 ? CellAddress(r1, c1) : CellAddress(r1, c1) + ":" + CellAddress(r2, c2);
  if (dimension.attribute("ref")) {
    dimension.attribute("ref").set_value(value.c_str());
  } else {
    dimension.append_attribute("ref") = value.c_str();
  }
}

// Writes the cells of row r from numbers[first] to numbers[last - 1] as the
// DOM would: <c r="K2" s="3"><v>1.5</v></c>, with the row's namespace prefix.
void XlsxSheet::ExpandNumbers(const Mark& mark, std::string& out) const {
  const int r = mark.row;
  const std::size_t first = mark.first, last = mark.last;
  const Row& row = rows_.at(r);
  const std::string c = Prefixed(row.node, "c"), v = Prefixed(row.node, "v");
  const std::string rowDigits = std::to_string(r);
  char buffer[512]; // one cell: two names of a few letters, an address, a style and a number
  for (std::size_t i = first; i < last; ++i) {
    const NumberCell& n = row.numbers[i];
    char* p = buffer;
    char* const limit = buffer + sizeof buffer;
    auto put = [&](std::string_view text) {
      if (static_cast<std::size_t>(limit - p) < text.size()) {
        out.append(buffer, p);
        out.append(text);
        p = buffer;
      } else {
        p = std::copy(text.begin(), text.end(), p);
      }
    };
    put("<");
    put(c);
    put(" r=\"");
    char letters[4];
    int count = 0;
    for (int col = n.column; col > 0; col = (col - 1) / 26) letters[count++] = static_cast<char>('A' + (col - 1) % 26);
    while (count > 0) put(std::string_view(&letters[--count], 1));
    put(rowDigits);
    if (n.style != 0) {
      put("\" s=\"");
      char digits[16];
      put(std::string_view(digits, static_cast<std::size_t>(std::to_chars(digits, digits + 16, n.style).ptr - digits)));
    }
    put("\"><");
    put(v);
    put(">");
    // The shortest text that reads back as the same double, always with '.'.
    char number[32];
    put(std::string_view(number, static_cast<std::size_t>(std::to_chars(number, number + 32, n.value).ptr - number)));
    put("</");
    put(v);
    put("></");
    put(c);
    put(">");
    out.append(buffer, p);
  }
}

std::string XlsxSheet::Serialize() {
  Load();
  UpdateDimension();
  // Each run of numbers kept outside the DOM gets a mark in its place among the
  // row's elements; the writer replaces the marks by the cells as it streams,
  // so the XML of those cells never exists as a DOM nor twice in memory.
  // A mark's value is its index in marks; the writer accepts them only in
  // order, so nothing else can be taken for one.
  std::vector<pugi::xml_node> marks;
  std::vector<Mark> ranges;
  const std::string markName = NumbersMarkName();
  struct RemoveMarks {
    std::vector<pugi::xml_node>& marks;
    ~RemoveMarks() {
      for (pugi::xml_node mark : marks) mark.parent().remove_child(mark);
    }
  } removeMarks{marks};
  for (auto& [number, row] : rows_) {
    std::size_t d = 0;
    for (std::size_t i = 0; i < row.numbers.size();) {
      while (d < row.cells.size() && row.cells[d].column < row.numbers[i].column) ++d;
      std::size_t j = i;
      while (j < row.numbers.size() && (d == row.cells.size() || row.numbers[j].column < row.cells[d].column)) ++j;
      pugi::xml_node mark = d < row.cells.size() && row.cells[d].node.parent() == row.node
                                ? row.node.insert_child_before(pugi::node_pi, row.cells[d].node)
                                : row.node.append_child(pugi::node_pi);
      mark.set_name(markName.c_str());
      mark.set_value(std::to_string(marks.size()).c_str());
      marks.push_back(mark);
      ranges.push_back({number, i, j});
      i = j;
    }
  }
  if (marks.empty()) return xml::Serialize(*doc_);
  std::size_t expected = 0;
  return xml::Serialize(*doc_, markName, [&](std::string_view value, std::string& out) {
    if (expected < ranges.size() && value == std::to_string(expected)) {
      ExpandNumbers(ranges[expected++], out);
      return true;
    }
    return false; // not one of ours: written as it was
  });
}

bool XlsxSheet::MayBeTabSelected() const {
  if (doc_) {
    for (pugi::xml_node v = Child(Child(doc_->document_element(), "sheetViews"), "sheetView"); v;
         v = NextNamed(v, "sheetView")) {
      if (v.attribute("tabSelected").as_bool()) return true;
    }
    return false;
  }
  // Not parsed yet: only a sheet whose part mentions the flag needs a look.
  return book_.ReadPart(info_.part).find("tabSelected") != std::string::npos;
}

void XlsxSheet::SetTabSelected(bool selected) {
  Load();
  pugi::xml_node root = doc_->document_element();
  if (selected) {
    pugi::xml_node views = EnsureChild(root, "sheetViews", kWorksheetOrder);
    pugi::xml_node view = Child(views, "sheetView");
    if (!view) {
      view = views.append_child(Prefixed(views, "sheetView").c_str());
      view.append_attribute("workbookViewId") = 0;
    }
    for (; view; view = NextNamed(view, "sheetView")) {
      if (view.attribute("workbookViewId").as_int() != 0) continue;
      if (view.attribute("tabSelected").as_bool()) continue;
      view.remove_attribute("tabSelected");
      view.prepend_attribute("tabSelected") = "1";
      dirty_ = true;
    }
  } else {
    for (pugi::xml_node v = Child(Child(root, "sheetViews"), "sheetView"); v; v = NextNamed(v, "sheetView")) {
      if (v.attribute("tabSelected")) {
        v.remove_attribute("tabSelected");
        dirty_ = true;
      }
    }
  }
}

// ---------------------------------------------------------------------------
// Saving

void XlsxWorkbook::Impl::ApplyCalcChainRemovals(std::map<std::string, std::string>& replaced,
                                                std::set<std::string>& deleted) {
  if (calcChainPart.empty() || !HasPart(calcChainPart)) return;
  if (!calcChainLoaded && calcChainRemovals.empty()) return;
  if (!calcChainLoaded) {
    ParsePart(calcChainPart, calcChain);
    calcChainLoaded = true;
  }
  pugi::xml_node root = calcChain.document_element();
  int sheet = 0;
  bool changed = false;
  for (pugi::xml_node c = Child(root, "c"); c;) {
    pugi::xml_node next = NextNamed(c, "c");
    // An entry without i belongs to the sheet of the entry before it.
    const bool hasSheet = static_cast<bool>(c.attribute("i"));
    if (hasSheet) sheet = c.attribute("i").as_int();
    if (calcChainRemovals.count({sheet, c.attribute("r").value()})) {
      if (next && !next.attribute("i") && hasSheet) next.prepend_attribute("i") = sheet;
      if (next && c.attribute("l").as_bool() && !next.attribute("l")) next.append_attribute("l") = "1";
      root.remove_child(c);
      changed = true;
    }
    c = next;
  }
  if (!Child(root, "c")) {
    // An empty calculation chain is reported as damage by Excel: the part goes,
    // with its relationship and its content type.
    deleted.insert(calcChainPart);
    const std::string relsPart = RelationshipsPart(workbookPart);
    pugi::xml_document rels;
    ParsePart(relsPart, rels);
    const std::string dir = PartDirectory(workbookPart);
    for (pugi::xml_node rel = Child(rels.document_element(), "Relationship"); rel;) {
      pugi::xml_node next = NextNamed(rel, "Relationship");
      if (ResolveTarget(dir, rel.attribute("Target").value()) == calcChainPart) rel.parent().remove_child(rel);
      rel = next;
    }
    replaced[relsPart] = Serialize(rels);
    pugi::xml_document types;
    ParsePart("[Content_Types].xml", types);
    const std::string partName = "/" + calcChainPart;
    for (pugi::xml_node o = Child(types.document_element(), "Override"); o;) {
      pugi::xml_node next = NextNamed(o, "Override");
      if (partName == o.attribute("PartName").value()) o.parent().remove_child(o);
      o = next;
    }
    replaced["[Content_Types].xml"] = Serialize(types);
  } else if (changed || calcChainLoaded) {
    replaced[calcChainPart] = Serialize(calcChain);
  }
}

std::string XlsxWorkbook::Impl::BuildPackage() {
  std::map<std::string, std::string> replaced;
  std::set<std::string> deleted;
  for (auto& sheet : sheets) {
    if (sheet->Dirty()) replaced[sheet->info().part] = sheet->Serialize();
  }
  if (anyWritten) {
    // Formulas that use the results are recalculated when the file is opened.
    pugi::xml_node calcPr = EnsureChild(workbookDoc.document_element(), "calcPr", kWorkbookOrder);
    if (!calcPr.attribute("fullCalcOnLoad").as_bool()) {
      calcPr.remove_attribute("fullCalcOnLoad");
      calcPr.append_attribute("fullCalcOnLoad") = "1";
      workbookDirty = true;
    }
  }
  if (workbookDirty) replaced[workbookPart] = Serialize(workbookDoc);
  ApplyCalcChainRemovals(replaced, deleted);
  if (replaced.empty() && deleted.empty()) return bytes;

  // Part names compare without regard to case, as the package format says.
  std::map<std::string, std::pair<std::string, std::string>> pending; // lower name -> (name, data)
  for (auto& [part, data] : replaced) {
    if (data.size() > limits.maxPartSize) {
      throw WorkbookError("Cannot save " + Where() + ": the part \"" + part + "\" would be " +
                          std::to_string(data.size()) + " bytes, more than the " + std::to_string(limits.maxPartSize) +
                          " bytes a workbook part may have to be opened again. The file on disk was not changed. "
                          "Split the batch over several workbooks.");
    }
    pending[Lower(part)] = {part, std::move(data)};
  }
  replaced.clear();
  std::set<std::string> removed;
  for (const auto& part : deleted) removed.insert(Lower(part));
  std::string result = Assemble(pending, removed, {});
  // What is saved must open again: a new part packed beyond the reader's
  // ratio (a sheet of one number repeated) is stored instead.
  std::set<std::string> store;
  CheckWritten(result, store);
  if (!store.empty()) {
    result = Assemble(pending, removed, store);
    CheckWritten(result, store);
  }
  return result;
}

std::string XlsxWorkbook::Impl::Lower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

// Checks a package about to be saved against the reader's limits; the names of
// new parts that break the ratio go to store (the first time), else it throws.
void XlsxWorkbook::Impl::CheckWritten(const std::string& package, std::set<std::string>& store) const {
  zip_error_t error;
  zip_error_init(&error);
  zip_source_t* source = zip_source_buffer_create(package.data(), package.size(), 0, &error);
  zip_t* written = source ? zip_open_from_source(source, ZIP_RDONLY, &error) : nullptr;
  if (!written && source) zip_source_free(source);
  zip_error_fini(&error);
  auto fail = [&](const std::string& why) {
    if (written) zip_discard(written);
    throw WorkbookError("Cannot save " + Where() + ": " + why +
                        ", so it could not be opened again. The file on disk was not changed. Split the batch over "
                        "several workbooks.");
  };
  if (!written) fail("the new package cannot be read back");
  const zip_int64_t entries = zip_get_num_entries(written, 0);
  if (static_cast<std::uint64_t>(entries) > limits.maxEntries) fail("the package would have too many entries");
  std::uint64_t total = 0;
  const bool retried = !store.empty();
  for (zip_int64_t i = 0; i < entries; ++i) {
    zip_stat_t st;
    if (zip_stat_index(written, static_cast<zip_uint64_t>(i), 0, &st) != 0) fail("the new package cannot be read back");
    total += st.size;
    if (st.size >= limits.ratioFromSize && st.size / std::max<std::uint64_t>(st.comp_size, 1) > limits.maxRatio) {
      if (retried) fail(std::string("the part \"") + st.name + "\" would pack too densely");
      store.insert(Lower(st.name));
    }
  }
  zip_discard(written);
  if (total > limits.maxTotalSize)
    fail("its parts would add up to more than " + std::to_string(limits.maxTotalSize) + " bytes");
}

// A new package with the entries in their old order: unchanged entries are
// copied with their compressed data as it is (no recompression) and their
// method (a stored part stays stored), changed parts are deflated at the
// fastest level (sheet XML of thousands of numbers deflates four times faster
// than at libzip's default level 9, for ~10 % more bytes), or stored when
// named in store.
std::string XlsxWorkbook::Impl::Assemble(const std::map<std::string, std::pair<std::string, std::string>>& pending,
                                         const std::set<std::string>& removed, const std::set<std::string>& store) {
  zip_error_t error;
  zip_error_init(&error);
  zip_t* out = nullptr;
  zip_source_t* source = zip_source_buffer_create(nullptr, 0, 0, &error);
  auto fail = [&](const std::string& what) {
    std::string why = out ? zip_strerror(out) : zip_error_strerror(&error);
    if (out) zip_discard(out);
    if (source) zip_source_free(source);
    zip_error_fini(&error);
    throw WorkbookError("Cannot save " + Where() + ": " + what + " (" + why + "). The file on disk was not changed.");
  };
  if (!source) fail("no memory for the new package");
  zip_source_keep(source);
  out = zip_open_from_source(source, ZIP_TRUNCATE, &error);
  if (!out) fail("the new package cannot be started");
  // The new parts are handed to libzip without a copy: they stay in pending
  // until the package is closed (a sheet of a large batch is tens of MB).
  auto addReplacement = [&](const std::string& part, const std::string& data) {
    zip_source_t* partSource = zip_source_buffer(out, data.data(), data.size(), 0);
    if (!partSource) fail("the part " + part + " cannot be stored");
    const zip_int64_t index = zip_file_add(out, part.c_str(), partSource, ZIP_FL_ENC_UTF_8);
    if (index < 0) {
      zip_source_free(partSource);
      fail("the part " + part + " cannot be stored");
    }
    if (store.count(Lower(part))) {
      zip_set_file_compression(out, static_cast<zip_uint64_t>(index), ZIP_CM_STORE, 0);
    } else {
      zip_set_file_compression(out, static_cast<zip_uint64_t>(index), ZIP_CM_DEFLATE, 1);
    }
  };
  std::set<std::string> added;
  const zip_int64_t entries = zip_get_num_entries(archive, 0);
  for (zip_int64_t i = 0; i < entries; ++i) {
    const char* rawName = zip_get_name(archive, static_cast<zip_uint64_t>(i), ZIP_FL_ENC_RAW);
    if (!rawName) continue;
    const std::string name = rawName;
    if (removed.count(Lower(name))) continue;
    if (const auto found = pending.find(Lower(name)); found != pending.end() && !added.count(found->first)) {
      addReplacement(name, found->second.second);
      added.insert(found->first);
      continue;
    }
    if (!name.empty() && name.back() == '/') {
      if (zip_dir_add(out, name.c_str(), 0) < 0) fail("the folder " + name + " cannot be stored");
      continue;
    }
    zip_source_t* kept = zip_source_zip(out, archive, static_cast<zip_uint64_t>(i), 0, 0, -1);
    if (!kept) fail("the part " + name + " cannot be copied");
    const zip_int64_t index = zip_file_add(out, name.c_str(), kept, 0);
    if (index < 0) {
      zip_source_free(kept);
      fail("the part " + name + " cannot be copied");
    }
    zip_stat_t st;
    if (zip_stat_index(archive, static_cast<zip_uint64_t>(i), 0, &st) == 0 && (st.valid & ZIP_STAT_COMP_METHOD) &&
        st.comp_method == ZIP_CM_STORE) {
      zip_set_file_compression(out, static_cast<zip_uint64_t>(index), ZIP_CM_STORE, 0);
    }
  }
  for (const auto& [key, part] : pending) {
    if (!added.count(key)) addReplacement(part.first, part.second); // parts new to the package
  }
  if (zip_close(out) != 0) fail("the package cannot be written");
  out = nullptr;

  std::string result;
  zip_stat_t st;
  if (zip_source_open(source) != 0 || zip_source_stat(source, &st) != 0) fail("the new package cannot be read");
  result.resize(static_cast<std::size_t>(st.size));
  zip_int64_t got = zip_source_read(source, result.data(), result.size());
  zip_source_close(source);
  zip_source_free(source);
  source = nullptr;
  zip_error_fini(&error);
  if (got < 0 || static_cast<std::size_t>(got) != result.size()) {
    throw WorkbookError("Cannot save " + Where() +
                        ": the new package could not be assembled. The file on disk was not changed.");
  }
  return result;
}

// ---------------------------------------------------------------------------

XlsxWorkbook::XlsxWorkbook(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
XlsxWorkbook::~XlsxWorkbook() = default;

std::unique_ptr<XlsxWorkbook> XlsxWorkbook::FromBytes(std::string bytes, const std::filesystem::path& displayName,
                                                      const PackageLimits& limits) {
  auto impl = std::make_unique<Impl>();
  impl->path = displayName;
  impl->limits = limits;
  impl->bytes = std::move(bytes);
  impl->Load();
  return std::unique_ptr<XlsxWorkbook>(new XlsxWorkbook(std::move(impl)));
}

std::unique_ptr<XlsxWorkbook> XlsxWorkbook::FromFile(const std::filesystem::path& path) {
  return FromBytes(ReadWorkbookFile(path), path);
}

Worksheet& XlsxWorkbook::Worksheets(int number) {
  if (number < 1 || number > WorksheetCount()) {
    throw WorkbookError(impl_->Where() + " has no worksheet " + std::to_string(number) + " (it has " +
                        std::to_string(WorksheetCount()) + ").");
  }
  return *impl_->sheets[static_cast<std::size_t>(number - 1)];
}

int XlsxWorkbook::WorksheetCount() const { return static_cast<int>(impl_->sheets.size()); }

void XlsxWorkbook::Activate(int number) {
  XlsxSheet& target = static_cast<XlsxSheet&>(Worksheets(number));
  pugi::xml_node workbook = impl_->workbookDoc.document_element();
  pugi::xml_node views = EnsureChild(workbook, "bookViews", kWorkbookOrder);
  pugi::xml_node view = Child(views, "workbookView");
  if (!view) view = views.append_child(Prefixed(views, "workbookView").c_str());
  const int tab = target.info().tabIndex;
  if (!view.attribute("activeTab")) view.append_attribute("activeTab");
  view.attribute("activeTab").set_value(tab);
  // The first tab shown in the tab bar must not lie after the active one.
  if (view.attribute("firstSheet").as_int() > tab) view.attribute("firstSheet").set_value(tab);
  impl_->workbookDirty = true;
  for (auto& sheet : impl_->sheets) {
    if (sheet.get() == &target) {
      sheet->SetTabSelected(true);
    } else if (sheet->MayBeTabSelected()) {
      sheet->SetTabSelected(false);
    }
  }
}

std::string XlsxWorkbook::SaveToBytes() { return impl_->BuildPackage(); }

void XlsxWorkbook::Save() { SaveAs(impl_->path); }

void XlsxWorkbook::SaveAs(const std::filesystem::path& path) {
  FileHold* hold = impl_->hold && impl_->hold->Holds(path) ? impl_->hold.get() : nullptr;
  CheckNotOpenElsewhere(path);
  CheckSavable(path);
  if (hold) hold->CheckUnchanged();
  std::string bytes = impl_->BuildPackage();
  WriteFileAtomically(path, bytes, hold);
  impl_->path = path;
  impl_->Commit(std::move(bytes));
}

void XlsxWorkbook::HoldFile(std::shared_ptr<FileHold> hold) { impl_->hold = std::move(hold); }

std::filesystem::path XlsxWorkbook::Path() const { return impl_->path; }

std::vector<std::pair<int, int>> XlsxWorkbook::CellPositions(int number) {
  return static_cast<XlsxSheet&>(Worksheets(number)).Positions();
}

} // namespace vontralek::workbook
