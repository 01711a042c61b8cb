#!/usr/bin/env python3
"""Processor time each viewer spends playing an animation, on the private Xvfb desktop
of bench.py: the viewer opens the file full screen, plays it for a warm-up, then its
CPU time (user + system, /proc) over --seconds is divided by the frames the file shows
in that time, and its peak RSS is read. Prints a markdown table.

  animation_cpu.py --config viewers.conf FILE:FPS... [--viewers pavo qimgv eog] [--own-size]
                   [--fill]
"""
import argparse
import os
import sys
import time
import types

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import bench  # noqa: E402  (the harness beside this script)


def measure(b, v, path, seconds, warmup):
    b.files = [path]
    why = b.prepare(v)
    if why:
        return {"error": why}
    with open(os.path.join(b.s.workdir, "%s.log" % v["name"]), "a") as logf:
        vp = bench.subprocess.Popen(v["argv"], env=b.venv(v), cwd=b.home(v),
                                    stdin=bench.subprocess.DEVNULL, stdout=logf,
                                    stderr=bench.subprocess.STDOUT, start_new_session=True)
        try:
            time.sleep(warmup)
            start = bench.cpu_seconds(vp.pid)
            time.sleep(seconds)
            end = bench.cpu_seconds(vp.pid)
            hwm = bench.proc_status(vp.pid, "VmHWM")
        finally:
            bench.stop_group(vp)
    if start is None or end is None:
        return {"error": "exited"}
    return {"cpu_s": end - start, "hwm_mb": (hwm or 0) / 1024.0}


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--config", default=os.path.join(HERE, "viewers.conf"))
    ap.add_argument("--seconds", type=float, default=10.0)
    ap.add_argument("--warmup", type=float, default=3.0)
    ap.add_argument("--rounds", type=int, default=3)
    ap.add_argument("--viewers", nargs="*", default=["pavo", "qimgv", "eog"])
    ap.add_argument("--results", default="/tmp/pavo-animation-cpu")
    ap.add_argument("--own-size", action="store_true",
                    help="also Pavo at the pictures' own size (prep/pavo-own.sh)")
    ap.add_argument("--fill", action="store_true",
                    help="also qimgv scaling small pictures up to its window (prep/qimgv-fill.sh) "
                    "and Pavo filling with its filter, bilinear (prep/pavo-bilinear.sh)")
    ap.add_argument("animations", nargs="+", help="FILE:FPS (frames per second it shows)")
    a = ap.parse_args()
    viewers = [v for v in bench.load_config(a.config) if v["name"] in a.viewers]
    if a.own_size:
        viewers += [dict(v, name="pavo-own") for v in viewers if v["name"] == "pavo"]
    if a.fill:
        viewers += [dict(v, name="qimgv-fill") for v in viewers if v["name"] == "qimgv"]
        viewers += [dict(v, name="pavo-bilinear") for v in viewers if v["name"] == "pavo"]
    workdir = os.path.join(a.results, time.strftime("%Y%m%d-%H%M%S"))
    os.makedirs(workdir, exist_ok=True)
    bench.set_subreaper()
    session = bench.Session(workdir)
    rows = []
    try:
        session.start()
        args = types.SimpleNamespace(xprobe="true", probe_opts="", min_frac=0.8)
        for animation in a.animations:
            path, fps = animation.rsplit(":", 1)
            manifest = {"photos_dir": os.path.dirname(path),
                        "images": [{"file": os.path.basename(path), "width": 1, "height": 1,
                                    "marker_inset": 0, "marker": "000000"}]}
            b = bench.Bench(args, session, manifest)
            for v in viewers:
                runs = [measure(b, v, path, a.seconds, a.warmup) for _ in range(a.rounds)]
                ok = [r for r in runs if "cpu_s" in r]
                frames = float(fps) * a.seconds
                rows.append((os.path.basename(path), v["name"],
                             bench.med([1000.0 * r["cpu_s"] / frames for r in ok]) if ok else None,
                             bench.med([r["hwm_mb"] for r in ok]) if ok else None,
                             "" if ok else runs[0].get("error", "")))
    finally:
        session.stop()
        bench.reap_orphans(set())
    print("| animation | viewer | CPU ms per frame (median of %d) | peak RSS MB | note |" % a.rounds)
    print("|---|---|---:|---:|---|")
    for name, viewer, cpu, rss, note in rows:
        print("| %s | %s | %s | %s | %s |" % (name, viewer, bench.fmt(cpu, 2), bench.fmt(rss), note))


if __name__ == "__main__":
    main()
