// filev.cpp: the file, socket and process verbs: 0: and 1: read (u0c, u1c)
// and write (v0c, v1c) files, descriptors and TCP sockets, 2: loads a
// native function (v2c), the builtin x runs a program (frk).
//
// Names: o = resolve a file argument to a descriptor, osf = open a path or
// connect a socket address, fr = the common reader, frS = the stream
// reader, fws = the one writer of descriptors (standard output, pipes,
// sockets), fwm = the regular-file writer, dle = a dynamic-load failure,
// str0 = NUL after a string's bytes.  Every verb consumes what the
// calling convention gives it and answers a new reference, or 0 with the
// error raised; descriptors opened here are always closed again.
#include <arpa/inet.h>
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "capi/capi.h"
#include "core/err.h"
#include "core/platform.h"
#include "core/sym.h"
#include "io/io.h"
#include "list/list.h"
#include "shell/ring.h"

namespace zk {

inline constexpr UJ GIB = 1ull << 30;
inline constexpr UJ CMAX = 0xFFFFFFFFull;  // most bytes a char vector holds

// ---- writing ----

// A write that cannot raise the broken-pipe signal: the signal is blocked
// on this thread around it and, when the write raised it, consumed, so a
// pipe or socket whose reader has gone fails with EPIPE and the host's
// disposition and mask stay as they were.
static ssize_t wnp(int fd, const void *s, size_t n) {
  sigset_t ps, old, pend;
  sigemptyset(&ps);
  sigaddset(&ps, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &ps, &old);
  sigpending(&pend);
  bool had = sigismember(&pend, SIGPIPE);
  ssize_t r = write(fd, s, n);
  int e = errno;
  if (r < 0 && e == EPIPE && !had) {
    timespec z{0, 0};
    while (sigtimedwait(&ps, nullptr, &z) < 0 && errno == EINTR) {
    }
  }
  pthread_sigmask(SIG_SETMASK, &old, nullptr);
  errno = e;
  return r;
}

bool fws(int fd, const char *s, UJ n) {
  if (!n) return true;
  if (fd == 1 && g_sb_capture) rfeed(s, n);
  while (n) {
    ssize_t r = wnp(fd, s, n < GIB ? n : GIB);
    if (r < 0 && errno == EINTR) continue;  // a handler without SA_RESTART
    if (r < 0) return eo0(), false;
    if (!r) break;
    s += r, n -= (UJ)r;
  }
  return true;
}

// The file's content becomes exactly the n bytes.
static bool fwm(int fd, const char *s, UJ n) {
  UJ o = 0;
  while (o < n) {
    UJ k = n - o < GIB ? n - o : GIB;
    ssize_t r = pwrite(fd, s + o, k, (off_t)o);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) {
      if (ftruncate(fd, 0)) {
      }
      return eo0(), false;
    }
    o += (UJ)r;
  }
  if (ftruncate(fd, (off_t)o)) return eo0(), false;
  return true;
}

// ---- resolving a file argument ----

static bool fdof(V x, int *fd) {
  int t = tp(x);
  if (t == tINTA) return *fd = ip(x), true;
  if (t == tLONGA) return *fd = (int)PL(x)[0], true;
  return false;
}

// The text of a symbol atom or char vector, NUL-terminated in b (a
// heap copy when long; *own set); 0 with 'domain for a NUL inside, 1 for
// text, -1 when x is neither.
int ptxt(V x, char *b, U cap, char **out, bool *own) {
  const char *s;
  UJ n;
  *own = false;
  if (tp(x) == tSYMA) s = su(ip(x)), n = strlen(s);
  else if (tp(x) == tCHR) {
    s = PC(x), n = nx(x);
    if (memchr(s, 0, n)) return ed0(), 0;
  } else
    return -1;
  char *d = b;
  if (n >= cap) {
    d = (char *)malloc(n + 1);
    if (!d) return ez0(), 0;
    *own = true;
  }
  memcpy(d, s, n);
  d[n] = 0;
  *out = d;
  return 1;
}

// Connects a TCP socket to a.b.c.d:port; -1 with the error raised.
static int sock(const char *p) {
  U q[4] = {}, k = 0;
  const char *s = p;
  for (; *s != ':'; s++) {
    if (*s == '.') {
      if (++k > 3) return ed0(), -1;
    } else if (*s >= '0' && *s <= '9')
      q[k] = (q[k] * 10 + (U)(*s - '0')) & 255;
    else
      return ed0(), -1;
  }
  if (k != 3) return ed0(), -1;  // a name, or an empty address
  U port = 0;
  for (s++; *s; s++) {
    if (*s < '0' || *s > '9') return ed0(), -1;
    port = (port * 10 + (U)(*s - '0')) & 65535;
  }
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return eo0(), -1;
  int one = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons((uint16_t)port);
  a.sin_addr.s_addr = htonl(q[0] << 24 | q[1] << 16 | q[2] << 8 | q[3]);
  int r;
  while ((r = connect(fd, (sockaddr *)&a, sizeof a)) < 0 && errno == EINTR) {
  }
  if (r < 0) return close(fd), eo0(), -1;
  return fd;
}

// A plain path opened with the flags: a descriptor 0 to 2 (the standard
// ones were closed) counts as a failure, so the caller never closes them.
static int opn(const char *p, int flags) {
  int fd;
  while ((fd = open(p, flags | O_CLOEXEC, 0666)) < 0 && errno == EINTR) {
  }
  if (fd < 0) return eo0(), -1;
  if (fd <= 2) return close(fd), eo0(), -1;
  return fd;
}

int osf(const char *p, int flags) { return strchr(p, ':') ? sock(p) : opn(p, flags); }

// Resolves x (borrowed) to a descriptor; *opened says it must be closed.
// A symbol starting with a colon names a plain path when `colon`.  -1
// with the error raised.
static int res(V x, int flags, bool colon, bool *opened) {
  int fd;
  *opened = false;
  if (fdof(x, &fd)) return fd;
  if (tp(x) == tSYMA && !ip(x)) return 1;
  char b[256], *p;
  bool own;
  int k = ptxt(x, b, sizeof b, &p, &own);
  if (k < 0) return et0(), -1;
  if (!k) return -1;
  fd = colon && tp(x) == tSYMA && p[0] == ':' ? opn(p + 1, flags) : osf(p, flags);
  if (own) free(p);
  *opened = fd >= 0;
  return fd;
}

int o(V x, int flags) {
  bool op;
  return res(x, flags, false, &op);
}

// ---- reading ----

V frS(int fd, UJ lim, bool end) {
  U cap = 1024, n = 0;
  V r = an(cap, tCHR);
  while (n < lim) {
    if (n + 1024ull > cap) {
      if (cap == CMAX) {
        mr(r);
        return ez0();
      }
      UJ c = (UJ)cap * 2 > CMAX ? CMAX : (UJ)cap * 2;
      r = aa((U)c, r);
      cap = (U)c;
    }
    UJ k = lim - n < 1024 ? lim - n : 1024;
    if (k > cap - n) k = cap - n;
    ssize_t g = read(fd, P(r) + n, k);
    if (g < 0 && errno == EINTR) continue;
    if (g < 0) {
      mr(r);
      return eo0();
    }
    n += (U)g;
    if (!g || (!end && (UJ)g < 1024)) break;
  }
  hd(r)->count = n;
  return r;
}

// Positional reads of n bytes from offset o into a new char vector.
V frP(int fd, J o, UJ n) {
  V r = an((U)n, tCHR);
  UJ d = 0;
  while (d < n) {
    UJ k = n - d < GIB ? n - d : GIB;
    ssize_t g = pread(fd, P(r) + d, k, (off_t)(o + (J)d));
    if (g < 0 && errno == EINTR) continue;
    if (g <= 0) {
      mr(r);
      return eo0();
    }
    d += (UJ)g;
  }
  return r;
}

// n bytes from offset o mapped copy-on-write (mfile); positional reads
// when the file or the offset does not map.
static V frM(int fd, J o, UJ n, const struct stat &st) {
  bool fb;
  if (V d = mfile(fd, o, (U)n, (UJ)st.st_dev, (UJ)st.st_ino, &fb)) return d;
  if (fb) return frP(fd, o, n);
  return nreg == NREG ? err0("MMAP") : eo0();
}

static V frD(int fd) {
  int f2 = dup(fd);
  DIR *dr = f2 < 0 ? nullptr : fdopendir(f2);
  if (!dr) {
    if (f2 >= 0) close(f2);
    return ei0();
  }
  V r = an(0, tCHR);
  while (dirent *e = readdir(dr)) {
    U n = (U)strlen(e->d_name), c = nx(r);
    r = aa(c + n + 1, r);
    memcpy(P(r) + c, e->d_name, n);
    P(r)[c + n] = '\n';
  }
  closedir(dr);
  return r;
}

// The stream form: skip o bytes (seeking, else reading), then read.
static V frs(int fd, J o, UJ n, bool end) {
  if (o && lseek(fd, (off_t)o, SEEK_CUR) < 0) {
    V s = frS(fd, (UJ)o, true);
    if (!s) return 0;
    mr(s);
  }
  return frS(fd, n, end);
}

static V frF(int fd, J o, UJ n) {
  struct stat st;
  if (fstat(fd, &st)) return frs(fd, o, n, false);
  if (S_ISDIR(st.st_mode)) return o || n != ~0ull ? en0() : frD(fd);
  if (S_ISREG(st.st_mode) && st.st_size) {
    if (o < 0) return eo0();
    if (lseek(fd, 0, SEEK_END) < 0) return frs(fd, o, n, true);
    UJ av = (J)st.st_size > o ? (UJ)(st.st_size - o) : 0;
    if (n > av) n = av;
    if (n > CMAX) return ez0();
    if (!n) return _r(ce[tCHR]);
    return n < 65536 ? frP(fd, o, n) : frM(fd, o, n, st);
  }
  if (S_ISREG(st.st_mode)) {
    if (o < 0) return lseek(fd, 0, SEEK_END), eo0();
    return frs(fd, o, n, true);
  }
  return frs(fd, o, n, S_ISFIFO(st.st_mode));
}

V fr(V x, J o, UJ n) {
  int fd;
  if (fdof(x, &fd)) return frs(fd, o, n, false);
  bool op;
  fd = res(x, O_RDONLY, true, &op);
  if (fd < 0) return 0;
  if (!op) return frs(fd, o, n, false);
  V r = frF(fd, o, n);
  close(fd);
  return r;
}

static J aJ(V a) { return tp(a) == tINTA ? ip(a) : PL(a)[0]; }

// The argument of both monadic forms: a file argument, or (file; offset
// length).
static V rd(V x) {
  J o = 0;
  UJ n = ~0ull;
  V f = x;
  if (tp(x) == tLIST) {
    if (nx(x) != 2) return el(x);
    V l = PA(x)[1];
    int t = tp(l);
    if (t < tRANGE || t > tLONG || t == tBOOL) return et(x);
    if (_n(l) != 2) return el(x);
    V a = ii(l, 0), b = ii(l, 1);
    o = aJ(a), n = (UJ)aJ(b);
    mr(a), mr(b);
    f = PA(x)[0];
  }
  V r = fr(f, o, n);
  mr(x);
  return r;
}

V u1c(V x) { return rd(x); }

V u0c(V x) {
  V s = rd(x);
  return s ? sc('\n', s) : 0;
}

// ---- writing verbs ----

V v1c(V x, V y) {
  if (tp(y) != tCHR) return et(y);
  bool op;
  int fd = res(x, O_RDWR | O_CREAT, true, &op);
  if (fd < 0) return mr(y), (V)0;
  struct stat st;
  bool rf = fd > 2 && !fstat(fd, &st) && S_ISREG(st.st_mode);
  if (rf) mdetach((UJ)st.st_dev, (UJ)st.st_ino);  // y may be one of them
  bool ok = rf ? fwm(fd, PC(y), nx(y)) : fws(fd, PC(y), nx(y));
  if (op) close(fd);
  mr(y);
  return ok ? GNULL : 0;
}

V v0c(V x, V y) {
  int t = tp(y);
  if (t == tLIST) {
    if (!(y = jc('\n', y))) return 0;
  } else if (t != tCHR)
    return et(y);
  U n = nx(y);
  y = aa(n + 1, y);
  P(y)[n] = '\n';
  return v1c(x, y);
}

// ---- loading a native function ----

static V dle() {
  const char *m = dlerror();
  if (!m) m = "";
  fws(1, m, strlen(m));
  fws(1, "\n", 1);
  return eo0();
}

V v2c(V x, V y) {
  if (tp(x) != tSYMA || tp(y) != tLIST) return et(y);
  if (nx(y) != 2) return el(y);
  V s = PA(y)[0], a = PA(y)[1];
  if (tp(s) != tSYMA || tp(a) != tINTA) return et(y);
  I k = ip(a);
  if (k < 1 || k > 8) return ed(y);
  char lib[4096], fn[4096];
  const char *l = su(ip(x));
  if (strlen(l) >= sizeof lib) return eo(y);
  strcpy(lib, l);
  const char *f = su(ip(s));
  if (strlen(f) >= sizeof fn) return eo(y);
  strcpy(fn, f);
  mr(y);
  void *h = dlopen(lib, RTLD_LAZY);
  if (!h) return dle();
  void *p = dlsym(h, fn);
  if (!p) return dle();
  return (V)tNATIVE << 56 | (V)k << 48 | ((V)(uintptr_t)p & 0xFFFFFFFFFFFFull);
}

// ---- running a program ----

V str0(V s) {
  U n = nx(s);
  s = aa(n + 1, s);
  P(s)[n] = 0;
  hd(s)->count = n;
  return s;
}

// Pumps the input into the child and its output back at once, so a child
// that fills its output before reading all its input never blocks both.
// Returns the output, or 0 with the error raised.
static V pump(int in, int out, const char *s, UJ n) {
  U cap = 192, got = 0;
  V r = an(cap, tCHR);
  fcntl(in, F_SETFL, fcntl(in, F_GETFL) | O_NONBLOCK);
  UJ w = 0;
  if (!n) close(in), in = -1;
  bool ok = true;
  // Input is written to the end even after the output has ended, so a
  // child that never read it fails as a failed write.
  while (out >= 0 || in >= 0) {
    pollfd p[2] = {{out, POLLIN, 0}, {in, POLLOUT, 0}};
    if (poll(p, 2, -1) < 0) {
      if (errno == EINTR) continue;
      ok = false, eo0();
      break;
    }
    if (in >= 0 && p[1].revents) {
      UJ k = n - w < GIB ? n - w : GIB;
      ssize_t g = wnp(in, s + w, k);
      if (g < 0 && errno != EINTR && errno != EAGAIN) {
        ok = false, eo0();
        break;
      }
      if (g > 0) w += (UJ)g;
      if (w == n) close(in), in = -1;
    }
    if (p[0].revents) {
      if (cap - got < cap / 2) {
        if (cap == CMAX) {
          ok = false, ez0();
          break;
        }
        UJ c = (UJ)cap * 2 + 64 > CMAX ? CMAX : (UJ)cap * 2 + 64;
        r = aa((U)c, r);
        cap = (U)c;
      }
      ssize_t g = read(out, P(r) + got, cap - got);
      if (g < 0 && errno == EINTR) continue;
      if (g < 0) {
        ok = false, eo0();
        break;
      }
      if (!g) out = -1;
      got += (U)g;
    }
  }
  if (in >= 0) close(in);
  if (!ok) return mr(r), (V)0;
  hd(r)->count = got;
  return r;
}

V frk(V x) {
  if (tp(x) != tLIST || nx(x) != 2) return et(x);
  V a = PA(x)[0], in = PA(x)[1];
  if (tp(a) != tLIST || !nx(a) || tp(in) != tCHR) return ed(x);
  U n = nx(a);
  for (U i = 0; i < n; i++)
    if (tp(PA(a)[i]) != tCHR || memchr(PC(PA(a)[i]), 0, nx(PA(a)[i]))) return ed(x);
  V *c = (V *)malloc(n * sizeof(V));
  char **av = (char **)malloc((n + 1) * sizeof(char *));
  if (!c || !av) return free(c), free(av), ez(x);
  for (U i = 0; i < n; i++) c[i] = str0(_r(PA(a)[i])), av[i] = PC(c[i]);
  av[n] = nullptr;
  int pi[2], po[2];
  V r = 0;
  if (pipe2(pi, O_CLOEXEC)) {
    eo0();
  } else if (pipe2(po, O_CLOEXEC)) {
    close(pi[0]), close(pi[1]), eo0();
  } else {
    static const char *none[] = {nullptr};
    char *const *ev = (char *const *)(zk_env ? zk_env : none);
    pid_t pid = fork();
    if (!pid) {  // only async-signal-safe calls from here
      if (dup2(pi[0], 0) < 0 || dup2(po[1], 1) < 0) _exit(255);
      execve(av[0], av, ev);
      _exit(255);  // no exit handler of the host, no stdio flush
    }
    close(pi[0]), close(po[1]);
    if (pid < 0) {
      close(pi[1]), close(po[0]), eo0();
    } else {
      r = pump(pi[1], po[0], PC(in), nx(in));
      close(po[0]);
      while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
      }
    }
  }
  mrn(n, c);
  free(c), free(av);
  mr(x);
  return r;
}

}  // namespace zk
