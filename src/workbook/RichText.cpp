#include "workbook/RichText.h"

#include "workbook/PackageReader.h"
#include "workbook/XlsxXml.h"

namespace vontralek::workbook {

using namespace xml;

std::size_t CodePointCount(std::string_view text) {
  std::size_t n = 0;
  for (char c : text) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return n;
}

std::vector<std::size_t> CodePointOffsets(std::string_view text) {
  std::vector<std::size_t> offsets;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) offsets.push_back(i);
  }
  offsets.push_back(text.size());
  return offsets;
}

pugi::xml_node Styles::FontOfStyle(int styleIndex) {
  if (!loaded_) {
    loaded_ = true;
    if (!part_.empty() && package_.HasPart(part_)) package_.ParsePart(part_, doc_);
  }
  pugi::xml_node root = doc_.document_element();
  pugi::xml_node xf = Child(Child(root, "cellXfs"), "xf");
  for (int i = 0; xf && i < styleIndex; ++i) xf = NextNamed(xf, "xf");
  const int fontId = xf ? xf.attribute("fontId").as_int() : 0;
  pugi::xml_node font = Child(Child(root, "fonts"), "font");
  for (int i = 0; font && i < fontId; ++i) font = NextNamed(font, "font");
  return font;
}

void WriteRuns(pugi::xml_node cell, pugi::xml_node font, const std::string& text,
               const std::vector<std::uint8_t>& kinds) {
  cell.append_attribute("t") = "inlineStr";
  pugi::xml_node is = InsertInOrder(cell, "is", kCellOrder);
  // Run properties in the order Excel writes them.
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

} // namespace vontralek::workbook
