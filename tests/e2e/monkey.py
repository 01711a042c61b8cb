#!/usr/bin/env python3
"""The end-to-end monkey's model (monkey_test.sh): seeded actions, the picture folder, the
file a Yes may take, and the judgement of title, folder and trash. Names are bytes (hex)."""

import glob, json, os, pathlib, random, subprocess, sys, urllib.parse

# Four formats, spaces, natural order (9 before 10) and a name that is not UTF-8: the
# title shows its byte as U+FFFD, and Yes must trash that file by its own bytes.
PICTURES = [b"a red.png", b"b.jpg", b"c.bmp", b"d.ppm", b"e\xff.png", b"f 9.jpg", b"f 10.bmp"]
FORMATS = ["png", "jpg", "bmp", "ppm"]
# Escape quits outside fullscreen, so the script types it only in fullscreen.
KEYS = ("Right Right Right Left Left space space Home End Page_Down shift+Right plus minus t"
        " y f r i q 2 F5 F5 period comma l Return Escape Escape Up Down").split()
CHANGE = (3, lambda r: f"{r.random():.4f} {r.randint(1, 10**6)} {r.choice(FORMATS)}")
# Each action: how often, and its arguments. A burst is a held key: its presses queue
# behind a step and jump.
ACTIONS = {
    "key": (45, lambda r: r.choice(KEYS)),
    "burst": (4, lambda r: " ".join([r.choice(["Right", "Left", "space", "Down"])] * r.randint(2, 6))),
    "wheel": (3, lambda r: f"{r.choice([4, 5])} {r.randint(1, 3)}"),
    "delete": (8, lambda r: r.choice(["yes Return", "yes y", "no n", "no Escape"])),
    "goto": (5, lambda r: str(r.randint(0, 9))),
    "resize": (3, lambda r: ",".join(str(r.randint(*b)) for b in [(0, 300), (0, 200), (200, 1100), (150, 650)])),
    "maximize": (2, lambda r: ""),
    **dict.fromkeys(["remove", "truncate", "replace", "garbage", "rename", "add"], CHANGE),
}


def display(path):
    return path.decode("utf-8", "replace")  # as Pavo shows it: U+FFFD for the byte \xFF


def load(path):
    state = json.loads(pathlib.Path(path).read_text(encoding="ascii"))
    return state, bytes.fromhex(state["folder"])


def save(path, state):
    pathlib.Path(path).write_text(json.dumps(state), encoding="ascii")


def at(folder, name_hex):
    return folder + b"/" + bytes.fromhex(name_hex)


def write_picture(path, fmt, rng, size=None):
    size = size or f"{rng.randint(120, 480)}x{rng.randint(120, 480)}"
    colour = "xc:#%06X" % rng.randrange(1 << 24)
    with open(path, "wb") as out:
        subprocess.run(["convert", "-size", size, colour, f"{fmt}:-"], check=True, stdout=out)


def spoil(path, fmt, rng):
    """A picture cut short (its header promises more than follows), or as long in noise."""
    write_picture(path, fmt, rng)
    keep = os.path.getsize(path) * rng.randint(20, 80) // 100
    with open(path, "r+b") as f:
        f.write(rng.randbytes(keep) if rng.random() < 0.5 else b"")
        f.truncate(keep)


def plan(seed, count):
    """The actions of a seed; fewer are the first of more."""
    rng = random.Random(int(seed))
    for _ in range(int(count)):
        kind = rng.choices(list(ACTIONS), [w for w, _ in ACTIONS.values()])[0]
        print(f"{kind} {ACTIONS[kind][1](rng)}".strip())


def setup(state_path, folder, seed):
    rng, folder = random.Random(int(seed)), os.fsencode(folder)
    os.makedirs(folder)
    for name in PICTURES:
        write_picture(folder + b"/" + name, name.rsplit(b".", 1)[1].decode(), rng)
    names = [n.hex() for n in PICTURES]
    save(state_path, {"folder": folder.hex(), "files": names, "ever": names, "confirmed": []})
    sys.stdout.buffer.write(folder + b"/" + rng.choice(PICTURES))


def change(state_path, kind, pick, number, fmt):
    state, folder = load(state_path)
    rng = random.Random(int(number))
    files = sorted(state["files"], key=bytes.fromhex)
    if kind != "add" and not files:
        return print(f"  # {kind}: no file left")
    old = files[int(float(pick) * len(files))] if kind != "add" else ""
    new = f"{kind}-{len(state['ever'])}.{fmt}".encode().hex()
    path = at(folder, old)
    {"add": lambda: write_picture(at(folder, new), fmt, rng),
     "rename": lambda: os.rename(path, at(folder, new)),
     "remove": lambda: os.remove(path),
     "truncate": lambda: os.truncate(path, 0),
     # now and then photo-sized, so that keys queue behind a step
     "replace": lambda: write_picture(path, fmt, rng, "3000x2000" if rng.random() < 0.25 else None),
     "garbage": lambda: spoil(path, fmt, rng)}[kind]()
    if kind in ("remove", "rename"):
        state["files"].remove(old)
    if kind in ("add", "rename"):
        state["files"].append(new)
        state["ever"].append(new)
    save(state_path, state)
    print(f"  # {kind}: {display(bytes.fromhex(old or new))}")


def confirm(state_path, title):
    """Prints the path of the one file the title names, which Yes may take."""
    state, folder = load(state_path)
    named = [n for n in state["files"] if display(at(folder, n)) == title]
    if len(named) != 1:
        sys.exit(f"Yes is due while the title reads {title!r}, which names {len(named)} files")
    state["confirmed"].append(named[0])
    save(state_path, state)
    sys.stdout.buffer.write(at(folder, named[0]))


def in_trash(trash, path):
    """A .trashinfo names the path byte for byte (percent-encoded or not), beside the file."""
    for info in glob.glob(os.path.join(trash, b"info", b"*.trashinfo")):
        with open(info, "rb") as f:
            lines = f.read().split(b"\n")
        paths = [urllib.parse.unquote_to_bytes(li[5:]) for li in lines if li.startswith(b"Path=")]
        kept = os.path.join(trash, b"files", os.path.basename(info).removesuffix(b".trashinfo"))
        if lines[0] == b"[Trash Info]" and paths == [path] and os.path.isfile(kept):
            return True
    return False


def check(state_path, title, trash):
    state, folder = load(state_path)
    files, yes, trash = set(state["files"]), set(state["confirmed"]), os.fsencode(trash)
    on_disk = {n.hex() for n in os.listdir(folder)}
    problems = [f"{display(at(folder, n))} appeared in the folder" for n in on_disk - files]
    problems += [f"Yes to deleting {display(at(folder, n))}, yet it is still in the folder" for n in on_disk & yes]
    problems += [f"{display(at(folder, n))} left the folder, though no Yes confirmed it" for n in files - on_disk - yes]
    problems += [f"{display(at(folder, n))}, deleted after Yes, is not in the trash {display(trash)}"
                 for n in yes - on_disk if not in_trash(trash, at(folder, n))]
    if title not in {display(at(folder, n)) for n in state["ever"]}:
        problems.append(f"the title {title!r} names no file the folder ever had")
    state["files"], state["confirmed"] = sorted(files & on_disk), []
    save(state_path, state)
    if problems:
        sys.exit("\n".join(sorted(problems)))


if __name__ == "__main__":
    globals()[sys.argv[1]](*sys.argv[2:])  # titles come as UTF-8, other bytes escaped
