#include "workbook/SharedStrings.h"

#include "workbook/PackageReader.h"
#include "workbook/XlsxXml.h"

namespace vontralek::workbook {

const std::string& SharedStrings::At(long index, const std::string& where) {
  if (!loaded_) {
    loaded_ = true;
    if (!part_.empty() && package_.HasPart(part_)) {
      pugi::xml_document doc;
      package_.ParsePart(part_, doc);
      // Every <si> counts for the index, empty or not.
      for (pugi::xml_node si = xml::Child(doc.document_element(), "si"); si; si = xml::NextNamed(si, "si")) {
        strings_.push_back(xml::RichText(si));
      }
    }
  }
  if (index < 0 || static_cast<std::size_t>(index) >= strings_.size()) {
    package_.Damaged(where + " refers to shared string " + std::to_string(index) + " of " +
                     std::to_string(strings_.size()));
  }
  return strings_[static_cast<std::size_t>(index)];
}

} // namespace vontralek::workbook
