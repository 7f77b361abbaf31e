#!/usr/bin/env python3
"""Soak: one host process (fsquery --batch) and its monitor answer many queries of mixed shapes
against a generated tree that changes all the time, for a long time.

Every minute it records, for fsquery and for fsmon, the resident memory, open descriptors and
mapped regions, and the latency percentiles of that minute's queries. Every SAMPLE-th query is
checked against `find`: the changes pause, the monitor is given a moment to apply what it saw,
and the query's files must be exactly the files `find` lists (one retry after a second counts as
late, a second mismatch as wrong). Prints one table row per minute and a verdict at the end.
Builds under BUILD_DIR, works under /tmp and removes it at the end. Not part of the tests.

usage: bench/soak.py [--minutes 30] [--queries 100000] [--files 20000] [--directories 200]
                     [--changes-per-second 200] [--sample 500] [--build-dir build]
"""
import argparse
import os
import random
import shutil
import subprocess
import sys
import tempfile
import threading
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def build(build_dir):
    if not os.path.exists(os.path.join(build_dir, "CMakeCache.txt")):
        generator = ["-G", "Ninja"] if shutil.which("ninja") else []
        subprocess.run(["cmake", "-S", ROOT, "-B", build_dir, *generator,
                        "-DCMAKE_BUILD_TYPE=RelWithDebInfo"], check=True,
                       stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", build_dir, "--target", "fsquery", "fsquery_runtime",
                    "-j", "2"], check=True, stdout=subprocess.DEVNULL)
    return os.path.join(build_dir, "tools", "fsquery", "fsquery")


def generate(tree, files, directories):
    per_directory = files // directories
    for d in range(directories):
        directory = os.path.join(tree, "d%04d" % d)
        os.makedirs(directory)
        for f in range(per_directory):
            with open(os.path.join(directory, "f%06d.dat" % (d * per_directory + f)), "wb") as out:
                out.write(b"x" * (f % 7 * 100))


class Changer(threading.Thread):
    """Creates, deletes, renames and resizes files and creates, renames and removes directories
    under tree at a steady rate, until stopped; `paused` holds it between two changes. A file's
    creation becomes a deletion while the tree holds more files than it started with, and a
    subdirectory's creation a removal while the tree holds as many subdirectories as top
    directories, so that the tree keeps its size and what grows over time is only what the
    system keeps."""

    def __init__(self, tree, rate, files, directories):
        super().__init__(daemon=True)
        self.tree, self.rate, self.target, self.files = tree, rate, files, files
        self.subdirectory_target, self.subdirectories = directories, 0
        self.stop_event, self.running = threading.Event(), threading.Event()
        self.running.set()
        self.changes, self.serial = 0, 0
        self.random = random.Random(7)
        self.named_tops = set(NAMED_TOPS)

    def tops(self):
        return [n for n in os.listdir(self.tree) if n.startswith(("d", "n"))]

    def change(self):
        self.serial += 1
        top = os.path.join(self.tree, self.random.choice(self.tops()))
        subdirectories = [n for n in os.listdir(top) if n.startswith("s")]
        directory = top
        if subdirectories and self.random.random() < 0.3:
            directory = os.path.join(top, self.random.choice(subdirectories))
        files = [n for n in os.listdir(directory) if n.endswith(".dat")]
        kind = self.random.random()
        if kind < 0.35 and files and self.files > self.target:
            kind = 0.5
        if 0.93 <= kind < 0.97 and self.subdirectories >= self.subdirectory_target:
            kind = 0.99
        if kind < 0.35 or not files:
            with open(os.path.join(directory, "c%07d.dat" % self.serial), "wb") as out:
                out.write(b"y" * self.random.randrange(0, 5000))
            self.files += 1
        elif kind < 0.6:
            os.unlink(os.path.join(directory, self.random.choice(files)))
            self.files -= 1
        elif kind < 0.8:
            os.rename(os.path.join(directory, self.random.choice(files)),
                      os.path.join(directory, "r%07d.dat" % self.serial))
        elif kind < 0.93:
            with open(os.path.join(directory, self.random.choice(files)), "ab") as out:
                out.write(b"z" * self.random.randrange(1, 3000))
        elif kind < 0.97:
            sub = os.path.join(top, "s%07d" % self.serial)
            os.makedirs(sub)
            for i in range(5):
                open(os.path.join(sub, "f%d.dat" % i), "wb").close()
            self.files += 5
            self.subdirectories += 1
        elif kind < 0.985:
            # Whole trees move; the tops the queries name stay where they are.
            movable = [n for n in self.tops() if n not in self.named_tops]
            if not movable:
                return
            old = self.random.choice(movable)
            os.rename(os.path.join(self.tree, old), os.path.join(self.tree, "n%07d" % self.serial))
        elif subdirectories:
            doomed = os.path.join(top, self.random.choice(subdirectories))
            removed = list(os.walk(doomed))
            shutil.rmtree(doomed)
            self.files -= sum(len(names) for _, _, names in removed)
            self.subdirectories -= len(removed)
        self.changes += 1

    def run(self):
        period = 1.0 / self.rate
        next_time = time.monotonic()
        while not self.stop_event.is_set():
            self.running.wait()
            try:
                self.change()
            except OSError:
                pass  # a name picked a moment ago may be gone; the next change goes on
            next_time += period
            delay = next_time - time.monotonic()
            if delay > 0:
                time.sleep(delay)
            else:
                next_time = time.monotonic()


class Host:
    """fsquery --batch: one query line in, its result lines and '#end RESULT MATCHES US' out."""

    def __init__(self, fsquery, home):
        self.process = subprocess.Popen([fsquery, "--batch", "--quiet", "--home", home],
                                        stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                        stderr=subprocess.PIPE, text=True, bufsize=1)
        self.errors = []
        threading.Thread(target=self.collect_errors, daemon=True).start()

    def collect_errors(self):
        for line in self.process.stderr:
            self.errors.append(line.rstrip())

    def ask(self, line):
        self.process.stdin.write(line + "\n")
        self.process.stdin.flush()
        lines = []
        while True:
            out = self.process.stdout.readline()
            if not out:
                raise RuntimeError("fsquery ended: " + "; ".join(self.errors[-3:]))
            if out.startswith("#end "):
                _, result, matches, micros = out.split()
                return int(result), int(matches), int(micros), lines
            lines.append(out.rstrip("\n"))

    def close(self):
        self.process.stdin.close()
        self.process.wait(timeout=60)


def quote(text):
    return "'" + text + "'"


# The top directories the queries name; the changer never moves them away.
NAMED_TOPS = ["d%04d" % i for i in range(20)]


def query_shapes(tree):
    """(name, line, find arguments or None) for the mixed queries."""
    shapes = []
    for i in range(20):
        top = os.path.join(tree, NAMED_TOPS[i])
        digit = str(i % 10)
        shapes.append(("pattern", "-c " + quote('[FILENAME]=="*%s.dat"' % digit) + " " + quote(tree),
                       [tree, "-type", "f", "-name", "*%s.dat" % digit]))
        shapes.append(("name", "-c " + quote('[FILENAME]=="f%06d.dat"' % (i * 37)) + " " +
                       quote(tree), [tree, "-type", "f", "-name", "f%06d.dat" % (i * 37)]))
        shapes.append(("subtree", quote(top), [top, "-type", "f"]))
        shapes.append(("flat", "--flat " + quote(top), [top, "-maxdepth", "1", "-type", "f"]))
        shapes.append(("size", "-c " + quote("[SIZE] > 400") + " " + quote(top),
                       [top, "-type", "f", "-size", "+400c"]))
        shapes.append(("exclude", "--extended " + quote(tree) + " --exclude " + quote(top) +
                       " -c " + quote('[FILENAME]=="c*"'),
                       [tree, "-path", top, "-prune", "-o", "-type", "f", "-name", "c*", "-print"]))
        shapes.append(("count", "--count -c " + quote('[FILENAME]=="*.dat"') + " " + quote(tree),
                       None))
    return shapes


def process_facts(pid):
    try:
        with open("/proc/%d/status" % pid) as status:
            fields = dict(l.split(":", 1) for l in status if ":" in l)
        # Heap and stacks apart from the mapped table files, which grow with the tables.
        anonymous = int(fields["RssAnon"].split()[0])
        mapped = int(fields["RssFile"].split()[0]) + int(fields["RssShmem"].split()[0])
        descriptors = len(os.listdir("/proc/%d/fd" % pid))
        with open("/proc/%d/maps" % pid) as maps:
            regions = sum(1 for _ in maps)
        return anonymous, mapped, descriptors, regions
    except (OSError, KeyError, ValueError):
        return None


def find_monitor(home):
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open("/proc/%s/cmdline" % entry, "rb") as cmdline:
                words = cmdline.read().split(b"\0")
        except OSError:
            continue
        # The monitor names its home as a drive path (C:\\tmp\\...), so look for the work
        # directory's own name.
        marker = os.path.basename(os.path.dirname(home)).encode()
        if words and os.path.basename(words[0]).startswith(b"fsmon") and \
                any(marker in w for w in words):
            return int(entry)
    return None


def table_megabytes(home):
    total = 0
    for name in os.listdir(home):
        try:  # the monitor's marker files come and go
            total += os.path.getsize(os.path.join(home, name))
        except OSError:
            pass
    return total / 2**20


def percentile(values, fraction):
    if not values:
        return 0.0
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(fraction * len(ordered)))]


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--minutes", type=float, default=30)
    parser.add_argument("--queries", type=int, default=100000)
    parser.add_argument("--files", type=int, default=20000)
    parser.add_argument("--directories", type=int, default=200,
                        help="at least %d: the queries name the first ones" % (len(NAMED_TOPS) + 1))
    parser.add_argument("--changes-per-second", type=float, default=200)
    parser.add_argument("--sample", type=int, default=500)
    parser.add_argument("--build-dir", default=os.path.join(ROOT, "build"))
    options = parser.parse_args()

    fsquery = build(os.path.abspath(options.build_dir))
    work = tempfile.mkdtemp(prefix="fscanner-soak.")
    tree, home = os.path.join(work, "tree"), os.path.join(work, "home")
    os.makedirs(home)
    generate(tree, options.files, options.directories)
    # The tree is a fixed drive of its own; the rest of / a remote drive the monitor leaves alone.
    os.environ["FSCANNER_DRIVES"] = "C:=/,remote;D:=%s,fixed" % tree
    host = Host(fsquery, home)
    changer = Changer(tree, options.changes_per_second, options.files, options.directories)
    try:
        return run(options, tree, home, host, changer)
    finally:
        changer.stop_event.set()
        changer.running.set()
        host.close()
        subprocess.run([fsquery, "--home", home, "--shutdown"], stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
        shutil.rmtree(work, ignore_errors=True)


def check(host, line, find_arguments, changer):
    """Pauses the changes and compares the query's files with find's. Returns 'ok', 'late' or
    'wrong'."""
    changer.running.clear()
    time.sleep(0.3)
    try:
        for attempt in range(2):
            expected = set(subprocess.run(["find", *find_arguments], capture_output=True,
                                          text=True).stdout.split())
            result, _, _, lines = host.ask(line)
            if result == 0 and set(lines) == expected:
                return "ok" if attempt == 0 else "late"
            time.sleep(1.0)
        missing, extra = sorted(expected - set(lines)), sorted(set(lines) - expected)
        print("wrong answer (result %d) to %s: %d missing %s, %d extra %s" %
              (result, line, len(missing), missing[:3], len(extra), extra[:3]), file=sys.stderr)
        return "wrong"
    finally:
        changer.running.set()


def run(options, tree, home, host, changer):
    random.seed(11)
    shapes = query_shapes(tree)
    started = time.monotonic()
    host.ask(shapes[0][1])  # starts the monitor and builds the cache
    print("first query (monitor start and scan of %d files): %.1f s" %
          (options.files, time.monotonic() - started))
    monitor = find_monitor(home)
    changer.start()
    deadline = time.monotonic() + options.minutes * 60
    interval = options.minutes * 60 / options.queries
    print("| min | queries | p50 ms | p99 ms | max ms | errors | checks ok/late/wrong | "
          "fsquery heap / mapped KiB / fds / maps | fsmon heap / mapped KiB / fds / maps | changes | "
          "directories | table MiB |")
    print("|---|---|---|---|---|---|---|---|---|---|---|---|")
    totals = {"queries": 0, "errors": 0, "ok": 0, "late": 0, "wrong": 0}
    rows, minute, latencies, minute_start = [], 1, [], time.monotonic()
    counts = {"errors": 0, "ok": 0, "late": 0, "wrong": 0}
    next_query = time.monotonic()
    while totals["queries"] < options.queries and time.monotonic() < deadline:
        name, line, find_arguments = random.choice(shapes)
        totals["queries"] += 1
        if find_arguments is not None and totals["queries"] % options.sample == 0:
            counts[check(host, line, find_arguments, changer)] += 1
        else:
            result, _, micros, _ = host.ask(line)
            latencies.append(micros / 1000.0)
            if result != 0:
                counts["errors"] += 1
        next_query += interval
        delay = next_query - time.monotonic()
        if delay > 0:
            time.sleep(delay)
        now = time.monotonic()
        if now - minute_start >= 60 or totals["queries"] >= options.queries or now >= deadline:
            facts = [process_facts(host.process.pid), process_facts(monitor) if monitor else None]
            cells = ["%d / %d / %d / %d" % f if f else "gone" for f in facts]
            row = (minute, len(latencies), percentile(latencies, 0.5), percentile(latencies, 0.99),
                   max(latencies, default=0.0), counts["errors"],
                   "%d/%d/%d" % (counts["ok"], counts["late"], counts["wrong"]), cells[0],
                   cells[1], changer.changes, len(changer.tops()) + changer.subdirectories,
                   table_megabytes(home))
            print("| %d | %d | %.2f | %.2f | %.1f | %d | %s | %s | %s | %d | %d | %.1f |" % row,
                  flush=True)
            rows.append((facts, counts.copy()))
            for key in counts:
                totals[key] += counts[key]
                counts[key] = 0
            minute, latencies, minute_start = minute + 1, [], now
    first, last = rows[0][0], rows[-1][0]
    print("\n%d queries, %d changes, %d errors, checks: %d ok, %d late, %d wrong" %
          (totals["queries"], changer.changes, totals["errors"], totals["ok"], totals["late"],
           totals["wrong"]))
    for label, index in (("fsquery", 0), ("fsmon", 1)):
        if first[index] and last[index]:
            print("%s: heap %d -> %d KiB, mapped %d -> %d KiB, descriptors %d -> %d, mapped "
                  "regions %d -> %d" % (label, *[v for pair in zip(first[index], last[index])
                                                 for v in pair]))
    if host.errors:
        print("fsquery said:", *host.errors[-5:], sep="\n  ")
    return 0 if totals["errors"] == 0 and totals["wrong"] == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
