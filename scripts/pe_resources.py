#!/usr/bin/env python3
"""Reads resources out of a Windows executable (PE32 or PE32+), with the standard library only.

  pe_resources.py EXE manifest      the manifest (RT_MANIFEST 1) as text
  pe_resources.py EXE icon ID       one line per image of icon group ID: "WIDTH HEIGHT BITS FORMAT"
                                    (FORMAT bmp or png, read from the image itself)
"""
import struct
import sys

RT_ICON, RT_GROUP_ICON, RT_MANIFEST = 3, 14, 24


class Resources:
    def __init__(self, data):
        self.data = data
        pe = struct.unpack_from('<I', data, 0x3C)[0]
        if data[pe:pe + 4] != b'PE\0\0':
            raise ValueError('not a PE file')
        sections, optional_size = struct.unpack_from('<H12xH', data, pe + 6)
        optional = pe + 24
        magic = struct.unpack_from('<H', data, optional)[0]
        directories = optional + (96 if magic == 0x10B else 112)
        self.root_rva = struct.unpack_from('<I', data, directories + 2 * 8)[0]
        self.sections = []
        table = optional + optional_size
        for i in range(sections):
            size, rva, raw_size, raw = struct.unpack_from('<IIII', data, table + 40 * i + 8)
            self.sections.append((rva, max(size, raw_size), raw))
        self.root = self.offset(self.root_rva)

    def offset(self, rva):
        for start, size, raw in self.sections:
            if start <= rva < start + size:
                return raw + rva - start
        raise ValueError('address %#x is in no section' % rva)

    def entries(self, directory):
        named, ids = struct.unpack_from('<HH', self.data, directory + 12)
        for i in range(named + ids):
            name, target = struct.unpack_from('<II', self.data, directory + 16 + 8 * i)
            yield name, target

    def find(self, type_id, name_id):
        level = self.root
        for wanted in (type_id, name_id, None):
            for name, target in self.entries(level):
                if wanted is None or name == wanted:
                    if target & 0x80000000:
                        level = self.root + (target & 0x7FFFFFFF)
                        break
                    rva, size = struct.unpack_from('<II', self.data, self.root + target)
                    return self.data[self.offset(rva):self.offset(rva) + size]
            else:
                return None
        return None


def main():
    exe, what = sys.argv[1], sys.argv[2]
    with open(exe, 'rb') as f:
        resources = Resources(f.read())
    if what == 'manifest':
        manifest = resources.find(RT_MANIFEST, 1)
        if manifest is None:
            sys.exit('no manifest')
        sys.stdout.write(manifest.decode('utf-8'))
    elif what == 'icon':
        group = resources.find(RT_GROUP_ICON, int(sys.argv[3]))
        if group is None:
            sys.exit('no icon group %s' % sys.argv[3])
        for i in range(struct.unpack_from('<H', group, 4)[0]):
            image_id = struct.unpack_from('<H', group, 6 + 14 * i + 12)[0]
            image = resources.find(RT_ICON, image_id)
            if image is None:
                sys.exit('icon image %d is missing' % image_id)
            if image[:8] == b'\x89PNG\r\n\x1a\n':
                width, height, depth, colour = struct.unpack_from('>IIBB', image, 16)
                bits = depth * {6: 4, 2: 3, 0: 1, 4: 2, 3: 1}[colour]
                print(width, height, bits, 'png')
            else:
                width, height, _, bits = struct.unpack_from('<iiHH', image, 4)
                print(width, height // 2, bits, 'bmp')
    else:
        sys.exit('unknown request ' + what)


if __name__ == '__main__':
    main()
