"""Runs talvek.exe under Wine with the simulated touchpad component.

Each run gets its own X server (Xvfb, started here so that every process of
the run shares it and it is sure to end), the shared Wine prefix of the build
tree, a scenario for SynCom.DLL and a fresh sim log. The run ends when the
program exits, or when the sim has played its whole script (`done`); then
everything in the prefix is ended with `wineserver -k`, whatever happened.

A test script holds a table of cases and calls `main(CASES)`; CTest runs one
case per test (`--case NAME`), and `--list` names the cases.
"""

from __future__ import annotations

import argparse
import ctypes
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import traceback
from dataclasses import dataclass, field
from pathlib import Path
from typing import Callable, Iterable, Sequence

WINE = Path("/usr/lib/wine/wine64")
WINESERVER = Path("/usr/lib/wine/wineserver")
XVFB = "Xvfb"
SCREEN = "1024x768x24"
SCENARIOS = Path(__file__).resolve().parent / "scenarios"


# The packet properties, the packet load's "no packet left", and the reads
# each kind of packet makes, in order.
WORD = 0x10000315
STATE = 0x10000312
DX = 0x1000030C
DY = 0x1000030D
E_FAIL = 0x80004005
BEGIN = [WORD, STATE, DX, DY]               # a swipe packet while idle
GO_ON = [WORD, DX, DY]                      # a swipe packet during a swipe
DRAG_STEP = [WORD, DY, DX, DY, DX, DY, DX]  # the line's, the window's and the cursor's motion
OTHER = [WORD]                              # a lift, a drag's first packet, anything else

READY_MARKER = ".talvek-prefix-ready"

# The shell the program starts on each new desktop (C:\windows\Explorer.exe),
# and where a run that replaces it keeps the prefix's own meanwhile. Wine's
# desktop process runs system32\explorer.exe, which is never touched.
SHELL = Path("drive_c/windows/explorer.exe")
SHELL_KEPT = Path("drive_c/windows/explorer.exe.talvek-kept")
SHELL_ABSENT = "absent"


class Failure(Exception):
    """A check of a test case did not hold."""


def expect(condition: bool, message: str) -> None:
    if not condition:
        raise Failure(message)


def expect_equal(actual, expected, what: str) -> None:
    if actual != expected:
        raise Failure(f"{what}:\n  expected {expected!r}\n  actual   {actual!r}")


# --- processes -----------------------------------------------------------------

_PR_SET_PDEATHSIG = 1


def _die_with_parent() -> None:
    # If the test itself is killed (CTest's time-out), its children go too.
    libc = ctypes.CDLL(None, use_errno=True)
    libc.prctl(_PR_SET_PDEATHSIG, signal.SIGTERM, 0, 0, 0)


def _stop(process: subprocess.Popen | None, grace: float = 5.0) -> None:
    if process is None or process.poll() is not None:
        return
    process.terminate()
    try:
        process.wait(timeout=grace)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait()


class XServer:
    """An Xvfb of our own; its display number comes back through -displayfd."""

    def __init__(self) -> None:
        read_end, write_end = os.pipe()
        try:
            self.process = subprocess.Popen(
                [XVFB, "-displayfd", str(write_end), "-screen", "0", SCREEN, "-nolisten", "tcp"],
                pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                preexec_fn=_die_with_parent)
        finally:
            os.close(write_end)
        with os.fdopen(read_end) as pipe:
            number = pipe.readline().strip()
        if not number.isdigit():
            _stop(self.process)
            raise Failure("Xvfb did not report a display")
        self.display = f":{number}"

    def close(self) -> None:
        _stop(self.process)


def wine_environment(prefix: Path, display: str, debug: str = "-all") -> dict[str, str]:
    env = {k: v for k, v in os.environ.items() if not k.startswith(("TALVEK_SIM_", "WINE"))}
    env.update(WINEPREFIX=str(prefix), WINEDEBUG=debug, WINEDLLOVERRIDES="mscoree,mshtml=", DISPLAY=display)
    return env


def end_prefix(prefix: Path) -> None:
    """Ends every process of the prefix and waits for its server to go."""
    env = {**os.environ, "WINEPREFIX": str(prefix)}
    for option in ("-k", "-w"):
        try:
            subprocess.run([str(WINESERVER), option], env=env, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL, check=False, timeout=30)
        except subprocess.TimeoutExpired:
            pass


def restore_shell(prefix: Path) -> None:
    """Puts the prefix's own shell back, if a run replaced it and was killed
    before it could."""
    kept = prefix / SHELL_KEPT
    if kept.exists():
        os.replace(kept, prefix / SHELL)


def replace_shell(prefix: Path, stand_in: str | Path) -> None:
    """Keeps the prefix's shell aside and puts `stand_in` (a program, or
    SHELL_ABSENT for none) where the program looks for its shell."""
    restore_shell(prefix)
    os.replace(prefix / SHELL, prefix / SHELL_KEPT)
    if stand_in != SHELL_ABSENT:
        shutil.copyfile(stand_in, prefix / SHELL)


def make_prefix(prefix: Path) -> None:
    """Creates the Wine prefix of a build tree once; later calls reuse it."""
    if (prefix / READY_MARKER).exists():
        restore_shell(prefix)
        return
    shutil.rmtree(prefix, ignore_errors=True)
    xserver = XServer()
    try:
        env = wine_environment(prefix, xserver.display)
        result = subprocess.run([str(WINE), "wineboot", "--init"], env=env, stdout=subprocess.PIPE,
                                stderr=subprocess.STDOUT, timeout=240, check=False)
        subprocess.run([str(WINESERVER), "-w"], env=env, timeout=120, check=False)
        if result.returncode != 0 or not (prefix / "system.reg").exists():
            raise Failure("wineboot --init failed:\n" + result.stdout.decode(errors="replace"))
    finally:
        end_prefix(prefix)
        xserver.close()
    (prefix / READY_MARKER).write_text("made by tests/e2e/harness.py\n")


def prefix_cpu_seconds(prefix: Path) -> float:
    """CPU time used so far by every live process of the prefix, wineserver
    included: a busy loop in a Wine program spends much of its time there."""
    marker = b"WINEPREFIX=" + str(prefix).encode()
    ticks = 0
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open(f"/proc/{entry}/environ", "rb") as environ:
                if marker not in environ.read().split(b"\0"):
                    continue
            with open(f"/proc/{entry}/stat", "rb") as stat:
                fields = stat.read().rsplit(b")", 1)[1].split()
        except OSError:
            continue
        ticks += int(fields[11]) + int(fields[12])  # utime, stime
    return ticks / os.sysconf("SC_CLK_TCK")


# --- relay trace ---------------------------------------------------------------

# Wine prints a string argument after its pointer: `00ca6f30 L"TALVEK00"`.
_RELAY_STRING = r'L?"(?:[^"\\]|\\.)*"(?:\.\.\.)?'
_RELAY_LINE = re.compile(
    r"^(?P<pid>[0-9a-f]{4,}):(?P<tid>[0-9a-f]{4,}):(?P<kind>Call|Ret)\s+(?P<func>[\w.]+)"
    r"\((?P<args>(?:[^)\"]|" + _RELAY_STRING + r")*)\)"
    r"(?: retval=(?P<retval>[0-9a-f]+))? ret=(?P<ret>[0-9a-f]+)$")
_RELAY_ARGUMENT = re.compile(r"\s*(?P<value>[0-9a-f]+)(?:\s+(?P<text>" + _RELAY_STRING + r"))?\s*(?:,|$)")
_RELAY_ESCAPE = re.compile(r"\\(x[0-9a-fA-F]{2,4}|.)")


def _relay_text(quoted: str) -> str:
    """The string Wine quoted, escapes undone (a cut-off string keeps its part)."""
    body = quoted[quoted.index('"') + 1:quoted.rindex('"')]
    simple = {"n": "\n", "r": "\r", "t": "\t", "0": "\0"}
    return _RELAY_ESCAPE.sub(
        lambda m: chr(int(m[1][1:], 16)) if m[1][0] == "x" and len(m[1]) > 1 else simple.get(m[1], m[1]), body)


@dataclass
class RelayCall:
    thread: int
    function: str          # as Wine names it, e.g. "user32.SetWindowPos"
    arguments: list[int]   # raw register-sized values; mask 32-bit ones
    caller: int            # the ret= address
    result: int | None = None
    # The string Wine showed for each argument (pointers to text), else None.
    texts: list[str | None] = field(default_factory=list)
    # Positions in the whole trace (all threads) of the Call line and of the
    # Ret line, None until it returned: what happened before what.
    called_at: int = 0
    returned_at: int | None = None

    def argument32(self, index: int) -> int:
        return self.arguments[index] & 0xFFFFFFFF


def _relay_arguments(text: str) -> tuple[list[int], list[str | None]]:
    values: list[int] = []
    texts: list[str | None] = []
    at = 0
    while at < len(text):
        match = _RELAY_ARGUMENT.match(text, at)
        if match is None or match.end() == at:
            raise Failure(f"cannot read the relay arguments {text!r}")
        values.append(int(match["value"], 16))
        texts.append(_relay_text(match["text"]) if match["text"] else None)
        at = match.end()
    return values, texts


def parse_relay(text: str, pid: int, image: tuple[int, int]) -> list[RelayCall]:
    """The program's own calls: its process, and a return address in its image."""
    calls: list[RelayCall] = []
    open_calls: dict[int, list[RelayCall]] = {}
    for position, line in enumerate(text.splitlines()):
        match = _RELAY_LINE.match(line)
        if match is None or int(match["pid"], 16) != pid:
            continue
        caller = int(match["ret"], 16)
        if not image[0] <= caller < image[1]:
            continue
        thread = int(match["tid"], 16)
        stack = open_calls.setdefault(thread, [])
        if match["kind"] == "Call":
            args, texts = _relay_arguments(match["args"])
            call = RelayCall(thread, match["func"], args, caller, texts=texts, called_at=position)
            calls.append(call)
            stack.append(call)
        else:
            for index in range(len(stack) - 1, -1, -1):
                if stack[index].function == match["func"] and stack[index].caller == caller:
                    stack[index].result = int(match["retval"], 16) if match["retval"] else None
                    stack[index].returned_at = position
                    del stack[index]
                    break
    return calls


def set_relay_include(prefix: Path, display: str, functions: Sequence[str]) -> None:
    env = wine_environment(prefix, display)
    # A file, not a pipe: the wineserver and the services that `reg` starts
    # inherit it, and a pipe would only reach its end when they are gone.
    with tempfile.TemporaryFile() as output:
        result = subprocess.run([str(WINE), "reg", "add", r"HKCU\Software\Wine\Debug", "/v", "RelayInclude", "/t",
                                 "REG_SZ", "/d", ";".join(functions), "/f"], env=env, stdout=output,
                                stderr=subprocess.STDOUT, check=False, timeout=60)
        output.seek(0)
        expect(result.returncode == 0, f"setting RelayInclude failed with status {result.returncode}:\n"
               + output.read().decode(errors="replace"))


# --- one run of the program ----------------------------------------------------

_SIM_START = re.compile(r"^sim start pid=0x([0-9A-F]+) .* image=0x([0-9A-F]+)-0x([0-9A-F]+) ")


@dataclass
class Run:
    exited: bool                 # ended by itself (not by the harness)
    exit_code: int | None        # its status when it exited by itself
    stdout: bytes
    timed_facts: list[tuple[int, str]]
    stderr: str
    relay: list[RelayCall] = field(default_factory=list)
    # The prefix's CPU time (s), sampled as each `cpu` fact appeared.
    prefix_cpu: list[float] = field(default_factory=list)

    @property
    def facts(self) -> list[str]:
        return [fact for _, fact in self.timed_facts]

    def facts_starting(self, *words: str) -> list[str]:
        return [fact for fact in self.facts if fact.split(" ", 1)[0] in words]

    def relay_calls(self, function: str) -> list[RelayCall]:
        return [call for call in self.relay if call.function == function]


def read_sim_log(path: Path) -> list[tuple[int, str]]:
    if not path.exists():
        return []
    facts = []
    for line in path.read_text(errors="replace").splitlines():
        stamp, _, fact = line.partition(" ")
        if stamp.isdigit():
            facts.append((int(stamp), fact))
    return facts


# Where the program's standard output goes: a file (read back as Run.stdout),
# nothing (the Unix descriptor closed), a device every write to fails, or a
# pipe the harness reads and may close while the program runs.
STDOUT_MODES = ("file", "closed", "full", "pipe")


class LiveRun:
    """A run while the program is still going, as a gate's handler sees it."""

    def __init__(self, mode: str, stdout_path: Path, log_path: Path) -> None:
        expect(mode in STDOUT_MODES, f"bad stdout {mode!r}")
        self.mode = mode
        self.stdout_path = stdout_path
        self.log_path = log_path
        self._read_end: int | None = None
        self._write_end: int | None = None
        self._piped = bytearray()
        if mode == "pipe":
            self._read_end, self._write_end = os.pipe()
            os.set_blocking(self._read_end, False)

    def open_for_program(self):
        """The stdout argument for Popen; the caller closes it after the start."""
        if self.mode == "file":
            return open(self.stdout_path, "wb")
        if self.mode == "full":
            return open("/dev/full", "wb")
        if self.mode == "pipe":
            return os.fdopen(self._write_end, "wb")
        return open(os.devnull, "wb")  # "closed": replaced by nothing in the child

    def start_program(self) -> None:
        """Runs in the child before it becomes Wine."""
        _die_with_parent()
        if self.mode == "closed":
            os.close(1)

    def facts(self) -> list[str]:
        return [fact for _, fact in read_sim_log(self.log_path)]

    def stdout(self) -> bytes:
        """Everything the program has written so far."""
        if self.mode == "file":
            return self.stdout_path.read_bytes()
        if self.mode == "pipe":
            while self._read_end is not None:
                try:
                    chunk = os.read(self._read_end, 65536)
                except BlockingIOError:
                    break
                if not chunk:
                    break
                self._piped += chunk
            return bytes(self._piped)
        return b""

    def close_stdout_reader(self) -> None:
        """Takes the reader away from a pipe: the program's later writes fail."""
        expect(self.mode == "pipe", "only a pipe has a reader to close")
        self.stdout()
        if self._read_end is not None:
            os.close(self._read_end)
            self._read_end = None

    def finish(self) -> bytes:
        written = self.stdout()
        if self._read_end is not None:
            os.close(self._read_end)
            self._read_end = None
        return written


Gate = Callable[[int, LiveRun], None]


class Harness:
    def __init__(self, build_dir: Path, prefix: Path, work_dir: Path) -> None:
        self.build_dir = build_dir
        self.prefix = prefix
        self.work_dir = work_dir
        self.runs = 0

    def scenario(self, name: str) -> Path:
        path = SCENARIOS / name
        expect(path.exists(), f"no scenario {path}")
        return path

    def run(self, scenario: str | Path, *, args: Sequence[str] = (), until: str = "exit",
            linger: float = 0.0, timeout: float = 90.0, relay: Sequence[str] = (),
            holders: Sequence[Sequence[str]] = (), shell: str | Path | None = None,
            environment: dict[str, str] | None = None, stdout: str = "file",
            on_gate: Gate | None = None, executable: str = "talvek.exe",
            channels: Sequence[str] = ()) -> Run:
        """Runs talvek.exe once.

        scenario: a file name under scenarios/, or a path.
        until: "exit" waits for the program to end by itself; "done" waits for
            the sim's `done`, then `linger` seconds more, then ends the run.
        relay: functions to trace (Wine's RelayInclude); the program's own
            calls come back in Run.relay.
        holders: argument lists for holdnames.exe processes started (and
            ready) before the program, in the same prefix and X server.
        shell: for this run only, what stands where the program looks for
            its shell: a program (copied there), or SHELL_ABSENT for nothing;
            None leaves the prefix's own.
        environment: more variables for the program (its shells inherit them).
        stdout: one of STDOUT_MODES.
        executable: the program in the build tree to run in talvek.exe's place
            (the benchmarks' baseline).
        on_gate: called as on_gate(n, live) when the sim waits at gate n (a
            `gate` step or packet option); the gate opens when it returns.
            Without it every gate opens at once.
        channels: more of Wine's debug channels (e.g. "+process"), written to
            Run.stderr with the process id on each line.
        """
        expect(until in ("exit", "done"), f"bad until {until!r}")
        scenario_path = scenario if isinstance(scenario, Path) else self.scenario(scenario)
        self.runs += 1
        out = self.work_dir / f"run{self.runs}"
        shutil.rmtree(out, ignore_errors=True)
        out.mkdir(parents=True)
        log_path = out / "sim.log"
        stdout_path = out / "stdout.bin"
        stderr_path = out / "stderr.txt"

        # A case killed from outside may have left its server behind, or
        # its stand-in shell.
        end_prefix(self.prefix)
        restore_shell(self.prefix)
        if shell is not None:
            replace_shell(self.prefix, shell)
        xserver = XServer()
        program = None
        holder_processes: list[subprocess.Popen] = []
        exited = False
        live = LiveRun(stdout, stdout_path, log_path)
        try:
            if relay:
                set_relay_include(self.prefix, xserver.display, relay)
            for holder_args in holders:
                holder_processes.append(self._start_holder(xserver.display, holder_args))
            debug = ["+pid", *(["+relay"] if relay else []), *channels]
            env = wine_environment(self.prefix, xserver.display, ",".join(debug) if len(debug) > 1 else "-all")
            env["TALVEK_SIM_SCENARIO"] = str(scenario_path)
            env["TALVEK_SIM_LOG"] = str(log_path)
            env.update(environment or {})
            with live.open_for_program() as stdout_file, open(stderr_path, "wb") as stderr_file:
                program = subprocess.Popen([str(WINE), str(self.build_dir / executable), *args],
                                           cwd=self.build_dir, env=env, stdin=subprocess.DEVNULL,
                                           stdout=stdout_file, stderr=stderr_file, preexec_fn=live.start_program)
            prefix_cpu: list[float] = []
            exited = self._wait(program, log_path, until, linger, timeout, prefix_cpu, live, on_gate)
        finally:
            # None of these raises, so every step runs.
            end_prefix(self.prefix)
            _stop(program)
            for holder in holder_processes:
                _stop(holder)
            xserver.close()
            restore_shell(self.prefix)

        timed_facts = read_sim_log(log_path)
        run = Run(exited=exited, exit_code=program.returncode if exited else None,
                  stdout=live.finish(), timed_facts=timed_facts,
                  stderr=stderr_path.read_text(errors="replace"), prefix_cpu=prefix_cpu)
        errors = [fact for fact in run.facts if fact.startswith("error")]
        expect(not errors, "the sim logged errors:\n  " + "\n  ".join(errors))
        if relay:
            start = next((m for m in map(_SIM_START.match, run.facts) if m), None)
            expect(start is not None, "no 'sim start' line to find the program's process and image")
            run.relay = parse_relay(run.stderr, int(start[1], 16), (int(start[2], 16), int(start[3], 16)))
        return run

    def _start_holder(self, display: str, holder_args: Sequence[str]) -> subprocess.Popen:
        env = wine_environment(self.prefix, display)
        holder = subprocess.Popen([str(WINE), str(self.build_dir / "holdnames.exe"), *holder_args],
                                  cwd=self.build_dir, env=env, stdin=subprocess.DEVNULL,
                                  stdout=subprocess.PIPE, stderr=subprocess.PIPE, preexec_fn=_die_with_parent)
        line = holder.stdout.readline()
        if line.strip() != b"ready":
            _stop(holder)
            raise Failure(f"holdnames {list(holder_args)} did not get ready: {line!r} "
                          f"{holder.stderr.read().decode(errors='replace')}")
        return holder

    def _wait(self, program: subprocess.Popen, log_path: Path, until: str, linger: float,
              timeout: float, prefix_cpu: list[float], live: LiveRun, on_gate: Gate | None) -> bool:
        """True when the program ended by itself."""
        deadline = time.monotonic() + timeout
        gates_opened = 0
        while time.monotonic() < deadline:
            if program.poll() is not None:
                return True
            facts = [fact for _, fact in read_sim_log(log_path)]
            while len(prefix_cpu) < sum(fact.startswith("cpu ") for fact in facts):
                prefix_cpu.append(prefix_cpu_seconds(self.prefix))
            # Gates are numbered in the order the sim reaches them.
            for gate in (int(f.split()[1]) for f in facts if re.fullmatch(r"gate \d+", f)):
                if gate > gates_opened:
                    if on_gate is not None:
                        on_gate(gate, live)
                    log_path.with_name(f"{log_path.name}.gate{gate}").touch()
                    gates_opened = gate
            if until == "done" and "done" in facts:
                time.sleep(linger)
                return program.poll() is not None
            time.sleep(0.02)
        tail = "\n  ".join(fact for _, fact in read_sim_log(log_path)[-15:])
        raise Failure(f"no {'exit' if until == 'exit' else 'done'} within {timeout:.0f} s; sim log ends:\n  {tail}")


# --- common checks ---------------------------------------------------------------

def check_packet_lifetimes(run: Run) -> None:
    """Every packet object was created once and released once, and none is left."""
    created = [int(f.split()[1]) for f in run.facts if re.match(r"packet \d+ created", f)]
    released = [int(f.split()[1]) for f in run.facts if re.match(r"packet \d+ released", f)]
    expect_equal(sorted(released), sorted(created), "packets released against packets created")
    expect_equal(len(set(created)), len(created), "packet numbers are unique")


@dataclass
class Turn:
    """One packet object's life as the sim saw it."""
    packet: int
    load: int | None = None             # the load's result, unsigned
    reads: list[int] = field(default_factory=list)  # property ids, in order
    released: bool = False


_PACKET_FACT = re.compile(r"^(?:packet (?P<n1>\d+) (?P<what>created|released)|load (?P<n2>\d+) -> 0x(?P<load>[0-9A-F]+)"
                          r"|read (?P<n3>\d+) 0x(?P<prop>[0-9A-F]+) )")


def turns(facts: Iterable[str]) -> list[Turn]:
    """The packet turns in order; fails when two objects' turns overlap, that
    is when an object is created before the one before it was released."""
    result: list[Turn] = []
    for fact in facts:
        match = _PACKET_FACT.match(fact)
        if match is None:
            continue
        number = int(match["n1"] or match["n2"] or match["n3"])
        if match["what"] == "created":
            if result and not result[-1].released:
                raise Failure(f"packet {number} created while packet {result[-1].packet} was not released")
            result.append(Turn(number))
            continue
        expect(bool(result) and result[-1].packet == number and not result[-1].released,
               f"'{fact}' outside its own packet's turn")
        if match["what"] == "released":
            result[-1].released = True
        elif match["load"] is not None:
            result[-1].load = int(match["load"], 16)
        else:
            result[-1].reads.append(int(match["prop"], 16))
    return result


def wake_facts(run: Run, wake: int) -> list[str]:
    """The facts from the sim's delivery of a wake-up to the player's seeing it done."""
    facts = run.facts
    start = next((i for i, f in enumerate(facts) if f.startswith(f"wake {wake} notes=")), None)
    expect(start is not None, f"wake-up {wake} was never delivered")
    end = next((i for i in range(start, len(facts)) if facts[i].startswith((f"wake {wake} finished", f"wake {wake} timeout"))),
               None)
    expect(end is not None and facts[end].startswith(f"wake {wake} finished"),
           f"wake-up {wake} was not finished by the program: {facts[end] if end is not None else 'no end'}")
    return facts[start:end + 1]


def parse_ints(text: str) -> list[int]:
    return [int(x) for x in re.findall(r"-?\d+", text)]


def main_thread(run: Run) -> int:
    """The program's main thread, the one that loaded the sim."""
    start = next((f for f in run.facts if f.startswith("sim start ")), "")
    found = re.search(r" main_thread=(\d+) ", start)
    expect(found is not None, "no 'sim start' line naming the main thread")
    return int(found[1])


def desktop_handles(run: Run) -> dict[str, int]:
    """Each desktop's handle as the program got it (needs the relay of
    user32.GetThreadDesktop and user32.CreateDesktopW): "start" is what its
    first GetThreadDesktop returned, the others are by the name given to
    CreateDesktopW, in call order. Under Wine the values may repeat, since a
    handle a thread was bound to is closed when that thread ends."""
    first = next((c for c in run.relay if c.function == "user32.GetThreadDesktop"), None)
    expect(first is not None and first.result, "the program never got its starting desktop")
    handles = {"start": first.result}
    for call in run.relay_calls("user32.CreateDesktopW"):
        handles[call.texts[0]] = call.result
    return handles


# --- entry -------------------------------------------------------------------------

Case = Callable[[Harness], None]


def unwind_on_signals() -> None:
    """Turns SIGTERM and SIGINT into SystemExit, once, so that the clean-up
    of a run (ending Wine and Xvfb) happens however the script is stopped."""
    def on_signal(number, frame):
        # Once: a second signal must not cut the clean-up short.
        signal.signal(signal.SIGTERM, signal.SIG_IGN)
        signal.signal(signal.SIGINT, signal.SIG_IGN)
        raise SystemExit(f"stopped by signal {number}")
    signal.signal(signal.SIGTERM, on_signal)
    signal.signal(signal.SIGINT, on_signal)


def main(cases: dict[str, Case], argv: Iterable[str] | None = None) -> int:
    parser = argparse.ArgumentParser()
    parser.add_argument("--list", action="store_true", help="name the cases, one a line")
    parser.add_argument("--case")
    parser.add_argument("--build-dir", type=Path)
    parser.add_argument("--prefix", type=Path)
    parser.add_argument("--work-dir", type=Path)
    options = parser.parse_args(list(argv) if argv is not None else None)
    if options.list:
        print("\n".join(cases))
        return 0
    if options.case not in cases or options.build_dir is None:
        parser.error("--case NAME and --build-dir are needed; cases: " + ", ".join(cases))
    prefix = options.prefix or options.build_dir / "wineprefix"
    work_dir = options.work_dir or options.build_dir / "e2e-runs" / options.case
    expect((prefix / READY_MARKER).exists(), f"no Wine prefix at {prefix}; run the e2e.prefix test first")

    # CTest ends a test that runs too long; SIGTERM then unwinds through the
    # clean-up in Harness.run instead of leaving Wine running.
    unwind_on_signals()

    harness = Harness(options.build_dir.resolve(), prefix.resolve(), work_dir.resolve())
    try:
        cases[options.case](harness)
    except Failure as failure:
        print(f"FAILED {options.case}: {failure}", file=sys.stderr)
        print(f"(runs kept in {work_dir})", file=sys.stderr)
        return 1
    except Exception:
        traceback.print_exc()
        return 1
    print(f"passed {options.case}")
    return 0
