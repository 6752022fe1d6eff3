/* A plain C99 host: includes only the public header, links the shared library
 * and calls all fourteen exports the way a C program would, checking each
 * result and each output. Every failed check names its row; the exit status
 * is 0 only when all of them hold. */
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include "exprcalc.h"

static int checkCount = 0;
static int failureCount = 0;

static void Check(int holds, const char *row, const char *condition) {
  ++checkCount;
  if (!holds) {
    ++failureCount;
    fprintf(stderr, "FAILED [%s]: %s\n", row, condition);
  }
}

#define CHECK(row, condition) Check((condition) ? 1 : 0, (row), #condition)

/* A pointer value below 65536, which the library must never read. */
static const char *LowPointer(uintptr_t value) {
  return (const char *)value;
}

static double RecordNumber(const unsigned char *record) {
  double value;
  memcpy(&value, record + EXPRCALC_RECORD_NUMBER_OFFSET, sizeof value);
  return value;
}

struct EvaluationRow {
  const char *text;
  int code;
  double value;
};

static void CheckEvaluations(void) {
  static const struct EvaluationRow rows[] = {
      {"1+2*3", EXPRCALC_OK, 7.0},
      {"", EXPRCALC_OK, 0.0},
      {"2^10", EXPRCALC_OK, 1024.0},
      {"-3", EXPRCALC_OK, -3.0},
      {"1,234.5", EXPRCALC_OK, 1234.5},
      {"10:30", EXPRCALC_OK, 10.5},
      {"ATAN(2)", EXPRCALC_OK, 1.1071487177940904},
      {"SQRT(16)+ABS(-2)", EXPRCALC_OK, 6.0},
      {"2*SIN(RAD(30))+1", EXPRCALC_OK, 2.0},
      {"@HOSTRATE*2", EXPRCALC_OK, 8.0},
      {"1/0", EXPRCALC_DIVISION_BY_ZERO, 0.0},
      {"LOG(0)", EXPRCALC_DOMAIN_ERROR, 0.0},
      {"ASIN(2)", EXPRCALC_DOMAIN_ERROR, 0.0},
      {"LOG(-5)", EXPRCALC_NEGATIVE_LOGARITHM, 0.0},
      {"1+", EXPRCALC_MALFORMED, 0.0},
      {")", EXPRCALC_MALFORMED, 0.0},
  };
  size_t i;
  FreeVariable();
  EnterVarDouble("@hostrate", 4.0);
  for (i = 0; i < sizeof rows / sizeof rows[0]; ++i) {
    double value = 99.0;
    const int code = ParseString(rows[i].text, &value);
    CHECK(rows[i].text, code == rows[i].code);
    CHECK(rows[i].text, value == rows[i].value);
  }
  FreeVariable();
}

static void CheckLowPointers(void) {
  static const uintptr_t values[] = {0, 1, 0x1234, 0xFFFF};
  size_t i;
  for (i = 0; i < sizeof values / sizeof values[0]; ++i) {
    const char *text = LowPointer(values[i]);
    double value = 99.0;
    int type = -5;
    char row[32];
    sprintf(row, "pointer %#lx", (unsigned long)values[i]);
    FreeVariable();
    CHECK(row, ParseString(text, &value) == EXPRCALC_OK && value == 0.0);
    CHECK(row, Substitution(text) == EXPRCALC_STATEMENT_FAILED);
    CHECK(row, EnterVarString(text, text) == 1);     /* the empty name, the empty text */
    CHECK(row, GetIndexByKey("", &type) == 0 && type == EXPRCALC_TYPE_TEXT);
    CHECK(row, EnterVarDouble(text, 7.0) == 0);
    CHECK(row, LookupVarDouble(text, &value) == 0 && value == 7.0);
    CHECK(row, RemoveVariable(text) == 0 && GetVarCount() == 0);
  }
}

static void CheckFreshTable(void) {
  unsigned char record[EXPRCALC_RECORD_SIZE];
  char buffer[EXPRCALC_TEXT_BUFFER_SIZE];
  double value = 99.0;
  size_t i;
  int untouched = 1;
  CHECK("fresh", FreeVariable() == 0 && FreeVariable() == 0);
  CHECK("fresh", GetVarCount() == 0);
  memset(record, 0xAB, sizeof record);
  CHECK("fresh", GetVar(0, record) == EXPRCALC_NOT_FOUND);
  for (i = 0; i < sizeof record; ++i) untouched = untouched && record[i] == 0xAB;
  CHECK("fresh GetVar writes nothing", untouched);
  memset(buffer, 'x', sizeof buffer);
  CHECK("fresh", VarString(0, buffer) == EXPRCALC_NOT_FOUND && buffer[0] == '\0');
  CHECK("fresh", VarDouble(0, &value) == EXPRCALC_NOT_FOUND && value == 0.0);
}

static void CheckStoresAndReads(void) {
  unsigned char record[EXPRCALC_RECORD_SIZE];
  char buffer[EXPRCALC_TEXT_BUFFER_SIZE];
  double value = 0.0;
  int type = -5;

  CHECK("store", EnterVarDouble("@rate", 4.0) == 1);
  CHECK("store again", EnterVarDouble("  @Rate \t", 4.5) == 0 && GetVarCount() == 1);
  CHECK("store text", EnterVarString("@note", "Hello World") == 2);

  CHECK("key of text", GetIndexByKey("@NOTE", &type) == 1 && type == EXPRCALC_TYPE_TEXT);
  CHECK("key of number", GetIndexByKey("@rate", &type) == 0 && type == EXPRCALC_TYPE_NUMBER);
  CHECK("key missing", GetIndexByKey("@none", &type) == EXPRCALC_NOT_FOUND && type == 0);

  CHECK("lookup number", LookupVarDouble("@RATE", &value) == 0 && value == 4.5);
  memset(buffer, 'x', sizeof buffer);
  CHECK("lookup text", LookupVarString("@note", buffer) == 1 && strcmp(buffer, "Hello World") == 0);
  memset(buffer, 'x', sizeof buffer);
  CHECK("lookup missing", LookupVarString("@none", buffer) == EXPRCALC_NOT_FOUND && buffer[0] == '\0');

  CHECK("number at 0", VarDouble(0, &value) == 0 && value == 4.5);
  CHECK("number at text", VarDouble(1, &value) == EXPRCALC_NOT_FOUND && value == 0.0);
  memset(buffer, 'x', sizeof buffer);
  CHECK("text at 1", VarString(1, buffer) == 1 && strcmp(buffer, "Hello World") == 0);
  memset(buffer, 'x', sizeof buffer);
  CHECK("text at number", VarString(0, buffer) == EXPRCALC_NOT_FOUND && buffer[0] == '\0');

  CHECK("record 0", GetVar(0, record) == 0);
  CHECK("record 0 type", record[EXPRCALC_RECORD_TYPE_OFFSET] == 'd' && record[1] == 0);
  CHECK("record 0 name", strcmp((const char *)record + EXPRCALC_RECORD_NAME_OFFSET, "@RATE") == 0);
  CHECK("record 0 number", RecordNumber(record) == 4.5);
  CHECK("record 1", GetVar(1, record) == 0 && record[EXPRCALC_RECORD_TYPE_OFFSET] == 's');
  CHECK("record 1 text", strcmp((const char *)record + EXPRCALC_RECORD_TEXT_OFFSET, "Hello World") == 0);
  CHECK("record past end", GetVar(2, record) == EXPRCALC_NOT_FOUND);
}

struct StatementRow {
  const char *statement;
  int result;
};

static void CheckStatements(void) {
  static const struct StatementRow rows[] = {
      {"@BASE = 2", EXPRCALC_STATEMENT_DONE},
      {"@RATE = 0.5*@BASE", EXPRCALC_STATEMENT_DONE},
      {"@NOTE = \"some text\tnot stored", EXPRCALC_STATEMENT_DONE},
      {"@BASE =", EXPRCALC_STATEMENT_DONE},
      {"@BASE =", EXPRCALC_STATEMENT_NO_VARIABLE},
      {"BASE = 1", EXPRCALC_STATEMENT_FAILED},
      {"@X = 1/0", EXPRCALC_STATEMENT_FAILED},
      {"no assignment", EXPRCALC_STATEMENT_FAILED},
  };
  char buffer[EXPRCALC_TEXT_BUFFER_SIZE];
  double value = 0.0;
  int type = -5;
  size_t i;
  for (i = 0; i < sizeof rows / sizeof rows[0]; ++i)
    CHECK(rows[i].statement, Substitution(rows[i].statement) == rows[i].result);
  CHECK("statement number", LookupVarDouble("@rate", &value) == 0 && value == 1.0);
  CHECK("statement text", LookupVarString("@note", buffer) == 1 && strcmp(buffer, "some text") == 0);
  CHECK("statement failed stores nothing", GetIndexByKey("@X", &type) == EXPRCALC_NOT_FOUND);
  CHECK("statement count", GetVarCount() == 2);
}

static void CheckRemovals(void) {
  char buffer[EXPRCALC_TEXT_BUFFER_SIZE];
  int type = -5;
  FreeVariable();
  CHECK("removal set-up", EnterVarDouble("@A", 1.0) == 1 && EnterVarDouble("@B", 2.0) == 2 &&
                              EnterVarString("@C", "c") == 3);
  CHECK("remove index -1", RemoveVarIndex(-1) == EXPRCALC_NOT_FOUND && GetVarCount() == 3);
  CHECK("remove index count", RemoveVarIndex(3) == EXPRCALC_NOT_FOUND && GetVarCount() == 3);
  CHECK("remove index 0", RemoveVarIndex(0) == 0 && GetVarCount() == 2);
  CHECK("later records move down", GetIndexByKey("@C", &type) == 1 && VarString(1, buffer) == 1);
  CHECK("remove missing name", RemoveVariable("@A") == EXPRCALC_NOT_FOUND);
  CHECK("remove name", RemoveVariable(" @b ") == 0 && GetVarCount() == 1);
  CHECK("free", FreeVariable() == 0 && GetVarCount() == 0);
  CHECK("free lookups", GetIndexByKey("@C", &type) == EXPRCALC_NOT_FOUND);
  CHECK("store after free", EnterVarDouble("@A", 1.0) == 1);
  FreeVariable();
}

static void CheckLongTexts(void) {
  char text[301];
  char buffer[EXPRCALC_TEXT_BUFFER_SIZE];
  memset(text, 'q', sizeof text - 1);
  text[sizeof text - 1] = '\0';
  FreeVariable();
  CHECK("long text", EnterVarString("@LONG", text) == 1);
  CHECK("long text kept to 222 bytes", VarString(0, buffer) == 0 && strlen(buffer) == 222 &&
                                           memcmp(buffer, text, 222) == 0);
  FreeVariable();
}

int main(void) {
  CheckFreshTable();
  CheckEvaluations();
  CheckLowPointers();
  CheckFreshTable();
  CheckStoresAndReads();
  CheckStatements();
  CheckRemovals();
  CheckLongTexts();
  printf("%d passed, %d failed\n", checkCount - failureCount, failureCount);
  return failureCount == 0 ? 0 : 1;
}
