"""Faults around the program: its console output lost, the first event name
held by another kind of object, a packet class that comes late, odd load
codes, unreadable properties, a storm of signals. Through each the program
keeps switching desktops and moving windows, loses nothing it should write,
and never spins. Also: a console line reaches a file as soon as it is made."""

import re
import sys
from dataclasses import dataclass

from harness import (BEGIN, DRAG_STEP, DX, DY, E_FAIL, GO_ON, OTHER, STATE, WORD, Harness,
                     LiveRun, Run, check_packet_lifetimes, expect, expect_equal, main, parse_ints, turns,
                     wake_facts)

SWP_NOSIZE_NOZORDER = 0x5

EMPTY = []                                   # the load that finds nothing

# The program's writes to standard output: std::cout ends in these.
OUTPUT_CALLS = ("msvcrt.fwrite", "msvcrt.fputc", "msvcrt.putc", "msvcrt.fflush")
DESKTOP_CALLS = ("user32.GetThreadDesktop", "user32.CreateDesktopW", "user32.SwitchDesktop")
MOVE_CALLS = ("user32.SetWindowPos", "user32.SetCursorPos")


# --- what the program did, from the relay trace and the sim log ------------------

def check_switches(run: Run, desktops: list[str]) -> None:
    """The SwitchDesktop calls went to these desktops: "start" (the thread's
    own at start-up) or "new<i>" (what the i-th CreateDesktopW returned).
    Handles are compared by value, as Wine may give several created desktops
    the same one (WINE-NOTES)."""
    start = [c.result for c in run.relay_calls("user32.GetThreadDesktop")]
    created = [c.result for c in run.relay_calls("user32.CreateDesktopW")]
    expect_equal(len(start), 1, "GetThreadDesktop calls")
    expect_equal(len(created), 3, "CreateDesktopW calls")
    handles = {"start": start[0], **{f"new{i}": handle for i, handle in enumerate(created)}}
    expect_equal([c.arguments[0] for c in run.relay_calls("user32.SwitchDesktop")],
                 [handles[name] for name in desktops], f"SwitchDesktop calls, expected to {desktops}")


def window_moves(run: Run) -> list[tuple[int, int]]:
    """Where SetWindowPos put the test window, per call."""
    calls = run.relay_calls("user32.SetWindowPos")
    if not calls:
        return []
    top = next(f for f in run.facts if f.startswith("window top="))
    window = int(re.search(r"top=0x([0-9A-F]+)", top)[1], 16)
    moves = []
    for call in calls:
        expect_equal((call.arguments[0], call.arguments[1], call.argument32(4), call.argument32(5),
                      call.argument32(6)), (window, 0, 0, 0, SWP_NOSIZE_NOZORDER),
                     "SetWindowPos: the test window, no z-order, no size")
        moves.append((call.argument32(2), call.argument32(3)))
    return moves


def cursor_moves(run: Run) -> list[tuple[int, int]]:
    return [(c.argument32(0), c.argument32(1)) for c in run.relay_calls("user32.SetCursorPos")]


def observations(run: Run) -> list[tuple]:
    """(left, top, right, bottom, cursor x, cursor y, what is under the cursor) per `observe`."""
    found = []
    for fact in run.facts_starting("observe"):
        place, hit = fact.rsplit(" hit ", 1)
        found.append((*parse_ints(place), hit))
    return found


def output_calls(run: Run) -> list[tuple[str, bool]]:
    """The program's writes to standard output in order, each with whether it succeeded."""
    found = []
    for call in run.relay:
        if call.function not in OUTPUT_CALLS:
            continue
        result = (call.result or 0) & 0xFFFFFFFF
        if call.function == "msvcrt.fwrite":
            ok = result == call.argument32(2)      # fwrite(text, 1, count, stream)
        elif call.function == "msvcrt.fflush":
            ok = result == 0
        else:
            ok = result == call.argument32(0) & 0xFF
        found.append((call.function, ok))
    return found


def lines_out_before_failure(calls: list[tuple[str, bool]]) -> int:
    """Lines handed on by a successful flush before the first failed write."""
    flushed = 0
    for function, ok in calls:
        if not ok:
            break
        flushed += function == "msvcrt.fflush"
    return flushed


_VOLATILE = re.compile(r"\b(pid|main_thread|image|thread|event|top|child)=\S+")


def comparable_facts(run: Run) -> list[str]:
    """The sim's facts without what differs from run to run anyway: process,
    thread and handle values, CPU times."""
    return [_VOLATILE.sub(r"\1=*", fact) for fact in run.facts if not fact.startswith("cpu ")]


def check_idle(run: Run) -> None:
    """Between the scenario's two `cpu` steps (3 s apart) the program only waits."""
    cpu = [i for i, f in enumerate(run.facts) if f.startswith("cpu ")]
    expect_equal(len(cpu), 2, "cpu readings")
    expect_equal(run.facts[cpu[0] + 1:cpu[1]], ["pause 3000"], "calls into the component while it should be idle")
    # Wine's own threads use some 20 ms per 10 s; a spinning pump spends much
    # of its time in wineserver, so the whole prefix is measured too.
    used_us = parse_ints(run.facts[cpu[1]])[0] - parse_ints(run.facts[cpu[0]])[0]
    expect(used_us < 100_000, f"the idle program used {used_us / 1000:.0f} ms of CPU in 3 s")
    expect_equal(len(run.prefix_cpu), 2, "samples of the prefix's CPU time")
    prefix_used = run.prefix_cpu[1] - run.prefix_cpu[0]
    expect(prefix_used < 0.5, f"the prefix's processes used {prefix_used * 1000:.0f} ms of CPU in 3 s")


def takes(facts: list[str]) -> list[int]:
    return [int(f.split()[2], 16) for f in facts if f.startswith("take ")]


# --- a workload that shows without the console: fault_output_lost.txt ------------

WORKLOAD = "fault_output_lost.txt"
WORKLOAD_LINES = [b"MOVE : 5, 3\r\n",  # before the scenario's gate
                  b"STATE : 1\r\n", b"RELEASE (-80,0) \r\n", b"SWIPE RIGHT\r\n",
                  b"STATE : 2\r\n", b"RELEASE (70,3) \r\n", b"SWIPE LEFT\r\n",
                  b"MOVE : -4, -6\r\n"]
WORKLOAD_RELAY = DESKTOP_CALLS + MOVE_CALLS + OUTPUT_CALLS


def check_workload(run: Run) -> None:
    """Everything of the workload but the console: desktops switched,
    windows and cursor moved, every packet turn taken in order."""
    expect(not run.exited, f"the program ended with status {run.exit_code}")
    check_switches(run, ["new0", "start"])
    expect_equal(window_moves(run), [(105, 97), (101, 103)], "window moves")
    expect_equal(cursor_moves(run), [(255, 197), (251, 203)], "cursor moves")
    expect_equal(observations(run), [(105, 97, 405, 297, 255, 197, "top"), (101, 103, 401, 303, 251, 203, "top")],
                 "window and cursor as the sim saw them")
    check_packet_lifetimes(run)
    for wake in range(1, 5):
        wake_facts(run, wake)
    expect_equal([t.reads for t in turns(run.facts)],
                 [OTHER, DRAG_STEP, OTHER, EMPTY, BEGIN, OTHER, EMPTY, BEGIN, OTHER, EMPTY,
                  OTHER, DRAG_STEP, OTHER, EMPTY],
                 "property reads per packet")


@dataclass(frozen=True)
class LostOutput:
    stdout: str          # the harness's mode for the program's standard output
    lines_written: int   # lines that got out before the writes began to fail


def lost_output_case(case: LostOutput):
    def check(h: Harness) -> None:
        baseline = h.run(WORKLOAD, until="done", linger=1.0, relay=WORKLOAD_RELAY)
        check_workload(baseline)
        expect_equal(baseline.stdout, b"".join(WORKLOAD_LINES), "standard output to a file")
        expect(all(ok for _, ok in output_calls(baseline)), "a write to the file failed")

        read_at_gate: list[bytes] = []

        def take_reader_away(gate: int, live: LiveRun) -> None:
            read_at_gate.append(live.stdout())
            if live.mode == "pipe":
                live.close_stdout_reader()

        run = h.run(WORKLOAD, until="done", linger=1.0, relay=WORKLOAD_RELAY, stdout=case.stdout,
                    on_gate=take_reader_away)
        check_workload(run)
        written = b"".join(WORKLOAD_LINES[:case.lines_written])
        if case.stdout == "pipe":
            expect_equal(read_at_gate, [written], "what the pipe's reader got before it went")
        # The program really met failing writes, after the lines that got out.
        calls = output_calls(run)
        expect(not all(ok for _, ok in calls), f"no write to standard output failed: {calls}")
        expect_equal(lines_out_before_failure(calls), case.lines_written, "lines flushed before the first failure")
        # Nothing else changed: the component saw the very same calls.
        expect_equal(comparable_facts(run), comparable_facts(baseline), "the sim's facts against the run with a file")
    return check


# --- the console lines in a file, looked at while the program runs ---------------

# At each gate of fault_output_flushed.txt: the whole file so far.
FLUSHED_AT_GATES = [
    b"STATE : 1\r\n",
    b"STATE : 1\r\nRELEASE (-90,0) \r\nSWIPE RIGHT\r\n",
    b"STATE : 1\r\nRELEASE (-90,0) \r\nSWIPE RIGHT\r\n",
    b"STATE : 1\r\nRELEASE (-90,0) \r\nSWIPE RIGHT\r\nSTATE : 2\r\nRELEASE (70,3) \r\nSWIPE LEFT\r\n",
    b"STATE : 1\r\nRELEASE (-90,0) \r\nSWIPE RIGHT\r\nSTATE : 2\r\nRELEASE (70,3) \r\nSWIPE LEFT\r\nMOVE : 5, 3\r\n",
    b"STATE : 1\r\nRELEASE (-90,0) \r\nSWIPE RIGHT\r\nSTATE : 2\r\nRELEASE (70,3) \r\nSWIPE LEFT\r\nMOVE : 5, 3\r\n"
    b"MOVE : -4, -6\r\n",
]


def check_lines_flushed(h: Harness) -> None:
    seen: dict[int, bytes] = {}

    def read_file(gate: int, live: LiveRun) -> None:
        seen[gate] = live.stdout()

    run = h.run("fault_output_flushed.txt", until="done", on_gate=read_file, relay=OUTPUT_CALLS)
    expect(not run.exited, f"the program ended with status {run.exit_code}")
    gates = len(FLUSHED_AT_GATES)
    expect_equal([f for f in run.facts if f.startswith("gate ")],
                 [f"gate {n}{suffix}" for n in range(1, gates + 1) for suffix in ("", " open")],
                 "gates reached and opened")
    for gate, expected in enumerate(FLUSHED_AT_GATES, 1):
        expect_equal(seen.get(gate), expected, f"the file while the program waited at gate {gate}")
    expect_equal(run.stdout, FLUSHED_AT_GATES[-1], "the file at the end")
    # Wine's C runtime writes standard output out at every line end; Windows'
    # holds a file's output in a buffer until it is flushed. So the file
    # alone can't show that the program flushes: each line's writes must be
    # followed by a flush of their own, before the next line begins.
    calls = output_calls(run)
    expect(all(ok for _, ok in calls), f"a write to the file failed: {calls}")
    lines: list[list[str]] = [[]]
    for function, _ in calls:
        lines[-1].append(function)
        if function == "msvcrt.fflush":
            lines.append([])
    lines_written = FLUSHED_AT_GATES[-1].count(b"\n")
    expect_equal(len(lines) - 1, lines_written, f"flushes for the {lines_written} lines")
    expect(all(len(line) > 1 for line in lines[:-1]) and lines[-1] == [],
           f"output calls not in runs of writes each ended by a flush: {lines}")


# --- the first event name held by a mutex ------------------------------------------

def check_name_held_by_mutex(h: Harness) -> None:
    run = h.run(WORKLOAD, until="done", linger=1.0, relay=WORKLOAD_RELAY, holders=[["--mutex", "SynCom0"]])
    attaches = [dict(w.split("=", 1) for w in f.split() if "=" in w) for f in run.facts_starting("attach")]
    expect_equal([(a["name"], a["type"]) for a in attaches], [("SynCom1", "Event")] * 2, "the attached objects")
    expect_equal(attaches[0]["event"], attaches[1]["event"], "the handle given to the API and to the device")
    check_workload(run)
    expect_equal(run.stdout, b"".join(WORKLOAD_LINES), "standard output")


# --- the packet class registered only later -----------------------------------------

def check_class_registered_later(h: Harness) -> None:
    run = h.run("fault_class_registered_later.txt", until="done", relay=DESKTOP_CALLS)
    expect(not run.exited, f"the program ended with status {run.exit_code}")
    facts = run.facts
    registered = facts.index(next(f for f in facts if f.startswith("class registered")))
    first_wake = next(i for i, f in enumerate(facts) if f.startswith("wake 1 notes="))
    expect(facts.index("class absent") < first_wake < registered,
           "the class was not absent first and registered later")
    expect_equal([f for f in facts[:registered] if re.match(r"packet \d+ created", f)], [],
                 "packet objects made while there was no class")
    for wake in (1, 2):
        expect_equal(takes(wake_facts(run, wake)), [1], f"drain of wake-up {wake}")
    check_idle(run)
    # The wake-up after the registration gets every packet.
    expect_equal([(t.load, t.reads) for t in turns(wake_facts(run, 3))],
                 [(0, BEGIN), (0, OTHER), (E_FAIL, EMPTY)], "packet turns once the class is there")
    check_packet_lifetimes(run)
    expect_equal(run.stdout, b"STATE : 3\r\nRELEASE (-80,0) \r\nSWIPE RIGHT\r\n", "standard output")
    check_switches(run, ["new0"])


# --- loads that answer odd codes ------------------------------------------------------

def check_load_codes(h: Harness) -> None:
    run = h.run("fault_load_codes.txt", until="done", relay=DESKTOP_CALLS + MOVE_CALLS)
    expect(not run.exited, f"the program ended with status {run.exit_code}")
    check_packet_lifetimes(run)
    expect_equal([(t.load, t.reads) for t in turns(wake_facts(run, 1))],
                 [(0x8000FFFF, OTHER), (1, DRAG_STEP), (0x80004003, DRAG_STEP), (0x7FFFFFFF, OTHER),
                  (E_FAIL, EMPTY)], "drag: loads and reads per packet")
    expect_equal([(t.load, t.reads) for t in turns(wake_facts(run, 2))],
                 [(1, BEGIN), (2, GO_ON), (0x7FFFFFFF, GO_ON), (0x80004003, GO_ON), (0x8000FFFF, GO_ON),
                  (0x80070057, GO_ON), (1, OTHER), (E_FAIL, EMPTY)], "swipe: loads and reads per packet")
    # E_FAIL ends the batch at its own packet, with one more still queued.
    third = wake_facts(run, 3)
    expect_equal([(t.load, t.reads) for t in turns(third)], [(E_FAIL, EMPTY)], "the batch that meets E_FAIL")
    expect_equal(len([f for f in third if re.fullmatch(r"batch \d+ end", f)]), 1, "batch ends in wake-up 3")
    expect("wake 4 drops 1 packets left from before" in run.facts, "the packet after E_FAIL was loaded")
    expect_equal([(t.load, t.reads) for t in turns(wake_facts(run, 4))],
                 [(0, BEGIN), (0, OTHER), (E_FAIL, EMPTY)], "the next wake-up")
    expect_equal(run.stdout, b"MOVE : 5, 3\r\nMOVE : -4, -6\r\n"
                             b"STATE : 7\r\nRELEASE (-63,0) \r\nSWIPE RIGHT\r\n"
                             b"STATE : 10\r\nRELEASE (-80,0) \r\nSWIPE RIGHT\r\n", "standard output")
    expect_equal(window_moves(run), [(105, 97), (101, 103)], "window moves")
    expect_equal(cursor_moves(run), [(255, 197), (251, 203)], "cursor moves")
    expect_equal(observations(run), [(101, 103, 401, 303, 251, 203, "top")], "window and cursor after the drag")
    check_switches(run, ["new0", "new1"])


# --- property reads that fail ----------------------------------------------------------

@dataclass(frozen=True)
class Unreadable:
    scenario: str
    output: bytes
    reads: list[list[int]]
    windows: list[tuple[int, int]]     # SetWindowPos positions
    cursors: list[tuple[int, int]]     # SetCursorPos positions
    observed: list[tuple]
    switched: list[str]


def unreadable_case(case: Unreadable):
    def check(h: Harness) -> None:
        run = h.run(case.scenario, until="done", relay=DESKTOP_CALLS + MOVE_CALLS)
        expect(not run.exited, f"the program ended with status {run.exit_code}")
        check_packet_lifetimes(run)
        expect_equal(run.stdout, case.output, "standard output")
        expect_equal([t.reads for t in turns(run.facts)], case.reads, "property reads per packet")
        expect_equal(window_moves(run), case.windows, "window moves")
        expect_equal(cursor_moves(run), case.cursors, "cursor moves")
        expect_equal(observations(run), case.observed, "window and cursor as the sim saw them")
        check_switches(run, case.switched)
    return check


UNREADABLE_IN_DRAGS = Unreadable(
    "fault_unreadable_drag.txt",
    b"MOVE : 0, 3\r\nMOVE : 4, 0\r\nMOVE : 0, 0\r\nMOVE : 1, -1\r\n",
    # wake 1: no word, then the drag's first packet, the lift, the empty load
    [OTHER, OTHER, OTHER, EMPTY,
     # wake 2: begin, three steps and two packets without a word between, the lift
     OTHER, DRAG_STEP, DRAG_STEP, OTHER, OTHER, DRAG_STEP, DRAG_STEP, OTHER, EMPTY],
    [(100, 97), (104, 97), (104, 97), (105, 98)],
    [(250, 197), (254, 197), (254, 197), (255, 198)],
    [(100, 100, 400, 300, 250, 200, "top"), (105, 98, 405, 298, 255, 198, "top")],
    [])

UNREADABLE_IN_SWIPES = Unreadable(
    "fault_unreadable_swipe.txt",
    b"STATE : 6\r\nRELEASE (-60,4) \r\nSWIPE RIGHT\r\nSTATE : 0\r\nRELEASE (60,1) \r\nSWIPE LEFT\r\n",
    [BEGIN, OTHER, GO_ON, GO_ON, OTHER, EMPTY,
     OTHER, BEGIN, OTHER, EMPTY],
    [], [], [],
    ["new0", "start"])


# --- a storm of signals -------------------------------------------------------------------

def check_event_storm(h: Harness) -> None:
    run = h.run("fault_event_storm.txt", until="done")
    expect(not run.exited, f"the program ended with status {run.exit_code}")
    check_packet_lifetimes(run)
    for wake, why, batch, drains in ((1, "during", [0, 0, 0, 0, 0, E_FAIL], [1, 1]),
                                     (2, "after", [0, 0, 0, E_FAIL], [0, 0, 1, 1])):
        facts = wake_facts(run, wake)
        storms = [f for f in facts if f.startswith("signal ") and "storm" in f]
        expect_equal([re.sub(r"event=\S+ ", "", f) for f in storms],
                     [f"signal times=5000 ok=5000 (storm {why} batch)"], f"the storm of wake-up {wake}")
        # The batch, then exactly one more wake-up that finds nothing.
        expect_equal([t.load for t in turns(facts)], batch + [E_FAIL], f"loads of wake-up {wake} and its storm")
        expect_equal(takes(facts), drains, f"notification takes of wake-up {wake} and its storm")
    batches = [f for f in run.facts if re.fullmatch(r"batch \d+ end", f)]
    expect_equal(batches, [f"batch {n} end" for n in range(1, 5)], "batches over the whole run")
    expect_equal(run.stdout, b"STATE : 1\r\nRELEASE (-100,0) \r\nSWIPE RIGHT\r\n"
                             b"STATE : 2\r\nRELEASE (55,0) \r\nSWIPE LEFT\r\n", "standard output")
    check_idle(run)


CASES = {
    # Standard output lost: the Unix descriptor closed (Wine then puts a
    # descriptor of its own there, the working directory, where every write
    # fails as on a closed handle), a device that refuses every write, and a
    # pipe whose reader goes away after the first line.
    "output_closed": lost_output_case(LostOutput("closed", 0)),
    "output_refused": lost_output_case(LostOutput("full", 0)),
    "output_pipe_reader_gone": lost_output_case(LostOutput("pipe", 1)),
    "lines_in_file_at_once": check_lines_flushed,
    "first_event_name_held_by_mutex": check_name_held_by_mutex,
    "packet_class_registered_later": check_class_registered_later,
    "odd_load_codes": check_load_codes,
    "unreadable_properties_in_drags": unreadable_case(UNREADABLE_IN_DRAGS),
    "unreadable_properties_in_swipes": unreadable_case(UNREADABLE_IN_SWIPES),
    "event_storm_of_thousands": check_event_storm,
}

if __name__ == "__main__":
    sys.exit(main(CASES))
