#!/usr/bin/python3
"""Writes the seed inputs of the text fuzz targets into this folder.

    make_corpus.py [OUTDIR]     (default: the folder of this script)

Fields of one input are separated by NUL bytes, in the order the target's
function reads them (tests/fuzz/FuzzTargets.h). The spreadsheet targets are
seeded with the workbooks of the reader tests (tests/spreadsheet/data).
"""

import os
import sys

OUT = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.abspath(__file__))

SEEDS = {
    "drop_file": [
        b"9876543210|Hello there|1|07122026101500|0\r\n9123456789|Second|2||1\r\n",
        b"9876543210,Comma text,1,07122026101500,0\r\n",
        b"\xef\xbb\xbf9876543210|UTF-8 caf\xc3\xa9 \xe2\x82\xac|1\r\n",
        b"\xff\xfe9\x008\x007\x00|\x00h\x00i\x00\r\x00\n\x00",
        b"\xfe\xff\x009\x008\x007\x00|\x00h\x00i\x00\r\x00\n",
        b"98765 432-10|Jos\xe9 \x80 Windows text\rlone cr|3\n" + b"x" * 100 + b"\r\n",
        b"\xed\xa0\x80 surrogate\r\n\xc0\xaf overlong\r\n\xf4\x90\x80\x80\r\n\xe2\x82",
    ],
    "modem_answer": [
        b"Hello\0Hello\r\n+CMGS: 12\r\n\r\nOK\r\n",
        b"OK\0\r\n> \x1a\r\n+CMS ERROR: 500\r\n",
        b"ERROR\0ERROR\r\nOK\r\n",
        b"text\0\r\n+cmgs: 7\r\n",
        b"  padded\0  padded\r\nERROR\r\n",
        b"\0\r\n+CME ERROR: 10\r\n",
    ],
    "gateway_body": [
        b"9876543210\0Message Submitted 9876543210 ID 12345",
        b"9876543210\0201 Created",
        b"9876543210\0SMS has been Send<br>Send Successful<br>",
        b"\0ERROR: invalid password",
        b"9876543210\0\xf0\x9f\x98\x80" * 80,
        b"9876543210\0R\xe9ponse \x93quoted\x94",
    ],
    "report_answer": [
        b"http://gw.example/report?id=<MassgeID>\0abc123\0Status: DELIVRD",
        b"http://gw.example/report?id=<MassgeID>&x=1\r\n\0abc 123#\0status ncpr",
        b"http://gw.example/r/<MassgeID>/<MassgeID>\0\0PENDING",
        b"<MassgeID>\0\xe2\x82\xac\0" + "é".encode() * 300,
        # A character outside the first plane across the width of the stored reply.
        b"<MassgeID>\0id\0" + b"a" * 250 + "\U0001F600".encode() * 3,
    ],
    "queue_stamp": [
        b"0712263411015",
        b"07122026101500",
        b"07-12-2026 10:15:00",
        b" 3112203662359 ",
        b"29022024235959",
        b"31122099125959",
        b"dd-mm-yyyy hh:nn:ss y",
        b"HH:MM:SS dddd mmmm yyyy",
    ],
    "send_url": [
        b"http://gw.example/send?u=<UName>&p=<PassWord>&to=<mobile>&from=<GsmSid>&c=<CDMASid>&text=<msg>"
        b"\0user\0pa#ss<msg>\0987 654-3210\0SENDER\0CDMA\0Hello 'world' 100% + more\r\nline",
        b"https://gw.example/s?to=<mobile>&m=<msg>&u=<uname>\0U\0P\098765,98766\0\0\0caf\xc3\xa9 \xe2\x82\xac \x01\x02",
        b"<msg><msg>\0\0\0\0\0\0\xf0\x9f\x98\x80 emoji \xe4\xb8\xad",
    ],
    "csv": [
        b"Mobile,Name\r\n9876543210,RAVI\r\n\"0987654321\",\"quoted, comma\"\r\n",
        b"Mobile;Name\n9876543210;ASHA\n",
        b"Mobile\tName\r\n9876543210\t\"multi\r\nline\"\r\n",
        b"\xff\xfeM\x00o\x00b\x00,\x00N\x00\r\x00\n\x00",
        b"\"unterminated,quote\r\n1,2,3,4,5,6,7,8,9\r\n",
    ],
}

for target, inputs in SEEDS.items():
    folder = os.path.join(OUT, target)
    os.makedirs(folder, exist_ok=True)
    for n, data in enumerate(inputs, 1):
        with open(os.path.join(folder, "seed-%02d" % n), "wb") as f:
            f.write(data)
