#include "workbook/XlsxPictures.h"

#include "common/Errors.h"
#include "workbook/PackageReader.h"
#include "workbook/XlsxXml.h"

namespace vontralek::workbook {

using namespace xml;

namespace {

constexpr const char* kRelationshipsNs = "http://schemas.openxmlformats.org/package/2006/relationships";
constexpr const char* kOfficeRel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
constexpr const char* kDrawingType = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/drawing";
constexpr const char* kImageType = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/image";
constexpr const char* kWorksheetType = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet";
// One pixel at 96 dpi in English metric units (914400 per inch).
constexpr long long kEmuPerPixel = 9525;

std::string Escaped(std::string_view text) {
  std::string out;
  for (const char c : text) {
    if (c == '&')
      out += "&amp;";
    else if (c == '<')
      out += "&lt;";
    else if (c == '>')
      out += "&gt;";
    else if (c == '"')
      out += "&quot;";
    else
      out += c;
  }
  return out;
}

// The drawing parts a worksheet part's relationships name.
std::vector<std::string> DrawingsOf(const PackageReader& package, const std::string& sheetPart) {
  std::vector<std::string> drawings;
  const std::string rels = RelationshipsPart(sheetPart);
  if (!package.HasPart(rels)) return drawings;
  pugi::xml_document doc;
  package.ParsePart(rels, doc);
  for (pugi::xml_node r = Child(doc.document_element(), "Relationship"); r; r = NextNamed(r, "Relationship"))
    if (std::string_view(r.attribute("Type").value()) == kDrawingType)
      drawings.push_back(ResolveTarget(PartDirectory(sheetPart), r.attribute("Target").value()));
  return drawings;
}

// Every cNvPr (the name of a shape or picture) below node.
void Names(pugi::xml_node node, std::vector<std::string>& names) {
  for (pugi::xml_node c = node.first_child(); c; c = c.next_sibling()) {
    if (c.type() != pugi::node_element) continue;
    if (LocalName(c.name()) == "cNvPr") names.push_back(c.attribute("name").value());
    Names(c, names);
  }
}

std::string FreeName(const PackageReader& package, const std::string& stem, const PictureChanges& changes) {
  for (int n = 1;; ++n) {
    const std::string part = stem + std::to_string(n) + ".xml";
    if (!package.HasPart(part) && !changes.parts.count(part)) return part;
  }
}

// The drawing of the pictures, one anchored at each picture's cell, and its
// relationships to the images; images named after the drawing.
void WriteDrawing(const std::string& drawingPart, const std::vector<Picture>& pictures, PictureChanges& changes) {
  std::string drawing = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
                        "<xdr:wsDr xmlns:xdr=\"http://schemas.openxmlformats.org/drawingml/2006/spreadsheetDrawing\" "
                        "xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\" xmlns:r=\"" +
                        std::string(kOfficeRel) + "\">";
  std::string rels = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<Relationships xmlns=\"" +
                     std::string(kRelationshipsNs) + "\">";
  std::string stem = drawingPart.substr(drawingPart.rfind('/') + 1);
  stem = stem.substr(0, stem.find('.'));
  for (std::size_t i = 0; i < pictures.size(); ++i) {
    const Picture& p = pictures[i];
    const std::string id = "rId" + std::to_string(i + 1);
    const std::string image = "xl/media/" + stem + "-" + std::to_string(i + 1) + ".png";
    changes.parts[image] = p.png;
    changes.deleted.erase(image);
    const std::string cx = std::to_string(p.widthPx * kEmuPerPixel), cy = std::to_string(p.heightPx * kEmuPerPixel);
    drawing += "<xdr:oneCellAnchor><xdr:from><xdr:col>" + std::to_string(p.column) +
               "</xdr:col><xdr:colOff>0</xdr:colOff><xdr:row>" + std::to_string(p.row) +
               "</xdr:row><xdr:rowOff>0</xdr:rowOff></xdr:from><xdr:ext cx=\"" + cx + "\" cy=\"" + cy +
               "\"/><xdr:pic><xdr:nvPicPr><xdr:cNvPr id=\"" + std::to_string(i + 2) + "\" name=\"" + Escaped(p.name) +
               "\"/><xdr:cNvPicPr><a:picLocks noChangeAspect=\"1\"/></xdr:cNvPicPr></xdr:nvPicPr><xdr:blipFill>"
               "<a:blip r:embed=\"" +
               id +
               "\"/><a:stretch><a:fillRect/></a:stretch></xdr:blipFill><xdr:spPr><a:xfrm><a:off x=\"0\" y=\"0\"/>"
               "<a:ext cx=\"" +
               cx + "\" cy=\"" + cy +
               "\"/></a:xfrm><a:prstGeom prst=\"rect\"><a:avLst/></a:prstGeom></xdr:spPr></xdr:pic>"
               "<xdr:clientData/></xdr:oneCellAnchor>";
    rels += "<Relationship Id=\"" + id + "\" Type=\"" + kImageType + "\" Target=\"../media/" + stem + "-" +
            std::to_string(i + 1) + ".png\"/>";
  }
  changes.parts[drawingPart] = drawing + "</xdr:wsDr>";
  changes.parts[RelationshipsPart(drawingPart)] = rels + "</Relationships>";
  changes.pngDefault = true;
}

} // namespace

PictureSheetState PictureSheetOf(const PackageReader& package, const std::string& sheetPart, std::string_view marker) {
  std::vector<std::string> names;
  for (const std::string& drawing : DrawingsOf(package, sheetPart)) {
    if (!package.HasPart(drawing)) return PictureSheetState::Foreign;
    pugi::xml_document doc;
    package.ParsePart(drawing, doc);
    Names(doc, names);
  }
  if (names.empty()) return PictureSheetState::Foreign;
  for (const std::string& name : names)
    if (name.compare(0, marker.size(), marker) != 0) return PictureSheetState::Foreign;
  return PictureSheetState::Ours;
}

void AddPictureSheet(const PackageReader& package, const std::string& workbookPart, pugi::xml_document& workbookDoc,
                     const std::string& name, const std::vector<Picture>& pictures, PictureChanges& changes) {
  const std::string dir = PartDirectory(workbookPart);
  const std::string sheetPart = FreeName(package, dir + "worksheets/sheet", changes);
  const std::string drawingPart = FreeName(package, dir + "drawings/drawing", changes);
  changes.parts[sheetPart] = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<worksheet "
                             "xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" xmlns:r=\"" +
                             std::string(kOfficeRel) + "\"><sheetData/><drawing r:id=\"rId1\"/></worksheet>";
  changes.parts[RelationshipsPart(sheetPart)] =
      "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<Relationships xmlns=\"" +
      std::string(kRelationshipsNs) + "\"><Relationship Id=\"rId1\" Type=\"" + kDrawingType +
      "\" Target=\"../drawings/" + drawingPart.substr(drawingPart.rfind('/') + 1) + "\"/></Relationships>";
  WriteDrawing(drawingPart, pictures, changes);
  changes.overrides["/" + sheetPart] = "application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml";
  changes.overrides["/" + drawingPart] = "application/vnd.openxmlformats-officedocument.drawing+xml";

  // A relationship id the workbook's relationships do not use yet.
  std::set<std::string> ids;
  const std::string relsPart = RelationshipsPart(workbookPart);
  if (package.HasPart(relsPart)) {
    pugi::xml_document rels;
    package.ParsePart(relsPart, rels);
    for (pugi::xml_node r = Child(rels.document_element(), "Relationship"); r; r = NextNamed(r, "Relationship"))
      ids.insert(r.attribute("Id").value());
  }
  for (const auto& r : changes.workbookRelationships) ids.insert(r.id);
  std::string id;
  for (int n = 1; id.empty() || ids.count(id); ++n) id = "rId" + std::to_string(n);
  changes.workbookRelationships.push_back({id, kWorksheetType, sheetPart.substr(dir.size())});

  pugi::xml_node sheets = EnsureChild(workbookDoc.document_element(), "sheets", kWorkbookOrder);
  int sheetId = 0;
  std::string idName = "r:id";
  for (pugi::xml_node s = Child(sheets, "sheet"); s; s = NextNamed(s, "sheet")) {
    sheetId = std::max(sheetId, s.attribute("sheetId").as_int());
    if (pugi::xml_attribute a = PrefixedAttribute(s, "id")) idName = a.name();
  }
  pugi::xml_node sheet = sheets.append_child(Prefixed(sheets, "sheet").c_str());
  sheet.append_attribute("name") = name.c_str();
  sheet.append_attribute("sheetId") = sheetId + 1;
  sheet.append_attribute(idName.c_str()) = id.c_str();
  if (idName == "r:id" && !workbookDoc.document_element().attribute("xmlns:r"))
    workbookDoc.document_element().append_attribute("xmlns:r") = kOfficeRel;
}

void ReplacePictures(const PackageReader& package, const std::string& sheetPart, const std::vector<Picture>& pictures,
                     PictureChanges& changes) {
  const std::vector<std::string> drawings = DrawingsOf(package, sheetPart);
  if (drawings.empty()) throw WorkbookError("The worksheet part " + sheetPart + " holds no drawing to replace.");
  // The images of the old drawing go unless the new one writes them again.
  pugi::xml_document rels;
  if (package.HasPart(RelationshipsPart(drawings.front()))) {
    package.ParsePart(RelationshipsPart(drawings.front()), rels);
    for (pugi::xml_node r = Child(rels.document_element(), "Relationship"); r; r = NextNamed(r, "Relationship"))
      if (std::string_view(r.attribute("Type").value()) == kImageType)
        changes.deleted.insert(ResolveTarget(PartDirectory(drawings.front()), r.attribute("Target").value()));
  }
  WriteDrawing(drawings.front(), pictures, changes);
}

void ApplyPictureChanges(const PackageReader& package, const std::string& workbookPart, const PictureChanges& changes,
                         std::map<std::string, std::string>& replaced, std::set<std::string>& deleted) {
  for (const auto& [part, bytes] : changes.parts) replaced[part] = bytes;
  for (const std::string& part : changes.deleted)
    if (package.HasPart(part)) deleted.insert(part);
  const auto edit = [&](const std::string& part, const auto& change) {
    pugi::xml_document doc;
    const auto found = replaced.find(part);
    if (found != replaced.end()) {
      doc.load_buffer(found->second.data(), found->second.size(), kParseFlags);
    } else {
      package.ParsePart(part, doc);
    }
    change(doc.document_element());
    replaced[part] = Serialize(doc);
  };
  if (!changes.workbookRelationships.empty())
    edit(RelationshipsPart(workbookPart), [&](pugi::xml_node root) {
      for (const auto& r : changes.workbookRelationships) {
        pugi::xml_node rel = root.append_child(Prefixed(root, "Relationship").c_str());
        rel.append_attribute("Id") = r.id.c_str();
        rel.append_attribute("Type") = r.type.c_str();
        rel.append_attribute("Target") = r.target.c_str();
      }
    });
  if (changes.pngDefault || !changes.overrides.empty())
    edit("[Content_Types].xml", [&](pugi::xml_node root) {
      bool png = false;
      for (pugi::xml_node d = Child(root, "Default"); d; d = NextNamed(d, "Default"))
        png = png || LowerName(d.attribute("Extension").value()) == "png";
      if (changes.pngDefault && !png) {
        pugi::xml_node d = root.prepend_child(Prefixed(root, "Default").c_str());
        d.append_attribute("Extension") = "png";
        d.append_attribute("ContentType") = "image/png";
      }
      for (const auto& [partName, type] : changes.overrides) {
        pugi::xml_node o = root.append_child(Prefixed(root, "Override").c_str());
        o.append_attribute("PartName") = partName.c_str();
        o.append_attribute("ContentType") = type.c_str();
      }
    });
}

} // namespace vontralek::workbook
