"""The demo of tools/demo: talvek.exe under Wine and Xvfb with the simulated
touchpad playing tools/demo.scenario, its output as it comes, then what
happened, read from the simulated component's log and from Wine's trace of
talvek's own calls. Exits 0 when the run went as the scenario says.
"""

from __future__ import annotations

import argparse
import re
import shutil
import sys
import threading
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "tests" / "e2e"))

import harness  # noqa: E402

SCENARIO = ROOT / "tools" / "demo.scenario"
TRACED = ["user32.CreateDesktopW", "KERNEL32.CreateProcessW", "user32.PostMessageW", "user32.SwitchDesktop",
          "user32.SetWindowPos", "user32.SetCursorPos", "combase.CoCreateInstance"]
DESKTOPS = ["TALVEK00", "TALVEK10", "TALVEK20"]

SWIPE_WORD = 0x303
DRAG_WORD = 0x4
LIFT_WORD = 0x0


class Echo(threading.Thread):
    """Prints the program's output lines as they reach its stdout file."""

    def __init__(self, path: Path) -> None:
        super().__init__(daemon=True)
        self.path = path
        self.done = threading.Event()
        self.lines = 0
        self.start()

    def run(self) -> None:
        pending = b""
        offset = 0
        while True:
            finished = self.done.is_set()
            try:
                with open(self.path, "rb") as output:
                    output.seek(offset)
                    chunk = output.read()
            except OSError:
                chunk = b""
            offset += len(chunk)
            pending += chunk
            *lines, pending = pending.split(b"\n")
            for line in lines:
                self.lines += 1
                print("  | " + line.rstrip(b"\r").decode(errors="replace"), flush=True)
            if finished:
                if pending:
                    print("  | " + pending.decode(errors="replace"), flush=True)
                return
            time.sleep(0.05)

    def finish(self) -> None:
        self.done.set()
        self.join()


class Packet:
    def __init__(self, number: int) -> None:
        self.number = number
        self.word: int | None = None
        self.reads: dict[int, int] = {}  # the first value read of each property


def packets_of(run: harness.Run) -> list[Packet]:
    """The packet objects in the order talvek made them, with the word the
    sim loaded into each and the first value talvek read of each property."""
    made: dict[int, Packet] = {}
    for fact in run.facts:
        if m := re.match(r"packet (\d+) created", fact):
            made[int(m[1])] = Packet(int(m[1]))
        elif m := re.match(r"load (\d+) -> 0x[0-9A-F]+ item \d+\.\d+ word=0x([0-9A-F]+)", fact):
            made[int(m[1])].word = int(m[2], 16)
        elif m := re.match(r"read (\d+) 0x([0-9A-F]+) ok (-?\d+)", fact):
            made[int(m[1])].reads.setdefault(int(m[2], 16), int(m[3]))
    return [made[n] for n in sorted(made)]


def observed(run: harness.Run) -> list[tuple[int, int, int, int]]:
    """Window left, top and cursor x, y at each `observe`."""
    found = []
    for fact in run.facts_starting("observe"):
        m = re.match(r"observe window (-?\d+) (-?\d+) -?\d+ -?\d+ cursor (-?\d+) (-?\d+)", fact)
        if m:
            found.append(tuple(int(v) for v in m.groups()))
    return found


def summarize(run: harness.Run) -> list[str]:
    """What happened, as lines; raises harness.Failure when it is not what
    the scenario asks for."""
    expect = harness.expect
    expect(not run.exited, f"talvek.exe ended by itself (status {run.exit_code}); it should run until ended")
    timeouts = [f for f in run.facts if re.match(r"wake \d+ timeout", f)]
    expect(not timeouts, f"talvek did not read every wake-up: {timeouts}")
    expect("done" in run.facts, "the simulated touchpad did not finish its script")

    desktops = run.relay_calls("user32.CreateDesktopW")
    names = [call.texts[0] for call in desktops]
    expect(names == DESKTOPS and all(call.result for call in desktops),
           f"desktops made: {names}, results {[call.result for call in desktops]}")
    shells = run.relay_calls("KERNEL32.CreateProcessW")
    expect(len(shells) == 3 and all(call.result for call in shells),
           f"shells started: {[(call.texts[0], call.result) for call in shells]}")
    greetings = run.relay_calls("user32.PostMessageW")
    expect(len(greetings) == 3 and all(call.result for call in greetings),
           f"taskbars greeted: {[call.result for call in greetings]}")
    # Each desktop's shell and greeting come before the next desktop is made.
    order = sorted(desktops + shells + greetings, key=lambda call: call.called_at)
    expect([call.function.split(".")[1] for call in order] == ["CreateDesktopW", "CreateProcessW", "PostMessageW"] * 3,
           "each desktop made, its shell started and its taskbar greeted before the next")

    # Which packet turn each desktop switch came in: the turns are talvek's
    # CoCreateInstance calls, in the same order as the sim's packet objects.
    packets = packets_of(run)
    turns = [call.called_at for call in run.relay_calls("combase.CoCreateInstance")]
    expect(len(turns) == len(packets), f"{len(turns)} CoCreateInstance calls, {len(packets)} packet objects")
    switch_turns = []
    for call in run.relay_calls("user32.SwitchDesktop"):
        switch_turns.append(sum(1 for at in turns if at < call.called_at) - 1)

    swipes: list[tuple[int, bool]] = []  # summed x motion, whether a switch followed
    motion: int | None = None
    drag_motion = [0, 0]
    dragging = False
    for index, packet in enumerate(packets):
        if packet.word == SWIPE_WORD:
            motion = (motion or 0) + packet.reads.get(harness.DX, 0)
        elif packet.word == DRAG_WORD:
            if dragging:  # the first drag packet only takes hold of the window
                drag_motion[0] += packet.reads.get(harness.DX, 0)
                drag_motion[1] -= packet.reads.get(harness.DY, 0)  # screen y grows downward
            dragging = True
        elif packet.word == LIFT_WORD:
            if motion is not None:
                swipes.append((motion, index in switch_turns))
            motion = None
            dragging = False
    switched = [number for number, (_, switch) in enumerate(swipes, 1) if switch]
    expect(len(switch_turns) == len(switched), "every desktop switch came at the end of a swipe")
    expect(len(swipes) == 7 and [n for n in range(1, 8) if n not in switched] == [4],
           f"a switch after every swipe but the 4th (made on the last desktop); switches after {switched}")

    seen = observed(run)
    expect(len(seen) == 2, f"two observations of the test window, found {len(seen)}")
    (left, top, x, y), (left2, top2, x2, y2) = seen
    moves = run.relay_calls("user32.SetWindowPos")
    cursor_moves = run.relay_calls("user32.SetCursorPos")
    expect((left2 - left, top2 - top) == tuple(drag_motion),
           f"window moved by {(left2 - left, top2 - top)}, the drag steps say {tuple(drag_motion)}")
    expect((x2 - x, y2 - y) == tuple(drag_motion),
           f"cursor moved by {(x2 - x, y2 - y)}, the drag steps say {tuple(drag_motion)}")

    ready = next((ms for ms, fact in run.timed_facts if fact.startswith("take ")), None)
    motions = " ".join(f"{m:+d}" for m, _ in swipes)
    return [
        f"  desktops made      {', '.join(names)} (CreateDesktopW)",
        f"  shells started     {len(shells)} x {shells[0].texts[0]}, each right after its desktop (CreateProcessW)",
        f"  taskbars greeted   {len(greetings)}, each once its shell's taskbar appeared (PostMessageW)",
        f"  ready for input    {ready / 1000:.1f} s after talvek connected to the touchpad" if ready is not None
        else "  ready for input    ?",
        f"  swipes             {len(swipes)}, summed x motion {motions}",
        f"  desktop switches   {len(switch_turns)} (SwitchDesktop), after every swipe but the 4th, "
        "made on the last desktop",
        f"  window drag        test window ({left},{top}) -> ({left2},{top2}) in {len(moves)} steps (SetWindowPos)",
        f"  cursor             ({x},{y}) -> ({x2},{y2}) with it (SetCursorPos x{len(cursor_moves)})",
    ]


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--build-dir", type=Path, default=ROOT / "build" / "windows")
    options = parser.parse_args()
    build_dir = options.build_dir.resolve()
    prefix = build_dir / "wineprefix"
    work_dir = build_dir / "demo-run"

    harness.unwind_on_signals()

    if not (prefix / harness.READY_MARKER).exists():
        print(f"== Making the Wine prefix {prefix.relative_to(ROOT) if prefix.is_relative_to(ROOT) else prefix} "
              "(first time only, about half a minute)", flush=True)
    try:
        harness.make_prefix(prefix)
    except harness.Failure as failure:
        print(f"Demo FAILED: {failure}")
        return 1

    print("== Running talvek.exe under Wine, with the simulated touchpad playing tools/demo.scenario:")
    print("   start-up (three desktops, each with an Explorer shell), three swipes on to the last desktop")
    print("   and one more (it goes nowhere), three swipes back, then a drag of a test window.")
    print("   talvek's output:", flush=True)
    shutil.rmtree(work_dir, ignore_errors=True)
    h = harness.Harness(build_dir, prefix, work_dir)
    echo = Echo(work_dir / "run1" / "stdout.bin")
    try:
        run = h.run(SCENARIO, until="done", linger=0.5, timeout=120, relay=TRACED)
    except harness.Failure as failure:
        echo.finish()
        print(f"Demo FAILED: {failure}\n(the run's files are in {work_dir / 'run1'})")
        return 1
    finally:
        echo.finish()
    print("   (Wine and its X server ended: wineserver -k, Xvfb stopped)")
    print()
    print("== What happened, seen by the simulated touchpad and in Wine's trace of talvek's calls:")
    try:
        lines = summarize(run)
    except harness.Failure as failure:
        print(f"Demo FAILED: {failure}\n(the run's files are in {work_dir / 'run1'})")
        return 1
    print("\n".join(lines))
    print(f"Demo OK. (sim log, output and trace: {work_dir / 'run1'})")
    return 0


if __name__ == "__main__":
    sys.exit(main())
