#!/usr/bin/env python3
"""Packs data files into a ustar image for the program's built-in archive.

make_archive.py --root DIR --output FILE MEMBER...

Each MEMBER is a path relative to DIR and becomes a regular-file member of that name. Members are
written in byte order of their names with a fixed time, owner and mode, so the same files always give
the same image.
"""
import argparse
import io
import os
import sys
import tarfile

FIXED_MTIME = 946684800  # 2000-01-01 00:00:00 UTC
FIXED_MODE = 0o644


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", required=True)
    parser.add_argument("--output", required=True)
    parser.add_argument("members", nargs="+")
    args = parser.parse_args()

    names = sorted({m.replace(os.sep, "/") for m in args.members}, key=lambda n: n.encode("utf-8"))
    image = io.BytesIO()
    with tarfile.open(fileobj=image, mode="w", format=tarfile.USTAR_FORMAT) as archive:
        for name in names:
            with open(os.path.join(args.root, name), "rb") as source:
                data = source.read()
            info = tarfile.TarInfo(name)
            info.size = len(data)
            info.mtime = FIXED_MTIME
            info.mode = FIXED_MODE
            info.uid = info.gid = 0
            info.uname = info.gname = ""
            info.type = tarfile.REGTYPE
            archive.addfile(info, io.BytesIO(data))

    # Only replace the image when it changed, so that nothing downstream rebuilds needlessly.
    content = image.getvalue()
    try:
        with open(args.output, "rb") as existing:
            if existing.read() == content:
                return 0
    except OSError:
        pass
    temporary = args.output + ".tmp"
    with open(temporary, "wb") as out:
        out.write(content)
    os.replace(temporary, args.output)
    return 0


if __name__ == "__main__":
    sys.exit(main())
