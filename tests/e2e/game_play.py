#!/usr/bin/env python3
"""Plays the game on a virtual X display with real key and mouse events, then checks its files
and screenshots.

    game_play.py PROGRAM DATA_FOLDER RUN_FOLDER software|device

The run folder is made afresh with a copy of Data/; the program runs there (it writes Log.txt,
Setting.txt and Log/ into its working folder). Under xvfb-run the game is driven with xdotool:
the title (Z), the settings (down held to the last row, ANIMAL, left held until it is 0, Z), some
seconds of play, a click on a tree (the select tool), Q (pause), then Escape on the software path
and SIGHUP (the terminal closing) on the device path. Screenshots of every
screen are kept in the run folder. "software" forces the library's software path (VELK_NO_GL=1);
"device" lets the library choose its device, on Mesa's software rasteriser.
Exit status 0 passed, 1 failed, 77 skipped (no Xvfb, xdotool or ImageMagick).
"""
import os
import random
import re
import shutil
import signal
import subprocess
import sys
import time

SKIPPED = 77
INNER = "VELK_E2E_UNDER_XVFB"
WIDTH, HEIGHT = 640, 480
PANEL_TOP = 416

# The settings chosen on the way (ANIMAL down to 0) and the run log's first lines for them.
START_LINES = ["00:00:00 空養1000　木10本　虫20匹　獣0匹で開始しました。",
               "00:00:00 獣が絶滅しました。ある意味平和に。"]
END_TEXT = "終了しました。"


class Failure(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


# --- Pictures --------------------------------------------------------------------------------

class Picture:
    """An RGB picture read through ImageMagick as binary PPM."""

    def __init__(self, path, crop=None):
        command = ["convert", path]
        if crop:
            command += ["-crop", crop, "+repage"]
        command += ["-depth", "8", "ppm:-"]
        data = subprocess.run(command, capture_output=True, check=True).stdout
        fields = data.split(maxsplit=4)
        check(fields[0] == b"P6", f"{path}: not a binary PPM")
        self.width, self.height = int(fields[1]), int(fields[2])
        self.pixels = data[len(data) - self.width * self.height * 3:]

    def at(self, x, y):
        i = (y * self.width + x) * 3
        return self.pixels[i], self.pixels[i + 1], self.pixels[i + 2]


def mean_difference(a, b):
    """Mean absolute difference per channel of two pictures of one size."""
    check((a.width, a.height) == (b.width, b.height), "pictures of different sizes")
    return sum(abs(p - q) for p, q in zip(a.pixels, b.pixels)) / len(a.pixels)


def sheet_difference(shot, sheet, x, y, sx, sy, w, h, skip=None):
    """Mean absolute difference between the screen at (x, y) and a sheet rectangle, over the
    sheet's opaque pixels (black is the sheets' transparent colour); `skip` is a screen rectangle
    left out."""
    total = count = 0
    for j in range(h):
        for i in range(w):
            if skip and skip[0] <= x + i < skip[2] and skip[1] <= y + j < skip[3]:
                continue
            expected = sheet.at(sx + i, sy + j)
            if expected == (0, 0, 0):
                continue
            seen = shot.at(x + i, y + j)
            total += sum(abs(p - q) for p, q in zip(seen, expected))
            count += 3
    check(count > 0, "the sheet rectangle is all transparent")
    return total / count


# Classes of pixels of the world view, after the 16-bit screen's rounding.
def is_ground(r, g, b):
    return 64 <= r <= 132 and 104 <= g <= 180 and 40 <= b <= 90 and g > r + 20


def is_tree(r, g, b):
    return g > 60 and g > 1.8 * r and b < 80


def is_insect(r, g, b):
    return r > 150 and g > 120 and b < 90 and r - b > 100 and r - g < 60


def is_beast(r, g, b):
    return r > 140 and 60 < g < 140 and b < 80 and r - g > 60


def clusters(shot, test, area):
    """The clusters of pixels passing `test` inside area (x0, y0, x1, y1), pixels up to 2 apart
    joined (a sprite's parts of one class): a list of (size, centre x, centre y), clusters of at
    least 3 pixels."""
    x0, y0, x1, y1 = area
    hit = set()
    for y in range(y0, y1):
        for x in range(x0, x1):
            if test(*shot.at(x, y)):
                hit.add((x, y))
    found = []
    while hit:
        stack = [hit.pop()]
        members = []
        while stack:
            x, y = stack.pop()
            members.append((x, y))
            for n in ((x + i, y + j) for i in range(-2, 3) for j in range(-2, 3)):
                if n in hit:
                    hit.remove(n)
                    stack.append(n)
        if len(members) >= 3:
            found.append((len(members), sum(p[0] for p in members) // len(members),
                          sum(p[1] for p in members) // len(members)))
    return found


def fraction(shot, test, area):
    x0, y0, x1, y1 = area
    hits = sum(1 for y in range(y0, y1) for x in range(x0, x1) if test(*shot.at(x, y)))
    return hits / ((x1 - x0) * (y1 - y0))


def brightness(shot, area):
    x0, y0, x1, y1 = area
    return sum(sum(shot.at(x, y)) for y in range(y0, y1) for x in range(x0, x1))


# The field without its border row and columns (which carry the edge overlay).
FIELD = (8, 8, WIDTH - 8, PANEL_TOP - 8)


# --- The display ---------------------------------------------------------------------------

class Display:
    def __init__(self, folder, log):
        self.folder = folder
        self.log = log
        self.window = None
        self.origin = (0, 0)

    def xdotool(self, *args):
        return subprocess.run(["xdotool", *map(str, args)], capture_output=True, text=True)

    def find_window(self, process, seconds):
        # The window can be found by its name before it is mapped at its final size, or in the
        # moment it is made again: ask until its geometry reads as the game's window.
        deadline = time.time() + seconds
        seen = "nothing"
        while time.time() < deadline:
            check(process.poll() is None, f"the program ended early with {process.returncode}")
            found = self.xdotool("search", "--name", "^Velk$").stdout.split()
            if found:
                shape = self.xdotool("getwindowgeometry", "--shell", found[0]).stdout
                values = dict(line.split("=", 1) for line in shape.split() if "=" in line)
                if all(key in values for key in ("X", "Y", "WIDTH", "HEIGHT")):
                    seen = f"window of {values['WIDTH']} x {values['HEIGHT']}"
                    if (int(values["WIDTH"]), int(values["HEIGHT"])) == (WIDTH, HEIGHT):
                        self.window = found[0]
                        self.origin = (int(values["X"]), int(values["Y"]))
                        self.log(f"window {self.window} at {self.origin}")
                        return
            time.sleep(0.2)
        check(seen == "nothing", seen)
        raise Failure("the game's window did not appear")

    def key(self, name, hold):
        """A real press: the key goes down, stays for `hold` seconds and comes up."""
        self.xdotool("keydown", "--window", self.window, name)
        time.sleep(hold)
        self.xdotool("keyup", "--window", self.window, name)
        time.sleep(0.3)

    def key_until(self, name, wait):
        """A key held down until `wait` returns (a screen changed, the program ended): a latched
        press counts once however long it is held, and a slow frame cannot miss it."""
        self.xdotool("keydown", "--window", self.window, name)
        try:
            return wait()
        finally:
            self.xdotool("keyup", "--window", self.window, name)
            time.sleep(0.3)

    def click_until(self, x, y, wait):
        """The left button pressed at (x, y) in the window and held until `wait` returns."""
        self.xdotool("mousemove", "--window", self.window, x, y)
        time.sleep(0.3)
        self.xdotool("mousedown", 1)
        try:
            return wait()
        finally:
            self.xdotool("mouseup", 1)
            time.sleep(0.3)

    def shot(self, name):
        """The window's picture, from a screenshot of the whole screen, kept as NAME.png."""
        whole = os.path.join(self.folder, "screen.png")
        subprocess.run(["import", "-window", "root", whole], check=True, capture_output=True)
        path = os.path.join(self.folder, name + ".png")
        crop = f"{WIDTH}x{HEIGHT}+{self.origin[0]}+{self.origin[1]}"
        subprocess.run(["convert", whole, "-crop", crop, "+repage", path], check=True,
                       capture_output=True)
        os.remove(whole)
        return Picture(path)

    def wait_for(self, name, test, seconds, what):
        """Screenshots until `test` accepts one; the last one is kept."""
        deadline = time.time() + seconds
        while True:
            picture = self.shot(name)
            if test(picture):
                return picture
            if time.time() > deadline:
                raise Failure(f"{what} did not show (see {name}.png)")
            time.sleep(0.3)


# --- The run ---------------------------------------------------------------------------------

def play(program, data, folder, mode, log):
    images = os.path.join(data, "Image")
    title_picture = Picture(os.path.join(images, "Title.jpg"))
    option_picture = Picture(os.path.join(images, "Option.jpg"))
    system_sheet = Picture(os.path.join(images, "System.bmp"))

    environment = dict(os.environ)
    environment.pop("SDL_VIDEODRIVER", None)
    environment["SDL_AUDIODRIVER"] = "dummy"
    # In a sanitizer build: the desktop's client libraries (D-Bus) keep allocations past the end;
    # the library's own leak report is checked below.
    environment.setdefault("ASAN_OPTIONS", "detect_leaks=0:abort_on_error=1")
    if mode == "software":
        environment["VELK_NO_GL"] = "1"
    else:
        environment.pop("VELK_NO_GL", None)
        environment["LIBGL_ALWAYS_SOFTWARE"] = "1"
        environment["VELK_GL_COUNTERS"] = "1"  # a line of the device's counts per present

    output = open(os.path.join(folder, "program.out"), "wb")
    process = subprocess.Popen([program], cwd=folder, env=environment, stdout=output,
                               stderr=subprocess.STDOUT)
    display = Display(folder, log)
    try:
        display.find_window(process, 60)

        # The title: its picture fills the window.
        def shows(picture, other):
            return lambda shot: (mean_difference(shot, picture) < 8
                                 and mean_difference(shot, other) > 12)

        display.wait_for("title", shows(title_picture, option_picture), 30, "the title")
        log("title shown")

        display.key_until("z", lambda: display.wait_for(
            "settings", shows(option_picture, title_picture), 20, "the settings screen"))
        log("settings shown")
        # The settings repeat a held key every frame after 20 frames, at whatever frame rate the
        # path runs: held keys that run into the ends give the same values at any rate (from
        # 10 frames a second up). Down to the last row, ANIMAL; left until it is 0.
        display.key("Down", 4)
        display.key("Left", 4)
        display.key_until("z", lambda: display.wait_for(
            "world-start", lambda s: fraction(s, is_ground, FIELD) > 0.7, 20, "the running world"))
        log("world shown")
        time.sleep(2)
        world = display.shot("world")
        check_world(world, system_sheet, log)

        # Click the largest tree (trees stand still) with the select tool.
        trees = sorted(clusters(world, is_tree, FIELD), reverse=True)
        check(trees, "no tree to click")
        _, tree_x, tree_y = trees[0]
        selected = display.click_until(tree_x, tree_y, lambda: display.wait_for(
            "selected", lambda s: shows_selection(s, system_sheet), 20,
            f"the selection of the tree at ({tree_x}, {tree_y})"))
        log(f"tree at ({tree_x}, {tree_y}) selected")

        # The pause screen dims the world by black at 80 of 255 (to 0.69 of its brightness).
        area = (8, 200, WIDTH - 8, PANEL_TOP - 8)
        lit = max(1, brightness(selected, area))
        paused = display.key_until("q", lambda: display.wait_for(
            "pause", lambda s: 0.55 < brightness(s, area) / lit < 0.8, 20,
            "the dimmed pause screen"))
        log(f"pause dims the world to {brightness(paused, area) / lit:.2f}")

        def ended(how):
            def wait():
                try:
                    return process.wait(30)
                except subprocess.TimeoutExpired:
                    raise Failure(f"the program did not end after {how}")
            return wait

        # The software run ends with Escape, the device run as its terminal closes (SIGHUP):
        # both write the same files.
        if mode == "software":
            status = display.key_until("Escape", ended("Escape"))
        else:
            process.send_signal(signal.SIGHUP)
            status = ended("SIGHUP")()
    finally:
        if process.poll() is None:
            process.kill()
            process.wait()
        output.close()
    check(status == 0, f"the program ended with status {status}")
    if mode == "device":
        report_device_counts(os.path.join(folder, "program.out"), log)
    check_files(folder, mode, log)


COUNTS = re.compile(rb"GL frame \d+: (\d+) draws received, (\d+) GL draws, (\d+) state changes, "
                    rb"(\d+) texture uploads \((\d+) bytes\), (\d+) buffer bytes")


def report_device_counts(path, log):
    """The device's counts per present over the run: mean and most of each."""
    with open(path, "rb") as f:
        frames = [tuple(int(v) for v in m.groups()) for m in COUNTS.finditer(f.read())]
    if not frames:
        log("no device counts were written")
        return
    names = ("draws received", "GL draws", "state changes", "texture uploads", "upload bytes",
             "buffer bytes")
    parts = []
    for i, name in enumerate(names):
        values = [frame[i] for frame in frames]
        parts.append(f"{name} {sum(values) / len(values):.0f} (most {max(values)})")
    log(f"device counts per frame over {len(frames)} frames: " + ", ".join(parts))


def check_world(world, system_sheet, log):
    ground = fraction(world, is_ground, FIELD)
    trees = clusters(world, is_tree, FIELD)
    insects = clusters(world, is_insect, FIELD)
    beasts = clusters(world, is_beast, FIELD)
    log(f"world: ground {ground:.2f}, clusters: trees {len(trees)}, insects {len(insects)}, "
        f"beasts {len(beasts)}")
    check(ground > 0.7, f"the ground covers only {ground:.2f} of the field")
    # 10 trees and 20 insects were placed around the centre, no beasts; some overlap.
    check(3 <= len(trees) <= 40, "not the run's trees")
    check(5 <= len(insects) <= 40, "not the run's insects")
    check(len(beasts) <= 3, "beasts in a run without beasts")
    # The bottom panel's tool buttons: select active, zoom inactive.
    select = sheet_difference(world, system_sheet, 500, 430, 192, 80, 48, 48)
    zoom = sheet_difference(world, system_sheet, 560, 430, 144, 80, 48, 48)
    log(f"tool buttons differ by {select:.1f} and {zoom:.1f}")
    check(select < 16 and zoom < 16, "the tool buttons are not where they belong")


def shows_selection(shot, system_sheet):
    """The info panel's portrait frame with the tree enlarged in it, and the camera on the tree
    (its sprite centred 4 pixels right of and below the window's centre)."""
    frame = sheet_difference(shot, system_sheet, 0, 0, 0, 0, 96, 128, skip=(24, 24, 72, 72))
    portrait = fraction(shot, is_tree, (24, 24, 72, 72))
    centre = fraction(shot, is_tree, (318, 238, 331, 251))
    return frame < 16 and portrait > 0.2 and centre > 0.05


def check_files(folder, mode, log):
    def read(name):
        path = os.path.join(folder, name)
        check(os.path.exists(path), f"{name} was not written")
        with open(path, "rb") as f:
            return f.read()

    # The library's log ends with a leak report that lists no block.
    library_log = read("Log.txt").decode("cp932", "replace").split("\r\n")
    lines = [line.split(":", 1)[1] if re.match(r"^\d+:", line) else line for line in library_log]
    lines = [line for line in lines if line.strip()]
    check(len(lines) >= 2 and lines[-2] == "Alloc memory dump",
          f"Log.txt does not end with the leak report: {lines[-3:]}")
    check(re.fullmatch(r"\tTotal size:0\(0\.000kb\)  Alloc num:0", lines[-1]) is not None,
          f"the leak report lists blocks: {lines[-1]!r}")
    device = any("頂点演算を使用します" in line for line in lines)  # a device was made
    log(f"drawn on the {'device' if device else 'software'} path")
    if mode == "software":
        check(not device, "VELK_NO_GL=1 did not keep the library on its software path")

    check(read("Setting.txt") == b"0", "Setting.txt does not hold 0")

    run_log = read(os.path.join("Log", "LogData0.txt"))
    check(run_log.endswith(b"\r\n"), "the run log does not end with CR LF")
    check(run_log.count(b"\n") == run_log.count(b"\r\n"), "the run log has a bare line end")
    run_lines = run_log[:-2].split(b"\r\n")
    check(len(run_lines) >= 3, f"the run log has {len(run_lines)} lines")
    for seen, expected in zip(run_lines, START_LINES):
        check(seen == expected.encode("cp932"), f"the run log has {seen.decode('cp932')!r} "
              f"where {expected!r} belongs")
    check(re.fullmatch(rb"\d\d:\d\d:\d\d " + re.escape(END_TEXT.encode("cp932")), run_lines[-1])
          is not None, f"the run log ends with {run_lines[-1].decode('cp932')!r}")
    for line in run_lines:
        check(re.match(rb"\d\d:\d\d:\d\d ", line) is not None, f"unstamped log line {line!r}")
    log(f"run log of {len(run_lines)} lines, ended at {run_lines[-1][:8].decode()}")


def main():
    if len(sys.argv) != 5 or sys.argv[4] not in ("software", "device"):
        print(__doc__)
        return 2
    program, data, folder, mode = sys.argv[1:]
    for tool in ("xvfb-run", "xdotool", "import", "convert"):
        if shutil.which(tool) is None:
            print(f"{tool} not found")
            return SKIPPED

    if os.environ.get(INNER) != "1":
        # Restart on a virtual display; a random first display number keeps parallel runs on
        # one machine from racing for one, and the server stays up when its last client leaves
        # (-noreset), so no connection is refused while it resets.
        environment = dict(os.environ, **{INNER: "1"})
        command = ["xvfb-run", "-a", "-n", str(random.randrange(100, 600)), "-s",
                   "-noreset -screen 0 1280x1024x24", sys.executable, os.path.abspath(__file__),
                   *sys.argv[1:]]
        return subprocess.run(command, env=environment).returncode

    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    shutil.copytree(data, os.path.join(folder, "Data"))
    started = time.time()

    def log(text):
        print(f"[{time.time() - started:6.1f}s] {text}", flush=True)

    try:
        play(os.path.abspath(program), os.path.join(folder, "Data"), folder, mode, log)
    except Failure as failure:
        log(f"FAILED: {failure}")
        with open(os.path.join(folder, "program.out"), "rb") as f:
            sys.stdout.write(f.read().decode("utf-8", "replace")[-3000:])
        return 1
    log("passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
