"""Benchmarks of talvek.exe itself, under Wine with the simulated touchpad
component, and a table of what they found.

- Throughput: packets per second through the real pump, for packets that
  write nothing and for drag steps that write a MOVE line (standard output
  to a file), beside talvek_baseline.exe, which makes only the calls any
  such program must make. Each run gives short bursts of each kind in
  turn, the runs alternate program and baseline, and each figure is the
  best burst (the one the rest of the machine disturbed least) with the
  median beside it. The sim times each burst itself (QueryPerformanceCounter,
  from its signal to the load that finds nothing left), so start-up is not
  counted.
- Where a drag step's time goes: the baseline again with its window and
  cursor calls handed to talvek's DragThread, and one hand-over alone.
- Idle: CPU time over 10 s without input, beside a process that only
  waits on an event, both read from outside (the threads' run time in
  /proc/PID/task/*/schedstat: GetProcessTimes under Wine moves in 10 ms
  steps); the time from process creation to the pump's first wake-up
  (three desktops and their shells on the way); the peak working set.
- Leaks: handle count (the system handle list) and private memory
  (PagefileUsage, which Wine fills from the process's RssAnon + VmSwap),
  read inside the process by the sim, and VmData read outside, after a
  warm-up and after each long stretch of 100,000 packets and 10,000 empty
  wake-ups; the baseline takes the same stretches, so that what grows with
  the calls any program must make shows apart from what talvek adds.

Every figure is measured in this run; nothing is assumed.
Everything runs on one CPU unless --all-cpus is given (see main()).
Usage: bench.py --build-dir build/windows [--pairs 5] [--quick] [--all-cpus]
"""

from __future__ import annotations

import argparse
import json
import os
import platform
import re
import statistics
import subprocess
import sys
import threading
import time
from dataclasses import dataclass, field
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(ROOT / "tests" / "e2e"))

import harness  # noqa: E402

PROGRAM = "talvek.exe"
BASELINE = "talvek_baseline.exe"
IDLE = "talvek_idle.exe"
HANDOVER = "talvek_handover.exe"

OTHER_WORD = "packet 0x0202 0 0 0"
BIG_WAKE = "timeout 900000"  # per wake-up; a loaded machine may be slow, never this slow

# Six desktop switches (three on, three back) and a short drag: every path.
GESTURE_MIX = ["swipe -80 0 state 1", "lift"] * 3 + ["swipe 80 0 state 1", "lift"] * 3 + [
    "drag 0 0", "drag 1 0", "drag -1 0", "lift"]


def log(message: str) -> None:
    print(message, file=sys.stderr, flush=True)


@dataclass
class Sizes:
    other: int   # packets in one burst of each kind
    swipe: int
    drag: int
    rounds: int  # bursts of each kind in one run
    pairs: int
    idle_pairs: int
    idle_ms: int
    settle_ms: int
    leak_packets: int
    leak_wakes: int
    handover: int


FULL = Sizes(other=2000, swipe=2000, drag=400, rounds=10, pairs=5, idle_pairs=3, idle_ms=10000, settle_ms=2000,
             leak_packets=100000, leak_wakes=10000, handover=5000)
QUICK = Sizes(other=500, swipe=500, drag=100, rounds=3, pairs=2, idle_pairs=1, idle_ms=2000, settle_ms=1000,
              leak_packets=10000, leak_wakes=1000, handover=1000)


# --- scenarios -------------------------------------------------------------------

class Script:
    """A scenario being written, with the label of each quiet wake-up (burst)
    in the order the sim will report them."""

    def __init__(self, title: str) -> None:
        self.lines = [f"# {title}; written by bench/wine/bench.py."]
        self.bursts: list[tuple[str, int]] = []  # label, packets expected
        self.leak_packets = 0                    # the leak run's packets after its warm-up
        self.leak_stages: list[str] = []         # what each of its readings follows

    def add(self, *lines: str) -> None:
        self.lines.extend(lines)

    def burst(self, label: str, packets: list[str], cycles: int = 1, repeat: int = 1) -> None:
        options = f"wake quiet {BIG_WAKE}"
        if cycles > 1:
            options += f" cycles {cycles}"
        if repeat > 1:
            options += f" repeat {repeat}"
        self.lines.append(options)
        self.lines.extend(packets)
        self.bursts.append((label, len(packets) * cycles * repeat))

    def text(self) -> str:
        return "\n".join(self.lines) + "\n"


def start_up(script: Script) -> None:
    script.add("window 100 100 300 200", "cursor 250 200",
               "# The pump takes its first wake-up once start-up is over.",
               "wake timeout 120000", "measure")


def throughput_script(sizes: Sizes) -> Script:
    script = Script("Throughput of the pump")
    start_up(script)
    script.burst("warm-up", [OTHER_WORD], cycles=500)
    script.add("wake", "drag 0 0")
    script.burst("drag warm-up", ["drag 1 0", "drag -1 0"], cycles=100)
    script.add("wake", "lift")
    # Short bursts of each kind in turn: the machine's speed may change from
    # one second to the next, and each kind should see every state.
    for _ in range(sizes.rounds):
        script.burst("other", [OTHER_WORD], cycles=sizes.other)
        script.add("wake", "swipe 100 0 state 1")
        script.burst("swipe", ["swipe 1 0", "swipe -1 0"], cycles=sizes.swipe // 2)
        # 100 to the right: back towards a desktop there is none of, so no switch.
        script.add("wake", "lift")
        script.add("wake", "drag 0 0")
        script.burst("drag", ["drag 1 0", "drag -1 0"], cycles=sizes.drag // 2)
        script.add("wake", "lift")
    script.add("measure")
    return script


def idle_script(sizes: Sizes) -> Script:
    script = Script("Idle")
    start_up(script)
    script.add(f"pause {sizes.settle_ms}", "cpu", f"pause {sizes.idle_ms}", "cpu", "measure")
    return script


def leak_script(sizes: Sizes) -> Script:
    script = Script("Handles and memory over a long run")
    start_up(script)
    script.burst("warm-up mix", GESTURE_MIX, cycles=50)
    # Enough objects that the sim's quarantine of released ones (4096) is
    # full before the first reading: from then on it hands out old ones.
    script.burst("warm-up other", [OTHER_WORD], cycles=4000)
    script.add("wake", "drag 0 0")
    script.burst("warm-up drag", ["drag 1 0", "drag -1 0"], cycles=500)
    script.add("wake", "lift")
    script.burst("warm-up wakes", [], repeat=200)
    # Each measure is read from outside too, during the pause after it.
    script.add("measure", "pause 500")
    # 40 % words that are no gesture, 40 % drag steps, 20 % swipes with
    # desktop switches and short drags; the begin and lift count.
    other = sizes.leak_packets * 2 // 5
    mix_cycles = sizes.leak_packets // 5 // len(GESTURE_MIX)
    drag_pairs = (sizes.leak_packets - other - mix_cycles * len(GESTURE_MIX) - 2) // 2
    script.burst("other", [OTHER_WORD], cycles=other)
    script.add("measure", "pause 500")
    script.add("wake", "drag 0 0")
    script.burst("drag", ["drag 1 0", "drag -1 0"], cycles=drag_pairs)
    script.add("wake", "lift")
    script.add("measure", "pause 500")
    script.burst("mix", GESTURE_MIX, cycles=mix_cycles)
    script.add("measure", "pause 500")
    script.burst("empty wakes", [], repeat=sizes.leak_wakes)
    script.add("measure", "pause 500")
    script.leak_packets = other + 2 * drag_pairs + 2 + mix_cycles * len(GESTURE_MIX)
    script.leak_stages = [
        "after the warm-up", f"+ {other:,} words, no gesture", f"+ {2 * drag_pairs + 2:,} drag packets",
        f"+ {mix_cycles * len(GESTURE_MIX):,} swipes/switches/drags", f"+ {sizes.leak_wakes:,} empty wake-ups"]
    return script


# --- reading a run ---------------------------------------------------------------

_BURST_END = re.compile(r"^burst end wakes=\d+-\d+ loaded=(\d+) start=-?\d+ end=-?\d+ freq=\d+ us=(-?\d+)$")


def fields_of(fact: str) -> dict[str, int | None]:
    values: dict[str, int | None] = {}
    for word in fact.split()[1:]:
        key, _, value = word.partition("=")
        values[key] = int(value) if value.isdigit() else None
    return values


def measures(run: harness.Run) -> list[dict[str, int | None]]:
    return [fields_of(f) for f in run.facts if f.startswith("measure ")]


def bursts(run: harness.Run, script: Script) -> list[tuple[str, float]]:
    """Packets per second of each burst, with its label; fails when one is short."""
    ends = [m for m in map(_BURST_END.match, run.facts) if m]
    harness.expect(len(ends) == len(script.bursts),
                   f"{len(ends)} bursts reported, {len(script.bursts)} played; "
                   f"timeouts: {[f for f in run.facts if 'timeout' in f]}")
    rates = []
    for (label, expected), match in zip(script.bursts, ends):
        loaded, microseconds = int(match[1]), int(match[2])
        harness.expect(loaded == expected, f"burst {label}: {loaded} packets loaded, {expected} given")
        rates.append((label, loaded / microseconds * 1e6 if microseconds > 0 else 0.0))
    return rates


@dataclass
class Results:
    rates: dict[str, dict[str, list[float]]] = field(default_factory=dict)  # who -> label -> per run
    launch_ms: list[int] = field(default_factory=list)
    peak_ws_kb: dict[str, list[int]] = field(default_factory=dict)
    idle_cpu_us: dict[str, list[int]] = field(default_factory=dict)
    handover_us: dict[str, list[float]] = field(default_factory=dict)
    leak: dict[str, list[dict[str, int | None]]] = field(default_factory=dict)  # who -> 3 readings
    leak_packets: int = 0
    leak_stages: list[str] = field(default_factory=list)
    leak_wakes: int = 0
    load_before: str = "?"
    cpus: str = "?"


class ProcessWatch(threading.Thread):
    """Reads one Wine process from outside at given moments: its CPU time,
    the sum over its threads of the kernel's run time
    (/proc/PID/task/*/schedstat, in ns; GetProcessTimes under Wine moves in
    10 ms steps, too coarse here), and its memory (/proc/PID/status, kB).
    `marks()` counts the moments reached so far; each is sampled once."""

    STATUS = ("VmData", "RssAnon", "RssFile", "RssShmem", "VmRSS")

    def __init__(self, prefix: Path, program: str, marks, count: int) -> None:
        super().__init__(daemon=True)
        self.prefix = prefix
        self.program = program.lower().encode()
        self.marks = marks
        self.count = count
        self.samples: list[dict[str, int]] = []
        self.error = ""
        self.start()

    def _pid(self) -> int | None:
        marker = b"WINEPREFIX=" + str(self.prefix).encode()
        for entry in os.listdir("/proc"):
            if not entry.isdigit():
                continue
            try:
                with open(f"/proc/{entry}/cmdline", "rb") as cmdline:
                    first = cmdline.read().split(b"\0")[0]
                if not first.lower().endswith(self.program):
                    continue
                with open(f"/proc/{entry}/environ", "rb") as environ:
                    if marker in environ.read().split(b"\0"):
                        return int(entry)
            except OSError:
                continue
        return None

    @classmethod
    def _sample(cls, pid: int) -> dict[str, int]:
        sample = {"cpu_ns": 0}
        for task in os.listdir(f"/proc/{pid}/task"):
            try:
                with open(f"/proc/{pid}/task/{task}/schedstat") as stat:
                    sample["cpu_ns"] += int(stat.read().split()[0])
            except OSError:
                pass  # a thread that just ended
        with open(f"/proc/{pid}/status") as status:
            for line in status:
                key, _, value = line.partition(":")
                if key in cls.STATUS:
                    sample[key] = int(value.split()[0])
        return sample

    def run(self) -> None:
        deadline = time.monotonic() + 3600
        pid = None
        while time.monotonic() < deadline and len(self.samples) < self.count:
            try:
                pid = pid or self._pid()
                if pid is not None and self.marks() > len(self.samples):
                    self.samples.append(self._sample(pid))
            except OSError as error:
                self.error = str(error)
                return
            time.sleep(0.002)

    def checked(self) -> list[dict[str, int]]:
        self.join()
        harness.expect(len(self.samples) == self.count,
                       f"{self.program.decode()} read {len(self.samples)} times of {self.count}: {self.error}")
        return self.samples

    def cpu_used_us(self) -> int:
        first, second = self.checked()
        return (second["cpu_ns"] - first["cpu_ns"]) // 1000


def log_marks(log_path: Path, prefix: str):
    """How many facts starting with `prefix` the sim has logged so far."""
    return lambda: sum(fact.startswith(prefix) for _, fact in harness.read_sim_log(log_path))


class Bench:
    def __init__(self, build_dir: Path, prefix: Path, work_dir: Path, sizes: Sizes) -> None:
        self.h = harness.Harness(build_dir, prefix, work_dir)
        self.work_dir = work_dir
        self.sizes = sizes
        self.results = Results()

    def next_log(self) -> Path:
        """The sim log of the harness's next run."""
        return self.h.work_dir / f"run{self.h.runs + 1}" / "sim.log"

    def scenario_file(self, name: str, script: Script) -> Path:
        path = self.work_dir / f"{name}.scenario"
        path.write_text(script.text())
        return path

    def run(self, scenario: Path, who: str, *, timeout: float, until: str = "done",
            args: tuple[str, ...] = ()) -> harness.Run:
        executable = {"talvek": PROGRAM, "idle": IDLE, "handover": HANDOVER}.get(who, BASELINE)
        run = self.h.run(scenario, until=until, timeout=timeout, executable=executable, args=args)
        harness.expect(until == "exit" or not run.exited,
                       f"{executable} ended by itself, status {run.exit_code}: {run.stderr[-500:]}")
        return run

    def note_start(self, who: str, run: harness.Run) -> None:
        found = measures(run)
        harness.expect(len(found) >= 2, f"{who}: measures missing: {found}")
        if who == "talvek" and found[0].get("since_start_ms") is not None:
            self.results.launch_ms.append(found[0]["since_start_ms"])
        if found[-1].get("peak_ws_kb") is not None:
            self.results.peak_ws_kb.setdefault(who, []).append(found[-1]["peak_ws_kb"])

    def throughput(self) -> None:
        script = throughput_script(self.sizes)
        path = self.scenario_file("throughput", script)
        runners = (("talvek", ()), ("baseline", ()), ("baseline+handover", ("--handover",)))
        for pair in range(self.sizes.pairs):
            for who, args in runners:
                log(f"  throughput {pair + 1}/{self.sizes.pairs}: {who}")
                run = self.run(path, who, args=args, timeout=900)
                for label, rate in bursts(run, script):
                    self.results.rates.setdefault(who, {}).setdefault(label, []).append(rate)
                self.note_start(who, run)

    def handover(self) -> None:
        log("  hand-over alone")
        run = self.run(self.scenario_file("none", Script("Nothing: the program reads no packet")), "handover",
                       until="exit", timeout=300,
                       args=(str(self.sizes.handover), "15"))
        harness.expect(run.exit_code == 0, f"{HANDOVER} failed: {run.stderr[-500:]}")
        for line in run.stdout.decode().splitlines():
            parts = line.split()
            if len(parts) == 4 and parts[0] == "handover":
                self.results.handover_us.setdefault(parts[1], []).append(float(parts[3]))

    def idle(self) -> None:
        path = self.scenario_file("idle", idle_script(self.sizes))
        none = self.scenario_file("none", Script("Nothing: the program reads no packet"))
        for pair in range(self.sizes.idle_pairs):
            log(f"  idle {pair + 1}/{self.sizes.idle_pairs}: talvek")
            # The window is the sim's pause between its two `cpu` facts.
            watch = ProcessWatch(self.h.prefix, PROGRAM, log_marks(self.next_log(), "cpu "), 2)
            run = self.run(path, "talvek", timeout=120 + self.sizes.idle_ms / 1000)
            self.results.idle_cpu_us.setdefault("talvek", []).append(watch.cpu_used_us())
            cpu = [int(f.split()[1]) for f in run.facts if re.fullmatch(r"cpu \d+ us", f)]
            harness.expect(len(cpu) == 2, f"cpu readings: {cpu}")
            self.results.idle_cpu_us.setdefault("talvek GetProcessTimes", []).append(cpu[1] - cpu[0])
            self.note_start("talvek", run)

            log(f"  idle {pair + 1}/{self.sizes.idle_pairs}: a process that only waits")
            # The same window, the same time after the start; the process
            # waits a second longer so that it outlives the window.
            started = time.monotonic()
            settle = self.sizes.settle_ms / 1000
            idle = self.sizes.idle_ms / 1000
            watch = ProcessWatch(self.h.prefix, IDLE, lambda: (time.monotonic() - started >= settle)
                                 + (time.monotonic() - started >= settle + idle), 2)
            self.run(none, "idle", until="exit", timeout=120 + idle,
                     args=(str(self.sizes.settle_ms + self.sizes.idle_ms + 1000),))
            self.results.idle_cpu_us.setdefault("idle", []).append(watch.cpu_used_us())

    def leaks(self) -> None:
        script = leak_script(self.sizes)
        path = self.scenario_file("leaks", script)
        self.results.leak_packets = script.leak_packets
        self.results.leak_wakes = self.sizes.leak_wakes
        self.results.leak_stages = script.leak_stages
        # The baseline takes the same packets: what grows in both comes with
        # the calls any program must make, under Wine, not with talvek.
        for who in ("talvek", "baseline"):
            log(f"  leaks, {who}: {script.leak_packets:,} packets, {self.sizes.leak_wakes:,} empty wake-ups")
            stages = len(script.leak_stages) + 1
            watch = ProcessWatch(self.h.prefix, PROGRAM if who == "talvek" else BASELINE,
                                 log_marks(self.next_log(), "measure "), stages)
            run = self.run(path, who, timeout=3600)
            bursts(run, script)  # every burst delivered in full
            found = measures(run)
            harness.expect(len(found) == stages, f"measures: {found}")
            self.note_start(who, run)
            self.results.leak[who] = [{**inside, **outside} for inside, outside in zip(found, watch.checked())][1:]


# --- the table ---------------------------------------------------------------------

def median(values: list[float]) -> float:
    return statistics.median(values) if values else float("nan")


def best(values: list[float]) -> float:
    return max(values) if values else float("nan")


def load_average() -> str:
    try:
        return Path("/proc/loadavg").read_text().split()[0]
    except OSError:
        return "?"


def machine() -> str:
    model = "?"
    try:
        for line in Path("/proc/cpuinfo").read_text().splitlines():
            if line.startswith("model name"):
                model = line.split(":", 1)[1].strip()
                break
    except OSError:
        pass
    try:
        wine = subprocess.run([str(harness.WINE), "--version"], capture_output=True, text=True,
                              timeout=30).stdout.strip()
    except (OSError, subprocess.TimeoutExpired):
        wine = "?"
    return f"{os.cpu_count()} CPUs ({model}), {wine}, Linux {platform.release()}"


def throughput_table(out: list[str], results: Results, sizes: Sizes) -> None:
    rates = results.rates
    bursts_each = len(rates.get("talvek", {}).get("other", []))
    out.append(f"Throughput, packets/s: the best of {bursts_each} bursts of each kind, the median in brackets "
               "(goal: ratio >= 0.90)")
    out.append(f"  {'':40}{'talvek':>17}{'baseline':>17}{'ratio':>14}")

    def row(name: str, ours: list[float], theirs: list[float]) -> str:
        ratio = f"{best(ours) / best(theirs):.2f} ({median(ours) / median(theirs):.2f})" if ours and theirs else "?"
        return (f"  {name:40}{f'{best(ours):,.0f} ({median(ours):,.0f})':>17}"
                f"{f'{best(theirs):,.0f} ({median(theirs):,.0f})':>17}{ratio:>14}")

    for name, label in (("packets that write nothing (word 0x0202)", "other"),
                        ("swipe-continue packets", "swipe"),
                        ("drag steps, MOVE line to a file", "drag")):
        out.append(row(name, rates.get("talvek", {}).get(label, []), rates.get("baseline", {}).get(label, [])))
    out.append(row("  the same, the baseline using DragThread", rates.get("talvek", {}).get("drag", []),
                   rates.get("baseline+handover", {}).get("drag", [])))
    out.append(f"  ({sizes.other:,} / {sizes.swipe:,} / {sizes.drag:,} packets a burst, {sizes.rounds} of each kind "
               f"a run, {sizes.pairs} runs of each program in turn;")
    out.append("   the best burst is the one the rest of the machine disturbed least.)")
    out.append("")


def handover_table(out: list[str], results: Results) -> None:
    rounds = len(results.handover_us.get("DragThread", []))
    out.append(f"One hand-over to another thread alone, microseconds: the best of {rounds} rounds, the median "
               "in brackets")
    names = {"DragThread": "talvek DragThread (std::condition_variable)",
             "win32-cv": "same protocol, Win32 SRW lock + CONDITION_VARIABLE",
             "events": "two auto-reset events, one each way"}
    for key, name in names.items():
        if key in results.handover_us:
            values = results.handover_us[key]
            out.append(f"  {name:58}{min(values):8.1f} ({median(values):.1f})")
    out.append("")


def idle_table(out: list[str], results: Results, sizes: Sizes) -> None:
    talvek_idle = median(results.idle_cpu_us.get("talvek", [])) / 1000
    waiter_idle = median(results.idle_cpu_us.get("idle", [])) / 1000
    coarse = median(results.idle_cpu_us.get("talvek GetProcessTimes", [])) / 1000
    out.append(f"Idle, CPU time over {sizes.idle_ms / 1000:.0f} s without input, {sizes.settle_ms / 1000:.0f} s "
               f"after start-up (median of {sizes.idle_pairs}; goal: at most 10 ms above the waiter)")
    out.append(f"  talvek {talvek_idle:.1f} ms, a process that only waits {waiter_idle:.1f} ms, "
               f"difference {talvek_idle - waiter_idle:+.1f} ms")
    out.append(f"  (threads' run time from /proc/PID/task/*/schedstat; talvek's own GetProcessTimes, "
               f"in 10 ms steps under Wine: {coarse:.0f} ms)")


def leak_table(out: list[str], results: Results) -> None:
    out.append(f"Leaks: each process after a warm-up, then after each long stretch, {results.leak_packets:,} "
               f"packets and {results.leak_wakes:,} empty wake-ups in all (growth in brackets)")
    out.append(f"  {'':44}{'handles':>11}{'private kB':>17}{'VmData kB':>17}")
    labels = results.leak_stages
    for who, readings in results.leak.items():
        before: dict[str, int | None] = {}
        for label, values in zip(labels, readings):
            cells = []
            for key, width in (("handles", 11), ("private_kb", 17), ("VmData", 17)):
                value = values.get(key)
                text = "?" if value is None else str(value)
                if before.get(key) is not None and value is not None:
                    text += f" ({value - before[key]:+d})"
                cells.append(f"{text:>{width}}")
            out.append(f"  {who:9}{label:35}{''.join(cells)}")
            before = values
    out.append("  (Handles: the process's entries in the system handle list, read inside by the sim; private:")
    out.append("   PagefileUsage, read inside, which Wine fills from the process's RssAnon + VmSwap; VmData:")
    out.append("   /proc/PID/status, read outside.)")


def table(results: Results, sizes: Sizes) -> str:
    out = [f"Wine: {machine()}",
           f"Every process of the runs on {results.cpus}; load average {results.load_before} before, "
           f"{load_average()} after.", ""]
    if results.rates:
        throughput_table(out, results, sizes)
    if results.handover_us:
        handover_table(out, results)
    if results.idle_cpu_us:
        idle_table(out, results, sizes)
    launch = results.launch_ms
    if launch:
        out.append(f"Process start to the pump's first wake-up, three desktops and their shells on the way: "
                   f"median {median(launch) / 1000:.2f} s (min {min(launch) / 1000:.2f}, "
                   f"max {max(launch) / 1000:.2f}, {len(launch)} runs)")
    peaks = {who: values for who, values in results.peak_ws_kb.items() if who in ("talvek", "baseline")}
    if peaks:
        out.append("Peak working set (largest of the runs): "
                   + ", ".join(f"{who} {max(values) / 1024:.1f} MB" for who, values in peaks.items()))
    if results.leak:
        out.append("")
        leak_table(out, results)
    return "\n".join(out)


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--build-dir", type=Path, default=ROOT / "build" / "windows")
    parser.add_argument("--prefix", type=Path)
    parser.add_argument("--work-dir", type=Path)
    parser.add_argument("--pairs", type=int, help="alternating runs of each program")
    parser.add_argument("--quick", action="store_true", help="small sizes: a check that it all works")
    parser.add_argument("--only", choices=("throughput", "handover", "idle", "leaks"), action="append")
    parser.add_argument("--cpu", type=int, default=0, help="the one CPU every process of the runs is kept on")
    parser.add_argument("--all-cpus", action="store_true", help="let the processes run on every CPU")
    options = parser.parse_args()
    # A packet goes from talvek to wineserver and the X server and back; when
    # they sit on different CPUs every hand-off wakes another CPU, which in
    # a virtual machine costs far more, and changes far more from one second
    # to the next, than the work itself. On one CPU the figures hold still.
    if not options.all_cpus:
        os.sched_setaffinity(0, {options.cpu})
    sizes = QUICK if options.quick else FULL
    if options.pairs:
        sizes.pairs = options.pairs
    build_dir = options.build_dir.resolve()
    prefix = (options.prefix or build_dir / "wineprefix").resolve()
    work_dir = (options.work_dir or build_dir / "bench-wine").resolve()
    work_dir.mkdir(parents=True, exist_ok=True)
    for name in (PROGRAM, BASELINE, IDLE, HANDOVER, "SynCom.DLL"):
        if not (build_dir / name).exists():
            print(f"no {name} in {build_dir}: build the windows preset first", file=sys.stderr)
            return 1

    harness.unwind_on_signals()

    started = time.monotonic()
    bench = Bench(build_dir, prefix, work_dir, sizes)
    bench.results.load_before = load_average()
    allowed = sorted(os.sched_getaffinity(0))
    bench.results.cpus = f"CPU {allowed[0]} alone" if len(allowed) == 1 else f"{len(allowed)} CPUs"
    try:
        log(f"Wine prefix {prefix}")
        harness.make_prefix(prefix)
        parts = options.only or ["throughput", "handover", "idle", "leaks"]
        for part in parts:
            getattr(bench, part)()
    except harness.Failure as failure:
        print(f"benchmark run failed: {failure}\n(runs kept in {work_dir})", file=sys.stderr)
        return 1
    finally:
        harness.end_prefix(prefix)
    (work_dir / "results.json").write_text(json.dumps(bench.results.__dict__, indent=1))
    print(table(bench.results, sizes))
    log(f"({time.monotonic() - started:.0f} s; runs and results.json in {work_dir})")
    return 0


if __name__ == "__main__":
    sys.exit(main())
