#!/usr/bin/env python3
"""Walks the glibc main heap of a running process and tells what fills it: the heap's extent,
its chunks, how much the allocator holds free, and for every 64 KiB band of the heap the bytes in
use and free with the most common kinds of chunk in use (a chunk whose first word points into a
mapped file is named by that file and offset, such as a vtable in provider_monitor.so; any other
by its size and its first bytes). Reads /proc/PID/maps and /proc/PID/mem, so it needs the right
to trace the process (root, or the same user with ptrace allowed). Not part of the tests.

usage: bench/heap_walk.py PID
"""
import collections
import re
import struct
import sys

BAND = 64 * 1024


def read_maps(pid):
    regions, heap = [], None
    with open("/proc/%d/maps" % pid) as maps:
        for line in maps:
            m = re.match(r"([0-9a-f]+)-([0-9a-f]+) \S+ ([0-9a-f]+) \S+ \S+\s*(.*)", line)
            start, end = int(m.group(1), 16), int(m.group(2), 16)
            regions.append((start, end, int(m.group(3), 16), m.group(4)))
            if m.group(4) == "[heap]":
                heap = (start, end)
    return regions, heap


def chunks_of(data):
    """(offset, size, in use) of every chunk from the heap's start up to the top chunk."""
    chunks, p = [], 0
    while p + 16 <= len(data):
        size = struct.unpack_from("<Q", data, p + 8)[0] & ~7
        if size < 32 or p + size > len(data):
            break
        following = p + size
        in_use = following + 16 <= len(data) and struct.unpack_from("<Q", data, following + 8)[0] & 1
        chunks.append((p, size, bool(in_use)))
        p += size
    return chunks


def kind(data, offset, size, regions):
    first = struct.unpack_from("<Q", data, offset + 16)[0] if offset + 24 <= len(data) else 0
    for start, end, file_offset, name in regions:
        if start <= first < end and name and not name.startswith("["):
            return "->%s+0x%x" % (name.rsplit("/", 1)[-1], first - start + file_offset)
    return "%d bytes %s" % (size, data[offset + 16:offset + 16 + min(size - 16, 8)].hex())


def main():
    pid = int(sys.argv[1])
    regions, heap = read_maps(pid)
    if heap is None:
        sys.exit("no [heap] in process %d" % pid)
    with open("/proc/%d/mem" % pid, "rb") as mem:
        mem.seek(heap[0])
        data = mem.read(heap[1] - heap[0])
    chunks = chunks_of(data)
    free = sum(size for _, size, used in chunks if not used)
    print("heap %d KiB, %d chunks, %d KiB free in the allocator's bins" %
          (len(data) // 1024, len(chunks), free // 1024))
    bands = collections.defaultdict(lambda: [0, 0, collections.Counter()])
    for offset, size, used in chunks:
        band = bands[offset // BAND]
        if used:
            band[0] += size
            band[2][kind(data, offset, size, regions)] += 1
        else:
            band[1] += size
    for number in sorted(bands):
        used, unused, kinds = bands[number]
        common = ", ".join("%s x%d" % pair for pair in kinds.most_common(3))
        print("%5d KiB: %4d KiB used, %4d KiB free; %s" %
              (number * BAND // 1024, used // 1024, unused // 1024, common))


if __name__ == "__main__":
    main()
