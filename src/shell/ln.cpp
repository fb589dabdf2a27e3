// ln.cpp: the line reader behind the builtin rdl and the raw-mode line
// editor it uses on a terminal.
//
// The editor keeps one physical line (Ln) on its stack and everything that
// outlives a line in process-wide statics: the raw-mode switch and the
// saved terminal modes, the pending continuation (g_cont, the comment-
// stripped text of an unfinished statement), the history (g_hist, oldest
// first), and the folded paste (g_pq: the statements a multi-line paste
// was split into, shown as the placeholder g_paste_ph).  The terminal is
// never left in raw mode between lines.  While a port or a timer is set the
// wait for every byte serves the event loop, so handlers run between keys.
// In panel mode the input row and the scroll keys go through sb.cpp.
//
// Names: wr/wrs write all bytes to fd 1, rd1 reads one byte of fd 0, rdk
// the same for the key loop (it gives up on a resize), nx/pv step over one
// UTF-8 character (u8_len bytes), cmt finds a comment, rawon/rawoff switch raw mode.
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include "capi/capi.h"
#include "core/sym.h"
#include "io/io.h"
#include "shell/ring.h"
#include "shell/shell.h"

namespace zk {

volatile sig_atomic_t g_winch;
I g_raw;
double g_mono_start_ms;
char *g_hist[HMAX];
I g_hist_n;
char g_histpath[512];

static struct termios g_orig;
static bool g_atexit;
static char *g_cont;
static I g_cont_depth;
static char g_cont_prompt[64];
static I g_paste_folded, g_paste_no, g_paste_raw_n, g_preview_shown;
static char g_paste_ph[80];
static char *g_paste_raw, *g_last_paste;
static char **g_pq;
static I g_pq_i, g_pq_n;

// ---- terminal i/o ----

void wr(const char *d, UJ n) {
  while (n) {
    ssize_t r = write(1, d, n);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return;  // gives up silently
    d += r, n -= (UJ)r;
  }
}

void wrs(const char *s) { wr(s, strlen(s)); }

static I tsz(I *r, I *c) {
  struct winsize w;
  if (ioctl(1, TIOCGWINSZ, &w) < 0) return 0;
  *r = w.ws_row, *c = w.ws_col;
  return 1;
}

I term_rows() {
  I r, c;
  return tsz(&r, &c) && r >= 5 ? r : 24;
}

I term_cols() {
  I r, c;
  return tsz(&r, &c) && c >= 5 ? c : 80;
}

double mono_ms() {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return (double)t.tv_sec * 1000 + (double)t.tv_nsec / 1e6;
}

static bool serving() { return qls >= 0 || qtp > 0; }

I rd1(char *c) {
  for (;;) {
    if (serving())
      while (!qpoll()) {
      }
    ssize_t r = read(0, c, 1);
    if (r == 1) return 1;
    if (r < 0 && errno == EINTR) continue;
    return 0;
  }
}

// The key loop's read: 1 a byte, 0 end of input or an error, -1 when a
// resize (or any signal) interrupted the wait, so the caller redraws and
// starts the key over instead of blocking in read with clients unserved.
static I rdk(char *c) {
  if (serving())
    for (;;) {
      if (g_winch) return -1;
      if (qpoll()) break;
    }
  ssize_t r = read(0, c, 1);
  if (r == 1) return 1;
  return r < 0 && errno == EINTR ? -1 : 0;
}

void on_winch(int) { g_winch = 1; }

// ---- raw mode ----

void on_exit_restore() {
  if (g_sb_alt) {
    // Autowrap comes back on too: the panel switched it off, and a host
    // leaving through exit would otherwise hand the shell a terminal that
    // no longer wraps.
    wrs("\033[r\033[?1006l\033[?1000l\033[?1007h\033[?7h\033[?1049l");
    g_sb_alt = 0;
  }
  if (g_raw) {
    wrs("\033[?2004l");
    tcsetattr(0, TCSADRAIN, &g_orig);
    g_raw = 0;
  }
}

// Mode changes wait for output to drain but keep the input queue: a
// flushing change would throw away whatever was typed (or piped in)
// while the previous line was being evaluated.
static I rawon() {
  if (!isatty(0) || tcgetattr(0, &g_orig) < 0) return 0;
  if (!g_atexit) atexit(on_exit_restore), g_atexit = true;
  struct termios t = g_orig;
  t.c_iflag &= ~(tcflag_t)(BRKINT | ICRNL | INPCK | ISTRIP | IXON);
  t.c_oflag &= ~(tcflag_t)OPOST;
  t.c_cflag |= CS8;
  t.c_lflag &= ~(tcflag_t)(ECHO | ICANON | IEXTEN | ISIG);
  t.c_cc[VMIN] = 1, t.c_cc[VTIME] = 0;
  if (tcsetattr(0, TCSADRAIN, &t) < 0) return 0;
  g_raw = 1;
  wrs("\033[?2004h");
  return 1;
}

static void rawoff() {
  if (!g_raw) return;
  wrs("\033[?2004l");
  tcsetattr(0, TCSADRAIN, &g_orig);
  g_raw = 0;
}

// ---- characters, comments, depth ----

I u8_wide(const char *p) {
  const unsigned char *s = (const unsigned char *)p;
  unsigned c = s[0];
  if (c < 0x80) return c >= 1 && c < 0x20 ? 0 : 1;
  I k = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : -1;
  if (k < 0 || c >= 0xF8) return 1;
  unsigned u = c & (0x3F >> k);
  for (I i = 1; i <= k; i++) {
    if ((s[i] & 0xC0) != 0x80) return 1;
    u = u << 6 | (s[i] & 0x3F);
  }
  if (u == 0) return 1;
  if (u < 0x80) return u < 0x20 ? 0 : 1;
  if ((u >= 0x300 && u <= 0x36F) || (u >= 0x200B && u <= 0x200F) || u == 0x2060 ||
      (u >= 0xFE00 && u <= 0xFE0F) || u == 0xFEFF)
    return 0;
  if ((u >= 0x1100 && u <= 0x115F) || (u >= 0x2E80 && u <= 0xA4CF && u != 0x303F) ||
      (u >= 0xAC00 && u <= 0xD7A3) || (u >= 0xF900 && u <= 0xFAFF) ||
      (u >= 0xFE10 && u <= 0xFE19) || (u >= 0xFE30 && u <= 0xFE6F) ||
      (u >= 0xFF00 && u <= 0xFF60) || (u >= 0xFFE0 && u <= 0xFFE6) ||
      (u >= 0x1F300 && u <= 0x1F64F) || (u >= 0x1F680 && u <= 0x1F6FF) ||
      (u >= 0x1F900 && u <= 0x1F9FF) || (u >= 0x20000 && u <= 0x3FFFD))
    return 2;
  return 1;
}

// Byte length of the character at p (at most the bytes before the NUL): a
// lead byte takes only the continuation bytes that are really there.
I u8_len(const char *p) {
  unsigned c = (unsigned char)*p;
  I k = c >= 0xF0 && c < 0xF8 ? 3 : c >= 0xE0 && c < 0xF0 ? 2 : c >= 0xC0 && c < 0xE0 ? 1 : 0;
  I i = 1;
  while (i <= k && ((unsigned char)p[i] & 0xC0) == 0x80) i++;
  return i;
}

static I nx(const Ln *s, I p) { return p < s->n ? p + u8_len(s->b + p) : p; }

static I pv(const Ln *s, I p) {
  I q = 0, r = 0;
  while (q < p) r = q, q += u8_len(s->b + q);
  return r;
}

// The comment's "/" in s, or nullptr: a "/" first or after a blank or tab,
// outside a double-quoted string.
static char *cmt(char *s) {
  bool str = false;
  for (char *p = s; *p; p++) {
    if (str) {
      if (*p == '\\' && p[1]) p++;
      else if (*p == '"') str = false;
    } else if (*p == '"') {
      str = true;
    } else if (*p == '/' && (p == s || p[-1] == ' ' || p[-1] == '\t')) {
      return p;
    }
  }
  return nullptr;
}

static void strip(char *s) {
  char *c = cmt(s);
  if (c) *c = 0;
}

I sb_depth_delta(const char *s) {
  I d = 0;
  bool str = false;
  for (const char *p = s; *p; p++) {
    if (str) {
      if (*p == '\\' && p[1]) p++;
      else if (*p == '"') str = false;
    } else if (*p == '"') {
      str = true;
    } else if (*p == '/' && (p == s || p[-1] == ' ' || p[-1] == '\t')) {
      break;
    } else if (*p == '(' || *p == '[' || *p == '{') {
      d++;
    } else if (*p == ')' || *p == ']' || *p == '}') {
      d--;
    }
  }
  return d;
}

// ---- history ----

void zk_ln_history_add(const char *t) {
  if (g_hist_n && !strcmp(g_hist[g_hist_n - 1], t)) return;
  char *c = strdup(t);
  if (!c) return;
  if (g_hist_n == HMAX) {
    free(g_hist[0]);
    memmove(g_hist, g_hist + 1, sizeof(char *) * (HMAX - 1));
    g_hist_n--;
  }
  g_hist[g_hist_n++] = c;
}

void zk_ln_history_load() {
  FILE *f = fopen(g_histpath, "r");
  if (!f) return;
  char b[4097];
  while (fgets(b, sizeof b - 1, f)) {
    UJ n = strlen(b);
    if (n && b[n - 1] != '\n' && !feof(f)) {
      // longer than a line may be: keep 4095 bytes, skip the rest
      int ch;
      while ((ch = fgetc(f)) != EOF && ch != '\n') {
      }
    }
    while (n && (b[n - 1] == '\n' || b[n - 1] == '\r')) b[--n] = 0;
    if (n > LNMAX) b[n = LNMAX] = 0;
    if (n) zk_ln_history_add(b);
  }
  fclose(f);
}

static void hsave() {
  if (!g_histpath[0]) return;
  FILE *f = fopen(g_histpath, "w");
  if (!f) return;
  for (I i = 0; i < g_hist_n; i++) fprintf(f, "%s\n", g_hist[i]);
  fclose(f);
}

static void lset(Ln *s, const char *t) {
  UJ n = strlen(t);
  if (n > LNMAX) n = LNMAX;
  memcpy(s->b, t, n);
  s->b[n] = 0;
  s->n = s->c = (I)n;
}

static void hmove(Ln *s, I d) {
  if (!g_hist_n) return;
  if (s->hp == g_hist_n) memcpy(s->live, s->b, sizeof s->b);
  I p = s->hp + d;
  p = p < 0 ? 0 : p > g_hist_n ? g_hist_n : p;
  s->hp = p;
  lset(s, p == g_hist_n ? s->live : g_hist[p]);
}

// ---- drawing ----

// lim is f for the plain line and f + 1 for the panel's box, whose bound
// is inclusive.
void lnwin(const Ln *s, I P, I f, I lim, I *l, I *e, I *cx) {
  I L = s->c, sum = 0;
  while (L > 0) {
    I q = pv(s, L), w = u8_wide(s->b + q);
    if (sum + w >= f - P) break;
    sum += w, L = q;
  }
  I x = P, p = L;
  while (p < s->n) {
    I w = u8_wide(s->b + p);
    if (x + w >= lim) break;
    x += w, p = nx(s, p);
  }
  *l = L, *e = p, *cx = sum;
}

void refresh(Ln *s) {
  g_input_plen = s->pl;
  if (g_sb_on) {
    sb_input(s);
    return;
  }
  I W = s->w, P = s->pl <= W - 2 ? s->pl : 0, l, e, cx;
  lnwin(s, P, W - 1, W - 1, &l, &e, &cx);
  // one write of the prompt, the text and the tail; a prompt too long for
  // the buffer (a very wide terminal) goes first on its own
  static char t[8192 + 64];
  UJ k = 0;
  t[k++] = '\r';
  if (P > 4096) wr(t, k), wr(s->pr, (UJ)P), k = 0;
  else memcpy(t + k, s->pr, (UJ)P), k += (UJ)P;
  memcpy(t + k, s->b + l, (UJ)(e - l)), k += (UJ)(e - l);
  memcpy(t + k, "\033[0K\r", 5), k += 5;
  // a zero count would still move one column in most terminals
  if (P + cx) k += (UJ)snprintf(t + k, 32, "\033[%dC", P + cx);
  wr(t, k);
}

// The redraw step: any key that gets here brings the panel back to live.
static void redraw(Ln *s) {
  if (g_scroll || g_hscroll) {
    g_scroll = g_hscroll = 0;
    sb_repaint_region();
  }
  refresh(s);
}

// ---- paste folding ----

static void pqfree() {
  for (I i = g_pq_i; i < g_pq_n; i++) free(g_pq[i]);
  free(g_pq);
  g_pq = nullptr, g_pq_i = g_pq_n = 0;
}

void paste_preview(Ln *s) {
  if (!g_paste_raw || !g_paste_raw_n) {
    wr("\a", 1);
    return;
  }
  I R, W, r, c;
  tsz(&r, &c) ? (R = r >= 5 ? r : 24, W = c >= 5 ? c : 80) : (R = 24, W = 80);
  char t[512];
  I lim;
  if (g_sb_on) {
    snprintf(t, sizeof t, "\033[%d;1H", R - 4), wrs(t);
    lim = R < 9 ? 3 : R - 6;
  } else {
    wrs("\r\n");
    lim = R - 2;
  }
  wrs("\033[?7l\033[1;38;2;255;176;0m");
  snprintf(t, sizeof t, "── Pasted text #%d  (%d lines) ", g_paste_no, g_paste_raw_n);
  wrs(t);
  for (I w = sb_disp(t); w < W; w++) wrs("─");
  wrs("\033[0m\r\n");
  I show = g_paste_raw_n > lim ? lim - 1 : g_paste_raw_n;
  if (show < 0) show = 0;
  const char *p = g_paste_raw;
  for (I i = 0; i < show; i++) {
    const char *q = strchr(p, '\n');
    UJ n = q ? (UJ)(q - p) : strlen(p);
    snprintf(t, sizeof t, "\033[38;2;150;142;130m%4d \033[0m", i + 1), wrs(t);
    wr(p, n > (UJ)(W - 6) ? (UJ)(W > 6 ? W - 6 : 0) : n);
    wrs("\r\n");
    p = q ? q + 1 : p + n;
  }
  if (show < g_paste_raw_n) {
    I m = g_paste_raw_n - show;
    snprintf(t, sizeof t, "\033[38;2;150;142;130m  … %d more line%s\033[0m\r\n", m, m == 1 ? "" : "s");
    wrs(t);
  }
  wrs("\033[?7h");
  if (g_sb_on) sb_chrome();
  refresh(s);
  g_preview_shown = 1;
}

// Appends n bytes to the malloc'd buffer *b of *n bytes and capacity *k.
static bool grow(char **b, UJ *n, UJ *k, const char *s, UJ m) {
  if (*n + m + 1 > *k) {
    UJ nk = *k ? *k : 1024;
    while (*n + m + 1 > nk) nk *= 2;
    char *nb = (char *)realloc(*b, nk);
    if (!nb) return false;
    *b = nb, *k = nk;
  }
  memcpy(*b + *n, s, m);
  (*b)[*n += m] = 0;
  return true;
}

// Reads the bracketed paste after ESC [ 200 ~: the text, CR made LF, with
// stray escape sequences dropped; nullptr when memory runs out.
static char *prd(UJ *len) {
  char *b = nullptr;
  UJ n = 0, k = 0;
  bool ok = grow(&b, &n, &k, "", 0);
  char c;
  while (rd1(&c)) {
    if (c == '\033') {
      char d;
      if (!rd1(&d)) break;
      if (d != '[') continue;
      char num[16];
      I m = 0;
      while (rd1(&d) && d >= '0' && d <= '9')
        if (m < 15) num[m++] = d;
      num[m] = 0;
      if (d == '~' && !strcmp(num, "201")) break;
      continue;
    }
    if (c == '\r') c = '\n';
    if (ok) ok = grow(&b, &n, &k, &c, 1);
  }
  if (!ok) {
    free(b);
    return nullptr;
  }
  *len = n;
  return b;
}

// A pasted line with its comment stripped and, for a continuation line,
// its leading blanks and tabs removed.
static const char *pln(char *l, bool lead) {
  strip(l);
  if (lead)
    while (*l == ' ' || *l == '\t') l++;
  return l;
}

static void paste(Ln *s) {
  UJ pn;
  char *t = prd(&pn);
  if (!t) return;
  if (g_paste_folded && !strcmp(s->b, g_paste_ph) && g_last_paste && !strcmp(t, g_last_paste)) {
    free(t);
    paste_preview(s);
    return;
  }
  free(g_last_paste);
  g_last_paste = t;
  char *all = nullptr;
  UJ an_ = 0, ak = 0;
  if (!grow(&all, &an_, &ak, s->b, (UJ)s->n) || !grow(&all, &an_, &ak, t, pn)) {
    free(all);
    return;
  }
  free(g_paste_raw);
  g_paste_raw = all, g_paste_raw_n = 0;
  pqfree();
  I L = 0;
  for (UJ i = 0; i < an_; i++)
    if (all[i] == '\n') L++;
  if (an_ && all[an_ - 1] != '\n') L++;
  if (L < 2) {
    char *nl = strchr(all, '\n');
    UJ m = nl ? (UJ)(nl - all) : an_;
    if (m > LNMAX) m = LNMAX;
    memcpy(s->b, all, m);
    s->b[m] = 0;
    s->n = s->c = (I)m;
    free(g_paste_raw);
    g_paste_raw = nullptr, g_paste_raw_n = 0;
    return;
  }
  // split a scratch copy into its L lines
  char *w = strdup(all);
  char **ln = (char **)malloc(sizeof(char *) * (UJ)L);
  char **q = (char **)malloc(sizeof(char *) * (UJ)L);
  if (!w || !ln || !q) goto fail;
  {
    char *p = w;
    for (I i = 0; i < L; i++) {
      ln[i] = p;
      char *e = strchr(p, '\n');
      if (e) *e = 0, p = e + 1;
    }
    I m = 0;
    for (I i = 0; i < L;) {
      I d = sb_depth_delta(ln[i]);
      char *st = nullptr;
      UJ sn = 0, sk = 0;
      bool ok;
      if (d < 1) {
        ok = grow(&st, &sn, &sk, ln[i], strlen(ln[i]));
        i++;
      } else {
        const char *h = pln(ln[i++], false);
        ok = grow(&st, &sn, &sk, h, strlen(h));
        while (ok && d >= 1 && i < L) {
          const char *x = pln(ln[i++], true);
          d += sb_depth_delta(x);
          ok = grow(&st, &sn, &sk, " ", 1) && grow(&st, &sn, &sk, x, strlen(x));
        }
      }
      if (!ok) {
        free(st);
        for (I j = 0; j < m; j++) free(q[j]);
        goto fail;
      }
      q[m++] = st;
    }
    g_pq = q, g_pq_i = 0, g_pq_n = m;
  }
  free(w);
  free(ln);
  g_paste_no++;
  g_paste_raw_n = L;
  g_paste_folded = 1;
  snprintf(g_paste_ph, sizeof g_paste_ph, "[Pasted text #%d +%d lines]", g_paste_no, L);
  lset(s, g_paste_ph);
  return;
fail:
  // the paste is abandoned and the line left as it was
  free(w);
  free(ln);
  free(q);
  free(g_paste_raw);
  g_paste_raw = nullptr, g_paste_raw_n = 0;
}

const char *paste_ph() { return g_paste_folded ? g_paste_ph : nullptr; }

// The queued statements joined by 0x1E; the queue is freed.
static char *pqjoin() {
  char *b = nullptr;
  UJ n = 0, k = 0;
  bool ok = grow(&b, &n, &k, "", 0);
  for (I i = g_pq_i; ok && i < g_pq_n; i++)
    ok = (i == g_pq_i || grow(&b, &n, &k, "\x1e", 1)) && grow(&b, &n, &k, g_pq[i], strlen(g_pq[i]));
  pqfree();
  if (!ok) free(b), b = nullptr;
  return b;
}

// ---- the editor ----

static void contdrop() {
  free(g_cont);
  g_cont = nullptr, g_cont_depth = 0;
}

static void cprompt(const char *p) {
  UJ n = strlen(p);
  if (n > 63) n = 63;
  memset(g_cont_prompt, ' ', n);
  if (n > 4) memcpy(g_cont_prompt + n - 5, "...> ", 5);
  g_cont_prompt[n] = 0;
}

static void del(Ln *s, I a, I b) {
  memmove(s->b + a, s->b + b, (UJ)(s->n - b + 1));
  s->n -= b - a;
  if (s->c > b) s->c -= b - a;
  else if (s->c > a) s->c = a;
}

static void ins(Ln *s, char ch) {
  if (s->n >= LNMAX) return;
  memmove(s->b + s->c + 1, s->b + s->c, (UJ)(s->n - s->c + 1));
  s->b[s->c++] = ch;
  s->n++;
}

static void page(I dir) {
  I r = term_rows();
  sb_scroll_by(dir * (r >= 6 ? r - 5 : 1));
}

// Accept: 0 when the line only continued a statement (start a new
// physical line), 1 with *out set (nullptr when memory ran out).
static I accept(Ln *s, char **out) {
  char *res;
  if (!g_paste_folded) {
    char *cp = strdup(s->b);
    if (!cp) {
      contdrop();
      res = nullptr;
      goto done;
    }
    strip(cp);
    I D = g_cont_depth + sb_depth_delta(cp);
    if (D > 0) {
      UJ a = g_cont ? strlen(g_cont) : 0, b = strlen(cp);
      char *j = (char *)realloc(g_cont, a + b + 2);
      if (j) {
        if (a) j[a++] = ' ';
        memcpy(j + a, cp, b + 1);
        g_cont = j, g_cont_depth = D;
        free(cp);
        rawoff();
        if (g_sb_on) sb_commit_echo(s);
        else wrs("\r\n");
        return 0;
      }
      // no memory to continue: the current line is returned alone
      contdrop();
      free(cp);
      res = strdup(s->b);
    } else if (g_cont) {
      UJ a = strlen(g_cont), b = strlen(cp);
      res = (char *)malloc(a + b + 2);
      if (res) memcpy(res, g_cont, a), res[a] = ' ', memcpy(res + a + 1, cp, b + 1);
      else res = strdup(s->b);
      contdrop();
      free(cp);
    } else {
      free(cp);
      res = strdup(s->b);
    }
  } else {
    res = strdup(s->b);
  }
done:
  g_mono_start_ms = mono_ms();
  rawoff();
  if (g_sb_on) {
    if (g_preview_shown) sb_repaint_region(), g_preview_shown = 0;
    sb_commit_echo(s);
    static Ln e;
    e.n = e.c = 0, e.b[0] = 0, e.pr = s->pr, e.pl = s->pl, e.w = s->w;
    sb_input(&e);
    g_input_plen = s->pl;
    char t[32];
    snprintf(t, sizeof t, "\033[%d;1H", term_rows() - 4), wrs(t);
    spin_start();
  } else {
    wrs("\r\n");
  }
  if (g_paste_folded) {
    if (strcmp(s->b, g_paste_ph)) {
      pqfree();
      g_paste_folded = 0;
    } else if (g_pq_n > g_pq_i) {
      free(res);
      g_paste_folded = 0;
      *out = pqjoin();
      return 1;
    }
  }
  if (res && *res) zk_ln_history_add(res);
  *out = res;
  return 1;
}

char *zk_ln_readline(const char *prompt) {
  Ln s;
  bool armed = false;  // a ^V or Alt-V was the last key
newline:
  memset(&s, 0, sizeof s);
  if (g_cont) {
    cprompt(prompt);
    s.pr = g_cont_prompt;
  } else {
    s.pr = prompt;
  }
  s.pl = (I)strlen(s.pr);
  s.w = term_cols();
  s.hp = g_hist_n;
  if (!g_raw && !rawon()) return nullptr;
  if (g_sb_on) sb_region(), sb_chrome();
  refresh(&s);
  for (;;) {
    if (g_winch) {
      g_winch = 0;
      if (g_sb_on) sb_resync();
      refresh(&s);
    }
    char c;
    I r = rdk(&c);
    if (r < 0) continue;
    if (r == 0) {
      rawoff();
      contdrop();
      if (s.n) {
        char *o;
        accept(&s, &o);
        return o;
      }
      if (g_sb_on) g_sb_on = 0, sb_teardown();
      return nullptr;
    }
    unsigned char u = (unsigned char)c;
    switch (u) {
    case 0x01: s.c = 0; break;
    case 0x02: s.c = pv(&s, s.c); break;
    case 0x03:
      s.n = s.c = 0, s.b[0] = 0;
      contdrop();
      wrs("^C\r\n");
      rawoff();
      return strdup("");
    case 0x04:
      if (!s.n) {
        contdrop();
        rawoff();
        wrs("\r\n");
        // the user ends the session: the panel goes as at end of input
        if (g_sb_on) g_sb_on = 0, sb_teardown();
        return nullptr;
      }
      if (s.c < s.n) del(&s, s.c, nx(&s, s.c));
      break;
    case 0x05: s.c = s.n; break;
    case 0x06: s.c = nx(&s, s.c); break;
    case 0x08:
    case 0x7F:
      if (s.c) del(&s, pv(&s, s.c), s.c);
      break;
    case 0x09: armed = false; continue;
    case 0x0A:
    case 0x0D: {
      char *o;
      if (accept(&s, &o)) return o;
      goto newline;
    }
    case 0x0B: s.b[s.n = s.c] = 0; break;
    case 0x0C:
      wrs("\033[H\033[2J\033[3J");
      rclr();
      g_scroll = g_hscroll = 0;
      if (g_sb_on) sb_region(), sb_chrome();
      break;
    case 0x0E: hmove(&s, 1); break;
    case 0x10: hmove(&s, -1); break;
    case 0x15: del(&s, 0, s.c); break;
    case 0x16:
      if (armed) {
        armed = false;
        paste_preview(&s);
        continue;
      }
      armed = true;
      continue;
    case 0x17: {
      I p = s.c;
      while (p > 0 && s.b[p - 1] == ' ') p--;
      while (p > 0 && s.b[p - 1] != ' ') p--;
      del(&s, p, s.c);
      break;
    }
    case 0x1B: {
      char a, b;
      if (!rd1(&a)) break;
      if (a == 'V' || a == 'v') {
        if (armed) {
          armed = false;
          paste_preview(&s);
          continue;
        }
        armed = true;
        continue;
      }
      if (!rd1(&b)) break;
      if (a == 'O') {
        if (b == 'H') s.c = 0;
        else if (b == 'F') s.c = s.n;
        break;
      }
      if (a != '[') break;
      if (b == 'A') hmove(&s, -1);
      else if (b == 'B') hmove(&s, 1);
      else if (b == 'C') s.c = nx(&s, s.c);
      else if (b == 'D') s.c = pv(&s, s.c);
      else if (b == 'H') s.c = 0;
      else if (b == 'F') s.c = s.n;
      else if (b == '<') {
        I btn = 0;
        char d;
        while (rd1(&d) && d >= '0' && d <= '9') btn = btn * 10 + (d - '0');
        while (d != 'M' && d != 'm' && rd1(&d)) {
        }
        if (g_sb_on) {
          if (btn == 64) sb_scroll_by(3);
          else if (btn == 65) sb_scroll_by(-3);
          else if (btn == 66) sb_hscroll_by(-6);
          else if (btn == 67) sb_hscroll_by(6);
          refresh(&s);
          armed = false;
          continue;
        }
      } else if (b == 'M') {
        char m[3];
        if (!rd1(m) || !rd1(m + 1) || !rd1(m + 2)) break;
        if (g_sb_on) {
          I k = ((unsigned char)m[0] - 32) & 0x43;
          if (k == 64) sb_scroll_by(3);
          else if (k == 65) sb_scroll_by(-3);
          refresh(&s);
          armed = false;
          continue;
        }
      } else if (b >= '0' && b <= '9') {
        I n = b - '0';
        char d;
        if (!rd1(&d)) break;
        while (d >= '0' && d <= '9') {
          n = n * 10 + (d - '0');
          if (!rd1(&d)) goto redraw_;
        }
        if (d == ';') {
          while (rd1(&d) && ((d >= '0' && d <= '9') || d == ';')) {
          }
          if (g_sb_on) {
            if (d == 'C') sb_hscroll_by(8);
            else if (d == 'D') sb_hscroll_by(-8);
            refresh(&s);
            armed = false;
            continue;
          }
        } else if (d == '~') {
          if (n == 1 || n == 7) s.c = 0;
          else if (n == 4 || n == 8) s.c = s.n;
          else if (n == 3) {
            if (s.c < s.n) del(&s, s.c, nx(&s, s.c));
          } else if ((n == 5 || n == 6) && g_sb_on) {
            page(n == 5 ? 1 : -1);
            refresh(&s);
            armed = false;
            continue;
          } else if (n == 200) {
            paste(&s);
          }
        }
      }
      break;
    }
    default:
      if (u >= 0x20) ins(&s, c);
      break;
    }
  redraw_:
    armed = false;
    redraw(&s);
  }
}

// ---- choosing the editor ----

I zk_ln_under_rlwrap() {
  long me = (long)getpid(), p = (long)getppid();
  if (p <= 1) return 0;
  for (I k = 1;; k++) {
    char path[64], b[1024];
    snprintf(path, sizeof path, "/proc/%ld/comm", p);
    FILE *f = fopen(path, "r");
    if (!f) return 0;
    char nm[128];
    bool got = fgets(nm, sizeof nm, f);
    fclose(f);
    if (!got) return 0;
    UJ n = strlen(nm);
    while (n && (nm[n - 1] == '\n' || nm[n - 1] == '\r')) nm[--n] = 0;
    long pp = 0;
    snprintf(path, sizeof path, "/proc/%ld/stat", p);
    if ((f = fopen(path, "r"))) {
      if (fgets(b, sizeof b, f)) {
        char *e = strrchr(b, ')');
        if (!e || sscanf(e + 1, " %*c %ld", &pp) != 1) pp = 0;
      }
      fclose(f);
    }
    const char *base = strrchr(nm, '/');
    base = base ? base + 1 : nm;
    if (!strcmp(base, "rlwrap") || !strcmp(base, "rlfe")) return 1;
    if (pp < 2 || pp == me || k == 4) return 0;
    me = p, p = pp;
  }
}

I zk_ln_interactive() {
  static I rl = -1;
  static bool told;
  if (getenv("ZELKO_NO_EDIT")) return 0;
  if (!isatty(0) || !isatty(1)) return 0;
  const char *t = getenv("TERM");
  if (t && (!strcmp(t, "dumb") || !strcmp(t, "cons25") || !strcmp(t, "emacs"))) return 0;
  if (rl < 0) {
    const char *e = getenv("ZELKO_RLWRAP");
    rl = e && *e ? *e != '0' : zk_ln_under_rlwrap();
  }
  if (!rl) return 1;
  if (!told && qls < 0 && qtp <= 0) {
    told = true;
    fputs("zelko: started under rlwrap -- leaving line editing to it.\n"
          "       zelko has had its own editor since 1.9.5: start it with ./z (no rlwrap) to use that instead.\n",
          stderr);
    fflush(stderr);
  }
  return 0;
}

// ---- the builtin ----

char *lnk_cstr(V x) {
  const char *s;
  UJ n;
  if (tp(x) == tCHR) s = PC(x), n = nx(x);
  else if (tp(x) == tSYMA) s = su(ip(x)), n = strlen(s);
  else return nullptr;
  char *c = (char *)malloc(n + 1);
  if (!c) return nullptr;
  memcpy(c, s, n);
  c[n] = 0;
  return c;
}

// The plain reader: the prompt, then bytes up to a line feed or 4094.
static V plain(const char *pr) {
  if (pr && *pr) wrs(pr);
  char b[4096];
  I n = 0;
  while (n < 4094) {
    char c;
    if (serving())
      while (!qpoll()) {
      }
    ssize_t r = read(0, &c, 1);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) {
      if (!n) exit(0);
      break;
    }
    b[n++] = c;
    if (c == '\n') break;
  }
  if (b[n - 1] != '\n') b[n++] = '\n';
  g_mono_start_ms = mono_ms();
  return aCn(b, (U)n);
}

V rdlC(V x) {
  char *p = lnk_cstr(x);
  mr(x);
  static bool first = true;
  if (first) {
    first = false;
    zk_ext_startup_once();
    const char *h = getenv("HOME");
    if (h && *h && strlen(h) + 20 < 512) {
      snprintf(g_histpath, sizeof g_histpath, "%s/.zelko_history", h);
      zk_ln_history_load();
    }
  }
  if (!zk_ln_interactive()) {
    V r = plain(p);
    free(p);
    return r;
  }
  char *l = zk_ln_readline(p ? p : "");
  free(p);
  if (!l) exit(0);
  hsave();
  UJ n = strlen(l);
  V r = an((U)n + 1, tCHR);
  memcpy(PC(r), l, n);
  PC(r)[n] = '\n';
  free(l);
  return r;
}

}  // namespace zk
