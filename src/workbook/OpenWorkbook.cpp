// Opening a workbook by its file name: .xlsx and .xlsm are edited directly;
// legacy .xls and .ods workbooks go through LibreOffice in headless mode,
// converted to a temporary .xlsx, edited, and converted back on save.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zip.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <set>
#include <thread>

#include "common/Errors.h"
#include "workbook/WorkbookFiles.h"
#include "workbook/XlsxWorkbook.h"

extern char** environ;

namespace vontralek::workbook {

namespace fs = std::filesystem;

namespace {

// What RemoveTemporaryFiles cleans up: the folders of conversions (with their
// LibreOffice profiles) and the process group of a running conversion.
std::mutex temporaryMutex;
std::set<fs::path> temporaryFolders;
std::atomic<pid_t> runningOffice{0};
std::atomic<bool> conversionStopped{false};
static_assert(std::atomic<pid_t>::is_always_lock_free && std::atomic<bool>::is_always_lock_free,
              "used from a signal handler");

std::string LowerExtension(const fs::path& path) {
  std::string ext = path.extension().string();
  // ASCII only, whatever the process locale.
  for (char& c : ext) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return ext;
}

// The LibreOffice program on the PATH, or empty.
fs::path FindOffice() {
  const char* pathVariable = std::getenv("PATH");
  if (!pathVariable) return {};
  std::string_view rest = pathVariable;
  while (true) {
    const auto colon = rest.find(':');
    const fs::path dir(std::string(rest.substr(0, colon)));
    for (const char* name : {"soffice", "libreoffice"}) {
      const fs::path candidate = dir / name;
      if (!dir.empty() && ::access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    if (colon == std::string_view::npos) break;
    rest.remove_prefix(colon + 1);
  }
  return {};
}

std::string FileUrl(const fs::path& path) {
  std::string url = "file://";
  for (unsigned char c : fs::absolute(path).string()) {
    const bool alnum = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    if (alnum || c == '/' || c == '-' || c == '_' || c == '.' || c == '~') {
      url += static_cast<char>(c);
    } else {
      static const char hex[] = "0123456789ABCDEF";
      url += '%';
      url += hex[c >> 4];
      url += hex[c & 15];
    }
  }
  return url;
}

fs::path MakeTemporaryFolder() {
  std::string pattern = (fs::temp_directory_path() / "vontralek-XXXXXX").string();
  if (!::mkdtemp(pattern.data())) {
    throw WorkbookError("Cannot create a temporary folder in \"" + fs::temp_directory_path().string() +
                        "\" for the LibreOffice conversion. Check that the folder is writable.");
  }
  const std::lock_guard<std::mutex> lock(temporaryMutex);
  temporaryFolders.insert(pattern);
  return pattern;
}

void RemoveTemporaryFolder(const fs::path& folder) {
  std::error_code ec;
  fs::remove_all(folder, ec);
  const std::lock_guard<std::mutex> lock(temporaryMutex);
  temporaryFolders.erase(folder);
}

// Macros (a Basic library, scripts or a VBA project) that LibreOffice's
// conversion to .xlsx and back would not carry through.
bool HasMacros(const fs::path& path, const std::string& extension) {
  const std::string bytes = ReadWorkbookFile(path);
  if (extension == ".ods") {
    // ODF keeps macros in the Basic/ and Scripts/ folders of the package.
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = zip_source_buffer_create(bytes.data(), bytes.size(), 0, &error);
    zip_t* archive = source ? zip_open_from_source(source, ZIP_RDONLY, &error) : nullptr;
    if (!archive && source) zip_source_free(source);
    zip_error_fini(&error);
    if (!archive) return false; // LibreOffice reports what is wrong with it
    bool found = false;
    for (zip_int64_t i = 0; i < zip_get_num_entries(archive, 0) && !found; ++i) {
      const std::string name = zip_get_name(archive, static_cast<zip_uint64_t>(i), ZIP_FL_ENC_RAW);
      found = name.rfind("Basic/", 0) == 0 || name.rfind("Scripts/", 0) == 0;
    }
    zip_discard(archive);
    return found;
  }
  // An .xls keeps them in the _VBA_PROJECT_CUR storage, named in UTF-16.
  const std::string ascii = "_VBA_PROJECT_CUR";
  std::string utf16;
  for (char c : ascii) utf16 += std::string{c, '\0'};
  return bytes.find(utf16) != std::string::npos;
}

// Runs "soffice --headless --convert-to filter --outdir outDir input" with a
// private profile and returns the file it wrote.
fs::path Convert(const fs::path& office, const fs::path& profile, const fs::path& input, const std::string& filter,
                 const std::string& extension, const fs::path& outDir, const fs::path& shownName) {
  fs::create_directories(outDir);
  const fs::path log = outDir / "soffice.log";
  std::vector<std::string> args = {office.string(), "-env:UserInstallation=" + FileUrl(profile),
                                   "--headless",    "--norestore",
                                   "--nolockcheck", "--convert-to",
                                   filter,          "--outdir",
                                   outDir.string(), fs::absolute(input).string()};
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  // soffice is a launcher that starts soffice.bin: a process group of their
  // own lets a hung conversion be stopped as a whole.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
  posix_spawnattr_setpgroup(&attributes, 0);
  pid_t pid = 0;
  const int rc = ::posix_spawn(&pid, office.c_str(), &actions, &attributes, argv.data(), environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  conversionStopped = false;
  if (rc == 0) runningOffice = pid;
  struct Finished {
    ~Finished() { runningOffice = 0; }
  } finished;
  if (rc != 0) {
    throw WorkbookError("Cannot start LibreOffice (\"" + office.string() + "\") to convert \"" + shownName.string() +
                        "\". Check the LibreOffice installation, or save the workbook as .xlsx.");
  }
  // A conversion takes seconds; a hung LibreOffice is stopped after three minutes.
  int status = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(3);
  while (true) {
    const pid_t done = ::waitpid(pid, &status, WNOHANG);
    if (done == pid) break;
    if (done < 0 && errno != EINTR) break;
    if (std::chrono::steady_clock::now() > deadline) {
      ::kill(-pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      throw WorkbookError("LibreOffice did not finish converting \"" + shownName.string() +
                          "\" within three minutes. Close other LibreOffice windows and run again, or save the "
                          "workbook as .xlsx.");
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  const fs::path output = outDir / (input.stem().string() + extension);
  std::error_code ec;
  if (conversionStopped) {
    throw WorkbookError("The LibreOffice conversion of \"" + shownName.string() +
                        "\" was stopped on request. The file was left unchanged.");
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || !fs::exists(output, ec)) {
    throw WorkbookError("LibreOffice could not convert \"" + shownName.string() + "\" (to " + filter +
                        "). The file was left unchanged. Check that it is a workbook LibreOffice Calc can open, or "
                        "save it as .xlsx in the spreadsheet application.");
  }
  return output;
}

// A workbook in a format of its own, edited as a temporary .xlsx.
class ConvertedWorkbook : public Workbook {
public:
  ConvertedWorkbook(fs::path original, fs::path office, std::string backFilter, std::shared_ptr<FileHold> hold)
      : original_(std::move(original)), office_(std::move(office)), backFilter_(std::move(backFilter)),
        hold_(std::move(hold)), hasMacros_(HasMacros(original_, LowerExtension(original_))),
        folder_(MakeTemporaryFolder()) {
    try {
      const fs::path converted =
          Convert(office_, folder_ / "profile", original_, "xlsx", ".xlsx", folder_ / "in", original_);
      inner_ = XlsxWorkbook::FromBytes(ReadWorkbookFile(converted), original_);
      if (hold_) hold_->CheckUnchanged();
    } catch (...) {
      RemoveTemporaryFolder(folder_);
      throw;
    }
  }
  ~ConvertedWorkbook() override { RemoveTemporaryFolder(folder_); }

  Worksheet& Worksheets(int number) override { return inner_->Worksheets(number); }
  int WorksheetCount() const override { return inner_->WorksheetCount(); }
  void Activate(int number) override { inner_->Activate(number); }
  void Save() override { SaveTo(original_); }
  void SaveAs(const fs::path& path) override {
    SaveTo(path);
    original_ = path;
  }
  fs::path Path() const override { return original_; }
  void CheckRoomToWrite(int number, int columns, const fs::path& target) override {
    inner_->CheckRoomToWrite(number, columns, target);
  }
  PictureSheetState PictureSheet(const std::string& name, std::string_view marker) override {
    return inner_->PictureSheet(name, marker);
  }
  void PutPictureSheet(const std::string& name, std::string_view marker,
                       const std::vector<Picture>& pictures) override {
    inner_->PutPictureSheet(name, marker, pictures);
  }
  void CheckSaveTo(const fs::path& target) const override {
    CheckSavable(target);
    std::error_code ec;
    if (hasMacros_ && fs::equivalent(target, original_, ec)) {
      throw WorkbookError("The results cannot be saved in \"" + original_.string() +
                          "\": the workbook holds macros, which its conversion through LibreOffice (to .xlsx and "
                          "back) would lose. The file was not changed. Save the results "
                          "to another file with -o, or save the workbook as .xlsm in the spreadsheet application and "
                          "use that file.");
    }
  }

private:
  void SaveTo(const fs::path& target) {
    CheckNotOpenElsewhere(target);
    CheckSaveTo(target);
    FileHold* hold = hold_ && hold_->Holds(target) ? hold_.get() : nullptr;
    if (hold) hold->CheckUnchanged();
    // A fixed stem inside a fresh folder: the output name is then known.
    const fs::path work = folder_ / ("save" + std::to_string(++saves_));
    fs::create_directories(work);
    const fs::path edited = work / "workbook.xlsx";
    WriteFileAtomically(edited, inner_->SaveToBytes());
    const std::string extension = LowerExtension(target) == ".ods" ? ".ods" : ".xls";
    const fs::path back = Convert(office_, folder_ / "profile", edited, backFilter_, extension, work / "out", target);
    WriteFileAtomically(target, ReadWorkbookFile(back), hold);
  }

  fs::path original_;
  fs::path office_;
  std::string backFilter_;
  std::shared_ptr<FileHold> hold_;
  bool hasMacros_;
  fs::path folder_;
  std::unique_ptr<XlsxWorkbook> inner_;
  int saves_ = 0;
};

} // namespace

void StopConversion() noexcept {
  if (const pid_t office = runningOffice.exchange(0); office > 0) {
    conversionStopped = true;
    ::kill(-office, SIGKILL);
  }
}

void RemoveTemporaryFiles() noexcept {
  StopConversion();
  std::set<fs::path> folders;
  {
    const std::lock_guard<std::mutex> lock(temporaryMutex);
    folders.swap(temporaryFolders);
  }
  for (const fs::path& folder : folders) {
    std::error_code ec;
    fs::remove_all(folder, ec);
  }
}

std::unique_ptr<Workbook> OpenWorkbook(const fs::path& path) {
  const std::string ext = LowerExtension(path);
  if (ext != ".xls" && ext != ".ods" && ext != ".xlsx" && ext != ".xlsm") {
    throw WorkbookError("Cannot open \"" + path.string() + "\": the file type \"" + ext +
                        "\" is not a workbook this program reads. Use an .xlsx or .xlsm workbook (.xls and .ods are "
                        "read through LibreOffice).");
  }
  // Held from before it is read until the run ends.
  auto hold = std::make_shared<FileHold>(path);
  if (ext == ".xls" || ext == ".ods") {
    ReadWorkbookFile(path); // a missing or unreadable file is reported before LibreOffice starts
    const fs::path office = FindOffice();
    if (office.empty()) {
      throw WorkbookError("Cannot open \"" + path.string() + "\": " + ext +
                          " workbooks are read and written through LibreOffice, which is not installed (no soffice "
                          "program on the PATH). Install LibreOffice Calc (Debian: apt-get install "
                          "libreoffice-calc-nogui), or open the workbook in a spreadsheet application and save it as "
                          ".xlsx, then use that file.");
    }
    return std::make_unique<ConvertedWorkbook>(path, office, ext == ".ods" ? "ods" : "xls:MS Excel 97", hold);
  }
  auto book = XlsxWorkbook::FromFile(path);
  hold->CheckUnchanged(); // not rewritten while it was read
  book->HoldFile(std::move(hold));
  return book;
}

} // namespace vontralek::workbook
