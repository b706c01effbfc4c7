#!/usr/bin/env python3
"""Draws zarvo's tool bar bitmaps, program icon and check box strip.

Usage: make_images.py OUT_DIR     writes every image into OUT_DIR
       make_images.py --list      prints the file names, one a line

The art lives here as text so it can be read and edited in a diff; the
.bmp and .ico files are build products and are never committed.

Every image uses the fixed 16-colour VGA palette below. One character is
one pixel; '.' is the background, which depends on the image: button face
grey for the tool bar, white for the check boxes (the tree view masks
white out), and transparent for the icon.
"""

import os
import struct
import sys

# The 16-colour palette in the order Windows uses for 4-bit bitmaps, with
# the character that names each colour in the art.
PALETTE = [
    ("K", (0, 0, 0)),        # black
    ("r", (128, 0, 0)),      # dark red
    ("g", (0, 128, 0)),      # dark green
    ("o", (128, 128, 0)),    # olive (dark yellow)
    ("n", (0, 0, 128)),      # navy
    ("m", (128, 0, 128)),    # purple
    ("t", (0, 128, 128)),    # teal
    ("s", (192, 192, 192)),  # silver, the button face
    ("d", (128, 128, 128)),  # dark grey
    ("R", (255, 0, 0)),      # red
    ("G", (0, 255, 0)),      # green
    ("Y", (255, 255, 0)),    # yellow
    ("B", (0, 0, 255)),      # blue
    ("M", (255, 0, 255)),    # magenta
    ("C", (0, 255, 255)),    # cyan
    ("W", (255, 255, 255)),  # white
]
INDEX = {ch: i for i, (ch, _) in enumerate(PALETTE)}
SILVER = INDEX["s"]
WHITE = INDEX["W"]
TRANSPARENT = None  # only icons may use it

TOOLBAR_SIZE = 24


class ArtError(Exception):
    pass


def parse(name, rows, width, height, background):
    """Turns art rows into a list of rows of palette indices (None where
    the icon is transparent). Anything malformed stops the build."""
    if len(rows) != height:
        raise ArtError(f"{name}: {len(rows)} rows, expected {height}")
    pixels = []
    for y, row in enumerate(rows):
        if len(row) != width:
            raise ArtError(
                f"{name}: row {y} is {len(row)} pixels wide, expected {width}: {row!r}")
        out = []
        for x, ch in enumerate(row):
            if ch == ".":
                out.append(background)
            elif ch in INDEX:
                out.append(INDEX[ch])
            else:
                raise ArtError(f"{name}: row {y} column {x}: unknown colour {ch!r}")
        pixels.append(out)
    return pixels


def side_by_side(name, images):
    """Joins equally tall art blocks left to right, for image strips."""
    heights = {len(img) for img in images}
    if len(heights) != 1:
        raise ArtError(f"{name}: strip images differ in height")
    return ["".join(parts) for parts in zip(*images)]


# --- Encoding --------------------------------------------------------------

def palette_bytes():
    return b"".join(struct.pack("<BBBB", b, g, r, 0) for _, (r, g, b) in PALETTE)


def info_header(width, height, image_bytes):
    # 40-byte BITMAPINFOHEADER, 4 bits per pixel, uncompressed, all 16
    # palette entries present. The resolution fields are left at zero.
    return struct.pack("<IiiHHIIiiII", 40, width, height, 1, 4, 0,
                       image_bytes, 0, 0, 16, 0)


def row_stride(width, bits):
    return (width * bits + 31) // 32 * 4


def pack_4bpp(pixels, width):
    """Bottom-up rows of two pixels a byte, each row padded to 4 bytes."""
    stride = row_stride(width, 4)
    out = bytearray()
    for row in reversed(pixels):
        line = bytearray(stride)
        for x, index in enumerate(row):
            index = 0 if index is None else index
            if x % 2 == 0:
                line[x // 2] |= index << 4
            else:
                line[x // 2] |= index
        out += line
    return bytes(out)


def pack_mask(pixels, width):
    """Bottom-up 1-bit mask, set where the icon is transparent."""
    stride = row_stride(width, 1)
    out = bytearray()
    for row in reversed(pixels):
        line = bytearray(stride)
        for x, index in enumerate(row):
            if index is None:
                line[x // 8] |= 0x80 >> (x % 8)
        out += line
    return bytes(out)


def encode_bmp(pixels):
    height = len(pixels)
    width = len(pixels[0])
    bits = pack_4bpp(pixels, width)
    offset = 14 + 40 + 16 * 4
    file_header = struct.pack("<2sIHHI", b"BM", offset + len(bits), 0, 0, offset)
    return file_header + info_header(width, height, len(bits)) + palette_bytes() + bits


def encode_ico(images):
    """images: list of pixel grids, largest first."""
    bodies = []
    for pixels in images:
        height = len(pixels)
        width = len(pixels[0])
        xor = pack_4bpp(pixels, width)
        mask = pack_mask(pixels, width)
        # An icon's header counts the colour and mask bitmaps together,
        # hence the doubled height.
        bodies.append(info_header(width, height * 2, len(xor) + len(mask))
                      + palette_bytes() + xor + mask)
    out = bytearray(struct.pack("<HHH", 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for pixels, body in zip(images, bodies):
        out += struct.pack("<BBBBHHII", len(pixels[0]) % 256, len(pixels) % 256,
                           16, 0, 1, 4, len(body), offset)
        offset += len(body)
    for body in bodies:
        out += body
    return bytes(out)


# --- Tool bar: 24x24, button-face background ---------------------------------

TB_NEW = [
    "...................Y....",
    "................o..Y..o.",
    ".................oYYYo..",
    "...KKKKKKKKK.....YYWYY..",
    "...KWWWWWWWKK....oYYYo..",
    "...KWWWWWWWKWK..o..Y..o.",
    "...KWWWWWWWKWWK....Y....",
    "...KWWWWWWWKKKKK........",
    "...KWWWWWWWWWWWKd.......",
    "...KWWWWWWWWWWWKd.......",
    "...KWWWWWWWWWWWKd.......",
    "...KWWWWWWWWWWWKd.......",
    "...KWWWWWWWWWWWKd.......",
    "...KWWWWWWWWWWWKd.......",
    "...KWWWWWWWWWWWKd.......",
    "...KWWWWWWWWWWWKd.......",
    "...KWWWWWWWWWWWKd.......",
    "...KWWWWWWWWWWWKd.......",
    "...KWWWWWWWWWWWKd.......",
    "...KWWWWWWWWWWWKd.......",
    "...KWWWWWWWWWWWKd.......",
    "...KWWWWWWWWWWWKd.......",
    "...KKKKKKKKKKKKKd.......",
    "....ddddddddddddd.......",
]

TB_OPEN = [
    "........................",
    "........................",
    "........................",
    "........................",
    "..KKKKK.................",
    ".KoooooK................",
    ".KoooooooKKKKKKKKK......",
    ".KoooooooooooooooK......",
    ".KoooWWWWWWWWWWooK......",
    ".KoooWWWWWWWWWWooK......",
    ".KoooWWWWWWWWWWooK......",
    ".KooooKKKKKKKKKKKKKKKKK.",
    ".KooooKYYYYYYYYYYYYYYK..",
    ".KoooKYYYYYYYYYYYYYYYK..",
    ".KoooKYYYYYYYYYYYYYYK...",
    ".KooKYYYYYYYYYYYYYYYK...",
    ".KooKYYYYYYYYYYYYYYK....",
    ".KoKYYYYYYYYYYYYYYYK....",
    ".KoKYYYYYYYYYYYYYYK.....",
    ".KKYYYYYYYYYYYYYYYK.....",
    ".KKYYYYYYYYYYYYYYK......",
    ".KKKKKKKKKKKKKKKKK......",
    "........................",
    "........................",
]

TB_ADD = [
    "........................",
    "..KKKKKKKKK.............",
    "..KWWWWWWWKK............",
    "..KWWWWWWWKWK...........",
    "..KWWWWWWWKWWK..........",
    "..KWWWWWWWKKKKK.........",
    "..KWWWWWWWWWWWK.........",
    "..KWddddddddWWK.........",
    "..KWWWWWWWWWWWK.........",
    "..KWddddddddWWK.........",
    "..KWWWWWWWWWWWK.........",
    "..KWddddddWWWWK.........",
    "..KWWWWWWWWWWWK.KKKKK...",
    "..KWWWWWWWWWWWK.KGGGK...",
    "..KWWWWWWWWWWWK.KGGGK...",
    "..KWWWWWWWWWWKKKKGGGKKKK",
    "..KWWWWWWWWWWKGGGGGGGGGK",
    "..KWWWWWWWWWWKGGGGGGGGGK",
    "..KWWWWWWWWWWKGGGGGGGGGK",
    "..KWWWWWWWWWWKKKKGGGKKKK",
    "..KWWWWWWWWWWWK.KGGGK...",
    "..KKKKKKKKKKKKK.KGGGK...",
    "................KKKKK...",
    "........................",
]

TB_EXTRACT = [
    "........................",
    "..KKKKKKKKKKKKKKKKKKKK..",
    "..KYYYYYYYYWKYYYYYYYYK..",
    "..KooooooooKWooooooooK..",
    "..KKKKKKKKKWKKKKKKKKKK..",
    "...KYYYYYYYKWYYYYYYYK...",
    "...KYYYYYYYWKYYYYYYYK...",
    "...KYYYYYYYKWYYYYYYYK...",
    "...KYYYYYYYWKYYYYYYYK...",
    "...KYYYYYYKKKKYYYYYYK...",
    "...KYYYYYYKWWKYYYYYYK...",
    "...KYYYYYYKKKKYYYYYYK...",
    "...KKKKKKKKKKKKKKKKKK...",
    "..........KBBK..........",
    "..........KBBK..........",
    "..........KBBK..........",
    "......KKKKKBBKKKKK......",
    ".......KBBBBBBBBK.......",
    "........KBBBBBBK........",
    ".........KBBBBK.........",
    "..........KBBK..........",
    "...........KK...........",
    "........................",
    "........................",
]

TB_VIEW = [
    "........................",
    "..KKKKKKKKKK............",
    "..KWWWWWWWWWKK..........",
    "..KWWWWWWWWWKWK.........",
    "..KWWWWWWWWWKWWK........",
    "..KWWWWWWWWWKKKK........",
    "..KWWWWWWWWWWWWK........",
    "..KWdddddddKKKKK........",
    "..KWWWWWWKKCCCCCKK......",
    "..KWdddddKCWWCCCCK......",
    "..KWWWWWKCWWCCCCCCK.....",
    "..KWddddKCWCCCCCCCK.....",
    "..KWWWWWKCCCCCCCCCK.....",
    "..KWddddKCCCCCCCCCK.....",
    "..KWWWWWKCCCCCCCCCK.....",
    "..KWdddddKCCCCCCCK......",
    "..KWWWWWWKKCCCCCKKK.....",
    "..KWddddddWKKKKK.KKK....",
    "..KWWWWWWWWWWWWK..KKK...",
    "..KWdddddddddWWK...KKK..",
    "..KWWWWWWWWWWWWK....KKK.",
    "..KKKKKKKKKKKKKK........",
    "........................",
    "........................",
]

TB_INSTALL = [
    "........................",
    ".KKKKKKKKKK....KKKKK....",
    ".KnssssKsnnK...KGGGK....",
    ".KnssssKsnnK...KGGGK....",
    ".KnssssssnnK...KGGGK....",
    ".KnnnnnnnnnK.KKKGGGKKK..",
    ".KnWWWWWWWnK..KGGGGGK...",
    ".KnWdddddWnK...KGGGK....",
    ".KnWWWWWWWnK....KGK.....",
    ".KnWdddddWnK.....K......",
    ".KnWWWWWWWnK............",
    ".KKKKKKKKKKK............",
    "..........KKKKKKKKKKKKK.",
    "..........KWWWWWWWWWWdK.",
    "..........KWKKKKKKKKsdK.",
    "..........KWKBBBBBBWsdK.",
    "..........KWKBBBBBBBsdK.",
    "..........KWKBBBBBBBsdK.",
    "..........KWsssssssssdK.",
    "..........KdddddddddddK.",
    "..........KKKKKKKKKKKKK.",
    "..............KsssK.....",
    "............KKKKKKKKK...",
    "........................",
]

# --- Program icon: a yellow folder closed with a zip -----------------------

ICON_32 = [
    "................................",
    "................................",
    "................................",
    "................................",
    "..KKKKKKKKK.....................",
    ".KYYYYYYYYYK....................",
    ".KYYYYYYYYYYKKKKKKKKKKKKKKKKKKK.",
    ".KYYYYYYYYYYYYYYYYYYYYYYYYYYYYK.",
    ".KKKKKKKKKKKKKKKKKKKKKKKKKKKKKK.",
    ".KWWWWWWWWWWWWKsKWWWWWWWWWWWWWK.",
    ".KYYYYYYYYYYYYsKsYYYYYYYYYYYYoK.",
    ".KYYYYYYYYYYYYKsKYYYYYYYYYYYYoK.",
    ".KYYYYYYYYYYYKKKKKYYYYYYYYYYYoK.",
    ".KYYYYYYYYYYYKsssKYYYYYYYYYYYoK.",
    ".KYYYYYYYYYYYKsKsKYYYYYYYYYYYoK.",
    ".KYYYYYYYYYYYKsssKYYYYYYYYYYYoK.",
    ".KYYYYYYYYYYYYKsKYYYYYYYYYYYYoK.",
    ".KYYYYYYYYYYYYsKsYYYYYYYYYYYYoK.",
    ".KYYYYYYYYYYYYKsKYYYYYYYYYYYYoK.",
    ".KYYYYYYYYYYYYsKsYYYYYYYYYYYYoK.",
    ".KYYYYYYYYYYYYKsKYYYYYYYYYYYYoK.",
    ".KYYYYYYYYYYYYsKsYYYYYYYYYYYYoK.",
    ".KYYYYYYYYYYYYKsKYYYYYYYYYYYYoK.",
    ".KYYYYYYYYYYYYsKsYYYYYYYYYYYYoK.",
    ".KYYYYYYYYYYYYKsKYYYYYYYYYYYYoK.",
    ".KYYYYYYYYYYYYsKsYYYYYYYYYYYYoK.",
    ".KooooooooooooooooooooooooooooK.",
    ".KKKKKKKKKKKKKKKKKKKKKKKKKKKKKK.",
    "................................",
    "................................",
    "................................",
    "................................",
]

ICON_16 = [
    "................",
    "................",
    ".KKKKK..........",
    "KYYYYYK.........",
    "KYYYYYYKKKKKKKK.",
    "KKKKKKKKKKKKKKKK",
    "KYYYYYYsKYYYYYoK",
    "KYYYYYKKKKYYYYoK",
    "KYYYYYKssKYYYYoK",
    "KYYYYYKKKKYYYYoK",
    "KYYYYYYsKYYYYYoK",
    "KYYYYYYKsYYYYYoK",
    "KYYYYYYsKYYYYYoK",
    "KooooooooooooooK",
    "KKKKKKKKKKKKKKKK",
    "................",
]

# --- Check boxes for the install monitor's tree: 20x16 each, white behind --

CHECK_EMPTY = [
    "....................",
    "....................",
    "...KKKKKKKKKKKKK....",
    "...KWWWWWWWWWWWK....",
    "...KWWWWWWWWWWWK....",
    "...KWWWWWWWWWWWK....",
    "...KWWWWWWWWWWWK....",
    "...KWWWWWWWWWWWK....",
    "...KWWWWWWWWWWWK....",
    "...KWWWWWWWWWWWK....",
    "...KWWWWWWWWWWWK....",
    "...KWWWWWWWWWWWK....",
    "...KWWWWWWWWWWWK....",
    "...KWWWWWWWWWWWK....",
    "...KKKKKKKKKKKKK....",
    "....................",
]

CHECK_TICKED = [
    "....................",
    "....................",
    "...KKKKKKKKKKKKK....",
    "...KWWWWWWWWWWWK....",
    "...KWWWWWWWWWgWK....",
    "...KWWWWWWWWggWK....",
    "...KWWWWWWWgggWK....",
    "...KWgWWWWgggWWK....",
    "...KWggWWgggWWWK....",
    "...KWgggggggWWWK....",
    "...KWWgggggWWWWK....",
    "...KWWWgggWWWWWK....",
    "...KWWWWgWWWWWWK....",
    "...KWWWWWWWWWWWK....",
    "...KKKKKKKKKKKKK....",
    "....................",
]


# name -> function returning the encoded file
def _toolbar(name, art):
    return lambda: encode_bmp(parse(name, art, TOOLBAR_SIZE, TOOLBAR_SIZE, SILVER))


IMAGES = {
    "tb_new.bmp": _toolbar("tb_new.bmp", TB_NEW),
    "tb_open.bmp": _toolbar("tb_open.bmp", TB_OPEN),
    "tb_add.bmp": _toolbar("tb_add.bmp", TB_ADD),
    "tb_extract.bmp": _toolbar("tb_extract.bmp", TB_EXTRACT),
    "tb_view.bmp": _toolbar("tb_view.bmp", TB_VIEW),
    "tb_install.bmp": _toolbar("tb_install.bmp", TB_INSTALL),
    "zarvo.ico": lambda: encode_ico([
        parse("zarvo.ico 32x32", ICON_32, 32, 32, TRANSPARENT),
        parse("zarvo.ico 16x16", ICON_16, 16, 16, TRANSPARENT),
    ]),
    "kestril_checks.bmp": lambda: encode_bmp(parse(
        "kestril_checks.bmp",
        side_by_side("kestril_checks.bmp", [CHECK_EMPTY, CHECK_TICKED]),
        40, 16, WHITE)),
}


def main(argv):
    if len(argv) != 2:
        sys.stderr.write("usage: make_images.py OUT_DIR | --list\n")
        return 2
    if argv[1] == "--list":
        for name in IMAGES:
            print(name)
        return 0
    out_dir = argv[1]
    # Encode everything before writing anything, so bad art leaves no
    # half-updated set behind for the resource compiler to pick up.
    try:
        files = {name: make() for name, make in IMAGES.items()}
    except ArtError as err:
        sys.stderr.write(f"make_images.py: {err}\n")
        return 1
    os.makedirs(out_dir, exist_ok=True)
    for name, data in files.items():
        path = os.path.join(out_dir, name)
        # Write then rename, so an interrupted build never leaves a
        # truncated image that looks up to date.
        tmp = path + ".tmp"
        with open(tmp, "wb") as f:
            f.write(data)
        os.replace(tmp, path)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
