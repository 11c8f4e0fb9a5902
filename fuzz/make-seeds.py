#!/usr/bin/env python3
"""Write the fuzz seeds that are not plain text: binary property lists (into corpus/fuzz_parse, and without
their "bplist00" header into corpus/fuzz_binary, whose target adds it) and XML in other encodings.
Deterministic; run it again after changing it and commit its outputs.
Usage: make-seeds.py [CORPUS_DIR]   (default: the corpus directory next to this script)"""
import datetime
import os
import plistlib
import sys

corpus = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus")

every_type = {
    "ascii": "Fish & chips <3",
    "unicode": "Caf\u00e9 \u2713 \U0001F41F",
    "small": 7,
    "negative": -123456789,
    "big": 2**64 - 1,
    "real": 0.1,
    "enabled": True,
    "disabled": False,
    "date": datetime.datetime(2024, 2, 29, 12, 30, 15),
    "data": bytes(range(40)),
    "array": ["one", 2, 3.5, [], {}],
    "nested": {"level": {"deeper": [1, "1", {"x": 1.5}]}},
    "uid": plistlib.UID(3),
}

seeds = {
    "every-type": every_type,
    "shared-strings": ["same", "same", "same", {"same": "same"}],
    "scalar-date": datetime.datetime(1999, 12, 31, 23, 59, 59, 500000),
    "scalar-integer": -1,
    "two-byte-refs": list(range(300)),
    "deep": [[[[[[[[[[[[[[[[[[[["bottom"]]]]]]]]]]]]]]]]]]]],
    "long-string": "x" * 40,
    "uids": [plistlib.UID(0), plistlib.UID(255), plistlib.UID(65536), plistlib.UID(2**40)],
}


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


for name, value in seeds.items():
    data = plistlib.dumps(value, fmt=plistlib.FMT_BINARY, sort_keys=False)
    assert data.startswith(b"bplist00")
    write(os.path.join(corpus, "fuzz_parse", f"bin-{name}.bplist"), data)
    write(os.path.join(corpus, "fuzz_binary", f"{name}.bin"), data[8:])

xml = plistlib.dumps({"name": "Caf\u00e9", "list": [1, 2.5, True]}, fmt=plistlib.FMT_XML).decode("utf-8")
write(os.path.join(corpus, "fuzz_parse", "xml-utf16le.plist"),
      b"\xff\xfe" + xml.replace('encoding="UTF-8"', 'encoding="UTF-16"').encode("utf-16-le"))
write(os.path.join(corpus, "fuzz_parse", "xml-utf16be-no-bom.plist"),
      xml.replace('encoding="UTF-8"', 'encoding="UTF-16"').encode("utf-16-be"))
write(os.path.join(corpus, "fuzz_parse", "xml-latin1.plist"),
      xml.replace('encoding="UTF-8"', 'encoding="ISO-8859-1"').encode("latin-1"))
write(os.path.join(corpus, "fuzz_parse", "xml-bom.plist"), b"\xef\xbb\xbf" + xml.encode("utf-8"))
# Encodings read through iconv: single-byte ones, and Shift_JIS whose second bytes may be "\" or "{".
for name, encoding, text in (("windows-1252", "cp1252", "\u20ac caf\u00e9 \u201cq\u201d"),
                             ("macintosh", "mac_roman", "caf\u00e9 \u2206"),
                             ("Shift_JIS", "shift_jis", "\u8868\u500d\u30bd")):
    body = plistlib.dumps({"name": text}, fmt=plistlib.FMT_XML).decode("utf-8")
    write(os.path.join(corpus, "fuzz_parse", f"xml-{name.lower()}.plist"),
          body.replace('encoding="UTF-8"', f'encoding="{name}"').encode(encoding))

# Strings marked ASCII that hold UTF-8, and bytes that are no UTF-8 (Latin-1), as some writers leave them.
for name, raw in (("ascii-utf8", b"caf\xc3\xa9"), ("ascii-latin1", b"caf\xe9!")):
    data = plistlib.dumps(["x" * len(raw)], fmt=plistlib.FMT_BINARY).replace(b"x" * len(raw), raw)
    write(os.path.join(corpus, "fuzz_parse", f"bin-{name}.bplist"), data)
    write(os.path.join(corpus, "fuzz_binary", f"{name}.bin"), data[8:])
