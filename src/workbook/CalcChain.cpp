#include "workbook/CalcChain.h"

#include "workbook/PackageReader.h"
#include "workbook/XlsxXml.h"

namespace vontralek::workbook {

using namespace xml;

void CalcChain::Apply(std::map<std::string, std::string>& replaced, std::set<std::string>& deleted) {
  if (part_.empty() || !package_.HasPart(part_)) return;
  if (!loaded_ && removals_.empty()) return;
  if (!loaded_) {
    package_.ParsePart(part_, doc_);
    loaded_ = true;
  }
  pugi::xml_node root = doc_.document_element();
  int sheet = 0;
  bool changed = false;
  for (pugi::xml_node c = Child(root, "c"); c;) {
    pugi::xml_node next = NextNamed(c, "c");
    // An entry without i belongs to the sheet of the entry before it.
    const bool hasSheet = static_cast<bool>(c.attribute("i"));
    if (hasSheet) sheet = c.attribute("i").as_int();
    if (removals_.count({sheet, c.attribute("r").value()})) {
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
    deleted.insert(part_);
    const std::string relsPart = RelationshipsPart(workbookPart_);
    pugi::xml_document rels;
    package_.ParsePart(relsPart, rels);
    const std::string dir = PartDirectory(workbookPart_);
    for (pugi::xml_node rel = Child(rels.document_element(), "Relationship"); rel;) {
      pugi::xml_node next = NextNamed(rel, "Relationship");
      if (ResolveTarget(dir, rel.attribute("Target").value()) == part_) rel.parent().remove_child(rel);
      rel = next;
    }
    replaced[relsPart] = Serialize(rels);
    pugi::xml_document types;
    package_.ParsePart("[Content_Types].xml", types);
    const std::string partName = "/" + part_;
    for (pugi::xml_node o = Child(types.document_element(), "Override"); o;) {
      pugi::xml_node next = NextNamed(o, "Override");
      if (partName == o.attribute("PartName").value()) o.parent().remove_child(o);
      o = next;
    }
    replaced["[Content_Types].xml"] = Serialize(types);
  } else if (changed || loaded_) {
    replaced[part_] = Serialize(doc_);
  }
}

} // namespace vontralek::workbook
