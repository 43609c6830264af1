"""Dragging a real window: the window under the cursor when the drag begins,
and the cursor with it, follow each further drag packet."""

import re
import sys

from harness import Harness, check_packet_lifetimes, expect, expect_equal, main, parse_ints

SWP_NOSIZE_NOZORDER = 0x5

# After the first drag packet (nothing moves), after (5, 3), after (-4, -6):
# the window's left, top, right, bottom and the cursor's x, y.
EXPECTED = [
    (100, 100, 400, 300, 250, 200),
    (105, 97, 405, 297, 255, 197),
    (101, 103, 401, 303, 251, 203),
]


def drag_case(scenario: str, hit: str):
    def check(h: Harness) -> None:
        run = h.run(scenario, until="done", relay=["user32.SetWindowPos", "user32.SetCursorPos"])
        expect(not run.exited, f"the program ended with status {run.exit_code}")
        expect_equal(run.stdout, b"MOVE : 5, 3\r\nMOVE : -4, -6\r\n", "standard output")
        check_packet_lifetimes(run)

        observed = [f for f in run.facts if f.startswith("observe ")]
        expect_equal([f.rsplit(" hit ", 1)[1] for f in observed], [hit] * 3,
                     "what WindowFromPoint finds under the cursor")
        expect_equal([tuple(parse_ints(f.rsplit(" hit ", 1)[0])) for f in observed], EXPECTED,
                     "window rectangle and cursor after each wake-up")

        window = next(f for f in run.facts if f.startswith("window top="))
        top = int(re.search(r"top=0x([0-9A-F]+)", window)[1], 16)
        moves = [(c.arguments[0], c.arguments[1], c.argument32(2), c.argument32(3), c.argument32(4),
                  c.argument32(5), c.argument32(6)) for c in run.relay_calls("user32.SetWindowPos")]
        expect_equal(moves, [(top, 0, 105, 97, 0, 0, SWP_NOSIZE_NOZORDER),
                             (top, 0, 101, 103, 0, 0, SWP_NOSIZE_NOZORDER)],
                     "the program's SetWindowPos calls (window, after, x, y, cx, cy, flags)")
        cursor = [(c.argument32(0), c.argument32(1)) for c in run.relay_calls("user32.SetCursorPos")]
        expect_equal(cursor, [(255, 197), (251, 203)], "the program's SetCursorPos calls")
    return check


CASES = {
    "window_follows_drag": drag_case("drag_window.txt", "top"),
    "drag_begun_over_child_moves_top_level_window": drag_case("drag_window_child.txt", "child"),
}

if __name__ == "__main__":
    sys.exit(main(CASES))
