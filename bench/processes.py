"""What a reloader and its engine processes use, read from /proc for
bench/rhythm.py: the web content and network processes found as descendants
of the program's pid (at any depth, so a sandbox launcher such as bwrap in
between changes nothing), their proportional, resident and private dirty
memory from /proc/PID/smaps_rollup, and their processor time from
/proc/PID/stat.

PSS splits each library page among all the processes that map it, so it
moves when other programs using the same libraries start or end, and so
does a count of the pages only one process maps. The private dirty pages
(heap, stacks, written data) belong to the process whatever else runs:
the steadier figure on a machine shared with other work.
"""

import os

# The kernel keeps the first 15 bytes of a command name.
KINDS = (("web", "WebKitWebProces"), ("network", "WebKitNetworkPr"))
PAGE_KB = os.sysconf("SC_PAGE_SIZE") // 1024
TICKS_PER_SECOND = os.sysconf("SC_CLK_TCK")


def _read(path):
    try:
        with open(path, encoding="utf-8", errors="replace") as f:
            return f.read()
    except OSError:  # the process ended meanwhile, or never was
        return None


def _stat_fields(pid):
    """The fields of /proc/PID/stat after the command name, or None."""
    text = _read(f"/proc/{pid}/stat")
    if text is None:
        return None
    # The command name sits in parentheses and may itself hold any byte.
    return text[text.rfind(")") + 2:].split()


def _children():
    """Every running pid's parent, inverted: {parent: [children]}."""
    children = {}
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        fields = _stat_fields(entry)
        if fields is None:
            continue
        children.setdefault(int(fields[1]), []).append(int(entry))
    return children


def descendants(root):
    """Every pid below root, at any depth."""
    children = _children()
    found = []
    todo = list(children.get(root, []))
    while todo:
        pid = todo.pop()
        found.append(pid)
        todo.extend(children.get(pid, []))
    return found


def command_name(pid):
    text = _read(f"/proc/{pid}/comm")
    return None if text is None else text.rstrip("\n")


def tree(root):
    """{"program": [root], "web": [pids], "network": [pids]} for a running
    program; the kinds with no running process have an empty list."""
    found = {"program": [root]}
    for kind, _ in KINDS:
        found[kind] = []
    for pid in descendants(root):
        name = command_name(pid)
        for kind, prefix in KINDS:
            if name is not None and name.startswith(prefix):
                found[kind].append(pid)
    return found


MEMORY_FIELDS = ("Pss:", "Rss:", "Private_Dirty:")


def memory_kb(pid):
    """(PSS, RSS, private dirty) of pid in kB, or None once it has ended."""
    text = _read(f"/proc/{pid}/smaps_rollup")
    if text is None:
        return None
    values = {}
    for line in text.splitlines():
        parts = line.split()
        if len(parts) >= 2 and parts[0] in MEMORY_FIELDS:
            values[parts[0]] = int(parts[1])
    if any(field not in values for field in MEMORY_FIELDS):
        return None
    return values["Pss:"], values["Rss:"], values["Private_Dirty:"]


def cpu_ticks(pid):
    """User plus system time pid has used, in clock ticks, or None."""
    fields = _stat_fields(pid)
    if fields is None:
        return None
    # utime and stime are fields 14 and 15 of the line, 12 and 13 here.
    return int(fields[11]) + int(fields[12])


class sample:
    """The memory and processor time of a program's processes at one moment:
    per kind, the sum over that kind's processes (a web process replaced by
    another during the run is counted as the one running now)."""

    def __init__(self, root, when):
        self.when = when
        self.pids = tree(root)
        self.pss = {}
        self.rss = {}
        self.dirty = {}
        self.cpu = {}  # {pid: ticks}
        self.missing = []
        for kind, pids in self.pids.items():
            self.pss[kind] = self.rss[kind] = self.dirty[kind] = 0
            for pid in pids:
                memory = memory_kb(pid)
                ticks = cpu_ticks(pid)
                if memory is None or ticks is None:
                    continue
                self.pss[kind] += memory[0]
                self.rss[kind] += memory[1]
                self.dirty[kind] += memory[2]
                self.cpu[pid] = ticks
            if not pids:
                self.missing.append(kind)

    def kind_of(self, pid):
        return next(kind for kind, pids in self.pids.items() if pid in pids)


def cpu_seconds_between(first, last):
    """Processor time each kind used from sample first to sample last: a
    process that started in between counts from zero; one that ended in
    between is not seen by last and counts nothing after first."""
    used = {kind: 0 for kind in last.pids}
    for pid, ticks in last.cpu.items():
        used[last.kind_of(pid)] += ticks - first.cpu.get(pid, 0)
    return {kind: ticks / TICKS_PER_SECOND for kind, ticks in used.items()}
