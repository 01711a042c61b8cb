#!/usr/bin/env python3
"""The model and the random choices of the end-to-end monkey (monkey_test.sh).

The shell script drives Pavo on the X desktop; this helper keeps what the monkey knows
about the picture folder and judges what it sees:

  plan SEED COUNT                  the seeded action list, one action a line
  setup STATE FOLDER SEED          writes the pictures; prints the path to start Pavo on
  change STATE ACTION...           a change behind Pavo's back; prints it resolved
  delete STATE ANSWER KEY          a Delete is about to be typed, to be answered with KEY
  box STATE TITLE TEXT MAIN_TITLE COLOURS
                                   judges one of Pavo's boxes; prints the key answering it
                                   (COLOURS: the main window's colours while a Delete box
                                   is up, "count #RRGGBB" lines)
  delete-done STATE                Yes has had its effect: the file is gone (or a box says
                                   why not)
  check STATE TITLE TRASH          the title, the folder and the trash after an action
  box-text BUS TITLE               the text of Pavo's box of that title, read over the
                                   accessibility bus (AT-SPI) as a screen reader reads it
  store FILE                       the settings store reads back

File names are bytes (one is not UTF-8); the state file keeps them as hex.
"""

import hashlib
import json
import os
import random
import re
import subprocess
import sys
import time
import urllib.parse

# The starting folder: distinct flat colours and sizes, the four formats, natural order
# (9 before 10), a name that is not UTF-8 and, beside it, the name its text shows as (the
# byte \xFF reads as U+FFFD), so a delete that turns the one into the other hits a file.
PICTURES = [
    (b"a red.png", "png", 320, 200),
    (b"b.jpg", "jpg", 200, 300),
    (b"c.bmp", "bmp", 260, 260),
    (b"d.ppm", "ppm", 360, 180),
    (b"e\xff.png", "png", 240, 200),
    (b"e\xef\xbf\xbd.png", "png", 200, 240),
    (b"f 9.jpg", "jpg", 300, 220),
    (b"f 10.bmp", "bmp", 180, 320),
]
FORMATS = ["png", "jpg", "bmp", "ppm"]

# What the monkey does, with how often; Escape quits outside fullscreen, so the script
# types it only while the window is fullscreen.
KEYS = {
    "Right": 6, "Left": 5, "Up": 2, "Down": 2, "space": 3, "Home": 2, "End": 2,
    "Page_Up": 2, "Page_Down": 2, "shift+Right": 2, "plus": 3, "minus": 2, "t": 2, "y": 2,
    "f": 2, "r": 2, "i": 1, "q": 1, "1": 1, "2": 1, "3": 1, "F5": 3, "period": 3,
    "comma": 3, "l": 2, "Return": 2, "Escape": 2, "KP_Enter": 1, "KP_Left": 2, "KP_Add": 2,
}
OTHERS = {
    "burst": 4, "wheel": 5, "delete": 6, "goto": 6, "resize": 3, "maximize": 2,
    "remove": 2, "truncate": 3, "replace": 3, "garbage": 3, "rename": 2, "add": 2,
}
# Keys typed in a burst, as a held key repeats: presses that queue while a step decodes
# reach Pavo together and jump.
BURST_KEYS = ["Right", "Left", "space", "Down", "Up"]
# The boxes Pavo may show, by title, with the texts each may carry (PATH: a path of the
# folder); the Delete question is judged on its own.
BOX_TEXTS = {
    "Not Supported": [r"No supported files found\.", r"Failed to load (?P<path>.*)\."],
    "Delete failed": [
        r"Could not delete (?P<path>.*)\.",
        r"The file could not be moved to the trash, so nothing was deleted\.\n(?P<path>.*)",
    ],
}
QUESTION = re.compile(r"Move this file to the trash\?\n(?P<path>.*)", re.S)
COLOUR_TOLERANCE = 16  # JPEG moves a flat colour by a few steps; the palette is 51 apart
COLOUR_SEEN = 200  # pixels of a colour that show a picture, not an edge
REGISTRY_ROOT = "/org/a11y/atspi/accessible/root"


def fail(message):
    print(message)
    sys.exit(1)


# ---------------------------------------------------------------- names and the state


def display(path):
    """The text Pavo shows for a path: each byte that is not UTF-8 as U+FFFD."""
    text = path.decode("utf-8", "surrogateescape")
    return "".join("\ufffd" if 0xDC80 <= ord(c) <= 0xDCFF else c for c in text)


def shown(name):
    """A name for the log, one word: spaces and bytes outside printable ASCII as \\xNN."""
    return "".join(chr(b) if 32 < b < 127 and b != 92 else f"\\x{b:02x}" for b in name)


def unshown(text):
    return re.sub(rb"\\x([0-9a-f]{2})", lambda m: bytes([int(m.group(1), 16)]), text.encode())


def load(path):
    with open(path, encoding="ascii") as f:
        return json.load(f)


def save(path, state):
    with open(path, "w", encoding="ascii") as f:
        json.dump(state, f, indent=1)


def folder(state):
    return bytes.fromhex(state["folder"])


def full(state, name_hex):
    return folder(state) + b"/" + bytes.fromhex(name_hex)


def digest(path):
    with open(path, "rb") as f:
        return hashlib.sha1(f.read()).hexdigest()


def palette(seed):
    """Flat colours 51 steps apart, no greys (the view's own colours), in a seeded order."""
    levels = range(0, 256, 51)
    colours = [(r, g, b) for r in levels for g in levels for b in levels if not r == g == b]
    random.Random(seed).shuffle(colours)
    return ["#%02X%02X%02X" % c for c in colours]


def next_colour(state):
    colour = state["palette"][state["colours_used"] % len(state["palette"])]
    state["colours_used"] += 1
    return colour


def write_picture(path, fmt, width, height, colour):
    with open(path, "wb") as out:
        subprocess.run(["convert", "-size", f"{width}x{height}", f"xc:{colour}", f"{fmt}:-"],
                       check=True, stdout=out)


def record(state, name_hex, colour=None):
    """The file as it is now on disk, with the colours its contents ever had."""
    entry = state["files"].setdefault(name_hex, {"colours": []})
    entry["hash"] = digest(full(state, name_hex))
    if colour:
        entry["colours"].append(colour)
    if name_hex not in state["ever"]:
        state["ever"].append(name_hex)


# ---------------------------------------------------------------- plan and setup


def plan(seed, count):
    rng = random.Random(seed)
    kinds = list(KEYS) + list(OTHERS)
    weights = list(KEYS.values()) + list(OTHERS.values())
    for _ in range(count):
        kind = rng.choices(kinds, weights)[0]
        pick = f"{rng.random():.4f}"
        if kind in KEYS:
            print(f"key {kind}")
        elif kind == "burst":
            print(f"burst {rng.choice(BURST_KEYS)} {rng.randint(2, 6)}")
        elif kind == "wheel":
            print(f"wheel {rng.choice(['up', 'down'])} {rng.randint(1, 3)}")
        elif kind == "delete":
            print("delete " + rng.choice(["yes Return", "yes y", "no n", "no Escape"]))
        elif kind == "goto":
            print(f"goto {rng.randint(0, 11)}")
        elif kind == "resize":
            print(f"resize {rng.randint(0, 300)} {rng.randint(0, 200)} "
                  f"{rng.randint(200, 1100)} {rng.randint(150, 650)}")
        elif kind == "maximize":
            print("maximize")
        elif kind == "replace":
            fmt = rng.choice(FORMATS)
            # Now and then a large photo-sized picture, so that a step takes long enough
            # for keys to queue behind it.
            large = " 4000x3000" if fmt in ("jpg", "png") and rng.random() < 0.3 else ""
            print(f"replace {pick} {fmt}{large}")
        elif kind == "add":
            print(f"add {rng.choice(FORMATS)}")
        elif kind == "garbage":
            print(f"garbage {pick} {rng.randint(1, 10**6)}")
        else:
            print(f"{kind} {pick}")


def setup(state_path, folder_path, seed):
    os.makedirs(folder_path, exist_ok=True)
    state = {"folder": folder_path.hex(), "files": {}, "ever": [], "confirmations": [],
             "palette": palette(seed), "colours_used": 0, "made": 0, "pending": None,
             "failed_under": None}
    for name, fmt, width, height in PICTURES:
        colour = next_colour(state)
        write_picture(folder_path + b"/" + name, fmt, width, height, colour)
        record(state, name.hex(), colour)
    save(state_path, state)
    start = random.Random(seed).choice(PICTURES)[0]
    sys.stdout.buffer.write(folder_path + b"/" + start)


# ---------------------------------------------------------------- changes behind Pavo's back


def target(state, pick):
    """The file a pick names: a fraction of the sorted names, or "=name" as logged."""
    if pick.startswith("="):
        name_hex = unshown(pick[1:]).hex()
        return name_hex if name_hex in state["files"] else None
    names = sorted(state["files"], key=bytes.fromhex)
    return names[int(float(pick) * len(names))] if names else None


def fresh_name(state, stem, ext):
    state["made"] += 1
    return f"{stem}-{state['made']}.{ext}".encode().hex()


def extension(name_hex):
    name = bytes.fromhex(name_hex)
    return name.rsplit(b".", 1)[1].decode("utf-8", "replace") if b"." in name else "png"


def change(state_path, kind, args):
    state = load(state_path)
    # Sizes follow the colours handed out, so that a log replayed writes the same files.
    rng = random.Random(state["colours_used"])
    size = (rng.randint(120, 480), rng.randint(120, 480))
    if kind == "replace" and len(args) > 2:
        size = tuple(int(v) for v in args[2].split("x"))
    if kind == "add":
        name_hex = fresh_name(state, "new", args[0])
        colour = next_colour(state)
        write_picture(full(state, name_hex), args[0], *size, colour)
        record(state, name_hex, colour)
        save(state_path, state)
        print(f"add {args[0]}  # as {shown(bytes.fromhex(name_hex))}")
        return
    name_hex = target(state, args[0])
    if name_hex is None:
        print(f"{kind} {' '.join(args)}  # skipped: no such file")
        return
    path = full(state, name_hex)
    label = "=" + shown(bytes.fromhex(name_hex))
    colour = None
    if kind == "remove":
        os.remove(path)
        del state["files"][name_hex]
    elif kind == "truncate":
        open(path, "wb").close()
    elif kind == "replace":
        colour = next_colour(state)
        write_picture(path, args[1], *size, colour)
    elif kind == "garbage":
        noise = random.Random(int(args[1]))
        if noise.random() < 0.5:
            data = bytes(noise.getrandbits(8) for _ in range(noise.randint(1, 3000)))
        else:  # a picture cut short: a header that promises more than follows
            colour = next_colour(state)
            write_picture(path, noise.choice(FORMATS), 300, 200, colour)
            with open(path, "rb") as f:
                whole = f.read()
            data = whole[: max(1, len(whole) * noise.randint(20, 80) // 100)]
        with open(path, "wb") as f:
            f.write(data)
    elif kind == "rename":
        new_hex = fresh_name(state, "renamed", extension(name_hex))
        os.rename(path, full(state, new_hex))
        state["files"][new_hex] = state["files"].pop(name_hex)
        record(state, new_hex)
        print(f"rename {label}  # to {shown(bytes.fromhex(new_hex))}")
        save(state_path, state)
        return
    if kind != "remove":
        record(state, name_hex, colour)
    save(state_path, state)
    print(" ".join([kind, label] + args[1:]))


# ---------------------------------------------------------------- Pavo's boxes


def colours_seen(colours_path):
    seen = []
    with open(colours_path) as f:
        for line in f:
            count, colour = line.split()
            if int(count) >= COLOUR_SEEN:
                seen.append(tuple(int(colour[i:i + 2], 16) for i in (1, 3, 5)))
    return seen


def shows_one_of(colours, seen):
    for colour in colours:
        rgb = tuple(int(colour[i:i + 2], 16) for i in (1, 3, 5))
        if any(max(abs(a - b) for a, b in zip(rgb, s)) <= COLOUR_TOLERANCE for s in seen):
            return True
    return False


def question_candidates(state, path_text, colours_path):
    """The files the Delete question may mean: those whose path reads as its text; when
    two read alike, the one whose picture the view showed (every picture written has a
    colour of its own)."""
    named = [n for n in state["files"] if display(full(state, n)) == path_text]
    # After a failed load the view may still hold the picture before it, under the old
    # title, until a load succeeds and changes the title: the colours then prove nothing.
    if len(named) > 1 and state["failed_under"] is None:
        seen = colours_seen(colours_path)
        on_view = [n for n in named if shows_one_of(state["files"][n]["colours"], seen)]
        if on_view:
            return on_view
    return named


def judge_box(state_path, title, text, main_title, colours_path):
    state = load(state_path)
    ever = {display(full(state, n)) for n in state["ever"]}
    if title == "Delete file":
        pending = state["pending"]
        if not pending or pending.get("asked"):
            fail(f"a 'Delete file' box ({text!r}) that no Delete key asked for")
        match = QUESTION.fullmatch(text)
        if not match:
            fail(f"the 'Delete file' box reads {text!r}")
        named = question_candidates(state, match["path"], colours_path)
        if not named:
            fail(f"the 'Delete file' box asks about {match['path']!r}, which is not in the folder")
        pending["asked"] = True
        if pending["answer"] == "yes":
            state["confirmations"].append({
                "text": match["path"], "candidates": named,
                "hashes": {n: state["files"][n]["hash"] for n in named}, "state": "open"})
        save(state_path, state)
        print(pending["key"])
        return
    for pattern in BOX_TEXTS.get(title, []):
        match = re.fullmatch(pattern, text, re.S)
        if match:
            break
    else:
        fail(f"a box Pavo should never show: {title!r} reading {text!r}")
    path = match.groupdict().get("path")
    if path is not None and path not in ever:
        fail(f"the box {title!r} names {path!r}, which was never in the folder")
    if text.startswith("Failed to load"):
        state["failed_under"] = main_title
    if text.startswith("The file could not be moved to the trash"):
        for conf in state["confirmations"]:
            if conf["state"] == "open" and conf["text"] == path:
                conf["state"] = "refused"
    save(state_path, state)
    print("Return")


def note_delete(state_path, answer, key):
    state = load(state_path)
    state["pending"] = {"answer": answer, "key": key}
    save(state_path, state)


def delete_done(state_path):
    """Pavo, slowed by a busy machine, may not have moved the file yet when the window
    looks at rest: the judgement waits until a file has left the folder after Yes."""
    state = load(state_path)
    unchanged = {n.hex() for n in os.listdir(folder(state))} == set(state["files"])
    if unchanged and any(conf["state"] == "open" for conf in state["confirmations"]):
        sys.exit(1)


# ---------------------------------------------------------------- after each action


def trashed(trash, path):
    """The trash entries (info and file) whose .trashinfo names the path."""
    info_dir = os.path.join(trash, b"info")
    found = []
    for entry in sorted(os.listdir(info_dir)) if os.path.isdir(info_dir) else []:
        if not entry.endswith(b".trashinfo"):
            continue
        with open(os.path.join(info_dir, entry), "rb") as f:
            lines = f.read().split(b"\n")
        names = [urllib.parse.unquote_to_bytes(line[5:])
                 for line in lines if line.startswith(b"Path=")]
        if lines[0] == b"[Trash Info]" and names == [path]:
            found.append(os.path.join(trash, b"files", entry[: -len(b".trashinfo")]))
    return found


def check(state_path, title, trash):
    state = load(state_path)
    problems = []
    ever = {display(full(state, n)) for n in state["ever"]}
    if title and title not in ever:
        problems.append(f"the title {title!r} names no file the folder ever had")
    on_disk = {name.hex() for name in os.listdir(folder(state))}
    open_confs = [c for c in state["confirmations"] if c["state"] == "open"]
    for name_hex in sorted(state["files"]):
        path = full(state, name_hex)
        if name_hex in on_disk:
            if digest(path) != state["files"][name_hex]["hash"]:
                problems.append(f"{shown(path)} was changed, not by the monkey")
            continue
        conf = next((c for c in open_confs if name_hex in c["candidates"]), None)
        if conf is None:
            problems.append(f"{shown(path)} left the folder, but the monkey did not remove it and "
                            f"no Delete box answered Yes named it")
            continue
        conf["state"] = "trashed"
        open_confs.remove(conf)
        if not any(os.path.isfile(f) and digest(f) == conf["hashes"][name_hex]
                   for f in trashed(trash, path)):
            problems.append(f"{shown(path)}, deleted after Yes, is not in the trash {shown(trash)} "
                            f"(files/ and a .trashinfo naming it, with the same bytes)")
        del state["files"][name_hex]
    for name_hex in sorted(on_disk - set(state["files"])):
        problems.append(f"{shown(full(state, name_hex))} appeared in the folder")
    for conf in open_confs:
        problems.append(f"Yes to deleting {conf['text']!r}, yet it is still in the folder and "
                        f"no box said the delete failed")
        conf["state"] = "kept"
    state["pending"] = None
    if title != state["failed_under"]:
        state["failed_under"] = None
    save(state_path, state)
    if problems:
        fail("\n".join(problems))


# ---------------------------------------------------------------- the accessibility bus


def busctl(bus, *args):
    out = subprocess.run(["busctl", f"--address={bus}", "--json=short", "--timeout=5", *args],
                         capture_output=True, text=True, check=True).stdout
    return json.loads(out)["data"]


def children(bus, dest, path):
    return busctl(bus, "call", dest, path, "org.a11y.atspi.Accessible", "GetChildren")[0]


def accessible_name(bus, dest, path):
    return busctl(bus, "get-property", dest, path, "org.a11y.atspi.Accessible", "Name")


def labels(bus, dest, path, depth=0):
    role = busctl(bus, "call", dest, path, "org.a11y.atspi.Accessible", "GetRoleName")[0]
    if role == "label":
        name = accessible_name(bus, dest, path)
        return [name] if name else []
    found = []
    if depth < 4:
        for d, p in children(bus, dest, path):
            found += labels(bus, d, p, depth + 1)
    return found


def box_text(bus, title):
    """The label text of the application window named TITLE, retried while the box
    makes its way onto the bus."""
    deadline = time.monotonic() + 10
    while True:
        try:
            for dest, root in children(bus, "org.a11y.atspi.Registry", REGISTRY_ROOT):
                for d, p in children(bus, dest, root):
                    texts = labels(bus, d, p) if accessible_name(bus, d, p) == title else []
                    if texts:
                        sys.stdout.buffer.write("\n".join(texts).encode("utf-8", "surrogateescape"))
                        return
        except (subprocess.CalledProcessError, json.JSONDecodeError, KeyError):
            pass  # an object went away while it was read: read again
        if time.monotonic() > deadline:
            fail(f"no text of the box {title!r} on the accessibility bus within 10 s")
        time.sleep(0.2)


# ---------------------------------------------------------------- the settings store


def check_store(path):
    with open(path, "rb") as f:
        data = f.read()
    utf16 = data[:2] in (b"\xff\xfe", b"\xfe\xff")
    text = data.decode("utf-16" if utf16 else "utf-8")
    lines = [line for line in text.splitlines() if line.strip()]
    problems = []
    if not lines or lines[0].lstrip("\ufeff") != "Windows Registry Editor Version 5.00":
        problems.append("the first line is not the header")
    if "[HKEY_CURRENT_USER\\SOFTWARE\\Pavo\\settings]" not in lines:
        problems.append("the key [HKEY_CURRENT_USER\\SOFTWARE\\Pavo\\settings] is missing")
    quoted = r'"(?:[^"\\]|\\.)*"'
    hex_list = r"hex(\([0-9a-f]+\))?:([0-9a-f]{2}(,[0-9a-f]{2})*)?"
    value = re.compile(f"{quoted}=(dword:[0-9a-f]{{8}}|{hex_list}|{quoted})")
    names = []
    for line in lines[1:]:
        if line.startswith("["):
            continue
        if not value.fullmatch(line):
            problems.append(f"a line that is no value: {line!r}")
        names.append(line.split("=", 1)[0].strip('"'))
    for name in ("posX", "posY", "width", "height", "state"):
        if name not in names:
            problems.append(f"Esc stored no {name}")
    if problems:
        fail(f"the store {path}: " + "; ".join(problems) + f"\n  it holds: {text!r}")


def main(argv):
    command = argv[1]
    raw = [os.fsencode(a) for a in argv[2:]]
    # Titles and box texts come as UTF-8 whatever the locale says.
    args = [r.decode("utf-8", "surrogateescape") for r in raw]
    if command == "plan":
        plan(int(args[0]), int(args[1]))
    elif command == "setup":
        setup(args[0], raw[1], int(args[2]))
    elif command == "change":
        change(args[0], args[1], args[2:])
    elif command == "delete":
        note_delete(args[0], args[1], args[2])
    elif command == "delete-done":
        delete_done(args[0])
    elif command == "box":
        judge_box(args[0], args[1], args[2], args[3], args[4])
    elif command == "check":
        check(args[0], args[1], raw[2])
    elif command == "box-text":
        box_text(args[0], args[1])
    elif command == "store":
        check_store(args[0])
    else:
        fail(f"unknown command {command}")


if __name__ == "__main__":
    main(sys.argv)
