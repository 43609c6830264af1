"""The build tree's Wine prefix for the end-to-end tests (CTest fixture):
makes it, or reuses it when an earlier run finished making it; with --end,
ends everything still running in it. Either way a shell that a killed case
left replaced is put back.
"""

import argparse
import sys
from pathlib import Path

import harness


def main() -> int:
    parser = argparse.ArgumentParser()
    parser.add_argument("--prefix", type=Path, required=True)
    parser.add_argument("--end", action="store_true")
    options = parser.parse_args()
    if options.end:
        harness.end_prefix(options.prefix.resolve())
        harness.restore_shell(options.prefix.resolve())
        return 0
    try:
        harness.make_prefix(options.prefix.resolve())
    except harness.Failure as failure:
        print(f"FAILED: {failure}", file=sys.stderr)
        return 1
    print(f"prefix ready: {options.prefix}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
