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


def runner(fsquery, env, home, extra):
    """A function that runs fsquery with arguments: its exit code, reported paths and stderr."""
    def run(arguments):
        command = [fsquery, "--home", home, "-0", "-q"] + extra + arguments
        # Files, not pipes: a monitor started by the query inherits them and outlives it.
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            code = subprocess.run(command, env=env, stdout=out, stderr=err).returncode
            out.seek(0)
            err.seek(0)
            return code, {p.decode() for p in out.read().split(b"\0") if p}, \
                err.read().decode(errors="replace")
    return run


def expect(run, arguments, want, failures):
    code, got, stderr = run(arguments)
    if code != 0 or got != want:
        failures.append(f"fsquery {' '.join(arguments)}: exit {code} {stderr.strip()}\n"
                        f"  only fsquery: {sorted(got - want)[:5]}\n"
                        f"  only find:    {sorted(want - got)[:5]}")


def compare(run, tree, failures):
    sub1, sub2 = os.path.join(tree, "sub1"), os.path.join(tree, "Sub2")
    deep = os.path.join(sub1, "deep")
    one_x = find(tree, ["-size", "1c"])  # for the checksum filters
    # Exclusions last: a cached subtree made under an ancestor's exclusions is trusted by a later
    # query of the subtree alone without exclusions within the same second (age 0), by design.
    checks = [([sub1, sub2], find(sub1, []) | find(sub2, []))]
    checks += [(q + [tree], find(tree, f)) for q, f in QUESTIONS]
    checks += [
        (["--flat", tree], find(tree, [], True)),
        (["-c", '[FILENAME]=="*.txt"', "--flat", tree], find(tree, ["-iname", "*.txt"], True)),
        ([tree, "--exclude", sub1], find(tree, [], prune=(sub1,))),
        ([tree, "--exclude", sub2, "--exclude", deep], find(tree, [], prune=(sub2, deep))),
        (["--md5", hashlib.md5(b"x").hexdigest(), tree], one_x),
        (["--crc32", f"{zlib.crc32(b'x'):08x}", tree], one_x),
    ]
    for arguments, want in checks:
        expect(run, arguments, want, failures)


def main():
    mode, fsquery_dir = sys.argv[1], sys.argv[2]
    work = tempfile.mkdtemp(prefix="fsquery-diff-")
    tree, home_drive = os.path.join(work, "tree"), os.path.join(work, "home")
    home = os.path.join(home_drive, "cache")  # a drive root cannot be quoted for the monitor
    os.makedirs(home)
    make_tree(tree)
    env = dict(os.environ)
    env.pop("FSCANNER_TRACE", None)
    extra = ["--cache-only"] if mode in ("cache-only", "install", "walk") else []
    failures = []
    try:
        if mode == "install":
            fsquery_dir = os.path.join(work, "prefix")
            subprocess.run([sys.argv[3], "--install", sys.argv[4], "--prefix", fsquery_dir],
                           capture_output=True, check=True)
        # Drives: the tree (fixed or remote), the cache home and the programs on drives of their
        # own that no query and no monitor looks at.
        kind = "remote" if mode == "walk" else "fixed"
        env["FSCANNER_DRIVES"] = f"C:={tree},{kind};H:={home_drive},ramdisk;B:={fsquery_dir},cdrom"
        fsquery = os.path.join(fsquery_dir, "bin" if mode == "install" else "", "fsquery")
        run = runner(fsquery, env, home, extra)
        if mode == "install":
            expect(run, ["-c", '[FILENAME]=="*.txt"', tree], find(tree, ["-iname", "*.txt"]),
                   failures)
        else:
            if mode == "monitor":
                code, _, stderr = run([tree])
                if "could not make its cache object" in stderr:
                    print("skipped: " + stderr.strip())
                    return SKIP
            compare(run, tree, failures)
            if mode == "walk":
                expect(run, ["-c", '[FILENAME]=="*.md"', "$remote::*"],
                       find(tree, ["-iname", "*.md"]), failures)
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
