// ftoa_diff: differential test of the float writer sf against the C++
// library.  For each double, the digits and decimal exponent of sf's text
// must equal those of std::to_chars in shortest scientific form, the text
// must follow the engine's layout (rebuilt here independently from those
// digits), must read back bit for bit through strtod, must fit 24 bytes,
// and must not touch the buffer past its end.
//
// Inputs: random bit patterns over every exponent (subnormals included),
// every exponent with edge mantissas, integers, short decimals and their
// neighbours (the near-halfway cases), powers of ten and their neighbours,
// mantissas with few bits set, and multiples of powers of five.
//
// Usage: ftoa_diff [count-scale] [seed]
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

#include "io/numtext.h"

namespace {

uint64_t nrun = 0, nfail = 0;

uint64_t bits(double x) {
  uint64_t u;
  std::memcpy(&u, &x, 8);
  return u;
}
double dbl(uint64_t u) {
  double x;
  std::memcpy(&x, &u, 8);
  return x;
}

// The engine's layout of digits D (no trailing zeros) whose first digit
// stands at 10^p, written the plain way with strings.
std::string layout(bool neg, const std::string &D, int p) {
  std::string s = neg ? "-" : "";
  int n = (int)D.size();
  if (p >= 0 && p <= 15) {
    if (p + 1 >= n) return s + D + std::string(p + 1 - n, '0') + ".0";
    return s + D.substr(0, p + 1) + "." + D.substr(p + 1);
  }
  if (p >= -3 && p < 0) return s + "0." + std::string(-p - 1, '0') + D;
  s += D[0];
  if (n > 1) s += "." + D.substr(1);
  return s + "e" + std::to_string(p);
}

void check(uint64_t u) {
  const double x = dbl(u);
  if (!std::isfinite(x) || x == 0) return;
  ++nrun;
  char buf[64];
  std::memset(buf, 0x7f, sizeof buf);
  char *e = zk::sf(buf, u);
  std::string mine(buf, e);

  char lb[64];
  auto r = std::to_chars(lb, lb + sizeof lb, x, std::chars_format::scientific);
  std::string lib(lb, r.ptr);
  size_t ep = lib.find('e');
  std::string D;
  for (size_t i = (lib[0] == '-'); i < ep; ++i)
    if (lib[i] != '.') D += lib[i];
  int p = std::atoi(lib.c_str() + ep + 1);
  std::string want = layout(std::signbit(x), D, p);

  const char *why = nullptr;
  bool clean = true;
  for (char *q = e; q < buf + sizeof buf; ++q) clean &= *q == 0x7f;
  if (mine != want)
    why = "text";
  else if (e - buf > 24)
    why = "length";
  else if (!clean)
    why = "wrote past end";
  else if (bits(std::strtod(mine.c_str(), nullptr)) != u)
    why = "round trip";
  if (why) {
    if (++nfail <= 20)
      std::printf("FAIL %s: bits %016llx sf %s want %s (to_chars %s)\n", why, (unsigned long long)u,
                  mine.c_str(), want.c_str(), lib.c_str());
  }
}

void both(double x) {
  check(bits(x));
  check(bits(x) ^ (1ull << 63));
}

void nbrs(double x, int k) {
  uint64_t u = bits(x);
  for (int i = -k; i <= k; ++i) check(u + (uint64_t)(int64_t)i);
}

}  // namespace

int main(int argc, char **argv) {
  const double scale = argc > 1 ? std::atof(argv[1]) : 1.0;
  const uint64_t seed = argc > 2 ? std::strtoull(argv[2], nullptr, 0) : 20240601;
  auto N = [&](double n) { return (uint64_t)(n * scale); };
  std::mt19937_64 g(seed);

  // Uniform random bit patterns: exponents weighted as they occur.
  for (uint64_t i = 0, n = N(2000000); i < n; ++i) check(g());

  // Every exponent, random mantissas: small and huge magnitudes as often as
  // ordinary ones.
  for (uint64_t i = 0, n = N(1000000); i < n; ++i)
    check(((g() % 2047) << 52) | (g() & 0xfffffffffffffull) | (g() & (1ull << 63)));

  // Every exponent with edge mantissas.
  const uint64_t fm = 0xfffffffffffffull;
  const uint64_t edge[] = {0, 1, 2, 3, fm, fm - 1, 1ull << 51, (1ull << 51) - 1, (1ull << 51) + 1,
                           0x5555555555555ull, 0xaaaaaaaaaaaaaull};
  for (uint64_t be = 0; be < 2047; ++be)
    for (uint64_t f : edge) both(dbl((be << 52) | f));

  // Subnormals: small payloads, and random ones.
  for (uint64_t f = 1; f < 20000; ++f) check(f);
  for (uint64_t i = 0, n = N(100000); i < n; ++i) check(g() & fm);

  // Integers: small, near 2^53 and beyond, and random widths.
  for (int64_t v = 1; v <= 100000; ++v) check(bits((double)v));
  for (uint64_t i = 0, n = N(200000); i < n; ++i) {
    uint64_t v = g() >> (g() % 64);
    both((double)v);
  }
  for (int64_t v = (1ll << 53) - 5000; v <= (1ll << 53) + 5000; ++v) check(bits((double)v));

  // Short decimals (1 to 17 digits, any exponent) and their neighbours,
  // where the double sits close to a halfway point between candidates.
  for (uint64_t i = 0, n = N(120000); i < n; ++i) {
    int nd = 1 + (int)(g() % 17);
    uint64_t m = g() % 100000000000000000ull;
    while (m >= 1 && std::to_string(m).size() > (size_t)nd) m /= 10;
    int ex = (int)(g() % 640) - 330;
    char t[48];
    std::snprintf(t, sizeof t, "%llue%d", (unsigned long long)m, ex);
    double x = std::strtod(t, nullptr);
    if (std::isfinite(x) && x != 0) nbrs(x, 2);
  }
  // Prices: cents, and small decimals like 0.1 * k.
  for (int64_t c = 1; c <= 200000; ++c) check(bits((double)c / 100));
  for (int64_t k = 1; k <= 100000; ++k) check(bits(0.1 * (double)k));

  // Powers of ten and their neighbours, across the whole range.
  for (int k = -325; k <= 309; ++k) {
    char t[16];
    std::snprintf(t, sizeof t, "1e%d", k);
    double x = std::strtod(t, nullptr);
    if (std::isfinite(x) && x != 0) nbrs(x, 8);
    for (int j = 2; j <= 9; ++j) {
      std::snprintf(t, sizeof t, "%de%d", j, k);
      x = std::strtod(t, nullptr);
      if (std::isfinite(x) && x != 0) nbrs(x, 2);
    }
  }

  // Mantissas with few bits set (exact binary fractions with long exact
  // decimal expansions), at every exponent.
  for (uint64_t i = 0, n = N(200000); i < n; ++i) {
    uint64_t f = 0;
    for (int k = (int)(g() % 4); k > 0; --k) f |= 1ull << (g() % 52);
    check(((g() % 2047) << 52) | f);
  }

  // Multiples of powers of five: exact quotients in the digit search.
  uint64_t p5 = 1;
  for (int k = 0; k <= 22; ++k, p5 *= 5)
    for (int e = -1100; e <= 1000; e += 1)
      for (uint64_t mul : {1, 3, 7})
        if (p5 * mul < (1ull << 53)) check(bits(std::ldexp((double)(p5 * mul), e)));

  std::printf("%llu passed, %llu failed\n", (unsigned long long)(nrun - nfail),
              (unsigned long long)nfail);
  return nfail != 0;
}
