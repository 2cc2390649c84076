"""What the Python test scripts share: a check that prints its outcome and is
counted, and the rule for a missing tool (skipped on a developer machine,
a failure under CI=true, where CI installs every tool)."""

import os
import sys

SKIPPED = 77

failures = []


def check(condition, what):
    print(("ok    " if condition else "FAIL  ") + what)
    if not condition:
        failures.append(what)


def skip_or_fail(reason):
    if os.environ.get("CI", "") in ("", "0", "false"):
        print("skipped: " + reason)
        sys.exit(SKIPPED)
    print("FAIL  " + reason + " (CI installs it)")
    sys.exit(1)
