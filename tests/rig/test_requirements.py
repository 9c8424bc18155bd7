"""Everything the project starts or reads from Debian is installed by
tools/install-deps.sh, so that a fresh machine's `make test` finds it.

Two checks: every row of tools/requirements.txt is present on this machine
(a failure names the package), and every program that the project's scripts,
tests and benchmarks start has a row (a failure names the file and the
program). Runs on /usr/bin/python3.
"""
import glob
import importlib
import os
import re
import shlex
import shutil
import sys
import unittest

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
TABLE = os.path.join(ROOT, "tools", "requirements.txt")

# Programs every Debian system has (its essential packages and the shell's
# own words), and the project's own scripts.
BASE = set("""
    awk bash cat cd command cp date dirname dpkg dpkg-query echo env exec exit export false find grep head id
    kill ln ls mapfile mkdir mktemp mv nice nproc printf pwd read readlink return rm rmdir sed seq set sh shift
    sleep sort source tail tar tee test timeout touch tr trap true uname unset wait wc xargs apt-get sha256sum
    [ [[ ]] if then else elif fi for in do done while until case esac function local break continue
""".split())


def rows():
    with open(TABLE, encoding="utf-8") as table:
        for line in table:
            words = line.split()
            if words and not words[0].startswith("#"):
                kind, what, package = words
                yield kind, what, package


def present(kind, what):
    if kind == "command":
        return shutil.which(what) is not None
    if kind == "file":
        return os.path.exists(what)
    if kind == "python":
        try:
            importlib.import_module(what)
            return True
        except ImportError:
            return False
    raise ValueError(f"unknown kind {kind!r} in {TABLE}")


def project_files(*patterns):
    for pattern in patterns:
        yield from sorted(glob.glob(os.path.join(ROOT, pattern), recursive=True))


# subprocess.run(["xdotool", ...]) in Python, also inside a C++ string.
PYTHON_START = re.compile(r"subprocess\.\w+\(\s*\[\s*[\"']([\w.+-]+)[\"']")
# /bin/sh -c "import ..." in C++, started through Wine's Unix side.
SHELL_START = re.compile(r"/bin/sh -c \\?\"([\w.+-]+)")
SHELL_SEPARATORS = {";", "&&", "||", "|", "&", "(", ")", "{", "}", "!", "$(", "`", "\n"}
SHELL_PREFIXES = {"exec", "nice", "sudo", "$sudo", "env", "time", "if", "then", "else", "elif", "while",
                  "until", "do"}


def is_case_pattern(words, i):
    """Whether words[i] starts a case pattern such as `x86 | x64)`."""
    for j in range(i + 1, len(words)):
        if (j - i) % 2 == 0:
            if words[j] in SHELL_SEPARATORS:
                return False
        elif words[j] == ")":
            return True
        elif words[j] != "|":
            return False
    return False


def shell_commands(text):
    """The words in command position of a shell script, also inside
    `bash -c '...'` bodies and command substitutions."""
    found = []
    text = re.sub(r"<<-?\s*['\"]?(\w+)['\"]?(.*?)\n.*?\n\s*\1\n", r"\2\n", text, flags=re.S)  # here-documents
    text = re.sub(r"\$\(\([^()]*\)\)", "0", text)  # arithmetic
    for body in re.findall(r"\$\(([^()]*)\)", text):
        found += shell_commands(body)
    # One command a line, continued lines joined.
    text = text.replace("\\\n", " ").replace("\n", " ;\n")
    lexer = shlex.shlex(text, posix=True, punctuation_chars=";&|()")
    lexer.commenters = "#"
    lexer.whitespace = " \t\r\n"
    lexer.whitespace_split = True
    try:
        words = list(lexer)
    except ValueError:  # an unbalanced quote inside a nested body
        return found
    at_start = True
    for i, word in enumerate(words):
        if word in SHELL_SEPARATORS or set(word) <= set(";&|()\n"):
            at_start = True
            continue
        if at_start:
            if re.match(r"^\w+\+?=", word) or word in SHELL_PREFIXES or word.startswith("-"):
                continue
            if re.match(r"^\d*[<>]", word) or " " in word:  # a redirection, a quoted string
                continue
            if is_case_pattern(words, i):
                continue
            found.append(word)
            at_start = False
        if word == "-c" and i + 1 < len(words) and words[i - 1] in ("bash", "sh"):
            found += shell_commands(words[i + 1])
    return found


def started_programs():
    """(file, program) for every external program the project starts."""
    for path in project_files("tools/*.py", "tests/**/*.py", "bench/*.py", "tests/**/*.cpp", "tests/**/*.h",
                              "bench/*.cpp"):
        with open(path, encoding="utf-8") as source:
            text = source.read()
        for name in PYTHON_START.findall(text) + SHELL_START.findall(text):
            yield path, name
    for path in project_files("tools/*.sh", ".ci/run", "Makefile"):
        with open(path, encoding="utf-8") as source:
            text = source.read()
        if path.endswith("Makefile"):
            # Recipe lines only, without make's own prefixes.
            text = "\n".join(line.lstrip("\t@-") for line in text.splitlines() if line.startswith("\t"))
            text = re.sub(r"\$\(\w+\)", "x", text)
        functions = set(re.findall(r"^\s*([\w-]+)\s*\(\)", text, flags=re.M))
        for word in shell_commands(text):
            if word in functions:
                continue
            if word.startswith(("$", "\"", "'", "tools/", "./", "{")) or word.isdigit():
                continue
            yield path, os.path.basename(word)


class RequirementsTest(unittest.TestCase):
    def test_every_requirement_is_installed(self):
        missing = [f"{what} ({kind}): install the Debian package {package}"
                   for kind, what, package in rows() if not present(kind, what)]
        self.assertEqual([], missing, "tools/install-deps.sh should have installed these")

    def test_every_program_started_has_a_row(self):
        listed = {what for kind, what, _ in rows() if kind == "command"}
        listed |= {os.path.basename(what) for kind, what, _ in rows() if kind == "file"}
        unlisted = sorted({f"{os.path.relpath(path, ROOT)} starts {name}"
                           for path, name in started_programs() if name not in listed | BASE})
        self.assertEqual([], unlisted, "add a row with its Debian package to tools/requirements.txt")

    def test_the_scan_sees_the_programs_it_guards(self):
        # The scan finds what it must, or the check above proves nothing.
        started = {name for _, name in started_programs()}
        for name in ("openbox", "xdotool", "djpeg", "import", "Xvfb", "cmake", "python3"):
            self.assertIn(name, started)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
