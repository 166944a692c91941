#!/usr/bin/env python3
"""The manual pages and the bash completion against the programs' own --help.

  check_options.py manual PROGRAM PAGE [PROGRAM PAGE ...]
      each page's OPTIONS section lists exactly the options PROGRAM --help lists, and man
      formats the page without a warning
  check_options.py completion PROGRAM COMPLETION-FILE
      the completion offers exactly the long options PROGRAM --help lists, the fixed values of
      --format and --depth, and files or folders where an option takes one

Exit status 0 when everything agrees, 1 with the differences printed otherwise, 77 (skipped)
when a tool it needs is missing.
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile

OPTION = re.compile(r"(?<![\w-])--?[a-zA-Z][a-zA-Z-]*")


def help_options(program):
    """The options in the first column of `program --help`, run without a display."""
    env = {k: v for k, v in os.environ.items()
           if k not in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM")}
    run = subprocess.run([program, "--help"], capture_output=True, text=True, env=env,
                         timeout=60)
    if run.returncode != 0:
        raise SystemExit(f"FAIL: {program} --help ended with {run.returncode}: {run.stderr}")
    options = set()
    for line in run.stdout.splitlines():
        if not re.match(r"\s+-", line):
            continue
        column = re.split(r"\s{2,}", line.strip())[0]
        # "-h,--help", "-h, --help", "--format TEXT:{text,json}", "--screenshot <SOUBOR>"
        for part in column.split(","):
            if part.strip().startswith("-"):
                options.add(part.split()[0])
    if not options:
        raise SystemExit(f"FAIL: no options found in {program} --help:\n{run.stdout}")
    return options


def page_options(page):
    """The options named in the tags (the line after .TP) of the page's first section that
    has options."""
    lines = open(page, encoding="utf-8").read().splitlines()
    options = set()
    in_options = False
    for i, line in enumerate(lines):
        if line.startswith(".SH"):
            in_options = line.split(None, 1)[1].strip('"') in ("VOLBY", "OPTIONS")
        elif in_options and line.startswith(".TP") and i + 1 < len(lines):
            options.update(OPTION.findall(lines[i + 1].replace("\\-", "-")))
    return options


def man_warnings(page):
    if shutil.which("man") is None:
        return None
    run = subprocess.run(["man", "--warnings", "-E", "UTF-8", "-l", "-Tutf8", "-Z", page],
                         capture_output=True, text=True, timeout=60,
                         env=dict(os.environ, LC_ALL="C.UTF-8"))
    return run.stderr.strip() if run.returncode == 0 else run.stderr.strip() or "failed"


def check_manual(pairs):
    failed = False
    for program, page in pairs:
        listed, documented = help_options(program), page_options(page)
        name = os.path.basename(page)
        print(f"{name}: {' '.join(sorted(documented))}")
        if listed != documented:
            failed = True
            print(f"FAIL: {name} and --help differ; only in --help: "
                  f"{sorted(listed - documented)}, only in the page: "
                  f"{sorted(documented - listed)}")
        warnings = man_warnings(page)
        if warnings is None:
            print("man is missing: the page's formatting was not checked")
        elif warnings:
            failed = True
            print(f"FAIL: man warns about {name}:\n{warnings}")
    return 1 if failed else 0


def complete(completion, words, folder):
    """What the completion offers for the command line `words`, the last being the word under
    the cursor, run in `folder`."""
    script = (f'source "$1"; shift; COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); '
              f'_varnelo_cli; printf "%s\\n" "${{COMPREPLY[@]}}"')
    run = subprocess.run(["bash", "-c", script, "complete", completion, "varnelo-cli", *words],
                         capture_output=True, text=True, cwd=folder, timeout=60)
    if run.returncode != 0:
        raise SystemExit(f"FAIL: the completion failed on {words}: {run.stderr}")
    return sorted(line for line in run.stdout.splitlines() if line)


def check_completion(program, completion):
    if shutil.which("bash") is None:
        print("bash is missing: skipped")
        return 77
    longs = sorted(o for o in help_options(program) if o.startswith("--"))
    with tempfile.TemporaryDirectory(prefix="varnelo-completion-") as folder:
        os.mkdir(os.path.join(folder, "Fotky 2024"))
        open(os.path.join(folder, "strom.json"), "w").close()
        everything = ["Fotky 2024", "strom.json"]
        cases = [
            (["--"], longs),
            (["--top-"], ["--top-dirs", "--top-files"]),
            (["--format", ""], ["json", "text"]),
            (["--format", "j"], ["json"]),
            (["--depth", ""], ["1", "2", "3"]),
            (["--json", ""], everything),
            (["--dump", "st"], ["strom.json"]),
            (["--home", ""], ["Fotky 2024"]),
            (["--fs", "Fotky", "=", ""], ["Fotky 2024"]),
            (["--csv", "d1", ""], everything),
            (["--csv", ""], []),
            (["--top-files", ""], []),
            (["--hydrate", ""], []),
            (["-q", ""], []),
        ]
        failed = False
        for words, expected in cases:
            offered = complete(completion, words, folder)
            if offered != expected:
                failed = True
                print(f"FAIL: varnelo-cli {' '.join(words)}<TAB> offers {offered}, "
                      f"expected {expected}")
    if not failed:
        print(f"the completion offers the options of --help: {' '.join(longs)}")
    return 1 if failed else 0


def main(argv):
    if len(argv) >= 3 and argv[0] == "manual" and len(argv) % 2 == 1:
        return check_manual(list(zip(argv[1::2], argv[2::2])))
    if len(argv) == 3 and argv[0] == "completion":
        return check_completion(argv[1], os.path.abspath(argv[2]))
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
