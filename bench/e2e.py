#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""End-to-end search bench: docseek-engine with --latency, one 6-type x COUNT-hit
search through the docseek CLI, with preload on and off (two builds of the
plug-in). Prints wall time / latency, the engine's connections and requests,
the CLI's peak RSS, and whether both builds returned the same bytes; then the
minimal C host's peak RSS over many searches.

  bench/e2e.py --bin BUILD/bin --plugin-on LIB --plugin-off LIB [--latency 500]
               [--count 100] [--runs 3] [--host BUILD/bin/search_host --searches 1000]
"""
import argparse
import json
import os
import statistics
import subprocess
import sys
import tempfile
import time

TYPES = "pdf,doc,xls,ppt,rtf,sogou"


def start_engine(binary, latency, log):
    engine = subprocess.Popen([binary, "--latency", str(latency), "--log", log],
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    line = engine.stdout.readline()
    if not line.startswith("port "):
        raise SystemExit("engine did not start: " + line)
    return engine, int(line.split()[1])


def stop_engine(engine):
    engine.terminate()
    _, err = engine.communicate(timeout=10)
    fields = err.split()
    counts = dict(zip(fields[0::2], fields[1::2]))
    return int(counts.get("connections", -1)), int(counts.get("requests", -1))


def one_search(args, plugin, latency):
    with tempfile.TemporaryDirectory() as tmp:
        log = os.path.join(tmp, "requests.log")
        engine, port = start_engine(os.path.join(args.bin, "docseek-engine"), latency, log)
        env = dict(os.environ, http_proxy="http://127.0.0.1:%d" % port)
        env.pop("DISPLAY", None)
        env.pop("WAYLAND_DISPLAY", None)
        start = time.monotonic()
        # /usr/bin/time reports the CLI's own peak; a child's ru_maxrss seen from here would
        # include this Python process's memory copied at fork.
        run = subprocess.run(["/usr/bin/time", "-f", "%M", os.path.join(args.bin, "docseek"),
                              "--plugin", plugin, "search", "report", "--types", TYPES,
                              "--count", str(args.count), "--no-window", "--format", "raw"],
                             env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE, check=True)
        wall = time.monotonic() - start
        out = run.stdout
        rss = int(run.stderr.decode().strip().splitlines()[-1])
        connections, requests = stop_engine(engine)
        lines = [json.loads(l) for l in open(log)]
        targets = [l["target"] for l in lines]
        cookies = [l["cookie"] for l in lines]
    return {"wall": wall, "connections": connections, "requests": requests,
            "rss_kib": rss, "out": out, "targets": targets,
            "cookies": cookies}


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--bin", required=True)
    p.add_argument("--plugin-on", required=True)
    p.add_argument("--plugin-off", required=True)
    p.add_argument("--latency", type=int, default=500)
    p.add_argument("--count", type=int, default=100)
    p.add_argument("--runs", type=int, default=3)
    p.add_argument("--host")
    p.add_argument("--searches", type=int, default=1000)
    p.add_argument("--host-latency", type=int, default=0)
    args = p.parse_args()

    print("end to end: %s x %d hits, engine --latency %d ms, median of %d runs; load average %s"
          % (TYPES, args.count, args.latency, args.runs, open("/proc/loadavg").read().split()[:3]))
    print("%-12s %10s %10s %12s %9s %13s" % ("preload", "wall s", "wall/lat", "connections",
                                            "requests", "peak RSS MiB"))
    results = {}
    for name, plugin in (("on", args.plugin_on), ("off", args.plugin_off)):
        runs = [one_search(args, plugin, args.latency) for _ in range(args.runs)]
        wall = statistics.median(r["wall"] for r in runs)
        rss = max(r["rss_kib"] for r in runs)
        results[name] = runs
        print("%-12s %10.3f %10.2f %12s %9s %13.1f" % (
            name, wall, wall / (args.latency / 1000.0),
            "/".join(str(r["connections"]) for r in runs),
            "/".join(str(r["requests"]) for r in runs), rss / 1024.0))
    on, off = results["on"][0], results["off"][0]
    same_out = all(r["out"] == off["out"] for r in results["on"] + results["off"])
    print("results byte-identical across builds and runs: %s (%d bytes)" % (same_out, len(off["out"])))
    print("same requests (as a set) with and without preload: %s; first request: %s"
          % (sorted(on["targets"]) == sorted(off["targets"]), on["targets"][0] == off["targets"][0]))
    print("cookies sent with preload: %s" % on["cookies"])

    if args.host:
        with tempfile.TemporaryDirectory() as tmp:
            engine, port = start_engine(os.path.join(args.bin, "docseek-engine"),
                                        args.host_latency, os.path.join(tmp, "log"))
            env = dict(os.environ, http_proxy="http://127.0.0.1:%d" % port)
            env.pop("DISPLAY", None)
            env.pop("WAYLAND_DISPLAY", None)
            for searches in (1, args.searches):
                out = subprocess.run([args.host, args.plugin_on, str(searches), str(args.count)],
                                     env=env, stdout=subprocess.PIPE, check=True, text=True).stdout
                got = dict(l.split() for l in out.splitlines())
                print("C host, %d search(es): lines/search %s, peak RSS at start %.1f MiB, plug-in "
                      "loaded %.1f MiB, after the first search %.1f MiB, after the last %.1f MiB"
                      % (searches, got["lines_per_search"], int(got["peak_kib_start"]) / 1024,
                         int(got["peak_kib_loaded"]) / 1024,
                         int(got["peak_kib_after_first"]) / 1024,
                         int(got["peak_kib_after_last"]) / 1024))
            stop_engine(engine)
    return 0 if same_out else 1


if __name__ == "__main__":
    sys.exit(main())
