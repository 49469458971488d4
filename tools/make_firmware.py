#!/usr/bin/env python3
"""Writes (or checks) Padwright's own firmware test images.

resources/firmware/image252.bin and image254.bin are stand-ins of the right
layout, not a controller's firmware. The body starts with the version tag the
simulator reads after a reset (see sim/README.md); the rest is filler from a
SHA-256 chain so that each image has a checksum worth comparing.

    tools/make_firmware.py            write both images
    tools/make_firmware.py --check    verify the committed images, change nothing
"""

import argparse
import hashlib
import pathlib
import sys

IMAGE_BYTES = 49152
HEADER_BYTES = 16
MAGIC = b"QUELM_DFU"
TAG = b"PWFW"

# resource id -> firmware version (major, minor)
IMAGES = {252: 0x0215, 254: 0x0185}

DEFAULT_DIR = pathlib.Path(__file__).resolve().parent.parent / "resources" / "firmware"


def _crc_table():
    table = []
    for n in range(256):
        c = n
        for _ in range(8):
            c = (c >> 1) ^ 0xEDB88320 if c & 1 else c >> 1
        table.append(c)
    return table


_TABLE = _crc_table()


def controller_crc(data, crc=0):
    """The controller's checksum: reflected CRC-32, started at 0, not inverted."""
    for b in data:
        crc = (crc >> 8) ^ _TABLE[(crc ^ b) & 0xFF]
    return crc


def filler(resource_id, length):
    # Hash chain seeded by the resource id: deterministic, and different per image.
    out = bytearray()
    block = hashlib.sha256(b"padwright-test-firmware-%d" % resource_id).digest()
    while len(out) < length:
        out += block
        block = hashlib.sha256(block).digest()
    return bytes(out[:length])


def build_image(resource_id):
    version = IMAGES[resource_id]
    header = MAGIC + bytes(HEADER_BYTES - len(MAGIC))
    body_start = TAG + bytes([version >> 8, version & 0xFF])
    body = body_start + filler(resource_id, IMAGE_BYTES - HEADER_BYTES - len(body_start))
    image = header + body
    assert len(image) == IMAGE_BYTES
    return image


def body_crc(image):
    # The checksum the program asks for covers the body, padded to a multiple of 4.
    body = image[HEADER_BYTES:]
    body += bytes(-len(image) % 4)
    return controller_crc(body)


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--check", action="store_true",
                        help="verify the existing images instead of writing them")
    parser.add_argument("--out-dir", type=pathlib.Path, default=DEFAULT_DIR,
                        help="directory of the images (default: resources/firmware)")
    args = parser.parse_args(argv)

    assert controller_crc(b"abc") == 0xCA6598D0

    ok = True
    for resource_id, version in IMAGES.items():
        path = args.out_dir / ("image%d.bin" % resource_id)
        expected = build_image(resource_id)
        if args.check:
            try:
                actual = path.read_bytes()
            except OSError as e:
                print("%s: cannot read: %s" % (path, e.strerror), file=sys.stderr)
                ok = False
                continue
            if actual != expected:
                print("%s: differs from what this tool makes (%d bytes)"
                      % (path, len(actual)), file=sys.stderr)
                ok = False
                continue
            state = "ok"
        else:
            args.out_dir.mkdir(parents=True, exist_ok=True)
            tmp = path.with_suffix(".bin.tmp")
            tmp.write_bytes(expected)
            tmp.replace(path)
            state = "written"
        print("%s: %s, version 0x%04X, body %d bytes, body CRC 0x%08X"
              % (path.name, state, version, IMAGE_BYTES - HEADER_BYTES, body_crc(expected)))
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
