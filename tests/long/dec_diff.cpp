// dec_diff.cpp: differential run of the decimal-to-double converters
// (io/dec.h) against the C library's strtod, which rounds correctly.  Every
// generated text goes through csv_float; through fast_float when that path
// takes it (signed, and it must then agree too); significand-and-exponent
// forms also through csv_elf, and texts of 20+ digits through csv_long when
// it decides.  Prints per-family counts and exits non-zero on any mismatch.
#include <bit>
#include <cfloat>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "io/dec.h"

using namespace zk;

static_assert(LDBL_MANT_DIG >= 64, "exact midpoints need a long double with 64+ bit significand");

namespace {

uint64_t rs[4] = {0x9E3779B97F4A7C15ull, 0xD1B54A32D192ED03ull, 0xBF58476D1CE4E5B9ull, 0x94D049BB133111EBull};
uint64_t rnd() {  // xoshiro256**
  uint64_t r = std::rotl(rs[1] * 5, 7) * 9, t = rs[1] << 17;
  rs[2] ^= rs[0], rs[3] ^= rs[1], rs[1] ^= rs[2], rs[0] ^= rs[3], rs[2] ^= t;
  rs[3] = std::rotl(rs[3], 45);
  return r;
}
int64_t rin(int64_t lo, int64_t hi) { return lo + int64_t(rnd() % uint64_t(hi - lo + 1)); }
char rdig() { return char('0' + rnd() % 10); }

uint64_t bits(double d) { return std::bit_cast<uint64_t>(d); }

struct Fam { const char *name; long pass = 0, fail = 0; };
Fam *cur;
long nff, nelf, nlong;  // how often the optional paths took part
int shown;

void bad(const char *who, const std::string &s, double got, double want) {
  cur->fail++;
  if (shown++ < 20)
    std::printf("MISMATCH %s [%s] %.120s%s: got %016llx want %016llx\n", who, cur->name, s.c_str(),
                s.size() > 120 ? "..." : "", (unsigned long long)bits(got), (unsigned long long)bits(want));
}

// One unsigned decimal text: csv_float always, fast_float when it takes the
// text (also with a minus sign).
void chk(const std::string &s) {
  double want = std::strtod(s.c_str(), nullptr);
  const char *b = s.data(), *e = b + s.size();
  bool ok = true;
  double got = csv_float(b, e);
  if (bits(got) != bits(want)) bad("csv_float", s, got, want), ok = false;
  double f;
  if (fast_float(b, e, &f) == e) {
    nff++;
    if (bits(f) != bits(want)) bad("fast_float", s, f, want), ok = false;
    std::string n = "-" + s;
    if (fast_float(n.data(), n.data() + n.size(), &f) != n.data() + n.size() || bits(f) != bits(-want))
      bad("fast_float -", n, f, -want), ok = false;
  }
  if (ok) cur->pass++;
}

// w * 10^q through csv_elf as well as text.
void chkwq(uint64_t w, int64_t q) {
  char t[48];
  std::snprintf(t, sizeof t, "%llue%lld", (unsigned long long)w, (long long)q);
  double want = std::strtod(t, nullptr), got = csv_elf(w, q);
  nelf++;
  if (bits(got) != bits(want)) bad("csv_elf", t, got, want);
  chk(t);
}

// Digits i (first non-zero), fraction digits f, exponent x: csv_long when it
// decides, and the text itself.
void chklong(const std::string &i, const std::string &f, int64_t x) {
  std::string s = i + (f.empty() ? "" : "." + f) + "e" + std::to_string(x);
  if (i.size() + f.size() >= 20) {
    double v;
    if (csv_long(i.data(), int64_t(i.size()), f.data(), int64_t(i.size()) + x, &v)) {
      nlong++;
      double want = std::strtod(s.c_str(), nullptr);
      if (bits(v) != bits(want)) bad("csv_long", s, v, want);
    }
  }
  chk(s);
}

std::string digs(int n, bool lead) {
  std::string s(size_t(n), '0');
  for (auto &c : s) c = rdig();
  if (lead && n) s[0] = char('1' + rnd() % 9);
  return s;
}

// Exact decimal of the midpoint above d as digits D (first non-zero) and p
// with value D * 10^p.
void midpoint(double d, std::string &D, int64_t &p) {
  long double u = d == DBL_MAX ? 2.0L * d - std::nextafter(d, 0.0) : std::nextafter(d, INFINITY);
  long double m = ((long double)d + u) / 2;
  static char b[1200];
  std::snprintf(b, sizeof b, "%.800Le", m);
  char *e = std::strchr(b, 'e');
  long x = std::strtol(e + 1, nullptr, 10);
  D.assign(1, b[0]);
  D.append(b + 2, e);
  while (D.size() > 1 && D.back() == '0') D.pop_back();
  p = x - int64_t(D.size() - 1);
}

// The k-digit prefix of D plus one unit in its last place.
std::string up(std::string s) {
  size_t k = s.size();
  while (k && s[k - 1] == '9') s[--k] = '0';
  if (k) s[k - 1]++;
  else s.insert(s.begin(), '1');
  return s;
}

// D * 10^p written with a point after j digits.
void put(const std::string &D, int64_t p, size_t j, const std::string &tail = "") {
  if (j > D.size()) j = D.size();
  std::string i = D.substr(0, j), f = D.substr(j) + tail;
  int64_t x = p + int64_t(D.size()) - int64_t(j);
  if (i.empty()) chk("0." + f + "e" + std::to_string(x));
  else chklong(i, f, x);
}

void realistic(long n) {
  for (long k = 0; k < n; ++k) {
    std::string s = digs(int(rin(1, 9)), rnd() % 8 != 0);
    int fr = int(rin(0, 10));
    if (fr || rnd() % 4 == 0) s += "." + digs(fr, false);
    switch (rnd() % 6) {
      case 0: s += "e" + std::to_string(rin(-30, 30)); break;
      case 1: s += (rnd() & 1 ? "E+" : "e-") + std::to_string(rin(0, 25)); break;
      case 2: if (s[0] != '.') s = "." + s.substr(0, s.find('.')); break;
    }
    chk(s);
  }
}

void clinger(long n) {  // the fast path's own domain and its edges
  for (long k = 0; k < n; ++k) {
    int nd = int(rin(1, 17));
    std::string d = digs(nd, true);
    int j = int(rin(0, nd));
    std::string s = d.substr(0, size_t(j)) + "." + d.substr(size_t(j));
    if (j == 0 && rnd() & 1) s = "0" + s;
    s += "e" + std::to_string(rin(-24, 24));
    chk(s);
  }
}

void wq(long n) {
  for (long k = 0; k < n; ++k) {
    int b = int(rin(1, 64));
    uint64_t w = rnd() >> (64 - b) | uint64_t(1) << (b - 1);
    chkwq(w, rin(-350, 320));
  }
  for (long k = 0; k < n / 10; ++k) chkwq(rnd(), rin(-30, 30));  // the tie window
}

void wide(long n) {  // 19- and 20-digit significands, and a little beyond
  for (long k = 0; k < n; ++k) {
    int nd = int(rin(19, 24));
    std::string d = digs(nd, true);
    if (rnd() % 4 == 0) d.replace(size_t(rin(2, 17)), 0, std::string(size_t(rin(1, 6)), rnd() & 1 ? '0' : '9'));
    if (nd == 19 && rnd() % 3 == 0) chkwq(std::strtoull(d.c_str(), nullptr, 10), rin(-345, 311));
    else put(d, rin(-345 - nd, 311 - nd + 20), size_t(rin(1, int64_t(d.size()))));
  }
}

// Halfway points above random doubles of every binary exponent: exact
// (ties), truncated (just below) and truncated-plus-one-unit (just above).
void halfway(int per) {
  std::string D;
  int64_t p;
  for (int be = 0; be <= 2046; ++be)
    for (int k = 0; k < per; ++k) {
      uint64_t mant = k == 0 ? 0 : k == 1 ? (uint64_t(1) << 52) - 1 : rnd() >> 12;
      double d = std::bit_cast<double>(uint64_t(be) << 52 | mant);
      midpoint(d, D, p);
      int64_t L = int64_t(D.size());
      put(D, p, size_t(rin(1, L)));
      for (int t : {16, 17, 19, 20, 25}) {
        if (t >= L) continue;
        std::string a = D.substr(0, size_t(t)), b = up(a);
        int64_t x = p + L - t;
        put(a, x, size_t(rin(1, t)));
        put(b, x, b.size());  // b * 10^x, whether or not the carry lengthened b
        if (t == 19) {
          uint64_t w = std::strtoull(a.c_str(), nullptr, 10);
          chkwq(w, x), chkwq(w + 1, x);
        }
      }
    }
}

void longtexts(int n) {
  std::string D;
  int64_t p;
  for (int k = 0; k < n; ++k) {
    int nd = int(rin(800, 5000));
    std::string d = digs(nd, true);
    int64_t x = rin(-340, 320) - nd;
    if (k % 8 == 0) x = rin(-330, -300) - nd;  // deep subnormal
    if (k % 8 == 1) x = rin(300, 310) - nd;    // around DBL_MAX
    put(d, x, size_t(rin(1, nd)));
    if (k % 4 == 0) chk("0." + std::string(size_t(rin(1, 400)), '0') + d + "e" + std::to_string(rin(0, 700)));
  }
  // Midpoints hidden behind very long runs: exactly tied, a hair above, a
  // hair below.
  for (int k = 0; k < n; ++k) {
    uint64_t bw = uint64_t(rin(0, 2046)) << 52 | (rnd() >> 12);
    midpoint(std::bit_cast<double>(bw), D, p);
    std::string z(size_t(rin(1, 3000)), '0');
    size_t j = size_t(rin(1, int64_t(D.size())));
    put(D, p, j, z);
    put(D, p, j, z + "1");
    std::string lo = D;
    size_t i = lo.size() - 1;
    while (lo[i] == '0') lo[i--] = '9';
    lo[i]--;
    put(lo, p, j, std::string(z.size(), '9'));
    std::string lead = "0." + std::string(size_t(rin(1, 1500)), '0');
    int64_t E = p + int64_t(lead.size() - 2 + D.size());
    chk(lead + D + "e" + std::to_string(E));
    chk(lead + D + z + "1e" + std::to_string(E));
  }
}

void extremes(long n) {  // overflow, underflow, huge exponents, zeros
  const char *fixed[] = {"0", "0.0e5", "000.000e-99999999999999999999999", "1e99999999999999999999",
                         "1e-99999999999999999999", "1e309", "1e308", "1e-324", "1e-323", "0.5e-323",
                         "2.4703282292062327e-324", "2.4703282292062328e-324", "4.9406564584124654e-324",
                         "1.7976931348623157e308", "1.7976931348623158e308", "1.797693134862315807e308",
                         "1.797693134862315808e308", "179769313486231580793728971405303415079934e267"};
  for (const char *s : fixed) chk(s);
  for (long k = 0; k < n; ++k) {
    std::string d = digs(int(rin(1, 22)), true);
    int64_t x = rnd() & 1 ? rin(300, 330) : rin(-345, -300);
    if (rnd() % 16 == 0) x = (rnd() & 1 ? 1 : -1) * rin(400, 1000000000000000000ll);
    chk(d + "e" + std::to_string(x - int64_t(d.size())));
    if (k % 4 == 0) chk(std::string(size_t(rin(1, 30)), '0') + d + "." + std::string(size_t(rin(0, 30)), '0') + "e" + std::to_string(x));
  }
}

}  // namespace

// An optional argument multiplies every family's size (default 1).
int main(int argc, char **argv) {
  long z = argc > 1 ? std::max(1L, std::atol(argv[1])) : 1;
  Fam fams[] = {{"realistic"}, {"clinger-range"}, {"w*10^q"}, {"19-24 digits"},
                {"halfway"},   {"long-texts"},    {"extremes"}};
  auto t0 = std::chrono::steady_clock::now();
  long nf = 0, pf = 0;
  for (Fam &f : fams) {
    cur = &f;
    auto t = std::chrono::steady_clock::now();
    switch (&f - fams) {
      case 0: realistic(250000 * z); break;
      case 1: clinger(200000 * z); break;
      case 2: wq(500000 * z); break;
      case 3: wide(300000 * z); break;
      case 4: halfway(int(32 * z)); break;
      case 5: longtexts(int(2500 * z)); break;
      case 6: extremes(100000 * z); break;
    }
    double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count();
    std::printf("%-14s %9ld passed, %ld failed  (%.2fs)\n", f.name, f.pass, f.fail, s);
    pf += f.pass, nf += f.fail;
  }
  double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  std::printf("paths: fast_float %ld, csv_elf %ld, csv_long decided %ld\n", nff, nelf, nlong);
  std::printf("dec_diff: %ld passed, %ld failed (%.2fs)\n", pf, nf, s);
  return nf != 0;
}
