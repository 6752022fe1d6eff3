// A host that forbids or limits generated code, run as a host runs the
// library (the shared library, the public header only). One program, one
// environment per run, named by its argument:
//   plain      nothing forbidden: prepared expressions become machine code
//   mdwe       PR_SET_MDWE refuses executable memory (skipped, exit 77, where
//              the kernel lacks it)
//   seccomp    a seccomp filter refuses writable-and-executable mappings and
//              new executable protections
//   no-memfd   a seccomp filter refuses memfd_create
//   raw-fork   a fork by the raw system call, after machine code was made:
//              parent and child each compile and evaluate texts of their own
//   budget     the environment sets EXPRCALC_CODE_REGIONS=1: past one region
//              programs run as steps, and releasing gives the region back
// Every run checks each value's bits and code against ParseString, the form
// exprcalc_code_form reports, and /proc/self/maps: no page writable and
// executable, no writable view of code memory outside a compile, and none
// of code memory at all where code is denied. Exit 0: all held.
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/shm.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "exprcalc.h"

#ifndef PR_SET_MDWE
#define PR_SET_MDWE 65
#endif
#ifndef PR_MDWE_REFUSE_EXEC_GAIN
#define PR_MDWE_REFUSE_EXEC_GAIN 1
#endif

namespace {

constexpr int Skipped = 77;
int failures = 0;

void Fail(const std::string& what) {
  std::fprintf(stderr, "[%ld] %s\n", static_cast<long>(syscall(SYS_getpid)), what.c_str());
  ++failures;
}

// Texts over @A and @B that reach every kind of operation and outcome.
std::string Text(int i) {
  static const char* const shapes[] = {
      "(@A+%d)*(@B-%d)/3",  "SIN(@A*%d)+COS(@B/%d)", "@A^%d-@B%%%d",    "LOG(@A+%d)*SQRT(@B*%d)",
      "-(@A-%d)/(@B-@B*%d)", "ACOS(@A/%d)+@B*%d",     "EXP(@A-%d)*ABS(@B-%d)", "(@A*%d+1)*(@A*%d+1)-@B",
  };
  char text[96];
  std::snprintf(text, sizeof text, shapes[i % 8], i % 97, i % 5);
  return text;
}

// One evaluation of a prepared text against ParseString, bit for bit.
bool Exact(exprcalc_expr* expr, const std::string& text) {
  double prepared = 1.0;
  double parsed = 2.0;
  const int code = exprcalc_evaluate(expr, &prepared);
  const int expected = ParseString(text.c_str(), &parsed);
  if (code == expected && std::memcmp(&prepared, &parsed, sizeof prepared) == 0) return true;
  Fail("not exact: " + text);
  return false;
}

// Prepares text and evaluates it runs times, each exact.
exprcalc_expr* PrepareAndRun(const std::string& text, int runs) {
  exprcalc_expr* expr = nullptr;
  if (exprcalc_prepare(text.c_str(), &expr) != EXPRCALC_OK) {
    Fail("prepare failed: " + text);
    return nullptr;
  }
  for (int run = 0; run < runs && Exact(expr, text); ++run) {
  }
  return expr;
}

// Enough runs for any prepared expression that may compile to have compiled
// (the header: the 1,024th evaluation compiles).
constexpr int RunsToCompile = 1100;

struct Maps {
  std::size_t code = 0;  // mappings of code memory
  bool writableCode = false;
  bool writableAndExecutable = false;
};

Maps ReadMaps() {
  Maps maps;
  std::ifstream file("/proc/self/maps");
  for (std::string line; std::getline(file, line);) {
    const std::size_t space = line.find(' ');
    const std::string perms = line.substr(space + 1, 4);
    const bool code = line.find("exprcalc-code") != std::string::npos;
    maps.code += code ? 1 : 0;
    if (code && perms[1] == 'w') maps.writableCode = true;
    if (perms[1] == 'w' && perms[2] == 'x') maps.writableAndExecutable = true;
  }
  return maps;
}

void CheckMaps(bool codeAllowed) {
  const Maps maps = ReadMaps();
  if (maps.writableAndExecutable) Fail("a page is writable and executable");
  if (maps.writableCode) Fail("a writable view of code memory outlived its compile");
  if (!codeAllowed && maps.code != 0) Fail("code memory mapped where the host forbids it");
}

void CheckForm(exprcalc_expr* expr, int form, int why, const char* what) {
  int reason = -1;
  const int actual = exprcalc_code_form(expr, &reason);
  if (actual != form || reason != why) {
    Fail(std::string(what) + ": form " + std::to_string(actual) + " why " + std::to_string(reason) + ", not " +
         std::to_string(form) + " why " + std::to_string(why));
  }
}

// Each text prepared, evaluated until it would have compiled, reported in
// form/why, then released; maps checked with the handles live.
void RunCorpus(int count, int form, int why) {
  std::vector<exprcalc_expr*> live;
  for (int i = 0; i < count; ++i) {
    exprcalc_expr* expr = PrepareAndRun(Text(i), RunsToCompile);
    if (expr == nullptr) continue;
    CheckForm(expr, form, why, Text(i).c_str());
    live.push_back(expr);
  }
  CheckMaps(form == EXPRCALC_FORM_MACHINE_CODE);
  for (exprcalc_expr* expr : live) exprcalc_release(expr);
}

// The seccomp filter: rule adds the instructions between the architecture
// check and the final allow; each denial returns EPERM.
using Program = std::vector<sock_filter>;
constexpr sock_filter Deny = BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EPERM);
constexpr sock_filter Allow = BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW);
constexpr std::uint32_t ThirdArgument = offsetof(seccomp_data, args) + 2 * sizeof(std::uint64_t);

// Denies system call nr when its third argument (the protection or flags)
// has every bit of all (all != 0) or any bit of any.
void DenyWhen(Program& program, long nr, std::uint32_t all, std::uint32_t any) {
  program.push_back(BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)));
  program.push_back(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, static_cast<std::uint32_t>(nr), 0, 4));
  program.push_back(BPF_STMT(BPF_LD | BPF_W | BPF_ABS, ThirdArgument));
  if (all != 0) {
    program.push_back(BPF_STMT(BPF_ALU | BPF_AND | BPF_K, all));
    program.push_back(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, all, 0, 1));
  } else {
    program.push_back(BPF_STMT(BPF_ALU | BPF_AND | BPF_K, any));
    program.push_back(BPF_JUMP(BPF_JMP | BPF_JGT | BPF_K, 0, 0, 1));
  }
  program.push_back(Deny);
}

bool InstallFilter(const Program& rules) {
  Program program{
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, AUDIT_ARCH_X86_64, 1, 0),
      Allow,
  };
  program.insert(program.end(), rules.begin(), rules.end());
  program.push_back(Allow);
  sock_fprog fprog{static_cast<unsigned short>(program.size()), program.data()};
  if (prctl(PR_SET_NO_NEW_PRIVS, 1L, 0L, 0L, 0L) != 0 ||
      syscall(SYS_seccomp, SECCOMP_SET_MODE_FILTER, 0, &fprog) != 0) {
    std::perror("seccomp");
    return false;
  }
  return true;
}

// The rules of a filter that forbids memory to become executable after it
// was writable: no mapping both, no new executable protection, no
// executable shared memory segment.
Program DenyWriteExecute() {
  Program rules;
  DenyWhen(rules, SYS_mmap, PROT_WRITE | PROT_EXEC, 0);
  DenyWhen(rules, SYS_mprotect, 0, PROT_EXEC);
  DenyWhen(rules, SYS_pkey_mprotect, 0, PROT_EXEC);
  DenyWhen(rules, SYS_shmat, 0, SHM_EXEC);
  return rules;
}

Program DenyMemoryFiles() {
  Program rules;
  rules.push_back(BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)));
  rules.push_back(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_memfd_create, 0, 1));
  rules.push_back(Deny);
  return rules;
}

// Denied code: every program runs as steps, exactly, and the process says why.
void DeniedRun(int why) {
  CheckForm(nullptr, EXPRCALC_FORM_STEPS, why, "the process");
  RunCorpus(200, EXPRCALC_FORM_STEPS, why);
}

int MachineCodeHere() { return exprcalc_code_form(nullptr, nullptr) == EXPRCALC_FORM_MACHINE_CODE; }

// After a raw fork both sides compile into memory of their own: the child
// never writes the parent's code, and the parent's programs stay exact.
void RawFork() {
  const std::string beforeText = Text(3);
  exprcalc_expr* before = PrepareAndRun(beforeText, RunsToCompile);
  CheckForm(before, EXPRCALC_FORM_MACHINE_CODE, EXPRCALC_CODE_RUNS, "before the fork");
  const long child = syscall(SYS_fork);
  if (child < 0) {
    Fail("fork failed");
    return;
  }
  const int offset = child == 0 ? 1000 : 2000;
  std::vector<exprcalc_expr*> own;
  for (int i = 0; i < 200; ++i) {
    own.push_back(PrepareAndRun(Text(offset + i), RunsToCompile));
    Exact(before, beforeText);
  }
  for (int i = 0; i < 200; ++i) Exact(own[static_cast<std::size_t>(i)], Text(offset + i));
  CheckForm(own.back(), EXPRCALC_FORM_MACHINE_CODE, EXPRCALC_CODE_RUNS, "after the fork");
  CheckMaps(true);
  for (exprcalc_expr* expr : own) exprcalc_release(expr);
  Exact(before, beforeText);
  if (child == 0) _exit(failures == 0 ? 0 : 1);
  int status = -1;
  if (waitpid(static_cast<pid_t>(child), &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    Fail("the child failed");
  }
  exprcalc_release(before);
}

// One region at most: programs past it run as steps, and once every
// program is released the region comes back to new ones.
void Budget() {
  std::vector<exprcalc_expr*> live;
  int why = EXPRCALC_CODE_RUNS;
  for (int i = 0; i < 20000 && why != EXPRCALC_CODE_BUDGET; ++i) {
    exprcalc_expr* expr = PrepareAndRun(Text(i), RunsToCompile);
    if (expr == nullptr) break;
    live.push_back(expr);
    exprcalc_code_form(expr, &why);
  }
  if (why != EXPRCALC_CODE_BUDGET) Fail("the budget was never reached");
  CheckForm(live.back(), EXPRCALC_FORM_STEPS, EXPRCALC_CODE_BUDGET, "past the budget");
  CheckMaps(true);
  if (ReadMaps().code != 1) Fail("more than the budget's one region: " + std::to_string(ReadMaps().code));
  for (std::size_t i = 0; i < live.size(); ++i) {
    Exact(live[i], Text(static_cast<int>(i)));
    exprcalc_release(live[i]);
  }
  exprcalc_expr* after = PrepareAndRun(Text(7), RunsToCompile);
  CheckForm(after, EXPRCALC_FORM_MACHINE_CODE, EXPRCALC_CODE_RUNS, "after releasing");
  exprcalc_release(after);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s plain|mdwe|seccomp|no-memfd|raw-fork|budget\n", argv[0]);
    return 2;
  }
  const std::string mode = argv[1];
  EnterVarDouble("@A", 0.75);
  EnterVarDouble("@B", -2.5);
  if (!MachineCodeHere() && mode != "mdwe" && mode != "seccomp" && mode != "no-memfd") {
    std::printf("%s: no machine code in this process before any denial; skipped\n", mode.c_str());
    return Skipped;
  }
  if (mode == "plain") {
    RunCorpus(200, EXPRCALC_FORM_MACHINE_CODE, EXPRCALC_CODE_RUNS);
  } else if (mode == "mdwe") {
    if (prctl(PR_SET_MDWE, PR_MDWE_REFUSE_EXEC_GAIN, 0L, 0L, 0L) != 0) {
      std::printf("mdwe: this kernel has no PR_SET_MDWE (%s); skipped\n", std::strerror(errno));
      return Skipped;
    }
    DeniedRun(EXPRCALC_CODE_MDWE);
  } else if (mode == "seccomp") {
    if (!InstallFilter(DenyWriteExecute())) return 1;
    DeniedRun(EXPRCALC_CODE_EXEC_DENIED);
  } else if (mode == "no-memfd") {
    if (!InstallFilter(DenyMemoryFiles())) return 1;
    DeniedRun(EXPRCALC_CODE_MEMFD_DENIED);
  } else if (mode == "raw-fork") {
    RawFork();
  } else if (mode == "budget") {
    Budget();
  } else {
    std::fprintf(stderr, "unknown mode %s\n", mode.c_str());
    return 2;
  }
  FreeVariable();
  std::printf("%s: %s\n", mode.c_str(), failures == 0 ? "all held" : "FAILED");
  return failures == 0 ? 0 : 1;
}
