#!/usr/bin/env python3
"""The commands of an unpacked korvel-admin-cli, as its own --help lists them, against its man page's COMMANDS
section and what each shell's completion offers after every command: a command missing from one of them, or
one they name that the CLI does not have, is reported. Usage: check-commands.py ROOT"""
import gzip
import re
import shlex
import subprocess
import sys

from manpage import program_help, subcommands

root = sys.argv[1]
cli = f"{root}/usr/bin/korvel-admin-cli"
completions = {
    "bash": f"{root}/usr/share/bash-completion/completions/korvel-admin-cli",
    "zsh": f"{root}/usr/share/zsh/vendor-completions/_korvel-admin-cli",
    "fish": f"{root}/usr/share/fish/vendor_completions.d/korvel-admin-cli.fish",
}


def subcommands_in_help(words):
    return subcommands(program_help(cli, *words))


def command_tree(words=()):
    """Each command path ('' for the program) with the subcommands its help lists."""
    children = subcommands_in_help(words)
    tree = {" ".join(words): set(children)}
    for child in children:
        tree.update(command_tree((*words, child)))
    return tree


def man_page_commands():
    page = gzip.open(f"{root}/usr/share/man/man1/korvel-admin-cli.1.gz", "rt", encoding="utf-8").read()
    section = page.split("\n.SH COMMANDS\n", 1)[1].split("\n.SH ", 1)[0]
    return {line[4:].replace("\\-", "-") for line in section.splitlines() if line.startswith(".SS ")}


def offered(shell, script, paths):
    """Runs a shell that prints, for each path, the words its completion offers after it (options left out)."""
    output = subprocess.run([shell, "-c", script], capture_output=True, text=True, check=True).stdout
    words = {path: set() for path in paths}
    for line in output.splitlines():
        path, _, word = line.partition("\t")
        if word and not word.startswith("-"):
            words[path].add(word.split("\t")[0])
    return words


def bash_offers(paths):
    script = f"source {shlex.quote(completions['bash'])}\n"
    for path in paths:
        script += (f"COMP_WORDS=(korvel-admin-cli {path} ''); COMP_CWORD=$((${{#COMP_WORDS[@]}} - 1)); "
                   f"_korvel_admin_cli; for w in \"${{COMPREPLY[@]}}\"; do printf '%s\\t%s\\n' "
                   f"{shlex.quote(path)} \"$w\"; done\n")
    return offered("bash", script, paths)


def fish_offers(paths):
    script = f"source {shlex.quote(completions['fish'])}\n"
    for path in paths:
        line = shlex.quote(f"korvel-admin-cli {path} ".replace("  ", " "))
        script += f"for w in (complete -C {line}); printf '%s\\t%s\\n' {shlex.quote(path)} $w; end\n"
    return offered("fish", script, paths)


def zsh_known():
    text = open(completions["zsh"], encoding="utf-8").read()
    subprocess.run(["zsh", "-n", completions["zsh"]], check=True)
    return set(shlex.split(re.search(r"^local -a known=\((.*)\)$", text, re.M).group(1)))


def main():
    tree = command_tree()
    commands = {path for path in tree if path}
    problems = []

    def compare(what, found, expected):
        for name in sorted(expected - found):
            problems.append(f"{what} lacks '{name}'")
        for name in sorted(found - expected):
            problems.append(f"{what} names '{name}', which the CLI does not have")

    compare("the man page's COMMANDS", man_page_commands(), commands)
    compare("the zsh completion", zsh_known(), commands)
    for shell, offers in (("bash", bash_offers), ("fish", fish_offers)):
        for path, words in offers(sorted(tree)).items():
            compare(f"the {shell} completion after '{path}'", words, tree[path])
    print(f"{len(commands)} commands; man page and bash, zsh and fish completions checked")
    if problems:
        print("\n".join(problems), file=sys.stderr)
        sys.exit(1)


if __name__ == "__main__":
    main()
