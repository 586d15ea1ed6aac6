#!/usr/bin/python3
"""Benchmark of the claim rhythm as the local task hall sees it: how soon the
first claim request comes after the start, and how far each of the next
reload ticks lands from the ideal 2 s grid, for the real program (driven
through its window as a user does: address and task id typed, "开始刷分"
clicked) and for bench/naive_reloader (a plain g_timeout_add(2000) reload).
Prints the figures side by side; it fails only when a run cannot be
measured at all (a program that does not start, exits badly or sends too few
requests), never because a figure is off its goal.

The two run one after the other, each against a task hall of its own: on a
two-core machine two engines side by side would take CPU from each other,
and as both tick every 2 s their work would keep meeting at the same phase
and load one of them on every tick.

Run inside scripts/with_display (scripts/bench builds and does that):
    scripts/with_display -- bench/rhythm.py [TARVELLO] [--naive PATH] [--ticks N]
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

PERIOD = 2.0  # the claim period both reloaders keep, in seconds
TASK = "7"
LATE_SLACK = 15.0  # how long past the last tick's grid point a run may take
START_TIMEOUT = 30.0  # for the naive reloader to report its first load
EXIT_TIMEOUT = 15.0


class run_result:
    """What one reloader's run gave: its start and the claim arrivals, the
    first being the initial load and the rest reload ticks 1, 2, ..."""

    def __init__(self, name, start, start_means, arrivals):
        self.name = name
        self.start = start
        self.start_means = start_means
        self.arrivals = arrivals
        self.reloads = arrivals[1:]

    def latency(self):
        return self.arrivals[0] - self.start

    def offsets_first_tick_grid(self):
        """Offset of tick n from reload tick 1's arrival + PERIOD*(n-1)."""
        first = self.reloads[0]
        return [at - (first + PERIOD * k) for k, at in enumerate(self.reloads)]

    def offsets_start_grid(self):
        """Offset of tick n from the start + PERIOD*n."""
        return [at - (self.start + PERIOD * n) for n, at in enumerate(self.reloads, start=1)]


def nearest_rank(values, fraction):
    ordered = sorted(values)
    return ordered[max(1, math.ceil(fraction * len(ordered))) - 1]


def measure_tarvello(path, ticks, start=drive.program, name="tarvello"):
    hall = drive.hall()
    program = None
    try:
        program = start(path)
        clicked = program.start_claiming(hall.address, TASK)
        arrivals = hall.wait_claims(drive.CLAIM_PATH + TASK, ticks + 1,
                                    deadline=clicked + PERIOD * ticks + LATE_SLACK,
                                    alive=program.alive)
        if not program.alive():
            raise drive.failure("tarvello ended while claiming")
        if len(arrivals) < ticks + 1:
            raise drive.failure(f"tarvello sent {len(arrivals)} claim requests, "
                                f"{ticks + 1} were awaited")
        program.close_with_escape()
        return run_result(name, clicked, "click", arrivals[:ticks + 1])
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


def measure_naive(path, ticks):
    hall = drive.hall()
    logs = tempfile.TemporaryDirectory(prefix="tarvello-naive-")
    out_path = os.path.join(logs.name, "stdout")
    err_path = os.path.join(logs.name, "stderr")
    proc = None
    try:
        with open(out_path, "wb") as out, open(err_path, "wb") as err:
            proc = subprocess.Popen([path, hall.address + drive.CLAIM_PATH + TASK, str(ticks)],
                                    stdin=subprocess.DEVNULL, stdout=out, stderr=err)
        started = wait_start_line(out_path, proc, time.monotonic() + START_TIMEOUT)
        arrivals = hall.wait_claims(drive.CLAIM_PATH + TASK, ticks + 1,
                                    deadline=started + PERIOD * ticks + LATE_SLACK,
                                    alive=lambda: proc.poll() is None)
        if len(arrivals) < ticks + 1:
            raise drive.failure(f"the naive reloader sent {len(arrivals)} claim requests, "
                                f"{ticks + 1} were awaited")
        # It ends by itself once the last reload's load has finished.
        code = drive.child_exit_code(proc, EXIT_TIMEOUT)
        if code != 0:
            with open(err_path, encoding="utf-8", errors="replace") as f:
                raise drive.failure(f"the naive reloader exited with {code}:\n{f.read()}")
        return run_result("naive_reloader", started, "load call", arrivals[:ticks + 1])
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


def main():
    parser = argparse.ArgumentParser(description="Claim rhythm of tarvello and of a naive "
                                     "reloader, as a local task hall sees it.")
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
    args = parser.parse_args()
    if args.ticks < 3:
        parser.error("--ticks must be at least 3")
    if not os.environ.get("DISPLAY"):
        print("DISPLAY is not set: run inside scripts/with_display", file=sys.stderr)
        return 2
    for path in (args.program, args.naive):
        if not os.access(path, os.X_OK):
            print(f"not an executable program: {path}", file=sys.stderr)
            return 2

    scratch = drive.private_user_dirs()
    try:
        load_before = load_average()
        print(f"measuring tarvello ({args.program}): about {PERIOD * args.ticks:.0f} s",
              file=sys.stderr, flush=True)
        real = measure_tarvello(args.program, args.ticks)
        print(f"measuring the naive reloader ({args.naive}): about "
              f"{PERIOD * args.ticks:.0f} s", file=sys.stderr, flush=True)
        naive = measure_naive(args.naive, args.ticks)
        extra = []
        if args.windows:
            import under_wine
            print(f"measuring tarvello.exe under Wine ({args.windows}): about "
                  f"{PERIOD * args.ticks:.0f} s", file=sys.stderr, flush=True)
            extra.append(measure_tarvello(args.windows, args.ticks,
                                          under_wine.starter(args.probe), "tarvello.exe"))
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
    return 0


if __name__ == "__main__":
    sys.exit(main())
