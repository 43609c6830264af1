"""The window drag on whichever desktop is shown: its window and cursor
calls are made by a helper thread bound to that desktop, because the main
thread, once in a COM apartment, can't be bound to another one.

Under Wine the desktops' handles go stale once the taskbar workers end (see
test_desktops.py), so the cases that need TALVEK00's handle valid run with no
shell in the prefix: then no worker is ever bound and nothing closes them.
"""

import re
import sys

from harness import (SHELL_ABSENT, Harness, RelayCall, Run, check_packet_lifetimes, desktop_handles, expect,
                     expect_equal, main, main_thread, parse_ints)

DRAG_CALLS = ["user32.GetCursorPos", "user32.WindowFromPoint", "user32.GetAncestor", "user32.GetWindowRect",
              "user32.SetWindowPos", "user32.SetCursorPos"]
RELAY = ["user32.GetThreadDesktop", "user32.CreateDesktopW", "user32.SwitchDesktop", "user32.SetThreadDesktop",
         "ole32.CoInitialize", *DRAG_CALLS]
SWP_NOSIZE_NOZORDER = 0x5

# After the drag's first packet (nothing moves), after (5, 3), after (-4, -6):
# the window's left, top, right, bottom and the cursor's x, y.
MOVED = [
    (100, 100, 400, 300, 250, 200),
    (105, 97, 405, 297, 255, 197),
    (101, 103, 401, 303, 251, 203),
]
MOVES = [(105, 97), (101, 103)]
CURSOR_MOVES = [(255, 197), (251, 203)]


def test_window(run: Run) -> int:
    made = next((f for f in run.facts if f.startswith("window top=")), None)
    expect(made is not None, "no test window")
    return int(re.search(r"top=0x([0-9A-F]+)", made)[1], 16)


def observed(run: Run) -> list[tuple[tuple[int, ...], str]]:
    return [(tuple(parse_ints(f.rsplit(" hit ", 1)[0])), f.rsplit(" hit ", 1)[1])
            for f in run.facts if f.startswith("observe ")]


def binding_before(run: Run, call: RelayCall) -> RelayCall | None:
    """The calling thread's latest SetThreadDesktop before `call`."""
    earlier = [c for c in run.relay_calls("user32.SetThreadDesktop")
               if c.thread == call.thread and c.called_at < call.called_at]
    return earlier[-1] if earlier else None


def check_drag_made_on(run: Run, calls: list[RelayCall], desktop: int, what: str) -> None:
    """Each call came from a thread other than the main thread, bound to
    `desktop` by its latest SetThreadDesktop, which succeeded."""
    main = main_thread(run)
    expect(bool(calls), f"{what}: no drag calls")
    for call in calls:
        binding = binding_before(run, call)
        expect(call.thread != main and binding is not None and binding.arguments[0] == desktop and binding.result,
               f"{what}: {call.function} on thread {call.thread:#x} (main {main:#x}), latest binding "
               f"{(hex(binding.arguments[0]), binding.result) if binding else None}, wanted {desktop:#x} and success")


def check_moves(run: Run, top: int, calls: list[RelayCall]) -> None:
    expect_equal([(c.arguments[0], c.arguments[1], c.argument32(2), c.argument32(3), c.argument32(4),
                   c.argument32(5), c.argument32(6)) for c in calls if c.function == "user32.SetWindowPos"],
                 [(top, 0, x, y, 0, 0, SWP_NOSIZE_NOZORDER) for x, y in MOVES],
                 "SetWindowPos calls (window, after, x, y, cx, cy, flags)")
    expect_equal([(c.argument32(0), c.argument32(1)) for c in calls if c.function == "user32.SetCursorPos"],
                 CURSOR_MOVES, "SetCursorPos calls")


def switch_binding_on_main(run: Run, desktop: int) -> RelayCall:
    """The main thread's SetThreadDesktop that goes with its switch to `desktop`."""
    main = main_thread(run)
    switch = next((c for c in run.relay_calls("user32.SwitchDesktop") if c.arguments[0] == desktop), None)
    expect(switch is not None and switch.thread == main, f"no switch to {desktop:#x} on the main thread")
    binding = next((c for c in run.relay_calls("user32.SetThreadDesktop")
                    if c.thread == main and c.called_at > switch.called_at), None)
    expect(binding is not None and binding.arguments[0] == desktop,
           f"the switch to {desktop:#x} is followed by the main thread's SetThreadDesktop with it")
    return binding


def main_thread_is_refused_after_com(h: Harness) -> None:
    # The scenario makes its window only after the first packet turn: under
    # Wine a thread that makes a window joins COM too (imm32), and the first
    # thread to join takes the process's main apartment and its window. Had
    # the sim's window thread been first, the program's main thread would own
    # no window and Wine would let it be rebound.
    run = h.run("desk_drag_new_desktop.txt", until="done", relay=RELAY, shell=SHELL_ABSENT)
    main = main_thread(run)
    talvek00 = desktop_handles(run)["TALVEK00"]
    com = [c for c in run.relay_calls("ole32.CoInitialize") if c.thread == main]
    expect(bool(com) and com[0].returned_at is not None, "the main thread never joined COM")
    binding = switch_binding_on_main(run, talvek00)
    expect(binding.called_at > com[0].returned_at, "the switch comes after COM start-up")
    expect_equal(binding.result, 0, f"what the main thread's SetThreadDesktop({talvek00:#x}) after COM returned")
    # The same handle binds the drag's helper: the handle is good, it is the
    # main thread that is refused.
    helper = [c for c in run.relay_calls("user32.SetThreadDesktop") if c.thread != main]
    expect_equal([(c.arguments[0], c.result) for c in helper], [(talvek00, 1)],
                 "the drag helper's SetThreadDesktop calls (handle, result)")


def drag_moves_window_on_new_desktop(h: Harness) -> None:
    run = h.run("desk_drag_new_desktop.txt", until="done", relay=RELAY, shell=SHELL_ABSENT)
    expect_equal(run.stdout, b"STATE : 1\r\nRELEASE (-80,0) \r\nSWIPE RIGHT\r\nMOVE : 5, 3\r\nMOVE : -4, -6\r\n",
                 "standard output")
    check_packet_lifetimes(run)
    expect(re.search(r" desktop TALVEK00$", next(f for f in run.facts if f.startswith("window top="))) is not None,
           "the test window is on TALVEK00")
    expect_equal(observed(run), [(m, "top") for m in MOVED],
                 "window rectangle, cursor and what is under it, seen on TALVEK00, after each wake-up")
    talvek00 = desktop_handles(run)["TALVEK00"]
    drag = [c for c in run.relay if c.function in DRAG_CALLS]
    check_drag_made_on(run, drag, talvek00, "drag on TALVEK00")
    top = test_window(run)
    expect_equal([(c.function, c.result) for c in drag if c.function == "user32.GetAncestor"],
                 [("user32.GetAncestor", top)], "the window the drag took hold of")
    check_moves(run, top, drag)


def drag_follows_back_to_start(h: Harness) -> None:
    run = h.run("desk_drag_round_trip.txt", until="done", relay=RELAY, shell=SHELL_ABSENT)
    expect_equal(run.stdout, b"STATE : 1\r\nRELEASE (-80,0) \r\nSWIPE RIGHT\r\n"
                             b"STATE : 2\r\nRELEASE (80,0) \r\nSWIPE LEFT\r\nMOVE : 5, 3\r\nMOVE : -4, -6\r\n",
                 "standard output")
    check_packet_lifetimes(run)
    handles = desktop_handles(run)
    top = test_window(run)
    back = next(c for c in run.relay_calls("user32.SwitchDesktop") if c.arguments[0] == handles["start"])
    on_talvek00 = [c for c in run.relay if c.function in DRAG_CALLS and c.called_at < back.called_at]
    on_start = [c for c in run.relay if c.function in DRAG_CALLS and c.called_at > back.called_at]
    check_drag_made_on(run, on_talvek00, handles["TALVEK00"], "drag taken up on TALVEK00")
    # On TALVEK00 nothing of the starting desktop is under the cursor.
    found = [(c.function, c.result) for c in on_talvek00 if c.function in ("user32.WindowFromPoint", "user32.GetAncestor")]
    expect(len(found) == 2 and top not in [result for _, result in found],
           f"the lookup on TALVEK00 must not find the starting desktop's window {top:#x}: {found}")
    check_drag_made_on(run, on_start, handles["start"], "drag back on the starting desktop")
    expect_equal(observed(run), [((*MOVED[0][:4], 250, 200), "top")] + [(m, "top") for m in MOVED],
                 "window rectangle, cursor and what is under it after each drag wake-up")
    check_moves(run, top, on_start)


def unbindable_helper_leaves_drag_to_main_thread(h: Harness) -> None:
    # With Wine's shell the workers run, and when they end Wine closes the
    # desktops' handles: the helper can't be bound to TALVEK00's.
    run = h.run("desk_drag_new_desktop.txt", until="done", relay=RELAY)
    expect_equal(run.stdout, b"STATE : 1\r\nRELEASE (-80,0) \r\nSWIPE RIGHT\r\nMOVE : 5, 3\r\nMOVE : -4, -6\r\n",
                 "standard output")
    main = main_thread(run)
    talvek00 = desktop_handles(run)["TALVEK00"]
    helper = [c for c in run.relay_calls("user32.SetThreadDesktop") if c.thread != main
              and c.called_at > run.relay_calls("user32.SwitchDesktop")[0].called_at]
    expect(bool(helper) and all(c.arguments[0] == talvek00 and c.result == 0 for c in helper),
           f"this case needs the helper refused TALVEK00's stale handle {talvek00:#x}: "
           f"{[(hex(c.arguments[0]), c.result) for c in helper]}")
    drag = [c for c in run.relay if c.function in DRAG_CALLS]
    expect_equal([(c.function, c.thread) for c in drag], [(c.function, main) for c in drag],
                 "the drag's calls, made on the main thread instead")
    expect_equal([c.function for c in drag], ["user32.GetCursorPos", "user32.WindowFromPoint", "user32.GetAncestor"]
                 + ["user32.GetWindowRect", "user32.SetWindowPos", "user32.GetCursorPos", "user32.SetCursorPos"] * 2,
                 "the drag's calls, each made once")


CASES = {
    "main_thread_is_refused_after_com": main_thread_is_refused_after_com,
    "drag_moves_window_on_new_desktop": drag_moves_window_on_new_desktop,
    "drag_follows_back_to_starting_desktop": drag_follows_back_to_start,
    "unbindable_helper_leaves_drag_to_main_thread": unbindable_helper_leaves_drag_to_main_thread,
}

if __name__ == "__main__":
    sys.exit(main(CASES))
