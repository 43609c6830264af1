"""The extra desktops: made one after another at start-up, each with a shell
and a bounded wait for the shell's taskbar, and the swipes that move along
the list of desktops.

Under Wine a desktop handle is closed when a thread bound to it ends, so
once the taskbar workers are gone the three desktops' handles are usually
one and the same, stale, value. Desktops are therefore told apart by the
order of the program's CreateDesktopW calls, not by handle value alone; the
cases whose shell can't start keep three distinct, valid handles.
"""

import re
import sys

from harness import (SHELL_ABSENT, Harness, RelayCall, Run, check_packet_lifetimes, desktop_handles,
                     expect, expect_equal, main, main_thread)

RELAY = [
    "user32.GetThreadDesktop", "user32.CreateDesktopW", "KERNEL32.CreateProcessW", "KERNEL32.CloseHandle",
    "user32.SetThreadDesktop", "user32.FindWindowW", "KERNEL32.Sleep", "user32.PostMessageW",
    "user32.SwitchDesktop", "KERNEL32.WaitForSingleObject",
]
NAMES = ["TALVEK00", "TALVEK10", "TALVEK20"]
GENERIC_ALL = 0x10000000
# What GetSystemWindowsDirectoryW gives in a Wine prefix, and the shell's name.
SHELL_PATH = "C:\\windows\\Explorer.exe"
TRAY_CLASS = "Shell_TrayWnd"
TRAY_STARTUP = [0x574, 2, 0]
POLL_MS = 500
SEARCH_LIMIT_MS = 30000
# The worker's own calls; it also closes handles and yields inside the
# thread library, which says nothing about the taskbar search.
WORKER_CALLS = ("user32.SetThreadDesktop", "user32.FindWindowW", "KERNEL32.Sleep", "user32.PostMessageW")

# A stand-in shell (simcom/notray.cpp) that hands over to Wine's shell only on
# the desktops listed here.
NOTRAY = "notray.exe"
TRAY_DESKTOPS_VARIABLE = "TALVEK_SIM_TRAY_DESKTOPS"

_STARTED = re.compile(r"^(?P<pid>[0-9a-f]+):(?P<tid>[0-9a-f]+):trace:process:NtCreateUserProcess .* "
                      r"handles 0x(?P<process>[0-9a-f]+)/0x(?P<thread>[0-9a-f]+)$")


def program_pid(run: Run) -> int:
    return int(re.search(r"^sim start pid=0x([0-9A-F]+) ", run.facts[0])[1], 16)


def started_handles(run: Run) -> list[tuple[int, int]]:
    """(process, thread) handles of each process the main thread started, in
    order, from Wine's +process channel (the relay shows no structures)."""
    pid, main = program_pid(run), main_thread(run)
    found = []
    for line in run.stderr.splitlines():
        match = _STARTED.match(line)
        if match and int(match["pid"], 16) == pid and int(match["tid"], 16) == main:
            found.append((int(match["process"], 16), int(match["thread"], 16)))
    return found


def startup_ms(run: Run) -> int:
    """From SynCreateAPI to the pump's first TakeNotification (sim clock)."""
    first = next((ms for ms, fact in run.timed_facts if fact.startswith("take ")), None)
    expect(first is not None, "the pump never took a notification")
    return first


def notification_event(run: Run) -> int:
    attach = next((f for f in run.facts if f.startswith("attach device event=")), None)
    expect(attach is not None, "the program never attached its event to the device")
    return int(re.search(r"event=0x([0-9A-F]+)", attach)[1], 16)


def pump_waits(run: Run) -> list[RelayCall]:
    """The main thread's waits on the notification event, in order."""
    event, main = notification_event(run), main_thread(run)
    return [c for c in run.relay_calls("KERNEL32.WaitForSingleObject") if c.thread == main and c.arguments[0] == event]


def between(run: Run, start: int, end: int) -> list[RelayCall]:
    return [c for c in run.relay if start < c.called_at < end]


def worker_pattern(calls: list[RelayCall]) -> list[tuple]:
    """The taskbar worker's calls as (function, what, result): the class
    looked for, or the arguments. The thread library's yields (Sleep(0))
    are left out, and so is what Sleep returns."""
    pattern = []
    for c in calls:
        if c.function not in WORKER_CALLS or (c.function == "KERNEL32.Sleep" and c.arguments[0] == 0):
            continue
        what = c.texts[0] if c.function == "user32.FindWindowW" else [c.argument32(i) for i in range(len(c.arguments))]
        pattern.append((c.function.split(".")[1], what, None if c.function == "KERNEL32.Sleep" else c.result))
    return pattern


def check_worker(calls: list[RelayCall], desktop: int, shows_tray: bool, name: str) -> None:
    """Bound to its desktop, the worker looks for the taskbar at once and
    then every POLL_MS; once found it looks once more and posts the start-up
    message to what that look found; never found, it gives up at the bound."""
    pattern = worker_pattern(calls)
    expect_equal(pattern[:1], [("SetThreadDesktop", [desktop], 1)], f"{name}: the worker's first call")
    searches = pattern[1:]
    miss = [("FindWindowW", TRAY_CLASS, 0), ("Sleep", [POLL_MS], None)]
    misses = 0
    while searches[2 * misses:2 * misses + 2] == miss:
        misses += 1
    rest = searches[2 * misses:]
    if shows_tray:
        expect(len(rest) == 3 and rest[0][:2] == ("FindWindowW", TRAY_CLASS) and rest[0][2] != 0,
               f"{name}: after {misses} misses the taskbar is found, looked for once more and posted to: {rest}")
        tray = rest[1][2]
        expect_equal(rest[1:], [("FindWindowW", TRAY_CLASS, tray), ("PostMessageW", [tray, *TRAY_STARTUP], 1)],
                     f"{name}: the last look and the start-up message to the taskbar it found")
    else:
        expect_equal((misses, rest), (SEARCH_LIMIT_MS // POLL_MS, [("FindWindowW", TRAY_CLASS, 0)]),
                     f"{name}: misses each followed by {POLL_MS} ms, then the last look at the bound")
    expect(all(c.arguments[1] == 0 for c in calls if c.function == "user32.FindWindowW"),
           f"{name}: the taskbar is looked for by its class alone")


def check_provisioning(run: Run, shows_tray: dict[str, bool]) -> None:
    """Each desktop in turn: created, its shell started, then a worker bound
    to it waits for the taskbar, and only after the worker is done comes the
    next desktop."""
    main = main_thread(run)
    handles = desktop_handles(run)
    creates = run.relay_calls("user32.CreateDesktopW")
    expect_equal([(c.thread, c.texts[0], [c.argument32(i) for i in range(1, 6)]) for c in creates],
                 [(main, name, [0, 0, 0, GENERIC_ALL, 0]) for name in NAMES],
                 "CreateDesktopW calls (thread, name, device, mode, flags, access, security)")
    expect_equal([(c.thread, c.argument32(0), c.called_at < creates[0].called_at)
                  for c in run.relay_calls("user32.GetThreadDesktop")], [(main, main, True)],
                 "the starting desktop, GetThreadDesktop(GetCurrentThreadId()), asked for before the others are made")
    waits = pump_waits(run)
    expect(bool(waits), "the pump never waited for the event")
    started = started_handles(run)
    expect_equal(len(started), len(NAMES), "processes started by the main thread")
    bounds = [c.called_at for c in creates] + [waits[0].called_at]
    for index, name in enumerate(NAMES):
        window = between(run, bounds[index] - 1, bounds[index + 1])
        on_main = [c for c in window if c.thread == main]
        shells = [c for c in on_main if c.function == "KERNEL32.CreateProcessW"]
        expect_equal([(c.texts[0], c.texts[1], c.arguments[2], c.arguments[3], c.argument32(4), c.argument32(5),
                       c.arguments[6], c.arguments[7], c.result != 0) for c in shells],
                     [(SHELL_PATH, SHELL_PATH, 0, 0, 0, 0, 0, 0, True)],
                     f"{name}: CreateProcessW (application, command line, security x2, inherit, flags, "
                     f"environment, directory, started)")
        process, thread = started[index]
        closes = [c for c in on_main if c.function == "KERNEL32.CloseHandle" and c.arguments[0] in (process, thread)]
        expect_equal([c.arguments[0] for c in closes], [thread, process],
                     f"{name}: the shell's handles closed (thread {thread:#x}, process {process:#x})")
        workers = sorted({c.thread for c in window if c.thread != main and worker_pattern([c])})
        expect(len(workers) == 1, f"{name}: one taskbar worker, a thread other than the main thread: {workers}")
        work = [c for c in window if c.thread == workers[0]]
        expect(work[0].called_at > max(c.returned_at for c in closes),
               f"{name}: the worker starts after the shell is started and its handles closed")
        check_worker(work, handles[name], shows_tray[name], name)
        expect(all(c.returned_at is not None and c.returned_at < bounds[index + 1] for c in work),
               f"{name}: the worker is done before the next desktop (or the pump)")


def swipe_output(state: int, dx: int, line: bytes | None) -> bytes:
    return f"STATE : {state}\r\nRELEASE ({dx},0) \r\n".encode() + (line + b"\r\n" if line else b"")


# desk_swipes.txt, one gesture a wake-up: (sum of X, line, the desktop switched to or None).
SWIPES = [
    (-80, b"SWIPE RIGHT", "TALVEK00"),
    (-80, b"SWIPE RIGHT", "TALVEK10"),
    (-80, b"SWIPE RIGHT", "TALVEK20"),
    (-80, None, None),
    (80, b"SWIPE LEFT", "TALVEK10"),
    (80, b"SWIPE LEFT", "TALVEK00"),
    (80, b"SWIPE LEFT", "start"),
    (80, None, None),
]


def check_swipes(run: Run) -> None:
    expect_equal(run.stdout, b"".join(swipe_output(k + 1, dx, line) for k, (dx, line, _) in enumerate(SWIPES)),
                 "standard output")
    check_packet_lifetimes(run)
    handles = desktop_handles(run)
    main = main_thread(run)
    waits = pump_waits(run)
    woken = [w for w in waits if w.returned_at is not None]
    expect_equal(len(woken), len(SWIPES), "wake-ups the pump took (one a gesture)")
    switches = []
    ends = [w.called_at for w in waits[1:]] + [sys.maxsize]
    for k in range(len(SWIPES)):
        turn = [c for c in between(run, woken[k].returned_at, ends[k]) if c.thread == main]
        switches.append([(c.function.split(".")[1], c.arguments[0]) for c in turn
                         if c.function in ("user32.SwitchDesktop", "user32.SetThreadDesktop")])
    expect_equal(switches, [[("SwitchDesktop", handles[to]), ("SetThreadDesktop", handles[to])] if to else []
                            for _, _, to in SWIPES],
                 f"the main thread's switches, gesture by gesture (handles {handles})")


def provisions_with_shells(h: Harness) -> None:
    run = h.run("desk_startup.txt", until="done", relay=RELAY, channels=["+process"])
    check_provisioning(run, {name: True for name in NAMES})
    print(f"start-up with Wine's shell, relay on: {startup_ms(run)} ms from SynCreateAPI to the first take")


def swipes_with_shells(h: Harness) -> None:
    run = h.run("desk_swipes.txt", until="done", relay=RELAY)
    check_swipes(run)


def missing_shell_does_not_hold_up_start_up(h: Harness) -> None:
    run = h.run("desk_swipes.txt", until="done", relay=RELAY, shell=SHELL_ABSENT)
    waits = pump_waits(run)
    expect(bool(waits), "the pump never waited for the event")
    startup = [c for c in run.relay if c.called_at < waits[0].called_at]
    expect_equal([(c.function, c.texts[0], c.result != 0) for c in startup
                   if c.function in ("user32.CreateDesktopW", "KERNEL32.CreateProcessW")],
                  [call for name in NAMES
                   for call in (("user32.CreateDesktopW", name, True), ("KERNEL32.CreateProcessW", SHELL_PATH, False))],
                  "desktops made, shells that could not be started (function, name, succeeded)")
    expect_equal(len(set(desktop_handles(run).values())), 1 + len(NAMES), "distinct desktop handles")
    expect_equal([(c.thread, c.function) for c in startup if c.function in WORKER_CALLS
                  and not (c.function == "KERNEL32.Sleep" and c.arguments[0] == 0)], [],
                 "calls of a taskbar worker before the pump runs")
    took = startup_ms(run)
    print(f"start-up without a shell, relay on: {took} ms")
    expect(took < SEARCH_LIMIT_MS // 2, f"start-up took {took} ms: it waited for a taskbar")
    check_swipes(run)


def shell_without_taskbar_is_given_up(h: Harness) -> None:
    # Only TALVEK10's shell never shows a taskbar; the others are Wine's.
    run = h.run("desk_startup.txt", until="done", relay=RELAY, channels=["+process"], timeout=180,
                shell=h.build_dir / NOTRAY, environment={TRAY_DESKTOPS_VARIABLE: "TALVEK00;TALVEK20"})
    check_provisioning(run, {"TALVEK00": True, "TALVEK10": False, "TALVEK20": True})
    print(f"start-up with one shell never showing a taskbar, relay on: {startup_ms(run)} ms")


CASES = {
    "provisions_each_desktop_in_turn": provisions_with_shells,
    "swipes_walk_the_list_and_stop_at_its_ends": swipes_with_shells,
    "missing_shell_does_not_hold_up_start_up": missing_shell_does_not_hold_up_start_up,
    "shell_without_taskbar_is_given_up_at_the_bound": shell_without_taskbar_is_given_up,
}

if __name__ == "__main__":
    sys.exit(main(CASES))
