#!/usr/bin/env python3
"""Sums up a ctest run from its JUnit file, so that a skipped test can never pass for one
that ran: one line per skip reason with its count and labels, the tests that failed or could
not run, and a closing line 'ctest: N passed, N failed, N skipped'.

  ctest_summary.py BUILD_DIR JUNIT_FILE [--allow-skips LABEL,...]

With --allow-skips, a skipped test that carries none of the labels counts as a failure.
Exit status: 0 when nothing failed, 1 otherwise.
"""
import argparse
import collections
import json
import subprocess
import sys
import xml.etree.ElementTree as ET

# Why ctest marks a test skipped on its own account (the test said so itself).
SKIP_MARKS = ("SKIP_RETURN_CODE", "SKIP_REGULAR_EXPRESSION_MATCHED")


def labels_by_test(build_dir):
    shown = subprocess.run(["ctest", "--test-dir", build_dir, "--show-only=json-v1"],
                           check=True, capture_output=True, text=True).stdout
    labels = {}
    for test in json.loads(shown)["tests"]:
        values = [p["value"] for p in test.get("properties", []) if p["name"] == "LABELS"]
        labels[test["name"]] = values[0] if values else []
    return labels


def skip_reason(output):
    """The line a test gave for its skip: GoogleTest's message below its 'Skipped', or a
    script's 'SKIPPED: reason'."""
    lines = output.splitlines()
    for i, line in enumerate(lines):
        if line.startswith("SKIPPED: "):
            return line[len("SKIPPED: "):].strip()
        if line.endswith(": Skipped") and i + 1 < len(lines) and lines[i + 1].strip():
            return lines[i + 1].strip()
    return "no reason given"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build_dir")
    parser.add_argument("junit")
    parser.add_argument("--allow-skips", default=None)
    args = parser.parse_args()

    try:
        cases = ET.parse(args.junit).getroot().iter("testcase")
    except (OSError, ET.ParseError) as error:
        print(f"ctest: no results in {args.junit} ({error})")
        return 1
    labels = labels_by_test(args.build_dir)
    allowed = None if args.allow_skips is None else {l for l in args.allow_skips.split(",") if l}

    passed, failed, skipped = [], [], []
    reasons = collections.Counter()
    reason_labels = collections.defaultdict(set)
    for case in cases:
        name, status = case.get("name"), case.get("status")
        output = case.findtext("system-out") or ""
        mark = case.find("skipped")
        if status == "run" and case.find("failure") is None:
            passed.append(name)
        elif status == "notrun" and mark is not None and mark.get("message", "").startswith(SKIP_MARKS):
            skipped.append(name)
            reason = skip_reason(output)
            reasons[reason] += 1
            reason_labels[reason].update(labels.get(name, []))
        elif status == "disabled":
            skipped.append(name)
            reasons["disabled"] += 1
        else:  # failed, or could not run (no executable, a failed fixture)
            why = mark.get("message") if mark is not None else "failed"
            failed.append(f"{name} ({why})" if why and why != "failed" else name)

    for reason, count in reasons.most_common():
        tags = ",".join(sorted(reason_labels[reason]))
        print(f"skipped: {count} x {reason}" + (f" [label {tags}]" if tags else ""))
    if allowed is not None:
        stray = [n for n in skipped if not allowed & set(labels.get(n, []))]
        if stray:
            print(f"ctest: skips allowed only with the labels {','.join(sorted(allowed)) or '(none)'}: "
                  + ", ".join(stray))
            failed += [f"{n} (skipped)" for n in stray]
            skipped = [n for n in skipped if n not in stray]
    if failed:
        print("failed: " + ", ".join(failed))
    print(f"ctest: {len(passed)} passed, {len(failed)} failed, {len(skipped)} skipped")
    return 1 if failed or not passed else 0


if __name__ == "__main__":
    sys.exit(main())
