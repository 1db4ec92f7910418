"""Writes the small MPEG program streams of the video decoder's limit tests."""
import sys


class Bits:
    def __init__(self):
        self.out = bytearray()
        self.acc = 0
        self.count = 0

    def put(self, value, length):
        for i in range(length - 1, -1, -1):
            self.acc = self.acc << 1 | (value >> i) & 1
            self.count += 1
            if self.count == 8:
                self.out.append(self.acc)
                self.acc = 0
                self.count = 0

    def start_code(self, code):
        while self.count:
            self.put(0, 1)
        self.out += bytes([0, 0, 1, code])


def video(width, height, field):
    """A sequence header and extension, one intra picture (a top field or a frame) and a slice."""
    b = Bits()
    b.start_code(0xB3)
    b.put(width & 0xFFF, 12); b.put(height & 0xFFF, 12)
    b.put(1, 4); b.put(3, 4)                 # square pixels, 25 Hz
    b.put(0x3FFFF, 18); b.put(1, 1); b.put(16, 10); b.put(0, 3)
    b.start_code(0xB5)                      # sequence extension
    b.put(1, 4); b.put(0x48, 8); b.put(1, 1); b.put(1, 2)  # main profile, progressive, 4:2:0
    b.put(width >> 12, 2); b.put(height >> 12, 2); b.put(0, 12); b.put(1, 1); b.put(0, 8); b.put(0, 8)
    b.start_code(0x00)                      # intra picture
    b.put(0, 10); b.put(1, 3); b.put(0xFFFF, 16); b.put(0, 3)
    b.start_code(0xB5)                      # picture coding extension
    b.put(8, 4); b.put(0xFFFF, 16); b.put(0, 2)
    b.put(1 if field else 3, 2)             # top field or frame picture
    b.put(0, 1); b.put(1, 1); b.put(0, 5); b.put(1, 1); b.put(0 if field else 1, 1); b.put(0, 1)
    b.start_code(0x01)                      # first slice
    b.put(8, 5); b.put(0, 1)
    for _ in range(max(1, width // 16)):
        b.put(1, 1); b.put(1, 1)            # next macroblock, intra
        for _ in range(4):
            b.put(4, 3); b.put(2, 2)        # luma: no DC difference, end of block
        for _ in range(2):
            b.put(0, 2); b.put(2, 2)        # chroma: likewise
    b.start_code(0xB7)
    return bytes(b.out)


def program_stream(payload):
    pack = bytes([0, 0, 1, 0xBA, 0x21, 0x00, 0x01, 0x00, 0x01, 0x80, 0x00, 0x01])
    length = len(payload) + 1
    pes = bytes([0, 0, 1, 0xE0, length >> 8, length & 0xFF, 0x0F])
    return pack + pes + payload + bytes([0, 0, 1, 0xB9])


if __name__ == "__main__":
    width, height, field, path = int(sys.argv[1]), int(sys.argv[2]), sys.argv[3] == "field", sys.argv[4]
    with open(path, "wb") as out:
        out.write(program_stream(video(width, height, field)))
