"""Formats the figures of bench/EvaluationCosts.cpp as a Markdown table:
the callgrind dumps of bench/instructions.sh (a directory), or the program's
own output of nanoseconds per evaluation (a file).

Each dump is labelled "textN way evaluations"; its instruction total over
the evaluations is the cost of one. The reference column holds the fewest
instructions that any compiled evaluator we have measured takes per
evaluation of the same text (a peer that is not packaged for Debian).
"""
import math
import pathlib
import re
import sys

WAYS = ["parse", "prepared", "evaluate", "columns", "peer", "bulk"]
HEADINGS = {"parse": "ParseString", "prepared": "prepared (set + evaluate)", "evaluate": "evaluate alone",
            "columns": "columns, per row", "peer": "muparser Eval", "bulk": "muparser bulk, per row"}
FASTEST_PEER = [22, 27, 56, 21, 103, 231, 375, 81, 384, 249, 437, 19]
VARIABLE_TEXTS = 11


def read_times(path):
    costs = {}
    for line in pathlib.Path(path).read_text().splitlines():
        text, way, nanoseconds = line.split()
        costs[(text, way)] = float(nanoseconds)
    return costs


def read(directory):
    if pathlib.Path(directory).is_file():
        return read_times(directory)
    costs = {}
    for dump in pathlib.Path(directory).glob("costs*"):
        text = dump.read_text(errors="replace")
        label = re.search(r"^desc: Trigger: Client Request: (\S+) (\S+) (\d+)$", text, re.M)
        total = re.search(r"^(?:summary|totals): (\d+)", text, re.M)
        if label and total:
            costs[(label.group(1), label.group(2))] = int(total.group(1)) / int(label.group(3))
    return costs


def geomean(values):
    return math.exp(sum(math.log(v) for v in values) / len(values)) if values else float("nan")


def main():
    costs = read(sys.argv[1])
    timed = pathlib.Path(sys.argv[1]).is_file()
    digits = 1 if timed else 0
    texts = sorted({t for t, _ in costs}, key=lambda t: int(t[4:]))
    ways = [w for w in WAYS if any((t, w) in costs for t in texts)]
    print("| text | reference | " + " | ".join(HEADINGS[w] for w in ways) + " |")
    print("|---|--:|" + "--:|" * len(ways))
    for t in texts:
        n = int(t[4:])
        cells = [f"{costs[(t, w)]:.{digits}f}" if (t, w) in costs else "" for w in ways]
        print(f"| {n}{' (constants)' if n > VARIABLE_TEXTS else ''} | {FASTEST_PEER[n - 1]} | " + " | ".join(cells) + " |")
    variable = [t for t in texts if int(t[4:]) <= VARIABLE_TEXTS]
    means = {w: geomean([costs[(t, w)] for t in variable if (t, w) in costs]) for w in ways}
    reference = geomean([FASTEST_PEER[int(t[4:]) - 1] for t in variable])
    print(f"| **geo-mean, texts 1-{VARIABLE_TEXTS}** | **{reference:.0f}** | " +
          " | ".join(f"**{means[w]:.{digits}f}**" for w in ways) + " |")
    print()
    if timed:
        print("(nanoseconds per evaluation; the reference column holds instructions)")
    else:
        print_reference_ratios(costs, variable, means, reference)
    for way, against in [("prepared", "peer"), ("columns", "bulk"), ("columns", "prepared")]:
        if way in means and against in means:
            print(f"{HEADINGS[way]} / {HEADINGS[against]}: {means[way] / means[against]:.2f}")


def print_reference_ratios(costs, variable, means, reference):
    worst = max((costs[(t, "prepared")] / FASTEST_PEER[int(t[4:]) - 1], t) for t in variable if (t, "prepared") in costs)
    print(f"prepared / reference: geo-mean {means.get('prepared', float('nan')) / reference:.2f}, "
          f"worst {worst[0]:.2f} ({worst[1]})")
    if "columns" in means:
        print(f"columns / reference: {means['columns'] / reference:.2f}")


if __name__ == "__main__":
    main()
