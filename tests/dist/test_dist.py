"""The release archives, built by tools/make-dist.sh from a clean copy of the
tree: their names, contents and checksums, and each exe's architecture and
version resource, read with a small PE reader of our own.

Usage: test_dist.py <source folder>. Runs on /usr/bin/python3.
"""
import hashlib
import os
import struct
import subprocess
import sys
import tempfile
import unittest
import zipfile

SOURCE = os.path.abspath(sys.argv[1]) if len(sys.argv) > 1 else os.getcwd()

MACHINE_I386 = 0x014C
MACHINE_AMD64 = 0x8664
RT_VERSION = 16


class PeFile:
    """The headers, sections and resources of a Windows executable."""

    def __init__(self, data):
        self.data = data
        if data[:2] != b"MZ":
            raise ValueError("no DOS header")
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[pe:pe + 4] != b"PE\0\0":
            raise ValueError("no PE signature")
        self.machine, sections, _, _, _, optional_size, _ = struct.unpack_from("<HHIIIHH", data, pe + 4)
        optional = pe + 24
        magic = struct.unpack_from("<H", data, optional)[0]
        directories = optional + (112 if magic == 0x20B else 96)
        self.resource_rva, _ = struct.unpack_from("<II", data, directories + 2 * 8)
        self.sections = []
        table = optional + optional_size
        for i in range(sections):
            _, virtual_size, rva, raw_size, raw_offset = struct.unpack_from("<8sIIII", data, table + 40 * i)
            self.sections.append((rva, max(virtual_size, raw_size), raw_offset))

    def offset(self, rva):
        for start, size, raw in self.sections:
            if start <= rva < start + size:
                return raw + rva - start
        raise ValueError(f"RVA {rva:#x} lies in no section")

    def resource(self, type_id):
        """The bytes of the first resource of the type (first name, first language)."""
        base = self.offset(self.resource_rva)
        entry = base
        for level in range(3):
            named, ids = struct.unpack_from("<HH", self.data, entry + 12)
            entries = [struct.unpack_from("<II", self.data, entry + 16 + 8 * i) for i in range(named + ids)]
            if level == 0:
                entries = [e for e in entries if e[0] == type_id]
            if not entries:
                raise KeyError(f"no resource of type {type_id}")
            target = entries[0][1]
            if level < 2:
                entry = base + (target & 0x7FFFFFFF)
        rva, size = struct.unpack_from("<II", self.data, base + target)
        start = self.offset(rva)
        return self.data[start:start + size]


def version_info(block):
    """(fixed file version, {string name: value}) of a VS_VERSIONINFO block."""
    strings = {}
    fixed = None

    def node(pos):
        nonlocal fixed
        length, value_length, kind = struct.unpack_from("<HHH", block, pos)
        end = pos + length
        key_end = block.index(b"\0\0", pos + 6)
        while (key_end - pos - 6) % 2:
            key_end = block.index(b"\0\0", key_end + 1)
        key = block[pos + 6:key_end].decode("utf-16-le")
        value = (key_end + 2 + 3) & ~3
        value_size = value_length * 2 if kind == 1 else value_length
        if key == "VS_VERSION_INFO" and value_length:
            signature, _, ms, ls = struct.unpack_from("<IIII", block, value)
            if signature == 0xFEEF04BD:
                fixed = (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)
        elif kind == 1 and value_length:
            strings[key] = block[value:value + value_size].decode("utf-16-le").rstrip("\0")
        child = (value + value_size + 3) & ~3
        while child < end:
            child = (node(child) + 3) & ~3
        return end

    node(0)
    return fixed, strings


class DistTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory(prefix="pictaro-dist-")
        tree = os.path.join(cls.tmp.name, "tree")
        # The tree as git would commit it, untracked new files included: nothing built.
        files = subprocess.run(["git", "-C", SOURCE, "ls-files", "-z", "--cached", "--others", "--exclude-standard"],
                               check=True, capture_output=True).stdout
        for name in filter(None, files.decode().split("\0")):
            source = os.path.join(SOURCE, name)
            if os.path.isfile(source):
                target = os.path.join(tree, name)
                os.makedirs(os.path.dirname(target), exist_ok=True)
                with open(source, "rb") as f, open(target, "wb") as g:
                    g.write(f.read())
                os.chmod(target, os.stat(source).st_mode)
        cls.dist = os.path.join(cls.tmp.name, "dist")
        subprocess.run([os.path.join(tree, "tools", "make-dist.sh"), cls.dist], check=True,
                       stdout=subprocess.DEVNULL)
        with open(os.path.join(SOURCE, "VERSION")) as f:
            cls.version = f.read().strip()

    @classmethod
    def tearDownClass(cls):
        cls.tmp.cleanup()

    def test_each_archive_holds_the_exe_of_its_architecture_with_its_version(self):
        major, minor, patch = map(int, self.version.split("."))
        for bits, machine in ((32, MACHINE_I386), (64, MACHINE_AMD64)):
            with self.subTest(bits=bits):
                name = f"Pictaro-{self.version}-win{bits}"
                with zipfile.ZipFile(os.path.join(self.dist, name + ".zip")) as zf:
                    self.assertEqual(sorted(f"{name}/{member}" for member in ("Pictaro.exe", "README.txt",
                                                                              "LICENSE.txt")),
                                     sorted(zf.namelist()))
                    exe = PeFile(zf.read(f"{name}/Pictaro.exe"))
                    readme = zf.read(f"{name}/README.txt").decode("utf-8")
                    licence = zf.read(f"{name}/LICENSE.txt").decode("utf-8")
                self.assertEqual(machine, exe.machine)
                fixed, strings = version_info(exe.resource(RT_VERSION))
                self.assertEqual((major, minor, patch, 0), fixed)
                self.assertEqual(self.version, strings.get("FileVersion"))
                self.assertEqual(self.version, strings.get("ProductVersion"))
                self.assertEqual("Pictaro", strings.get("ProductName"))
                self.assertTrue(strings.get("FileDescription"))
                self.assertIn("Copyright", strings.get("LegalCopyright", ""))
                self.assertIn(f"Pictaro {self.version}", readme)
                self.assertIn("\r\n", readme)
                self.assertNotIn("@", readme.split("\r\n")[0])
                self.assertIn("MIT License", licence)

    def test_the_checksums_match_the_archives(self):
        with open(os.path.join(self.dist, "SHA256SUMS")) as f:
            lines = [line.split() for line in f if line.strip()]
        self.assertEqual({f"Pictaro-{self.version}-win32.zip", f"Pictaro-{self.version}-win64.zip"},
                         {name for _, name in lines})
        for digest, name in lines:
            with open(os.path.join(self.dist, name), "rb") as f:
                self.assertEqual(hashlib.sha256(f.read()).hexdigest(), digest, name)
        self.assertEqual(sorted(["SHA256SUMS"] + [name for _, name in lines]), sorted(os.listdir(self.dist)))


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
