// Unit tests of the value word, allocator, constructors and arena.
#include <gtest/gtest.h>
#include <cstddef>
#include <thread>
#include "capi/capi.h"
#include "capi/capi_int.h"
#include "testutil.h"

using namespace zk;

namespace {
struct Core : ::testing::Test {
  void SetUp() override { boot_once(); }
};

bool on_list(int k, V d) {
  for (V p = tl.bkt[k]; p; p = hd(p)->link)
    if (p == d) return true;
  return false;
}
}  // namespace

TEST_F(Core, Immediates) {
  EXPECT_EQ(GNULL, 0x1d00000000000000ull);
  EXPECT_EQ(tp(GNULL), tMONAD);
  EXPECT_EQ(ai(-1), 0x14000000FFFFFFFFull);
  EXPECT_EQ(ip(ai(-1)), -1);
  EXPECT_EQ(gl_(ai(-7)), -7);
  EXPECT_EQ(tp(ac('a')), tCHRA);
  EXPECT_EQ(ip(ac((char)0xE9)), -23);  // chars read as signed bytes
  EXPECT_EQ(tp(as(-5)), tSYMA);
  EXPECT_EQ(ip(as(-5)), -5);
  EXPECT_FALSE(heap(ai(3)));
  EXPECT_EQ(_r(ai(3)), ai(3));
  mr(ai(3));  // immediates are never counted
}

TEST_F(Core, HeaderLayout) {
  EXPECT_EQ(sizeof(Hdr), 32u);
  EXPECT_EQ(offsetof(Hdr, cls), 0u);
  EXPECT_EQ(offsetof(Hdr, colour), 1u);
  EXPECT_EQ(offsetof(Hdr, link), 8u);
  EXPECT_EQ(offsetof(Hdr, attr), 16u);
  EXPECT_EQ(offsetof(Hdr, valence), 19u);
  EXPECT_EQ(offsetof(Hdr, type), 20u);
  EXPECT_EQ(offsetof(Hdr, rc), 24u);
  EXPECT_EQ(offsetof(Hdr, count), 28u);
  V x = an(3, tLONG);
  EXPECT_EQ(x & 63, 0u);  // data is 64-byte aligned
  EXPECT_EQ(hd(x)->type, tLONG);
  EXPECT_EQ(hd(x)->rc, 1u);
  EXPECT_EQ(nx(x), 3u);
  EXPECT_EQ(hd(x)->attr, 0);
  mr(x);
}

TEST_F(Core, TypeTables) {
  EXPECT_STREQ(TS, "0AIIIIIIFCSDTNHJYEMmiifcsopqruvwxdtnhjye");
  EXPECT_EQ(TT[tDICT], tTABLE);
  EXPECT_EQ(TT[tRANGE], tLONG);
  for (int t = tDATEA; t <= tTSPANA; t++) EXPECT_EQ(TT[t], t - 22);
  struct { int t; U n; UJ bytes; } rows[] = {
      {tBOOL, 9, 2},  {tBOOL, 64, 8}, {tBYTE, 5, 5},   {tSHORT, 5, 10}, {tINT, 3, 12},
      {tLONG, 3, 24}, {tFLT, 1, 8},   {tCHR, 0, 0},    {tSYM, 2, 8},    {tDATE, 1, 4},
      {tTSTAMP, 2, 16}, {tLIST, 2, 16}, {tTSPAN, 1, 8}};
  for (auto &r : rows) EXPECT_EQ(dbytes(r.n, r.t), r.bytes) << "type " << r.t << " n " << r.n;
  struct { J v; int t; } z[] = {{0, 4},      {127, 4},       {-128, 4},          {128, 5},
                                {-129, 5},   {-32768, 5},    {32767, 5},         {32768, 6},
                                {INT32_MIN, 6}, {2147483648LL, 7}, {NJ, 7},       {WJ, 7}};
  for (auto &r : z) EXPECT_EQ(tZ(r.v), r.t) << r.v;
}

TEST_F(Core, SizeClasses) {
  struct { UJ b; int k; } rows[] = {{0, 1}, {64, 1}, {65, 2}, {192, 2}, {193, 3}, {448, 3},
                                    {449, 4}, {(64ull << 23) - 64, 23}, {(64ull << 23) - 63, 24}};
  for (auto &r : rows) EXPECT_EQ(szk(r.b), r.k) << r.b;
}

TEST_F(Core, EmptiesAndNulls) {
  for (int t = 1; t <= 17; t++) {
    EXPECT_EQ(tp(ce[t]), t);
    EXPECT_EQ(nx(ce[t]), 0u);
  }
  EXPECT_EQ(PA(ce[tLIST])[0], ce[tCHR]);  // prototype of the empty list
  EXPECT_EQ(ce[tTABLE], ce[tLIST]);
  EXPECT_EQ(ce[tINTA], ce[tLIST]);
  EXPECT_EQ(tp(ce[tDICT]), tDICT);
  EXPECT_EQ(PA(ce[tDICT])[0], ce[tSYM]);
  EXPECT_EQ(cn[tTSTAMP], cn[tTSTAMPA]);
  EXPECT_EQ(tp(cn[tTSTAMPA]), tTSTAMPA);
  EXPECT_EQ(PL(cn[tTSTAMPA])[0], NJ);
  EXPECT_EQ(PL(cn[tINT])[0], NJ);
  EXPECT_EQ(cn[tCHR], 0x1700000000000020ull);
  EXPECT_EQ(cn[tSYM], 0x1800000000000000ull);
  EXPECT_EQ(cn[tDATE], 0x2100000080000000ull);
  EXPECT_EQ(cn[tMONTHA], 0x2600000080000000ull);
  EXPECT_EQ(cn[tLAMBDA], GNULL);
  EXPECT_EQ(cn[tTABLE], 0u);
  UJ nan;
  memcpy(&nan, PF(cn[tFLT]), 8);
  EXPECT_EQ(nan, NF_BITS);
  EXPECT_GE(nx(cns), 22u);  // boot's 22 first; cached lambdas are pinned after them
  EXPECT_EQ(PA(cns)[17], ce[tDICT]);
  EXPECT_EQ(PA(cns)[21], cn[tTSPAN]);
}

TEST_F(Core, Constructors) {
  EXPECT_EQ(az(2147483647), ai(2147483647));
  EXPECT_EQ(az(-1), 0x14000000FFFFFFFFull);
  for (J v : {2147483648LL, -2147483649LL}) {
    V x = az(v);
    ASSERT_TRUE(heap(x));
    EXPECT_EQ(tp(x), tLONGA);
    EXPECT_EQ(gl(x), v);
  }
  EXPECT_EQ(aE(5, 5), ce[tBYTE]);
  mr(ce[tBYTE]);
  V r = aE(2, 5);
  EXPECT_EQ(tp(r), tRANGE);
  EXPECT_EQ(nx(r), 2u);
  EXPECT_EQ(PL(r)[1] - PL(r)[0], 3);
  mr(r);
  V s = aCz("hello");
  EXPECT_EQ(tp(s), tCHR);
  EXPECT_EQ(nx(s), 5u);
  EXPECT_EQ(memcmp(PC(s), "hello", 5), 0);
  V l = aA0(4);
  EXPECT_EQ(nx(l), 0u);
  EXPECT_EQ(PA(l)[0], ce[tCHR]);
  U before = hd(ce[tCHR])->rc;
  mr(l);  // releasing an empty list releases its prototype
  EXPECT_EQ(hd(ce[tCHR])->rc, before - 1);
  V d = am(aCz("k"), aA2(al(1), af(2.5)));
  V keys = d;
  V vals = kv(&keys);
  EXPECT_EQ(tp(keys), tCHR);
  EXPECT_EQ(nx(vals), 2u);
  EXPECT_EQ(PF(PA(vals)[1])[0], 2.5);
  mr(keys), mr(vals);
}

TEST_F(Core, CopyOnWrite) {
  V x = aL(3);
  for (int i = 0; i < 3; i++) PL(x)[i] = i;
  hd(x)->attr = 1;
  V y = mut(x);  // sole owner: same object, attribute cleared
  EXPECT_EQ(y, x);
  EXPECT_EQ(hd(y)->attr, 0);
  hd(x)->attr = 1;
  _r(x);
  V z = mut(x);  // shared: a copy, the original untouched
  EXPECT_NE(z, x);
  EXPECT_EQ(hd(x)->rc, 1u);
  EXPECT_EQ(hd(x)->attr, 1);
  EXPECT_EQ(hd(z)->attr, 0);
  EXPECT_EQ(PL(z)[2], 2);
  mr(x), mr(z);

  V e = aA0(0);
  V p = aCz("proto");
  mr(PA(e)[0]);
  PA(e)[0] = p;
  _r(e);
  V e2 = mut(e);  // the copy keeps and owns the prototype
  EXPECT_NE(e2, e);
  EXPECT_EQ(PA(e2)[0], p);
  EXPECT_EQ(hd(p)->rc, 2u);
  mr(e), mr(e2);
}

TEST_F(Core, Growth) {
  V x = aL(8);
  for (int i = 0; i < 8; i++) PL(x)[i] = i * 10;
  EXPECT_EQ(hd(x)->cls, 1);
  V y = aa(9, x);  // class 1 holds 8 longs: copy into class 2
  EXPECT_NE(y, x);
  EXPECT_EQ(hd(y)->cls, 2);
  EXPECT_EQ(PL(y)[7], 70);
  V z = aa(24, y);  // class 2 holds 24 longs: in place
  EXPECT_EQ(z, y);
  V w = aa(25, z);
  EXPECT_NE(w, z);
  EXPECT_EQ(nx(w), 25u);
  EXPECT_EQ(PL(w)[0], 0);
  mr(w);

  V item = aCz("item");
  V l = aA2(item, ai(1));
  _r(l);
  V g = aa(20, l);  // shared list: both lists own the item
  EXPECT_NE(g, l);
  EXPECT_EQ(hd(item)->rc, 2u);
  EXPECT_EQ(PA(l)[0], item);
  hd(g)->count = 2;
  mr(g);
  EXPECT_EQ(hd(item)->rc, 1u);
  mr(l);
}

TEST_F(Core, ReleaseAndFreeLists) {
  V x = an(10, tLONG);
  _r(x);
  mr(x);
  EXPECT_EQ(hd(x)->rc, 1u);
  int k = hd(x)->cls;
  mr(x);
  EXPECT_EQ(tl.bkt[k], x);  // pushed on the head of its class
  EXPECT_EQ(hd(x)->rc, 0u);
  V y = an(10, tLONG);  // and reused first
  EXPECT_EQ(y, x);
  mr(y);
}

// A builder that gives up before storing item 0 sets the count to 0 and
// releases the list; the block's last use must not leave a live-looking
// word in slot 0 for release to follow.
TEST_F(Core, AbandonedListOwnsNothing) {
  for (int t : {(int)tLIST, (int)tDICT, (int)tTABLE}) {
    V a = an(3, tLIST);
    PA(a)[0] = an(2, tLONG);
    hd(a)->count = 1;
    mr(a);  // its block goes back with a heap word in slot 0
    UJ before = freebytes();
    V b = an(3, t);  // the same block again
    EXPECT_EQ(b, a);
    EXPECT_EQ(PA(b)[0], GNULL);
    hd(b)->count = 0;
    mr(b);
    V c = an(3, tLIST);  // a failed item 0 leaves no value there
    PA(c)[0] = 0;
    hd(c)->count = 0;
    mr(c);
    EXPECT_EQ(freebytes(), before) << t;
  }
}

// Release walks nested lists on a work list of its own, so the depth of a
// value is never bounded by the C stack.
TEST_F(Core, DeepNestingReleases) {
  auto deep = [](U n) {
    V x = aA0(0);
    for (U i = 0; i < n; i++) x = aA1(x);
    return x;
  };
  mr(deep(1000));
  UJ before = freebytes();
  V x = deep(1000000);
  V y = aA2(_r(x), aL(3));  // shared inner part: released once, at the end
  mr(x);
  EXPECT_EQ(hd(PA(y)[0])->rc, 1u);
  mr(y);
  EXPECT_EQ(freebytes(), before);
}

TEST_F(Core, BlocksReturnToFreeingThread) {
  V x = an(100, tLONG);
  int k = hd(x)->cls;
  bool there = false, here_before = on_list(k, x);
  std::thread t([&] {
    mr(x);
    there = on_list(k, x);
  });
  t.join();
  EXPECT_FALSE(here_before);
  EXPECT_TRUE(there);
  EXPECT_FALSE(on_list(k, x));
}

TEST_F(Core, FirstAllocationOfAThreadMapsOneRegion) {
  U n0 = nreg, n1 = 0, n2 = 0;
  std::thread t([&] {
    V a = an(1, tLONG);
    n1 = nreg;
    V b = an(1, tLONG);
    n2 = nreg;
    mr(a), mr(b);
  });
  t.join();
  EXPECT_EQ(n1, n0 + 1);
  EXPECT_EQ(n2, n1);
  EXPECT_EQ(reg[n1 - 1].length, 64ull << 24);
}

TEST_F(Core, LargeObjectsUnmapAfterStatement) {
  mc();
  U n0 = nreg;
  U n = (64u << 24) / 8;  // needs class 25
  V x = an(n, tLONG);
  EXPECT_EQ(hd(x)->cls, 25);
  EXPECT_EQ(nreg, n0 + 1);
  EXPECT_EQ(reg[nreg - 1].base, x - 64);
  EXPECT_EQ(reg[nreg - 1].length, 64ull << 25);
  UJ before_last = nreg >= 2 ? reg[nreg - 2].base : 0;
  PL(x)[n - 1] = 7;
  mr(x);
  EXPECT_EQ(nreg, n0 + 1);  // still mapped until mc
  EXPECT_EQ(npnd, 1u);
  EXPECT_EQ(PL(x)[n - 1], 7);
  mc();
  EXPECT_EQ(nreg, n0);
  EXPECT_EQ(npnd, 0u);
  if (n0) {
    EXPECT_EQ(reg[n0 - 1].base, before_last);
  }
}

// A big block's mapping released by mc is kept for the next big block of
// the same size, which gets the same pages; other sizes map afresh, and
// the registry holds only the mappings in use.
TEST_F(Core, BigBlocksReuseReleasedMappings) {
  mc();
  U n0 = nreg, n = (64u << 24) / 8;  // class 25
  V x = an(n, tLONG);
  UJ b = x - 64;
  PL(x)[n - 1] = 7;
  mr(x);
  mc();
  EXPECT_EQ(nreg, n0);
  V y = an(n / 2 + 1, tLONG);  // class 24: not that mapping
  EXPECT_NE(y - 64, b);
  V z = an(n - 5, tLONG);
  EXPECT_EQ(z - 64, b);
  EXPECT_EQ(hd(z)->cls, 25);
  EXPECT_EQ(hd(z)->count, n - 5);
  EXPECT_EQ(nreg, n0 + 2);
  PL(z)[n - 6] = 9;  // writable again
  EXPECT_EQ(PL(z)[n - 6], 9);
  mr(y), mr(z);
  mc();
  EXPECT_EQ(nreg, n0);
}

// A host that evaluates one statement per call, or calls a function,
// and releases the big results gets their mappings back at its next call:
// the registry does not grow with the number of calls.
TEST_F(Core, HostCallsReleaseBigBlocks) {
  if (!capi_booted) zelko_init(nullptr);
  mr(zelko_eval_str("hcneg:{0-x}"));
  U n0 = nreg;
  for (int i = 0; i < 3; i++) {
    V x = zelko_eval_str("67108865#1.5");  // 512 MB and a line: its own mapping
    ASSERT_TRUE(x) << zelko_last_error();
    mr(x);
    x = zelko_eval_str("67108865#2.5");
    V y = zelko_call("hcneg", &x, 1);
    ASSERT_TRUE(y) << zelko_last_error();
    mr(y), mr(x);
  }
  mr(zelko_eval_str("1"));
  EXPECT_EQ(nreg, n0);
  EXPECT_EQ(npnd, 0u);
}

TEST_F(Core, Colouring) {
  // Class 10 objects: successive ones start at different offsets.
  U n = ((64u << 10) - 64 - 4096) / 8;
  V a = an(n, tLONG), b = an(n, tLONG), c = an(n, tLONG);
  int moved = 0;
  for (V x : {a, b, c}) {
    if (hd(x)->colour) {
      moved++;
      EXPECT_EQ(hd(x)->cls, 9);  // recorded one class lower
      EXPECT_EQ(x & 63, 0u);
    }
  }
  EXPECT_GE(moved, 2);
  for (V x : {a, b, c}) {
    G e = hd(x)->colour;
    V block_data = x - 64ull * e;
    mr(x);
    EXPECT_TRUE(on_list(10, block_data));
    EXPECT_EQ(hd(block_data)->rc, 0u);
    EXPECT_EQ(hd(block_data)->cls, 10);
    EXPECT_EQ(hd(block_data)->colour, 0);
  }
  // Growth in place never overruns a coloured block.
  V d = an(n, tLONG);
  V g = aa(n + 100, d);
  PL(g)[n + 99] = 1;
  mr(g);
}

TEST_F(Core, Arena) {
  UJ off = tl.a_off;
  void *chunk = tl.a_over;
  char *p = (char *)arena_alloc(1), *q = (char *)arena_alloc(1);
  EXPECT_EQ(q - p, 64);
  EXPECT_EQ((uintptr_t)p & 63, 0u);
  UJ off2 = tl.a_off, ovf = tl.a_ovf;
  void *big[3];
  for (auto &b : big) {
    b = arena_alloc(17u << 20);  // larger than the base
    ASSERT_NE(b, nullptr);
    EXPECT_EQ((uintptr_t)b & 63, 0u);
    memset(b, 1, 17u << 20);
  }
  EXPECT_EQ(tl.a_off, off2);  // chunks leave the offset alone
  EXPECT_EQ(tl.a_ovf, ovf + 3 * (17ull << 20));
  EXPECT_GE(tl.a_peak, tl.a_off + tl.a_ovf);
  arena_release(off2, nullptr == chunk ? nullptr : chunk);
  EXPECT_EQ(tl.a_ovf, ovf);
  EXPECT_EQ(tl.a_over, chunk);
  arena_release(off2 + 4096, chunk);  // never moves the offset forward
  EXPECT_EQ(tl.a_off, off2);
  arena_release(off, chunk);
  EXPECT_EQ(tl.a_off, off);
  // Sizes whose rounding would wrap are refused, not turned into tiny chunks.
  for (UJ n : {UINT64_MAX, UINT64_MAX - 63, UINT64_MAX - 100, UINT64_MAX - 126})
    EXPECT_EQ(arena_alloc(n), nullptr) << n;
  EXPECT_EQ(tl.a_off, off);
}

TEST_F(Core, ArenaOfANewThread) {
  bool ok = false;
  std::thread t([&] {
    void *p = arena_alloc(100);
    ok = p && tl.a_cap == 16777216 && tl.a_off == 100;
    arena_free();
  });
  t.join();
  EXPECT_TRUE(ok);
}

using CoreDeath = Core;

#ifdef __SANITIZE_ADDRESS__
// Under AddressSanitizer the engine's pools are poisoned while free, so a
// read of a released value or of rewound scratch is reported.
TEST_F(CoreDeath, ReleasedBlocksArePoisoned) {
  EXPECT_DEATH(
      {
        V x = an(10, tLONG);
        mr(x);
        volatile J v = PL(x)[3];
        (void)v;
      },
      "use-after-poison");
  EXPECT_DEATH(
      {
        UJ off = tl.a_off;
        void *chunk = tl.a_over;
        volatile char *p = (char *)arena_alloc(100);
        p[0] = 1;
        arena_release(off, chunk);
        (void)p[10];
      },
      "use-after-poison");
}
#endif

TEST_F(CoreDeath, FullRegistry) {
  EXPECT_EXIT(
      {
        mc();
        while (nreg < NREG) mm(pg, true);
        if (mm(pg, true) != 0) _exit(3);  // may_fail: 0, nothing left behind
        mm(pg, false);
        _exit(4);
      },
      ::testing::ExitedWithCode(1), "^MMAP\n$");
}

TEST_F(CoreDeath, UnknownRegion) {
  EXPECT_EXIT(
      {
        V x = an((64u << 24) / 8, tLONG);
        nreg--;  // forget its region
        mr(x);
        _exit(4);
      },
      ::testing::ExitedWithCode(1), "^UNMAP\n$");
}
