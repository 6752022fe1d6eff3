#!/usr/bin/env python3
"""Turns the timing program's JSON and the heap program's JSON into the
Markdown report that bench/run.sh prints for docs/performance.md: the targets first (ratios), then
the figures behind them. Standard library only."""

import json
import math
import sys
from collections import defaultdict

# Benchmarks whose text reads variables (the "variables" counter is set).
READS_VARIABLES = set()
SIZES = {1024: "1 KB", 10240: "10 KB", 102400: "100 KB", 1048576: "1 MB", 16777216: "16 MB"}


def load_timings(path):
    """Median CPU time in ns per benchmark name, and the bytes counter."""
    with open(path) as f:
        data = json.load(f)
    runs = defaultdict(list)
    order = {}  # registration order, which random interleaving does not keep in the file
    for b in data["benchmarks"]:
        if b.get("error_occurred"):
            raise SystemExit(f"benchmark {b['name']} failed: {b.get('error_message')}")
        name = b.get("run_name", b["name"])
        scale = {"ns": 1, "us": 1e3, "ms": 1e6, "s": 1e9}[b.get("time_unit", "ns")]
        kind = b.get("aggregate_name") if b.get("run_type") == "aggregate" else "iteration"
        runs[name].append((kind, b["cpu_time"] * scale, b.get("bytes")))
        if kind == "median" and b.get("variables"):
            READS_VARIABLES.add(name)
        order.setdefault(name, (b.get("family_index", 0), b.get("per_family_instance_index", 0)))
    timings = {}
    for name, entries in sorted(runs.items(), key=lambda item: order[item[0]]):
        medians = [e for e in entries if e[0] == "median"]
        iterations = sorted((e for e in entries if e[0] == "iteration"), key=lambda e: e[1])
        chosen = medians[0] if medians else iterations[len(iterations) // 2]
        timings[name] = (chosen[1], chosen[2])
    return data.get("context", {}), timings


def geomean(values):
    return math.exp(sum(math.log(v) for v in values) / len(values)) if values else float("nan")


def verdict(ok):
    return "yes" if ok else "**no**"


def table(header, rows):
    lines = ["| " + " | ".join(header) + " |", "|" + "|".join("---" for _ in header) + "|"]
    lines += ["| " + " | ".join(str(c) for c in row) + " |" for row in rows]
    return "\n".join(lines)


def main(timings_path, memory_path):
    context, t = load_timings(timings_path)
    with open(memory_path) as f:
        memory = json.load(f)

    corpus = [n.split("/", 2)[2] for n in t if n.startswith("Corpus/exprcalc/")]
    have_peer = any(n.startswith("Corpus/peer/") for n in t)
    lib = {r: t[f"Corpus/exprcalc/{r}"] for r in corpus}
    peer = {r: t[f"Corpus/peer/{r}"][0] for r in corpus if f"Corpus/peer/{r}" in t}
    ref = {r: t[f"Corpus/reference/{r}"][0] for r in corpus if f"Corpus/reference/{r}" in t}

    vs_ref = geomean([lib[r][0] / ref[r] for r in ref])
    worst_ref = max(lib[r][0] / ref[r] for r in ref)
    ref_with_variables = [r for r in ref if f"Corpus/exprcalc/{r}" in READS_VARIABLES]
    vs_peer = geomean([peer[r] / lib[r][0] for r in peer])

    def per_byte(name):
        ns, size = t[name]
        return ns / size

    scaling = {}
    for shape in ("flat", "nested", "functions"):
        base = per_byte(f"Scaling/{shape}/1024")
        scaling[shape] = [(size, per_byte(f"Scaling/{shape}/{size}"), per_byte(f"Scaling/{shape}/{size}") / base)
                          for size in SIZES]
    lookups = {}
    for op in ("LookupVarDouble", "EnterVarDouble", "ThreeVariables"):
        base = t[f"Lookup/{op}/10"][0]
        lookups[op] = [(n, t[f"Lookup/{op}/{n}"][0], t[f"Lookup/{op}/{n}"][0] / base) for n in (10, 1000, 10000)]
    peaks = memory["peak"]
    heap_per_byte = max(p["heap_extra"] / p["bytes"] for p in peaks)
    resident_per_byte = max(p["resident_extra"] / p["bytes"] for p in peaks) if all(
        p["resident_extra"] >= 0 for p in peaks) else None

    # Prepared expressions, preparing and the diagnostic call.
    prepared_rows = [r for r in corpus if f"Prepared/set/{r}" in t]
    stores = {k: {r: t[f"Prepared/{k}/{r}"][0] for r in prepared_rows if f"Prepared/{k}/{r}" in t}
              for k in ("set", "enter", "none", "peer")}
    have_prepared_peer = bool(stores["peer"])
    vs_compiled = {k: geomean([stores[k][r] / stores["peer"][r] for r in prepared_rows if r in stores["peer"]])
                   for k in ("set", "enter", "none")} if have_prepared_peer else {}
    prepare_ratio = geomean([t[f"Prepare/exprcalc/{r}"][0] / lib[r][0] for r in corpus])
    explain_ratio = geomean([t[f"Explain/exprcalc/{r}"][0] / lib[r][0] for r in corpus])
    held = memory.get("prepared", [])
    held_per_byte = max((h["held"] - 256) / h["bytes"] for h in held) if held else float("nan")

    out = []
    worst_scaling = max(s[-1][2] for s in scaling.values())
    worst_lookup = max(v[-1][2] for v in lookups.values())
    targets = [
        ["one-shot ParseString : reference evaluator (geometric mean, "
         f"{len(ref)} rows it reads, {len(ref_with_variables)} of them with variables)", f"{vs_ref:.2f}×", "≤ 1.5×",
         verdict(vs_ref <= 1.5 and 3 * len(ref_with_variables) >= len(ref))],
        ["one-shot ParseString : reference evaluator, slowest row", f"{worst_ref:.2f}×", "≤ 2.0×",
         verdict(worst_ref <= 2.0)],
    ]
    if have_peer:
        targets.append([f"speed-up over muparser, one-shot (geometric mean, {len(peer)} rows)",
                        f"{vs_peer:.0f}×", "≥ 60×", verdict(vs_peer >= 60)])
    targets += [
        ["cost per byte at 16 MB : at 1 KB (flat / nested / functions)",
         " / ".join(f"{scaling[s][-1][2]:.2f}×" for s in scaling), "≤ 1.3×", verdict(worst_scaling <= 1.3)],
        ["10,000 variables : 10 (LookupVarDouble / EnterVarDouble / three-variable ParseString)",
         " / ".join(f"{lookups[o][-1][2]:.2f}×" for o in lookups), "≤ 2×", verdict(worst_lookup <= 2)],
        [f"heap allocations per evaluation, texts up to {memory['inline_limit']} bytes",
         str(memory["most_requests_up_to_limit"]), "0", verdict(memory["most_requests_up_to_limit"] == 0)],
        ["peak extra memory of one 16 MB evaluation, per input byte (heap; resident)",
         f"{heap_per_byte:.1f} B; " + (f"{resident_per_byte:.1f} B" if resident_per_byte is not None else "n/a"),
         "≤ 40 B", verdict(heap_per_byte <= 40)],
    ]
    if have_prepared_peer:
        targets.append([f"prepared evaluation : muparser's Eval, a variable changed before each (geometric mean, "
                        f"{len(stores['peer'])} rows with variables; exprcalc_set_double / EnterVarDouble / no store)",
                        " / ".join(f"{vs_compiled[k]:.2f}×" for k in ("set", "enter", "none")), "≤ 1.0× (set)",
                        verdict(vs_compiled["set"] <= 1.0)])
    targets += [
        [f"exprcalc_prepare : ParseString (geometric mean, {len(corpus)} rows)", f"{prepare_ratio:.2f}×", "≤ 1.5×",
         verdict(prepare_ratio <= 1.5)],
        [f"exprcalc_explain : ParseString (geometric mean, {len(corpus)} rows)", f"{explain_ratio:.2f}×", "≤ 2×",
         verdict(explain_ratio <= 2.0)],
        ["bytes a prepared expression holds per byte of its text, beyond 256", f"{held_per_byte:.1f} B", "≤ 16 B",
         verdict(held_per_byte <= 16)],
    ]
    out.append("## Targets\n")
    out.append(table(["measure", "measured", "target", "met"], targets))

    out.append("\n## One-shot evaluation of the corpus (CPU time, median of the repetitions)\n")
    header = ["expression", "bytes", "exprcalc ns", "ns/byte"]
    if have_peer:
        header += ["muparser ns", "muparser : exprcalc"]
    header += ["reference ns", "exprcalc : reference"]
    rows = []
    for r in corpus:
        ns, size = lib[r]
        label = r + (" (vars)" if f"Corpus/exprcalc/{r}" in READS_VARIABLES else "")
        row = [label, int(size), f"{ns:.0f}", f"{ns / size:.1f}"]
        if have_peer:
            row += [f"{peer[r]:.0f}", f"{peer[r] / ns:.0f}×"] if r in peer else ["", ""]
        row += [f"{ref[r]:.0f}", f"{ns / ref[r]:.2f}×"] if r in ref else ["", ""]
        rows.append(row)
    total_ns = sum(lib[r][0] for r in corpus)
    total_bytes = sum(lib[r][1] for r in corpus)
    rows.append(["**whole corpus**", int(total_bytes), f"{total_ns:.0f}", f"{total_ns / total_bytes:.1f}"] +
                (["", f"{vs_peer:.0f}× (geo. mean)"] if have_peer else []) + ["", f"{vs_ref:.2f}× (geo. mean)"])
    out.append(table(header, rows))

    if prepared_rows:
        out.append("\n## One formula evaluated many times (CPU time in ns; a variable of the row changes before "
                   "each evaluation)\n")
        header = ["expression", "prepared + exprcalc_set_double", "prepared + EnterVarDouble", "prepared, no store"]
        if have_prepared_peer:
            header += ["muparser Eval + bound variable", "set_double : muparser"]
        rows = []
        for r in prepared_rows:
            row = [r] + [f"{stores[k][r]:.1f}" for k in ("set", "enter", "none")]
            if have_prepared_peer:
                row += [f"{stores['peer'][r]:.1f}", f"{stores['set'][r] / stores['peer'][r]:.2f}×"]
            rows.append(row)
        out.append(table(header, rows))
        rows = [[r, f"{lib[r][0]:.0f}", f"{t[f'Prepare/exprcalc/{r}'][0]:.0f}",
                 f"{t[f'Prepare/exprcalc/{r}'][0] / lib[r][0]:.2f}×", f"{t[f'Explain/exprcalc/{r}'][0]:.0f}",
                 f"{t[f'Explain/exprcalc/{r}'][0] / lib[r][0]:.2f}×"] for r in corpus]
        out.append("\n## Preparing and explaining against one ParseString (CPU time in ns)\n")
        out.append(table(["expression", "ParseString", "exprcalc_prepare + release", "ratio", "exprcalc_explain",
                          "ratio"], rows))

    out.append("\n## Long texts: cost per byte, and relative to 1 KB\n")
    rows = []
    for i, size in enumerate(SIZES):
        rows.append([SIZES[size]] + [f"{scaling[s][i][1]:.2f} ns ({scaling[s][i][2]:.2f}×)" for s in scaling])
    out.append(table(["text", "flat 1+1+…", "nested ((…1…))", "functions ABS(ABS(…1…))"], rows))

    out.append("\n## Name operations by table size (ns per call, and relative to 10 variables)\n")
    rows = []
    for i, n in enumerate((10, 1000, 10000)):
        rows.append([f"{n:,}"] + [f"{lookups[o][i][1]:.0f} ({lookups[o][i][2]:.2f}×)" for o in lookups])
    out.append(table(["variables", "LookupVarDouble", "EnterVarDouble (replacing)", "ParseString, 3 variables"],
                     rows))

    if "Table/rows" in t and "Table/print-alone" in t:
        rows_count = 100000  # as TableBenchmarks.cpp writes them
        table_ns, alone_ns = t["Table/rows"][0], t["Table/print-alone"][0]
        out.append("\n## The calculator's --table (100,000 rows of two expressions, written to nowhere)\n")
        out.append(table(["writing", "rows per second", "relative to printing alone"],
                         [["--table: evaluated and printed", f"{rows_count / table_ns * 1e9:,.0f}",
                           f"{table_ns / alone_ns:.2f}× the time"],
                          ["the same numbers printed alone", f"{rows_count / alone_ns * 1e9:,.0f}", "1.00×"]]))

    out.append("\n## Memory of one evaluation\n")
    rows = [[f"{p['shape']}, 16 MB", p["requests"], f"{p['heap_extra'] / p['bytes']:.2f}",
             f"{p['resident_extra'] / p['bytes']:.2f}" if p["resident_extra"] >= 0 else "n/a"] for p in peaks]
    rows.append([f"every text up to {memory['inline_limit']} bytes", memory["most_requests_up_to_limit"], "0", ""])
    rows.append([f"a {memory['inline_limit'] + 1}-byte text", memory["requests_just_over_limit"], "", ""])
    out.append(table(["text", "heap requests", "peak heap B/byte", "peak resident B/byte"], rows))

    cpu = f"{context.get('num_cpus', '?')} × {context.get('mhz_per_cpu', '?')} MHz"
    load = context.get("load_avg") or []
    load_text = f", load average {load[0]:.1f} at the start" if load else ""
    out.append(f"\nAbsolute times are from one machine ({cpu}{load_text}; "
               f"{context.get('peer', 'no peer comparison')}); the ratios are what carries over.")
    print("\n".join(out))


if __name__ == "__main__":
    if len(sys.argv) != 3:
        raise SystemExit("usage: format_report.py TIMINGS.json MEMORY.json")
    main(sys.argv[1], sys.argv[2])
