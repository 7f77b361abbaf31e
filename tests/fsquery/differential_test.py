#!/usr/bin/env python3
"""fsquery against find: for a table of questions on a generated tree, the set of files fsquery
reports equals the set find reports. Modes:
  cache-only  fsquery --cache-only on a fixed drive (the cache built and read by fsquery)
  walk        paths on a drive typed remote, which every query walks directly
  monitor     the module with its monitor (fsmon) on a fixed drive; stopped with --shutdown
  install     cmake --install into a temporary prefix, then one query from there
Usage: differential_test.py MODE FSQUERY_DIR [CMAKE BUILD_DIR]. Exit 77 when the mode cannot run
here (the provider has no cache object yet)."""
import hashlib
import os
import shutil
import subprocess
import sys
import tempfile
import zlib

SKIP = 77

# (fsquery options, find predicates) asking the same question of the tree's root.
QUESTIONS = [
    ([], []),
    (["-c", '[FILENAME]=="*.txt"'], ["-iname", "*.txt"]),
    (["--case", "-c", '[FILENAME]=="*.TXT"'], ["-name", "*.TXT"]),
    (["--case", "-c", '[FILENAME]=="*.txt"'], ["-name", "*.txt"]),
    (["-c", '[FILENAME]=={"*.md","*.log"}'], ["(", "-iname", "*.md", "-o", "-iname", "*.log", ")"]),
    (["-c", "[SIZE] > 1000"], ["-size", "+1000c"]),
    (["-c", '[SIZE] <= 1 && [FILENAME]!="*.txt"'], ["-size", "-2c", "!", "-iname", "*.txt"]),
    (["-c", '[FILENAME]=="日本*"'], ["-name", "日本*"]),
    (["-c", '[FILENAME]=="*space*" || [SIZE] == 70000'],
     ["(", "-name", "*space*", "-o", "-size", "70000c", ")"]),
]


def make_tree(root):
    files = {"Readme.TXT": 2000, "notes.txt": 2, "ünïcödé.txt": 1, ".hidden.log": 5,
             "sub1/日本.md": 70000, "sub1/space name.log": 0, "sub1/deep/empty.txt": 0,
             "sub1/deep/er/x.LOG": 1, "sub1/deep/er/4/big.bin": 5000, "Sub2/a.MD": 1001,
             "Sub2/b.md": 1000, "Sub2/sub1/c.txt": 3}
    for name, size in files.items():
        path = os.path.join(root, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as out:
            out.write(b"x" * size)
    os.symlink("notes.txt", os.path.join(root, "link.txt"))
    os.symlink("sub1", os.path.join(root, "dirlink"))  # reported as a reparse point, not entered
    if os.geteuid() != 0:
        locked = os.path.join(root, "locked")
        os.makedirs(os.path.join(locked, "inner"))
        os.chmod(locked, 0)


def find(start, predicates, flat=False, prune=()):
    """Every entry below start that is neither a directory nor a link to one."""
    command = ["find", start, "-mindepth", "1"] + (["-maxdepth", "1"] if flat else [])
    for path in prune:
        command += ["-path", path, "-prune", "-o"]
    command += ["!", "-xtype", "d"] + predicates + ["-print0"]
    result = subprocess.run(command, capture_output=True, check=False)
    return {p.decode() for p in result.stdout.split(b"\0") if p}


class Runner:
    def __init__(self, fsquery, env, home, extra):
        self.fsquery, self.env, self.home, self.extra = fsquery, env, home, extra

    def run(self, arguments):
        command = [self.fsquery, "--home", self.home, "-0", "-q"] + self.extra + arguments
        # Files, not pipes: a monitor started by the query inherits them and outlives it.
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            code = subprocess.run(command, env=self.env, stdout=out, stderr=err).returncode
            out.seek(0)
            err.seek(0)
            return code, {p.decode() for p in out.read().split(b"\0") if p}, \
                err.read().decode(errors="replace")


def compare(runner, tree, failures):
    sub1, sub2 = os.path.join(tree, "sub1"), os.path.join(tree, "Sub2")
    both_code, both, _ = runner.run([sub1, sub2])
    if both_code != 0 or both != find(sub1, []) | find(sub2, []):
        failures.append(f"two paths: exit {both_code}, {sorted(both)}")
    # Exclusions last: a cached subtree made under an ancestor's exclusions is trusted by a later
    # query of the subtree alone without exclusions within the same second (age 0), by design.
    questions = [(q + [tree], f, False, ()) for q, f in QUESTIONS]
    questions += [
        (["--flat", tree], [], True, ()),
        (["-c", '[FILENAME]=="*.txt"', "--flat", tree], ["-iname", "*.txt"], True, ()),
        ([tree, "--exclude", sub1], [], False, (sub1,)),
        ([tree, "--exclude", sub2, "--exclude", os.path.join(sub1, "deep")], [], False,
         (sub2, os.path.join(sub1, "deep"))),
    ]
    for arguments, predicates, flat, prune in questions:
        code, got, stderr = runner.run(arguments)
        want = find(tree, predicates, flat, prune)
        if code != 0 or got != want:
            failures.append(f"fsquery {' '.join(arguments)}: exit {code} {stderr.strip()}\n"
                            f"  only fsquery: {sorted(got - want)[:5]}\n"
                            f"  only find:    {sorted(want - got)[:5]}")
    # Checksum filters: the files whose content is one "x".
    one_x = find(tree, ["-size", "1c"])
    for option, value in (("--md5", hashlib.md5(b"x").hexdigest()),
                          ("--crc32", f"{zlib.crc32(b'x'):08x}")):
        code, got, stderr = runner.run([option, value, tree])
        if code != 0 or got != one_x:
            failures.append(f"{option}: exit {code} {stderr} {sorted(got)} != {sorted(one_x)}")


def main():
    mode, fsquery_dir = sys.argv[1], sys.argv[2]
    work = tempfile.mkdtemp(prefix="fsquery-diff-")
    tree, home_drive = os.path.join(work, "tree"), os.path.join(work, "home")
    home = os.path.join(home_drive, "cache")  # a drive root cannot be quoted for the monitor
    os.makedirs(home)
    make_tree(tree)
    fsquery = os.path.join(fsquery_dir, "fsquery")
    env = dict(os.environ)
    env.pop("FSCANNER_TRACE", None)
    # Drives: the tree (fixed or remote), the cache home and the programs on drives of their own
    # that no query and no monitor looks at.
    kind = "remote" if mode == "walk" else "fixed"
    env["FSCANNER_DRIVES"] = f"C:={tree},{kind};H:={home_drive},ramdisk;B:={fsquery_dir},cdrom"
    extra = ["--cache-only"] if mode in ("cache-only", "install", "walk") else []
    failures = []
    try:
        if mode == "install":
            prefix = os.path.join(work, "prefix")
            subprocess.run([sys.argv[3], "--install", sys.argv[4], "--prefix", prefix],
                           capture_output=True, check=True)
            fsquery = os.path.join(prefix, "bin", "fsquery")
            env["FSCANNER_DRIVES"] = f"C:={tree},fixed;H:={home_drive},ramdisk;B:={prefix},cdrom"
            code, got, stderr = Runner(fsquery, env, home, extra).run(
                ["-c", '[FILENAME]=="*.txt"', tree])
            if code != 0 or got != find(tree, ["-iname", "*.txt"]):
                failures.append(f"installed fsquery: exit {code} {stderr} {sorted(got)}")
        else:
            runner = Runner(fsquery, env, home, extra)
            if mode == "monitor":
                code, _, stderr = runner.run([tree])
                if "could not make its cache object" in stderr:
                    print("skipped: " + stderr.strip())
                    return SKIP
            compare(runner, tree, failures)
            if mode == "walk":
                code, got, stderr = runner.run(["-c", '[FILENAME]=="*.md"', "$remote::*"])
                if code != 0 or got != find(tree, ["-iname", "*.md"]):
                    failures.append(f"$remote: exit {code} {stderr} {sorted(got)}")
    finally:
        if mode == "monitor":
            subprocess.run([fsquery, "--home", home, "--shutdown"], env=env, check=False,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        subprocess.run(["chmod", "-R", "u+rwx", work], check=False)
        shutil.rmtree(work, ignore_errors=True)
    for failure in failures:
        print(failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
