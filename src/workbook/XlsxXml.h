#pragma once

// Small helpers over pugixml for the SpreadsheetML parts: elements are matched
// by local name (some writers use a namespace prefix such as "x:"), new
// elements take their parent's prefix and go to their place in the schema's
// fixed child order.

#include <pugixml.hpp>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace vontralek::workbook::xml {

std::string_view LocalName(const char* name);
pugi::xml_node Child(pugi::xml_node parent, std::string_view local);
pugi::xml_node NextNamed(pugi::xml_node node, std::string_view local);
// The value of the first attribute whose local name is local ("r:id" -> "id").
pugi::xml_attribute PrefixedAttribute(pugi::xml_node node, std::string_view local);
std::string Prefixed(pugi::xml_node parent, std::string_view local);
// Adds (or returns the existing) child local of parent, placed before the
// first sibling that comes later in order.
pugi::xml_node EnsureChild(pugi::xml_node parent, std::string_view local, const std::vector<std::string_view>& order);
pugi::xml_node InsertInOrder(pugi::xml_node parent, std::string_view local, const std::vector<std::string_view>& order);

// The text of a <t> element, or of the runs of an <si>/<is> (phonetic
// guides excluded), with the _xHHHH_ escapes of control characters decoded.
std::string RichText(pugi::xml_node container);
std::string DecodeEscapes(std::string_view text);
std::string EncodeEscapes(std::string_view text);
// Sets the text of a <t> element, with xml:space="preserve" where leading or
// trailing blanks would otherwise be dropped.
void SetTextElement(pugi::xml_node t, std::string_view text);

// pugixml parse flags that keep blanks in <t> </t> and the XML declaration.
constexpr unsigned kParseFlags = pugi::parse_default | pugi::parse_ws_pcdata_single | pugi::parse_declaration;
std::string Serialize(pugi::xml_document& doc);
// As Serialize, but every processing instruction named piName is replaced in
// the output by what expand appends for its value; where expand returns false
// the text is written as it was. Lets content kept outside the DOM be streamed
// into its place. The output is scanned as text: a CDATA section of the file
// could hold such a text, so piName must be one the file cannot know.
// expectedSize, a guess at the output's size, saves growing it step by step.
std::string Serialize(pugi::xml_document& doc, std::string_view piName,
                      const std::function<bool(std::string_view value, std::string& out)>& expand,
                      std::size_t expectedSize = 0);

// Appends node's XML to out as Serialize writes it, marks expanded alike.
void Print(pugi::xml_node node, std::string& out, std::string_view piName,
           const std::function<bool(std::string_view value, std::string& out)>& expand);

// The schema orders of the children this layer inserts.
inline const std::vector<std::string_view> kWorksheetOrder = {"sheetPr",
                                                              "dimension",
                                                              "sheetViews",
                                                              "sheetFormatPr",
                                                              "cols",
                                                              "sheetData",
                                                              "sheetCalcPr",
                                                              "sheetProtection",
                                                              "protectedRanges",
                                                              "scenarios",
                                                              "autoFilter",
                                                              "sortState",
                                                              "dataConsolidate",
                                                              "customSheetViews",
                                                              "mergeCells",
                                                              "phoneticPr",
                                                              "conditionalFormatting",
                                                              "dataValidations",
                                                              "hyperlinks",
                                                              "printOptions",
                                                              "pageMargins",
                                                              "pageSetup",
                                                              "headerFooter",
                                                              "rowBreaks",
                                                              "colBreaks",
                                                              "customProperties",
                                                              "cellWatches",
                                                              "ignoredErrors",
                                                              "smartTags",
                                                              "drawing",
                                                              "legacyDrawing",
                                                              "legacyDrawingHF",
                                                              "drawingHF",
                                                              "picture",
                                                              "oleObjects",
                                                              "controls",
                                                              "webPublishItems",
                                                              "tableParts",
                                                              "extLst"};
inline const std::vector<std::string_view> kWorkbookOrder = {"fileVersion",    "fileSharing",
                                                             "workbookPr",     "workbookProtection",
                                                             "bookViews",      "sheets",
                                                             "functionGroups", "externalReferences",
                                                             "definedNames",   "calcPr",
                                                             "oleSize",        "customWorkbookViews",
                                                             "pivotCaches",    "smartTagPr",
                                                             "smartTagTypes",  "webPublishing",
                                                             "fileRecoveryPr", "webPublishObjects",
                                                             "extLst"};
inline const std::vector<std::string_view> kCellOrder = {"f", "v", "is", "extLst"};

} // namespace vontralek::workbook::xml
