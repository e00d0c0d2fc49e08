#!/usr/bin/python3
"""Writes the workbooks the spreadsheet reader tests and benchmark read.

    make_sheets.py tests OUTDIR          every test workbook
    make_sheets.py bench OUTDIR ROWS     contacts.xls and contacts.xlsx with ROWS rows

.xls files come from xlwt, .xlsx files from openpyxl, and a few workbooks are
put together by hand (zipfile for SpreadsheetML with shared strings, a small
compound-file writer for streams xlwt never writes).
"""

import datetime
import os
import random
import struct
import sys
import zipfile

import openpyxl
import xlwt

# ---------------------------------------------------------------- contents

# The sheet every "contacts" workbook opens on (cells by 1-based row/column).
CONTACT_ROWS = [
    ["Mobile", "Name"],
    [9876543210, "RAVI"],
    [15551234567, "Ravi Kumār"],
    ["0987654321", "  padded  "],
    [None, "ASHA"],
    [12.5, True],
    [datetime.date(2024, 1, 31), False],
    [-42, ("formula", "1+2")],
    [None, None, "last"],
]

SHEET_NAMES = ["Intro", "Numbers", "Other"]
ACTIVE = 1


def filler(name):
    return [["WRONG SHEET " + name, 1111111111], [2222222222, "wrong"]]


def sheet_rows(name):
    return CONTACT_ROWS if name == SHEET_NAMES[ACTIVE] else filler(name)


# ---------------------------------------------------------------- .xls via xlwt

DATE_STYLE = None


def xls_write(ws, r, c, value):
    global DATE_STYLE
    if value is None:
        return
    if isinstance(value, tuple) and value[0] == "formula":
        ws.write(r, c, xlwt.Formula(value[1]))
    elif isinstance(value, datetime.date):
        if DATE_STYLE is None:
            DATE_STYLE = xlwt.easyxf(num_format_str="yyyy-mm-dd")
        ws.write(r, c, value, DATE_STYLE)
    else:
        ws.write(r, c, value)


def make_xls(path, names, rows_of, active):
    wb = xlwt.Workbook(encoding="utf-8")
    for name in names:
        ws = wb.add_sheet(name)
        for r, row in enumerate(rows_of(name)):
            for c, value in enumerate(row):
                xls_write(ws, r, c, value)
    wb.active_sheet = active
    wb.save(path)


# ---------------------------------------------------------------- .xlsx via openpyxl


def make_xlsx(path, names, rows_of, active):
    wb = openpyxl.Workbook()
    wb.remove(wb.active)
    for name in names:
        ws = wb.create_sheet(name)
        for r, row in enumerate(rows_of(name)):
            for c, value in enumerate(row):
                if value is None:
                    continue
                cell = ws.cell(row=r + 1, column=c + 1)
                if isinstance(value, tuple) and value[0] == "formula":
                    cell.value = "=" + value[1]
                else:
                    cell.value = value
                    if isinstance(value, datetime.date):
                        cell.number_format = "yyyy-mm-dd"
    wb.active = active
    for i, ws in enumerate(wb.worksheets):
        ws.sheet_view.tabSelected = i == active
    wb.save(path)


# ---------------------------------------------------------------- compound files

ENDOFCHAIN = 0xFFFFFFFE
FREESECT = 0xFFFFFFFF
FATSECT = 0xFFFFFFFD


def read_cfb_stream(path, wanted):
    """The named stream of a compound file written by xlwt (regular sectors only)."""
    data = open(path, "rb").read()
    size = 1 << struct.unpack_from("<H", data, 0x1E)[0]
    nfat = struct.unpack_from("<I", data, 0x2C)[0]
    first_dir = struct.unpack_from("<I", data, 0x30)[0]
    difat = struct.unpack_from("<109I", data, 0x4C)[:nfat]
    fat = []
    for s in difat:
        fat += struct.unpack_from("<%dI" % (size // 4), data, (s + 1) * size)

    def chain(start):
        out = b""
        while start != ENDOFCHAIN:
            out += data[(start + 1) * size:(start + 2) * size]
            start = fat[start]
        return out

    directory = chain(first_dir)
    for off in range(0, len(directory), 128):
        n = struct.unpack_from("<H", directory, off + 0x40)[0]
        name = directory[off:off + n - 2].decode("utf-16-le")
        if name == wanted:
            start, length = struct.unpack_from("<II", directory, off + 0x74)
            return chain(start)[:length]
    raise KeyError(wanted)


def biff_records_end(stream):
    """Length of the BIFF records in a stream, without the zero padding behind them."""
    pos = 0
    while pos + 4 <= len(stream):
        rtype, length = struct.unpack_from("<HH", stream, pos)
        if rtype == 0 and length == 0:
            break
        pos += 4 + length
    return pos


def write_cfb(path, streams):
    """A version 3 compound file (512-byte sectors) holding the given streams.

    Streams shorter than 4096 bytes go into the mini stream, as the format
    requires; the directory lists every stream as a right sibling of the last.
    """
    sector, mini, cutoff = 512, 64, 4096
    sectors, fat = [], []

    def add_chain(blob, table, store, unit):
        count = (len(blob) + unit - 1) // unit
        if count == 0:
            return ENDOFCHAIN
        start = len(store)
        for i in range(count):
            store.append(blob[i * unit:(i + 1) * unit].ljust(unit, b"\0"))
            table.append(start + i + 1 if i < count - 1 else ENDOFCHAIN)
        return start

    mini_sectors, minifat = [], []
    placed = []
    for name, blob in streams:
        if len(blob) < cutoff:
            placed.append((name, add_chain(blob, minifat, mini_sectors, mini), len(blob)))
        else:
            placed.append((name, add_chain(blob, fat, sectors, sector), len(blob)))
    mini_stream = b"".join(mini_sectors)
    root_start = add_chain(mini_stream, fat, sectors, sector)
    minifat_blob = b"".join(struct.pack("<I", v) for v in minifat)
    minifat_blob += b"\xff" * ((-len(minifat_blob)) % sector)
    minifat_start = add_chain(minifat_blob, fat, sectors, sector)

    def entry(name, kind, start, length, right=FREESECT, child=FREESECT):
        raw = (name + "\0").encode("utf-16-le")
        return (raw.ljust(64, b"\0") + struct.pack("<HBB", len(raw), kind, 1)
                + struct.pack("<III", FREESECT, right, child) + b"\0" * 16
                + struct.pack("<I", 0) + b"\0" * 16 + struct.pack("<IQ", start, length))

    entries = [entry("Root Entry", 5, root_start, len(mini_stream), child=1 if placed else FREESECT)]
    for i, (name, start, length) in enumerate(placed):
        right = i + 2 if i + 1 < len(placed) else FREESECT
        entries.append(entry(name, 2, start, length, right=right))
    while len(entries) % 4:
        entries.append(b"\0" * 64 + struct.pack("<HBB", 0, 0, 0) + struct.pack("<III", FREESECT, FREESECT,
                       FREESECT) + b"\0" * 36 + struct.pack("<IQ", 0, 0))
    dir_start = add_chain(b"".join(entries), fat, sectors, sector)

    nfat = 1
    while (len(fat) + nfat) > nfat * (sector // 4):
        nfat += 1
    fat_start = len(sectors)
    fat += [FATSECT] * nfat
    fat += [FREESECT] * (nfat * (sector // 4) - len(fat))
    fat_blob = b"".join(struct.pack("<I", v) for v in fat)
    for i in range(nfat):
        sectors.append(fat_blob[i * sector:(i + 1) * sector])

    difat = [fat_start + i for i in range(nfat)] + [FREESECT] * (109 - nfat)
    header = (b"\xd0\xcf\x11\xe0\xa1\xb1\x1a\xe1" + b"\0" * 16
              + struct.pack("<HHHHH", 0x3E, 3, 0xFFFE, 9, 6) + b"\0" * 6
              + struct.pack("<IIIIIIIII", 0, nfat, dir_start, 0, cutoff,
                            minifat_start if minifat else ENDOFCHAIN, len(minifat_blob) // sector,
                            ENDOFCHAIN, 0)
              + struct.pack("<109I", *difat))
    with open(path, "wb") as f:
        f.write(header + b"".join(sectors))


def make_formulas_xls(path, scratch):
    """Formula results, booleans and errors, as a spreadsheet program stores them.

    xlwt leaves formula results empty, so the stored results are written into
    its FORMULA records here, with the STRING record that follows a text result.
    """
    wb = xlwt.Workbook()
    ws = wb.add_sheet("Formulas")
    for r, text in enumerate(['1+2', '"ab"&"c"', '1=1', '1/0', 'A1', '9876543210+0']):
        ws.write(r, 0, xlwt.Formula(text))
    ws.row(0).set_cell_boolean(1, True)
    ws.row(1).set_cell_error(1, 0x2A)
    ws.row(2).set_cell_boolean(1, False)
    ws.row(3).set_cell_error(1, 0x07)
    wb.save(scratch)
    biff = read_cfb_stream(scratch, "Workbook")
    biff = biff[:biff_records_end(biff)]

    results = {
        (0, 0): (struct.pack("<d", 3.0), None),
        (1, 0): (b"\x00\x00\x00\x00\x00\x00\xff\xff", b"abc"),
        (2, 0): (b"\x01\x00\x01\x00\x00\x00\xff\xff", None),
        (3, 0): (b"\x02\x00\x07\x00\x00\x00\xff\xff", None),
        (5, 0): (struct.pack("<d", 9876543210.0), None),
    }
    out = b""
    pos = 0
    while pos + 4 <= len(biff):
        rtype, length = struct.unpack_from("<HH", biff, pos)
        data = bytearray(biff[pos + 4:pos + 4 + length])
        pos += 4 + length
        extra = b""
        if rtype == 0x0006:
            row, col = struct.unpack_from("<HH", data, 0)
            if (row, col) in results:
                result, text = results[(row, col)]
                data[6:14] = result
                if text is not None:
                    body = struct.pack("<HB", len(text), 0) + text
                    extra = struct.pack("<HH", 0x0207, len(body)) + body
        out += struct.pack("<HH", rtype, length) + bytes(data) + extra
    write_cfb(path, [("Workbook", out)])


# ---------------------------------------------------------------- hand-made SpreadsheetML

MAIN_NS = "http://schemas.openxmlformats.org/spreadsheetml/2006/main"
REL_NS = "http://schemas.openxmlformats.org/officeDocument/2006/relationships"
PKG_REL_NS = "http://schemas.openxmlformats.org/package/2006/relationships"
OFFICE_DOC = REL_NS + "/officeDocument"
WORKSHEET = REL_NS + "/worksheet"
CHARTSHEET = REL_NS + "/chartsheet"
SHARED = REL_NS + "/sharedStrings"
STYLES = REL_NS + "/styles"

SHARED_STRINGS = (
    '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
    '<sst xmlns="%s" count="5" uniqueCount="5">'
    '<si><t>Mobile</t></si>'
    '<si><r><t>Ra</t></r><r><rPr><b/><sz val="11"/></rPr><t>vi</t></r>'
    '<rPh sb="0" eb="2"><t>ラビ</t></rPh><phoneticPr fontId="1"/></si>'
    '<si><t xml:space="preserve">  two  words  </t></si>'
    '<si><t>line_x000D__x000A_break &amp; &lt;tag&gt;</t></si>'
    '<si><t/></si>'
    '</sst>' % MAIN_NS)

STYLESHEET = (
    '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
    '<styleSheet xmlns="%s">'
    '<numFmts count="2"><numFmt numFmtId="164" formatCode="dd/mm/yyyy\\ hh:mm"/>'
    '<numFmt numFmtId="165" formatCode="&quot;Day&quot;\\ 0"/></numFmts>'
    '<cellStyleXfs count="1"><xf numFmtId="14"/></cellStyleXfs>'
    '<cellXfs count="5"><xf numFmtId="0"/><xf numFmtId="14"/><xf numFmtId="164"/>'
    '<xf numFmtId="165"/><xf numFmtId="21"/></cellXfs>'
    '</styleSheet>' % MAIN_NS)

# The sheet the crafted workbook opens on; the prefix "x:" checks that only
# local names count.
ACTIVE_SHEET_XML = (
    '<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
    '<x:worksheet xmlns:x="%s" xmlns:r="%s">'
    '<x:dimension ref="A1:E9"/>'
    '<x:sheetData>'
    '<x:row r="1"><x:c r="A1" t="s"><x:v>0</x:v></x:c><x:c r="C1" t="s"><x:v>1</x:v></x:c></x:row>'
    '<x:row r="2"><x:c r="A2"><x:v>9.87654321E9</x:v></x:c>'
    '<x:c r="B2" t="inlineStr"><x:is><x:r><x:t>in</x:t></x:r><x:r><x:t>line</x:t></x:r>'
    '<x:rPh sb="0" eb="1"><x:t>skip</x:t></x:rPh></x:is></x:c>'
    '<x:c r="C2" t="s"><x:v>2</x:v></x:c></x:row>'
    '<x:row r="3"><x:c r="A3" t="n"><x:v>15551234567</x:v></x:c>'
    '<x:c r="B3" t="b"><x:v>1</x:v></x:c><x:c r="C3" t="b"><x:v>0</x:v></x:c>'
    '<x:c r="D3" t="e"><x:v>#DIV/0!</x:v></x:c></x:row>'
    '<x:row r="4"><x:c r="A4"><x:f>A3*2</x:f><x:v>31102469134</x:v></x:c>'
    '<x:c r="B4" t="str"><x:f>"a"&amp;"b"</x:f><x:v>ab</x:v></x:c>'
    '<x:c r="C4"><x:f>NOW()</x:f></x:c><x:c r="D4" t="s"><x:v>3</x:v></x:c></x:row>'
    '<x:row><x:c><x:v>1.5E-3</x:v></x:c><x:c><x:v>9876543210.000</x:v></x:c>'
    '<x:c t="s"><x:v>4</x:v></x:c><x:c><x:v>-0.0</x:v></x:c></x:row>'
    '<x:row r="7"><x:c r="A7" s="1"><x:v>45322</x:v></x:c><x:c r="B7" s="2"><x:v>45322.75</x:v></x:c>'
    '<x:c r="C7" s="3"><x:v>7</x:v></x:c><x:c r="D7" s="4"><x:v>0.5</x:v></x:c>'
    '<x:c r="E7" s="1"><x:v>60</x:v></x:c></x:row>'
    '<x:row r="9"><x:c r="E9" t="inlineStr"><x:is><x:t>corner</x:t></x:is></x:c></x:row>'
    '</x:sheetData></x:worksheet>' % (MAIN_NS, REL_NS))


def sheet_xml_rows(rows):
    return ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
            '<worksheet xmlns="%s"><sheetData>%s</sheetData></worksheet>' % (MAIN_NS, rows))


def sheet_xml(text):
    return sheet_xml_rows('<row r="1"><c r="A1" t="inlineStr"><is><t>%s</t></is></c></row>' % text)


def rels(items):
    body = "".join('<Relationship Id="%s" Type="%s" Target="%s"/>' % item for item in items)
    return ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
            '<Relationships xmlns="%s">%s</Relationships>' % (PKG_REL_NS, body))


def workbook_xml(sheets, active_tab, extra=""):
    body = "".join('<sheet name="%s" sheetId="%d" r:id="%s"/>' % (name, i + 1, rid)
                   for i, (name, rid) in enumerate(sheets))
    view = '<workbookView activeTab="%d"/>' % active_tab if active_tab is not None else ""
    return ('<?xml version="1.0" encoding="UTF-8" standalone="yes"?>\n'
            '<workbook xmlns="%s" xmlns:r="%s">%s<bookViews>%s</bookViews><sheets>%s</sheets></workbook>'
            % (MAIN_NS, REL_NS, extra, view, body))


def write_zip(path, parts):
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
        for name, text in parts:
            z.writestr(name, text)


def make_crafted_xlsx(path, sheet_target_style="relative"):
    """Tabs Alpha, Beta, Gamma; Beta is active and lives in sheet3.xml."""
    beta = "worksheets/sheet3.xml"
    if sheet_target_style == "absolute":
        beta = "/xl/worksheets/sheet3.xml"
    elif sheet_target_style == "dotted":
        beta = "./sub/../worksheets/sheet3.xml"
    parts = [
        ("[Content_Types].xml", '<?xml version="1.0"?><Types '
         'xmlns="http://schemas.openxmlformats.org/package/2006/content-types"/>'),
        ("_rels/.rels", rels([("rId1", OFFICE_DOC, "xl/workbook.xml")])),
        ("xl/workbook.xml", workbook_xml([("Alpha", "rId3"), ("Beta", "rId1"), ("Gamma", "rId2")], 1)),
        ("xl/_rels/workbook.xml.rels", rels([
            ("rId1", WORKSHEET, beta),
            ("rId2", WORKSHEET, "worksheets/sheet1.xml"),
            ("rId3", WORKSHEET, "worksheets/sheet2.xml"),
            ("rId4", SHARED, "sharedStrings.xml"),
            ("rId5", STYLES, "styles.xml"),
        ])),
        ("xl/worksheets/sheet1.xml", sheet_xml("WRONG SHEET Gamma")),
        ("xl/worksheets/sheet2.xml", sheet_xml("WRONG SHEET Alpha")),
        ("xl/worksheets/sheet3.xml", ACTIVE_SHEET_XML),
        ("xl/sharedStrings.xml", SHARED_STRINGS),
        ("xl/styles.xml", STYLESHEET),
    ]
    write_zip(path, parts)


def make_simple_xlsx(path, workbook, workbook_rels, sheets, root_rels=None, extra_parts=()):
    parts = [("_rels/.rels", root_rels or rels([("rId1", OFFICE_DOC, "xl/workbook.xml")])),
             ("xl/workbook.xml", workbook), ("xl/_rels/workbook.xml.rels", workbook_rels)]
    parts += [("xl/worksheets/%s" % name, xml) for name, xml in sheets]
    parts += list(extra_parts)
    write_zip(path, parts)


def make_odd_xlsx(out):
    # Active tab is a chart sheet: the first worksheet is read instead.
    make_simple_xlsx(
        os.path.join(out, "chart_active.xlsx"),
        workbook_xml([("Chart1", "rId1"), ("Data", "rId2")], 0),
        rels([("rId1", CHARTSHEET, "chartsheets/sheet1.xml"), ("rId2", WORKSHEET, "worksheets/data.xml")]),
        [("data.xml", sheet_xml("data sheet"))])
    # No bookViews at all: the first tab.
    make_simple_xlsx(
        os.path.join(out, "no_view.xlsx"),
        workbook_xml([("First", "rId2"), ("Second", "rId1")], None),
        rels([("rId1", WORKSHEET, "worksheets/a.xml"), ("rId2", WORKSHEET, "worksheets/b.xml")]),
        [("a.xml", sheet_xml("second tab")), ("b.xml", sheet_xml("first tab"))])
    # activeTab beyond the tabs: the first tab.
    make_simple_xlsx(
        os.path.join(out, "bad_tab.xlsx"),
        workbook_xml([("Only", "rId1")], 7),
        rels([("rId1", WORKSHEET, "worksheets/a.xml")]),
        [("a.xml", sheet_xml("only tab"))])
    # The workbook part has another name, found through the package relationships.
    write_zip(os.path.join(out, "renamed_part.xlsx"), [
        ("_rels/.rels", rels([("rId1", OFFICE_DOC, "book/main.xml")])),
        ("book/main.xml", workbook_xml([("Main", "rIdA")], 0)),
        ("book/_rels/main.xml.rels", rels([("rIdA", WORKSHEET, "../data/s.xml")])),
        ("data/s.xml", sheet_xml("found through rels")),
    ])
    # A shared string index beyond the table.
    make_simple_xlsx(
        os.path.join(out, "bad_sst_index.xlsx"),
        workbook_xml([("S", "rId1")], 0),
        rels([("rId1", WORKSHEET, "worksheets/s.xml"), ("rId2", SHARED, "sharedStrings.xml")]),
        [("s.xml", '<worksheet xmlns="%s"><sheetData><row r="1"><c r="A1" t="s"><v>9</v></c></row>'
          '</sheetData></worksheet>' % MAIN_NS)],
        extra_parts=[("xl/sharedStrings.xml", SHARED_STRINGS)])
    # A cell reference that is not one.
    make_simple_xlsx(
        os.path.join(out, "bad_ref.xlsx"),
        workbook_xml([("S", "rId1")], 0),
        rels([("rId1", WORKSHEET, "worksheets/s.xml")]),
        [("s.xml", '<worksheet xmlns="%s"><sheetData><row r="1"><c r="1A"><v>1</v></c></row>'
          '</sheetData></worksheet>' % MAIN_NS)])
    # Broken XML in the sheet.
    make_simple_xlsx(
        os.path.join(out, "bad_xml.xlsx"),
        workbook_xml([("S", "rId1")], 0),
        rels([("rId1", WORKSHEET, "worksheets/s.xml")]),
        [("s.xml", '<worksheet xmlns="%s"><sheetData><row r="1"><c r="A1"><v>1</v></row>' % MAIN_NS)])
    # The sheet part named by the relationship is missing.
    make_simple_xlsx(
        os.path.join(out, "missing_sheet.xlsx"),
        workbook_xml([("S", "rId1")], 0),
        rels([("rId1", WORKSHEET, "worksheets/gone.xml")]),
        [])
    # A zip that is no workbook at all.
    write_zip(os.path.join(out, "not_workbook.xlsx"), [("hello.txt", "hello")])
    # The 1904 date system.
    make_simple_xlsx(
        os.path.join(out, "date1904.xlsx"),
        workbook_xml([("S", "rId1")], 0, extra='<workbookPr date1904="1"/>'),
        rels([("rId1", WORKSHEET, "worksheets/s.xml"), ("rId2", STYLES, "styles.xml")]),
        [("s.xml", '<worksheet xmlns="%s"><sheetData><row r="1"><c r="A1" s="1"><v>43860</v></c></row>'
          '</sheetData></worksheet>' % MAIN_NS)],
        extra_parts=[("xl/styles.xml", STYLESHEET)])


# ---------------------------------------------------------------- the test set


MANY_TEXTS = 1200


def many_text(i):
    # Keep in step with the reader test that expects these texts.
    return ("text %04d " % i) + ("ж" * (i % 7) if i % 2 else "x" * (i % 11)) + "-" * 20


def patch(data, old, new):
    assert data.count(old) == 1, old
    return data.replace(old, new)


def make_tests(out):
    os.makedirs(out, exist_ok=True)
    p = lambda name: os.path.join(out, name)

    make_xls(p("contacts.xls"), SHEET_NAMES, sheet_rows, ACTIVE)
    make_xlsx(p("contacts.xlsx"), SHEET_NAMES, sheet_rows, ACTIVE)
    make_xls(p("first_tab.xls"), SHEET_NAMES, sheet_rows, 0)
    make_xlsx(p("first_tab.xlsx"), SHEET_NAMES, sheet_rows, 0)
    make_xls(p("last_tab.xls"), ["Intro", "Other", "Numbers"], sheet_rows, 2)

    first_empty = lambda name: [[None, "x"], ["y"]]
    make_xls(p("first_empty.xls"), ["Blank"], first_empty, 0)
    make_xlsx(p("first_empty.xlsx"), ["Blank"], first_empty, 0)
    make_xls(p("empty_sheet.xls"), ["Empty"], lambda name: [], 0)
    make_xlsx(p("empty_sheet.xlsx"), ["Empty"], lambda name: [], 0)

    unicode_rows = lambda name: [["Ашa", "कुमार"], ["€ 5", "naïve"]]
    make_xls(p("unicode.xls"), ["Tab", "Číslo"], unicode_rows, 1)
    make_xlsx(p("unicode.xlsx"), ["Tab", "Číslo"], unicode_rows, 1)

    # More shared text than one record holds: the table goes on in CONTINUE
    # records, strings cut at their ends, some one byte a character, some two.
    many_texts = lambda name: [[many_text(i)] for i in range(MANY_TEXTS)]
    make_xls(p("many_texts.xls"), ["Texts"], many_texts, 0)

    contacts_xls = open(p("contacts.xls"), "rb").read()
    contacts_xlsx = open(p("contacts.xlsx"), "rb").read()

    # WINDOW1 (0x003D, 18 bytes) turned into an unknown record: the first tab opens.
    open(p("no_window1.xls"), "wb").write(patch(contacts_xls, b"\x3d\x00\x12\x00", b"\x3e\x08\x12\x00"))

    # The workbook stream in the mini stream of a hand-made compound file, and
    # the same under the old stream name "Book".
    biff = read_cfb_stream(p("contacts.xls"), "Workbook")
    biff = biff[:biff_records_end(biff)]
    write_cfb(p("big_stream.xls"), [("Workbook", biff)])
    small = read_cfb_stream(p("first_empty.xls"), "Workbook")
    small = small[:biff_records_end(small)]
    assert len(small) < 4096, len(small)
    write_cfb(p("mini_stream.xls"), [("\x05SummaryInformation", b"\0" * 200), ("Workbook", small)])
    write_cfb(p("book_stream.xls"), [("Book", biff)])
    # The workbook stream listed after the first directory sector.
    write_cfb(p("crowded.xls"), [("\x05SummaryInformation", b"\0" * 200),
                                 ("\x05DocumentSummaryInformation", b"\0" * 200),
                                 ("\x01CompObj", b"\0" * 100), ("\x01Ole", b"\0" * 20),
                                 ("Extra", b"\0" * 5000), ("Workbook", biff)])
    write_cfb(p("document.xls"), [("WordDocument", b"\xec\xa5" + b"\0" * 5000)])
    write_cfb(p("encrypted.xlsx"), [("EncryptionInfo", b"\x04\x00\x04\x00" + b"\0" * 100),
                                    ("EncryptedPackage", b"\0" * 8000)])

    # An encrypted .xls: a FILEPASS record right after the first BOF.
    bof_end = 4 + struct.unpack_from("<H", biff, 2)[0]
    filepass = struct.pack("<HHHHH", 0x002F, 6, 0, 0x1234, 0x5678)
    write_cfb(p("filepass.xls"), [("Workbook", biff[:bof_end] + filepass + biff[bof_end:])])

    # A record longer than BIFF allows (8224 bytes of data), and one running past the stream.
    write_cfb(p("long_record.xls"), [("Workbook", biff + struct.pack("<HH", 0x00FC, 9000) + b"\0" * 9000)])
    write_cfb(p("record_past_end.xls"), [("Workbook", biff + struct.pack("<HH", 0x00FC, 200) + b"\0" * 100)])
    # A number format declaring 65528 two-byte characters in a record of 12 bytes.
    long_format = struct.pack("<HHHHB", 0x041E, 12, 0x00A4, 0xFFF8, 0x01) + b"abcdefg"
    write_cfb(p("format_past_record.xls"), [("Workbook", biff[:bof_end] + long_format + biff[bof_end:])])
    # A shared-string table whose second string declares 48111 two-byte characters
    # in a record of 16 bytes, and one that promises five strings and holds one.
    sst_long = struct.pack("<HHII", 0x00FC, 16, 2, 2) + b"\x01\x00\x00a" + struct.pack("<HB", 0xBBEF, 0xBF) + b"z"
    sst_short = struct.pack("<HHII", 0x00FC, 12, 5, 5) + b"\x01\x00\x00a"
    for name, sst in (("shared_string_past_record.xls", sst_long), ("shared_strings_missing.xls", sst_short)):
        write_cfb(p(name), [("Workbook", biff[:bof_end] + sst + biff[bof_end:])])

    # Every allocation table entry pointing to itself: chains never end.
    fat_sector = struct.unpack_from("<I", contacts_xls, 0x4C)[0]
    looped = bytearray(contacts_xls)
    start = (fat_sector + 1) * 512
    for i in range(128):
        struct.pack_into("<I", looped, start + 4 * i, i)
    open(p("fat_loop.xls"), "wb").write(bytes(looped))

    # Container headers with one field out of bounds, and one cut short.
    for name, fmt, offset, value in [("byte_order", "<H", 0x1C, 0x1234), ("sector_size", "<H", 0x1E, 7),
                                     ("fat_count", "<I", 0x2C, 0xFFFFFF), ("dir_beyond", "<I", 0x30, 0xFFFFFF00),
                                     ("fat_beyond", "<I", 0x4C, 0x00FFFFFF)]:
        damaged = bytearray(contacts_xls)
        struct.pack_into(fmt, damaged, offset, value)
        open(p("header_%s.xls" % name), "wb").write(bytes(damaged))
    open(p("header_cut.xls"), "wb").write(contacts_xls[:300])

    # Damaged and wrong files.
    rnd = random.Random(20240131)
    open(p("random.xls"), "wb").write(bytes(rnd.getrandbits(8) for _ in range(3000)))
    open(p("random.xlsx"), "wb").write(bytes(rnd.getrandbits(8) for _ in range(3000)))
    open(p("random.csv"), "wb").write(bytes(rnd.getrandbits(8) for _ in range(3000)))
    open(p("cfb_random.xls"), "wb").write(contacts_xls[:512] + bytes(rnd.getrandbits(8) for _ in range(4096)))
    open(p("truncated.xlsx"), "wb").write(contacts_xlsx[:len(contacts_xlsx) // 2])
    open(p("truncated.xls"), "wb").write(contacts_xls[:1024])
    open(p("empty.xls"), "wb").close()
    open(p("empty.xlsx"), "wb").close()
    open(p("empty.csv"), "wb").close()

    # Right contents behind a wrong extension.
    open(p("xlsx_named.xls"), "wb").write(contacts_xlsx)
    open(p("xls_named.xlsx"), "wb").write(contacts_xls)
    open(p("csv_named.xls"), "wb").write("Mobile,Name\r\n9876543210,RAVI\r\n".encode())

    make_formulas_xls(p("formulas.xls"), p("formulas_plain.xls"))
    make_crafted_xlsx(p("crafted.xlsx"))
    make_crafted_xlsx(p("crafted_absolute.xlsx"), "absolute")
    make_crafted_xlsx(p("crafted_dotted.xlsx"), "dotted")
    make_odd_xlsx(out)

    # Small files naming far more cells than they hold: a cell in the last
    # column (XFD) of each of 3000 rows, and a line of 6 million commas.
    wide_rows = "".join('<row r="%d"><c r="XFD%d" t="inlineStr"><is><t>a</t></is></c></row>' % (i, i)
                        for i in range(1, 3001))
    make_simple_xlsx(p("wide.xlsx"), workbook_xml([("Wide", "rId1")], 0),
                     rels([("rId1", WORKSHEET, "worksheets/wide.xml")]), [("wide.xml", sheet_xml_rows(wide_rows))])
    open(p("commas.csv"), "wb").write(b"Mobile" + b"," * 6000000 + b"\r\n")


def make_bench(out, rows):
    os.makedirs(out, exist_ok=True)
    body = lambda name: [["Mobile", "Name", "Group"]] + [
        [9000000000 + i, "Contact %d" % i, "GROUP%d" % (i % 7)] for i in range(1, rows)]
    make_xls(os.path.join(out, "contacts.xls"), ["Contacts"], body, 0)
    make_xlsx(os.path.join(out, "contacts.xlsx"), ["Contacts"], body, 0)


if __name__ == "__main__":
    if len(sys.argv) >= 3 and sys.argv[1] == "tests":
        make_tests(sys.argv[2])
    elif len(sys.argv) >= 4 and sys.argv[1] == "bench":
        make_bench(sys.argv[2], int(sys.argv[3]))
    else:
        sys.exit(__doc__)
