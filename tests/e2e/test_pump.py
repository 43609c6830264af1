"""The packet pump: wake-ups, the drain, one fresh packet object per turn,
COM set-up, signal storms, and a missing packet class."""

import re
import sys

from harness import (DX, DY, E_FAIL, STATE, WORD, Harness,
                     check_packet_lifetimes, expect, expect_equal, main, parse_ints, turns,
                     wake_facts)

MAIN_THREAD_STA = ("STA", "MAINSTA")


def takes(facts: list[str]) -> list[int]:
    return [int(f.split()[2], 16) for f in facts if f.startswith("take ")]


def batch_ends(facts: list[str]) -> list[int]:
    return [int(f.split()[1]) for f in facts if re.fullmatch(r"batch \d+ end", f)]


def check_batches(h: Harness) -> None:
    run = h.run("batches.txt", until="done")
    expect(not run.exited, "the program ended")
    check_packet_lifetimes(run)

    # Three pending notifications are taken, then the fourth take ends the drain.
    first = wake_facts(run, 1)
    expect_equal(takes(first), [0, 0, 0, 1], "takes of wake-up 1")
    expect_equal([(t.load, t.reads) for t in turns(first)],
                 [(0, [WORD]), (0, [WORD]), (0, [WORD]), (E_FAIL, [])],
                 "wake-up 1: three packets each in its own object, then the empty load")

    # Nothing to load: one object, its load fails, it is released, nothing read.
    second = wake_facts(run, 2)
    expect_equal(takes(second), [1], "takes of wake-up 2")
    expect_equal([(t.load, t.reads) for t in turns(second)], [(E_FAIL, [])], "wake-up 2")

    # A load result other than E_FAIL still hands the packet to the tracker.
    third = wake_facts(run, 3)
    expect_equal([(t.load, t.reads) for t in turns(third)],
                 [(0x80070057, [WORD, STATE, DX, DY]), (0, [WORD]), (E_FAIL, [])], "wake-up 3")
    expect_equal(run.stdout, b"STATE : 3\r\nRELEASE (0,0) \r\nSWIPE RIGHT\r\n", "standard output")

    # COM: not set up during the connection, and an STA on the main thread
    # for every packet object.
    for fact in run.facts_starting("create", "attach"):
        expect("com=none" in fact, f"COM was set up before the first packet: {fact}")
    created = [f for f in run.facts if re.match(r"packet \d+ created", f)]
    expect_equal(len(created), 4 + 1 + 3, "packet objects created")
    for fact in created:
        fields = dict(w.split("=", 1) for w in fact.split() if "=" in w)
        expect(fields["main"] == "1", f"packet made off the main thread: {fact}")
        expect(fields["com"] in MAIN_THREAD_STA, f"packet made outside a single-threaded apartment: {fact}")


def check_event_storm(h: Harness) -> None:
    run = h.run("event_storm.txt", until="done")
    check_packet_lifetimes(run)
    # Each storm adds exactly one wake-up, which finds no packet.
    for wake, loads in ((1, [0, 0, E_FAIL]), (2, [0, E_FAIL])):
        facts = wake_facts(run, wake)
        expect(any(f.startswith("signal ") and "storm" in f for f in facts), f"no storm in wake-up {wake}")
        expect_equal([t.load for t in turns(facts)], loads + [E_FAIL], f"loads of wake-up {wake} and its storm")
        expect_equal(takes(facts), [1, 1], f"drains of wake-up {wake} and its storm")
    expect_equal(batch_ends(run.facts), [1, 2, 3, 4], "batches over the whole run")


def check_class_absent(h: Harness) -> None:
    run = h.run("class_absent.txt", until="done")
    expect(not run.exited, f"the program ended with status {run.exit_code}")
    wake_facts(run, 1)
    expect("class absent" in run.facts, "the sim did not remove the class")
    expect_equal([f for f in run.facts if re.match(r"packet \d+ created", f)], [], "packet objects created")
    cpu = [i for i, f in enumerate(run.facts) if f.startswith("cpu ")]
    expect_equal(len(cpu), 2, "cpu readings")
    quiet = run.facts[cpu[0] + 1:cpu[1]]
    expect_equal(quiet, ["pause 3000"], "calls into the component while it should be idle")
    # Wine's own threads use some 20 ms per 10 s. A pump that spins on the
    # missing class spends most of its time in wineserver's registry, so the
    # whole prefix is measured as well as the program's own process.
    used_us = parse_ints(run.facts[cpu[1]])[0] - parse_ints(run.facts[cpu[0]])[0]
    expect(used_us < 100_000, f"the idle program used {used_us / 1000:.0f} ms of CPU in 3 s")
    expect_equal(len(run.prefix_cpu), 2, "samples of the prefix's CPU time")
    prefix_used = run.prefix_cpu[1] - run.prefix_cpu[0]
    expect(prefix_used < 0.5, f"the prefix's processes used {prefix_used * 1000:.0f} ms of CPU in 3 s")


CASES = {
    "batches_and_com": check_batches,
    "event_storm_adds_one_empty_wake": check_event_storm,
    "missing_packet_class_leaves_program_idle": check_class_absent,
}

if __name__ == "__main__":
    sys.exit(main(CASES))
