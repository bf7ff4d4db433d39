#include "TestPackages.h"

#include <sys/wait.h>
#include <xlsxwriter.h>
#include <zip.h>

#include <cstdio>
#include <fstream>
#include <stdexcept>

namespace vontralek::workbook::test {

std::string ZipParts(const Parts& parts) {
  zip_source_t* source = zip_source_buffer_create(nullptr, 0, 0, nullptr);
  zip_source_keep(source);
  zip_t* archive = zip_open_from_source(source, ZIP_TRUNCATE, nullptr);
  for (const auto& [name, data] : parts) {
    zip_file_add(archive, name.c_str(), zip_source_buffer(archive, data.data(), data.size(), 0), ZIP_FL_ENC_UTF_8);
  }
  zip_stat_t st;
  if (zip_close(archive) != 0 || zip_source_open(source) != 0 || zip_source_stat(source, &st) != 0) {
    throw std::runtime_error("cannot zip the test package");
  }
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
  for (zip_uint64_t i = 0; i < static_cast<zip_uint64_t>(zip_get_num_entries(archive, 0)); ++i) {
    zip_stat_t st;
    zip_file_t* f = zip_fopen_index(archive, i, 0);
    if (!f || zip_stat_index(archive, i, 0, &st) != 0) throw std::runtime_error("damaged entry");
    std::string data(st.size, '\0');
    const bool whole = zip_fread(f, data.data(), st.size) == static_cast<zip_int64_t>(st.size);
    zip_fclose(f);
    if (!whole) throw std::runtime_error("damaged entry");
    parts[st.name] = data;
  }
  zip_discard(archive);
  return parts;
}

std::string ReadBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteBytes(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

std::filesystem::path TestFolder(const std::string& name) {
  const auto folder = std::filesystem::path(VONTRALEK_TEST_TMP) / "workbook" / name;
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  return folder;
}

Parts MinimalParts(const std::vector<std::string>& sheetData, const std::string& sharedStrings,
                   const std::string& calcChain) {
  const std::string decl = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>";
  const std::string main = "xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"";
  const std::string rel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
  const std::string type = "application/vnd.openxmlformats-officedocument.spreadsheetml.";
  const std::string relsOpen =
      decl + "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">";
  std::string types =
      decl +
      "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
      "<Default Extension=\"rels\" ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
      "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
      "<Override PartName=\"/xl/workbook.xml\" ContentType=\"" +
      type + "sheet.main+xml\"/>";
  std::string sheets, rels;
  Parts parts;
  auto add = [&](const std::string& name, const std::string& kind, const std::string& id, const std::string& xml) {
    types += "<Override PartName=\"/xl/" + name + "\" ContentType=\"" + type + kind + "+xml\"/>";
    rels += "<Relationship Id=\"" + id + "\" Type=\"" + rel + "/" + kind + "\" Target=\"" + name + "\"/>";
    parts.push_back({"xl/" + name, decl + xml});
  };
  for (std::size_t i = 1; i <= sheetData.size(); ++i) {
    const std::string n = std::to_string(i);
    sheets += "<sheet name=\"Sheet" + n + "\" sheetId=\"" + n + "\" r:id=\"rId" + n + "\"/>";
    add("worksheets/sheet" + n + ".xml", "worksheet", "rId" + n,
        "<worksheet " + main + "><sheetData>" + sheetData[i - 1] + "</sheetData></worksheet>");
  }
  if (!sharedStrings.empty())
    add("sharedStrings.xml", "sharedStrings", "rIdS", "<sst " + main + ">" + sharedStrings + "</sst>");
  if (!calcChain.empty())
    add("calcChain.xml", "calcChain", "rIdC", "<calcChain " + main + ">" + calcChain + "</calcChain>");
  parts.insert(parts.begin(), {{"[Content_Types].xml", types + "</Types>"},
                               {"_rels/.rels", relsOpen + "<Relationship Id=\"rId1\" Type=\"" + rel +
                                                   "/officeDocument\" Target=\"xl/workbook.xml\"/></Relationships>"},
                               {"xl/workbook.xml", decl + "<workbook " + main + " xmlns:r=\"" + rel + "\"><sheets>" +
                                                       sheets + "</sheets></workbook>"},
                               {"xl/_rels/workbook.xml.rels", relsOpen + rels + "</Relationships>"}});
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
  for (lxw_row_t r = 1; r <= 3; ++r) {
    const char name[] = {'W', static_cast<char>('0' + r), 0};
    worksheet_write_string(batch, r, 0, name, nullptr);
    worksheet_write_number(batch, r, 1, 7.0 + r / 10.0, nullptr);
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
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return {-1, ""};
  std::string output;
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) output.append(buffer, n);
  const int status = ::pclose(pipe);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
}

} // namespace vontralek::workbook::test
