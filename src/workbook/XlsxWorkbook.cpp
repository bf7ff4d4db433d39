#include "workbook/XlsxWorkbook.h"

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <map>
#include <set>

#include "common/Errors.h"
#include "workbook/CalcChain.h"
#include "workbook/DeflateStream.h"
#include "workbook/PackageReader.h"
#include "workbook/PackageWriter.h"
#include "workbook/RichText.h"
#include "workbook/SharedStrings.h"
#include "workbook/WorkbookFiles.h"
#include "workbook/XlsxPictures.h"
#include "workbook/XlsxSheet.h"
#include "workbook/XlsxXml.h"

namespace vontralek::workbook {

using namespace xml;

namespace {
SaveTimings lastSave;
double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}
} // namespace

SaveTimings LastSaveTimings() { return lastSave; }

// The workbook part and its worksheets, over the package they were read from.
struct XlsxWorkbook::Impl {
  PackageReader package;
  std::shared_ptr<FileHold> hold;

  std::string workbookPart;
  pugi::xml_document workbookDoc;
  bool workbookDirty = false;
  std::unique_ptr<SharedStrings> strings;
  std::unique_ptr<Styles> styles;
  std::unique_ptr<CalcChain> calcChain;
  std::vector<std::unique_ptr<XlsxSheet>> sheets; // the worksheets, in tab order
  PictureChanges pictures;                        // until the next save
  std::set<std::string> pictureSheetsAdded;       // names, lower case: a sheet added since the file was read

  Impl(const std::filesystem::path& path, const PackageLimits& limits) : package(path, limits) {}
  SheetContext Context() { return {package, *strings, *styles, *calcChain}; }
  void Load(std::string bytes);
  // The same from the file, its parts read as they are needed.
  void LoadFile(const std::filesystem::path& path);
  // What the first bytes say the file is: refused unless a zip package.
  void CheckSignature(std::string_view start) const;
  // The parts read once the package is open.
  void LoadParts();
  bool StreamedChanges() const {
    for (const auto& sheet : sheets) {
      if (sheet->Streamed() && sheet->Dirty()) return true;
    }
    return false;
  }
  // The new package; with path (when a sheet was streamed) written to that file.
  std::string BuildPackage(const std::string* path = nullptr);
};

void XlsxWorkbook::Impl::Load(std::string bytes) {
  CheckSignature(bytes);
  package.Open(std::move(bytes));
  LoadParts();
}

void XlsxWorkbook::Impl::LoadFile(const std::filesystem::path& path) {
  char start[8] = {};
  std::ifstream in(path, std::ios::binary);
  if (!in.is_open()) ReadWorkbookFile(path); // says why it cannot be read
  in.read(start, sizeof start);
  CheckSignature({start, static_cast<std::size_t>(in.gcount())});
  package.OpenFile(path, false);
  LoadParts();
}

void XlsxWorkbook::Impl::CheckSignature(std::string_view bytes) const {
  if (bytes.size() >= 8 && std::memcmp(bytes.data(), "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) == 0) {
    throw WorkbookError("Cannot use " + package.Where() +
                        ": it is not an .xlsx package but an OLE compound file, which is what Excel writes for a "
                        "password-protected (encrypted) workbook or an old .xls workbook. The file was left unchanged. "
                        "Remove the password, or save the workbook as .xlsx (Excel Workbook) in the spreadsheet "
                        "application.");
  }
  if (bytes.size() < 4 || bytes.compare(0, 2, "PK") != 0)
    package.Damaged("it is not a zip package (not an .xlsx file)");
}

void XlsxWorkbook::Impl::LoadParts() {
  // The main part from the package relationships.
  pugi::xml_document rootRels;
  package.ParsePart("_rels/.rels", rootRels);
  for (pugi::xml_node rel = Child(rootRels.document_element(), "Relationship"); rel;
       rel = NextNamed(rel, "Relationship")) {
    if (EndsWith(rel.attribute("Type").value(), "/officeDocument")) {
      workbookPart = ResolveTarget("", rel.attribute("Target").value());
      break;
    }
  }
  if (workbookPart.empty()) package.Damaged("the package names no workbook part");
  package.ParsePart(workbookPart, workbookDoc);
  if (LocalName(workbookDoc.document_element().name()) != "workbook") {
    package.Damaged("the part \"" + workbookPart + "\" is not a workbook");
  }

  // Relationships of the workbook: sheets, shared strings, styles, calc chain.
  const std::string relsPart = RelationshipsPart(workbookPart);
  std::map<std::string, std::pair<std::string, std::string>> byId; // id -> (type, part)
  std::string sharedStringsPart, stylesPart, calcChainPart;
  if (package.HasPart(relsPart)) {
    pugi::xml_document rels;
    package.ParsePart(relsPart, rels);
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

  strings = std::make_unique<SharedStrings>(package, sharedStringsPart);
  styles = std::make_unique<Styles>(package, stylesPart);
  calcChain = std::make_unique<CalcChain>(package, calcChainPart, workbookPart);

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
        package.Damaged("worksheets " + std::to_string(other->Number()) + " and " + std::to_string(number) +
                        " are one and the same part \"" + TextForMessage(info.part) + "\"");
      }
    }
    if (!package.HasPart(info.part)) {
      package.Damaged("worksheet " + std::to_string(number) + " (\"" + info.name + "\") refers to the part \"" +
                      info.part + "\", which is missing from the package");
    }
    sheets.push_back(std::make_unique<XlsxSheet>(Context(), std::move(info), number));
  }
  // Every worksheet is read at once, so that a damaged one is reported before
  // anything is written.
  for (const auto& sheet : sheets) {
    sheet->StreamFrom(package.Limits().streamFromSize);
    sheet->Load();
  }
}

std::string XlsxWorkbook::Impl::BuildPackage(const std::string* path) {
  lastSave = {};
  const auto start = std::chrono::steady_clock::now();
  std::map<std::string, std::string> replaced;
  std::map<std::string, const DeflateStream*> streamed;
  double streamDeflate = 0;
  std::set<std::string> deleted;
  bool anyWritten = false;
  for (auto& sheet : sheets) {
    if (sheet->Dirty() && sheet->Streamed()) {
      streamed[sheet->info().part] = &sheet->FinishStream();
      streamDeflate += streamed[sheet->info().part]->Seconds();
    } else if (sheet->Dirty()) {
      replaced[sheet->info().part] = sheet->Serialize();
    }
    anyWritten = anyWritten || sheet->Written();
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
  calcChain->Apply(replaced, deleted);
  ApplyPictureChanges(package, workbookPart, pictures, replaced, deleted);
  if (replaced.empty() && deleted.empty() && streamed.empty()) return package.Bytes();
  lastSave.serializeSeconds = SecondsSince(start);
  const auto packing = std::chrono::steady_clock::now();
  std::string result = WritePackage(package, std::move(replaced), deleted, &lastSave.deflateSeconds, streamed, path);
  lastSave.packageSeconds = SecondsSince(packing) - lastSave.deflateSeconds;
  lastSave.deflateSeconds += streamDeflate;
  return result;
}

XlsxWorkbook::XlsxWorkbook(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
XlsxWorkbook::~XlsxWorkbook() = default;

std::unique_ptr<XlsxWorkbook> XlsxWorkbook::FromBytes(std::string bytes, const std::filesystem::path& displayName,
                                                      const PackageLimits& limits) {
  auto impl = std::make_unique<Impl>(displayName, limits);
  impl->Load(std::move(bytes));
  return std::unique_ptr<XlsxWorkbook>(new XlsxWorkbook(std::move(impl)));
}

std::unique_ptr<XlsxWorkbook> XlsxWorkbook::FromFile(const std::filesystem::path& path, const PackageLimits& limits) {
  std::error_code ec;
  const std::uintmax_t size = std::filesystem::is_regular_file(path, ec) ? std::filesystem::file_size(path, ec) : 0;
  // A small file (or one whose size cannot be asked) is read whole, with the
  // messages of ReadWorkbookFile for a file that cannot be read.
  if (ec || size <= limits.readWholeUpTo) return FromBytes(ReadWorkbookFile(path), path, limits);
  auto impl = std::make_unique<Impl>(path, limits);
  impl->LoadFile(path);
  return std::unique_ptr<XlsxWorkbook>(new XlsxWorkbook(std::move(impl)));
}

Worksheet& XlsxWorkbook::Worksheets(int number) {
  if (number < 1 || number > WorksheetCount()) {
    throw WorkbookError(impl_->package.Where() + " has no worksheet " + std::to_string(number) + " (it has " +
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

std::string XlsxWorkbook::SaveToBytes() {
  if (!impl_->StreamedChanges()) return impl_->BuildPackage();
  // Through a file: the package of a streamed sheet is never held in memory.
  std::string pattern = (std::filesystem::temp_directory_path() / "vontralek-package-XXXXXX").string();
  const int fd = ::mkstemp(pattern.data());
  if (fd < 0) throw WorkbookError("Cannot save " + impl_->package.Where() + ": no temporary file could be made.");
  ::close(fd);
  struct Remove {
    std::string path;
    ~Remove() { ::unlink(path.c_str()); }
  } remove{pattern};
  impl_->BuildPackage(&pattern);
  return ReadWorkbookFile(pattern);
}

void XlsxWorkbook::Save() { SaveAs(impl_->package.Path()); }

void XlsxWorkbook::SaveAs(const std::filesystem::path& path) {
  FileHold* hold = impl_->hold && impl_->hold->Holds(path) ? impl_->hold.get() : nullptr;
  CheckNotOpenElsewhere(path);
  CheckSavable(path);
  if (hold) hold->CheckUnchanged();
  if (impl_->StreamedChanges()) {
    // The package goes straight into the temporary file beside the target.
    SaveTimings timings;
    WriteFileAtomically(
        path,
        [&](int, const std::filesystem::path& temporary) {
          const std::string file = temporary.string();
          impl_->BuildPackage(&file);
          timings = lastSave;
        },
        hold);
    lastSave = timings;
    impl_->pictures = {};
    impl_->package.OpenFile(path);
    for (auto& sheet : impl_->sheets) {
      if (sheet->Streamed()) sheet->Reload();
    }
    return;
  }
  std::string bytes = impl_->BuildPackage();
  impl_->pictures = {}; // in the package from now on
  const auto writing = std::chrono::steady_clock::now();
  WriteFileAtomically(path, bytes, hold);
  lastSave.fileSeconds = SecondsSince(writing);
  impl_->package.SetPath(path);
  impl_->package.Open(std::move(bytes));
}

void XlsxWorkbook::CheckRoomToWrite(int number, int columns, const std::filesystem::path& target) {
  XlsxSheet& sheet = static_cast<XlsxSheet&>(Worksheets(number));
  if (!sheet.Streamed()) return; // edited in memory: nothing but the new file, as large as the old one
  const std::filesystem::path folder = TemporaryFolder(target);
  const std::filesystem::path beside = std::filesystem::absolute(target).parent_path();
  sheet.KeepRowsIn(folder);
  const std::uint64_t rows =
      StreamedRowsEstimate(impl_->package.StatedSize(sheet.info().part), sheet.RowCount(), columns);
  // The new file holds the rows once more, beside the rest of the package.
  const std::uint64_t file = rows + impl_->package.Size();
  const std::string what = "the temporary file of " + sheet.SheetName();
  const FreeSpaceQuery& query = impl_->package.Limits().freeSpace;
  struct stat a {
  }, b{};
  if (::stat(folder.c_str(), &a) == 0 && ::stat(beside.c_str(), &b) == 0 && a.st_dev == b.st_dev) {
    CheckTemporarySpace(folder, rows + file, what + " and the new workbook file", query);
  } else {
    CheckTemporarySpace(folder, rows, what, query);
    CheckTemporarySpace(beside, file, "the new workbook file", query);
  }
}

PictureSheetState XlsxWorkbook::PictureSheet(const std::string& name, std::string_view marker) {
  if (impl_->pictureSheetsAdded.count(LowerName(name))) return PictureSheetState::Ours;
  for (const auto& sheet : impl_->sheets)
    if (LowerName(sheet->info().name) == LowerName(name))
      return PictureSheetOf(impl_->package, sheet->info().part, marker);
  // A chart sheet or another sheet that is no worksheet by that name is not ours either.
  pugi::xml_node sheets = Child(impl_->workbookDoc.document_element(), "sheets");
  for (pugi::xml_node s = Child(sheets, "sheet"); s; s = NextNamed(s, "sheet"))
    if (LowerName(s.attribute("name").value()) == LowerName(name)) return PictureSheetState::Foreign;
  return PictureSheetState::Absent;
}

void XlsxWorkbook::PutPictureSheet(const std::string& name, std::string_view marker,
                                   const std::vector<Picture>& pictures) {
  const PictureSheetState state = PictureSheet(name, marker);
  if (state == PictureSheetState::Foreign || impl_->pictureSheetsAdded.count(LowerName(name)))
    throw WorkbookError("The worksheet \"" + name + "\" of " + impl_->package.Where() +
                        " was not written by this program (or was added in this run); its pictures were not "
                        "replaced. Rename or delete that worksheet.");
  if (state == PictureSheetState::Absent) {
    AddPictureSheet(impl_->package, impl_->workbookPart, impl_->workbookDoc, name, pictures, impl_->pictures);
    impl_->workbookDirty = true;
    impl_->pictureSheetsAdded.insert(LowerName(name));
    return;
  }
  for (const auto& sheet : impl_->sheets)
    if (LowerName(sheet->info().name) == LowerName(name))
      ReplacePictures(impl_->package, sheet->info().part, pictures, impl_->pictures);
}

void XlsxWorkbook::HoldFile(std::shared_ptr<FileHold> hold) { impl_->hold = std::move(hold); }

std::filesystem::path XlsxWorkbook::Path() const { return impl_->package.Path(); }

bool XlsxWorkbook::Streamed(int number) { return static_cast<XlsxSheet&>(Worksheets(number)).Streamed(); }

std::vector<std::pair<int, int>> XlsxWorkbook::CellPositions(int number) {
  return static_cast<XlsxSheet&>(Worksheets(number)).Positions();
}

} // namespace vontralek::workbook
