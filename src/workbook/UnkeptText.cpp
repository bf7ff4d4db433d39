#include "workbook/UnkeptText.h"

#include <cstring>

#include "workbook/Workbook.h"

namespace vontralek::workbook {

namespace {

bool IsNameChar(char c) {
  // ASCII letters, digits and the name punctuation; any byte of a UTF-8 sequence.
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == ':' ||
         c == '-' || c == '.' || static_cast<unsigned char>(c) >= 0x80;
}

// The reference at text[at] ('&') when it is an entity reference other than
// XML's own; empty for those, for character references and for a lone '&'
// (which the parser keeps as the character it is).
std::string_view ForeignEntity(std::string_view text, std::size_t at) {
  std::size_t end = at + 1;
  if (end < text.size() && text[end] == '#') return {};
  while (end < text.size() && IsNameChar(text[end])) ++end;
  if (end == at + 1 || end >= text.size() || text[end] != ';') return {};
  const std::string_view name = text.substr(at + 1, end - at - 1);
  for (const char* own : {"amp", "lt", "gt", "quot", "apos"})
    if (name == own) return {};
  return text.substr(at, end - at + 1);
}

} // namespace

std::string UnkeptConstruct(std::string_view xml) {
  // Most parts hold neither '&' nor "<!" outside CDATA: one quick look first.
  if (!std::memchr(xml.data(), '&', xml.size()) && xml.find("<!") == std::string_view::npos) return {};
  for (std::size_t i = 0; (i = xml.find_first_of("&<", i)) != std::string_view::npos;) {
    if (xml[i] == '&') {
      if (const std::string_view entity = ForeignEntity(xml, i); !entity.empty())
        return "the entity reference " + TextForMessage(entity);
      ++i;
      continue;
    }
    const std::string_view rest = xml.substr(i);
    std::string_view end;
    if (rest.substr(0, 9) == "<![CDATA[") {
      end = "]]>";
    } else if (rest.substr(0, 4) == "<!--") {
      end = "-->";
    } else if (rest.substr(0, 2) == "<?") {
      end = "?>";
    } else if (rest.substr(0, 2) == "<!") {
      return "a document type declaration";
    }
    if (end.empty()) {
      ++i;
      continue;
    }
    const std::size_t close = xml.find(end, i + 2);
    if (close == std::string_view::npos) return {}; // not well-formed: the parser says so
    i = close + end.size();
  }
  return {};
}

} // namespace vontralek::workbook
