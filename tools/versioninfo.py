#!/usr/bin/env python3
"""Reads what the release needs from the built Orvane.exe and checks it: 32-bit, stripped, no
link time; prints the version, product name, publisher and copyright of its version resource,
one per line. Exits with a message naming the fault otherwise.

The product name becomes the install folder, the shortcuts' file names, the uninstall entry's
registry key and the setup's mutex; all three strings go into the setup script, where `$`
starts a variable and `"` ends the string. So they may hold only what all of those take. A `'`
or a backtick is fine: the script's double-quoted strings take them, and the mutex name reaches
the System plugin's call through a register, never inside its quoted text."""
import struct
import sys
import unicodedata

data = open(sys.argv[1], "rb").read()
pe = struct.unpack_from("<I", data, 0x3C)[0]
if data[pe:pe + 4] != b"PE\0\0":
    sys.exit("not a PE file")
machine, _, stamp, symbols, nsymbols = struct.unpack_from("<HHIII", data, pe + 4)
if machine != 0x14C:
    sys.exit("not a 32-bit (i386) executable")
if symbols or nsymbols:
    sys.exit("the executable still has its symbol table")
if stamp:
    sys.exit("the PE header carries a link time")
at = data.find(struct.pack("<I", 0xFEEF04BD))  # VS_FIXEDFILEINFO signature
if at < 0:
    sys.exit("no version resource")
ms, ls = struct.unpack_from("<II", data, at + 8)
version = "%d.%d.%d.%d" % (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)


def string_value(key):
    """A String entry of the StringFileInfo block: its key in UTF-16 with a terminating zero,
    then padding to a 32-bit boundary (the resource data is 32-bit aligned in the file), then
    the value."""
    at = data.find((key + "\0").encode("utf-16-le"))
    if at < 0:
        sys.exit("no %s in the version resource" % key)
    at += 2 * (len(key) + 1)
    at += -at % 4
    end = at
    while data[end:end + 2] != b"\0\0":
        end += 2
    return data[at:end].decode("utf-16-le", errors="replace")


def refuse(key, value, why):
    sys.exit("%s %r in the version resource (res/Orvane.rc): %s" % (key, value, why))


def check_text(key, value, forbidden, place):
    if not value.strip():
        refuse(key, value, "it is empty")
    for c in value:
        # Controls, format characters (bidirectional overrides, zero widths) and line or
        # paragraph separators: invisible, or breaking a line, in every place the name shows.
        if c in forbidden or unicodedata.category(c) in ("Cc", "Cf", "Cs", "Co", "Cn", "Zl", "Zp"):
            refuse(key, value, "U+%04X %r is not allowed in %s" % (ord(c), c, place))


# A folder, file or registry key name takes none of \ / : * ? " < > |; `$` is the setup
# script's variable sign.
product = string_value("ProductName")
check_text("ProductName", product, '\\/:*?"<>|$',
           "the install folder, the shortcuts' or the registry key's name, or the setup script")
if len(product) > 64:
    refuse("ProductName", product, "longer than 64 characters")
if product != product.strip() or product.endswith("."):
    # Windows drops a trailing dot or space from a folder name, so the folder would not be
    # the one recorded.
    refuse("ProductName", product, "it begins or ends with a space, or ends with a dot")
if product.split(".")[0].strip().upper() in (
        ["CON", "PRN", "AUX", "NUL"] + ["COM%d" % i for i in range(10)] + ["LPT%d" % i for i in range(10)]):
    refuse("ProductName", product, "a device name, which cannot be a folder or file name")
publisher = string_value("CompanyName")
copyright_ = string_value("LegalCopyright")
check_text("CompanyName", publisher, '"$', "the setup script's strings")
check_text("LegalCopyright", copyright_, '"$', "the setup script's strings")
print("\n".join((version, product, publisher, copyright_)))
