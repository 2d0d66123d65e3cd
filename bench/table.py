#!/usr/bin/env python3
"""Prints the one table of a benchmark run from what bench/measure recorded.

    bench/table.py OUT_DIR

Each figure with the baseline measured in the same run and their ratio,
ratios first, as a Markdown table, then the machine. Exits 1 when a
benchmark failed or a result is missing; a missed target is shown in the
table, not in the exit status.
"""

import json
import os
import statistics
import sys


class Missing(Exception):
    pass


def load(out, name):
    path = os.path.join(out, name + ".json")
    try:
        with open(path) as f:
            return json.load(f)["benchmarks"]
    except (OSError, ValueError, KeyError) as e:
        raise Missing(f"{path}: {e}")


def runs(results, name):
    """The single runs of benchmark `name` (repetitions, no aggregates)."""
    found = [r for r in results
             if r.get("run_name", r["name"]).split("/")[0] == name
             and r.get("run_type", "iteration") == "iteration"]
    if not found:
        raise Missing(f"no result for {name}")
    for r in found:
        if r.get("error_occurred"):
            raise Missing(f"{name} failed: {r.get('error_message', '?')}")
    return found


def seconds(run, key="real_time"):
    scale = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}[run["time_unit"]]
    return run[key] * scale


def median_seconds(results, name):
    return statistics.median(seconds(r) for r in runs(results, name))


def show_time(s):
    if s >= 1e-3:
        return f"{s * 1e3:.2f} ms"
    if s >= 1e-6:
        return f"{s * 1e6:.1f} µs"
    return f"{s * 1e9:.2f} ns"


def read_log(out, name):
    """(connection, request number, method, body length, status) per line."""
    lines = []
    with open(os.path.join(out, name + ".access.log")) as f:
        for line in f:
            parts = line.split()
            if len(parts) == 5:
                lines.append(parts)
    return lines


def read_environment(out):
    env = {}
    try:
        with open(os.path.join(out, "environment.txt")) as f:
            for line in f:
                key, _, value = line.rstrip("\n").partition("=")
                env[key] = value
    except OSError:
        pass
    return env


def verdict(met):
    return "met" if met else "**missed**"


def table(out):
    pairs = load(out, "pairs")
    warm = load(out, "warm")
    curl = load(out, "curl")
    first = load(out, "first")
    long_run = load(out, "long")
    notifier = load(out, "notifier")

    pair_runs = runs(pairs, "BM_WarmMessagePairs")
    ours = statistics.median(r["ours_us"] for r in pair_runs) * 1e-6
    bare = statistics.median(r["bare_us"] for r in pair_runs) * 1e-6
    ratio = statistics.median(r["ratio"] for r in pair_runs)
    curl_process = median_seconds(curl, "BM_CurlProcessPerMessage")
    first_message = median_seconds(first, "BM_FirstMessageOfProcess")

    long_counters = runs(long_run, "BM_ConnectionsAndPeakMemory")[0]
    messages = int(long_counters["messages"])
    client_connects = int(long_counters["connects_first_1000"])
    rss_100 = int(long_counters["peak_rss_kib_after_100"])
    rss_all = int(long_counters["peak_rss_kib_after_all"])
    long_log = read_log(out, "long")
    server_connects = len({line[0] for line in long_log[:1000]})
    first_n = min(messages, 1000)

    # Every figure must have sent the same body.
    lengths = set()
    for step in ("pairs", "warm", "curl", "first", "long"):
        lengths |= {line[3] for line in read_log(out, step)}
    bad_status = sum(1 for step in ("pairs", "warm", "curl", "first", "long")
                     for line in read_log(out, step) if line[4] != "200")

    ours_allocs = statistics.median(r["allocs_per_msg"] for r in runs(warm, "BM_PostMessageWarm"))
    bare_allocs = statistics.median(r["allocs_per_msg"] for r in runs(warm, "BM_BareLibcurlWarm"))

    rows = []
    rows.append((f"{ratio:.3f}",
                 "1. Warm message: `ChatApi::postMessage` / bare libcurl handle, same body "
                 "and options, reused", f"{show_time(ours)}, {ours_allocs:.0f} allocs",
                 f"{show_time(bare)}, {bare_allocs:.0f} allocs",
                 f"≤ 1.10: {verdict(ratio <= 1.10)}"))
    rows.append((f"{curl_process / ours:.0f}× faster",
                 "2. Our warm message vs one `curl` process per message, same body",
                 show_time(ours), show_time(curl_process), "our speed-up"))
    rows.append((f"{first_message / ours:.0f}",
                 "3. First message of a process (set-up, TLS handshake) / warm message",
                 show_time(first_message), show_time(ours), "—"))

    empty = median_seconds(notifier, "BM_EmptyCallback")
    for name, label in (("BM_NotifierEventOtherCode", "another event code"),
                        ("BM_NotifierEventSwitchOff", "message switched off"),
                        ("BM_NotifierEventNoChannel", "no channel set")):
        t = median_seconds(notifier, name)
        allocs = max(r["allocs_per_call"] for r in runs(notifier, name))
        met = t < 50e-9 and allocs == 0
        rows.append((f"{t / empty:.2f}",
                     f"4. `notifierEvent` posting nothing, {label}: per call / empty "
                     f"callback", f"{show_time(t)}, {allocs:g} allocs",
                     show_time(empty), f"< 50 ns, 0 allocs: {verdict(met)}"))

    connects_met = client_connects == 1 and server_connects == 1
    rows.append(("—", f"5. Connections opened for {first_n:,} messages (libcurl's count / "
                 f"server's)", f"{client_connects} / {server_connects}", "—",
                 f"1: {verdict(connects_met)}"))
    rows.append((f"{rss_all / rss_100:.3f}",
                 f"5. Peak resident memory after {messages:,} messages / after 100",
                 f"{rss_all:,} KiB", f"{rss_100:,} KiB",
                 f"the same: {verdict(rss_all == rss_100)}"))

    header = ("Ratio", "Figure", "pingwell", "Baseline", "Target")
    lines = ["| " + " | ".join(header) + " |", "|" + "---|" * len(header)]
    for row in rows:
        lines.append("| " + " | ".join(row) + " |")

    env = read_environment(out)
    lines.append("")
    lines.append(f"Machine: {env.get('cpus', '?')} × {env.get('cpu', '?')}, "
                 f"{env.get('kernel', '?')}, load average {env.get('load', '?')} at the start; "
                 f"{env.get('curl', '?').split(' (')[0]}, {env.get('nginx', '?').split(': ')[-1]} "
                 f"on the loopback; {env.get('date', '?')}.")
    ours_cpu = statistics.median(seconds(r, "cpu_time") for r in runs(warm, "BM_PostMessageWarm"))
    bare_cpu = statistics.median(seconds(r, "cpu_time") for r in runs(warm, "BM_BareLibcurlWarm"))
    lines.append(f"Times are wall-clock medians. Figure 1 times each message of ours and of the "
                 f"baseline taking turns on one connection each; allocations count every "
                 f"malloc of the process. CPU time of a warm message: "
                 f"{show_time(ours_cpu)} against {show_time(bare_cpu)} bare "
                 f"(ratio {ours_cpu / bare_cpu:.3f}). Request body: "
                 f"{', '.join(sorted(lengths))} bytes in every figure.")
    warnings = []
    if len(lengths) != 1:
        warnings.append("the figures sent bodies of different lengths")
    if bad_status:
        warnings.append(f"{bad_status} requests did not get status 200")
    if len(long_log) != messages:
        warnings.append(f"the server logged {len(long_log)} requests of the long run, "
                        f"not {messages}")
    return "\n".join(lines), warnings


def main():
    if len(sys.argv) != 2:
        print(__doc__.strip().splitlines()[2].strip(), file=sys.stderr)
        return 2
    try:
        text, warnings = table(sys.argv[1])
    except Missing as e:
        print(f"bench/table.py: {e}", file=sys.stderr)
        return 1
    print(text)
    for w in warnings:
        print(f"bench/table.py: warning: {w}", file=sys.stderr)
    return 1 if warnings else 0


if __name__ == "__main__":
    sys.exit(main())
