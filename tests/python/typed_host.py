"""A small typed host of the exprcalc package: .ci/stages/86-python-package.sh
runs it against the installed package and has Debian's mypy check it with
--strict, so that the package's type hints serve a host as its editor sees them."""
from typing import List, Tuple

import exprcalc


def table(calc: exprcalc.Library, xs: List[float]) -> List[Tuple[float, float]]:
    index: int = calc.variables.index("@X")
    rows: List[Tuple[float, float]] = []
    with calc.prepare("2*@X+1") as f:
        for x in xs:
            calc.variables.set_at(index, x)
            rows.append((x, f()))
    return rows


def main() -> None:
    calc = exprcalc.Library()
    calc.variables["@X"] = 0
    value: float = calc.evaluate("2*SIN(RAD(30))+1")
    diagnosis: exprcalc.Diagnosis = calc.explain("2*(3+4")
    judgement: exprcalc.Judgement = calc.judge("SQRT(16")
    whole: bool = judgement.whole
    try:
        calc.evaluate("1/0")
    except exprcalc.DivisionByZeroError as error:
        position: int = error.position or 0
        print(position)
    calc.execute('@NOTE = "hello')
    note = calc.variables["@NOTE"]
    print(value, diagnosis.read, whole, note, table(calc, [0.0, 1.0]))


if __name__ == "__main__":
    main()
