#!/usr/bin/env python3
"""Every test camera option the parser accepts is named by `quillomat --help`,
by the manual page and by docs/test-devices.md.

Usage: check_usage.py QUILLOMAT SOURCE_DIR
"""
import re
import shlex
import subprocess
import sys
from pathlib import Path

FONT_MACROS = {".B", ".I", ".BI", ".IB", ".BR", ".RB", ".IR", ".RI"}


def parser_options(source):
    """The options of ApplyOption: plain words, and prefixes that end in '='."""
    code = (source / "src/capture/test_devices.cpp").read_text()
    body = code[code.index("bool ApplyOption("):]
    body = body[:body.index("\n}\n")]
    words = re.findall(r'option == "([^"]+)"', body)
    prefixes = re.findall(r'option\.starts_with\("([^"]+=)"\)', body)
    if "ParseSize(option" in body:
        words.append("WxH")
    if len(words) < 5 or len(prefixes) < 3:
        sys.exit(f"check_usage: found only {words} {prefixes} in test_devices.cpp")
    return words, prefixes


def man_text(page):
    """The manual page's words as man shows them: font macros join their
    arguments, escapes become their characters."""
    lines = []
    for line in page.read_text().splitlines():
        if line.startswith('.\\"'):
            continue
        macro, _, args = line.partition(" ")
        if macro in FONT_MACROS:
            line = "".join(shlex.split(args))
        elif line.startswith("."):
            line = args
        lines.append(line.replace("\\-", "-").replace("\\e", "\\"))
    return "\n".join(lines)


def named(text, word):
    if word.endswith("="):
        return re.search(rf"(?<![\w=]){re.escape(word)}[A-Z]+\b", text) is not None
    return re.search(rf"(?<![\w=]){re.escape(word)}(?![\w=])", text) is not None


def main():
    binary, source = sys.argv[1], Path(sys.argv[2])
    run = subprocess.run([binary, "--help"], capture_output=True, text=True, timeout=60)
    if run.returncode != 0:
        sys.exit(f"check_usage: --help exited with {run.returncode}: {run.stderr}")
    docs = (source / "docs/test-devices.md").read_text()
    table = "\n".join(row.split("|")[1] for row in docs.splitlines() if row.startswith("| "))
    texts = {
        "--help": run.stdout,
        "quillomat.1": man_text(source / "src/app/quillomat.1"),
        "docs/test-devices.md": table,
    }
    words, prefixes = parser_options(source)
    missing = [f"{where} lacks {option}" for option in words + prefixes
               for where, text in texts.items() if not named(text, option)]
    for line in missing:
        print(line)
    return 1 if missing else 0


if __name__ == "__main__":
    sys.exit(main())
