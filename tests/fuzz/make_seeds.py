#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets (corpus/<target>/<name>).

Run by hand after changing an input layout (make_seeds.py [SAMPLE.reg]);
the files it writes are kept in the repository. Each seed is a sound input that reaches deep into its
target: whole regedit files, valid and nearly valid key texts, stored values
of each type, and complete driver exchanges for every Windows family.
"""
import os
import struct
import sys

HERE = os.path.dirname(os.path.abspath(__file__))


def write(target, name, data):
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


# ---- regfile_fuzz: mode byte, then the file ------------------------------
V5 = "Windows Registry Editor Version 5.00\r\n"
BODY = (
    "\r\n[HKEY_LOCAL_MACHINE\\S]\r\n"
    "\"sz\"=\"text\"\r\n@=\"default\"\r\n\"empty\"=\"\"\r\n\"dw\"=dword:0000002a\r\n"
    "\"bin\"=hex:00,7f,80,ff\r\n\"exp\"=hex(2):25,41,25,00\r\n\"multi\"=hex(7):61,00,62,00,00\r\n"
    "\"none\"=hex(0):\r\n\"q\"=hex(b):01,02,03,04,05,06,07,08\r\n"
    "\"esc\\\\aped \\\"name\\\"\"=\"C:\\\\dir\\\\\\\"q\\\"\"\r\n\"two\\r\\nlines\"=\"1\\n2\"\r\n"
    "\"long\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,\\\r\n"
    "  16,17,18,19,1a,1b,1c,1d,1e,1f\r\n"
    "[HKEY_LOCAL_MACHINE\\S\\Sub\\Deeper]\r\n\"x\"=dword:1\r\n"
    "[hkey_local_machine\\s\\SUB]\r\n\"x\"=-\r\n"
    "[-HKEY_LOCAL_MACHINE\\Software\\Base\\Sub]\r\n"
    "[HKEY_CURRENT_USER\\Other]\r\n\"x\"=-\r\n; a comment\r\n"
)
write("regfile_fuzz", "regedit4_values", b"\x01" + BODY.encode("latin-1"))
write("regfile_fuzz", "whole_file", b"\x00" + ("REGEDIT4\r\n" + BODY).encode("latin-1"))
write("regfile_fuzz", "utf8_bom", b"\x00\xef\xbb\xbf" + ("REGEDIT4\n" + BODY.replace("\r\n", "\n")).encode("latin-1"))
write("regfile_fuzz", "version5_widened", b"\x03" + BODY.encode("latin-1"))
write("regfile_fuzz", "version5_units",
      b"\x02" + ("\r\n[HKEY_LOCAL_MACHINE\\K\\caf\u00e9]\r\n\"\u00fc\"=\"\u20ac5\"\r\n"
                 "\"sz\"=hex(1):3d,d8,00,de,62,00,00,00\r\n"
                 "[HKEY_LOCAL_MACHINE\\K\\\u03a9]\r\n\"\u03a3\"=\"sigma\"\r\n").encode("utf-16-le"))
write("regfile_fuzz", "version5_whole", b"\x00\xff\xfe" + (V5 + BODY).encode("utf-16-le"))
write("regfile_fuzz", "refused_late", b"\x01" + (BODY + "\"bad\"=hex:0g\r\n").encode("latin-1"))
# The regedit round trip's sample, when given: make_seeds.py SAMPLE.reg
# (regtool write-sample SAMPLE.reg writes it).
if len(sys.argv) > 1:
    with open(sys.argv[1], "rb") as f:
        write("regfile_fuzz", "regtool_sample", b"\x00" + f.read())

# ---- key_record_fuzz: 76 bytes held, then the text ------------------------
FACTORY_HELD = bytes(range(76))
KNOWN = rb"C\K;8V>+'VBO(AQ](6[UA=3[CW2:+7>=,'J@,WVC-GbF.8.I/(:L/XFO0HRG17^D&F.,'F.()F_?<[Ja49ZeV+)'5:3*7:?-8*K08V"
assert len(KNOWN) == 102
write("key_record_fuzz", "known_text", FACTORY_HELD + KNOWN)
write("key_record_fuzz", "one_short", FACTORY_HELD + KNOWN[:101])
write("key_record_fuzz", "one_long", FACTORY_HELD + KNOWN + b"&")
write("key_record_fuzz", "held_valid_record", struct.pack("<IHHHH", 0x48576877, 3, 1, 33, 0xFCB0) + bytes(64) + b"short")
write("key_record_fuzz", "wrong_magic", FACTORY_HELD + bytes([38 + (i * 7) % 64 for i in range(102)]))
write("key_record_fuzz", "long_text", FACTORY_HELD + bytes([38 + (i * 13) % 64 for i in range(200)]))

# ---- registry_access_fuzz: type, capacity, data ---------------------------
def access(type_, capacity, data):
    return struct.pack("<IH", type_, capacity) + data

write("registry_access_fuzz", "decimal_text", access(1, 256, b"  -123abc\x00"))
write("registry_access_fuzz", "big_decimal", access(1, 32, b"+99999999999999\x00"))
write("registry_access_fuzz", "dword", access(4, 16, b"\x2a\x00\x00\x00"))
write("registry_access_fuzz", "short_binary", access(3, 2, b"\x01\x02"))
write("registry_access_fuzz", "long_binary", access(3, 300, bytes(range(40))))
write("registry_access_fuzz", "text_fills_buffer", access(1, 256, b"t" * 255 + b"\x00"))
write("registry_access_fuzz", "text_without_terminator", access(1, 8, b"eightchr"))
write("registry_access_fuzz", "zero_capacity", access(2, 0, b"%A%\x00"))

# ---- driver_channel_fuzz: setup, then one answer per device call ----------
OK_CONNECT = lambda cid: bytes([0x0C, 0]) + struct.pack("<I", cid)  # status 0 and a connection id
def values(*words):
    return bytes([0x40, len(words)]) + b"".join(struct.pack("<H", w) for w in words)
RANGE = values(0, 0, 48, 1, 99)
RANGE_NT4 = values(0, 0, 52, 1, 99)
RANGE_95 = values(0, 0, 41, 1, 99)
IDENTITY = values(0, 1, 6, 41)
AS_SENT = b"\x00"

def exchange(range_answer, identity=IDENTITY):
    info = OK_CONNECT(7) + range_answer + identity + AS_SENT
    live = OK_CONNECT(9) + range_answer + AS_SENT * 12 + AS_SENT + AS_SENT
    return info + live

FAMILIES = {"win95": 0, "win98": 1, "nt4": 2, "win2000": 3, "winxp": 4}
write("driver_channel_fuzz", "win95", bytes([FAMILIES["win95"], 1, 0, 0, 0]) + exchange(RANGE_95))
write("driver_channel_fuzz", "win98_common_vxd", bytes([FAMILIES["win98"], 2, 0, 0, 0]) + exchange(RANGE))
write("driver_channel_fuzz", "nt4_defines_its_name", bytes([FAMILIES["nt4"], 1, 0, 0, 0]) + exchange(RANGE_NT4))
write("driver_channel_fuzz", "nt4_third_digit_linked", bytes([FAMILIES["nt4"], 4, 4, 0, 0]) + exchange(RANGE_NT4))
write("driver_channel_fuzz", "nt4_define_fails", bytes([FAMILIES["nt4"], 3, 0, 0, 1]) + exchange(RANGE_NT4))
write("driver_channel_fuzz", "win2000", bytes([FAMILIES["win2000"], 3, 0, 0, 0]) + exchange(RANGE))
write("driver_channel_fuzz", "winxp", bytes([FAMILIES["winxp"], 3, 0, 0, 0]) + exchange(RANGE))
write("driver_channel_fuzz", "winxp_other_version", bytes([FAMILIES["winxp"], 3, 0, 0, 0]) + exchange(RANGE, values(0, 1, 6, 40)))
write("driver_channel_fuzz", "winxp_busy", bytes([FAMILIES["winxp"], 3, 0, 0, 0]) + bytes([0x04, 3]) * 4 + exchange(RANGE))
write("driver_channel_fuzz", "winxp_always_busy", bytes([FAMILIES["winxp"], 3, 0, 0, 0]) + bytes([0x04, 3]) * 24)
write("driver_channel_fuzz", "winxp_failing_put", bytes([FAMILIES["winxp"], 3, 0, 0, 0]) + OK_CONNECT(7) + RANGE + IDENTITY + AS_SENT
      + OK_CONNECT(9) + RANGE + AS_SENT * 4 + b"\x03" + AS_SENT * 9)
