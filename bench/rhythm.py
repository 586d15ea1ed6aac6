#!/usr/bin/python3
"""Benchmark of the claim rhythm as the local task hall sees it: how soon the
first claim request comes after the start, and how far each of the next
reload ticks lands from the ideal 2 s grid, for the real program (driven
through its window as a user does: address and task id typed, "开始刷分"
clicked) and for bench/naive_reloader (a plain g_timeout_add(2000) reload).
Also what each of them costs while claiming: the proportional memory (PSS)
of the program and of the engine's web content and network processes, and
their processor time per minute; and a soak: their memory at the first
reload and after many more, so that a leak shows as a figure.
Prints the figures side by side; it fails only when a run cannot be
measured at all (a program that does not start, exits badly or sends too few
requests), never because a figure is off its goal.

The two run one after the other, each against a task hall of its own: on a
two-core machine two engines side by side would take CPU from each other,
and as both tick every 2 s their work would keep meeting at the same phase
and load one of them on every tick.

Run inside scripts/with_display (scripts/bench builds and does that):
    scripts/with_display -- bench/rhythm.py [TARVELLO] [--naive PATH] [--ticks N]
                                            [--soak [N]]
"""

import argparse
import math
import os
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
# Keep the source tree free of compiled helper modules.
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.join(ROOT, "scripts"))
import claim_driver as drive  # noqa: E402

sys.path.insert(0, os.path.join(ROOT, "bench"))
import processes  # noqa: E402

PERIOD = 2.0  # the claim period both reloaders keep, in seconds
TASK = "7"
LATE_SLACK = 15.0  # how long past the last tick's grid point a run may take
START_TIMEOUT = 30.0  # for the naive reloader to report its first load
EXIT_TIMEOUT = 15.0
SOAK_DEFAULT = 300  # reloads, 10 minutes, for --soak without a count
SOAK_STEP = 60  # reloads between the soak's samples, 2 minutes


class run_result:
    """What one reloader's run gave: its start, the claim arrivals of the
    rhythm window (the first being the initial load and the rest reload
    ticks 1, 2, ...) and the samples of its processes, by reload tick."""

    def __init__(self, name, start, start_means, arrivals, samples, window_end):
        self.name = name
        self.start = start
        self.start_means = start_means
        self.arrivals = arrivals
        self.reloads = arrivals[1:]
        self.samples = samples
        self.window_end = window_end

    def latency(self):
        return self.arrivals[0] - self.start

    def offsets_first_tick_grid(self):
        """Offset of tick n from reload tick 1's arrival + PERIOD*(n-1)."""
        first = self.reloads[0]
        return [at - (first + PERIOD * k) for k, at in enumerate(self.reloads)]

    def offsets_start_grid(self):
        """Offset of tick n from the start + PERIOD*n."""
        return [at - (self.start + PERIOD * n) for n, at in enumerate(self.reloads, start=1)]

    def claiming(self):
        """The sample at the end of the rhythm window."""
        return self.samples[self.window_end]

    def cpu_per_minute(self):
        """Processor seconds per minute of each kind of process, from
        reload tick 1 to the end of the rhythm window."""
        first, last = self.samples[1], self.samples[self.window_end]
        used = processes.cpu_seconds_between(first, last)
        minutes = (last.when - first.when) / 60
        return {kind: seconds / minutes for kind, seconds in used.items()}


def sample_ticks(ticks, soak):
    """The reload ticks at which the processes are sampled: tick 1 (the
    start of the CPU window and of the soak), the end of the rhythm window,
    and every SOAK_STEP reloads up to the end of the soak."""
    last = max(ticks, soak)
    return sorted({1, ticks, last, *range(SOAK_STEP, last, SOAK_STEP)})


class sampler:
    """Samples a program's processes as the hall logs the claim requests
    that end the ticks asked for. Sampling takes a few ms of this driver's
    time, none of the measured processes'."""

    def __init__(self, pid, at_ticks):
        self.pid = pid
        self.at_ticks = set(at_ticks)
        self.seen = 0
        self.samples = {}

    def __call__(self, _when, _path):
        tick = self.seen  # the first request is tick 0, the initial load
        self.seen += 1
        if tick in self.at_ticks:
            self.samples[tick] = processes.sample(self.pid, time.monotonic())

    def check(self, who):
        for tick, taken in sorted(self.samples.items()):
            if taken.missing:
                raise drive.failure(f"{who} had no {', '.join(taken.missing)} process "
                                    f"at reload tick {tick}")


def nearest_rank(values, fraction):
    ordered = sorted(values)
    return ordered[max(1, math.ceil(fraction * len(ordered))) - 1]


def measure_tarvello(path, ticks, soak, start=drive.program, name="tarvello", sampled=True):
    hall = drive.hall()
    program = None
    reloads = max(ticks, soak)
    try:
        program = start(path)
        # Under Wine the engine's processes are not WebKit's: only the rhythm.
        samples = sampler(program.instance.pid, sample_ticks(ticks, soak) if sampled else [])
        clicked = program.start_claiming(hall.address, TASK)
        arrivals = hall.wait_claims(drive.CLAIM_PATH + TASK, reloads + 1,
                                    deadline=clicked + PERIOD * reloads + LATE_SLACK,
                                    on_each=samples, alive=program.alive)
        if not program.alive():
            raise drive.failure(f"{name} ended while claiming")
        if len(arrivals) < reloads + 1:
            raise drive.failure(f"{name} sent {len(arrivals)} claim requests, "
                                f"{reloads + 1} were awaited")
        samples.check(name)
        program.close_with_escape()
        return run_result(name, clicked, "click", arrivals[:ticks + 1], samples.samples, ticks)
    finally:
        if program is not None:
            program.stop()
        hall.stop()


def wait_start_line(out_path, proc, deadline):
    """The monotonic time the naive reloader prints when it starts loading."""
    while time.monotonic() < deadline:
        running = proc.poll() is None
        with open(out_path, encoding="utf-8") as f:
            for line in f:
                if line.startswith("loading ") and line.endswith("\n"):
                    return float(line.split()[1])
        if not running:
            raise drive.failure(f"the naive reloader ended with {proc.returncode} "
                                "before it started loading")
        time.sleep(drive.POLL)
    raise drive.failure(f"the naive reloader did not start loading in {START_TIMEOUT} s")


def measure_naive(path, ticks, soak):
    hall = drive.hall()
    logs = tempfile.TemporaryDirectory(prefix="tarvello-naive-")
    out_path = os.path.join(logs.name, "stdout")
    err_path = os.path.join(logs.name, "stderr")
    proc = None
    reloads = max(ticks, soak)
    try:
        # One reload more than measured: it ends by itself once its last
        # reload's load has finished, and must still run when sampled.
        with open(out_path, "wb") as out, open(err_path, "wb") as err:
            proc = subprocess.Popen([path, hall.address + drive.CLAIM_PATH + TASK,
                                     str(reloads + 1)],
                                    stdin=subprocess.DEVNULL, stdout=out, stderr=err)
        samples = sampler(proc.pid, sample_ticks(ticks, soak))
        started = wait_start_line(out_path, proc, time.monotonic() + START_TIMEOUT)
        arrivals = hall.wait_claims(drive.CLAIM_PATH + TASK, reloads + 1,
                                    deadline=started + PERIOD * reloads + LATE_SLACK,
                                    on_each=samples, alive=lambda: proc.poll() is None)
        if len(arrivals) < reloads + 1:
            raise drive.failure(f"the naive reloader sent {len(arrivals)} claim requests, "
                                f"{reloads + 1} were awaited")
        samples.check("the naive reloader")
        code = drive.child_exit_code(proc, EXIT_TIMEOUT)
        if code != 0:
            with open(err_path, encoding="utf-8", errors="replace") as f:
                raise drive.failure(f"the naive reloader exited with {code}:\n{f.read()}")
        return run_result("naive_reloader", started, "load call", arrivals[:ticks + 1],
                          samples.samples, ticks)
    finally:
        if proc is not None and proc.poll() is None:
            proc.terminate()
            if drive.child_exit_code(proc, EXIT_TIMEOUT) is None:
                proc.kill()
                proc.wait()
        hall.stop()
        logs.cleanup()


def load_average():
    with open("/proc/loadavg", encoding="utf-8") as f:
        return " ".join(f.read().split()[:3])


def ms(seconds, signed=False):
    return f"{seconds * 1000:+.2f}" if signed else f"{seconds * 1000:.2f}"


def report(results, ticks, per_tick):
    last = ticks
    print(f"Claim rhythm over {ticks} reload ticks after the start, as the local task hall "
          "logs the requests (CLOCK_MONOTONIC).")
    print("Start: tarvello = the click on 开始刷分 (the moment the driver started "
          "`xdotool click 1`,")
    print("       which sends the release a few ms later); naive_reloader = its "
          "webkit_web_view_load_uri call,")
    print("       as it prints it (it starts loading and its timer once its window is mapped).")
    print("Tick n (n = 1..%d) is the claim request sent by the n-th reload; the first request "
          "(tick 0) is the initial load." % ticks)
    print("Grid A: tick n is due at tick 1's arrival + 2 s·(n−1); tick %d's offset is the "
          "cumulative drift." % last)
    print("Grid B: tick n is due at the start + 2 s·n; it adds the constant delay from the "
          "start to the timer")
    print("        and from a reload to its request to every offset.")
    print("|offset| figures: over ticks 2..%d for grid A (tick 1 is 0 by definition), 1..%d "
          "for grid B;" % (last, last))
    print("p95 is the nearest-rank 95th percentile.")
    print()
    rows = []

    def row(label, figure):
        rows.append((label, [figure(r) for r in results]))

    def grid_a(r):
        return [abs(o) for o in r.offsets_first_tick_grid()[1:]]

    def grid_b(r):
        return [abs(o) for o in r.offsets_start_grid()]

    row("start → first request (tick 0) (ms)", lambda r: ms(r.latency()))
    row("grid A |offset| median (ms)", lambda r: ms(statistics.median(grid_a(r))))
    row("grid A |offset| p95 (ms)", lambda r: ms(nearest_rank(grid_a(r), 0.95)))
    row("grid A |offset| max (ms)", lambda r: ms(max(grid_a(r))))
    row(f"cumulative drift: grid A offset at tick {last} (ms)",
        lambda r: ms(r.offsets_first_tick_grid()[-1], signed=True))
    row(f"mean interval, tick 1 to tick {last} (ms)",
        lambda r: ms((r.reloads[-1] - r.reloads[0]) / (ticks - 1)))
    row("grid B offset at tick 1 (ms)", lambda r: ms(r.offsets_start_grid()[0], signed=True))
    row("grid B |offset| median (ms)", lambda r: ms(statistics.median(grid_b(r))))
    row("grid B |offset| p95 (ms)", lambda r: ms(nearest_rank(grid_b(r), 0.95)))
    row("grid B |offset| max (ms)", lambda r: ms(max(grid_b(r))))
    row(f"grid B offset at tick {last} (ms)",
        lambda r: ms(r.offsets_start_grid()[-1], signed=True))

    width = max(len(label) for label, _ in rows)
    columns = [max(len(r.name), 10) for r in results]
    print(" " * width + "".join(f"  {r.name:>{w}}" for r, w in zip(results, columns)))
    for label, figures in rows:
        print(f"{label:<{width}}" + "".join(f"  {f:>{w}}" for f, w in zip(figures, columns)))

    if per_tick:
        print()
        print("tick" + "".join(f"  {r.name + ' A (ms)':>22}  {r.name + ' B (ms)':>22}"
                               for r in results))
        for n in range(1, ticks + 1):
            print(f"{n:>4}" + "".join(
                f"  {ms(r.offsets_first_tick_grid()[n - 1], True):>22}"
                f"  {ms(r.offsets_start_grid()[n - 1], True):>22}" for r in results))

    real = next((r for r in results if r.name == "tarvello"), None)
    if real is not None:
        drift = real.offsets_first_tick_grid()[-1]
        p95 = nearest_rank(grid_a(real), 0.95)
        print()
        print(f"Goals for tarvello on an idle machine: |drift at tick {last}| <= 5 ms: "
              f"{'met' if abs(drift) <= 0.005 else 'NOT met'} ({ms(drift, True)} ms); "
              f"grid A p95 < 10 ms: {'met' if p95 < 0.010 else 'NOT met'} ({ms(p95)} ms)")


KIND_LABELS = (("program", "{name}"), ("web", "WebKitWebProcess"),
               ("network", "WebKitNetworkProcess"))


def mib(kb):
    return f"{kb / 1024:.1f}"


def print_table(header, rows):
    width = max(len(label) for label, _ in rows)
    columns = [max(len(h), 10) for h in header]
    print(" " * width + "".join(f"  {h:>{w}}" for h, w in zip(header, columns)))
    for label, figures in rows:
        print(f"{label:<{width}}" + "".join(f"  {f:>{w}}" for f, w in zip(figures, columns)))


def ratio(a, b):
    return f"{a / b:.2f}" if b else "-"


def report_resources(results, ticks):
    """PSS at the end of the rhythm window and processor time over it, per
    process and summed, side by side with the first over the second."""
    print()
    print(f"While claiming: memory at reload tick {ticks} from /proc/PID/smaps_rollup (PSS, "
          "and Private_Dirty as \"dirty\"),")
    print("processor time (utime + stime from /proc/PID/stat) from reload tick 1 to tick "
          f"{ticks}, per minute. The web and")
    print("network processes are the program's descendants at any depth named "
          "WebKitWebProcess and WebKitNetworkProcess")
    print("(summed if several). PSS splits library pages among every process mapping them, "
          "other programs' included,")
    print("so it moves with what else runs on the machine; the private dirty pages (heap, "
          "written data) do not.")
    print(f"The last column is {results[0].name} ÷ {results[1].name}.")
    print()
    rows = []
    for what, figure, unit in (("PSS", lambda s, k: s.claiming().pss[k], "MiB"),
                               ("dirty", lambda s, k: s.claiming().dirty[k], "MiB"),
                               ("CPU", lambda s, k: s.cpu_per_minute()[k], "ms/min")):
        values = {r.name: {k: figure(r, k) for k, _ in KIND_LABELS} for r in results}
        for kind, label in KIND_LABELS + (("sum", "sum"),):
            shown = label.format(name="/".join(r.name for r in results))
            per_result = [sum(values[r.name].values()) if kind == "sum" else values[r.name][kind]
                          for r in results]
            text = [f"{v * 1000:.0f}" if what == "CPU" else mib(v) for v in per_result]
            rows.append((f"{what} {shown} ({unit})", text + [ratio(*per_result[:2])]))
    print_table([r.name for r in results] + ["ratio"], rows)


def report_soak(results):
    """Memory of each process at every sampled reload tick, for a leak to
    show as a growth from the first row to the last."""
    for r in results:
        print()
        print(f"Soak, {r.name}: PSS, RSS and private dirty pages (MiB) of the program, its web "
              "and network processes")
        print("by reload tick; minutes since tick 1; the last row is the growth.")
        header = ["minutes"]
        for what in ("PSS", "RSS", "dirty"):
            header += [f"{what} {k}" for k, _ in KIND_LABELS]
            header.append(f"{what} sum")
        rows = []
        first = r.samples[1]
        for tick, taken in sorted(r.samples.items()):
            figures = [f"{(taken.when - first.when) / 60:.1f}"]
            for table in (taken.pss, taken.rss, taken.dirty):
                figures += [mib(table[k]) for k, _ in KIND_LABELS]
                figures.append(mib(sum(table.values())))
            rows.append((f"tick {tick}", figures))
        last_tick = max(r.samples)
        last = r.samples[last_tick]
        growth = ["-"]
        for before, after in ((first.pss, last.pss), (first.rss, last.rss),
                              (first.dirty, last.dirty)):
            growth += [f"{(after[k] - before[k]) / 1024:+.1f}" for k, _ in KIND_LABELS]
            growth.append(f"{(sum(after.values()) - sum(before.values())) / 1024:+.1f}")
        rows.append((f"tick 1 → {last_tick}", growth))
        print_table(header, rows)


def main():
    parser = argparse.ArgumentParser(description="Claim rhythm of tarvello and of a naive "
                                     "reloader, as a local task hall sees it, and what their "
                                     "processes use while claiming.")
    parser.add_argument("program", nargs="?",
                        default=os.path.join(ROOT, "build", "default", "tarvello"),
                        help="the tarvello program (default: build/default/tarvello)")
    parser.add_argument("--naive", default=os.path.join(ROOT, "build", "default", "bench",
                                                        "naive_reloader"),
                        help="the naive reloader (default: build/default/bench/naive_reloader)")
    parser.add_argument("--windows", metavar="TARVELLO_EXE",
                        help="also tarvello.exe under Wine, in the prefix $WINEPREFIX names")
    parser.add_argument("--probe", help="the Windows build's probe.exe (with --windows)")
    parser.add_argument("--ticks", type=int, default=30, help="reload ticks measured (>= 3)")
    parser.add_argument("--per-tick", action="store_true",
                        help="also print every tick's offsets")
    parser.add_argument("--soak", type=int, nargs="?", const=SOAK_DEFAULT, default=0,
                        metavar="N",
                        help="run each program on to N reloads (without N: "
                        f"{SOAK_DEFAULT}, {SOAK_DEFAULT * PERIOD / 60:.0f} minutes) and print "
                        "their memory every "
                        f"{SOAK_STEP} reloads; without --soak the soak is the rhythm "
                        "window itself")
    args = parser.parse_args()
    if args.ticks < 3:
        parser.error("--ticks must be at least 3")
    if args.soak < 0:
        parser.error("--soak must not be negative")
    if not os.environ.get("DISPLAY"):
        print("DISPLAY is not set: run inside scripts/with_display", file=sys.stderr)
        return 2
    for path in (args.program, args.naive):
        if not os.access(path, os.X_OK):
            print(f"not an executable program: {path}", file=sys.stderr)
            return 2

    scratch = drive.private_user_dirs()
    seconds = PERIOD * max(args.ticks, args.soak)
    try:
        load_before = load_average()
        print(f"measuring tarvello ({args.program}): about {seconds:.0f} s",
              file=sys.stderr, flush=True)
        real = measure_tarvello(args.program, args.ticks, args.soak)
        print(f"measuring the naive reloader ({args.naive}): about {seconds:.0f} s",
              file=sys.stderr, flush=True)
        naive = measure_naive(args.naive, args.ticks, args.soak)
        extra = []
        if args.windows:
            import under_wine
            print(f"measuring tarvello.exe under Wine ({args.windows}): about "
                  f"{PERIOD * args.ticks:.0f} s", file=sys.stderr, flush=True)
            extra.append(measure_tarvello(args.windows, args.ticks, args.ticks,
                                          under_wine.starter(args.probe), "tarvello.exe",
                                          sampled=False))
        load_after = load_average()
    except (drive.failure, RuntimeError, ValueError) as error:
        print(f"rhythm: {error}", file=sys.stderr)
        return 1
    finally:
        scratch.cleanup()

    then_wine = ", then tarvello.exe under Wine" if extra else ""
    print(f"Runs: one after the other (tarvello, then naive_reloader{then_wine}), each against its own "
          f"task hall; {os.cpu_count()} CPUs;")
    print(f"load average (1, 5, 15 min) {load_before} before, {load_after} after.")
    report([real, naive, *extra], args.ticks, args.per_tick)
    report_resources([real, naive], args.ticks)
    report_soak([real, naive])
    return 0


if __name__ == "__main__":
    sys.exit(main())
