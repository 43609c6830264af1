"""The connection stage: API creation, device search and open, and the two
failure exits."""

import sys

from harness import Harness, Run, expect, expect_equal, main, parse_ints

API_ERROR = b"SynCreateAPI Error.\r\n"
NO_DEVICE = b"Cannot find a Synaptics Device.\r\n"
ODD_ARGS = ["--help", "x"]


def searches(run: Run) -> list[tuple[int, int, int]]:
    """(kind, reserved, handle value found on entry) of each search, in order."""
    found = []
    for fact in run.facts_starting("search"):
        words = dict(w.split("=", 1) for w in fact.split() if "=" in w)
        found.append((int(fact.split()[1]), int(words["reserved"]), int(words["before"])))
    return found


def opened_handles(run: Run) -> list[int]:
    return [parse_ints(fact.split("handle=")[1])[0] for fact in run.facts_starting("open")]


def check_failure_exit(h: Harness, scenario: str, output: bytes, kinds: list[int], opened: list[int],
                       args: list[str]) -> None:
    run = h.run(scenario, args=args, timeout=30)
    expect(run.exited, "the program did not end by itself")
    expect_equal(run.exit_code, 0, "exit status")
    expect_equal(run.stdout, output, "standard output")
    expect_equal(len(run.facts_starting("create")), 1, "API creations")
    expect_equal([kind for kind, _, _ in searches(run)], kinds, "device kinds searched")
    expect_equal(opened_handles(run), opened, "handles opened")
    expect_equal(run.facts_starting("attach", "packet", "take", "load"), [],
                 "calls after the failed connection")


def check_connection(h: Harness, scenario: str, kinds: list[int], handle: int, args: list[str],
                     linger: float = 0.0) -> None:
    run = h.run(scenario, args=args, until="done", linger=linger)
    expect(not run.exited, f"the program ended by itself with status {run.exit_code}")
    expect_equal(run.stdout, b"", "standard output")
    found = searches(run)
    expect_equal([kind for kind, _, _ in found], kinds, "device kinds searched")
    expect(all(reserved == 0 for _, reserved, _ in found), f"a search's first argument was not 0: {found}")
    expect_equal(found[0][2], -1, "the handle before the first search")
    expect_equal(opened_handles(run), [handle], "handles opened")
    attaches = run.facts_starting("attach")
    expect_equal([fact.split()[1] for fact in attaches], ["api", "device"], "event attaches, in order")


def failure_case(scenario, output, kinds, opened, args=()):
    return lambda h: check_failure_exit(h, scenario, output, kinds, opened, list(args))


def connection_case(scenario, kinds, handle, args=(), linger=0.0):
    return lambda h: check_connection(h, scenario, kinds, handle, list(args), linger)


CASES = {
    # name: check
    "api_creation_fails": failure_case("create_fails.txt", API_ERROR, [], []),
    "api_creation_positive_result": failure_case("create_fails_positive.txt", API_ERROR, [], []),
    "no_device_of_any_kind": failure_case("no_device.txt", NO_DEVICE, [2, 5, 0], []),
    "open_fails": failure_case("open_fails.txt", NO_DEVICE, [2], [1]),
    "second_kind_found": connection_case("second_kind_found.txt", [2, 5], 42),
    "third_kind_found": connection_case("third_kind_found.txt", [2, 5, 0], 3),
    "found_without_handle_opens_preset": connection_case("found_without_handle.txt", [2], -1),
    "failed_search_value_kept": connection_case("failed_search_leaves_handle.txt", [2, 5], 7),
    # Arguments change nothing.
    "api_creation_fails_with_args": failure_case("create_fails.txt", API_ERROR, [], [], ODD_ARGS),
    "no_device_with_args": failure_case("no_device.txt", NO_DEVICE, [2, 5, 0], [], ODD_ARGS),
    "connected_with_args_keeps_running": connection_case("connects.txt", [2], 1, ODD_ARGS, linger=3.0),
    # After a successful connection the process does not end by itself.
    "connected_keeps_running": connection_case("connects.txt", [2], 1, linger=3.0),
}

if __name__ == "__main__":
    sys.exit(main(CASES))
