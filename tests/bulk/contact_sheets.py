#!/usr/bin/python3
"""Writes the contact workbooks the bulk import tests read.

Usage: contact_sheets.py OUTDIR A B

Each workbook has two sheets; the second one ("Contacts") is the active one
and holds, by row: a header, A / RAVI, 12345 / X, an empty row, B / ASHA.
The numbers are numeric cells. The first sheet holds other numbers, which an
import must not read.
"""
import os
import sys

import openpyxl
import xlwt

out, a, b = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
rows = [("Mobile", "Name"), (a, "RAVI"), (12345, "X"), None, (b, "ASHA")]
decoy = [(9111111111, "DECOY"), (9222222222, "DECOY")]

book = xlwt.Workbook()
other = book.add_sheet("Other")
for r, (num, name) in enumerate(decoy):
    other.write(r, 0, num)
    other.write(r, 1, name)
sheet = book.add_sheet("Contacts")
for r, row in enumerate(rows):
    if row:
        sheet.write(r, 0, row[0])
        sheet.write(r, 1, row[1])
book.active_sheet = 1
other.set_selected(False)
sheet.set_selected(True)
book.save(os.path.join(out, "contacts.xls"))

wb = openpyxl.Workbook()
ws_other = wb.active
ws_other.title = "Other"
for row in decoy:
    ws_other.append(row)
ws = wb.create_sheet("Contacts")
for r, row in enumerate(rows, start=1):
    if row:
        ws.cell(row=r, column=1, value=row[0])
        ws.cell(row=r, column=2, value=row[1])
wb.active = 1
wb.save(os.path.join(out, "contacts.xlsx"))

with open(os.path.join(out, "corrupt.xls"), "wb") as f:
    f.write(b"\xd0\xcf\x11\xe0\xa1\xb1\x1a\xe1" + bytes((i * 37 + 11) % 256 for i in range(700)))
