#include "workbook/XlsxXml.h"

#include <algorithm>
#include <cstring>

namespace vontralek::workbook::xml {

std::string_view LocalName(const char* name) {
  const char* colon = std::strchr(name, ':');
  return colon ? std::string_view(colon + 1) : std::string_view(name);
}

pugi::xml_node Child(pugi::xml_node parent, std::string_view local) {
  for (pugi::xml_node c = parent.first_child(); c; c = c.next_sibling()) {
    if (c.type() == pugi::node_element && LocalName(c.name()) == local) return c;
  }
  return {};
}

pugi::xml_node NextNamed(pugi::xml_node node, std::string_view local) {
  for (pugi::xml_node c = node.next_sibling(); c; c = c.next_sibling()) {
    if (c.type() == pugi::node_element && LocalName(c.name()) == local) return c;
  }
  return {};
}

pugi::xml_attribute PrefixedAttribute(pugi::xml_node node, std::string_view local) {
  for (pugi::xml_attribute a = node.first_attribute(); a; a = a.next_attribute()) {
    const std::string_view name = a.name();
    if (name.size() > local.size() && name.substr(name.size() - local.size()) == local &&
        name[name.size() - local.size() - 1] == ':' && name.substr(0, 6) != "xmlns:") {
      return a;
    }
  }
  return {};
}

std::string Prefixed(pugi::xml_node parent, std::string_view local) {
  const std::string_view name = parent.name();
  const auto colon = name.find(':');
  std::string result = colon == std::string_view::npos ? std::string() : std::string(name.substr(0, colon + 1));
  result += local;
  return result;
}

namespace {
int OrderIndex(std::string_view local, const std::vector<std::string_view>& order) {
  int i = 0;
  for (std::string_view name : order) {
    if (name == local) return i;
    ++i;
  }
  return -1;
}
} // namespace

pugi::xml_node InsertInOrder(pugi::xml_node parent, std::string_view local,
                             const std::vector<std::string_view>& order) {
  const int index = OrderIndex(local, order);
  const std::string name = Prefixed(parent, local);
  for (pugi::xml_node c = parent.first_child(); c; c = c.next_sibling()) {
    if (c.type() != pugi::node_element) continue;
    if (OrderIndex(LocalName(c.name()), order) > index) return parent.insert_child_before(name.c_str(), c);
  }
  return parent.append_child(name.c_str());
}

pugi::xml_node EnsureChild(pugi::xml_node parent, std::string_view local, const std::vector<std::string_view>& order) {
  if (pugi::xml_node existing = Child(parent, local)) return existing;
  return InsertInOrder(parent, local, order);
}

namespace {
int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Reads "_xHHHH_" at text[i]; returns the UTF-16 unit or -1.
long EscapeAt(std::string_view text, std::size_t i) {
  if (i + 7 > text.size() || text[i] != '_' || text[i + 1] != 'x' || text[i + 6] != '_') return -1;
  long unit = 0;
  for (std::size_t k = i + 2; k < i + 6; ++k) {
    const int d = HexDigit(text[k]);
    if (d < 0) return -1;
    unit = unit * 16 + d;
  }
  return unit;
}

void AppendUtf8(std::string& out, unsigned long cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}
} // namespace

std::string DecodeEscapes(std::string_view text) {
  if (text.find("_x") == std::string_view::npos) return std::string(text);
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    long unit = EscapeAt(text, i);
    if (unit < 0) {
      out += text[i++];
      continue;
    }
    i += 7;
    if (unit >= 0xD800 && unit < 0xDC00) {
      const long low = EscapeAt(text, i);
      if (low >= 0xDC00 && low < 0xE000) {
        unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
        i += 7;
      } else {
        unit = 0xFFFD;
      }
    } else if (unit >= 0xDC00 && unit < 0xE000) {
      unit = 0xFFFD;
    }
    AppendUtf8(out, static_cast<unsigned long>(unit));
  }
  return out;
}

std::string EncodeEscapes(std::string_view text) {
  static const char hex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    // XML 1.0 cannot hold most control characters, and a carriage return would
    // be folded into a line feed by every reader; an underscore that starts
    // something read as an escape must itself be escaped.
    const bool control = c < 0x20 && c != '\t' && c != '\n';
    if (control || (c == '_' && EscapeAt(text, i) >= 0)) {
      out += "_x00";
      out += hex[c >> 4];
      out += hex[c & 15];
      out += '_';
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

std::string RichText(pugi::xml_node container) {
  std::string raw;
  for (pugi::xml_node c = container.first_child(); c; c = c.next_sibling()) {
    if (c.type() != pugi::node_element) continue;
    const std::string_view local = LocalName(c.name());
    if (local == "t") {
      raw += c.text().get();
    } else if (local == "r") {
      if (pugi::xml_node t = Child(c, "t")) raw += t.text().get();
    }
    // rPh (phonetic run) and phoneticPr are reading aids, not the value.
  }
  return DecodeEscapes(raw);
}

void SetTextElement(pugi::xml_node t, std::string_view text) {
  const std::string encoded = EncodeEscapes(text);
  auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
  t.remove_attribute("xml:space");
  if (!encoded.empty() && (blank(encoded.front()) || blank(encoded.back()))) {
    t.append_attribute("xml:space") = "preserve";
  }
  t.remove_children();
  t.append_child(pugi::node_pcdata).set_value(encoded.c_str());
}

namespace {
struct StringWriter : pugi::xml_writer {
  std::string out;
  void write(const void* data, size_t size) override { out.append(static_cast<const char*>(data), size); }
};

// Appends what pugixml writes and replaces each "<?NAME VALUE?>" by what
// expand appends for VALUE. pugixml hands over its output in chunks, so the end
// of a chunk that may start a mark is held back until the next one comes.
struct ExpandingWriter : pugi::xml_writer {
  std::string& out;
  std::string open;
  const std::function<bool(std::string_view, std::string&)>& expand;
  std::string held;

  ExpandingWriter(std::string& out, std::string_view name,
                  const std::function<bool(std::string_view, std::string&)>& expand)
      : out(out), open("<?" + std::string(name) + " "), expand(expand) {}

  void write(const void* data, size_t size) override {
    std::string joined;
    std::string_view rest(static_cast<const char*>(data), size);
    if (!held.empty()) {
      joined = std::move(held) + std::string(rest);
      rest = joined;
    }
    held.clear();
    for (;;) {
      const std::size_t start = rest.find(open);
      if (start == std::string_view::npos) {
        // Hold back a last '<' near the end: it may begin a mark.
        const std::size_t lt = rest.rfind('<');
        const std::size_t keep = lt != std::string_view::npos && rest.size() - lt < open.size() ? rest.size() - lt : 0;
        out.append(rest.substr(0, rest.size() - keep));
        held.assign(rest.substr(rest.size() - keep));
        return;
      }
      out.append(rest.substr(0, start));
      const std::size_t end = rest.find("?>", start + open.size());
      if (end == std::string_view::npos) {
        held.assign(rest.substr(start));
        return;
      }
      if (!expand(rest.substr(start + open.size(), end - start - open.size()), out)) {
        out.append(rest.substr(start, end + 2 - start));
      }
      rest.remove_prefix(end + 2);
    }
  }
};

void EnsureDeclaration(pugi::xml_document& doc) {
  pugi::xml_node first = doc.first_child();
  if (first.type() == pugi::node_declaration) {
    // Written as UTF-8 whatever the original declared.
    if (pugi::xml_attribute enc = first.attribute("encoding")) enc.set_value("UTF-8");
  } else {
    pugi::xml_node decl = doc.prepend_child(pugi::node_declaration);
    decl.append_attribute("version") = "1.0";
    decl.append_attribute("encoding") = "UTF-8";
    decl.append_attribute("standalone") = "yes";
  }
}
} // namespace

std::string Serialize(pugi::xml_document& doc) {
  EnsureDeclaration(doc);
  StringWriter writer;
  doc.save(writer, "", pugi::format_raw, pugi::encoding_utf8);
  return std::move(writer.out);
}

std::string Serialize(pugi::xml_document& doc, std::string_view piName,
                      const std::function<bool(std::string_view value, std::string& out)>& expand,
                      std::size_t expectedSize) {
  EnsureDeclaration(doc);
  std::string out;
  out.reserve(expectedSize);
  ExpandingWriter writer(out, piName, expand);
  doc.save(writer, "", pugi::format_raw, pugi::encoding_utf8);
  out += writer.held;
  return out;
}

void Print(pugi::xml_node node, std::string& out, std::string_view piName,
           const std::function<bool(std::string_view value, std::string& out)>& expand) {
  if (piName.empty()) {
    StringWriter writer;
    writer.out.swap(out);
    node.print(writer, "", pugi::format_raw, pugi::encoding_utf8);
    out.swap(writer.out);
    return;
  }
  ExpandingWriter writer(out, piName, expand);
  node.print(writer, "", pugi::format_raw, pugi::encoding_utf8);
  out += writer.held;
}

} // namespace vontralek::workbook::xml
