#!/usr/bin/env python3
"""Times whole runs of wavspec against the floor and the numpy peer and prints one table.

Usage: run_bench.py [--build DIR] [--runs N] [--big-runs N] [--results FILE] [--cases a,b]
                    [--inputs-only]

Inputs (stereo 16-bit recordings of 65536, 2^20 and 2^24 frames) are made once in
DIR/bench/inputs by the project's demo generator when it is built, else by a small generator
here. For every case each program runs once to warm up, then --runs times (--big-runs for
N 2^24), the programs interleaved in a rotating order: wavspec, the floor (reading only, into
calloc'd arrays), the floor with the arrays wavspec allocates (2 MiB pages), and the peer.
Each run's wall time and peak resident memory (GNU time, in the warm-up run) are kept; the
table shows medians with min-max, the ratios to both floors and to the peer, and whether each
speed and memory target holds.
"""
import argparse
import math
import datetime
import os
import platform
import statistics
import sys
import time
import wave

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
PYTHON = "/usr/bin/python3"  # Debian's python3, where python3-numpy and python3-scipy live
RATE = 48000

# name, N, options, frames of the input
CASES = [
    ("default", 65536, [], 65536),
    ("default -F", 65536, ["-F"], 65536),
    ("N 2^20 -F -W hanning", 1 << 20, ["-F", "-W", "hanning"], 1 << 20),
    ("N 2^24", 1 << 24, [], 1 << 24),
    ("N 2^24-3", (1 << 24) - 3, [], 1 << 24),
    ("N 2^24 -F", 1 << 24, ["-F"], 1 << 24),
]
MiB = 1024 * 1024


def find_program(build, name):
    for dirpath, _, files in os.walk(build):
        if name in files and os.access(os.path.join(dirpath, name), os.X_OK):
            return os.path.join(dirpath, name)
    return None


def write_own_input(path, frames):
    """Two tones with a little noise, so that every bin rises above the listing threshold."""
    import numpy as np
    t = np.arange(frames) / RATE
    rng = np.random.default_rng(frames)
    left = 0.5 * np.sin(2 * np.pi * 1000 * t) + 0.01 * rng.standard_normal(frames)
    right = 0.3 * np.sin(2 * np.pi * 1000 * t + 0.5) + 0.2 * np.sin(2 * np.pi * 3150 * t) \
        + 0.01 * rng.standard_normal(frames)
    pcm = np.empty((frames, 2), dtype="<i2")
    pcm[:, 0] = np.clip(np.round(left * 32767), -32768, 32767)
    pcm[:, 1] = np.clip(np.round(right * 32767), -32768, 32767)
    with wave.open(path, "wb") as w:
        w.setnchannels(2)
        w.setsampwidth(2)
        w.setframerate(RATE)
        w.writeframes(pcm.tobytes())


def frame_count(path):
    try:
        with wave.open(path, "rb") as w:
            return w.getnframes()
    except (OSError, EOFError, wave.Error):
        return -1


def make_inputs(build, demo):
    directory = os.path.join(build, "bench", "inputs")
    os.makedirs(directory, exist_ok=True)
    paths = {}
    for frames in sorted({c[3] for c in CASES}):
        path = os.path.join(directory, "rec-%d.wav" % frames)
        if not os.path.exists(path) or frame_count(path) != frames:
            if demo:
                run_quiet([demo, path, repr(frames / RATE), str(RATE)])
            if frame_count(path) != frames:
                write_own_input(path, frames)
        paths[frames] = path
    return paths


def peak_rss(argv, env=None):
    """Peak resident memory of one run of argv in bytes, measured by GNU time. Its own fork is
    small, whereas a child spawned from this script starts with the script's memory counted."""
    out = os.path.join(os.environ.get("TMPDIR", "/tmp"), "wavspec-bench-rss-%d" % os.getpid())
    _, _, status = run_quiet(["/usr/bin/time", "-f", "%M", "-o", out] + argv, env)
    with open(out) as f:
        kib = int(f.read().split()[-1])
    os.remove(out)
    return kib * 1024, status


def run_quiet(argv, env=None):
    """Runs argv with output to /dev/null; returns (seconds, rusage peak RSS, exit status)."""
    devnull = os.open(os.devnull, os.O_WRONLY)
    try:
        actions = [(os.POSIX_SPAWN_DUP2, devnull, 1), (os.POSIX_SPAWN_DUP2, devnull, 2)]
        start = time.perf_counter()
        pid = os.posix_spawn(argv[0], argv, env if env is not None else os.environ,
                             file_actions=actions)
        _, status, usage = os.wait4(pid, 0)
        seconds = time.perf_counter() - start
    finally:
        os.close(devnull)
    return seconds, usage.ru_maxrss * 1024, os.waitstatus_to_exitcode(status)


def peer_env():
    # OpenBLAS settings of this machine slow numpy; they are dropped for the peer's runs only.
    env = dict(os.environ)
    env.pop("OPENBLAS_CORETYPE", None)
    env.pop("OPENBLAS_L2_SIZE", None)
    return env


def load():
    return os.getloadavg()[0]


def measure_case(case, programs, inputs, runs):
    name, n, options, frames = case
    wav = inputs[frames]
    report = wav + ".txt"
    commands = {
        "wavspec": ([programs["wavspec"], wav, "-N", str(n)] + options, None),
        "floor": ([programs["floor"], wav, str(n)], None),
        "floor-huge": ([programs["floor"], wav, str(n), "huge"], None),
        "peer": ([PYTHON, os.path.join(HERE, "peer.py"), wav, "-N", str(n)] + options,
                 peer_env()),
    }
    order = list(commands)
    samples = {k: [] for k in order}
    rss = {}
    failed = {}
    loads = [load()]
    for r in range(runs + 1):  # run 0 is the warm-up, which measures the peak memory
        turn = order[r % len(order):] + order[:r % len(order)]
        for k in turn:
            if k in failed:
                continue
            argv, env = commands[k]
            if r == 0:
                rss[k], status = peak_rss(argv, env)
            else:
                seconds, _, status = run_quiet(argv, env)
                samples[k].append(seconds)
            if status != 0:
                # A program that refuses the case is reported as such; the others go on.
                failed[k] = status
                print("  %s: %s exited with status %d" % (name, k, status), file=sys.stderr)
            if os.path.exists(report):
                os.remove(report)
        loads.append(load())
        print("  %s: run %d/%d done" % (name, r, runs), file=sys.stderr, flush=True)
    return samples, rss, failed, loads


def summary(times, rss, status):
    if status is not None:
        return {"failed": status, "median": math.nan, "min": math.nan, "max": math.nan, "rss": rss}
    return {"failed": None, "median": statistics.median(times), "min": min(times),
            "max": max(times), "rss": rss}


def fmt_time(s):
    if s["failed"] is not None:
        return "failed, status %d" % s["failed"]
    return "%.3f (%.3f–%.3f)" % (s["median"], s["min"], s["max"])


def cpu_model():
    try:
        with open("/proc/cpuinfo") as f:
            for line in f:
                if line.startswith("model name"):
                    return line.split(":", 1)[1].strip()
    except OSError:
        pass
    return platform.processor() or "unknown"


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", default=os.path.join(ROOT, "build"))
    ap.add_argument("--runs", type=int, default=7)
    ap.add_argument("--big-runs", type=int, default=5)
    ap.add_argument("--results", help="also write the table as Markdown to this file")
    ap.add_argument("--cases", help="comma-separated case numbers (1-based) to run")
    ap.add_argument("--inputs-only", action="store_true", help="only make the input recordings")
    args = ap.parse_args()

    programs = {"wavspec": os.path.join(args.build, "wavspec"),
                "floor": find_program(args.build, "wavspec-bench-floor")}
    for k, v in programs.items():
        if not v or not os.access(v, os.X_OK):
            sys.exit("missing program %s in %s: build with -DWAVSPEC_BENCH=ON" % (k, args.build))
    demo = find_program(args.build, "wavspec-make-demo")
    inputs = make_inputs(args.build, demo)
    if args.inputs_only:
        return 0
    cases = CASES
    if args.cases:
        cases = [CASES[int(i) - 1] for i in args.cases.split(",")]

    started = datetime.datetime.now()
    start_load = load()
    results = []
    for case in cases:
        runs = args.big_runs if case[1] >= (1 << 24) - 3 else args.runs
        samples, rss, failed, loads = measure_case(case, programs, inputs, runs)
        results.append((case, {k: summary(v, rss[k], failed.get(k)) for k, v in samples.items()},
                        loads))

    lines = []
    lines.append("| case | wavspec s | floor s | floor, 2 MiB pages s | peer s | ×floor "
                 "| ×floor, 2 MiB pages | peer÷wavspec | RSS MiB wavspec / floor / peer "
                 "| RSS limit MiB | load |")
    lines.append("|---|---|---|---|---|---|---|---|---|---|---|")
    by_name = {}
    by_name_huge = {}
    for case, s, loads in results:
        name, n = case[0], case[1]
        w, fl, fh, p = s["wavspec"], s["floor"], s["floor-huge"], s["peer"]
        limit = (44 * n + 32 * MiB) / MiB
        by_name[name] = (w, fl, p, limit)
        by_name_huge[name] = fh
        lines.append("| %s | %s | %s | %s | %s | %.2f | %.2f | %.1f | %.1f / %.1f / %.1f | %.1f "
                     "| %.2f–%.2f |" % (
            name, fmt_time(w), fmt_time(fl), fmt_time(fh), fmt_time(p), w["median"] / fl["median"],
            w["median"] / fh["median"], p["median"] / w["median"], w["rss"] / MiB, fl["rss"] / MiB, p["rss"] / MiB, limit,
            min(loads), max(loads)))

    targets = []

    def target(text, ok, detail):
        targets.append("- %s: %s (%s)" % (text, "holds" if ok else "FAILS", detail))

    if "default" in by_name:
        w, fl, p, _ = by_name["default"]
        target("default job within 1.5× the floor", w["median"] <= 1.5 * fl["median"],
               "%.2f×; %.2f× the floor with 2 MiB pages" % (
                   w["median"] / fl["median"], w["median"] / by_name_huge["default"]["median"]))
        target("default job at least 20× faster than the peer", p["median"] >= 20 * w["median"],
               "%.1f×" % (p["median"] / w["median"]))
    if "default -F" in by_name:
        w, fl, p, _ = by_name["default -F"]
        target("-F at N 65536 within 2.5× the floor", w["median"] <= 2.5 * fl["median"],
               "%.2f×" % (w["median"] / fl["median"]))
    if "N 2^20 -F -W hanning" in by_name:
        w, fl, p, _ = by_name["N 2^20 -F -W hanning"]
        target("-F at N 2^20 at least 10× faster than the peer", p["median"] >= 10 * w["median"],
               "%.1f×" % (p["median"] / w["median"]))
    if "N 2^24" in by_name and "N 2^24-3" in by_name:
        a, b = by_name["N 2^24"][0], by_name["N 2^24-3"][0]
        target("N 2^24-3 at most 4× N 2^24", b["median"] <= 4 * a["median"],
               "wavspec failed with status %d" % b["failed"] if b["failed"] is not None
               else "%.1f×" % (b["median"] / a["median"]))
    over = [name for name, (w, _, _, limit) in by_name.items() if w["rss"] / MiB > limit]
    target("peak RSS at most 44·N + 32 MiB in every case", not over,
           "over in: " + ", ".join(over) if over else "all within")

    end_load = load()
    head = [
        "Machine: %d cores, %s; %s" % (os.cpu_count(), cpu_model(), platform.platform()),
        "Date: %s; load average %.2f at start, %.2f at end" % (
            started.strftime("%Y-%m-%d %H:%M"), start_load, end_load),
        "Runs: %d per case after one warm-up (%d for N 2^24 cases), interleaved; "
        "times are wall seconds, median (min–max); RSS is the peak of the warm-up run (GNU time)."
        % (args.runs, args.big_runs),
    ]
    text = "\n".join(head) + "\n\n" + "\n".join(lines) + "\n\nTargets:\n" + "\n".join(targets) + "\n"
    print(text)
    if args.results:
        with open(args.results, "w") as f:
            f.write("# Benchmark results\n\nWritten by `./build.sh bench` (bench/run_bench.py).\n\n")
            f.write(text)
    return 0


if __name__ == "__main__":
    sys.exit(main())
