#pragma once

// Constructs of a part's XML that the writer could not write back as they
// were, so that a part holding one must not be rewritten: a document type
// declaration (the parser skips it, and with it the entities it declares; the
// Open Packaging Conventions forbid it in a package anyway) and a reference to
// an entity other than the five of XML (read as its literal text, "&lol;",
// and written back as "&amp;lol;": another text).

#include <string>
#include <string_view>

namespace vontralek::workbook {

// The first such construct in xml, as a message shows it ("a document type
// declaration", "the entity reference &lol9;"); empty when there is none.
// Markup inside CDATA sections, comments and processing instructions is text.
std::string UnkeptConstruct(std::string_view xml);
// What follows the construct in a message: why the part is refused.
inline const char* UnkeptReason() { return ", which cannot be read or written back as it is"; }

} // namespace vontralek::workbook
