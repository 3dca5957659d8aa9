#!/usr/bin/env python3
"""Counts the Wine server requests of one process in a WINEDEBUG=+server trace.

    trace_requests.py <trace> [<trace>...]

The process is the first one that connects to the server (the program Wine was started with on a
fresh server); its threads are its first thread and every thread it creates itself. Requests of
other processes (the ones the server starts, programs the process starts) are not counted.
Prints, per trace, "<trace> total <n>" and then "<trace> <request> <n>" per request name.
"""
import re
import sys

REQUEST = re.compile(r"^([0-9a-f]+): ([a-z_0-9]+)\((.*)$")
FIRST_REPLY = re.compile(r"^([0-9a-f]+): init_first_thread\(\) = 0 \{ pid=([0-9a-f]+), tid=([0-9a-f]+)")
NEW_THREAD_REPLY = re.compile(r"^([0-9a-f]+): new_thread\(\) = 0 \{ tid=([0-9a-f]+)")


def count(path):
    pid = None
    threads = set()
    own_new_thread = set()  # threads whose pending new_thread request creates a thread of their own
    names = {}
    with open(path, errors="replace") as trace:
        for line in trace:
            m = REQUEST.match(line)
            if not m:
                continue
            tid, name, rest = m.groups()
            if rest.startswith(") = "):
                if pid is None:
                    first = FIRST_REPLY.match(line)
                    if first:
                        pid = first.group(2)
                        threads.add(first.group(3))
                elif tid in own_new_thread:
                    created = NEW_THREAD_REPLY.match(line)
                    if created:
                        threads.add(created.group(2))
                    own_new_thread.discard(tid)
                continue
            if tid not in threads:
                # the first thread's own init request comes before its reply names the process
                if pid is None and name == "init_first_thread":
                    names[name] = names.get(name, 0) + 1
                continue
            if name == "new_thread" and rest.startswith(" process=ffffffff"):
                own_new_thread.add(tid)
            names[name] = names.get(name, 0) + 1
    return names


def main():
    for path in sys.argv[1:]:
        names = count(path)
        print("%s total %d" % (path, sum(names.values())))
        for name, n in sorted(names.items(), key=lambda item: -item[1]):
            print("%s %s %d" % (path, name, n))


if __name__ == "__main__":
    main()
