/*
 * exprcalc -- evaluate arithmetic expressions given as text and keep one
 * process-wide table of named variables (numbers, or texts of up to 222 bytes).
 *
 * Conventions shared by every function below:
 *  - Every function returns a 32-bit int and never throws or aborts.
 *  - Text arguments are NUL-terminated byte strings. A null pointer, and any
 *    non-null pointer value below 65536, is taken as the empty text; such a
 *    value is never read as an address.
 *  - Variable names are trimmed of white space (blank, tab, LF, VT, FF, CR) at
 *    both ends and upper-cased (a-z only). Only the first 31 bytes of the
 *    result are significant: two names that share their first 31 bytes are
 *    the same variable. The empty name is a name like any other.
 *  - Output pointers are not tested: a double* must point to 8 writable bytes,
 *    an int* to 4, a record to EXPRCALC_RECORD_SIZE and a text buffer to
 *    EXPRCALC_TEXT_BUFFER_SIZE.
 *  - There is one table per process and no lock: a host that calls from
 *    several threads must serialise its calls.
 */
#ifndef EXPRCALC_H
#define EXPRCALC_H

#if defined(_WIN32)
#  define EXPRCALC_CALL __cdecl
#  if defined(EXPRCALC_BUILDING)
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

#ifdef __cplusplus
extern "C" {
#endif

/* Result codes of ParseString. On every code but EXPRCALC_OK the value is 0.0. */
#define EXPRCALC_OK 0                    /* evaluated (also: empty text, no token) */
#define EXPRCALC_DIVISION_BY_ZERO 1      /* "/" by less than 5e-14, "%" by less than 1 */
#define EXPRCALC_DOMAIN_ERROR 2          /* LOG/LOG10 of ~0, ACOS/ASIN beyond 1, 0^negative */
#define EXPRCALC_NEGATIVE_LOGARITHM 3    /* LOG/LOG10 of a negative number */
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

#ifdef __cplusplus
}
#endif

#endif /* EXPRCALC_H */
