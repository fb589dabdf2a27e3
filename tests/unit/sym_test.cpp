// Unit tests of symbol interning, the text ring, global keys, the globals
// table with namespaces, and global reads.  Tests that need the
// process-wide tables empty run in a freshly started child process.
#include <gtest/gtest.h>
#include <cstdio>
#include <set>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>
#include "core/err.h"
#include "core/sym.h"
#include "order/order.h"
#include "testutil.h"

using namespace zk;

namespace {
struct Sym : ::testing::Test {
  void SetUp() override { boot_once(); }
};

using zkt::etext;

// A symbol vector of the given names.
V syms(std::initializer_list<const char *> names) {
  V v = an((U)names.size(), tSYM);
  U i = 0;
  for (const char *s : names) PI(v)[i++] = us(s);
  return v;
}

// Runs body in a child started afresh (a new exec of this test binary), so
// the process-wide pool and globals table are empty; exit code 0 = pass,
// any other code names the failed step.
#define FRESH(body)                                        \
  do {                                                     \
    GTEST_FLAG_SET(death_test_style, "threadsafe");        \
    EXPECT_EXIT(_exit(body()), ::testing::ExitedWithCode(0), ""); \
  } while (0)
}  // namespace

TEST_F(Sym, PackedAndPooledIds) {
  struct Row {
    const char *text;
    bool packed;
    I id;  // expected id when packed
  } rows[] = {
      {"", true, 0},
      {"a", true, 0x61},
      {"abc", true, 0x636261},               // first byte lowest, top byte 0
      {"abcd", true, 0x64636261},            // four ASCII bytes
      {"abc\x7f", true, 0x7f636261},         // last byte just below 0x80
      {"\xc3\xa9x", true, 0x78a9c3},         // 3 bytes, the first above 0x7F
      {"\xff\xff\xff", true, 0xffffff},      // 3 bytes all high: still positive
      {"\xc3\xa9\x61\x62", true, 0x6261a9c3}, // high bytes, ASCII last
      {"abc\xc3", false, 0},                 // 4 bytes ending in 0xC3: pooled
      {"ab\xc3\xa9", false, 0},              // 4 bytes ending in a continuation byte
      {"abcde", false, 0},
      {"a_rather_long_symbol_name_of_more_than_thirty_two_bytes", false, 0},
  };
  for (const Row &r : rows) {
    SCOPED_TRACE(r.text);
    I id = us(r.text);
    if (r.packed) { EXPECT_EQ(id, r.id); }
    else EXPECT_LT(id, 0);
    EXPECT_STREQ(su(id), r.text);
    EXPECT_EQ(usn(r.text, strlen(r.text)), id);
  }
  // usn cuts at a NUL, and interns only its n bytes.
  EXPECT_EQ(usn("abcdefgh", 5), us("abcde"));
  EXPECT_EQ(usn("ab\0zzzzzz", 9), us("ab"));
  EXPECT_EQ(usn("abc\xc3zz", 4), us("abc\xc3"));
}

TEST_F(Sym, SameLongNameTwice) {
  std::string a = "symtest_same_long_name", b = a;  // distinct buffers, same text
  I x = us(a.c_str()), y = us(b.c_str());
  EXPECT_EQ(x, y);
  EXPECT_LT(x, 0);
  EXPECT_EQ(su(x), su(y));  // one pooled text, stable address
  EXPECT_STREQ(su(x), "symtest_same_long_name");
  EXPECT_NE(us("symtest_same_long_namf"), x);
  EXPECT_NE(us("symtest_same_long_nam"), x);  // a prefix is another name
  EXPECT_TRUE(sym_valid(x));
  EXPECT_FALSE(sym_valid(x - 1));  // inside a name, not at its start
  EXPECT_FALSE(sym_valid(-(I)(s1 - s0)));  // past the last name
}

TEST_F(Sym, TextRingHoldsEightShortIds) {
  const char *names[9] = {"a", "bb", "ccc", "dddd", "e", "ff", "ggg", "hhhh", "i"};
  const char *p[9];
  for (int i = 0; i < 8; i++) p[i] = su(us(names[i]));
  std::set<const char *> distinct(p, p + 8);
  EXPECT_EQ(distinct.size(), 8u);
  for (int i = 0; i < 8; i++) EXPECT_STREQ(p[i], names[i]);
  p[8] = su(us(names[8]));  // the ninth reuses the oldest slot
  EXPECT_EQ(p[8], p[0]);
  EXPECT_STREQ(p[0], "i");
  for (int i = 1; i < 8; i++) EXPECT_STREQ(p[i], names[i]);
}

TEST_F(Sym, ManyNamesSurviveGrowth) {
  // Enough names to double the table several times; every earlier id must
  // still be found with its text after each rehash.
  std::vector<std::string> names;
  std::vector<I> ids;
  for (int i = 0; i < 20000; i++) {
    char b[32];
    snprintf(b, sizeof b, "symtest_grow_%d", i);
    names.push_back(b);
    ids.push_back(us(b));
  }
  EXPECT_GE(shc, 2 * shn);  // the load stays at or below one half
  std::set<I> distinct(ids.begin(), ids.end());
  EXPECT_EQ(distinct.size(), ids.size());
  for (size_t i = 0; i < names.size(); i++) {
    ASSERT_EQ(us(names[i].c_str()), ids[i]);
    ASSERT_STREQ(su(ids[i]), names[i].c_str());
  }
}

static int doubling() {
  if (shc != 0 || shn != 0) return 1;
  char b[32];
  for (int i = 0; i < 511; i++) {
    snprintf(b, sizeof b, "longname%d", i);
    us(b);
  }
  if (shn != 511) return 2;
  if (shc != 1024) return 3;  // 2 x 511 is below 1024
  I last = us("the512thname");
  if (shn != 512) return 4;
  if (shc != 2048) return 5;  // 2 x 512 is not below 1024
  for (int i = 0; i < 511; i++) {
    snprintf(b, sizeof b, "longname%d", i);
    if (strcmp(su(us(b)), b)) return 6;
  }
  if (us("the512thname") != last || shn != 512) return 7;
  // Short names never reach the table.
  us("abcd");
  return shn == 512 ? 0 : 8;
}
TEST_F(Sym, TableDoublesAtThe512thName) { FRESH(doubling); }

TEST_F(Sym, InterningFromSeveralThreads) {
  // Every thread interns the same names in its own order, plus names of its
  // own, in shared mode.  All must agree on every id.
  constexpr int T = 6, N = 3001;  // prime, so every stride below is a permutation
  std::vector<std::vector<I>> got(T, std::vector<I>(N));
  std::vector<std::vector<I>> own(T, std::vector<I>(200));
  std::vector<std::thread> th;
  for (int t = 0; t < T; t++)
    th.emplace_back([t, &got, &own] {
      tl.rc_sync = 1;
      char b[48];
      for (int k = 0; k < N; k++) {
        int i = (k * (2 * t + 1) + 7 * t) % N;  // a different order per thread
        snprintf(b, sizeof b, "symtest_mt_shared_%d", i);
        got[t][i] = us(b);
        if (strcmp(su(got[t][i]), b)) got[t][i] = 0;
        if (k % 15 == 0 && k / 15 < 200) {
          snprintf(b, sizeof b, "symtest_mt_own_%d_%d", t, k / 15);
          own[t][k / 15] = us(b);
        }
      }
      tl.rc_sync = 0;
    });
  for (auto &x : th) x.join();
  char b[48];
  for (int i = 0; i < N; i++) {
    snprintf(b, sizeof b, "symtest_mt_shared_%d", i);
    I id = us(b);
    for (int t = 0; t < T; t++) ASSERT_EQ(got[t][i], id) << "thread " << t << " name " << i;
  }
  std::set<I> all;
  for (int t = 0; t < T; t++)
    for (int k = 0; k < 200; k++) {
      snprintf(b, sizeof b, "symtest_mt_own_%d_%d", t, k);
      ASSERT_STREQ(su(own[t][k]), b);
      all.insert(own[t][k]);
    }
  EXPECT_EQ(all.size(), (size_t)T * 200);
}

TEST_F(Sym, GlobalsInSharedModeThreads) {
  // Threads create slots under the lock while others read existing globals
  // without one.
  V name = as(us("symtest_mt_global"));
  U s = gi(name);
  gv[s] = ai(42);
  constexpr int T = 6;
  std::vector<U> slots(T * 100);
  std::vector<int> bad(T);
  std::vector<std::thread> th;
  for (int t = 0; t < T; t++)
    th.emplace_back([t, &slots, &bad] {
      tl.rc_sync = 1;
      char b[48];
      for (int k = 0; k < 100; k++) {
        snprintf(b, sizeof b, "symtest_mt_g_%d", k);  // every thread the same names
        U i = gi(as(us(b)));
        if (t == 0) slots[k] = i;
        else if (gk[i] != (UJ)(U)us(b)) bad[t]++;
        V r = gg(as(us("symtest_mt_global")));
        if (r != ai(42)) bad[t]++;
      }
      tl.rc_sync = 0;
    });
  for (auto &x : th) x.join();
  for (int t = 0; t < T; t++) EXPECT_EQ(bad[t], 0);
  char b[48];
  for (int k = 0; k < 100; k++) {
    snprintf(b, sizeof b, "symtest_mt_g_%d", k);
    EXPECT_EQ(gi(as(us(b))), slots[k]);  // one slot per name
  }
}

TEST_F(Sym, GlobalKeys) {
  I a = us("a"), b = us("b"), c = us("c"), ab = us("a.b"), lng = us("symtest_ns_long_name");
  V v3 = syms({"a", "b", "c"}), v1 = syms({"c"}), v0 = an(0, tSYM), vl = syms({"symtest_ns_long_name", "c"});
  struct Row {
    V name;
    UJ key;
  } rows[] = {
      {as(c), (U)c},
      {as(lng), (U)lng},  // a pooled id as its unsigned 32 bits
      {v0, 0},
      {v1, (U)c},
      {v3, (UJ)(U)ab << 32 | (U)c},
      {vl, (UJ)(U)lng << 32 | (U)c},
  };
  for (const Row &r : rows) EXPECT_EQ(gkk(r.name), r.key);
  EXPECT_EQ(hd(v3)->rc, 1u);  // borrowed
  (void)a, (void)b;
  mr(v3), mr(v1), mr(v0), mr(vl);
}

TEST_F(Sym, NamespacesAndTheCurrentNamespace) {
  I q = us("q"), saved = gd;
  G root = tl.groot;
  gd = 0;
  U plain_root = gi(as(us("sabc")));
  gd = q;
  U plain = gi(as(us("sabc")));
  V qv = syms({"q", "sabc"});
  EXPECT_EQ(gi(qv), plain);  // abc in namespace q is q.abc
  EXPECT_NE(plain, plain_root);
  EXPECT_EQ(gk[plain], (UJ)(U)q << 32 | (U)us("sabc"));

  // Names that stay at the root even with a current namespace.
  struct Row {
    const char *name;
    bool qualified;
  } rows[] = {
      {"_sab", false}, {".sab", false}, {"9sab", false}, {"_symtest_long_under", false},
      {"Sab", true},   {"zab", true},   {"\xd0\x96sb", true},  // Cyrillic lead bytes 0xD0, 0xD1
      {"\xd1\x8fsb", true}, {"\xc3\xa9sb", false},            // other high bytes stay at root
      {"symtest_long_letter", true},
  };
  for (const Row &r : rows) {
    SCOPED_TRACE(r.name);
    I id = us(r.name);
    U s = gi(as(id));
    EXPECT_EQ(gk[s], r.qualified ? ((UJ)(U)q << 32 | (U)id) : (UJ)(U)id);
  }
  // With groot set, library code binds plain names at the root.
  tl.groot = 1;
  EXPECT_EQ(gi(as(us("sabc"))), plain_root);
  tl.groot = root;
  // A one-name vector has no namespace part either, so it is qualified too.
  V rv = syms({"sabc"});
  EXPECT_EQ(gi(rv), plain);
  gd = saved;
  mr(qv), mr(rv);
}

TEST_F(Sym, ReadingGlobals) {
  I saved = gd;
  gd = 0;
  U s = gi(as(us("symtest_read")));
  V val = aCz("hello");
  gv[s] = val;
  V r = gg(as(us("symtest_read")));
  EXPECT_EQ(r, val);
  EXPECT_EQ(hd(val)->rc, 2u);  // a new reference
  mr(r);
  // Through a one-name vector, and in a namespace through its path.
  V p = syms({"symtest_read"});
  EXPECT_EQ(gg(p), val);
  mr(val);
  U t = gi(syms({"symtest_ns", "inner"}));
  gv[t] = ai(7);
  EXPECT_EQ(gg(syms({"symtest_ns", "inner"})), ai(7));
  // gg never qualifies: the plain name is a different, undefined global.
  gd = us("symtest_ns");
  EXPECT_EQ(gg(as(us("inner"))), 0u);
  gd = 0;

  // Undefined globals fail with an error named after the variable alone.
  struct Row {
    V name;
    const char *text;
  } rows[] = {
      {as(us("zq")), "'zq\n"},
      {as(us("symtest_nosuchvar")), "'symtest_nosuchvar\n"},
      {syms({"symtest_ns", "missing"}), "'missing\n"},
      {as(us("symtest_an_undefined_name_longer_than_32_bytes")), "'symtest_an_undefined_name_longer\n"},
  };
  for (const Row &rw : rows) {
    EXPECT_EQ(gg(rw.name), 0u);
    EXPECT_EQ(etext(), rw.text);
  }
  // A slot that exists but holds no value is undefined too.
  gi(as(us("symtest_empty_slot")));
  EXPECT_EQ(gg(as(us("symtest_empty_slot"))), 0u);
  EXPECT_EQ(etext(), "'symtest_empty_slot\n");
  // Not a name at all.
  EXPECT_EQ(gg(ai(3)), 0u);
  EXPECT_EQ(etext(), "'type\n");
  gd = saved;
}

static int listing() {
  if (gn != 0) return 1;
  gv[gi(as(us("a")))] = ai(1);
  gi(as(us("b")));  // a slot without a value is not listed
  V path = an(2, tSYM);
  PI(path)[0] = us("q");
  PI(path)[1] = us("long_member_name");
  gv[gi(path)] = aCz("x");
  mr(path);
  gv[gi(as(us("d")))] = ai(2);
  V e = an(0, tSYM);
  V d = gg(e);
  if (!d || tp(d) != tDICT) return 2;
  V k = PA(d)[0], v = PA(d)[1];
  if (tp(k) != tSYM || nx(k) != 3) return 3;
  if (strcmp(su(PI(k)[0]), "a") || strcmp(su(PI(k)[1]), "q.long_member_name") || strcmp(su(PI(k)[2]), "d"))
    return 4;
  V want = an(3, tLIST);
  PA(want)[0] = ai(1);
  PA(want)[1] = aCz("x");
  PA(want)[2] = ai(2);
  if (!mtc_(v, want)) return 5;
  mr(want);
  mr(d);
  // No value at all gives an empty dict.
  for (U i = 0; i < gn; i++)
    if (gv[i]) mr(gv[i]), gv[i] = 0;
  d = gg(an(0, tSYM));
  if (!d || tp(d) != tDICT || nx(PA(d)[0]) != 0) return 6;
  mr(d);
  return 0;
}
TEST_F(Sym, ListingEveryGlobal) { FRESH(listing); }

// Packed four-byte names "g" + three letters of a 64-letter alphabet: as
// many distinct root keys as the table has slots, without the pool.
static void gname(char *b, U i) {
  static const char al[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz_.";
  b[0] = 'g', b[1] = al[i & 63], b[2] = al[(i >> 6) & 63], b[3] = al[(i >> 12) & 63], b[4] = 0;
}
static int fill() {
  if (gn != 0) return 1;
  char b[8];
  // Most slots are written as the VM's stores leave them; the last ones,
  // and every check, go through gi.
  for (U i = 0; i < NG - 8; i++) {
    gname(b, i);
    gk[i] = (U)us(b);
  }
  gn = NG - 8;
  for (U i = NG - 8; i < NG; i++) {
    gname(b, i);
    if (gi(as(us(b))) != i || gfull) return 2;
  }
  if (gn != NG) return 3;
  if (gi(as(us("one_more_name"))) != 0 || !gfull) return 4;
  if (gn != NG || gk[0] != (U)us("g000")) return 5;  // nothing was made or moved
  gfull = 0;
  for (U i : {0u, 1u, 40000u, NG - 9, NG - 1}) {
    gname(b, i);
    if (gi(as(us(b))) != i || gfull) return 6;  // existing names still resolve
  }
  return 0;
}
TEST_F(Sym, FullGlobalsTable) { FRESH(fill); }
