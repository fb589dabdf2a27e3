// shell.h: the interactive shell's face to the engine: the backslash
// command dispatcher, the script loader and the chart builtins; the line
// editor and line reader (ln.cpp) and the scrollback panel with its
// spinner (sb.cpp).
#pragma once
#include <csignal>
#include "core/core.h"

namespace zk {
// Handles one backslash line at *pos (just after the backslash) and moves
// *pos past its newline: the command's value, `::`, or 0.
V bs_(const char **pos, const char *end);
// Loads a script file statement by statement, printing each value: `::`,
// or 0 at the first error, which it has already printed.
V bsl(const char *path);
// The chart builtins `plt` and `cdl` (chart.cpp): consume x and return the
// chart as a new char vector.
V plotC(V x);
V candleC(V x);

// ---- line editor and line reader (ln.cpp) ----
// Ln: one physical line being edited.  b holds n bytes of UTF-8 and a NUL,
// c is the cursor as a byte offset, pr/pl the prompt and its byte length,
// w the terminal width at the start of the line, hp the history position
// (g_hist_n is the live line), live the live line saved while browsing.
struct Ln {
  char b[4096];
  I n, c;
  const char *pr;
  I pl, w, hp;
  char live[4096];
};
inline constexpr I LNMAX = 4095;  // bytes a line may hold
inline constexpr I HMAX = 500;    // history entries

extern volatile sig_atomic_t g_winch;  // a resize is pending
extern I g_raw;                        // the terminal is in raw mode
extern double g_mono_start_ms;         // CLOCK_MONOTONIC ms of the last accepted line
extern char *g_hist[HMAX];
extern I g_hist_n;
extern char g_histpath[512];

V rdlC(V x);                   // builtin rdl: the next line and "\n"
char *lnk_cstr(V x);           // malloc'd text of a char vector or symbol atom
I zk_ln_interactive();         // 1 when the editor is used
I zk_ln_under_rlwrap();        // a parent (up to four up) is rlwrap or rlfe
char *zk_ln_readline(const char *prompt);
void zk_ln_history_add(const char *s);
void zk_ln_history_load();
void refresh(Ln *s);
I u8_wide(const char *p);      // columns of the character at p: 0, 1 or 2
I u8_len(const char *p);       // its bytes: a lead byte and the continuation bytes present
// The shown part of a line after a prompt of P columns in a field: the
// left end *l (the characters from it to the cursor take fewer than f - P
// columns), the end *e (shown while P plus their widths stay below lim),
// and *cx, the columns from *l to the cursor.
void lnwin(const Ln *s, I P, I f, I lim, I *l, I *e, I *cx);
I sb_depth_delta(const char *s);
I rd1(char *c);                // one byte of fd 0, serving the event loop
void wr(const char *d, UJ n);  // all n bytes to fd 1
void wrs(const char *s);       // wr of a NUL-terminated text
I term_rows();                 // rows of fd 1's terminal, 24 in the fallback
I term_cols();                 // columns, 80 in the fallback
double mono_ms();
void on_winch(int sig);
void on_exit_restore();
void paste_preview(Ln *s);
const char *paste_ph();        // the folded paste's placeholder, or nullptr

// ---- scrollback panel and spinner (sb.cpp) ----
extern I g_sb_on, g_sb_alt, g_sb_rows, g_input_plen;
extern I g_scroll, g_hscroll;  // lines back from the live end, columns right
extern char g_sb_panel[640];
extern volatile sig_atomic_t g_spin_on;

V sbbC(V x);  // builtin sbb: panel on or off; `::`
V sbtC(V x);  // builtin sbt: ms since the last accepted line
void sb_region();
void sb_chrome();
void sb_border(I row, const char *l, const char *r);
void sb_infoline();
I sb_expand(const char *t, char *buf, I size);
I sb_disp(const char *t);
void sb_input(Ln *s);
void sb_resync();
void sb_scroll_by(I n);
void sb_hscroll_by(I n);
void sb_repaint_region();
void sb_commit_echo(Ln *s);
void sb_teardown();
void spin_start();
void spin_tick(int sig);
}  // namespace zk
