#include "TestPackages.h"

#include <xlsxwriter.h>
#include <zip.h>

#include <sys/wait.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <stdexcept>

namespace vontralek::workbook::test {

std::string ZipParts(const Parts& parts) {
  zip_error_t error;
  zip_error_init(&error);
  zip_source_t* source = zip_source_buffer_create(nullptr, 0, 0, &error);
  zip_source_keep(source);
  zip_t* archive = zip_open_from_source(source, ZIP_TRUNCATE, &error);
  if (!archive) throw std::runtime_error("zip_open_from_source failed");
  for (const auto& [name, data] : parts) {
    zip_source_t* part = zip_source_buffer(archive, data.data(), data.size(), 0);
    if (zip_file_add(archive, name.c_str(), part, ZIP_FL_ENC_UTF_8) < 0) throw std::runtime_error("zip_file_add");
  }
  if (zip_close(archive) != 0) throw std::runtime_error("zip_close failed");
  zip_stat_t st;
  zip_source_open(source);
  zip_source_stat(source, &st);
  std::string bytes(static_cast<std::size_t>(st.size), '\0');
  zip_source_read(source, bytes.data(), bytes.size());
  zip_source_close(source);
  zip_source_free(source);
  return bytes;
}

std::map<std::string, std::string> UnzipParts(const std::string& bytes) {
  zip_error_t error;
  zip_error_init(&error);
  zip_source_t* source = zip_source_buffer_create(bytes.data(), bytes.size(), 0, &error);
  zip_t* archive = zip_open_from_source(source, ZIP_RDONLY | ZIP_CHECKCONS, &error);
  if (!archive) throw std::runtime_error("not a zip package");
  std::map<std::string, std::string> parts;
  for (zip_int64_t i = 0; i < zip_get_num_entries(archive, 0); ++i) {
    zip_file_t* f = zip_fopen_index(archive, static_cast<zip_uint64_t>(i), 0);
    std::string data;
    char buffer[8192];
    zip_int64_t n;
    while ((n = zip_fread(f, buffer, sizeof buffer)) > 0) data.append(buffer, static_cast<std::size_t>(n));
    zip_fclose(f);
    if (n < 0) throw std::runtime_error("damaged entry");
    parts[zip_get_name(archive, static_cast<zip_uint64_t>(i), 0)] = data;
  }
  zip_discard(archive);
  return parts;
}

std::string ReadBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::filesystem::path TestFolder(const std::string& name) {
  const std::filesystem::path folder = std::filesystem::path(VONTRALEK_TEST_TMP) / "workbook" / name;
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  return folder;
}

Parts MinimalParts(const std::vector<std::string>& sheetData, const std::string& sharedStrings,
                   const std::string& calcChain) {
  const std::string main = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
  const std::string rel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
  std::string types =
      "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>"
      "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
      "<Default Extension=\"rels\" ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
      "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
      "<Override PartName=\"/xl/workbook.xml\" "
      "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml\"/>";
  std::string sheets, rels;
  Parts parts;
  for (std::size_t i = 1; i <= sheetData.size(); ++i) {
    const std::string n = std::to_string(i);
    types += "<Override PartName=\"/xl/worksheets/sheet" + n +
             ".xml\" ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml\"/>";
    sheets += "<sheet name=\"Sheet" + n + "\" sheetId=\"" + n + "\" r:id=\"rId" + n + "\"/>";
    rels +=
        "<Relationship Id=\"rId" + n + "\" Type=\"" + rel + "/worksheet\" Target=\"worksheets/sheet" + n + ".xml\"/>";
    parts.push_back({"xl/worksheets/sheet" + n + ".xml",
                     "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?><worksheet xmlns=\"" + main +
                         "\" xmlns:r=\"" + rel + "\"><sheetData>" + sheetData[i - 1] + "</sheetData></worksheet>"});
  }
  if (!sharedStrings.empty()) {
    types += "<Override PartName=\"/xl/sharedStrings.xml\" "
             "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.sharedStrings+xml\"/>";
    rels += "<Relationship Id=\"rIdS\" Type=\"" + rel + "/sharedStrings\" Target=\"sharedStrings.xml\"/>";
    parts.push_back(
        {"xl/sharedStrings.xml", "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?><sst xmlns=\"" + main +
                                     "\">" + sharedStrings + "</sst>"});
  }
  if (!calcChain.empty()) {
    types += "<Override PartName=\"/xl/calcChain.xml\" "
             "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.calcChain+xml\"/>";
    rels += "<Relationship Id=\"rIdC\" Type=\"" + rel + "/calcChain\" Target=\"calcChain.xml\"/>";
    parts.push_back(
        {"xl/calcChain.xml", "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?><calcChain xmlns=\"" + main +
                                 "\">" + calcChain + "</calcChain>"});
  }
  types += "</Types>";
  parts.insert(
      parts.begin(),
      {{"[Content_Types].xml", types},
       {"_rels/.rels", "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?><Relationships "
                       "xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\"><Relationship "
                       "Id=\"rId1\" Type=\"" +
                           rel + "/officeDocument\" Target=\"xl/workbook.xml\"/></Relationships>"},
       {"xl/workbook.xml", "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?><workbook xmlns=\"" + main +
                               "\" xmlns:r=\"" + rel + "\"><sheets>" + sheets + "</sheets></workbook>"},
       {"xl/_rels/workbook.xml.rels", "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?><Relationships "
                                      "xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">" +
                                          rels + "</Relationships>"}});
  return parts;
}

void MakeStyledWorkbook(const std::filesystem::path& path) {
  lxw_workbook* wb = workbook_new(path.c_str());
  lxw_worksheet* main = workbook_add_worksheet(wb, "Main");
  lxw_worksheet* batch = workbook_add_worksheet(wb, "Batch");
  lxw_worksheet* constants = workbook_add_worksheet(wb, "Constants");
  lxw_worksheet* charges = workbook_add_worksheet(wb, "Charges");
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
  static const char* const samples[] = {"W1", "W2", "W3"};
  for (int r = 1; r <= 3; ++r) {
    worksheet_write_string(batch, static_cast<lxw_row_t>(r), 0, samples[r - 1], nullptr);
    worksheet_write_number(batch, static_cast<lxw_row_t>(r), 1, 7.0 + r / 10.0, nullptr);
  }
  worksheet_write_number(constants, 4, 1, -10.33, nullptr);
  worksheet_write_number(charges, 3, 1, 1, nullptr);
  worksheet_write_string(notes, 0, 0, "free notes", nullptr);
  workbook_define_name(wb, "LogK", "=Constants!$B$5");
  lxw_chart* chart = workbook_add_chart(wb, LXW_CHART_COLUMN);
  chart_add_series(chart, nullptr, "=Batch!$B$2:$B$4");
  worksheet_insert_chart(notes, 2, 2, chart);
  if (workbook_close(wb) != LXW_NO_ERROR) throw std::runtime_error("libxlsxwriter failed");
}

std::pair<int, std::string> RunCommand(const std::string& command) {
  std::string output;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return {-1, ""};
  char buffer[4096];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
  const int status = ::pclose(pipe);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
}

} // namespace vontralek::workbook::test
