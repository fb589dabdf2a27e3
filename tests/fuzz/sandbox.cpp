// sandbox.cpp: what the fuzz targets put between the engine and the
// system.  scripts/fuzz.sh renames the engine objects' calls to the names
// in sandbox.syms (open becomes zkfz_open, and so on), so these functions
// stand in for them in the engine alone; libFuzzer and the sanitizers keep
// the real ones.
//
// Random statements must not write, delete or run anything, so every call
// that reaches files, processes, libraries or sockets fails as the system
// would refuse it (EACCES), and the engine's own error path is what gets
// tested.  Output to standard output is swallowed; standard error passes.
//
// Mappings: the engine maps its regions and large objects itself, so the
// sanitizers' memory limits do not see them.  Past BUDGET bytes mapped at
// once a mapping fails; the engine then ends the process with "OOM", and
// zkfz__exit ends it quietly with status 0 (an input that asks for that
// much memory is not a fault).  Any other process-ending condition of the
// engine aborts, so libFuzzer keeps the input.
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <sys/mman.h>
#include <unistd.h>

namespace {
constexpr size_t BUDGET = 3ull << 30;
size_t mapped;
bool refused;

int deny() {
  errno = EACCES;
  return -1;
}
}  // namespace

extern "C" {

void *zkfz_mmap(void *a, size_t n, int prot, int flags, int fd, off_t off) {
  if (mapped + n > BUDGET) {
    refused = true;
    errno = ENOMEM;
    return MAP_FAILED;
  }
  void *p = mmap(a, n, prot, flags, fd, off);
  if (p != MAP_FAILED) mapped += n;
  return p;
}
int zkfz_munmap(void *a, size_t n) {
  int r = munmap(a, n);
  if (!r) mapped -= n < mapped ? n : mapped;
  return r;
}

[[noreturn]] void zkfz__exit(int status) {
  if (refused) {
    fprintf(stderr, "eval_fuzz: the input reached the memory budget\n");
    _exit(0);
  }
  fprintf(stderr, "eval_fuzz: the engine ended the process (status %d)\n", status);
  abort();
}
// The language's exit: the input asked the process to end, which is no
// fault, but the run ends with it.
[[noreturn]] void zkfz_exit(int) {
  fprintf(stderr, "eval_fuzz: the input ended the process through exit\n");
  _exit(0);
}

// Standard output swallowed, standard error passed; no other descriptor
// can have come from the engine.
ssize_t zkfz_write(int fd, const void *p, size_t n) {
  if (fd == 1) return (ssize_t)n;
  if (fd == 2) return write(fd, p, n);
  errno = EBADF;
  return -1;
}
size_t zkfz_fwrite(const void *p, size_t s, size_t n, FILE *f) {
  if (f == stdout) return n;
  return fwrite(p, s, n, f);
}
int zkfz_close(int) { return errno = EBADF, -1; }
// Standard input is at its end: a statement must never wait on a reader.
ssize_t zkfz_read(int fd, void *, size_t) {
  if (fd == 0) return 0;
  errno = EBADF;
  return -1;
}
int zkfz_dup(int) { return deny(); }
int zkfz_dup2(int, int) { return deny(); }

int zkfz_open(const char *, int, ...) { return deny(); }
int zkfz_open64(const char *, int, ...) { return deny(); }
int zkfz_openat(int, const char *, int, ...) { return deny(); }
int zkfz_creat(const char *, mode_t) { return deny(); }
FILE *zkfz_fopen(const char *, const char *) { return errno = EACCES, nullptr; }
FILE *zkfz_fopen64(const char *, const char *) { return errno = EACCES, nullptr; }
FILE *zkfz_popen(const char *, const char *) { return errno = EACCES, nullptr; }
void *zkfz_dlopen(const char *, int) { return nullptr; }
char *zkfz_dlerror() { return (char *)"the fuzz sandbox loads no library"; }
int zkfz_system(const char *) { return deny(); }
pid_t zkfz_fork() { return deny(); }
pid_t zkfz_vfork() { return deny(); }
int zkfz_execve(const char *, char *const[], char *const[]) { return deny(); }
int zkfz_execv(const char *, char *const[]) { return deny(); }
int zkfz_execvp(const char *, char *const[]) { return deny(); }
int zkfz_execl(const char *, const char *, ...) { return deny(); }
int zkfz_execlp(const char *, const char *, ...) { return deny(); }
int zkfz_posix_spawn(pid_t *, const char *, const void *, const void *, char *const[],
                     char *const[]) {
  return EACCES;
}
int zkfz_posix_spawnp(pid_t *, const char *, const void *, const void *, char *const[],
                      char *const[]) {
  return EACCES;
}
int zkfz_kill(pid_t, int) { return deny(); }
int zkfz_unlink(const char *) { return deny(); }
int zkfz_remove(const char *) { return deny(); }
int zkfz_rename(const char *, const char *) { return deny(); }
int zkfz_mkdir(const char *, mode_t) { return deny(); }
int zkfz_rmdir(const char *) { return deny(); }
int zkfz_chdir(const char *) { return deny(); }
int zkfz_truncate(const char *, off_t) { return deny(); }
int zkfz_ftruncate(int, off_t) { return deny(); }
int zkfz_socket(int, int, int) { return deny(); }
// Signals and timers belong to libFuzzer (its -timeout is SIGALRM); the
// terminal is not the engine's either.
int zkfz_sigaction(int, const void *, void *) { return deny(); }
void *zkfz_signal(int, void *) { return errno = EACCES, (void *)-1; }  // SIG_ERR
int zkfz_setitimer(int, const void *, void *) { return deny(); }
unsigned zkfz_alarm(unsigned) { return 0; }
int zkfz_atexit(void (*)()) { return 0; }
int zkfz_ioctl(int, unsigned long, ...) { return deny(); }
int zkfz_tcsetattr(int, int, const void *) { return deny(); }
int zkfz_connect(int, const void *, unsigned) { return deny(); }
int zkfz_bind(int, const void *, unsigned) { return deny(); }
}
