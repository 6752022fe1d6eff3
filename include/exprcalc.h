/*
 * exprcalc -- evaluate arithmetic expressions given as text and keep one
 * process-wide table of named variables (numbers, or texts of up to 222 bytes).
 *
 * Conventions shared by every function below:
 *  - No function throws or aborts. Every function returns a 32-bit int,
 *    except the message functions (a static string) and exprcalc_release
 *    (nothing).
 *  - Text arguments are NUL-terminated byte strings. A null pointer, and any
 *    non-null pointer value below 65536, is taken as the empty text; such a
 *    value is never read as an address.
 *  - Variable names are trimmed of white space (blank, tab, LF, VT, FF, CR) at
 *    both ends and upper-cased (a-z only). Only the first 31 bytes of the
 *    result are significant: two names that share their first 31 bytes are
 *    the same variable. White space that the cut to 31 bytes leaves at the
 *    end is trimmed too, so every stored name (as GetVar shows it) finds its
 *    own variable. The empty name is a name like any other.
 *  - Output pointers: a double* must point to 8 writable bytes, an int* to 4,
 *    a record to EXPRCALC_RECORD_SIZE and a text buffer to
 *    EXPRCALC_TEXT_BUFFER_SIZE. An output pointer that is null or below 65536
 *    is never written or read: the call does everything else and returns its
 *    usual result, except GetVar, whose only work is the copy: it returns -1.
 *    (Earlier releases wrote through such pointers and crashed.)
 *  - There is one table per process and it takes no lock. ParseString,
 *    GetIndexByKey, GetVar, GetVarCount, LookupVarDouble, LookupVarString,
 *    VarDouble, VarString, exprcalc_explain, exprcalc_judge,
 *    exprcalc_judge_statement, exprcalc_prepare, exprcalc_evaluate,
 *    exprcalc_evaluate_columns and exprcalc_code_form only read it: any number of threads may make
 *    these calls at the same time, each with its own output buffers, as long
 *    as no call that writes runs meanwhile. EnterVarDouble, EnterVarString,
 *    FreeVariable, RemoveVarIndex, RemoveVariable, Substitution,
 *    exprcalc_explain_statement, exprcalc_substitute_whole and
 *    exprcalc_set_double write it: a host must make each of them while no
 *    other call of this library runs in any thread, and order it before the
 *    calls that follow (a mutex, a read-write lock held for writing, or
 *    joining the writing thread does both).
 *    Unloading the library also writes.
 */
#ifndef EXPRCALC_H
#define EXPRCALC_H

/* Hosts of the static library define EXPRCALC_STATIC (its CMake target and .pc file do). */
#if defined(_WIN32)
#  define EXPRCALC_CALL __cdecl
#  if defined(EXPRCALC_STATIC)
#    define EXPRCALC_API
#  elif defined(EXPRCALC_BUILDING)
#    define EXPRCALC_API __declspec(dllexport)
#  else
#    define EXPRCALC_API __declspec(dllimport)
#  endif
#else
#  define EXPRCALC_CALL
#  if defined(EXPRCALC_BUILDING)
#    define EXPRCALC_API __attribute__((visibility("default")))
#  else
#    define EXPRCALC_API
#  endif
#endif

#include <stddef.h>

/* The version of this header: major * 1000000 + minor * 1000 + patch, and as
 * text. exprcalc_version() gives the number of the library actually loaded. */
#define EXPRCALC_VERSION_NUMBER 1002000
#define EXPRCALC_VERSION "1.2.0"

#ifdef __cplusplus
extern "C" {
#endif

/* Result codes of ParseString. On every code but EXPRCALC_OK the value is 0.0. */
#define EXPRCALC_OK 0                    /* evaluated (also: empty text, no token) */
#define EXPRCALC_DIVISION_BY_ZERO 1      /* "/" by less than 5e-14, "%" by less than 1 */
#define EXPRCALC_DOMAIN_ERROR 2          /* LOG/LOG10 of ~0, ACOS/ASIN beyond 1, 0^negative */
#define EXPRCALC_NEGATIVE_LOGARITHM 3    /* LOG/LOG10 of a negative number */
#define EXPRCALC_FUNCTION_FAILED 4       /* a host's function returned a code other than 0-3
                                            (exprcalc_table_define_function); never without one */
#define EXPRCALC_OUT_OF_MEMORY 257       /* 0x101: a working buffer could not be had */
#define EXPRCALC_MALFORMED 32768         /* 0x8000: malformed expression */

/* Results of Substitution. */
#define EXPRCALC_STATEMENT_DONE 0        /* stored or removed */
#define EXPRCALC_STATEMENT_FAILED 1      /* not carried out */
#define EXPRCALC_STATEMENT_NO_VARIABLE (-1) /* removal of a variable that does not exist */

/* Result of the table functions for a missing name, a bad index, a wrong type
 * or a table that cannot make room. */
#define EXPRCALC_NOT_FOUND (-1)

/* Type of a variable, as GetIndexByKey reports it and as byte 0 of a record holds it. */
#define EXPRCALC_TYPE_NONE 0
#define EXPRCALC_TYPE_NUMBER 100         /* 'd' */
#define EXPRCALC_TYPE_TEXT 115           /* 's' */

/* Byte layout of the 256-byte record that GetVar copies out. The number and
 * the text overlap: bytes 40-47 of a text record are bytes 6-13 of its text. */
#define EXPRCALC_RECORD_SIZE 256
#define EXPRCALC_RECORD_TYPE_OFFSET 0    /* 1 byte: 'd' or 's' */
#define EXPRCALC_RECORD_RESERVED_OFFSET 1 /* 1 byte: always 0 */
#define EXPRCALC_RECORD_NAME_OFFSET 2    /* normalised name and a NUL */
#define EXPRCALC_RECORD_NAME_SIZE 32
#define EXPRCALC_RECORD_TEXT_OFFSET 34   /* text, NUL-terminated when shorter than 222 bytes */
#define EXPRCALC_RECORD_TEXT_SIZE 222
#define EXPRCALC_RECORD_NUMBER_OFFSET 40 /* IEEE-754 double, little-endian */
#define EXPRCALC_RECORD_NUMBER_SIZE 8

/* A text buffer of this size holds every text the library writes (222 bytes and a NUL). */
#define EXPRCALC_TEXT_BUFFER_SIZE 223

/* Stores the number value under name, replacing any variable of that name
 * (of either type). Returns the variable's index when the name existed, the
 * new count (the new index plus 1) when it is new, -1 when the table cannot
 * make room; on -1 nothing is stored and the table keeps every variable. */
EXPRCALC_API int EXPRCALC_CALL EnterVarDouble(const char *name, double value);

/* Stores the first 222 bytes of text under name, unchanged (case and blanks
 * kept); results as EnterVarDouble. */
EXPRCALC_API int EXPRCALC_CALL EnterVarString(const char *name, const char *text);

/* Removes every variable and releases the table's memory. Returns 0. The
 * table is usable afterwards and starts again as on a fresh load. */
EXPRCALC_API int EXPRCALC_CALL FreeVariable(void);

/* Returns the index of the variable name, or -1. *type receives 100 for a
 * number, 115 for a text, 0 when the name is not found. */
EXPRCALC_API int EXPRCALC_CALL GetIndexByKey(const char *name, int *type);

/* Copies the 256 bytes of the record at index to record (layout above) and
 * returns 0; returns -1 for an index outside 0 to count-1 and writes nothing. */
EXPRCALC_API int EXPRCALC_CALL GetVar(int index, void *record);

/* Returns the number of variables. */
EXPRCALC_API int EXPRCALC_CALL GetVarCount(void);

/* Returns the index of the variable name, or -1. *value receives bytes 40-47
 * of its record read as a double, whatever its type; 0.0 when not found. */
EXPRCALC_API int EXPRCALC_CALL LookupVarDouble(const char *name, double *value);

/* Returns the index of the variable name, or -1. buffer receives the bytes
 * from record offset 34 up to the first NUL (at most 222) and a NUL, whatever
 * the record's type; a single NUL when not found. */
EXPRCALC_API int EXPRCALC_CALL LookupVarString(const char *name, char *buffer);

/* Evaluates the expression text and writes its value to *result. Returns one
 * of the EXPRCALC_* result codes above; *result is 0.0 whenever the code is
 * not 0. A null or empty text gives 0 and 0.0. */
EXPRCALC_API int EXPRCALC_CALL ParseString(const char *expression, double *result);

/* Removes the record at index and moves every later record down by one.
 * Returns 0, or -1 for an index outside 0 to count-1. */
EXPRCALC_API int EXPRCALC_CALL RemoveVarIndex(int index);

/* Removes the variable name. Returns 0, or -1 when there is none. */
EXPRCALC_API int EXPRCALC_CALL RemoveVariable(const char *name);

/* Runs one assignment statement "@NAME = right part":
 *   right part empty         -> removes @NAME (0, or -1 when it does not exist)
 *   right part "text...      -> stores the text up to a tab or a double quote
 *   anything else            -> evaluates it and stores the number
 * Returns 0 when done, 1 when the statement was not carried out (no "=", a
 * left part that does not begin with "@", a failed evaluation, no room). */
EXPRCALC_API int EXPRCALC_CALL Substitution(const char *statement);

/* Returns index when the record at index is a number, writing it to *value;
 * otherwise -1 and *value is 0.0. */
EXPRCALC_API int EXPRCALC_CALL VarDouble(int index, double *value);

/* Returns index when the record at index is a text, copying it with its NUL
 * to buffer; otherwise -1 and buffer holds a single NUL. */
EXPRCALC_API int EXPRCALC_CALL VarString(int index, char *buffer);

/* ------------------------------------------------------------------------
 * The exprcalc_* functions: diagnostics and versions. They follow the rules
 * above: they never throw, text pointers below 65536 are the empty text,
 * and an output pointer that is null or below 65536 is never written. They
 * only read the table, except exprcalc_explain_statement and
 * exprcalc_substitute_whole, which write it as Substitution does. Functions and struct members are only ever added.
 * ------------------------------------------------------------------------ */

/* Why reading an expression stopped (exprcalc_diagnosis.stop). Reading never
 * fails: whatever the language cannot read ends the expression there, and
 * what came before is evaluated. */
#define EXPRCALC_STOP_END 0               /* the whole text was read */
#define EXPRCALC_STOP_LINE_END 1          /* a CR, LF or "=" ends the expression */
#define EXPRCALC_STOP_UNKNOWN_VARIABLE 2  /* a name beginning with "@" that is not stored */
#define EXPRCALC_STOP_UNKNOWN_NAME 3      /* a name neither built in nor stored */
#define EXPRCALC_STOP_UNREADABLE_BYTE 4   /* a byte the language does not read, e.g. "#", "_", "," */
#define EXPRCALC_STOP_SECOND_POINT 5      /* a second decimal point in one number */
#define EXPRCALC_STOP_COMMA_IN_FRACTION 6 /* a comma after a number's decimal point or colon */
#define EXPRCALC_STOP_POINT_AFTER_COLON 7 /* a decimal point in a minutes or seconds field */
#define EXPRCALC_STOP_THIRD_COLON 8       /* a third colon in one number */
#define EXPRCALC_STOP_OUT_OF_MEMORY 9     /* the digits of a long number could not be held */

/* An offset that points nowhere: no such place in the text. */
#define EXPRCALC_NOWHERE ((size_t)-1)

/* Where and why an evaluation stopped. All offsets count bytes from the
 * start of the text. The library writes exactly this struct as declared
 * here; should it ever grow, that comes with a new function, so a host built
 * against this header is never written past its struct. */
typedef struct exprcalc_diagnosis {
  int code;        /* what ParseString returns for the text */
  double value;    /* what ParseString delivers, bit for bit (0.0 unless code is 0) */
  size_t read;     /* where reading stopped: the byte named by stop (the text's length at EXPRCALC_STOP_END) */
  int stop;        /* why reading stopped: EXPRCALC_STOP_* */
  size_t at;       /* code not 0: the token where evaluation failed: the "/" or "%" for code 1,
                      the function name or "^" for 2, the LOG or LOG10 for 3, the token where the
                      parse broke for 32768, the number that could not be held for 257;
                      EXPRCALC_NOWHERE when the place is not known (memory for tracking places
                      ran out; before 1.2.0 this was 0); 0 when code is 0 */
  size_t dropped;  /* where the token that stop dropped began: read, except for a number
                      dropped for a bad byte inside it, where it is the number's first byte */
  int unclosed;    /* 1: a "(" was never closed and what follows it is not in the value
                      (2*(3+4 is 2); 0 otherwise, also for (2+3, whose value is 5, and for
                      SQRT(16, whose function is left unapplied (exprcalc_judge finds that) */
  size_t text_variable; /* the first variable read that holds a text, which reads as 0;
                           EXPRCALC_NOWHERE when there is none */
  size_t length;   /* the text's length in bytes */
  size_t unclosed_at; /* with unclosed 1: the "(" left open (the first such); else EXPRCALC_NOWHERE */
} exprcalc_diagnosis;

/* Why a statement was or was not carried out (exprcalc_statement_diagnosis.reason). */
#define EXPRCALC_REASON_STORED 0            /* the variable was stored */
#define EXPRCALC_REASON_REMOVED 1           /* the variable was removed */
#define EXPRCALC_REASON_NOT_A_STATEMENT 2   /* the text is empty or holds no "=" */
#define EXPRCALC_REASON_NO_NAME 3           /* the left part is empty or does not begin with "@" */
#define EXPRCALC_REASON_EVALUATION 4        /* the right part's evaluation failed: see expression */
#define EXPRCALC_REASON_NO_ROOM 5           /* the table could not make room (memory ran out) */
#define EXPRCALC_REASON_NOTHING_TO_REMOVE 6 /* the right part is empty and no variable has the name */
#define EXPRCALC_REASON_NOT_WHOLE 7         /* not carried out: the statement does not mean what it says
                                               (exprcalc_substitute_whole; its findings say why) */

/* What exprcalc_explain_statement did. Offsets count bytes from the start of
 * the statement. As for exprcalc_diagnosis, it never grows under the same
 * function. */
typedef struct exprcalc_statement_diagnosis {
  int result;          /* what Substitution returns: 0, 1 or -1 */
  int reason;          /* EXPRCALC_REASON_* */
  size_t name_at;      /* the name stored or removed (the stripped left part, "@" included) */
  size_t name_length;  /* its length in bytes; 0 when the statement has none */
  int unreadable_name; /* 1: a variable was stored under a name that no expression can read,
                          since it holds a byte other than a letter or digit after the "@"
                          (expressions read "@MY_RATE" as "@MY" and stop at "_") */
  size_t right_at;     /* where the stripped right part begins (EXPRCALC_NOWHERE without "=") */
  exprcalc_diagnosis expression; /* the right part's evaluation, when it was evaluated (its
                                    offsets count from the statement's start, its length is
                                    the right part's); all zero otherwise */
} exprcalc_statement_diagnosis;

/* Returns EXPRCALC_VERSION_NUMBER of the library that is loaded. */
EXPRCALC_API int EXPRCALC_CALL exprcalc_version(void);

/* Returns one static English message for a result code of ParseString (and
 * exprcalc_diagnosis.code), e.g. "division by zero"; a message saying the
 * code is unknown for any other value. Never null; the text is never freed. */
EXPRCALC_API const char *EXPRCALC_CALL exprcalc_message(int code);

/* As exprcalc_message, for the reasons EXPRCALC_STOP_* why reading stopped. */
EXPRCALC_API const char *EXPRCALC_CALL exprcalc_stop_message(int stop);

/* As exprcalc_message, for the reasons EXPRCALC_REASON_* of a statement. */
EXPRCALC_API const char *EXPRCALC_CALL exprcalc_reason_message(int reason);

/* Evaluates text exactly as ParseString does and returns the same code; *out
 * receives that code and value and says where and why reading and evaluation
 * stopped (see exprcalc_diagnosis). A null text is the empty text. It costs
 * about as much as ParseString and only reads the table. */
EXPRCALC_API int EXPRCALC_CALL exprcalc_explain(const char *text, exprcalc_diagnosis *out);

/* Carries out statement exactly as Substitution does (same effect on the
 * table, same result) and says why it was or was not carried out. */
EXPRCALC_API int EXPRCALC_CALL exprcalc_explain_statement(const char *statement,
                                                          exprcalc_statement_diagnosis *out);

/* ------------------------------------------------------------------------
 * Judgements: whether a text means what it says. A text can be read to its
 * end, evaluate without error and still not mean what its writer wrote: a
 * "(" that is never closed leaves out what follows it (2*(3+4 is 2) or leaves
 * the function or sign before it unapplied (SQRT(16 is 16), a text variable
 * reads as 0, commas that do not group digits by three are left out. The
 * values stay what ParseString gives; a judgement names each such finding
 * and says whether the text is whole. Judging only reads the table, except
 * exprcalc_substitute_whole, which writes it as Substitution does.
 * ------------------------------------------------------------------------ */

/* What a judgement finds (exprcalc_finding.kind). Kinds 1-99 change what a
 * text means: a text with one of them is not whole. Kinds 100-199 are notes
 * on a text that is whole (the value is what the language says, maybe not
 * what its writer meant). Kinds from 200 say why a malformed text (code
 * 32768) is malformed; they are given for malformed texts only. */
#define EXPRCALC_FINDING_STOPPED 1            /* reading stopped before the end (why: diagnosis.stop); at: diagnosis.read;
                                                 other: diagnosis.dropped. A CR or LF followed by white space only
                                                 counts as the end: no finding. "=" always is one */
#define EXPRCALC_FINDING_CONTENTS_DROPPED 2   /* a "(" is never closed and what follows it is left out (2*(3+4 is 2);
                                                 at: that "(" (diagnosis.unclosed is 1) */
#define EXPRCALC_FINDING_NOT_APPLIED 3        /* a function, sign or operator is not applied: the "(" after it is
                                                 never closed (SQRT(16 is 16, -(3+4 is 7, *(2 is 2; a "+" sign
                                                 changes nothing: +(2 is whole); at: it; other: that "(" */
#define EXPRCALC_FINDING_TEXT_CUT 4           /* statements only: the stored text ends before the statement does (a tab
                                                 or a second double quote with more after it: @A = "hel"lo), or is
                                                 cut at 222 bytes; at: where it is cut */
#define EXPRCALC_FINDING_TEXT_VARIABLE 100    /* a variable holding a text reads as 0; at: its name */
#define EXPRCALC_FINDING_DIGIT_GROUPS 101     /* commas do not group digits by three (3,5 reads as 35); at: the comma;
                                                 other: the number's first byte */
#define EXPRCALC_FINDING_POWER_OF_ARGUMENT 102 /* a function's parenthesised argument takes the power: SIN(1)^2 is
                                                  SIN(1^2); at: the "^"; other: the function */
#define EXPRCALC_FINDING_NUMBER_WITHOUT_DIGITS 103 /* ".", ":" or "::" with no digit reads as 0; at: it */
#define EXPRCALC_FINDING_UNREADABLE_NAME 104  /* statements only: a name stored that expressions cannot read
                                                 (@MY_RATE); at: where expressions stop reading it (the "_");
                                                 other: the name */
#define EXPRCALC_FINDING_OPERAND_BEFORE_PARENTHESIS 200 /* a "(" right after an operand with no operator between
                                                           (2(3), (2)(3), PAI(2)); at: the "("; other: the operand's
                                                           first byte */
#define EXPRCALC_FINDING_REPEATED_OPERATOR 201 /* an infix operator right after another one (2**3, 2^/3); at: the
                                                  second; other: the first */
#define EXPRCALC_FINDING_SIGN_AFTER_OPERATOR 202 /* a sign right after an infix operator, a sign or a function name
                                                    (2^-1, 2*-3, SIN-1); at: the sign; other: the operator or
                                                    function */
#define EXPRCALC_FINDING_OPERAND_BEFORE_OPERAND 203 /* a number, name or function right after an operand with no
                                                       operator between (2PAI, 2SIN(1), 2@X, 1 000); at: the second
                                                       operand; other: the first byte of the token before it */

typedef struct exprcalc_finding {
  int kind;      /* EXPRCALC_FINDING_* */
  size_t at;     /* where, in bytes from the text's start (EXPRCALC_NOWHERE when not known) */
  size_t other;  /* the second place named by the kind, or EXPRCALC_NOWHERE */
} exprcalc_finding;

/* A judgement holds the first finding of each kind, in the order of at. */
#define EXPRCALC_MOST_FINDINGS 16

/* What exprcalc_judge writes. As for exprcalc_diagnosis, it never grows under
 * the same function. */
typedef struct exprcalc_judgement {
  exprcalc_diagnosis diagnosis; /* exactly what exprcalc_explain writes */
  int whole;                    /* 1: read to its end and no finding below 100; 0 otherwise. Independent of
                                   diagnosis.code: a host wanting a value it can trust asks code == 0 && whole */
  int count;                    /* findings[0..count) are used */
  exprcalc_finding findings[EXPRCALC_MOST_FINDINGS];
} exprcalc_judgement;

/* Evaluates text exactly as ParseString does (same code, same value bits;
 * the table is only read) and judges it. Returns the code. */
EXPRCALC_API int EXPRCALC_CALL exprcalc_judge(const char *text, exprcalc_judgement *out);

/* As exprcalc_message, for the kinds EXPRCALC_FINDING_*. */
EXPRCALC_API const char *EXPRCALC_CALL exprcalc_finding_message(int kind);

/* What exprcalc_judge_statement and exprcalc_substitute_whole write. Offsets
 * count bytes from the start of the statement. */
typedef struct exprcalc_statement_judgement {
  exprcalc_statement_diagnosis statement; /* as exprcalc_explain_statement reports it (for
                                             exprcalc_judge_statement: what Substitution would do now;
                                             a store counts as done) */
  int whole;            /* 1: a statement ("@NAME = ..."), its right part whole when it is evaluated, its
                           text not cut when it stores one; 0 otherwise (also for a text that is not a
                           statement) */
  size_t text_at;       /* the text it stores (after the double quote), or EXPRCALC_NOWHERE */
  size_t text_length;   /* its stored length (at most 222) */
  int count;            /* findings[0..count) are used */
  exprcalc_finding findings[EXPRCALC_MOST_FINDINGS]; /* the right part's findings and the statement's own
                                                        (TEXT_CUT, UNREADABLE_NAME), in the order of at */
} exprcalc_statement_judgement;

/* Judges statement without carrying it out: the table is only read. Returns
 * what Substitution would return now (0 for a store: whether the table can
 * make room is known only when it tries). A reason of
 * EXPRCALC_REASON_NOT_A_STATEMENT or EXPRCALC_REASON_NO_NAME means that the
 * text is not a statement at all. */
EXPRCALC_API int EXPRCALC_CALL exprcalc_judge_statement(const char *statement,
                                                        exprcalc_statement_judgement *out);

/* Carries out statement exactly as Substitution does, but only when it is
 * whole; a statement that is not whole leaves the table as it is and gives 1
 * with reason EXPRCALC_REASON_NOT_WHOLE (whole 0, the findings say why). A
 * text that is not a statement gives 1 with its reason as Substitution has
 * it. A whole statement that fails (an evaluation error, no room, nothing to
 * remove) gives Substitution's result and reason. It writes the table. */
EXPRCALC_API int EXPRCALC_CALL exprcalc_substitute_whole(const char *statement,
                                                         exprcalc_statement_judgement *out);

/* ------------------------------------------------------------------------
 * Prepared expressions: a text read once and evaluated many times, with
 * exactly the code and value bits that ParseString gives for it at that
 * moment, whatever happened to the table in between.
 * ------------------------------------------------------------------------ */

/* A prepared expression; opaque. */
typedef struct exprcalc_expr exprcalc_expr;

/* Reads and prepares text (a null text is the empty text) under the table as
 * it is now, and stores the handle in *out. Returns 0, or 257 when memory ran
 * out; *out is then null. A text that is malformed is prepared all the same:
 * evaluating it gives what ParseString gives. Release the handle with
 * exprcalc_release. Only reads the table. */
EXPRCALC_API int EXPRCALC_CALL exprcalc_prepare(const char *text, exprcalc_expr **out);

/* Evaluates a prepared expression: returns the code, and stores in *value the
 * value bits, that ParseString would give for its text now. While the table
 * keeps its shape (no variable added, removed or turned into the other type,
 * no FreeVariable; new values are fine) it runs the prepared operations and
 * allocates nothing; after a change of shape it evaluates the text as
 * ParseString does, until the expression is prepared again. It never runs out
 * of memory where the text fits in 256 bytes. A null handle, and any handle
 * value below 65536, evaluates as the empty text (0 and 0.0); a handle that
 * was released must not be used again (it is freed memory).
 * The first two evaluations run the prepared operations one by one; the
 * third compiles them into steps (in room the handle keeps for them, for a
 * text of up to 256 bytes; a longer text's steps are compiled when it is
 * prepared), which later evaluations run. On x86-64 Linux, once a
 * handle has been evaluated 1,024 times while the table keeps its shape, that
 * evaluation compiles its operations (up to 256 of them) into machine code,
 * which later evaluations call; the code lives in memory taken from the
 * system, not the heap, that is never writable and executable at once and is
 * writable only during a compile. Where the host forbids generated code
 * (EXPRCALC_MACHINE_CODE=off in the environment, PR_SET_MDWE, a seccomp
 * filter or security module that refuses executable memory, memory files
 * denied), past the budget of code memory, and elsewhere, the steps go on
 * running; exprcalc_code_form tells which form runs and why.
 * A prepared expression reads the table it was prepared in (the process
 * table for exprcalc_prepare, see exprcalc_table_prepare).
 * Threads: it never writes the table, and writes the handle once, atomically,
 * when it compiles it, so any number of threads may evaluate one handle at
 * the same time while no call writes the table. */
EXPRCALC_API int EXPRCALC_CALL exprcalc_evaluate(const exprcalc_expr *expr, double *value);

/* Releases a prepared expression: the handle is freed and must not be used
 * again, nor released twice. Null, and any value below 65536, is ignored.
 * Each thread keeps the memory of the last handle it released, when that is
 * at most 4 KiB, for its next handle of about that size, and gives it back
 * to the heap when the thread ends. */
EXPRCALC_API void EXPRCALC_CALL exprcalc_release(exprcalc_expr *expr);

/* Stores value in the existing number variable at index (the writing
 * counterpart of VarDouble). Returns index, or -1 for an index outside 0 to
 * count-1 or a text variable. It never changes the table's shape, so
 * prepared expressions keep running their prepared operations. It writes
 * the table. */
EXPRCALC_API int EXPRCALC_CALL exprcalc_set_double(int index, double value);

/* Evaluates a prepared expression once per row of a table of columns: in row
 * r the number variable at indexes[k] reads columns[k][r] (k < count; for an
 * index given twice, the last column counts), as if exprcalc_set_double had
 * stored it, but the table is not written. results[r] and codes[r] receive
 * exactly the value bits and code that exprcalc_set_double for each column
 * followed by exprcalc_evaluate would give for that row, also after a change
 * of shape; codes may be null. Returns 0 when every row's code is 0, else the
 * first non-zero row code; -1, writing nothing, when an index is not a number
 * variable now, or the handle, results, indexes, columns or a column is null
 * (or below 65536) where rows or count needs it. While the table keeps its
 * shape it runs the prepared operations over blocks of rows and allocates
 * nothing (its stack holds about 22 KiB at the most); after a change of shape each
 * row evaluates the text. Threads: as exprcalc_evaluate, it only reads the
 * handle and the table, so any number of threads may evaluate columns at
 * the same time while no call writes the table. */
EXPRCALC_API int EXPRCALC_CALL exprcalc_evaluate_columns(const exprcalc_expr *expr, size_t rows, size_t count,
                                                         const int *indexes, const double *const *columns,
                                                         double *results, int *codes);

/* The forms a prepared expression runs in (exprcalc_code_form). */
#define EXPRCALC_FORM_TEXT 0         /* its text, read as ParseString reads it */
#define EXPRCALC_FORM_STEPS 1        /* its prepared operations, as steps */
#define EXPRCALC_FORM_MACHINE_CODE 2 /* its prepared operations, as machine code */

/* Why a prepared expression does not run machine code (exprcalc_code_form). */
#define EXPRCALC_CODE_RUNS 0           /* it does (or, asked of the process, new ones may) */
#define EXPRCALC_CODE_NOT_YET 1        /* not until 1,024 evaluations show that compiling pays */
#define EXPRCALC_CODE_TURNED_OFF 2     /* EXPRCALC_MACHINE_CODE=off in the environment */
#define EXPRCALC_CODE_PLATFORM 3       /* no native compiler here (only x86-64 Linux has one) */
#define EXPRCALC_CODE_MDWE 4           /* the process refuses executable memory (PR_SET_MDWE) */
#define EXPRCALC_CODE_EXEC_DENIED 5    /* making memory executable is refused (a seccomp filter) */
#define EXPRCALC_CODE_EXECMEM_DENIED 6 /* ... refused with EACCES (a security module: SELinux's execmem) */
#define EXPRCALC_CODE_MEMFD_DENIED 7   /* memory files cannot be created (memfd_create refused) */
#define EXPRCALC_CODE_BUDGET 8         /* the process's code memory budget is spent */
#define EXPRCALC_CODE_TOO_LONG 9       /* more operations than the compiler takes */
#define EXPRCALC_CODE_NO_MEMORY 10     /* the system had no memory or descriptor for code memory */
#define EXPRCALC_CODE_SHAPE 11         /* form TEXT: the table changed shape since it was prepared */
#define EXPRCALC_CODE_NOT_PREPARED 12  /* form TEXT: its operations could not be prepared (too deep) */

/* Which form a prepared expression runs in now: returns EXPRCALC_FORM_* and
 * stores EXPRCALC_CODE_* in *why (why may be null). For a null handle (or
 * one below 65536) it answers for the process: EXPRCALC_FORM_MACHINE_CODE
 * with EXPRCALC_CODE_RUNS when new prepared expressions may become machine
 * code, else EXPRCALC_FORM_STEPS and the reason. It asks the system what the
 * host allows (a few system calls); it only reads the handle and the table. */
EXPRCALC_API int EXPRCALC_CALL exprcalc_code_form(const exprcalc_expr *expr, int *why);

/* ------------------------------------------------------------------------
 * Tables of the host's own. The fourteen classic functions, and the
 * exprcalc_* functions above, work on the process table. A host may make
 * further tables: each holds variables (and functions, below) of its own and
 * behaves exactly as the process table does under the same calls (same
 * results, records, names, limits, codes and value bits). Each function
 * below is the table form of the one it names, with the table first.
 *
 * Threads: tables share no writable state. Different tables may be used
 * from different threads at the same time with no lock; within one table the
 * rules of the process table hold (the calls named there as reading only
 * read it; the forms of the writing ones, and exprcalc_table_define_function,
 * write it). A table argument that is null or below 65536 is the process
 * table.
 * ------------------------------------------------------------------------ */

/* A table of variables; opaque. */
typedef struct exprcalc_table exprcalc_table;

/* Makes an empty table and stores it in *out. Returns 0, or 257 when memory
 * ran out (*out is then null). Destroy it with exprcalc_table_destroy. */
EXPRCALC_API int EXPRCALC_CALL exprcalc_table_create(exprcalc_table **out);

/* Destroys a table made by exprcalc_table_create: the handle must not be
 * used again. Prepared expressions made in it stay valid: the table's
 * variables and functions stay as they are until the last of them is
 * released (each evaluates as before, and releasing the last one frees the
 * table), so no prepared expression ever reads freed memory. Null, values
 * below 65536 and the process table are ignored. It writes the table. */
EXPRCALC_API void EXPRCALC_CALL exprcalc_table_destroy(exprcalc_table *table);

/* The process table: the one that the functions without a table use. */
EXPRCALC_API exprcalc_table *EXPRCALC_CALL exprcalc_process_table(void);

/* ParseString. */
EXPRCALC_API int EXPRCALC_CALL exprcalc_table_evaluate(exprcalc_table *table, const char *expression,
                                                       double *result);
/* Substitution. */
EXPRCALC_API int EXPRCALC_CALL exprcalc_table_substitute(exprcalc_table *table, const char *statement);
/* EnterVarDouble. */
EXPRCALC_API int EXPRCALC_CALL exprcalc_table_enter_double(exprcalc_table *table, const char *name, double value);
/* EnterVarString. */
EXPRCALC_API int EXPRCALC_CALL exprcalc_table_enter_string(exprcalc_table *table, const char *name,
                                                           const char *text);
/* GetIndexByKey. */
EXPRCALC_API int EXPRCALC_CALL exprcalc_table_index_of(exprcalc_table *table, const char *name, int *type);
/* LookupVarDouble. */
EXPRCALC_API int EXPRCALC_CALL exprcalc_table_lookup_double(exprcalc_table *table, const char *name,
                                                            double *value);
/* LookupVarString. */
EXPRCALC_API int EXPRCALC_CALL exprcalc_table_lookup_string(exprcalc_table *table, const char *name,
                                                            char *buffer);
/* RemoveVariable. */
EXPRCALC_API int EXPRCALC_CALL exprcalc_table_remove(exprcalc_table *table, const char *name);
/* RemoveVarIndex. */
EXPRCALC_API int EXPRCALC_CALL exprcalc_table_remove_index(exprcalc_table *table, int index);
/* VarDouble. */
EXPRCALC_API int EXPRCALC_CALL exprcalc_table_double_at(exprcalc_table *table, int index, double *value);
/* VarString. */
EXPRCALC_API int EXPRCALC_CALL exprcalc_table_string_at(exprcalc_table *table, int index, char *buffer);
/* GetVar. */
EXPRCALC_API int EXPRCALC_CALL exprcalc_table_record(exprcalc_table *table, int index, void *record);
/* GetVarCount. */
EXPRCALC_API int EXPRCALC_CALL exprcalc_table_count(exprcalc_table *table);
/* FreeVariable: removes every variable (its functions stay). */
EXPRCALC_API int EXPRCALC_CALL exprcalc_table_clear(exprcalc_table *table);
/* exprcalc_set_double. */
EXPRCALC_API int EXPRCALC_CALL exprcalc_table_set_double(exprcalc_table *table, int index, double value);
/* exprcalc_explain. */
EXPRCALC_API int EXPRCALC_CALL exprcalc_table_explain(exprcalc_table *table, const char *text,
                                                      exprcalc_diagnosis *out);
/* exprcalc_explain_statement. */
EXPRCALC_API int EXPRCALC_CALL exprcalc_table_explain_statement(exprcalc_table *table, const char *statement,
                                                                exprcalc_statement_diagnosis *out);
/* exprcalc_judge. */
EXPRCALC_API int EXPRCALC_CALL exprcalc_table_judge(exprcalc_table *table, const char *text,
                                                    exprcalc_judgement *out);
/* exprcalc_judge_statement. */
EXPRCALC_API int EXPRCALC_CALL exprcalc_table_judge_statement(exprcalc_table *table, const char *statement,
                                                              exprcalc_statement_judgement *out);
/* exprcalc_substitute_whole. */
EXPRCALC_API int EXPRCALC_CALL exprcalc_table_substitute_whole(exprcalc_table *table, const char *statement,
                                                               exprcalc_statement_judgement *out);
/* exprcalc_prepare in this table. The prepared expression belongs to the
 * table: exprcalc_evaluate and exprcalc_evaluate_columns read this table,
 * and the handle holds the table until exprcalc_release (see
 * exprcalc_table_destroy). Preparing only reads the table. */
EXPRCALC_API int EXPRCALC_CALL exprcalc_table_prepare(exprcalc_table *table, const char *text,
                                                      exprcalc_expr **out);

/* ------------------------------------------------------------------------
 * Functions of the host's own: one-argument functions that read as the
 * built-in ones do (HYPOT3(@X), TWICE 3, with the built-ins' priority and
 * the same "(" rules), in every evaluation of the table they are defined in:
 * one-shot, explained, judged (findings name them where they would name a
 * built-in), prepared and over columns.
 * ------------------------------------------------------------------------ */

/* A host's function: computes *result from argument and returns 0, or 1, 2
 * or 3 for the errors of the built-ins (EXPRCALC_DIVISION_BY_ZERO,
 * EXPRCALC_DOMAIN_ERROR, EXPRCALC_NEGATIVE_LOGARITHM), which end the
 * evaluation with that code, as a built-in's error does. Any other code ends
 * it with EXPRCALC_FUNCTION_FAILED. On a code other than 0, *result is not
 * used. user is the pointer given when the function was defined.
 * Functions are taken to be pure: the same argument gives the same result and
 * code, and calling one has no effect that the evaluation depends on. An
 * evaluation calls the function once for each time the parse applies it (a
 * repeated F(@X) is called twice), whatever form the evaluation takes:
 * one-shot, a prepared expression's steps or machine code (one indirect call
 * of fn each), or each row of exprcalc_evaluate_columns; an evaluation that
 * fails before an application does not call it. Later releases may call it
 * fewer times for a repeated argument, never more. It must not write the table it is called
 * from (it may read it, and use other tables). It may be called from every
 * thread that evaluates in its table, at the same time. */
typedef int (EXPRCALC_CALL *exprcalc_function)(void *user, double argument, double *result);

/* Results of exprcalc_table_define_function besides 0, EXPRCALC_NOT_FOUND
 * (removing a function that is not defined) and EXPRCALC_OUT_OF_MEMORY (no
 * room: memory ran out, or the table holds 128 functions already). */
#define EXPRCALC_FUNCTION_NOT_A_NAME (-2) /* not a name as expressions read one: a letter, then letters and digits */
#define EXPRCALC_FUNCTION_NAME_TAKEN (-3) /* a built-in's name, or the name of a variable stored in the table */

/* Defines the function name in table as fn (called with user), replacing the
 * function of that name; a null fn removes it. Names are matched as variable
 * names are (upper-cased, the first 31 bytes significant). Returns 0 when
 * done, or one of the codes above. While a function is defined, storing a
 * variable under its name is refused: EnterVarDouble, EnterVarString and
 * their table forms return -1 and store nothing. It writes the table and
 * changes its shape, as adding a variable does (redefining a name too):
 * prepared expressions made before it evaluate their text until prepared
 * again; those made after it run as steps and machine code. With no function defined, every function of this library behaves
 * as it did before functions existed. */
EXPRCALC_API int EXPRCALC_CALL exprcalc_table_define_function(exprcalc_table *table, const char *name,
                                                              exprcalc_function fn, void *user);

#ifdef __cplusplus
}
#endif

#endif /* EXPRCALC_H */
