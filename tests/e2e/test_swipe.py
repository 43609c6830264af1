"""Swipes as the console shows them: the STATE and RELEASE lines and the
move to the previous or next desktop."""

import sys

from harness import (BEGIN, GO_ON, OTHER, STATE, Harness, check_packet_lifetimes, expect,
                     expect_equal, main, turns)


EMPTY = []


def swipe_case(scenario: str, output: bytes, reads: list[list[int]] | None = None):
    def check(h: Harness) -> None:
        run = h.run(scenario, until="done")
        expect(not run.exited, f"the program ended with status {run.exit_code}")
        expect_equal(run.stdout, output, "standard output")
        check_packet_lifetimes(run)
        if reads is not None:
            expect_equal([t.reads for t in turns(run.facts)], reads, "property reads per packet")
    return check


CASES = {
    "left_motion_moves_to_next_desktop": swipe_case(
        "swipe_right.txt", b"STATE : 17\r\nRELEASE (-80,0) \r\nSWIPE RIGHT\r\n"),
    "sum_of_exactly_50_moves_nowhere": swipe_case(
        "swipe_threshold.txt", b"STATE : 4\r\nRELEASE (50,9) \r\n"),
    "right_motion_moves_back": swipe_case(
        "swipe_right_then_left.txt",
        b"STATE : 1\r\nRELEASE (-80,0) \r\nSWIPE RIGHT\r\nSTATE : 2\r\nRELEASE (70,3) \r\nSWIPE LEFT\r\n",
        [BEGIN, OTHER, EMPTY, BEGIN, GO_ON, OTHER, EMPTY]),
    "swipe_sums_across_wakes": swipe_case(
        "swipe_across_wakes.txt", b"STATE : 5\r\nRELEASE (70,0) \r\n",
        [BEGIN, EMPTY, GO_ON, OTHER, EMPTY]),
    # An unreadable state or motion counts as 0, and a packet whose contact
    # word can't be read changes nothing, so the swipe goes on past it.
    "unreadable_properties": swipe_case(
        "unreadable_properties.txt", b"STATE : 0\r\nRELEASE (-30,12) \r\nSWIPE RIGHT\r\n"),
}

if __name__ == "__main__":
    sys.exit(main(CASES))
