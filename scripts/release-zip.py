#!/usr/bin/env python3
"""Packs Grevlin's release zip, the same bytes from the same inputs anywhere.

    release-zip.py PROGRAM README VERSION EPOCH ZIP

Writes ZIP holding, in this order, Grevlin.exe (the bytes of PROGRAM),
README.txt (README with @VERSION@ replaced, CR LF line ends, for Notepad)
and SHA256SUMS (the checksums of both, as sha256sum writes them). Every
member carries the time EPOCH (seconds since 1970, UTC), the same
permissions and no extra field. Members are stored, not compressed:
deflate's output depends on the zlib at hand, and the zip should not.
"""
import hashlib
import sys
import time
import zipfile

# Notepad wraps nothing unless asked; longer lines run off the window.
LONGEST_LINE = 76
# The oldest time a zip can record.
ZIP_EPOCH = (1980, 1, 1, 0, 0, 0)


def readme_text(template, version):
    try:
        text = template.decode("ascii")
    except UnicodeDecodeError as error:
        sys.exit(f"release-zip: README is not plain ASCII ({error})")
    if "\r" in text or "\t" in text:
        sys.exit("release-zip: README must have LF line ends and no tabs")
    text = text.replace("@VERSION@", version)
    lines = text.split("\n")
    for number, line in enumerate(lines, 1):
        if len(line) > LONGEST_LINE:
            sys.exit(f"release-zip: README line {number} is longer than {LONGEST_LINE}")
    if lines[-1] != "":
        sys.exit("release-zip: README must end with a line end")
    return "\r\n".join(lines).encode("ascii")


def member(name, when):
    info = zipfile.ZipInfo(name, date_time=when)
    info.compress_type = zipfile.ZIP_STORED
    info.create_system = 3  # Unix, so that the permissions below are read
    info.create_version = 20
    info.extract_version = 20
    info.external_attr = 0o100644 << 16
    info.extra = b""
    info.comment = b""
    return info


def main():
    if len(sys.argv) != 6:
        sys.exit(__doc__)
    program_path, readme_path, version, epoch, zip_path = sys.argv[1:]
    with open(program_path, "rb") as f:
        program = f.read()
    with open(readme_path, "rb") as f:
        readme = readme_text(f.read(), version)
    sums = "".join(
        f"{hashlib.sha256(data).hexdigest()}  {name}\n"
        for name, data in (("Grevlin.exe", program), ("README.txt", readme))
    ).encode("ascii")

    # Zip times have no time zone and a resolution of two seconds.
    when = max(time.gmtime(int(epoch))[:6], ZIP_EPOCH)
    when = when[:5] + (when[5] - when[5] % 2,)
    with zipfile.ZipFile(zip_path, "w", zipfile.ZIP_STORED) as archive:
        for name, data in (
            ("Grevlin.exe", program),
            ("README.txt", readme),
            ("SHA256SUMS", sums),
        ):
            archive.writestr(member(name, when), data)


if __name__ == "__main__":
    main()
