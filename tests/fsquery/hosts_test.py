#!/usr/bin/env python3
"""Two hosts on one cache directory, and hosts and monitors killed at any moment, through fsquery
and fsmon as a user runs them:
  - while one host holds the cache, a second answers 2 (busy) on every query and changes no byte
    of the cache directory;
  - once the first host ends, or is killed in the middle of a query, the second answers exactly;
  - a monitor killed during its first scan, while it applies changes, or while it is told to stop
    leaves nothing to repair by hand: the next query answers exactly what find lists.
Usage: hosts_test.py FSQUERY_DIR."""
import os
import pathlib
import random
import signal
import subprocess
import sys
import tempfile
import time

FAILURES = []


def check(condition, what):
    if not condition:
        FAILURES.append(what)
        print("FAILED:", what, file=sys.stderr)


def contents_of(directory):
    """Every file's name and bytes."""
    return {p.name: p.read_bytes() for p in pathlib.Path(directory).iterdir() if p.is_file()}


def kill_monitors(home):
    """SIGKILL to every monitor of home; one that ended since it was listed is passed over."""
    marker = os.path.basename(os.path.dirname(home)).encode()
    for entry in os.listdir("/proc"):
        try:
            with open("/proc/%s/cmdline" % entry, "rb") as f:
                words = f.read().split(b"\0")
            if os.path.basename(words[0]) == b"fsmon" and any(marker in w for w in words):
                os.kill(int(entry), signal.SIGKILL)
        except (OSError, ValueError):
            continue


class Setup:
    def __init__(self, fsquery_dir, work):
        self.fsquery = os.path.join(fsquery_dir, "fsquery")
        self.tree, self.home = os.path.join(work, "tree"), os.path.join(work, "home")
        os.makedirs(self.home)
        for d in range(20):
            os.makedirs(os.path.join(self.tree, "d%02d" % d))
            for f in range(50):
                pathlib.Path(self.tree, "d%02d" % d, "f%03d.txt" % f).write_text("x" * f)
        # The tree is a fixed drive of its own; the rest of / a remote one the monitor leaves.
        os.environ["FSCANNER_DRIVES"] = "C:=/,remote;D:=%s,fixed" % self.tree

    def on_disk(self):
        return sorted(os.path.join(root, name) for root, _, names in os.walk(self.tree)
                      for name in names)

    def query(self, *arguments, timeout_ms=20000):
        run = subprocess.run([self.fsquery, "--home", self.home, "--quiet", "--timeout",
                              str(timeout_ms), *arguments], capture_output=True, text=True,
                             timeout=120)
        return run.returncode, sorted(run.stdout.split("\n")[:-1]), run.stderr

    def expect_exact(self, step):
        result, files, stderr = self.query(self.tree)
        check(result == 0 and files == self.on_disk(),
              "%s: result %d, %d files against %d on disk %s" %
              (step, result, len(files), len(self.on_disk()), stderr.strip()))

    def batch_host(self):
        return subprocess.Popen([self.fsquery, "--batch", "--quiet", "--home", self.home],
                                stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                stderr=subprocess.DEVNULL, text=True, bufsize=1)

    def stop_monitor(self):
        subprocess.run([self.fsquery, "--home", self.home, "--shutdown"], capture_output=True)


def ask(host, line):
    host.stdin.write(line + "\n")
    host.stdin.flush()
    while True:
        out = host.stdout.readline()
        if not out or out.startswith("#end "):
            return out.split()[1] if out else None


def two_hosts(setup):
    first = setup.batch_host()
    check(ask(first, "--count '%s'" % setup.tree) == "0", "the first host answers")
    before = contents_of(setup.home)
    for _ in range(3):
        result, _, stderr = setup.query("--count", setup.tree, timeout_ms=300)
        check(result == 2 and "busy" in stderr, "a second host is busy: %d %s" % (result, stderr))
    check(contents_of(setup.home) == before, "a busy host leaves the cache directory as it was")
    first.stdin.close()
    first.wait(timeout=30)
    setup.expect_exact("the second host after the first ended")

    # A host killed in the middle of a query (a walk of the remote rest of the disk).
    first = setup.batch_host()
    ask(first, "--count '%s'" % setup.tree)
    first.stdin.write("--count /usr\n")
    first.stdin.flush()
    time.sleep(0.1)
    first.kill()
    first.wait()
    setup.expect_exact("the second host after the first was killed in a query")


def killed_monitors(setup):
    rng = random.Random(5)
    for round_number in range(6):
        # New files, then the monitor killed a random moment into the next query's work: its
        # start and first scan (round 0 starts from nothing), or a batch of changes.
        if round_number == 0:
            setup.stop_monitor()
            for name in os.listdir(setup.home):
                os.unlink(os.path.join(setup.home, name))
        for i in range(30):
            pathlib.Path(setup.tree, "d%02d" % rng.randrange(20),
                         "n%d-%d.txt" % (round_number, i)).write_text("n")
        host = subprocess.Popen([setup.fsquery, "--home", setup.home, "--quiet", "--count",
                                 setup.tree], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        time.sleep(rng.uniform(0.0, 0.3))
        kill_monitors(setup.home)
        host.wait(timeout=60)
        setup.expect_exact("after the monitor was killed (round %d)" % round_number)

    # Killed while it is told to stop.
    stopper = subprocess.Popen([setup.fsquery, "--home", setup.home, "--shutdown"],
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    kill_monitors(setup.home)
    stopper.wait(timeout=30)
    setup.expect_exact("after the monitor was killed while stopping")


def main():
    with tempfile.TemporaryDirectory(prefix="fscanner-hosts-") as work:
        setup = Setup(sys.argv[1], work)
        try:
            two_hosts(setup)
            killed_monitors(setup)
        finally:
            setup.stop_monitor()
    return 1 if FAILURES else 0


if __name__ == "__main__":
    sys.exit(main())
