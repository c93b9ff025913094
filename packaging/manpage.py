#!/usr/bin/env python3
"""Writes a program's man page from its own --help and from sections of the README, so the page never drifts
from either. With --commands the program's subcommands are walked through their own --help too."""
import argparse
import os
import re
import subprocess
import sys

# The README's examples run the programs from the build tree; an installed copy has them on the PATH.
BUILD_PATH = re.compile(r"\bbuild/(?:cli|server/load|server|exporter|admin)/")


def escape(text):
    text = text.replace("\\", "\\e").replace("-", "\\-")
    return "\\&" + text if text[:1] in (".", "'") else text


def inline(text):
    """Markdown inline code becomes bold; the rest is escaped."""
    text = BUILD_PATH.sub("", text)
    parts = text.split("`")
    return "".join(f"\\fB{escape(p)}\\fR" if i % 2 else escape(p) for i, p in enumerate(parts))


def readme_sections(readme, wanted):
    """The README's sections named in `wanted` (level-2 or level-3 headings), each with its lines."""
    sections, current = {}, None
    for line in open(readme, encoding="utf-8").read().splitlines():
        heading = re.match(r"(#{2,3}) (.+)", line)
        if heading:
            current = heading.group(2) if heading.group(2) in wanted else None
            if current:
                sections[current] = []
        elif current:
            sections[current].append(line)
    missing = [name for name in wanted if name not in sections]
    if missing:
        sys.exit(f"manpage.py: the README has no section {', '.join(missing)}")
    return [(name, sections[name]) for name in wanted]


def summary(readme, program):
    """The program's row in the README's table of programs."""
    for line in open(readme, encoding="utf-8"):
        row = re.match(r"\| `([^`]+)` \| (.+?) \|$", line.strip())
        if row and row.group(1) == program:
            return row.group(2)
    sys.exit(f"manpage.py: the README's table of programs has no row for {program}")


def markdown_to_roff(lines):
    out, paragraph, in_fence = [], [], False

    def flush():
        if paragraph:
            out.append(inline(" ".join(paragraph)))
            paragraph.clear()

    for line in lines:
        if line.startswith("```"):
            flush()
            out.append(".RS\n.nf" if not in_fence else ".fi\n.RE")
            in_fence = not in_fence
        elif in_fence:
            out.append(escape(BUILD_PATH.sub("", line)))
        elif line.startswith("    ") or line.startswith("|"):
            flush()
            out.append(".RS\n.nf\n" + escape(BUILD_PATH.sub("", line[4:] if line[0] == " " else line)) + "\n.fi\n.RE")
        elif not line.strip():
            flush()
            out.append(".PP")
        elif line.startswith("- "):
            flush()
            out.append(".IP \\(bu 2")
            paragraph.append(line[2:])
        else:
            paragraph.append(line.strip())
    flush()
    return "\n".join(out).replace(".fi\n.RE\n.RS\n.nf\n", "")


def program_help(binary, *words):
    result = subprocess.run([binary, *words, "--help"], capture_output=True, text=True, check=False)
    if result.returncode != 0 or not result.stdout.strip():
        sys.exit(f"manpage.py: {binary} {' '.join(words)} --help failed: {result.stderr.strip()}")
    # A program that names itself by how it was started shows the build path: the page shows its name.
    return result.stdout.replace(binary, os.path.basename(binary)).splitlines()


def help_to_roff(lines, heading=".SS {}"):
    """CLI11's help: 'Usage:' line, 'Options:'-style headings, '  term   description' entries."""
    out = []
    for line in lines:
        if line.startswith("Usage: "):
            out.append(".PP\n" + f"\\fB{escape(line[7:])}\\fR")
        elif re.match(r"^\S.*:$", line):
            out.append(heading.format(escape(line[:-1])))
        elif re.match(r"^  \S", line):
            term, _, description = line.strip().partition("  ")
            out.append(f".TP\n\\fB{escape(term)}\\fR\n{escape(description.strip())}".rstrip())
        elif re.match(r"^ {4,}\S", line):
            out.append(escape(line.strip()))
        elif line.strip():
            out.append(".PP\n" + escape(line.strip()))
    return "\n".join(out)


def subcommands(lines):
    names, inside = [], False
    for line in lines:
        if re.match(r"^\S.*:$", line):
            inside = line == "Subcommands:"
        elif inside and re.match(r"^  \S", line):
            names.append(line.split()[0])
    return names


def commands_to_roff(binary, path=()):
    """Every command below `path`, depth first, with its own help."""
    out = []
    for name in subcommands(program_help(binary, *path)):
        words = (*path, name)
        lines = program_help(binary, *words)
        out.append(f".SS {escape(' '.join(words))}")
        # The first line is the description, the last the option rules every command shares.
        rules = [line for line in lines if line.startswith("Global options may also follow")]
        # Every command has --help; the page says so once, at the top.
        body = [line for line in lines if line not in rules and not line.startswith("  -h,--help")]
        out.append(help_to_roff(body, heading=".PP\n\\fI{}:\\fR"))
        out.extend(commands_to_roff(binary, words))
    return out


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", required=True)
    parser.add_argument("--version", required=True)
    parser.add_argument("--readme", required=True)
    parser.add_argument("--section", action="append", default=[])
    parser.add_argument("--binary", help="the built program, whose --help is read")
    parser.add_argument("--commands", action="store_true")
    parser.add_argument("--see-also", action="append", default=[])
    parser.add_argument("--output", required=True)
    args = parser.parse_args()

    # Option names and paths read better unbroken: no hyphenation, ragged right.
    page = [f'.TH {args.program.upper()} 1 "" "KORVEL Admin {args.version}" "User Commands"', ".nh", ".ad l",
            ".SH NAME", f"{args.program} \\- {escape(summary(args.readme, args.program).replace('`', ''))}"]
    if args.binary:
        page += [".SH USAGE", help_to_roff(program_help(args.binary))]
    else:
        page += [".SH SYNOPSIS", f"\\fB{args.program}\\fR"]
    if args.commands:
        page += [".SH COMMANDS"] + commands_to_roff(args.binary)
    for name, lines in readme_sections(args.readme, args.section):
        page += [f".SH {escape(name.upper())}", markdown_to_roff(lines)]
    if args.see_also:
        page += [".SH SEE ALSO", ", ".join(f"\\fB{escape(p)}\\fR(1)" for p in sorted(args.see_also))]
    text = re.sub(r"(\n\.PP)+\n(\.(?:PP|SH|SS|TP|IP))", r"\n\2", "\n".join(page) + "\n")
    with open(args.output, "w", encoding="utf-8") as out:
        out.write(text)


if __name__ == "__main__":
    main()
