#include "TestPackages.h"

#include <xlsxwriter.h>
#include <zip.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <stdexcept>

namespace vontralek::workbook::test {
namespace fs = std::filesystem;

std::string ZipParts(const Parts& parts, const std::vector<std::string>& stored) {
  zip_source_t* source = zip_source_buffer_create(nullptr, 0, 0, nullptr);
  zip_source_keep(source);
  zip_t* archive = zip_open_from_source(source, ZIP_TRUNCATE, nullptr);
  for (const auto& [name, data] : parts) {
    const zip_int64_t i =
        zip_file_add(archive, name.c_str(), zip_source_buffer(archive, data.data(), data.size(), 0), ZIP_FL_ENC_UTF_8);
    if (std::find(stored.begin(), stored.end(), name) != stored.end())
      zip_set_file_compression(archive, static_cast<zip_uint64_t>(i), ZIP_CM_STORE, 0);
  }
  zip_stat_t st;
  if (zip_close(archive) != 0 || zip_source_open(source) != 0 || zip_source_stat(source, &st) != 0)
    throw std::runtime_error("cannot zip the test package");
  std::string bytes(st.size, '\0');
  zip_source_read(source, bytes.data(), bytes.size());
  zip_source_close(source);
  zip_source_free(source);
  return bytes;
}

std::map<std::string, std::string> UnzipParts(const std::string& bytes) {
  zip_source_t* source = zip_source_buffer_create(bytes.data(), bytes.size(), 0, nullptr);
  zip_t* archive = zip_open_from_source(source, ZIP_RDONLY | ZIP_CHECKCONS, nullptr);
  if (!archive) throw std::runtime_error("not a zip package");
  std::map<std::string, std::string> parts;
  for (zip_int64_t i = 0; i < zip_get_num_entries(archive, 0); ++i) {
    zip_stat_t st;
    zip_file_t* f = zip_stat_index(archive, i, 0, &st) == 0 ? zip_fopen_index(archive, i, 0) : nullptr;
    if (!f) throw std::runtime_error("damaged entry");
    std::string& data = parts[st.name] = std::string(st.size, '\0');
    // Read to the end: libzip checks the CRC-32 only there.
    char beyond = 0;
    const bool whole =
        zip_fread(f, data.data(), st.size) == static_cast<zip_int64_t>(st.size) && zip_fread(f, &beyond, 1) == 0;
    if (zip_fclose(f) != 0 || !whole) throw std::runtime_error("damaged entry");
  }
  zip_discard(archive);
  return parts;
}

std::string ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteBytes(const fs::path& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

fs::path TestFolder(const std::string& name) {
  // The streamed run of the same tests goes on at the same time under ctest -j.
  const char* streamed = std::getenv("VONTRALEK_TEST_STREAMED");
  const auto folder = fs::path(VONTRALEK_TEST_TMP) / (streamed != nullptr ? "workbook-streamed" : "workbook") / name;
  fs::remove_all(folder);
  fs::create_directories(folder);
  return folder;
}

Parts MinimalParts(const std::vector<std::string>& sheetData, const std::string& sharedStrings,
                   const std::string& calcChain) {
  const std::string decl = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>";
  const std::string ns = "http://schemas.openxmlformats.org/", main = "xmlns=\"" + ns + "spreadsheetml/2006/main\"";
  const std::string rel = ns + "officeDocument/2006/relationships",
                    relsOpen = decl + "<Relationships xmlns=\"" + ns + "package/2006/relationships\">";
  const std::string type = "application/vnd.openxmlformats-officedocument.spreadsheetml.";
  std::string types = decl + "<Types xmlns=\"" + ns +
                      "package/2006/content-types\"><Default Extension=\"rels\" ContentType=\"application/"
                      "vnd.openxmlformats-package.relationships+xml\"/><Default Extension=\"xml\" "
                      "ContentType=\"application/xml\"/><Override PartName=\"/xl/workbook.xml\" ContentType=\"" +
                      type + "sheet.main+xml\"/>";
  std::string sheets, rels;
  Parts parts;
  auto add = [&](const std::string& name, const std::string& kind, const std::string& id, const std::string& xml) {
    types += "<Override PartName=\"/xl/" + name + "\" ContentType=\"" + type + kind + "+xml\"/>";
    rels += "<Relationship Id=\"" + id + "\" Type=\"" + rel + "/" + kind + "\" Target=\"" + name + "\"/>";
    parts.push_back({"xl/" + name, decl + "<" + xml});
  };
  for (std::size_t i = 1; i <= sheetData.size(); ++i) {
    const std::string n = std::to_string(i);
    sheets += "<sheet name=\"Sheet" + n + "\" sheetId=\"" + n + "\" r:id=\"rId" + n + "\"/>";
    add("worksheets/sheet" + n + ".xml", "worksheet", "rId" + n,
        "worksheet " + main + "><sheetData>" + sheetData[i - 1] + "</sheetData></worksheet>");
  }
  if (!sharedStrings.empty())
    add("sharedStrings.xml", "sharedStrings", "rIdS", "sst " + main + ">" + sharedStrings + "</sst>");
  if (!calcChain.empty())
    add("calcChain.xml", "calcChain", "rIdC", "calcChain " + main + ">" + calcChain + "</calcChain>");
  const std::string book =
      decl + "<workbook " + main + " xmlns:r=\"" + rel + "\"><sheets>" + sheets + "</sheets></workbook>";
  parts.insert(parts.begin(), {{"[Content_Types].xml", types + "</Types>"},
                               {"_rels/.rels", relsOpen + "<Relationship Id=\"rId1\" Type=\"" + rel +
                                                   "/officeDocument\" Target=\"xl/workbook.xml\"/></Relationships>"},
                               {"xl/workbook.xml", book},
                               {"xl/_rels/workbook.xml.rels", relsOpen + rels + "</Relationships>"}});
  return parts;
}

void MakeStyledWorkbook(const fs::path& path) {
  lxw_workbook* wb = workbook_new(path.c_str());
  lxw_worksheet* main = workbook_add_worksheet(wb, "Main");
  lxw_worksheet* batch = workbook_add_worksheet(wb, "Batch");
  worksheet_write_number(workbook_add_worksheet(wb, "Constants"), 4, 1, -10.33, nullptr);
  worksheet_write_number(workbook_add_worksheet(wb, "Charges"), 3, 1, 1, nullptr);
  lxw_worksheet* notes = workbook_add_worksheet(wb, "Notes");
  lxw_format* fixed = workbook_add_format(wb);
  format_set_num_format(fixed, "0.000");
  lxw_format* bold = workbook_add_format(wb);
  format_set_bold(bold);
  format_set_font_size(bold, 14);
  worksheet_write_string(main, 0, 0, "Water analysis", bold);
  worksheet_write_string(main, 3, 0, "pH", nullptr);
  worksheet_write_number(main, 4, 0, 7.25, fixed);
  worksheet_write_number(main, 4, 9, 0, fixed); // J5 keeps its number format when written
  worksheet_write_formula_num(main, 6, 0, "=A5*2", nullptr, 14.5);
  worksheet_write_string(batch, 0, 0, "Sample", bold);
  for (lxw_row_t r = 1; r <= 3; ++r) {
    const char name[] = {'W', static_cast<char>('0' + r), 0};
    worksheet_write_string(batch, r, 0, name, nullptr);
    worksheet_write_number(batch, r, 1, 7.0 + r / 10.0, nullptr);
  }
  worksheet_write_string(notes, 0, 0, "free notes", nullptr);
  workbook_define_name(wb, "LogK", "=Constants!$B$5");
  lxw_chart* chart = workbook_add_chart(wb, LXW_CHART_COLUMN);
  chart_add_series(chart, nullptr, "=Batch!$B$2:$B$4");
  worksheet_insert_chart(notes, 2, 2, chart);
  if (workbook_close(wb) != LXW_NO_ERROR) throw std::runtime_error("libxlsxwriter failed");
}

} // namespace vontralek::workbook::test
