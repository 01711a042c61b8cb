#!/usr/bin/env python3
"""Deterministic, photo-like test set for the viewer benchmark.

Writes ~20 images into OUTDIR/photos/ and OUTDIR/manifest.json (default
OUTDIR /tmp/pavo-bench-images, i.e. outside git; photos/ holds nothing but
the images, so viewers that browse the folder see exactly the test set).  Content is an upscaled plasma
fractal (smooth "scene" structure), desaturated, plus Gaussian sensor-like
noise, so JPEG entropy/decode cost is realistic (~7 MB per 24 MP q90 JPEG).

Every image carries flat, fully saturated marker patches (4 corners + centre)
in a colour unique to that image; the probe identifies the image on screen by
that colour.  Content saturation is capped (-modulate 100,55) so no content
pixel run can be mistaken for a marker.  The corner patches also let the
harness compute the on-screen scale (fit check).

Deterministic for a given --seed and ImageMagick build (IM's -seed drives
plasma and noise).  Regeneration is skipped when the manifest matches.

Usage: gen_images.py [--seed N] [--out DIR] [--jobs N] [--force]
"""
import argparse
import colorsys
import concurrent.futures as cf
import hashlib
import json
import os
import shutil
import subprocess
import sys

GEN_VERSION = 3

# (name, kind, width, height).  Files sort identically by plain name and by
# natural sort, so every viewer walks them in the same order.  The benchmark
# opens img01 and steps through img02..img11 (6 landscape JPEGs, 1 portrait
# JPEG, 1 RGBA PNG, 1 WebP, 1 16-bit PNG); the rest make a realistic folder.
IMAGE_SET = [
    ("img01.jpg", "jpeg", 6000, 4000),
    ("img02.jpg", "jpeg", 6000, 4000),
    ("img03.jpg", "jpeg", 6000, 4000),
    ("img04.png", "png_rgba", 3000, 2000),
    ("img05.jpg", "jpeg", 6000, 4000),
    ("img06.webp", "webp", 6000, 4000),
    ("img07.jpg", "jpeg", 6000, 4000),
    ("img08.png", "png16", 3000, 2000),
    ("img09.jpg", "jpeg", 4000, 6000),
    ("img10.jpg", "jpeg", 6000, 4000),
    ("img11.jpg", "jpeg", 6000, 4000),
    ("img12.png", "png_rgba", 3000, 2000),
    ("img13.jpg", "jpeg_progressive", 6000, 4000),
    ("img14.jpg", "jpeg", 6000, 4000),
    ("img15.jpg", "jpeg", 6000, 4000),
    ("img16.jpg", "jpeg", 4000, 6000),
    ("img17.png", "png_rgba", 3000, 2000),
    ("img18.jpg", "jpeg", 6000, 4000),
    ("img19.webp", "webp", 6000, 4000),
    ("img20.jpg", "jpeg", 6000, 4000),
]

# Sets for the first image only (--modes fitcheck): pictures far larger than the screen.
# Each is a folder of its own, so viewers that look at the neighbours find these.
HUGE_SETS = {
    # three 192 MP photos
    "huge": [("huge01.jpg", "jpeg", 16000, 12000),
             ("huge02.jpg", "jpeg", 16000, 12000),
             ("huge03.jpg", "jpeg", 16000, 12000)],
    # a 192 MP photo opened with a 600 MP one beside it
    "giant": [("giant01.jpg", "jpeg", 16000, 12000),
              ("giant02.jpg", "jpeg", 30000, 20000)],
    # a 100 MP PNG
    "png100": [("big01.png", "png", 12240, 8160),
               ("big02.png", "png", 12240, 8160)],
}


def marker_color(i):
    """Fully saturated hue, 18 degrees apart; consecutive images far apart."""
    hue = ((i * 7) % 20) * 18 / 360.0
    r, g, b = colorsys.hsv_to_rgb(hue, 1.0, 1.0)
    return "%02x%02x%02x" % (round(r * 255), round(g * 255), round(b * 255))


def marker_geometry(w, h):
    short = min(w, h)
    s = round(0.10 * short)  # corner patch size
    m = round(0.04 * short)  # inset from the edges
    c = round(0.16 * short)  # centre patch size
    rects = [
        (m, m, m + s - 1, m + s - 1),
        (w - m - s, m, w - m - 1, m + s - 1),
        (m, h - m - s, m + s - 1, h - m - 1),
        (w - m - s, h - m - s, w - m - 1, h - m - 1),
        ((w - c) // 2, (h - c) // 2, (w - c) // 2 + c - 1, (h - c) // 2 + c - 1),
    ]
    return s, m, c, rects


def find_convert():
    for cand in ("/usr/bin/convert", shutil.which("convert") or ""):
        if cand and os.path.exists(cand):
            try:
                v = subprocess.run([cand, "-version"], capture_output=True,
                                   text=True, timeout=20).stdout
            except Exception:
                continue
            if "ImageMagick" in v:
                return cand, v.splitlines()[0]
    sys.exit("ImageMagick convert not found: apt-get install imagemagick")


def build_cmd(conv, seed, i, name, kind, w, h, color, out):
    _, _, _, rects = marker_geometry(w, h)
    draw = []
    for (x0, y0, x1, y1) in rects:
        draw += ["-draw", "rectangle %d,%d %d,%d" % (x0, y0, x1, y1)]
    base = [conv, "-seed", str(seed * 100 + i),
            "-size", "%dx%d" % (max(w // 4, 1), max(h // 4, 1)),
            "plasma:fractal", "-blur", "0x2",
            "-resize", "%dx%d!" % (w, h),
            "-modulate", "100,55"]
    noise = ["-attenuate", "0.5", "+noise", "Gaussian"]
    fill = ["-fill", "#" + color] + draw
    if kind in ("jpeg", "jpeg_progressive"):
        extra = ["-interlace", "JPEG"] if kind == "jpeg_progressive" else []
        return base + noise + fill + extra + [
            "-sampling-factor", "2x2", "-quality", "90", "-strip", out]
    if kind == "webp":
        return base + noise + fill + ["-quality", "90", "-strip", out]
    if kind == "png_rgba":
        # alpha: soft radial falloff (20%..100% opaque); markers stay opaque
        return base + noise + [
            "(", "-size", "%dx%d" % (w, h), "radial-gradient:white-gray20", ")",
            "-alpha", "off", "-compose", "CopyOpacity", "-composite",
            "-compose", "Over"] + fill + ["-strip", "PNG32:" + out]
    if kind == "png":
        return base + noise + fill + ["-strip", "PNG24:" + out]
    if kind == "png16":
        return base + ["-attenuate", "0.25", "+noise", "Gaussian"] + fill + [
            "-depth", "16", "-strip", "PNG48:" + out]
    raise ValueError(kind)


def sha256(path):
    h = hashlib.sha256()
    with open(path, "rb") as f:
        for chunk in iter(lambda: f.read(1 << 20), b""):
            h.update(chunk)
    return h.hexdigest()


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--out", default="/tmp/pavo-bench-images")
    ap.add_argument("--jobs", type=int, default=2)
    ap.add_argument("--force", action="store_true")
    ap.add_argument("--set", default="photos", choices=["photos"] + sorted(HUGE_SETS),
                    help="the 24 MP step set (photos), or one of the huge ones")
    ap.add_argument("--gen-huge", default=None,
                    help="the gen_huge program (built from gen_huge.c), for the huge sets")
    a = ap.parse_args()
    image_set = IMAGE_SET if a.set == "photos" else HUGE_SETS[a.set]
    if a.set != "photos" and not a.gen_huge:
        sys.exit("the huge sets are written by gen_huge: pass --gen-huge")

    conv, imver = find_convert()
    mpath = os.path.join(a.out, "manifest.json")
    pdir = os.path.join(a.out, "photos")
    if not a.force and os.path.exists(mpath):
        try:
            old = json.load(open(mpath))
            same_layout = [(e["file"], e["kind"], e["width"], e["height"])
                         for e in old["images"]] == [tuple(x) for x in image_set]
            if (old.get("seed") == a.seed and old.get("gen_version") == GEN_VERSION
                    and same_layout and all(os.path.getsize(os.path.join(pdir, e["file"])) == e["bytes"]
                            for e in old["images"])):
                print("test set up to date: %s" % a.out)
                return
        except Exception:
            pass
    os.makedirs(pdir, exist_ok=True)
    for d in (a.out, pdir):  # clear stale files so photos/ == manifest
        for f in os.listdir(d):
            p = os.path.join(d, f)
            if os.path.isfile(p):
                os.remove(p)

    jobs = []
    for i, (name, kind, w, h) in enumerate(image_set, start=1):
        color = marker_color(i)
        out = os.path.join(pdir, name)
        if a.set == "photos":
            cmd = build_cmd(conv, a.seed, i, name, kind, w, h, color, out)
        else:  # row by row: ImageMagick's policy refuses pictures this large
            cmd = [a.gen_huge, "png" if kind == "png" else "jpeg", str(w), str(h), color,
                   str(a.seed * 100 + i), out]
        jobs.append((i, name, kind, w, h, color, out, cmd))

    def run(job):
        r = subprocess.run(job[-1], capture_output=True, text=True)
        if r.returncode != 0:
            raise RuntimeError("%s: %s" % (job[1], r.stderr.strip()))
        return job[1]

    with cf.ThreadPoolExecutor(max_workers=max(1, a.jobs)) as ex:
        for name in ex.map(run, jobs):
            print("generated", name, flush=True)

    images = []
    for (i, name, kind, w, h, color, out, _) in jobs:
        s, m, c, rects = marker_geometry(w, h)
        images.append({"index": i, "file": name, "kind": kind, "width": w,
                       "height": h, "marker": color, "marker_inset": m,
                       "marker_size": s, "center_size": c,
                       "bytes": os.path.getsize(out), "sha256": sha256(out)})
    json.dump({"seed": a.seed, "gen_version": GEN_VERSION, "imagemagick": imver,
               "photos_dir": pdir, "images": images}, open(mpath, "w"), indent=1)
    print("wrote %d images + manifest to %s" % (len(images), a.out))


if __name__ == "__main__":
    main()
