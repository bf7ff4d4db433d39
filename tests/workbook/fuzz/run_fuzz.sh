#!/usr/bin/env bash
# Builds the .xlsx reader with libFuzzer, address and undefined-behaviour sanitizers
# (clang), writes a seed and fuzzes. Usage: run_fuzz.sh SOURCE_DIR WORK_DIR [SECONDS].
set -euo pipefail
src=$1 work=$2 seconds=${3:-30}
command -v clang++ >/dev/null || { echo "clang++ is not installed: fuzzing skipped"; exit 77; }
mkdir -p "$work/corpus" "$work/seeds"
# shellcheck disable=SC2046
clang++ -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined -ffp-contract=off \
  -I"$src/src" -DVONTRALEK_TEST_TMP=\"$work\" "$src"/src/workbook/{XlsxWorkbook,XlsxXml,WorkbookFiles,FileNames,LockFiles,FileHold,AtomicSave,Places,Cells,References,NumberText,PackageReader,PackageWriter,SharedStrings,RichText,XlsxSheet,XlsxSheetOutput,XlsxSheetStreaming,RowReadAhead,RowStream,DeflateStream,CalcChain,Pictures,XlsxPictures}.cpp \
  "$src"/tests/workbook/{fuzz/FuzzXlsxReader,TestPackages}.cpp $(pkg-config --cflags --libs libzip libdeflate libisal pugixml xlsxwriter zlib) \
  -o "$work/fuzz_xlsx_reader"
# The seed: the parts of a package, separated by NUL (see FuzzXlsxReader.cpp).
o=http://schemas.openxmlformats.org rels="" sheets=""
m=$o/spreadsheetml/2006/main r=$o/officeDocument/2006/relationships p=$o/package/2006/relationships
for i in 1 2 3 4; do sheets+="<sheet name=\"S$i\" sheetId=\"$i\" r:id=\"rId$i\"/>"; done
for i in 1 2 3 4; do rels+="<Relationship Id=\"rId$i\" Type=\"$r/worksheet\" Target=\"worksheets/sheet$i.xml\"/>"; done
for t in sharedStrings styles calcChain; do rels+="<Relationship Id=\"$t\" Type=\"$r/$t\" Target=\"$t.xml\"/>"; done
cells='<row r="1"><c r="A1" t="s"><v>1</v></c><c r="B1" t="inlineStr"><is><t xml:space="preserve"> pH </t></is></c><c r="C1"><f>1+1</f><v>2</v></c><c r="D1" t="b"><v>1</v></c><c r="E1" t="e"><v>#DIV/0!</v></c></row><row r="2"><c r="A2" s="1"><f t="shared" ref="A2:A3" si="0">B1</f><v>1</v></c><c r="F2" t="inlineStr"><is><t><![CDATA[<?vontralek-numbers 2 0 1?>]]></t></is></c></row><row><c><f t="shared" si="0"/><v>7.25</v></c><c><v>1E-3</v></c></row>'
sheet="<worksheet xmlns=\"$m\"><dimension ref=\"A1\"/><sheetViews><sheetView tabSelected=\"1\" workbookViewId=\"0\"/></sheetViews><sheetData>$cells</sheetData></worksheet>"
printf '%s\0' "<Types xmlns=\"$o/package/2006/content-types\"><Default Extension=\"xml\" ContentType=\"application/xml\"/><Override PartName=\"/xl/calcChain.xml\" ContentType=\"application/xml\"/></Types>" \
  "<Relationships xmlns=\"$p\"><Relationship Id=\"rId1\" Type=\"$r/officeDocument\" Target=\"xl/workbook.xml\"/></Relationships>" \
  "<workbook xmlns=\"$m\" xmlns:r=\"$r\"><bookViews><workbookView activeTab=\"0\"/></bookViews><sheets>$sheets</sheets><calcPr/></workbook>" \
  "<Relationships xmlns=\"$p\">$rels</Relationships>" "$sheet" "$sheet" "<x:worksheet xmlns:x=\"$m\"><x:sheetData><x:row r=\"5\"><x:c r=\"P5\"><x:v>3</x:v></x:c></x:row></x:sheetData></x:worksheet>" "$sheet" \
  "<sst xmlns=\"$m\"><si><t>nd</t></si><si><r><t>[HCO</t></r><r><rPr><vertAlign val=\"subscript\"/></rPr><t>3</t></r><rPh><t>x</t></rPh></si></sst>" \
  "<styleSheet xmlns=\"$m\"><fonts><font><sz val=\"11\"/><name val=\"Calibri\"/></font><font><b/></font></fonts><cellXfs><xf fontId=\"0\"/><xf fontId=\"1\"/></cellXfs></styleSheet>" \
  "<calcChain xmlns=\"$m\"><c r=\"C1\" i=\"1\"/><c r=\"A2\"/><c r=\"A3\"/><c r=\"C1\" i=\"2\"/></calcChain>" >"$work/seeds/full"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
"$work/fuzz_xlsx_reader" -max_total_time="$seconds" -max_len=65536 -timeout=10 -rss_limit_mb=1536 \
  -print_final_stats=1 -error_exitcode=1 -artifact_prefix="$work/" "$work/corpus" "$work/seeds"
