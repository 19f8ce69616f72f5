#!/usr/bin/env python3
"""Compares the Windows library's answers under Wine with the Linux library's, call by call.

usage: compare_answers.py LINUX_ANSWERS WINE_ANSWERS GAPS_LIST

Each answer is a block that starts with "== native (what): arguments". A block that differs fails
the comparison unless the [answers] section of GAPS_LIST names the call ("native (what)") with
the gap in Wine that makes it differ.
"""
import difflib
import sys

SERVER_DOWN = "0x8007203A"


def blocks(path):
    answers, order, heading = {}, [], None
    with open(path, encoding="utf-8") as text:
        for line in text:
            line = line.rstrip("\n")
            if line.startswith("== "):
                heading = line[3:]
                order.append(heading)
                answers[heading] = []
            elif heading is not None:
                answers[heading].append(line)
    return order, answers


def listed_differences(path):
    listed, section = {}, None
    with open(path, encoding="utf-8") as text:
        for line in text:
            line = line.strip()
            if not line or line.startswith("#"):
                continue
            if line.startswith("["):
                section = line
            elif section == "[answers]":
                key, _, reason = line.partition("|")
                listed[key.strip()] = reason.strip()
    return listed


def call_of(heading):
    return heading[: heading.find("): ") + 1] if "): " in heading else heading


def main(linux_path, wine_path, gaps_path):
    linux_order, linux = blocks(linux_path)
    wine_order, wine = blocks(wine_path)
    listed = listed_differences(gaps_path)
    failures, same, as_listed = [], 0, 0
    # Answers that agree because the directory was gone for both prove nothing.
    for side, answers in (("Linux", linux), ("Wine", wine)):
        down = [heading for heading, lines in answers.items() if any(SERVER_DOWN in line for line in lines)]
        if down:
            failures.append("the directory did not answer the %s run (%s) in %d calls, first %s; is a DC being "
                            "restarted?" % (side, SERVER_DOWN, len(down), down[0]))
    if linux_order != wine_order:
        failures.append("the two runs made different calls:\n  Linux: %s\n  Wine:  %s" % (linux_order, wine_order))
    for heading in linux_order:
        call = call_of(heading)
        if heading not in wine:
            continue
        if linux[heading] == wine[heading]:
            same += 1
            if call in listed:
                print("NOW THE SAME: %s; if it stays so, take it off the [answers] list" % call)
            continue
        diff = list(difflib.unified_diff(linux[heading], wine[heading], "Linux library", "Windows library under Wine", lineterm="", n=1))
        shown = "\n    ".join(diff[:24] + (["... %d more lines" % (len(diff) - 24)] if len(diff) > 24 else []))
        if call in listed:
            as_listed += 1
            print("differs as listed: %s (%s)" % (call, listed[call]))
        else:
            failures.append("%s differs:\n    %s" % (heading, shown))
    calls = {call_of(heading) for heading in linux_order}
    for call in listed:
        if call not in calls:
            failures.append("the [answers] list names %s, which is no call of the run" % call)
    for failure in failures:
        print("FAIL: " + failure)
    print("%d answers compared: %d the same, %d differ as Wine's gaps listed, %d differ"
          % (len(linux_order), same, as_listed, len(failures)))
    return 1 if failures or not linux_order else 0


if __name__ == "__main__":
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    sys.exit(main(*sys.argv[1:]))
