// The corpus rows. Sexagesimal numbers become their decimal values, grouping
// commas are dropped, "%" becomes fmod of integer operands and the built-in
// names become the peer's (LOG is its ln); a start-up check proves the values agree.
#include "Corpus.h"

#include "exprcalc.h"

namespace exprcalc::bench {
namespace {

constexpr CorpusRow Rows[] = {
    {"precedence", "1+2*3", "1+2*3"},
    {"sine-rate", "2*SIN(RAD(30))+@RATE", "2*sin(rad(30))+RATE"},
    {"decimals", "(1.5+2.25)*(3.75-0.5)/2", "(1.5+2.25)*(3.75-0.5)/2"},
    {"grouped", "1,250,000*0.035/12", "1250000*0.035/12"},
    {"dms-sum", "12:30:45+0:15", "12.5125+0.25"},
    {"hypotenuse", "SQRT(3^2+4^2)", "sqrt(3^2+4^2)"},
    {"log-ratio", "LOG(100)/LOG(10)", "ln(100)/ln(10)"},
    {"log10-exp", "LOG10(1000)+EXP(1)", "log10(1000)+exp(1)"},
    {"remainder", "17%5+2^10", "fmod(17,5)+2^10"},
    {"signed-rem", "-(2^3)%5", "-fmod(2^3,5)"},
    {"power-right", "2^3^2", "2^3^2"},
    {"abs-vars", "ABS(@BASE-1500)*@RATE", "abs(BASE-1500)*RATE"},
    {"circle", "PAI*2.5^2", "_pi*2.5^2"},
    {"inverse-trig", "DEG(ATAN(0.5))+DEG(ACOS(0.25))", "deg(atan(0.5))+deg(acos(0.25))"},
    {"trig-pi", "COS(PAI/3)*SIN(PAI/6)", "cos(_pi/3)*sin(_pi/6)"},
    {"nested-4", "((((1+2)*3)-4)/5)", "((((1+2)*3)-4)/5)"},
    {"compound", "@BASE*(1+@RATE/12)^(12*QTY)", "BASE*(1+RATE/12)^(12*QTY)"},
    {"price", "QTY*19.99+QTY*0.5", "QTY*19.99+QTY*0.5"},
    {"leading-dot", ".25+.75*4", "0.25+0.75*4"},
    {"long-literal", "3.14159265358979*1.5", "3.14159265358979*1.5"},
    {"division", "100000/3-33333.333333", "100000/3-33333.333333"},
    {"square-roots", "SQR(2)*SQR(8)", "sqrt(2)*sqrt(8)"},
    {"exp-negative", "EXP(-1)", "exp(-1)"},
    {"tan-asin", "TAN(RAD(45))+ASIN(0.5)", "tan(rad(45))+asin(0.5)"},
    {"dms-product", "1:30:36*15", "1.51*15"},
    {"dms-difference", "45:00:00-12:34:56", "45-12.582222222222222"},
    {"three-vars", "(@RATE+0.01)*(@BASE-250)/QTY", "(RATE+0.01)*(BASE-250)/QTY"},
    {"nested-deep", "2*(3+4*(5-6*(7+8*(9-10))))", "2*(3+4*(5-6*(7+8*(9-10))))"},
    {"sum-20", "1+2+3+4+5+6+7+8+9+10+11+12+13+14+15+16+17+18+19+20",
     "1+2+3+4+5+6+7+8+9+10+11+12+13+14+15+16+17+18+19+20"},
    {"blanks", "  7 * ( 8 + 9 )  ", "  7 * ( 8 + 9 )  "},
    {"int-remainder", "7*3%4", "fmod(7*3,4)"},
    {"bare-function", "SIN 2^3", "sin(2^3)"},
    {"mixed-sign", "-5+ABS(0-3)", "-5+abs(0-3)"},
    {"grouped-fraction", "1,234.5+2,000", "1234.5+2000"},
    {"annuity",
     "(@BASE*@RATE/12)/(1-(1+@RATE/12)^(0-QTY*12))+SQRT(ABS(@BASE-1000))*LOG10(QTY)+DEG(ATAN(@RATE))",
     "(BASE*RATE/12)/(1-(1+RATE/12)^(0-QTY*12))+sqrt(abs(BASE-1000))*log10(QTY)+deg(atan(RATE))"},
    {"squares-diff", "(@X+@Y)*(@X-@Y)", "(X+Y)*(X-Y)"},
    {"polynomial", "3*@X^3-2*@X^2+@X-7", "3*X^3-2*X^2+X-7"},
    {"vector-length", "SQRT(@X^2+@Y^2+@Z^2)", "sqrt(X^2+Y^2+Z^2)"},
    {"wave", "@AMP*SIN(2*PAI*@FREQ*@T)", "AMP*sin(2*_pi*FREQ*T)"},
    {"ratio", "@X/@Y-1", "X/Y-1"},
    {"lerp", "@A+(@B-@A)*@T", "A+(B-A)*T"},
    {"mean-3", "(@X+@Y+@Z)/3", "(X+Y+Z)/3"},
    {"fahrenheit", "(@F-32)*5/9", "(F-32)*5/9"},
    {"plain-names", "QTY*@A+@B", "QTY*A+B"},
};

constexpr CorpusVariable Variables[] = {
    {"@RATE", "RATE", 0.075}, {"@BASE", "BASE", 1250.0}, {"QTY", "QTY", 12.0},  {"@X", "X", 3.5},
    {"@Y", "Y", -1.25},       {"@Z", "Z", 7.0},          {"@T", "T", 0.3},      {"@A", "A", 2.0},
    {"@B", "B", 10.0},        {"@AMP", "AMP", 1.5},      {"@FREQ", "FREQ", 0.7}, {"@F", "F", 98.6},
};

}  // namespace

std::span<const CorpusRow> Corpus() noexcept { return Rows; }
std::span<const CorpusVariable> CorpusVariables() noexcept { return Variables; }

void EnterCorpusVariables() noexcept {
  for (const CorpusVariable& variable : Variables) {
    // The names are literals with a NUL right after them.
    EnterVarDouble(variable.name.data(), variable.value);
  }
}

}  // namespace exprcalc::bench
