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


def median_of_arg(results, name, arg):
    """The median of benchmark `name`'s runs with the argument `arg`."""
    found = [r for r in runs(results, name) if r["run_name"].split("/")[1] == str(arg)]
    if not found:
        raise Missing(f"no result for {name}/{arg}")
    return statistics.median(seconds(r) for r in found)


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


def spread(values, digits=3):
    """Median and (min–max) of a figure's rounds."""
    return (f"{statistics.median(values):.{digits}f} "
            f"({min(values):.{digits}f}–{max(values):.{digits}f})")


def show_wait(s, rtt):
    return f"{show_time(s)} = {s / rtt:.2f} RTT"


def latency_rows(out):
    """Figure 6, from the run behind the latency relay (OUT_DIR/latency)."""
    env = read_environment(out)
    one_way_ms = float(env.get("latency_ms") or 0)
    if one_way_ms <= 0:
        raise Missing(f"{out}: no latency in environment.txt")
    rtt = 2 * one_way_ms * 1e-3
    warm = load(out, "warm")
    ours = median_seconds(warm, "BM_PostMessageWarm")
    bare = median_seconds(warm, "BM_BareLibcurlWarm")
    first = median_seconds(load(out, "first"), "BM_FirstMessageOfProcess")
    curl = median_seconds(load(out, "curl"), "BM_CurlProcessPerMessage")
    rows = [
        (f"{ours / rtt:.2f} RTT",
         f"6. {rtt * 1e3:.0f} ms round trip: render-thread wait of a warm message / "
         f"one `curl` process per message", show_wait(ours, rtt), show_wait(curl, rtt),
         f"floor 1 RTT: {verdict(ours / rtt < 1.5)}"),
        (f"{first / rtt:.2f} RTT",
         f"6. {rtt * 1e3:.0f} ms round trip: the first message of a process / one `curl` "
         f"process per message", show_wait(first, rtt), show_wait(curl, rtt),
         "3 RTT: TCP, TLS 1.3, request"),
    ]
    note = (f"Figure 6: {one_way_ms:g} ms each way through a relay in the sandbox; a warm "
            f"message on a bare libcurl handle waits {show_wait(bare, rtt)}.")
    return rows, note


def load_json(out, name):
    path = os.path.join(out, name + ".json")
    try:
        with open(path) as f:
            return json.load(f)
    except (OSError, ValueError) as e:
        raise Missing(f"{path}: {e}")


def load_render(out, case):
    return load_json(out, f"render-{case}")


def render_rows(out):
    """Figure 7: what a dead service costs a ten-hour render (render_bench)."""
    rows = []
    costs = []
    nominal_shares = []
    for case, label in (("unreachable", "service unreachable"), ("stalled", "service stalled")):
        r = load_render(out, case)
        ours, fixed = r["growing"], r["fixed"]
        share = ours["share_percent"]
        rows.append((f"{ours['lost_seconds'] / fixed['lost_seconds']:.3f}",
                     f"7. Ten-hour render, {label}: render-thread time lost, {r['frames']:,} "
                     f"frames of {r['frame_seconds']:g} s with both frame messages on / the fixed "
                     f"60 s pause of earlier versions",
                     f"{share:.2f} % ({ours['lost_seconds']:,.0f} s in {ours['tries']} tries)",
                     f"{fixed['share_percent']:.1f} % ({fixed['lost_seconds']:,.0f} s in "
                     f"{fixed['tries']} tries)",
                     f"≤ 1 %: {verdict(share <= 1.0)}"))
        costs.append(f"{case} {r['try_seconds']:.3f} s against the nominal "
                     f"{r['nominal_try_seconds']:g} s")
        nominal_shares.append(f"{r['growing_nominal']['share_percent']:.2f} %")
        skip = r["skip_seconds"]
    note = (f"Figure 7: \"unreachable\" accepts the connection and never answers the TLS "
            f"handshake (the 10 s connect time-out), \"stalled\" completes TLS and never answers "
            f"the request (the 30 s transfer time-out). The plug-in's pause logic runs on the "
            f"benchmark's own clock through the render, every try failing; each try charged what one try through the plug-in's "
            f"posting step cost for real in the sandbox ({'; '.join(costs)}; with the nominal "
            f"time-outs as costs: {' and '.join(nominal_shares)}), each skipped message "
            f"{show_time(skip)}. Share: time lost / (rendering + time lost).")
    return rows, note


def preview_rows(out):
    """Figure 8: a frame's preview against the filter's pass-through (preview_bench)."""
    results = load(out, "preview")

    def median_at(name, side):
        return median_of_arg(results, name, side)

    rows = []
    for side, label in ((1920, "1920 × 1080, kept at its size"),
                        (3840, "3840 × 2160, halved")):
        preview = median_at("BM_PreviewCaptureAndEncode", side)
        capture = median_at("BM_PreviewCapture", side)
        encode = median_at("BM_PreviewEncode", side)
        copy = median_at("BM_PassThroughCopy", side)
        process = median_at("BM_PreviewFilterProcess", side)
        target = (f"≤ 25 ms for 1920 × 1080: {verdict(preview <= 25e-3)}" if side == 1920
                  else "—")
        rows.append((f"{preview / copy:.2f}",
                     f"8. Frame preview, {label}: capture + JPEG encode / the pass-through "
                     f"copy every filter does (setRGB and setAlpha per pixel)",
                     f"{show_time(preview)} (capture {show_time(capture)}, encode "
                     f"{show_time(encode)})", show_time(copy), target))
        rows.append((f"{process / copy:.2f}",
                     f"8. Frame preview, {label}: the filter's process (pass-through and "
                     f"capture) / the pass-through copy", show_time(process), show_time(copy),
                     "—"))
        srgb = median_at("BM_PreviewCaptureAndEncodeSrgb", side)
        srgb_process = median_at("BM_PreviewFilterProcessSrgb", side)
        srgb_target = (f"≤ 25 ms for 1920 × 1080: {verdict(srgb <= 25e-3)}" if side == 1920
                       else "—")
        rows.append((f"{srgb / copy:.2f}",
                     f"8. Frame preview, {label}, output color space sRGB: capture, "
                     f"conversion + JPEG encode / the pass-through copy", show_time(srgb),
                     show_time(copy), srgb_target))
        rows.append((f"{srgb_process / copy:.2f}",
                     f"8. Frame preview, {label}, output color space sRGB: the filter's "
                     f"process / the pass-through copy", show_time(srgb_process),
                     show_time(copy), "—"))
    note = ("Figure 8: no network; a rendered frame of smooth gradients with values above 1, "
            "below 0 and not a number, its lines read as the host hands them over; with sRGB "
            "output the conversion is the host stand-in's, asked for at each frame. The JPEG "
            "(quality 85, 4:2:0) is encoded where the preview is posted; the filter's process "
            "only collects it. Wall-clock medians.")
    return rows, note


def progress_rows(out):
    """Figure 9: the progress message's edits against a message a frame
    (progress_bench)."""
    r = load_json(out, "progress")
    ours, frames = r["progress"], r["frame_messages"]
    rtt_ms = 2 * r["latency_ms"]
    share = ours["share_percent"]
    rows = [(f"{ours['seconds_in_events'] / frames['seconds_in_events']:.3f}",
             f"9. Progress in one message, {r['frames']:,} frames of {r['frame_seconds']:g} s on "
             f"the {rtt_ms:g} ms link: render-thread time in `notifierEvent` / the same render "
             f"with the frame-rendered messages on",
             f"{share:.2f} % ({ours['seconds_in_events']:.1f} s, {ours['requests']:,} requests)",
             f"{frames['share_percent']:.2f} % ({frames['seconds_in_events']:.1f} s, "
             f"{frames['requests']:,} requests)",
             f"≤ 1 %: {verdict(share <= 1.0)}")]
    note = (f"Figure 9: the host's events of a {r['frames']:,}-frame render through "
            f"`notifierEvent`, every request over TLS through the relay; the plug-in's clock moves "
            f"{r['frame_seconds']:g} s a frame plus the time of the events, so the progress "
            f"message is edited at most every {r['edit_interval_seconds']:g} s as in a real "
            f"render. Requests: as the server logged them (the progress message's post, its "
            f"edits). Share: time in the events / (rendering + time in the events).")
    return rows, note


def upload_rows(out):
    """Figure 10: a preview's three calls against their floor (upload_bench)."""
    r = load_json(out, "upload")
    rtt = 2 * r["latency_ms"] * 1e-3
    line = r["line_seconds"]
    floor = 3 * rtt + line
    # A new connection adds the relay's round trip for the TCP handshake and
    # TLS 1.3's one.
    first_floor = floor + 2 * rtt * r["first_connects"]
    kb = r["bytes"] / 1000
    host = r["upload_url"].split("/")[2]
    rows = []
    for seconds, label, wall, connects in (
            (r["warm_seconds"], "three calls on kept connections", floor, r["warm_connects"]),
            (r["first_seconds"], f"the first of a client, upload host {host}", first_floor,
             r["first_connects"])):
        ratio = seconds / wall
        added = f" + {connects} × 2 RTT" if connects else ""
        rows.append((f"{ratio:.3f}",
                     f"10. Preview of {kb:,.0f} KB on the {rtt * 1e3:g} ms link, {label}: "
                     f"render-thread wait / floor (3 RTT + the bytes' time on the line{added})",
                     f"{show_wait(seconds, rtt)}, {connects} new connection{'' if connects == 1 else 's'}",
                     f"{show_time(wall)}", f"≤ 1.10: {verdict(ratio <= 1.10)}"))
    rate = r["bytes"] / line / 1e6 if line > 0 else float("inf")
    note = (f"Figure 10: getUploadURL, the {kb:,.0f} KB POSTed to the address it gave "
            f"({r['upload_url']}), completeUpload, through the client; medians of "
            f"{r['warm_previews']} previews warm and of {r['first_previews']} new clients, each "
            f"after one message. The bytes' time on the line, {show_time(line)} "
            f"({rate:,.0f} MB/s through the relay), is a bare libcurl POST of the bytes less "
            f"one of no bytes, both on a kept connection ({show_time(r['bare_bytes_seconds'])} "
            f"and {show_time(r['bare_empty_seconds'])}).")
    return rows, note


def queue_rows(out):
    """Figures 11 to 13: the module's posting thread (queue_bench)."""
    answering = load_json(out, "queue-answering")
    dead = {case: load_json(out, "queue-" + case) for case in ("unreachable", "stalled")
            if os.path.exists(os.path.join(out, "queue-%s.json" % case))}
    rtt_ms = 2 * answering["latency_ms"]
    median, p99 = answering["event_median_us"], answering["event_p99_us"]
    rows = [(f"{median:.1f} µs / {p99:.1f} µs",
             f"11. The render's time per posting event (frame started, frame rendered), "
             f"service answering over the {rtt_ms:g} ms link: median / 99th percentile of "
             f"{answering['frame_events']} events",
             f"{median:.1f} µs / {p99:.1f} µs", f"one round trip ({rtt_ms:g} ms) before",
             f"≤ 20 µs / ≤ 200 µs: {verdict(median <= 20 and p99 <= 200)}")]
    for case, r in dead.items():
        share = r["ten_hour_share_percent"]
        rows.append((f"{share:.3f} %",
                     f"12. Ten-hour render, service {case}: the render's share, the "
                     f"completion's wait ({r['completion_wait_s']:.1f} s) included",
                     f"{share:.3f} %", "0.30 % / 0.91 % (figure 7)",
                     f"≤ 0.05 %: {verdict(share <= 0.05)}"))
        rows.append((f"{r['shutdown_s']:.2f} s",
                     f"13. The module's shutdown with {r['queued_at_shutdown']} frame messages "
                     f"queued, service {case}", f"{r['shutdown_s']:.2f} s", "—",
                     f"≤ 11 s: {verdict(r['shutdown_s'] <= 11)}"))
    note = ("Figures 11 to 13: queue_bench drives `notifierEvent` with the module's posting "
            "thread running. Figure 12's share is 2,400 frame events at the measured median and "
            "the completion's wait, over ten hours; no try is made on the render's thread any "
            "more. Figure 13 times `moduleShutdown`'s work: up to 10 s of drain, then the "
            "transfer under way is ended.")
    return rows, note


def chart_rows(out):
    """Figure 15: the chart of the frame times (chart_bench)."""
    results = load(out, "chart")
    big = median_of_arg(results, "BM_ChartComposed", 100000)
    small = median_of_arg(results, "BM_ChartComposed", 20)
    handed = median_of_arg(results, "BM_TimesHandedToTheJob", 100000)
    rows = [(f"{big / small:.1f}",
             "15. Chart of a 100,000-frame render composed on the posting thread (20 bars, "
             "average and longest) / the chart of 20 frames", show_time(big), show_time(small),
             f"≤ 5 ms: {verdict(big <= 5e-3)}"),
            ("—", "15. The 100,000 frame times handed to the job on the render's thread (a copy)",
             show_time(handed), "—", "—")]
    note = ("Figure 15: no network; frames of 40 to 80 s and one of 5 min, kept as a frame "
            "number and a float each; composing is building the blocks' JSON text. Wall-clock "
            "medians.")
    return rows, note


def preview_line_rows(out):
    """Figure 14: the render's time per previewed frame on a slow line
    (preview_line_bench)."""
    r = load_json(out, "preview-line")
    median, longest = r["frame_median_ms"], r["frame_max_ms"]
    copy = r["pass_through_median_ms"]
    rate = f"{r['rate_kbit'] / 1000:g} Mbit/s"
    uploads = " and ".join(f"{b / 1000:.0f} KB" for b in r["upload_bytes"])
    rows = [(f"{median / copy:.2f}",
             f"14. Previewed frame, {r['width']} × {r['height']}, output color space sRGB, on a "
             f"{rate} line: the render's time per frame (frame started, the filter's process, "
             f"frame rendered) while the preview uploads / the pass-through copy",
             f"{median:.2f} ms median, {longest:.2f} ms longest of {r['frames']}",
             f"{copy:.2f} ms", f"≤ 15 ms: {verdict(median <= 15)}")]
    note = (f"Figure 14: preview_line_bench renders {r['frames']} frames back to back with the "
            f"preview filter applied and the frame-rendered messages on, the link to the service "
            f"limited to {rate} each way (tools/sandbox --rate); the posting thread encodes and "
            f"uploads the first frame's preview ({uploads} for the first and last, as the "
            f"server logged them) while the frames go on: the completion waited "
            f"{r['completion_wait_s']:.2f} s for it, the shutdown {r['shutdown_s']:.2f} s for "
            f"the last frame's. The longest frame-rendered event (the first one hands the "
            f"preview over) took {r['frame_done_max_ms']:.2f} ms. Frame and host buffers as in "
            f"figure 8.")
    return rows, note


def table(out):
    pairs = load(out, "pairs")
    curl = load(out, "curl")
    first = load(out, "first")
    long_run = load(out, "long")
    notifier = load(out, "notifier")

    pair_runs = runs(pairs, "BM_WarmMessagePairs")
    rounds = len(pair_runs)
    ours = statistics.median(r["ours_us"] for r in pair_runs) * 1e-6
    bare = statistics.median(r["bare_us"] for r in pair_runs) * 1e-6
    ratios = [r["ratio"] for r in pair_runs]
    ours_cpu = statistics.median(r["ours_cpu_us"] for r in pair_runs) * 1e-6
    bare_cpu = statistics.median(r["bare_cpu_us"] for r in pair_runs) * 1e-6
    cpu_ratios = [r["cpu_ratio"] for r in pair_runs]
    ours_allocs = statistics.median(r["ours_allocs"] for r in pair_runs)
    bare_allocs = statistics.median(r["bare_allocs"] for r in pair_runs)
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
    latency_out = os.path.join(out, "latency")
    logs = [read_log(out, step) for step in ("pairs", "curl", "first", "long")]
    logs += [read_log(latency_out, step) for step in ("warm", "first", "curl")]
    lengths = {line[3] for log in logs for line in log}
    bad_status = sum(1 for log in logs for line in log if line[4] != "200")

    rows = []
    rows.append((spread(ratios),
                 "1. Warm message, wall time: `ChatApi::postMessage` / bare libcurl handle, "
                 "same body and options, reused", f"{show_time(ours)}, {ours_allocs:.0f} allocs",
                 f"{show_time(bare)}, {bare_allocs:.0f} allocs",
                 f"≤ 1.10: {verdict(statistics.median(ratios) <= 1.10)}"))
    rows.append((spread(cpu_ratios),
                 "1. Warm message, thread CPU time: the same", show_time(ours_cpu),
                 show_time(bare_cpu),
                 f"≤ 1.10: {verdict(statistics.median(cpu_ratios) <= 1.10)}"))
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
    more_rows, latency_note = latency_rows(latency_out)
    rows += more_rows
    more_rows, render_note = render_rows(out)
    rows += more_rows
    more_rows, preview_note = preview_rows(out)
    rows += more_rows
    more_rows, progress_note = progress_rows(out)
    rows += more_rows
    more_rows, upload_note = upload_rows(out)
    rows += more_rows
    more_rows, queue_note = queue_rows(out)
    rows += more_rows
    more_rows, preview_line_note = preview_line_rows(out)
    more_rows, chart_note = chart_rows(out)
    rows += more_rows

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
    lines.append(f"Figure 1: median of {rounds} rounds (min–max in brackets), each the median "
                 f"of batches of messages of ours and of the baseline taking turns on one "
                 f"connection each; the verdict is the median's. Other times are wall-clock "
                 f"medians. Allocations count every malloc of the process. Request body: "
                 f"{', '.join(sorted(lengths))} bytes in every figure.")
    lines.append(latency_note)
    lines.append(render_note)
    lines.append(preview_note)
    lines.append(progress_note)
    lines.append(upload_note)
    lines.append(queue_note)
    lines.append(preview_line_note)
    lines.append(chart_note)
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
