#!/usr/bin/env python3
"""manpage-check.py MAN_DIR BIN_DIR: checks the manual pages against the programs.

MAN_DIR holds bexo-z0.1, bexo-z0-cli.1 and bexo-z0-sim.1 (or the same gzipped), BIN_DIR the
programs bexo-z0-cli and bexo-z0-sim. Every page must render without a groff warning, and the
pages must keep up with the programs' own help: every command, sub-command and option that
`bexo-z0-cli --help` (and each `CMD --help` it points to) lists must be in bexo-z0-cli(1), every
mode, option and module key that `bexo-z0-sim --help` and `bexo-z0-sim MODE --help` list in
bexo-z0-sim(1). Only --help is run: nothing is sent anywhere. The programs run with HOME in a
temporary folder, so an installed build's first start leaves nothing in the caller's home.
Prints one summary line; exits 1 with the list of faults.
"""
import gzip
import os
import re
import subprocess
import sys
import tempfile

PAGES = ("bexo-z0", "bexo-z0-cli", "bexo-z0-sim")
OPTION = re.compile(r"(?<![\w-])--[a-z0-9][a-z0-9-]*")


def page_source(man_dir, name):
    for file, opener in ((f"{name}.1", open), (f"{name}.1.gz", gzip.open)):
        path = os.path.join(man_dir, file)
        if os.path.exists(path):
            with opener(path, "rb") as f:
                return f.read()
    raise SystemExit(f"manpage-check: no {name}.1 or {name}.1.gz in {man_dir}")


def groff(source, *args, label="page"):
    with tempfile.NamedTemporaryFile(suffix=".1") as f:
        f.write(source)
        f.flush()
        r = subprocess.run(["groff", "-man", *args, f.name], capture_output=True, env=dict(os.environ, LC_ALL="C.UTF-8"))
    return r.returncode, r.stdout.decode("utf-8", "replace"), r.stderr.decode("utf-8", "replace").replace(f.name, label)


def plain_text(source):
    # One line per paragraph and tag (a very long line), no overstriking: easy to search.
    rc, out, err = groff(source, "-Tascii", "-P-cbou", "-rLL=4000n")
    return out


def help_text(program, *args, home):
    env = {"HOME": home, "PATH": "/usr/bin:/bin", "LANG": "C.UTF-8"}
    r = subprocess.run([program, *args, "--help"], capture_output=True, env=env, timeout=30)
    if r.returncode != 0:
        raise SystemExit(f"manpage-check: {' '.join([os.path.basename(program), *args])} --help exited "
                         f"{r.returncode}: {r.stderr.decode(errors='replace').strip()}")
    return r.stdout.decode("utf-8", "replace")


def mentions(text, word):
    """word stands in text on its own: not inside a longer option or name."""
    return re.search(r"(?<![\w-])" + re.escape(word) + r"(?![\w-])", text) is not None


def section(text, title):
    m = re.search(r"^" + re.escape(title) + r"\n(.*?)(?=^\S|\Z)", text, re.S | re.M)
    return m.group(1) if m else ""


def cli_items(cli, home):
    """(commands with their sub-commands, options) from the CLI's help and the helps it names."""
    top = help_text(cli, home=home)
    commands, helps = [], [top]
    for line in section(top, "Commands:").splitlines():
        m = re.match(r"^  ([a-z]+)(?: (.*))?$", line)
        if not m:
            continue
        name, usage = m.group(1), m.group(2) or ""
        commands.append(name)
        # "save MAC FILE ... | apply FILE ...": alternatives that start with a word are sub-commands.
        for alt in usage.split(" | "):
            first = alt.split(" ", 1)[0]
            if re.fullmatch(r"[a-z]+", first):
                commands.append(f"{name} {first}")
    for name in sorted(set(re.findall(r"\(([a-z]+) --help", top))):
        helps.append(help_text(cli, name, home=home))
    options = sorted({o for h in helps for o in OPTION.findall(h)} - {"--help"})
    return commands, options


def sim_items(sim, home):
    top = help_text(sim, home=home)
    modes = [m.group(1) for line in section(top, "Modes:").splitlines() if (m := re.match(r"^  ([a-z]+)\s", line))]
    options, keys = set(), set()
    for mode in modes:
        text = help_text(sim, mode, home=home)
        options |= set(OPTION.findall(text))
        keys |= set(re.findall(r"(?<![\w-])([a-z][a-z0-9-]*)=", text))
    return modes, sorted(options - {"--help"}), sorted(keys)


def main():
    if len(sys.argv) != 3:
        raise SystemExit(__doc__.strip().splitlines()[0])
    man_dir, bin_dir = sys.argv[1:]
    faults = []
    sources = {name: page_source(man_dir, name) for name in PAGES}
    for name, source in sources.items():
        rc, _, err = groff(source, "-Tutf8", "-ww", "-z", label=f"{name}.1")
        if rc != 0 or err.strip():
            faults.append(f"{name}.1 does not render cleanly (groff -ww):\n    " +
                          "\n    ".join(err.strip().splitlines() or [f"status {rc}"]))

    with tempfile.TemporaryDirectory() as home:
        commands, cli_options = cli_items(os.path.join(bin_dir, "bexo-z0-cli"), home)
        modes, sim_options, keys = sim_items(os.path.join(bin_dir, "bexo-z0-sim"), home)

    cli_page = plain_text(sources["bexo-z0-cli"])
    # A command is an item of COMMANDS: a tag line at the item indent that starts with its words.
    tags = section(cli_page, "COMMANDS")
    for c in commands:
        if not re.search(r"^       " + re.escape(c) + r"(?:\s|$)", tags, re.M):
            faults.append(f"bexo-z0-cli.1: the command '{c}' has no item under COMMANDS")
    faults += [f"bexo-z0-cli.1: the option {o} is not described" for o in cli_options if not mentions(cli_page, o)]

    sim_page = plain_text(sources["bexo-z0-sim"])
    modes_part = section(sim_page, "MODES")
    for m in modes:
        if not re.search(r"^   " + re.escape(m) + r"$", modes_part, re.M):
            faults.append(f"bexo-z0-sim.1: the mode '{m}' has no subsection under MODES")
    faults += [f"bexo-z0-sim.1: the option {o} is not described" for o in sim_options if not mentions(sim_page, o)]
    faults += [f"bexo-z0-sim.1: the module key {k}= is not described" for k in keys if not mentions(sim_page, k)]

    if faults:
        print("manpage-check: FAIL:\n  " + "\n  ".join(faults), file=sys.stderr)
        return 1
    print(f"manpage-check: {len(PAGES)} pages render without groff warnings; bexo-z0-cli.1 covers "
          f"{len(commands)} commands and {len(cli_options)} options, bexo-z0-sim.1 {len(modes)} modes, "
          f"{len(sim_options)} options and {len(keys)} module keys")
    return 0


if __name__ == "__main__":
    sys.exit(main())
