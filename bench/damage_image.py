#!/usr/bin/env python3
"""Zeroes 2048-byte sectors of a disc image in place, as a disc that decayed would read back.

    damage_image.py IMAGE SEED PART...

Each PART adds sectors to zero, over the whole image (its last sector may be partial):
    random:P   P % of all sectors, chosen at random (uniform, without repeats)
    rim:P      the last P % of the sectors in one run (a burst at the disc's rim)
    head:N     sectors 0 to N-1 (the volume descriptors and the file tree)
The same IMAGE size, SEED and PARTs zero the same sectors. Prints the number of distinct
sectors zeroed and the image's sectors.
"""
import os
import random
import sys

SECTOR = 2048


def sectors_to_zero(total, seed, parts):
    rng = random.Random(seed)
    bad = set()
    for part in parts:
        kind, _, value = part.partition(":")
        if kind == "random":
            bad.update(rng.sample(range(total), round(total * float(value) / 100)))
        elif kind == "rim":
            count = round(total * float(value) / 100)
            bad.update(range(total - count, total))
        elif kind == "head":
            bad.update(range(min(int(value), total)))
        else:
            raise SystemExit("unknown damage part: " + part)
    return bad


def main():
    if len(sys.argv) < 4:
        raise SystemExit(__doc__)
    image, seed, parts = sys.argv[1], int(sys.argv[2]), sys.argv[3:]
    size = os.path.getsize(image)
    total = (size + SECTOR - 1) // SECTOR
    bad = sectors_to_zero(total, seed, parts)
    fd = os.open(image, os.O_WRONLY)
    try:
        zeros = bytes(SECTOR)
        for sector in sorted(bad):
            offset = sector * SECTOR
            length = min(SECTOR, size - offset)
            if os.pwrite(fd, zeros[:length], offset) != length:
                raise SystemExit("short write at sector %d of %s" % (sector, image))
    finally:
        os.close(fd)
    print(len(bad), total)


if __name__ == "__main__":
    main()
