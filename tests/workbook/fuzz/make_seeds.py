"""Writes a few small .xlsx packages (stored, not deflated) as the fuzzer's seeds."""
import os
import sys
import zipfile

MAIN = "http://schemas.openxmlformats.org/spreadsheetml/2006/main"
REL = "http://schemas.openxmlformats.org/officeDocument/2006/relationships"
PKG = "http://schemas.openxmlformats.org/package/2006/relationships"


def package(path, sheets, sst=None, chain=None, styles=None, prefix=""):
    p = prefix + ":" if prefix else ""
    ns = ("xmlns:%s" % prefix) if prefix else "xmlns"
    parts = {}
    types = ('<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">'
             '<Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/>'
             '<Default Extension="xml" ContentType="application/xml"/>')
    rels = ""
    names = ""
    for i, data in enumerate(sheets, 1):
        parts["xl/worksheets/sheet%d.xml" % i] = (
            '<?xml version="1.0" encoding="UTF-8" standalone="yes"?><%sworksheet %s="%s"><%sdimension ref="A1"/>'
            '<%ssheetViews><%ssheetView workbookViewId="0"%s/></%ssheetViews><%ssheetData>%s</%ssheetData>'
            '</%sworksheet>' % (p, ns, MAIN, p, p, p, ' tabSelected="1"' if i == 1 else "", p, p, data, p, p))
        rels += '<Relationship Id="rId%d" Type="%s/worksheet" Target="worksheets/sheet%d.xml"/>' % (i, REL, i)
        names += '<sheet name="S%d" sheetId="%d" r:id="rId%d"/>' % (i, i, i)
    if sst is not None:
        parts["xl/sharedStrings.xml"] = '<sst xmlns="%s">%s</sst>' % (MAIN, sst)
        rels += '<Relationship Id="rIdS" Type="%s/sharedStrings" Target="sharedStrings.xml"/>' % REL
    if chain is not None:
        parts["xl/calcChain.xml"] = '<calcChain xmlns="%s">%s</calcChain>' % (MAIN, chain)
        rels += '<Relationship Id="rIdC" Type="%s/calcChain" Target="calcChain.xml"/>' % REL
        types += '<Override PartName="/xl/calcChain.xml" ContentType="application/xml"/>'
    if styles is not None:
        parts["xl/styles.xml"] = '<styleSheet xmlns="%s">%s</styleSheet>' % (MAIN, styles)
        rels += '<Relationship Id="rIdT" Type="%s/styles" Target="styles.xml"/>' % REL
    parts["[Content_Types].xml"] = types + "</Types>"
    parts["_rels/.rels"] = ('<Relationships xmlns="%s"><Relationship Id="rId1" Type="%s/officeDocument" '
                            'Target="xl/workbook.xml"/></Relationships>' % (PKG, REL))
    parts["xl/workbook.xml"] = ('<workbook xmlns="%s" xmlns:r="%s"><bookViews><workbookView activeTab="0"/>'
                                '</bookViews><sheets>%s</sheets><calcPr calcId="1"/></workbook>' % (MAIN, REL, names))
    parts["xl/_rels/workbook.xml.rels"] = '<Relationships xmlns="%s">%s</Relationships>' % (PKG, rels)
    with zipfile.ZipFile(path, "w", zipfile.ZIP_STORED) as z:
        for name in sorted(parts, key=lambda n: n != "[Content_Types].xml"):
            z.writestr(name, parts[name])


out = sys.argv[1]
os.makedirs(out, exist_ok=True)
cells = ('<row r="1"><c r="A1" t="s"><v>0</v></c><c r="B1" t="inlineStr"><is><t xml:space="preserve"> pH </t></is></c>'
         '<c r="C1"><f>1+1</f><v>2</v></c><c r="D1" t="b"><v>1</v></c><c r="E1" t="e"><v>#DIV/0!</v></c></row>'
         '<row r="4"><c r="A4" s="1" t="s"><v>1</v></c></row><row><c><v>7.25</v></c><c><v>1E-3</v></c></row>')
sst = '<si><t>nd</t></si><si><r><t>[HCO</t></r><r><rPr><vertAlign val="subscript"/></rPr><t>3</t></r><rPh><t>x</t></rPh></si>'
styles = ('<fonts count="2"><font><sz val="11"/><name val="Calibri"/></font><font><b/><sz val="14"/></font></fonts>'
          '<cellXfs count="2"><xf fontId="0"/><xf fontId="1"/></cellXfs>')
package(os.path.join(out, "full.xlsx"), [cells, cells, "", '<row r="2"><c r="B2"><v>-10.33</v></c></row>'], sst,
        '<c r="C1" i="1"/><c r="C1" i="2"/>', styles)
package(os.path.join(out, "plain.xlsx"), ["", "", "", ""])
package(os.path.join(out, "prefixed.xlsx"), ['<x:row r="5"><x:c r="P5"><x:v>3</x:v></x:c></x:row>'] * 4, prefix="x")
package(os.path.join(out, "shared.xlsx"),
        ['<row r="1"><c r="A1"><f t="shared" ref="A1:A2" si="0">B1</f><v>1</v></c></row>'
         '<row r="2"><c r="A2"><f t="shared" si="0"/><v>1</v></c></row>', "", "", ""], None, '<c r="A1" i="1"/><c r="A2"/>')
