"""The notification event: its name is the first free SynCom<N>, the same
event goes to both attaches, and it is the one the program waits on."""

import sys

from harness import Harness, expect, expect_equal, main, wake_facts


def event_case(holders: list[list[str]], name: str):
    def check(h: Harness) -> None:
        run = h.run("event_wake.txt", until="done", holders=holders)
        expect(not run.exited, f"the program ended with status {run.exit_code}")
        attaches = [dict(w.split("=", 1) for w in f.split() if "=" in w) for f in run.facts_starting("attach")]
        expect_equal(len(attaches), 2, "event attaches")
        expect_equal(attaches[0]["event"], attaches[1]["event"], "the handle given to the API and to the device")
        for attach in attaches:
            expect_equal((attach["name"], attach["type"]), (name, "Event"), "the attached object")
        # Signalling the attached event wakes the pump.
        wake_facts(run, 1)
    return check


CASES = {
    "first_name_when_free": event_case([], "SynCom0"),
    "taken_names_skipped": event_case([["--event", "SynCom0", "--event", "SynCom1"]], "SynCom2"),
    "name_held_by_a_mutex_skipped": event_case([["--mutex", "SynCom0", "--event", "SynCom1"]], "SynCom2"),
}

if __name__ == "__main__":
    sys.exit(main(CASES))
