// The Arrow bridge against a consumer and a producer written here from the
// Arrow C data interface's published layout: zero-copy export, every count
// restored after release, moved children outliving their parent, import of
// every format at a non-zero offset, and malformed structures refused.
#include <gtest/gtest.h>
#include <cmath>
#include <thread>
#include "capi/capi.h"
#include "capi/capi_int.h"
#include "core/sym.h"
#include "testutil.h"

using namespace zk;
using zkt::etext;

namespace {

void bootc() {
  boot_once();
  if (!capi_booted) zelko_init(nullptr);
}

V vec(int t, U n, const void *src) { return aV(t, n, src); }
V syms(std::initializer_list<const char *> s) {
  V r = an((U)s.size(), tSYM);
  U i = 0;
  for (auto t : s) PI(r)[i++] = us(t);
  return r;
}
V table(std::initializer_list<const char *> names, std::initializer_list<V> cols) {
  V c = cols.size() ? an((U)cols.size(), tLIST) : emp();
  U i = 0;
  for (V x : cols) PA(c)[i++] = x;
  return aM(syms(names), c);
}
std::string err() { return zelko_last_error(); }

// A table holding every exportable type; bits are 1 0 1 1 0 packed.
struct Every {
  V t, cb, cc, cs, ci, cl, cf, cy, cr;
  Every() {
    int8_t b8[] = {-1, 2, 127, -128, 0};
    int16_t s[] = {-300, 1, 2, 3, 32767};
    I i[] = {1 << 30, -5, 0, 7, 9};
    J l[] = {NJ, 1ll << 40, -1, 0, 5};
    F f[] = {1.5, -0.0, 1e300, 2, std::nan("")};
    G bits = 0x0d;
    cb = vec(tBOOL, 5, &bits);
    cc = vec(tBYTE, 5, b8);
    cs = vec(tSHORT, 5, s);
    ci = vec(tINT, 5, i);
    cl = vec(tLONG, 5, l);
    cf = vec(tFLT, 5, f);
    cy = syms({"a", "bb", "", "a much longer name than four", "ccc"});
    cr = aE(10, 15);
    t = table({"b", "c", "s", "i", "l", "f", "y", "r"}, {cb, cc, cs, ci, cl, cf, cy, cr});
  }
  ~Every() { mr(t); }
};

TEST(Arrow, ExportIsZeroCopyAndReleaseRestoresCounts) {
  bootc();
  Every e;
  V cols[] = {e.cb, e.cc, e.cs, e.ci, e.cl, e.cf};
  U rc0[6];
  for (int i = 0; i < 6; i++) rc0[i] = hd(cols[i])->rc;
  ArrowSchema *s;
  ArrowArray *a;
  ASSERT_EQ(zelko_arrow_export(e.t, &s, &a), 0) << err();
  EXPECT_STREQ(s->format, "+s");
  ASSERT_EQ(s->n_children, 8);
  ASSERT_EQ(a->n_children, 8);
  EXPECT_EQ(a->length, 5);
  EXPECT_EQ(a->n_buffers, 1);
  EXPECT_EQ(a->buffers[0], nullptr);
  const char *fm[] = {"b", "c", "s", "i", "l", "g", "u", "l"};
  const char *nm[] = {"b", "c", "s", "i", "l", "f", "y", "r"};
  for (int i = 0; i < 8; i++) {
    EXPECT_STREQ(s->children[i]->format, fm[i]);
    EXPECT_STREQ(s->children[i]->name, nm[i]);
    EXPECT_EQ(a->children[i]->length, 5);
    EXPECT_EQ(a->children[i]->offset, 0);
  }
  for (int i = 0; i < 6; i++) {
    EXPECT_EQ(a->children[i]->buffers[1], zelko_get_vector_ptr(cols[i], 0, 0, 0)) << i;
    EXPECT_EQ(hd(cols[i])->rc, rc0[i] + 1) << i;
  }
  // the signed byte -1 reads as -1 through the declared int8 format
  EXPECT_EQ(((const int8_t *)a->children[1]->buffers[1])[0], -1);
  const int32_t *of = (const int32_t *)a->children[6]->buffers[1];
  const char *by = (const char *)a->children[6]->buffers[2];
  int32_t want[] = {0, 1, 3, 3, 31, 34};
  EXPECT_EQ(memcmp(of, want, sizeof want), 0);
  EXPECT_EQ(std::string(by, 34), "abba much longer name than fourccc");
  const J *r = (const J *)a->children[7]->buffers[1];
  EXPECT_EQ(r[0], 10);
  EXPECT_EQ(r[4], 14);
  a->release(a);
  s->release(s);
  EXPECT_EQ(a->release, nullptr);
  EXPECT_EQ(s->release, nullptr);
  for (int i = 0; i < 6; i++) EXPECT_EQ(hd(cols[i])->rc, rc0[i]) << i;
  zelko_free(s);
  zelko_free(a);
}

TEST(Arrow, MovedChildOutlivesItsParent) {
  bootc();
  J l[] = {4, 5, 6};
  V c = vec(tLONG, 3, l);
  V t = table({"a"}, {c});
  ArrowSchema s;
  ArrowArray a;
  ASSERT_EQ(zelko_arrow_export_into(t, &s, &a), 0) << err();
  U rc = hd(c)->rc;
  ArrowArray kid = *a.children[0];  // moved out: the original marked released
  a.children[0]->release = nullptr;
  a.release(&a);
  s.release(&s);
  mr(t);
  ASSERT_EQ(hd(c)->rc, rc - 1);  // still held by the moved child
  EXPECT_EQ(((const J *)kid.buffers[1])[2], 6);
  kid.release(&kid);
  EXPECT_EQ(kid.release, nullptr);
}

TEST(Arrow, ExportRefusals) {
  bootc();
  ArrowSchema *s;
  ArrowArray *a;
  V n = al(1);
  EXPECT_EQ(zelko_arrow_export(n, &s, &a), -1);
  EXPECT_EQ(err(), "'type: zelko_arrow_export needs a table");
  EXPECT_EQ(s, nullptr);
  mr(n);
  I d[] = {1, 2};
  V tc = table({"c"}, {aCz("ab")}), td = table({"d"}, {vec(tDATE, 2, d)});
  EXPECT_EQ(zelko_arrow_export(tc, &s, &a), -1);
  EXPECT_EQ(err(), "'nyi");
  EXPECT_EQ(zelko_arrow_export(td, &s, &a), -1);
  EXPECT_EQ(err(), "'nyi");
  mr(tc), mr(td);
  ArrowSchema ss;
  EXPECT_EQ(zelko_arrow_export_into(0, &ss, nullptr), -1);
  EXPECT_EQ(err(), "'domain: null Arrow struct");
  // the builtin's own checks
  EXPECT_EQ(aex(al(3)), 0u);
  EXPECT_EQ(aex(aA2(syms({"a", "b"}), aA1(_r(ce[tLONG])))), 0u);
  J l1[] = {1}, l2[] = {1, 2};
  EXPECT_EQ(aex(aA2(syms({"a", "b"}), aA2(vec(tLONG, 1, l1), vec(tLONG, 2, l2)))), 0u);
}

TEST(Arrow, EmptyTable) {
  bootc();
  V t = aM(_r(ce[tSYM]), emp());
  ArrowSchema *s;
  ArrowArray *a;
  ASSERT_EQ(zelko_arrow_export(t, &s, &a), 0) << err();
  EXPECT_EQ(s->n_children, 0);
  EXPECT_EQ(a->length, 0);
  V r = zelko_arrow_import(s, a);
  ASSERT_NE(r, 0u) << err();
  EXPECT_EQ(tp(r), tTABLE);
  EXPECT_EQ(nx(PA(r)[0]), 0u);
  zelko_free(s), zelko_free(a);
  mr(r), mr(t);
}

// Export, import: an equal table, booleans as bytes, the range as longs.
TEST(Arrow, RoundTrip) {
  bootc();
  Every e;
  ArrowSchema *s;
  ArrowArray *a;
  ASSERT_EQ(zelko_arrow_export(e.t, &s, &a), 0) << err();
  V r = zelko_arrow_import(s, a);
  ASSERT_NE(r, 0u) << err();
  EXPECT_EQ(s->release, nullptr);
  V again = zelko_arrow_import(s, a);
  EXPECT_EQ(again, 0u);
  EXPECT_EQ(err(), "'domain: Arrow struct has already been released or moved");
  zelko_free(s), zelko_free(a);
  ASSERT_EQ(tp(r), tTABLE);
  V c = PA(r)[1];
  ASSERT_EQ(nx(c), 8u);
  G b[] = {1, 0, 1, 1, 0};
  EXPECT_EQ(tp(PA(c)[0]), tBYTE);
  EXPECT_EQ(memcmp(P(PA(c)[0]), b, 5), 0);
  V src[] = {e.cc, e.cs, e.ci, e.cl, e.cf, e.cy};
  for (int i = 0; i < 6; i++) {
    V x = PA(c)[i + 1];
    EXPECT_EQ(tp(x), tp(src[i])) << i;
    EXPECT_EQ(nx(x), 5u);
    EXPECT_EQ(memcmp(P(x), P(src[i]), dbytes(5, tp(x))), 0) << i;
  }
  EXPECT_EQ(tp(PA(c)[7]), tLONG);
  EXPECT_EQ(PL(PA(c)[7])[3], 13);
  EXPECT_EQ(PI(PA(r)[0])[6], us("y"));
  mr(r);
  // the C entry refuses what no caller could mean
  EXPECT_EQ(zelko_arrow_import(nullptr, a), 0u);
  EXPECT_EQ(err(), "'domain: null Arrow struct");
}

// ---- a producer: every format from a non-zero offset ----
int released;
void relS(ArrowSchema *s) { s->release = nullptr, released++; }
void relA(ArrowArray *a) { a->release = nullptr, released++; }

struct Prod {
  ArrowSchema ts{}, cs[10]{};
  ArrowArray ta{}, ca[10]{};
  ArrowSchema *sp[10];
  ArrowArray *ap[10];
  const void *bufs[10][3]{};
  int n = 0;
  Prod() {
    ts.format = "+s", ts.release = relS, ts.children = sp;
    ta.release = relA, ta.children = ap, ta.n_buffers = 1;
    static const void *nb[1] = {nullptr};
    ta.buffers = nb;
  }
  // A child of length len+off read from offset off, validity v (may be NULL).
  void add(const char *fmt, const char *name, J len, J off, const void *v, const void *d, const void *e = 0) {
    ArrowSchema &s = cs[n];
    ArrowArray &a = ca[n];
    s.format = fmt, s.name = name, s.release = relS;
    a.length = len, a.offset = off, a.release = relA;
    a.n_buffers = e ? 3 : 2;
    bufs[n][0] = v, bufs[n][1] = d, bufs[n][2] = e;
    a.buffers = bufs[n];
    sp[n] = &s, ap[n] = &a;
    n++;
    ts.n_children = ta.n_children = n;
  }
  // aim frees the top structures: hand it malloc'd copies.
  V imp() {
    auto *s = (ArrowSchema *)malloc(sizeof ts);
    auto *a = (ArrowArray *)malloc(sizeof ta);
    *s = ts, *a = ta;
    V p = an(2, tLONG);
    PL(p)[0] = (J)(uintptr_t)s, PL(p)[1] = (J)(uintptr_t)a;
    return aim(p);
  }
};

TEST(Arrow, ImportEveryFormatAtAnOffset) {
  bootc();
  Prod p;
  p.ta.length = 3;
  // Read from offset 2: items 2, 3 and 4 of every buffer.
  static const uint8_t valid[] = {0x1d};  // bits 2, 3, 4 set (bit 1 clear: before the offset)
  static const uint8_t holes[] = {0x0b};  // bit 3 set: items 2 and 4 null
  static const uint8_t bits[] = {0x14};   // 0 0 1 0 1
  static const int8_t c[] = {9, 9, -1, 0, 127};
  static const uint8_t C1[] = {9, 9, 1, 2, 127}, C2[] = {9, 9, 255, 0, 1};
  static const int16_t s[] = {9, 9, -2, 3, 4};
  static const I i[] = {9, 9, 7, 8, -9};
  static const J l[] = {9, 9, 5, 6, 7};
  static const F f[] = {9, 9, 0.5, 1.5, 2.5};
  static const int32_t uo[] = {0, 1, 1, 3, 3, 6};
  static const char ub[] = "xyyzzz";
  p.add("b", "b", 3, 2, valid, bits);
  p.add("c", "c", 3, 2, nullptr, c);
  p.add("C", "C1", 3, 2, nullptr, C1);
  p.add("C", "C2", 3, 2, nullptr, C2);
  p.add("s", "s", 3, 2, nullptr, s);
  p.add("i", "i", 3, 2, valid, i);
  p.add("i", "in", 3, 2, holes, i);
  p.add("l", "l", 3, 2, holes, l);
  p.add("g", "g", 3, 2, holes, f);
  p.add("u", "u", 3, 2, nullptr, uo, ub);
  released = 0;
  V r = p.imp();
  ASSERT_NE(r, 0u) << etext();
  EXPECT_EQ(released, 2);  // the top two; the top's release is the producer's to cascade
  V cl = PA(r)[1];
  auto num = [&](int k, int t, std::vector<J> want) {
    V x = PA(cl)[k];
    ASSERT_EQ(tp(x), t) << k;
    ASSERT_EQ(nx(x), 3u) << k;
    for (U j = 0; j < 3; j++) {
      J v = t == tBYTE ? P<int8_t>(x)[j] : t == tSHORT ? P<int16_t>(x)[j] : t == tINT ? PI(x)[j] : PL(x)[j];
      EXPECT_EQ(v, want[j]) << k << " " << j;
    }
  };
  num(0, tBYTE, {1, 0, 1});
  num(1, tBYTE, {-1, 0, 127});
  num(2, tBYTE, {1, 2, 127});
  num(3, tSHORT, {255, 0, 1});
  num(4, tSHORT, {-2, 3, 4});
  num(5, tINT, {7, 8, -9});
  num(6, tLONG, {NJ, 8, NJ});
  num(7, tLONG, {NJ, 6, NJ});
  V g = PA(cl)[8];
  EXPECT_TRUE(std::isnan(PF(g)[0]) && PF(g)[1] == 1.5 && std::isnan(PF(g)[2]));
  V u = PA(cl)[9];
  EXPECT_EQ(PI(u)[0], us("yy"));
  EXPECT_EQ(PI(u)[1], 0);
  EXPECT_EQ(PI(u)[2], us("zzz"));
  EXPECT_EQ(PI(PA(r)[0])[3], us("C2"));
  mr(r);
}

// Each malformed structure is refused, consumed, and never read out of
// bounds (run under AddressSanitizer: every buffer here is exactly sized).
TEST(Arrow, ImportRefusesMalformedStructures) {
  bootc();
  static const J l3[] = {1, 2, 3};
  static const int32_t bad_of[] = {0, 2, 1, 3}, neg_of[] = {-1, 0, 1, 2}, ok_of[] = {0, 1, 2, 3};
  static const char ub[] = "abc";
  struct Case {
    const char *what, *err;
    void (*mk)(Prod &);
  } cases[] = {
      {"child shorter than the top", "'domain", [](Prod &p) { p.ta.length = 4, p.add("l", "a", 3, 0, 0, l3); }},
      {"offset past the data", "'domain", [](Prod &p) { p.ta.length = 3, p.add("l", "a", 3, 1, 0, l3), p.ca[0].length = 2; }},
      {"unequal child counts", "'domain", [](Prod &p) { p.ta.length = 3, p.add("l", "a", 3, 0, 0, l3), p.ta.n_children = 0; }},
      {"negative child count", "'domain", [](Prod &p) { p.ts.n_children = p.ta.n_children = -1; }},
      {"null format", "'domain", [](Prod &p) { p.ta.length = 3, p.add(nullptr, "a", 3, 0, 0, l3); }},
      {"null top format", "'domain", [](Prod &p) { p.ts.format = nullptr; }},
      {"too few buffers", "'domain", [](Prod &p) { p.ta.length = 3, p.add("l", "a", 3, 0, 0, l3), p.ca[0].n_buffers = 1; }},
      {"symbol child with two buffers", "'domain", [](Prod &p) { p.ta.length = 3, p.add("u", "a", 3, 0, 0, bad_of); }},
      {"descending offsets", "'domain", [](Prod &p) { p.ta.length = 3, p.add("u", "a", 3, 0, 0, bad_of, ub); }},
      {"negative offsets", "'domain", [](Prod &p) { p.ta.length = 3, p.add("u", "a", 3, 0, 0, neg_of, ub); }},
      {"no bytes for texts", "'domain", [](Prod &p) { p.ta.length = 3, p.add("u", "a", 3, 0, 0, ok_of, nullptr), p.ca[0].n_buffers = 3; }},
      {"released child", "'domain", [](Prod &p) { p.ta.length = 3, p.add("l", "a", 3, 0, 0, l3), p.ca[0].release = nullptr; }},
      {"null children array", "'domain", [](Prod &p) { p.ta.length = 3, p.add("l", "a", 3, 0, 0, l3), p.ta.children = nullptr; }},
      {"negative length", "'domain", [](Prod &p) { p.ta.length = -1; }},
      {"unknown format", "'nyi", [](Prod &p) { p.ta.length = 3, p.add("tdD", "a", 3, 0, 0, l3); }},
      {"float32", "'nyi", [](Prod &p) { p.ta.length = 3, p.add("f", "a", 3, 0, 0, l3); }},
      {"a top that is not a struct", "'nyi", [](Prod &p) { p.ts.format = "l"; }},
  };
  for (auto &c : cases) {
    Prod p;
    c.mk(p);
    released = 0;
    EXPECT_EQ(p.imp(), 0u) << c.what;
    EXPECT_EQ(etext().substr(0, strlen(c.err) + 1), std::string(c.err) + "\n") << c.what;
    EXPECT_EQ(released, 2) << c.what;
  }
  EXPECT_EQ(aim(al(5)), 0u);
  EXPECT_EQ(etext().substr(0, 7), "'length");
}

// A release from another thread while the engine's thread works: the
// reference is queued, never dropped concurrently, and dropped at the
// engine's next entry.
TEST(Arrow, ReleaseOnAnotherThread) {
  bootc();
  J l[] = {1, 2, 3};
  V c = vec(tLONG, 3, l);
  V t = table({"a"}, {_r(c)});
  U rc = hd(c)->rc;
  {
    ArrowSchema *s;
    ArrowArray *a;
    ASSERT_EQ(zelko_arrow_export(t, &s, &a), 0);
    std::thread([&] { a->release(a), s->release(s); }).join();
    EXPECT_EQ(hd(c)->rc, rc + 1);  // queued, not dropped on the other thread
    zelko_free(s), zelko_free(a);
    mr(zelko_eval_str("1"));
    EXPECT_EQ(hd(c)->rc, rc);
  }
  UJ f0 = 0;
  for (int k = 0; k < 10000; k++) {
    ArrowSchema *s;
    ArrowArray *a;
    ASSERT_EQ(zelko_arrow_export(t, &s, &a), 0);
    if (k == 1) f0 = freebytes();
    std::thread th([&] {
      a->release(a);
      s->release(s);
    });
    V x = zelko_eval_str("(1 2 3)*4");  // the engine works meanwhile
    mr(x);
    th.join();
    zelko_free(s), zelko_free(a);
  }
  mr(zelko_eval_str("1"));  // any entry drains the queue
  EXPECT_EQ(hd(c)->rc, rc);
  EXPECT_LE(f0, freebytes() + 4096);
  mr(t), mr(c);
}

}  // namespace
