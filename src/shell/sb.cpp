// sb.cpp: the scrollback panel and the spinner.
//
// In panel mode the terminal shows an alternate screen: rows 1 to H-4 are a
// scroll region for output (which the output ring of ring.cpp also keeps,
// so it can be shown again), then the boxed input row between two borders,
// and the information line at the bottom.  The geometry is read at every
// use; g_sb_rows remembers the rows the scroll region was set for.  The
// panel runs on the main thread; the SIGWINCH handler only sets g_winch,
// and the spinner's SIGALRM handler only writes one prepared frame.
//
// Names: ob/obs/obf collect a drawing into one buffer and flush it with
// wr, grey/acc are the frame and accent colours, geo reads H and W with
// the caller's fallbacks.
#include <sys/ioctl.h>
#include <sys/time.h>
#include <unistd.h>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include "shell/ring.h"
#include "shell/shell.h"

namespace zk {

I g_sb_on, g_sb_alt, g_sb_rows, g_input_plen;
I g_scroll, g_hscroll;
char g_sb_panel[640];
volatile sig_atomic_t g_spin_on;

static const char *const SPIN[10] = {"⠋", "⠙", "⠹", "⠸", "⠼", "⠴", "⠦", "⠧", "⠇", "⠏"};
static char g_spin_seq[10][64];
static I g_spin_len[10];
static volatile sig_atomic_t g_spin_frame;
static char SP[64];

static const char grey[] = "\033[38;2;150;142;130m";
static const char acc[] = "\033[1;38;2;255;176;0m";

// ---- one buffered write per drawing ----

static char obuf[16384];
static UJ on_;

static void obf() {
  wr(obuf, on_);
  on_ = 0;
}

static void ob(const char *s, UJ n) {
  if (on_ + n > sizeof obuf) obf();
  if (n > sizeof obuf) {
    wr(s, n);
    return;
  }
  memcpy(obuf + on_, s, n);
  on_ += n;
}

static void obs(const char *s) { ob(s, strlen(s)); }

static void obp(const char *f, I a, I b) {
  char t[48];
  I n = snprintf(t, sizeof t, f, a, b);
  ob(t, (UJ)n);
}

static void blanks(I n) {
  if (!SP[0]) memset(SP, ' ', sizeof SP);
  for (; n > 0; n -= 64) ob(SP, (UJ)(n < 64 ? n : 64));
}

// H and W of fd 1's terminal; a dimension below 5 or unreadable takes the
// given fallback.
static void geo(I *H, I *W, I fh, I fw) {
  struct winsize w;
  bool ok = ioctl(1, TIOCGWINSZ, &w) == 0;
  *H = ok && w.ws_row >= 5 ? w.ws_row : fh;
  *W = ok && w.ws_col >= 5 ? w.ws_col : fw;
}

// ---- widths ----

I sb_disp(const char *t) {
  I w = 0;
  for (const char *p = t; *p;) {
    if (*p == '\033') {
      const char *m = strchr(p, 'm');
      if (!m) break;
      p = m + 1;
      continue;
    }
    w += u8_wide(p);
    p += u8_len(p);
  }
  return w;
}

// Length of the escape sequence at p (ESC "[" parameters and a final byte
// 0x40..0x7E, or ESC and one byte).
static I escn(const char *p) {
  if (p[1] == '[') {
    I i = 2;
    while (p[i] && !(p[i] >= 0x40 && p[i] <= 0x7E)) i++;
    return p[i] ? i + 1 : i;
  }
  return p[1] ? 2 : 1;
}

// Characters of a ring line, escape sequences not counted.
static I chars(const char *t) {
  I n = 0;
  for (const char *p = t; *p;) {
    if (*p == '\033') p += escn(p);
    else p += u8_len(p), n++;
  }
  return n;
}

// ---- information line and chrome ----

static I rss_mb() {
  FILE *f = fopen("/proc/self/statm", "r");
  if (!f) return 0;
  long a, b;
  I r = fscanf(f, "%ld %ld", &a, &b) == 2 ? (I)(b * (sysconf(_SC_PAGESIZE) / 1024) / 1024) : 0;
  fclose(f);
  return r;
}

static void put(char *buf, I size, I *k, const char *s) {
  UJ n = strlen(s);
  if (*k + (I)n > size - 1) n = (UJ)(size - 1 - *k);
  memcpy(buf + *k, s, n);
  *k += (I)n;
  buf[*k] = 0;
}

I sb_expand(const char *t, char *buf, I size) {
  I k = 0, a = 0;
  buf[0] = 0;
  static const char off[] = "\033[22m\033[38;2;150;142;130m";
  for (const char *p = t; *p; p++) {
    char one[2] = {*p, 0}, num[24];
    if (*p == 1) put(buf, size, &k, ++a & 1 ? acc : off);
    else if (*p == 2) snprintf(num, sizeof num, "%d", rss_mb()), put(buf, size, &k, num);
    else if (*p == 4) put(buf, size, &k, "portable");
    else put(buf, size, &k, one);
  }
  if (a & 1) put(buf, size, &k, off);
  return sb_disp(buf);
}

void sb_infoline() {
  I H, W;
  geo(&H, &W, 24, 80);
  char l[640], r[320] = "";
  if (g_scroll >= 1 || g_hscroll >= 1) {
    char a[64] = "", b[64] = "";
    if (g_scroll >= 1) snprintf(a, sizeof a, "▲ %d line%s up · ", g_scroll, g_scroll == 1 ? "" : "s");
    if (g_hscroll >= 1) snprintf(b, sizeof b, "▶ %d col%s right · ", g_hscroll, g_hscroll == 1 ? "" : "s");
    snprintf(l, sizeof l, "\033[1mSCROLL · %s%sPgUp/PgDn · Shift+←→/wheel · any key = live\033[0m", a, b);
  } else {
    char lt[640];
    const char *s = strchr(g_sb_panel, 3);
    UJ n = s ? (UJ)(s - g_sb_panel) : strlen(g_sb_panel);
    memcpy(lt, g_sb_panel, n);
    lt[n] = 0;
    sb_expand(lt, l, sizeof l);
    if (s) sb_expand(s + 1, r, sizeof r);
  }
  I wl = sb_disp(l), wr_ = sb_disp(r);
  obp("\033[%d;1H", H, 0);
  obs(grey);
  obs("\033[K");
  obs(l);
  if (wl + wr_ <= W) {
    blanks(W - wl - wr_);
    obs(r);
  }
  obs("\033[0m");
  obf();
}

void sb_border(I row, const char *l, const char *r) {
  I H, W;
  geo(&H, &W, 24, 80);
  obp("\033[%d;1H", row, 0);
  obs(grey);
  obs(l);
  for (I i = 0; i < W - 2; i++) obs("─");
  obs(r);
  obs("\033[0m");
  obf();
}

static void borders(I B) {
  sb_border(B - 2, "╭", "╮");
  sb_border(B, "╰", "╯");
}

void sb_chrome() {
  I H, W;
  geo(&H, &W, 24, 80);
  wrs("\0337");
  borders(H - 1);
  sb_infoline();
  wrs("\0338");
}

void sb_region() {
  I H, W;
  geo(&H, &W, 24, 80);
  g_sb_rows = H;
  char t[32];
  snprintf(t, sizeof t, "\033[1;%dr", H - 4);
  wrs(t);
}

// ---- the input row ----

void sb_input(Ln *s) {
  I H, W;
  geo(&H, &W, 24, 80);
  I In = W < 12 ? 8 : W - 4, P = s->pl <= In - 2 ? s->pl : 0;
  I L, p, sum;
  lnwin(s, P, In, In + 1, &L, &p, &sum);
  I x = P;
  for (I q = L; q < p; q += u8_len(s->b + q)) x += u8_wide(s->b + q);
  obp("\033[%d;1H", H - 2, 0);
  obs(grey);
  obs("│\033[0m ");
  if (P) ob(s->pr, (UJ)P);
  ob(s->b + L, (UJ)(p - L));
  I fr = In - x;
  const char *ph = paste_ph();
  if (ph && !strcmp(s->b, ph) && fr > 20) {
    blanks(fr - 20);
    obs("\033[2mpaste again to view\033[0m ");
  } else {
    blanks(fr);
  }
  obs(" ");
  obs(grey);
  obs("│\033[0m");
  obp("\033[%d;%dH", H - 2, 3 + P + sum);
  obf();
  g_input_plen = s->pl;
}

// ---- the region ----

// First ring line the region shows: in live view the last row stays free
// for the output in progress.
static I first(I R) { return g_ring_n - R - g_scroll + (g_scroll == 0); }

void sb_repaint_region() {
  I H, W;
  geo(&H, &W, 24, 80);
  I R = H - 4, i0 = first(R), hs = g_hscroll;
  obs("\0337\033[?7l");
  for (I j = 1; j <= R; j++) {
    obp("\033[%d;1H\033[2K", j, 0);
    I i = i0 + j - 1;
    if (i < 0 || i >= g_ring_n) continue;
    I col = 0;
    for (const char *p = rget(i); *p && col < hs + W;) {
      if (*p == '\033') {
        I n = escn(p);
        ob(p, (UJ)n);
        p += n;
        continue;
      }
      I n = u8_len(p);
      if (col >= hs) ob(p, (UJ)n);
      p += n, col++;
    }
    obs("\033[0m");
  }
  obf();
  sb_infoline();
  wrs("\0338");
}

static I maxoff(I H) {
  I m = g_ring_n - (H - 4);
  return m > 0 ? m : 0;
}

void sb_scroll_by(I n) {
  if (!g_sb_on) return;
  I H, W;
  geo(&H, &W, 24, 80);
  I o = g_scroll + n, m = maxoff(H);
  o = o < 0 ? 0 : o > m ? m : o;
  if (o == g_scroll) return;
  g_scroll = o;
  sb_repaint_region();
}

void sb_hscroll_by(I n) {
  if (!g_sb_on) return;
  I H, W;
  geo(&H, &W, 24, 80);
  I R = H - 4, i0 = first(R), wid = 0;
  for (I i = i0 < 0 ? 0 : i0; i < i0 + R && i < g_ring_n; i++) {
    I c = chars(rget(i));
    if (c > wid) wid = c;
  }
  I o = g_hscroll + n, m = wid - W > 0 ? wid - W : 0;
  o = o < 0 ? 0 : o > m ? m : o;
  if (o == g_hscroll) return;
  g_hscroll = o;
  sb_repaint_region();
}

void sb_resync() {
  wrs("\033[r\033[H\033[2J");
  sb_region();
  I m = maxoff(g_sb_rows);
  if (g_scroll > m) g_scroll = m;
  sb_repaint_region();
  wrs("\0337");
  borders(g_sb_rows - 1);
  sb_infoline();
  wrs("\0338");
}

void sb_commit_echo(Ln *s) {
  I H, W;
  geo(&H, &W, 24, 80);
  g_scroll = 0;
  obp("\033[%d;1H", H - 4, 0);
  obs(acc);
  ob(s->pr, (UJ)s->pl);
  obs("\033[0m");
  ob(s->b, (UJ)s->n);
  obs("\033[K\r\n");
  obf();
  UJ n = sizeof acc - 1 + (UJ)s->pl + 4 + (UJ)s->n;
  char *l = (char *)malloc(n + 1);
  if (!l) return;
  snprintf(l, n + 1, "%s%s\033[0m%s", acc, s->pr, s->b);
  rline(l);
  free(l);
}

void sb_teardown() {
  wrs("\033[r\033[?7h\033[?1006l\033[?1000l\033[?1007h");
  if (g_sb_alt) wrs("\033[?1049l"), g_sb_alt = 0;
  wrs("\033[?25h");
  g_sb_capture = 0;
  rclr();
  g_scroll = g_hscroll = 0;
}

// ---- the spinner ----

void spin_tick(int) {
  if (!g_spin_on || g_winch) return;
  int e = errno;
  I f = g_spin_frame;
  ssize_t r = write(1, g_spin_seq[f], (size_t)g_spin_len[f]);  // one write a tick
  (void)r;
  g_spin_frame = (f + 1) % 10;
  errno = e;
}

void spin_start() {
  if (getenv("ZELKO_NO_SPINNER")) return;
  I row = g_sb_rows ? g_sb_rows - 2 : term_rows() - 2, col = g_input_plen + 3;
  for (I j = 0; j < 10; j++) {
    I n = snprintf(g_spin_seq[j], 64, "\0337\033[%d;%dH%s%s%s\0338", row, col, acc, SPIN[j], "\033[0m");
    g_spin_len[j] = n < 64 ? n : 63;
  }
  g_spin_frame = 0;
  g_spin_on = 1;
  struct sigaction a;
  memset(&a, 0, sizeof a);
  a.sa_handler = spin_tick;
  a.sa_flags = SA_RESTART;
  sigemptyset(&a.sa_mask);
  sigaction(SIGALRM, &a, nullptr);
  struct itimerval t = {{0, 90000}, {0, 90000}};
  setitimer(ITIMER_REAL, &t, nullptr);
}

static void spin_stop() {
  struct itimerval t = {{0, 0}, {0, 0}};
  setitimer(ITIMER_REAL, &t, nullptr);
  g_spin_on = 0;
  signal(SIGALRM, SIG_IGN);
  I H, W;
  geo(&H, &W, 24, 80);
  char b[48];
  snprintf(b, sizeof b, "\033[%d;%dH ", g_sb_rows ? g_sb_rows - 2 : H - 2, g_input_plen + 3);
  wrs(b);
}

// ---- builtins ----

static void winch_once() {
  static bool done;
  if (done) return;
  done = true;
  // no SA_RESTART: a resize must interrupt the editor's wait
  struct sigaction a;
  memset(&a, 0, sizeof a);
  a.sa_handler = on_winch;
  sigemptyset(&a.sa_mask);
  sigaction(SIGWINCH, &a, nullptr);
}

// The flag of sbb's argument: on when the low 32 bits of its value are
// not zero.
static I flag(V f) {
  if (!heap(f)) return (U)f != 0;
  int t = tp(f);
  return t >= 20 && (U)PL(f)[0] != 0;
}

V sbbC(V x) {
  V f = x, t = 0;
  if (heap(x) && tp(x) == tLIST && nx(x) == 3) f = PA(x)[0], t = PA(x)[1];
  I on = flag(f);
  char *txt = t ? lnk_cstr(t) : nullptr;
  mr(x);
  if (!zk_ln_interactive()) {
    free(txt);
    return GNULL;
  }
  if (g_spin_on) spin_stop();
  if (on) {
    snprintf(g_sb_panel, sizeof g_sb_panel, "%s", txt ? txt : "");
    if (g_sb_on) {
      winch_once();
      I H, W;
      geo(&H, &W, 24, 80);
      if (g_winch) g_winch = 0, sb_resync();
      else if (H == g_sb_rows) sb_chrome();
      else g_winch = 0, sb_resync();
    } else {
      wrs("\033[?1049h\033[?1007l\033[?1000h\033[?1006h\033[?7l");
      g_sb_capture = 1, g_sb_alt = 1;
      rclr();
      g_scroll = g_hscroll = 0;
      winch_once();
      sb_region();
      g_sb_on = 1;
      sb_chrome();
    }
  } else if (g_sb_on) {
    g_sb_on = 0;
    sb_teardown();
  }
  free(txt);
  return GNULL;
}

V sbtC(V x) {
  mr(x);
  return af(mono_ms() - g_mono_start_ms);
}

}  // namespace zk
