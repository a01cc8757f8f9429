// The gameclient command: what a person or the system starts. Loading the
// client program's libraries (the browser engine's, GTK's and the rest)
// takes tens of milliseconds, and no code of a program runs before its
// libraries are loaded: a SIGTERM or SIGINT in that time would end the
// client with the signal's default action. So the command is a program of
// its own without any library, which holds SIGTERM and SIGINT back (blocks
// them) with its first instructions and then becomes the client program,
// libexec/gameclient beside it, in the same process with the same
// arguments and environment. The signals stay held across the exec until
// the client catches them; one that came meanwhile takes the terminate
// path then. When the client program cannot be started, it says so and
// ends with status 127.
//
// Built without the C library (and without the sanitizers): its entry
// point is _start below.

#include <asm/unistd.h>
#include <stddef.h>

#define SIGNAL_INT 2
#define SIGNAL_TERM 15
#define SIGNAL_BLOCK 0
#define AT_CURRENT_FOLDER (-100)

// A system call with up to four arguments; the result, or -errno.
static long systemCall(long number, long a, long b, long c, long d) {
  long result;
#if defined(__x86_64__)
  register long r10 __asm__("r10") = d;
  __asm__ volatile("syscall"
                   : "=a"(result)
                   : "a"(number), "D"(a), "S"(b), "d"(c), "r"(r10)
                   : "rcx", "r11", "memory");
#elif defined(__aarch64__)
  register long x8 __asm__("x8") = number;
  register long x0 __asm__("x0") = a;
  register long x1 __asm__("x1") = b;
  register long x2 __asm__("x2") = c;
  register long x3 __asm__("x3") = d;
  __asm__ volatile("svc #0" : "+r"(x0) : "r"(x8), "r"(x1), "r"(x2), "r"(x3) : "memory");
  result = x0;
#else
#error "the gameclient command is built for x86-64 and AArch64"
#endif
  return result;
}

static size_t length(const char* text) {
  size_t n = 0;
  while (text[n]) ++n;
  return n;
}

static void say(const char* text) { systemCall(__NR_write, 2, (long)text, (long)length(text), 0); }

// Appends `text` at `*end`, as far as `limit`; false when it does not fit.
static int append(char** end, const char* limit, const char* text) {
  for (; *text; ++text) {
    if (*end >= limit) return 0;
    *(*end)++ = *text;
  }
  return 1;
}

__attribute__((noreturn)) static void endWith(int status) {
  for (;;) systemCall(__NR_exit_group, status, 0, 0, 0);
}

// The client program is libexec/gameclient in this program's folder.
__attribute__((noreturn, used)) void gameclientStart(long* stack);
void gameclientStart(long* stack) {
  const unsigned long held = (1UL << (SIGNAL_TERM - 1)) | (1UL << (SIGNAL_INT - 1));
  systemCall(__NR_rt_sigprocmask, SIGNAL_BLOCK, (long)&held, 0, sizeof held);

  const long argc = stack[0];
  char** argv = (char**)(stack + 1);
  char** environment = argv + argc + 1;

  char path[4096];
  const long n = systemCall(__NR_readlinkat, AT_CURRENT_FOLDER, (long)"/proc/self/exe", (long)path,
                            sizeof path - 1);
  char* end = path + (n > 0 ? n : 0);
  while (end > path && end[-1] != '/') --end;
  if (end == path) {
    say("gameclient: cannot find its own folder (/proc/self/exe)\n");
    endWith(127);
  }
  if (!append(&end, path + sizeof path - 1, "libexec/gameclient")) {
    say("gameclient: its folder's name is too long\n");
    endWith(127);
  }
  *end = 0;
  const long failure = -systemCall(__NR_execve, (long)path, (long)argv, (long)environment, 0);

  say("gameclient: cannot start the client program ");
  say(path);
  say(failure == 2    ? ": no such file\n"
      : failure == 13 ? ": permission denied\n"
      : failure == 8  ? ": not a program of this system\n"
                      : ": the system refused it\n");
  endWith(127);
}

// The entry point: the stack holds argc, the arguments and the environment.
#if defined(__x86_64__)
__asm__(".text\n"
        ".globl _start\n"
        "_start:\n"
        "  xor %ebp, %ebp\n"
        "  mov %rsp, %rdi\n"
        "  and $-16, %rsp\n"
        "  call gameclientStart\n"
        "  hlt\n");
#elif defined(__aarch64__)
__asm__(".text\n"
        ".globl _start\n"
        "_start:\n"
        "  mov x29, #0\n"
        "  mov x30, #0\n"
        "  mov x0, sp\n"
        "  bl gameclientStart\n");
#endif
