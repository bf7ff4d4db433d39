#pragma once

// Where a worksheet edited as a stream of rows keeps its deflated rows until
// the save, and whether they fit there. A full sheet of results takes about a
// gigabyte, so the folder follows the user's TMPDIR, and the room it needs is
// checked before a run calculates anything.

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

namespace vontralek::workbook {

// $TMPDIR when it is set and not empty; otherwise the folder of the file the
// results are saved to (beside it, where the safe save writes anyway).
std::filesystem::path TemporaryFolder(const std::filesystem::path& target);

// A file without a name in folder (O_TMPFILE; where the file system lacks it,
// a named file removed at once): nothing is left behind whatever ends the
// process. Throws WorkbookError naming the folder when none can be made.
std::FILE* UnnamedTemporaryFile(const std::filesystem::path& folder);

// Bytes free for an unprivileged user in the file system holding path
// (statvfs); empty when that cannot be asked.
using FreeSpaceQuery = std::function<std::optional<std::uint64_t>(const std::filesystem::path&)>;
std::optional<std::uint64_t> FreeSpace(const std::filesystem::path& path);

// The deflated rows of a worksheet of rows rows whose part is partBytes
// unpacked, once columns numbers were written into each row: what the part
// itself gives, about 1 byte in 6 unpacked, plus the numbers, about 11 bytes
// each deflated (a batch of 100,000 rows, 84 columns: 87 MB, 10.4 bytes a
// cell), with a quarter more for safety.
std::uint64_t StreamedRowsEstimate(std::uint64_t partBytes, std::uint64_t rows, int columns);

// Throws WorkbookError when folder has less than needed bytes free, saying
// what needs the room (what: "the temporary file of worksheet 2 (\"Batch\")"),
// how much is free and what to do. A file system that cannot be asked is let be.
void CheckTemporarySpace(const std::filesystem::path& folder, std::uint64_t needed, const std::string& what,
                         const FreeSpaceQuery& query);

} // namespace vontralek::workbook
