// The line editor's pure helpers (display width, bracket depth, history,
// the information line's expansion) and, in a real pseudo-terminal, the
// event loop served while rdl waits at its prompt: a timer fires with no
// key pressed, also after a resize interrupts the wait.
#include <pty.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <string>
#include "testutil.h"
#include "eval/eval.h"
#include "io/io.h"
#include "shell/shell.h"

using namespace zk;

TEST(Ln, WideTable) {
  struct {
    const char *s;
    I w;
  } t[] = {
      {"a", 1},         {"\x01", 0},          {"\x1f", 0},        {"", 1},
      {"\xc3\xa9", 1},  {"\xcc\x81", 0},      {"\xe4\xb8\xad", 2}, {"\xea\xb0\x80", 2},
      {"\xe3\x80\xbf", 1} /* U+303F */,       {"\xf0\x9f\x98\x80", 2} /* U+1F600 */,
      {"\xf0\x9f\x9a\x80", 2} /* U+1F680 */,  {"\xef\xbb\xbf", 0} /* U+FEFF */,
      {"\xe2\x80\x8b", 0},                    {"\x80", 1} /* stray continuation */,
      {"\xe4\xb8", 1} /* cut short */,        {"\xf8\x80\x80\x80", 1},
      {"\xc1\x81", 1} /* overlong 'A' */,     {"\xc0\x81", 0} /* overlong ^A */,
      {"\xf0\xa0\x80\x80", 2} /* U+20000 */,  {"\xef\xbc\x81", 2} /* U+FF01 */,
  };
  for (auto &c : t) EXPECT_EQ(u8_wide(c.s), c.w) << c.s;
}

TEST(Ln, DepthAndComments) {
  struct {
    const char *s;
    I d;
  } t[] = {{"{x+", 1}, {"y}", -1}, {"f[1; / c[", 1}, {"a/b[", 1}, {"\"[\"", 0},
           {"\"\\\"[\"", 0}, {"/ ((", 0}, {"(a;\t/ )", 1}, {"([{", 3}};
  for (auto &c : t) EXPECT_EQ(sb_depth_delta(c.s), c.d) << c.s;
}

TEST(Ln, HistoryRepeatAndLimit) {
  for (I i = 0; i < g_hist_n; i++) free(g_hist[i]);
  g_hist_n = 0;
  zk_ln_history_add("a");
  zk_ln_history_add("a");
  EXPECT_EQ(g_hist_n, 1);
  char b[16];
  for (I i = 0; i < 500; i++) snprintf(b, sizeof b, "l%d", i), zk_ln_history_add(b);
  ASSERT_EQ(g_hist_n, 500);
  EXPECT_STREQ(g_hist[0], "l0");  // "a" was the oldest and went
  EXPECT_STREQ(g_hist[499], "l499");
  for (I i = 0; i < g_hist_n; i++) free(g_hist[i]);
  g_hist_n = 0;
}

TEST(Ln, CstrOfValues) {
  boot_once();
  V c = aCz("p> ");
  char *s = lnk_cstr(c);
  EXPECT_STREQ(s, "p> ");
  free(s);
  mr(c);
  for (const char *n : {"ab", "abcd", "abcdefgh"}) {
    V y = as(us(n));
    s = lnk_cstr(y);
    EXPECT_STREQ(s, n);
    free(s);
  }
  EXPECT_EQ(lnk_cstr(ai(3)), nullptr);
}

TEST(Sb, ExpandAndWidth) {
  char b[640];
  I w = sb_expand("\x01ok\x01 \x02 MB", b, sizeof b);
  std::string s = b;
  EXPECT_EQ(s.rfind("\033[1;38;2;255;176;0mok\033[22m\033[38;2;150;142;130m ", 0), 0u) << s;
  EXPECT_NE(s.find(" MB"), std::string::npos);
  EXPECT_EQ(w, sb_disp(b));
  EXPECT_GE(w, 6);
  // an accent left open is closed at the end
  sb_expand("\x01x", b, sizeof b);
  EXPECT_STREQ(b, "\033[1;38;2;255;176;0mx\033[22m\033[38;2;150;142;130m");
  sb_expand("a\x04", b, sizeof b);
  EXPECT_STREQ(b, "aportable");
  EXPECT_EQ(sb_disp("\033[1m\xe4\xb8\xad\033[0mab"), 4);
  // the output is cut to the buffer
  EXPECT_EQ(sb_expand("abcdef", b, 4), 3);
}

// Reads the pty master until `want` appears after byte `from` of *acc, or
// the deadline passes.
static bool expect(int fd, std::string *acc, const std::string &want, size_t from, int ms) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  for (;;) {
    if (acc->find(want, from) != std::string::npos) return true;
    int left = (int)std::chrono::duration_cast<std::chrono::milliseconds>(
                   end - std::chrono::steady_clock::now()).count();
    if (left <= 0) return false;
    struct pollfd p = {fd, POLLIN, 0};
    if (poll(&p, 1, left) <= 0) continue;
    char b[4096];
    ssize_t n = read(fd, b, sizeof b);
    if (n <= 0) return acc->find(want, from) != std::string::npos;
    acc->append(b, (size_t)n);
  }
}

static size_t count(const std::string &s, const std::string &w, size_t from) {
  size_t n = 0;
  for (size_t p = s.find(w, from); p != std::string::npos; p = s.find(w, p + 1)) n++;
  return n;
}

// The child: panel on, a 100 ms timer whose handler prints, then rdl.
// It prints the line it got and leaves; an alarm ends it if it hangs.
static void child() {
  alarm(20);
  unsetenv("HOME");
  unsetenv("ZELKO_NO_EDIT");
  unsetenv("ZELKO_RLWRAP");
  setenv("ZELKO_RLWRAP", "0", 1);
  setenv("TERM", "xterm", 1);
  boot_once();
  V d = evn("z.ts:{1 \"tick\\n\";}", nullptr, 0);
  if (d) mr(d);
  mr(sbbC(ai(1)));
  qtp = 100, qtn = qnow() + 100;
  V l = rdlC(aCz("p> "));
  qtp = 0;
  mr(sbbC(ai(0)));
  char b[64];
  int n = snprintf(b, sizeof b, "GOT[%.*s]", (int)nx(l) - 1, PC(l));
  wr(b, (UJ)n);
  mr(l);
  _exit(0);
}

TEST(LnPty, TimerFiresAtThePromptAlsoAfterResize) {
  Watchdog w(30, "LnPty");
  struct winsize ws = {30, 80, 0, 0};
  int m;
  pid_t pid = forkpty(&m, nullptr, nullptr, &ws);
  ASSERT_GE(pid, 0);
  if (pid == 0) child();
  std::string o;
  bool ok = expect(m, &o, "tick", 0, 3000);
  EXPECT_TRUE(ok) << "no timer tick at the prompt";
  EXPECT_NE(o.find("\033[1;26r"), std::string::npos);  // region of 30 rows
  // a resize with no key pressed: the panel is redrawn for 40 rows and
  // the timer keeps firing
  // halfway between ticks the child sits in the event loop's wait, where
  // the resize must not leave it blocked in read
  usleep(50000);
  size_t at = o.size();
  ws.ws_row = 40;
  ioctl(m, TIOCSWINSZ, &ws);  // the kernel signals the child's group once
  EXPECT_TRUE(expect(m, &o, "\033[1;36r", at, 3000)) << "no redraw after the resize";
  size_t at2 = o.size();
  for (int i = 0; i < 20 && count(o, "tick", at2) < 3; i++) expect(m, &o, "\x01never", at2, 100);
  EXPECT_GE(count(o, "tick", at2), 3u) << "timer stopped after the resize";
  const char keys[] = "hi\r";
  ASSERT_EQ(write(m, keys, 3), 3);
  EXPECT_TRUE(expect(m, &o, "GOT[hi]", at, 3000));
  int st = -1;
  for (int i = 0; i < 300 && waitpid(pid, &st, WNOHANG) == 0; i++) usleep(10000);
  if (waitpid(pid, &st, WNOHANG) == 0) kill(pid, SIGKILL), waitpid(pid, &st, 0);
  EXPECT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 0) << st;
  close(m);
}
