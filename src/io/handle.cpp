// handle.cpp: handles to other processes and to append-only logs, the
// message transport, the event loop that serves a port and a timer while
// a reader waits for input, and the message log replay.
//
// Names: qho/qhc = open/close a handle (builtins), qlog = create a log,
// hdel = delete a file, qcon = connect and shake hands, qsnd/qrcv = send/
// receive one message, qdrop = close a handle as broken, qsnde = error
// reply frame, qerrp = print an asynchronous error, qhap = apply a handle,
// qpoll = one step of the loop, qrpl = replay a log; sall/rall = all
// bytes to/from a socket, lapp = append to a log, qacc = accept one
// client, qsrv = serve one message; Rb = a connection's read-ahead
// buffer, rfill = read into it, qrbf = drop it.
//
// Invariants and traps:
// - Every socket byte goes out with MSG_NOSIGNAL: a peer that has gone
//   fails the write instead of raising the broken-pipe signal, and the
//   host's disposition of that signal is never touched.
// - A peer may be slow to start a message but not to finish one: inside a
//   handshake or a message, qbnd ms without a byte drop it as broken, so
//   one stalled client cannot hold the loop (and every other client and
//   the timer) for ever.  Waiting for a reply's first byte is not bounded.
// - A registered connection is read through its own buffer: one recv takes
//   whatever has arrived, which may run past the current message, and the
//   rest waits there for the next one.  So every read of a registered
//   connection goes through qrcv, a buffer is tied to the registration
//   count it was filled under, and the loop counts a connection with
//   buffered bytes as ready (a whole message is served at once, a part of
//   one waits under the same qbnd bound as bytes still in the kernel).
// - A handler run by the loop may close any handle and open another under
//   its number; the loop serves (and answers) a descriptor only while its
//   kind and registration count are those it polled.
// - In shared mode (parallel-each workers) one recursive lock is held over
//   handle application and the handle builtins, so two workers' messages
//   on one connection never interleave and their replies never cross.  It
//   is recursive because a handler run during a synchronous wait may apply
//   handles again.
// - The settings qls, qlp, qtp and qtn are written by the port and timer
//   commands and, until those exist, by tests; the loop only reads qls and
//   qtp and advances qtn.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>

#include "core/err.h"
#include "eval/eval.h"
#include "io/io.h"
#include "list/list.h"

namespace zk {

I qls = -1, qlp;
J qtp, qtn;
J qbnd = 10000;

namespace {

std::recursive_mutex g_hmx;

// The handle lock, taken only by threads in shared mode.
struct Hlk {
  bool on;
  Hlk() : on(shared_mode()) {
    if (on) g_hmx.lock();
  }
  ~Hlk() {
    if (on) g_hmx.unlock();
  }
};


V kpg, kps, kpo, kpc, kts, kw;  // the cached handler lambdas

// ---- socket bytes ----

inline constexpr UJ GIB = 1ull << 30;

bool sall(I fd, const void *s, UJ n) {
  const G *p = (const G *)s;
  while (n) {
    ssize_t r = send(fd, p, n < GIB ? n : GIB, MSG_NOSIGNAL);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return false;
    p += r, n -= (UJ)r;
  }
  return true;
}

// After a recv inside a unit that gave nothing (r <= 0): whether to try
// again, having waited up to qbnd ms for a byte when none was there.
bool rmore(I fd, ssize_t r) {
  if (!r) return false;
  if (errno == EINTR) return true;
  if (errno != EAGAIN && errno != EWOULDBLOCK) return false;
  pollfd p{fd, POLLIN, 0};
  int k = poll(&p, 1, qbnd > INT_MAX ? INT_MAX : (int)qbnd);
  return k > 0 || (k < 0 && errno == EINTR);
}

// n bytes into b.  Until the first byte (unless `in`, already inside a
// unit) the read blocks; after it, a silence of qbnd ms is a failure.
bool rall(I fd, G *b, UJ n, bool in) {
  while (n) {
    ssize_t r = recv(fd, b, n < GIB ? n : GIB, in ? MSG_DONTWAIT : 0);
    if (r > 0) {
      b += r, n -= (UJ)r, in = true;
      continue;
    }
    if (!rmore(fd, r)) return false;
  }
  return true;
}

// ---- read-ahead ----

// Bytes [i, n) of p are unread; cap is p's size.  gen is the registration
// count the bytes came under: any other count means they belong to a
// connection that has gone.
struct Rb {
  G *p;
  U cap, i, n, gen;
};
Rb rbs[4096];
inline constexpr U RBCAP = 1u << 16;  // messages larger than this bypass the buffer

// The buffer of a registered connection, allocated on first use; 0 for a
// descriptor that is not registered (nor 1..4095), read without one.
Rb *rbuf(I fd) {
  if ((U)fd >= 4096 || !qhk[fd]) return nullptr;
  Rb &b = rbs[fd];
  if (b.gen != qhg[fd]) b.i = b.n = 0, b.gen = qhg[fd];
  if (!b.p) {
    b.p = (G *)malloc(RBCAP);
    if (!b.p) return nullptr;
    b.cap = RBCAP;
  }
  return &b;
}

// At least want (<= cap) unread bytes in b, each recv taking as much as
// fits.  The wait for the first byte blocks unless a unit is already
// begun (`in`, or bytes of it buffered); after that qbnd ms of silence
// fail, as in rall.
bool rfill(I fd, Rb &b, U want) {
  if (b.n - b.i >= want) return true;
  if (b.cap - b.i < want) {
    memmove(b.p, b.p + b.i, b.n - b.i);
    b.n -= b.i, b.i = 0;
  }
  bool in = b.n > b.i;
  while (b.n - b.i < want) {
    ssize_t r = recv(fd, b.p + b.n, b.cap - b.n, in ? MSG_DONTWAIT : 0);
    if (r > 0) {
      b.n += (U)r, in = true;
      continue;
    }
    if (!rmore(fd, r)) return false;
  }
  return true;
}

// Whether registered connection fd has unread bytes in its buffer.
bool rbheld(I fd) {
  const Rb &b = rbs[fd];
  return b.gen == qhg[fd] && b.n > b.i;
}

void nodelay(I fd) {
  int one = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

// ---- handlers ----

// A handler of the modules applied to x; its result released.  False
// with the error pending when it failed.
bool hcall(V *slot, const char *text, V x, bool quiet) {
  I q = tl.zkdiagq;
  if (quiet) tl.zkdiagq = 1;
  V r = k1(slot, text, x);
  tl.zkdiagq = q;
  if (r) mr(r);
  return r != 0;
}

void setw(I h) {
  if (!hcall(&kw, "{z.w::x}", ai(h), false)) eclr();
}

// ---- message logs ----

// The items of x, each encoded as it follows a message header, in one
// buffer, then one write: a value that cannot be encoded logs nothing.
V lapp(I fd, V x) {
  int t = tp(x);
  if (t < tLIST || t >= tTABLE) return et(x);
  J n = _n(x);
  Qw w;
  qw0(w, 256);
  for (J i = 0; i < n && !w.st; i++) {
    V v = ii(x, i);
    qenc(w, v, 0);
    mr(v);
  }
  mr(x);
  V b = qwend(w);
  if (!b) return 0;
  bool ok = fws(fd, PC(b), w.n);
  mr(b);
  return ok ? GNULL : 0;
}

// A path argument of the builtins, NUL-terminated, one leading colon
// dropped; s is 0 with the error raised when x is not usable text.
struct Pth {
  char b[256], *p = nullptr;
  bool own = false;
  const char *s = nullptr;
  explicit Pth(V x) {
    int k = ptxt(x, b, sizeof b, &p, &own);
    if (k < 0) et0();
    if (k > 0) s = *p == ':' ? p + 1 : p;
  }
  ~Pth() {
    if (own) free(p);
  }
};

// ---- the loop's pieces ----

// One client from the listener: handshake, registration, "{z.po x}".
void qacc() {
  int c;
  while ((c = accept4(qls, nullptr, nullptr, SOCK_CLOEXEC)) < 0 && errno == EINTR) {
  }
  if (c < 0) return;
  if (c > 4095) {
    close(c);
    return;
  }
  G b;
  for (int k = 0;;) {
    if (!rall(c, &b, 1, true)) {
      close(c);
      return;
    }
    if (!b || ++k == 1024) break;
  }
  b = 3;
  if (!sall(c, &b, 1)) {
    close(c);
    return;
  }
  nodelay(c);
  hreg(c, 2);
  if (!hcall(&kpo, "{z.po x}", ai(c), false)) eclr();
}

// The text of the pending error as a reply: without its apostrophe, cut
// before the first line feed; dflt when that leaves nothing.
void qrep(I fd, const char *dflt) {
  const char *e = tl.err_text, *z = e + elen();
  if (e < z && *e == '\'') e++;
  const char *nl = (const char *)memchr(e, '\n', (size_t)(z - e));
  if (nl) z = nl;
  if (e == z) e = dflt, z = dflt + strlen(dflt);
  qsnde(fd, e, (UJ)(z - e));
  eclr();
}

// One message on connection fd, polled as kind k, registration g.
void qsrv(I fd, G k, U g) {
  int ty;
  V v = qrcv(fd, &ty);
  if (ty == 255) {
    eclr();
    qdrop(fd);
    return;
  }
  if (!v) {
    if (ty == 1) qrep(fd, "type");
    eclr();
    return;
  }
  setw(fd);
  if (ty == 1) {
    I q = tl.zkdiagq;
    tl.zkdiagq = 1;
    V r = k1(&kpg, "{z.pg x}", v);
    tl.zkdiagq = q;
    // The handler may have closed this handle and another taken its
    // number: the reply goes only to the connection that asked.
    bool same = qhk[fd] == k && qhg[fd] == g;
    if (!r) {
      if (same) qrep(fd, "error");
      eclr();
    } else {
      V m = qser(r, 2);
      mr(r);
      if (m) {
        if (same) sall(fd, P(m), nx(m));
        mr(m);
      } else {
        eclr();
        if (same) qsnde(fd, "type", 4);
      }
    }
  } else if (ty == 0) {
    if (!hcall(&kps, "{z.ps x}", v, true)) qerrp();
  } else
    mr(v);
  setw(0);
}

void qtick() {
  J now = qnow();
  if (now < qtn) return;
  qtn = now + qtp;
  V a = an(1, tTSTAMPA);
  PL(a)[0] = now * 1000000 - 946684800000000000LL;
  if (!hcall(&kts, "{z.ts x}", a, true)) qerrp();
}

// The poll set of one step, with the kind and registration count of each
// connection as polled.  The loop runs on the thread that reads input.
pollfd ps[4098];
G pkd[4098];
U pgn[4098];

}  // namespace

J qnow() {
  struct timeval tv;
  gettimeofday(&tv, nullptr);
  return (J)tv.tv_sec * 1000 + tv.tv_usec / 1000;
}

void qerrp() {
  struct timeval tv;
  gettimeofday(&tv, nullptr);
  struct tm t;
  time_t s = tv.tv_sec;
  localtime_r(&s, &t);
  char b[64];
  int n = snprintf(b, sizeof b, "'%04d.%02d.%02dT%02d:%02d:%02d.%03d ", t.tm_year + 1900,
                   t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec, (int)(tv.tv_usec / 1000));
  if (write(1, b, (size_t)n) == n) {
    const char *e = tl.err_text, *z = e + elen();
    if (e < z && *e == '\'') e++;
    const char *nl = (const char *)memchr(e, '\n', (size_t)(z - e));
    if (nl) z = nl;
    ssize_t r = write(1, e, (size_t)(z - e));
    r = write(1, "\n", 1);
    (void)r;
  }
  eclr();
}

// ---- transport ----

I qcon(const char *host, const char *port, const char *cred) {
  addrinfo hi{}, *ai0 = nullptr;
  hi.ai_family = AF_INET;
  hi.ai_socktype = SOCK_STREAM;
  if (getaddrinfo(*host ? host : "127.0.0.1", port, &hi, &ai0) || !ai0) return -1;
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  int r = -1;
  if (fd >= 0) {
    r = connect(fd, ai0->ai_addr, ai0->ai_addrlen);
    // An interrupted connect goes on by itself: wait for its outcome.
    if (r < 0 && errno == EINTR) {
      pollfd p{fd, POLLOUT, 0};
      int e = 0;
      socklen_t l = sizeof e;
      while (poll(&p, 1, -1) < 0 && errno == EINTR) {
      }
      r = getsockopt(fd, SOL_SOCKET, SO_ERROR, &e, &l) || e ? -1 : 0;
    }
  }
  freeaddrinfo(ai0);
  if (r < 0 || fd > 4095) {
    if (fd >= 0) close(fd);
    return -1;
  }
  nodelay(fd);
  G b[502];
  size_t n = strnlen(cred, 500);
  memcpy(b, cred, n);
  b[n] = 3, b[n + 1] = 0;
  if (!sall(fd, b, n + 2) || !rall(fd, b, 1, false)) {
    close(fd);
    return -1;
  }
  hreg(fd, 1);
  return fd;
}

I qsnd(I fd, V x, int type) {
  V m = qser(x, type);
  if (!m) return -1;
  bool ok = sall(fd, P(m), nx(m));
  mr(m);
  return ok;
}

V qrcv(I fd, int *type) {
  *type = 255;
  // An unregistered descriptor is read exactly: header, then body.
  G h8[8];
  Rb one{h8, 8, 0, 0, 0}, *b = rbuf(fd);
  if (!b) b = &one;
  if (!rfill(fd, *b, 8)) return b->i = b->n = 0, (V)0;
  const G *h = b->p + b->i;
  I n;
  memcpy(&n, h + 4, 4);
  if (h[0] != 1 || n < 9) {
    // The connection is dropped: what is buffered is of no use.
    b->i = b->n = 0;
    return ed0();
  }
  int ty = h[1];
  if ((U)n <= b->cap) {
    if (!rfill(fd, *b, (U)n)) return b->i = b->n = 0, (V)0;
    *type = ty;
    const G *m = b->p + b->i;
    b->i += (U)n;
    if (b->i == b->n) b->i = b->n = 0;
    return qdesb(m, (U)n);
  }
  // Too large for the buffer: what is there goes first, the rest is read
  // straight into the message.
  U k = b->n - b->i;
  V m = an((U)n, tCHR);
  memcpy(P(m), h, k);
  b->i = b->n = 0;
  if (!rall(fd, P(m) + k, (UJ)n - k, true)) {
    mr(m);
    return 0;
  }
  *type = ty;
  return qdes(m);
}

void qdrop(I h) {
  if ((U)h - 1 >= 4095 || !qhk[h]) return;
  G k = qhk[h];
  hcl(h);
  if (k == 2 && !hcall(&kpc, "{z.pc x}", ai(h), false)) eclr();
}

void qsnde(I fd, const char *s, UJ n) {
  U t = (U)(10 + n);
  G h[256] = {1, 2, 0, 0, 0, 0, 0, 0, 0x80};
  memcpy(h + 4, &t, 4);
  // One write for a usual text; a long one goes in three.
  if (n <= sizeof h - 10) {
    memcpy(h + 9, s, n);
    h[9 + n] = 0;
    sall(fd, h, 10 + n);
    return;
  }
  G z = 0;
  if (sall(fd, h, 9) && sall(fd, s, n)) sall(fd, &z, 1);
}

void qrbf(I fd) {
  if ((U)fd >= 4096) return;
  free(rbs[fd].p);
  rbs[fd] = {};
}

// ---- handle application ----

V qhap(I h, V x) {
  Hlk l;
  I a = h < 0 ? -h : h;
  G k = qhk[a];
  if (!k) return et(x);
  if (k == 3) return lapp(a, x);
  if (h < 0) {
    I s = qsnd(a, x, 0);
    mr(x);
    if (s == 1) return GNULL;
    if (s == 0) qdrop(a), eo0();
    return 0;
  }
  bool next = x == GNULL;
  if (!next) {
    I s = qsnd(a, x, 1);
    mr(x);
    if (s != 1) {
      if (s == 0) qdrop(a), eo0();
      return 0;
    }
  }
  for (;;) {
    int ty;
    V v = qrcv(a, &ty);
    if (ty == 255) {
      if (v) return v;
      qdrop(a);
      return eo0();
    }
    if (next || ty == 2) return v;
    // A message from the peer while we wait for our reply.  One that does
    // not decode is reported like a failing handler: failing the call
    // would leave the reply unread for the next call to take.
    if (!v) qerrp();
    else if (!hcall(&kps, "{z.ps x}", v, true)) qerrp();
  }
}

// ---- builtins ----

V qho(V x) {
  Hlk l;
  int t = tp(x);
  if (t == tINTA || t == tLONGA) {
    char p[24];
    snprintf(p, sizeof p, "%lld", (long long)gl_(x));
    mr(x);
    I fd = qcon("", p, "");
    return fd < 0 ? eo0() : ai(fd);
  }
  Pth q(x);
  mr(x);
  const char *p = q.s;
  if (!p) return 0;
  const char *c = strchr(p, ':');
  I fd;
  if (c && c[1] >= '0' && c[1] <= '9') {
    char host[256], port[32];
    size_t hn = (size_t)(c - p) < 255 ? (size_t)(c - p) : 255, pn = 0;
    memcpy(host, p, hn);
    host[hn] = 0;
    const char *d = c + 1;
    while (*d >= '0' && *d <= '9') {
      if (pn < 31) port[pn++] = *d;
      d++;
    }
    port[pn] = 0;
    char cred[512] = {0};
    if (*d == ':') strncpy(cred, d + 1, 511);
    fd = qcon(host, port, cred);
  } else {
    while ((fd = open(p, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666)) < 0 && errno == EINTR) {
    }
    if (fd > 4095) close(fd), fd = -1;
    if (fd >= 0) hreg(fd, 3);
  }
  return fd < 0 ? eo0() : ai(fd);
}

V qhc(V x) {
  Hlk l;
  int t = tp(x);
  if (t != tINTA && t != tLONGA) return et(x);
  J h = gl_(x);
  mr(x);
  if (h < 1 || h > 4095 || !qhk[h]) return ed0();
  hcl((I)h);
  return GNULL;
}

V qlog(V x) {
  Hlk l;
  Pth q(x);
  mr(x);
  if (!q.s) return 0;
  int fd;
  while ((fd = open(q.s, O_WRONLY | O_CREAT | O_CLOEXEC, 0666)) < 0 && errno == EINTR) {
  }
  if (fd < 0) return eo0();
  struct stat st;  // emptied only once no mapping of it shares its pages
  if (!fstat(fd, &st) && S_ISREG(st.st_mode)) {
    mdetach((UJ)st.st_dev, (UJ)st.st_ino);
    if (ftruncate(fd, 0)) return close(fd), eo0();
  }
  static const G hdr[8] = {0xff, 1, 0, 0, 0, 0, 0, 0};
  bool ok = fws(fd, (const char *)hdr, 8);
  close(fd);
  return ok ? GNULL : 0;
}

V hdel(V x) {
  Hlk l;
  Pth q(x);
  mr(x);
  if (!q.s) return 0;
  return unlink(q.s) ? eo0() : GNULL;
}

// ---- the event loop ----

I qpoll() {
  int n = 0;
  ps[n++] = {0, POLLIN, 0};
  I ls = qls;
  if (ls >= 0) ps[n++] = {ls, POLLIN, 0};
  int c0 = n;
  bool held = false;  // a connection with bytes already buffered
  for (int fd = 0; fd < 4096; fd++)
    if (qhk[fd] == 1 || qhk[fd] == 2) {
      pkd[n] = qhk[fd], pgn[n] = qhg[fd], ps[n++] = {fd, POLLIN, 0};
      held |= rbheld(fd);
    }
  int to = -1;
  if (qtp > 0) {
    J d = qtn - qnow();
    to = d < 0 ? 0 : d > INT_MAX ? INT_MAX : (int)d;
  }
  if (held) to = 0;
  int r = poll(ps, (nfds_t)n, to);
  // A signal (a resize) interrupting the wait is no news about standard
  // input: the caller looks at its flags and polls again.
  if (r < 0) return errno == EINTR ? 0 : 1;
  if (qtp > 0) qtick();
  I in = ps[0].revents ? 1 : 0;
  if (ls >= 0 && ps[1].revents && qls == ls) qacc();
  for (int i = c0; i < n; i++) {
    I fd = ps[i].fd;
    if ((ps[i].revents || rbheld(fd)) && qhk[fd] == pkd[i] && qhg[fd] == pgn[i]) qsrv(fd, pkd[i], pgn[i]);
  }
  return in;
}

// ---- log replay ----

V qrpl(V y) {
  J lim = -1;
  V nm = y;
  if (tp(y) == tLIST) {
    V a = nx(y) == 2 ? PA(y)[0] : 0;
    if (!a || (tp(a) != tINTA && tp(a) != tLONGA)) return et(y);
    lim = gl_(a), nm = PA(y)[1];
  }
  int fd;
  {
    Pth q(nm);
    mr(y);
    if (!q.s) return 0;
    while ((fd = open(q.s, O_RDONLY | O_CLOEXEC)) < 0 && errno == EINTR) {
    }
  }
  if (fd < 0) return eo0();
  off_t sz = lseek(fd, 0, SEEK_END);
  V m = sz < 0 || sz > 2147483648ll || lseek(fd, 0, SEEK_SET) ? eo0() : sz ? frP(fd, 0, (UJ)sz) : _r(ce[tCHR]);
  close(fd);
  if (!m) return 0;
  if (nx(m) < 8 || P(m)[0] != 0xff || P(m)[1] != 1) return mr(m), err0("badtail");
  Qr r{P(m), nx(m), 8, 0};
  J c = 0;
  while (r.i < r.n && (lim < 0 || c < lim)) {
    V v = qdec(r, 0);
    if (!v) {
      if (r.st == 4) return mr(m), (V)0;  // a logged error raises its text
      break;                               // a truncated tail ends the replay
    }
    if (lim == -2) {
      mr(v), c++;
      continue;
    }
    V e = k1(&kc_qvalue, "{qvalue x}", v);
    if (!e) return mr(m), (V)0;
    mr(e), c++;
  }
  mr(m);
  return c > INT_MAX ? al(c) : ai((I)c);
}

}  // namespace zk
