"""Columns against numexpr, one thread: nanoseconds per row for the texts of
bench/EvaluationCosts.cpp, best of five, and the ratio. Runs with the Python
binding (EXPRCALC_LIBRARY names the library; bench/numexpr.sh sets it up).

    python3 bench/columns_numexpr.py [ROWS]
"""
import math
import os
import sys
import time

import numexpr
import numpy

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir, "bindings", "python"))
import exprcalc  # noqa: E402

PI = "3.141592653589793"
TEXTS = [  # (ours, numexpr's)
    ("@X*2+1", "x*2+1"),
    ("(@X+@Y)*(@X-@Y)", "(x+y)*(x-y)"),
    ("SQRT(@X*@X+@Y*@Y+@Z*@Z)", "sqrt(x*x+y*y+z*z)"),
    ("2*SIN(30*PAI/180)+@X", f"2*sin(30*{PI}/180)+x"),
    ("EXP(-(@X*@X)/2)/SQRT(2*PAI)", f"exp(-(x*x)/2)/sqrt(2*{PI})"),
    ("LOG(@X+1)+LOG(@Y+2)+LOG(@Z+3)", "log(x+1)+log(y+2)+log(z+3)"),
    ("SIN(@X)*COS(@Y)+COS(@X)*SIN(@Y)", "sin(x)*cos(y)+cos(x)*sin(y)"),
    ("-(@X-1)*(@X-2)*(@X-3)+(@Y-1)*(@Y-2)", "-(x-1)*(x-2)*(x-3)+(y-1)*(y-2)"),
    ("SQRT((@X-1.5)^2+(@Y-2.5)^2)*EXP(-(@Z/10))+LOG(1+@X*@X)*SIN(@Z*PAI/180)-COS(@Y*PAI/180)",
     f"sqrt((x-1.5)**2+(y-2.5)**2)*exp(-(z/10))+log(1+x*x)*sin(z*{PI}/180)-cos(y*{PI}/180)"),
    ("(3*@X^2+2*@X+1)/(@X^2+1)+(5*@Y^3-4*@Y^2+3*@Y-2)/(@Y^2+4)+SQRT(@Z^2+16)*2.5-0.125*@Z*(@Z+1)*(@Z+2)",
     "(3*x**2+2*x+1)/(x**2+1)+(5*y**3-4*y**2+3*y-2)/(y**2+4)+sqrt(z**2+16)*2.5-0.125*z*(z+1)*(z+2)"),
    ("(@X+1)*(@X+2)*(@X+3)*(@X+4)/((@Y+3)*(@Y+4)) + SQRT(@X*@X+1)*EXP(@Y/4) - LOG(@Z*@Z+1)*COS(@X*PAI/180) + "
     "SIN(@Z*PAI/180)*2.75",
     f"(x+1)*(x+2)*(x+3)*(x+4)/((y+3)*(y+4)) + sqrt(x*x+1)*exp(y/4) - log(z*z+1)*cos(x*{PI}/180) + "
     f"sin(z*{PI}/180)*2.75"),
]


def best(call, rows):
    call()
    times = []
    for _ in range(5):
        start = time.perf_counter()
        call()
        times.append(time.perf_counter() - start)
    return min(times) / rows * 1e9


def main():
    rows = int(sys.argv[1]) if len(sys.argv) > 1 else 65536
    numexpr.set_num_threads(1)
    r = numpy.arange(rows, dtype=numpy.float64)
    x, y, z = 0.7 + 1e-6 * r, 0.3 + 2e-6 * r, 1.9 - 1e-6 * r
    calc = exprcalc.Library()
    calc.variables.update({"@X": 0.7, "@Y": 0.3, "@Z": 1.9})
    print(f"| text | exprcalc columns, ns per row | numexpr, ns per row | ratio |  ({rows} rows, one thread)")
    print("|---|--:|--:|--:|")
    ratios = []
    for number, (ours, theirs) in enumerate(TEXTS, 1):
        with calc.prepare(ours) as expression:
            columns = {"@X": x, "@Y": y, "@Z": z}
            mine = best(lambda: expression.evaluate_columns(columns), rows)
        peer = best(lambda: numexpr.evaluate(theirs, local_dict={"x": x, "y": y, "z": z}), rows)
        ratios.append(mine / peer)
        print(f"| {number} | {mine:.2f} | {peer:.2f} | {mine / peer:.2f} |")
    geomean = math.exp(sum(map(math.log, ratios)) / len(ratios))
    print(f"\ngeo-mean of the ratios: {geomean:.2f}")


if __name__ == "__main__":
    main()
