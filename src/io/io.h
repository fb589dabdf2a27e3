// io.h: text and data interchange's face to the rest of the engine.
//
// Text forms of values (srcform.cpp, str.cpp).  Two forms:
//   kst  the source form (builtin `k`): text the parser reads back into an
//        equal value: typed empties, one-item vectors with ",", symbols
//        with backticks, strings quoted, functions as their source.
//   str  monadic `$`: the plain text: digits, temporal text with empty
//        nulls, names without backticks; vectors, lists and dicts item by
//        item.
// Names: kss_ = quote a string, kp = source form parenthesised by type
// letter and count, kl = kp for the left of "!" and of a projection, kT1 =
// the one-item form ",x", tqh = "list of temporal atoms of one type",
// tqs = text of one temporal atom, qstT = builtin `qst` (display numbers,
// nulls empty), out = the result printer (monadic slot 26).
//
// Every operation but tqh consumes its argument and returns a new
// reference, or 0 with the thread's error text set ('limit when a text
// would pass 2^32-1 bytes, 'stack when a value nests too deeply to walk).
#pragma once
#include "core/core.h"

namespace zk {

// Values nest this deep at most before a text form gives up with 'stack
// rather than run off the end of the C stack (a list can be nested far
// deeper by code than the parser could ever read back).
inline constexpr int KDEPTH = 2048;

// ---- source form (srcform.cpp) ----
V kst(V x);                    // builtin `k`
V kss_(V s, int mode);         // s a char vector; mode 0 string, 1 symbol
V kp(V x, const char *one, const char *few, const char *all);
V kl(V x);
V kT1(V x);
bool tqh(V x);                 // borrows x
V out(V x);                    // prints; never fails; returns x

// ---- plain text (str.cpp) ----
V str(V x);                    // monadic `$`; a symbol vector gives a list of names
V tqs(V x, int flags);         // temporal atom; flags bit 0: source form
V qstT(V x);                   // builtin `qst`

// ---- handles (handles.cpp) and file verbs (filev.cpp) ----
// qhk: the kind of each descriptor 0..4095 (0 closed, 1 outgoing
// connection, 2 accepted connection, 3 append-only log).  qhg: how many
// times each descriptor has been registered, so the event loop can tell a
// handle it polled from a new one that took its number.  hreg: register
// fd (0..4095) as kind k.  hcl: close descriptor h and clear its byte; the
// system close's result (0 or -1).
extern G qhk[4096];
extern U qhg[4096];
void hreg(I fd, G k);
I hcl(I h);
void qrbf(I fd);  // frees the read-ahead buffer of descriptor fd (handle.cpp)

}  // namespace zk

namespace zk {
// ---- the message codec (ipc.cpp) and native serialisation (ser.cpp) ----
// Qw: the encoders' growable buffer, a char vector b whose count is its
// capacity (from 256 bytes, doubling), n bytes used, state st (0 good,
// 1 out of memory or no lambda text, 2 not encodable, 3 past qlim);
// appends after a failure do nothing.  qwend gives b cut to n, or frees it
// and raises 'io, 'type or 'limit.  Qr: a reader of n bytes at b from
// position i, state st (0 good, 1 malformed, 3 unsupported type, 4 remote
// error raised; the first failure is kept).
struct Qw {
  V b;
  UJ n;
  int st;
};
struct Qr {
  const G *b;
  UJ n, i;
  int st;
};
extern UJ qlim;  // largest result in bytes (2^32-1; tests lower it)
void qw0(Qw &w, U cap);
void qput(Qw &w, const void *s, UJ n);
G *qroom(Qw &w, UJ n);  // n bytes appended for the caller to fill, or 0
UJ qhint(V x, bool wire, int depth);  // a first capacity for encoding x
V qwend(Qw &w);
V qser(V x, int type);  // borrows x: a message of type 0, 1 or 2
void qenc(Qw &w, V x, int depth);
void qencv(Qw &w, V x, int depth);
V qdes(V x);            // consumes x
V qdesb(const G *m, U n);  // the message of n bytes at m, borrowed
V qdec(Qr &r, int depth);
bool qrs(Qr &r, I *s);  // a NUL-terminated name, interned
V qunz(const G *m, UJ n);  // the compressed message of n bytes at m, expanded
V ser8(V x);            // builtin `ser`
V des9(V x);            // builtin `des`

// ---- handles and the event loop (handle.cpp) ----
// Handshake, client to server: credentials (at most 500 bytes), 3, 0;
// server to client: one byte (3).  Error reply frame:
//   01 02 00 00 | u32 total length (10 + n) | 80 | n text bytes | 00
// Message log: ff 01 00 00 00 00 00 00, then encoded values back to back,
// each as it follows a message header.
extern I qls, qlp;  // listening socket (-1 none) and its port
extern J qtp, qtn;  // timer period in ms (0 off), next firing in ms since 1970
extern J qbnd;      // ms a peer may stay silent inside a handshake or message (tests lower it)
extern V kc_qvalue; // cached "{qvalue x}" (apply.cpp)
J qnow();           // wall-clock ms since 1970
void qerrp();       // prints the pending error with a local timestamp, clears it
// One step of the event loop: 1 when standard input is readable or poll
// failed, 0 otherwise (also when a signal interrupted the wait).
I qpoll();
I qcon(const char *host, const char *port, const char *cred);  // descriptor or -1
I qsnd(I fd, V x, int type);  // x borrowed: 1 sent, 0 write failed, -1 not encodable (raised)
V qrcv(I fd, int *type);      // one message; *type 255 when the connection ended
void qdrop(I h);              // close a handle; "{z.pc x}" for an accepted one
void qsnde(I fd, const char *text, UJ n);  // error reply frame of an error text
V qhap(I h, V x);             // handle 3..4095 (or negated) applied to x, consumed
V qrpl(V y);                  // the log replay, -11!y; y consumed
V qho(V x);                   // builtins qho, qhc, qlog, hdel
V qhc(V x);
V qlog(V x);
V hdel(V x);
}  // namespace zk

namespace zk {
// ---- small system builtins (sys.cpp); each consumes x ----
V qa(V x);    // argv
V qe(V x);    // env
V qx(V x);    // exit: never returns
V qt(V x);    // t
V qfb(V x);   // fb
V lkT(V x);   // lk
I lkq(const G *t, U n, const G *p, U m);  // glob match, anchored both ends
V qmcT(V x);  // qmc
V qesT(V x);  // qes
V qegT(V x);  // qeg
V nsdT(V x);  // nsd
V ewtT(V x);  // ewt
V md5T(V x);  // md5
V hex(V x);   // hex
V unh(V x);   // hexadecimal decoding of a string, list, dict or table
}  // namespace zk

namespace zk {
// ---- file, socket and process verbs (filev.cpp) ----
// A file argument: an int or long atom is a descriptor (used, not closed),
// the empty symbol descriptor 1, a symbol's name or a char vector's text a
// path or an a.b.c.d:port address (opened and closed by the verb).
V u0c(V x);          // monadic 0: lines
V u1c(V x);          // monadic 1: bytes
V v0c(V x, V y);     // dyadic 0: lines; x borrowed, y consumed
V v1c(V x, V y);     // dyadic 1: bytes
V v2c(V x, V y);     // dyadic 2: a native function from a shared library
V frk(V x);          // builtin x: (arguments; input) to the program's output
int o(V x, int flags);            // x borrowed; -1 with the error raised
int osf(const char *p, int flags);
V fr(V x, J off, UJ len);         // x borrowed; len ~0 = all
V frS(int fd, UJ lim, bool end);  // stream reader
bool fws(int fd, const char *s, UJ n);  // false with 'io raised
V str0(V s);                      // s consumed; a NUL after its bytes
// The text of a symbol or char vector NUL-terminated in b (cap bytes), or
// in a heap copy (*own) when longer: 1 done, 0 'domain raised (a NUL
// inside), -1 x is neither.
int ptxt(V x, char *b, U cap, char **out, bool *own);
V frP(int fd, J o, UJ n);  // n bytes from offset o; 'io at an early end
}  // namespace zk

namespace zk {
// ---- JSON (json.cpp) ----
// js1: builtin `j`, x consumed: the JSON text of x as one char vector.
// js0: j?text, text consumed (a char vector or char atom): the value read,
// or 0 with 'parse (caret where reading stopped) or 'type raised.
// qjs: builtin `js`.  jnx / nxe: bytes of x's text / of x written as an
// array (borrowed; *jf set when x cannot be written, error raised); Jx:
// writes them at *s and advances it, nonzero on failure.  jst: the string
// form of a non-numeric atom (borrowed); jkt: a keyed table (consumed) as
// one table.
V js1(V x);
V js0(V x);
V qjs(V x);
UJ jnx(V x, int *jf);
UJ nxe(V x, int *jf);
int Jx(V x, char **s);
V jst(V x);
V jkt(V kt);
}  // namespace zk
