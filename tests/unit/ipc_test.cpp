// ipc_test.cpp: the message codec (-8!, -9!) and the native serialisation
// (ser, des).  Golden bytes come from ipc_golden.py, which assembles them
// with Python's struct apart from the engine; the serialisation rows freeze
// version 1.
#include <string>
#include <vector>

#include "io/io.h"
#include "list/list.h"
#include "vmutil.h"

using namespace zk;
using zk::vmt::boot;
using zk::vmt::ev;
using zk::vmt::etext;

namespace {

V unhex(const std::string &h) {
  V x = an((U)(h.size() / 2), tCHR);
  for (size_t i = 0; i < h.size() / 2; i++) P(x)[i] = (G)strtoul(h.substr(2 * i, 2).c_str(), 0, 16);
  return x;
}
std::string hexs(V x) {
  std::string r;
  char b[3];
  for (U i = 0; i < nx(x); i++) snprintf(b, 3, "%02x", P(x)[i]), r += b;
  return r;
}
std::string bytes(V x) { return std::string(PC(x), nx(x)); }
// The source form of x (consumed), or the error name.
std::string text(V x) {
  if (!x) return vmt::ename();
  V s = kst(x);
  if (!s) return "kst failed";
  std::string r = bytes(s);
  mr(s);
  return r;
}
std::string qd(const std::string &h) { return text(qdes(unhex(h))); }
std::string dz(const std::string &h) { return text(des9(unhex(h))); }

// Leaves no error text behind for the tests that run after.
struct Clean {
  ~Clean() { eclr(); }
};

struct Gd {
  const char *src, *hex;
};

const Gd ENC[] = {
    {"1", "0100000011000000f90100000000000000"},
    {"-5000000000", "0100000011000000f9000efad5feffffff"},
    {"2.5", "0100000011000000f70000000000000440"},
    {"0n", "0100000011000000f7000000000000f8ff"},
    {"\"a\"", "010000000a000000f661"},
    {"`ab", "010000000c000000f5616200"},
    {"2000.01.01D00:00:00.000000001", "0100000011000000f40100000000000000"},
    {"2000.02m", "010000000d000000f301000000"},
    {"2024.01.01", "010000000d000000f23e220000"},
    {"0D00:00:00.000000005", "0100000011000000f00500000000000000"},
    {"00:01", "010000000d000000ef01000000"},
    {"00:00:02", "010000000d000000ee02000000"},
    {"00:00:00.003", "010000000d000000ed03000000"},
    {"1 2 3", "0100000026000000070003000000010000000000000002000000000000000300000000000000"},
    {"1.5 0n", "010000001e000000090002000000000000000000f83f000000000000f8ff"},
    {"\"xy\"", "01000000100000000a00020000007879"},
    {"`a`bc", "01000000130000000b00020000006100626300"},
    {"2000.01.01D00:00:00.000000001 2000.01.01D00:00:00.000000002",
     "010000001e0000000c000200000001000000000000000200000000000000"},
    {"2000.02 2000.03m", "01000000160000000d00020000000100000002000000"},
    {"2000.01.02 2000.01.03", "01000000160000000e00020000000100000002000000"},
    {"0D00:00:00.000000001 0D00:00:00.000000002",
     "010000001e00000010000200000001000000000000000200000000000000"},
    {"00:01 00:02", "01000000160000001100020000000100000002000000"},
    {"00:00:01 00:00:02", "01000000160000001200020000000100000002000000"},
    {"00:00:00.001 00:00:00.002", "01000000160000001300020000000100000002000000"},
    {"(1;`a)", "010000001a000000000002000000f90100000000000000f56100"},
    {"()", "010000000e000000000000000000"},
    {"`a`b!1 2", "0100000029000000630b00020000006100620007000200000001000000000000000200000000000000"},
    {"([]a:1 2)",
     "010000002f0000006200630b0001000000610000000100000007000200000001000000000000000200000000000000"},
    {"{x}", "010000001300000064000a00030000007b787d"},
    {"::", "010000000a0000006500"},
};

// Messages of the wire types never written, and what they decode to.
const Gd DEC[] = {
    {"010000000a000000ff02", "1"},
    {"010000000a000000fcc8", "200"},
    {"010000000b000000fb0080", "0N"},
    {"010000000b000000fbf9ff", "-7"},
    {"010000000d000000fa00000080", "0N"},
    {"010000000d000000f80000003f", "0.5"},
    {"0100000011000000f1000000000000f83f", "2000.01.02D12:00:00.000000000"},
    {"0100000011000000f1000000000000e0bf", "1999.12.31D12:00:00.000000000"},
    {"0100000011000000f1000000000000f87f", "0Np"},
    {"0100000011000000010003000000000501", "0 1 1"},
    {"010000001000000004000200000001ff", "1 255"},
    {"010000001200000005000200000001000080", "1 0N"},
    {"01000000160000000600020000000100000000000080", "1 0N"},
    {"01000000160000000800020000000000003f00000040", "0.5 2.0"},
    {"01000000160000000f0001000000000000000000f83f", ",2000.01.02D12:00:00.000000000"},
    {"0100000011000000000001000000fb0300", ",3"},
};

const Gd SER[] = {
    {"5", "5a4b42010d05000000"},
    {"5j", "5a4b42010e0001000000000000000500000000000000"},
    {"::", "5a4b42011600000000"},
    {"`ab", "5a4b420111020000006162"},
    {"\"xy\"", "5a4b4201090002000000000000007879"},
    {"2024.01.01", "5a4b42011a3e220000"},
    {"`a`b!1 2", "5a4b42010c0002000000000000000a00020000000000000001000000610100000062040002000000000000000102"},
};

}  // namespace

TEST(Ipc, GoldenMessages) {
  boot();
  Clean clean_;
  for (const Gd &g : ENC) {
    V x = ev(g.src);
    ASSERT_TRUE(x) << g.src << " " << etext();
    V m = qser(x, 0);
    ASSERT_TRUE(m) << g.src << " " << etext();
    EXPECT_EQ(hexs(m), g.hex) << g.src;
    V y = qdes(m);
    ASSERT_TRUE(y) << g.src << " " << etext();
    EXPECT_TRUE(mtc_(x, y)) << g.src << " came back as " << text(_r(y));
    mr(x), mr(y);
  }
  for (const Gd &g : DEC) EXPECT_EQ(qd(g.src), g.hex) << g.src;
}

TEST(Ipc, GoldenSerialisations) {
  boot();
  Clean clean_;
  for (const Gd &g : SER) {
    V x = strcmp(g.src, "5j") ? ev(g.src) : al(5);  // a long atom
    ASSERT_TRUE(x) << g.src;
    V s = ser8(_r(x));
    ASSERT_TRUE(s) << g.src << " " << etext();
    EXPECT_EQ(hexs(s), g.hex) << g.src;
    V y = des9(s);
    ASSERT_TRUE(y) << g.src << " " << etext();
    EXPECT_TRUE(mtc_(x, y)) << g.src;
    EXPECT_EQ(tp(x), tp(y)) << g.src;
    mr(x), mr(y);
  }
}

// Round trips: the message narrows integers; the serialisation keeps the
// storage, ranges, prototypes and attributes exactly.
TEST(Ipc, RoundTrips) {
  boot();
  Clean clean_;
  const char *vals[] = {"1 2 3", "100000 -3", "5000000000 0N", "0n 1.5 -0w", "\"\"", "0#`a", "`a`b`c",
                        "(1;\"a\";`b;(2 3;()))", "`a`b!(1 2;\"xy\")", "([]a:1 2;b:`x`y;c:1.5 2.5)",
                        "([k:1 2]v:`a`b)", "2024.01.01 2024.01.02", "{x+y*2}", "(::;1)",
                        "0D00:00:01 0D00:00:02", "12:00 13:00", "0#0", "0#`", "0#0.0"};
  for (const char *s : vals) {
    V x = ev(s);
    ASSERT_TRUE(x) << s << " " << etext();
    V m = qser(x, 0);
    ASSERT_TRUE(m) << s << " " << etext();
    V y = qdes(m);
    ASSERT_TRUE(y) << s << " " << etext();
    EXPECT_TRUE(mtc_(x, y)) << s << " -> " << text(_r(y));
    mr(y);
    if (tp(x) == tLAMBDA) {  // not serialisable
      mr(x);
      continue;
    }
    y = des9(ser8(_r(x)));
    ASSERT_TRUE(y) << s << " " << etext();
    EXPECT_TRUE(mtc_(x, y)) << s;
    if (heap(x)) {
      EXPECT_EQ(tp(x), tp(y)) << s;
      EXPECT_EQ(hd(x)->attr, hd(y)->attr) << s;
      if (tp(x) == tLIST && !nx(x)) { EXPECT_EQ(tp(PA(x)[0]), tp(PA(y)[0])) << s; }
    }
    mr(x), mr(y);
  }
  // A sorted vector keeps its attribute both ways; a grouped list through ser.
  V sv = ev("1 5 9");
  hd(sv)->attr = 1;
  V y0 = qdes(qser(sv, 0));
  EXPECT_EQ(hd(y0)->attr, 1);
  mr(y0);
  y0 = des9(ser8(sv));
  EXPECT_EQ(hd(y0)->attr, 1);
  mr(y0);
  V gl0 = ev("(1;`a)");
  hd(gl0)->attr = 4;
  y0 = des9(ser8(gl0));
  EXPECT_EQ(hd(y0)->attr, 4);
  mr(y0);
  // Narrowing on the wire; exact storage through ser.
  struct {
    const char *s;
    int wire, ser;
  } w[] = {{"300 -5", tSHORT, -1}, {"1 2 3", tBYTE, -1}, {"70000 1", tINT, -1}, {"0N 1", tLONG, -1}};

  for (auto &c : w) {
    V x = ev(c.s);
    if (!x) continue;  // a cast not built yet
    V y = qdes(qser(x, 0));
    ASSERT_TRUE(y) << c.s;
    EXPECT_EQ(tp(y), c.wire) << c.s;
    mr(y);
    y = des9(ser8(_r(x)));
    ASSERT_TRUE(y) << c.s;
    EXPECT_EQ(tp(y), c.ser < 0 ? tp(x) : c.ser) << c.s;
    mr(x), mr(y);
  }
  // A range, a bit-packed boolean vector of 10 items (2 bytes, the second
  // masked), primitives and adverbs.
  V r = aE(3, 9);
  V m = qser(r, 0);
  EXPECT_EQ(hexs(m).substr(16, 12), "070006000000");
  mr(m);
  V s = ser8(_r(r));
  EXPECT_EQ(hexs(s), "5a4b420102000200000000000000030000000000000009000000000000" "00");
  V y = des9(s);
  EXPECT_EQ(tp(y), tRANGE);
  EXPECT_TRUE(mtc_(r, y));
  mr(r), mr(y);
  V b = an(10, tBOOL);
  P(b)[0] = 0x05, P(b)[1] = 0xFE;  // items 0 and 2, item 9, and junk past the count
  s = ser8(_r(b));
  EXPECT_EQ(hexs(s), "5a4b420103000a000000000000000502");
  y = des9(s);
  EXPECT_EQ(P(y)[1], 0x02);
  mr(y);
  m = qser(b, 0);
  EXPECT_EQ(hexs(m), "010000001800000001000a00000001000100000000000001");
  mr(m), mr(b);
  for (V p : {imm(tMONAD, 3), imm(tDYAD, 5), imm(tADV, 2), GNULL}) {
    y = des9(ser8(p));
    EXPECT_EQ(y, p);
  }
  V sa = ev("`ab");
  y = des9(ser8(sa));
  EXPECT_EQ(tp(y), tSYMA);  // public 17 is the symbol atom
  mr(y);
}

// Every malformed input fails with 'domain or 'nyi, leaking nothing.
TEST(Ipc, MalformedMessages) {
  boot();
  Clean clean_;
  const Gd bad[] = {
      {"0100000009000000", "'domain"},                   // short
      {"020000000a0000006500", "'domain"},               // first byte
      {"010000000b0000006500", "'domain"},               // length field
      {"010000000b000000650000", "'domain"},             // trailing byte
      {"010000000a0000006501", "'nyi"},                  // generic null, nonzero byte
      {"0100000009000000fe", "'nyi"},                    // wire -2
      {"0100000009000000fd", "'nyi"},                    // wire -3
      {"010000000e000000020000000000", "'nyi"},          // wire 2
      {"0100000009000000ec", "'nyi"},                    // wire -20
      {"010000000900000014", "'nyi"},                    // wire 20
      {"0100000010000000f90100000000", "'domain"},       // truncated atom
      {"010000000e000000070000000080", "'domain"},       // negative count
      {"010000000e000000070005000000", "'domain"},       // count beyond the data
      {"010000000e000000000005000000", "'domain"},       // list counting past the bytes
      {"010000000b000000f56162", "'domain"},             // name without a NUL
      {"0100000011000000f1000000000000f07f", "'domain"}, // day-count infinity
      {"0100000011000000f100000000000000c3", "'domain"}, // day-count past 2^63 ns
      // a table whose names are not a symbol vector
      {"010000001f0000006200630a00010000006100000001000000f90100000000000000", "'domain"},
      // a table without the 99 byte
      {"010000000c000000620062", "'domain"},
      // a table whose columns differ in length
      {"0100000043000000620063"
       "0b000200000061006200"
       "000002000000"
       "07000200000001000000000000000200000000000000"
       "0700010000000100000000000000",
       "'domain"},
      // a table whose column is an atom
      {"01000000260000006200630b0001000000610000000100000" "0f90100000000000000", "'domain"},
      // a dict whose keys are an atom
      {"010000001b00000063f9010000000000000007000100000001000000000000" "00", "'domain"},
      // a dict whose keys and values differ in count
      {"0100000021000000630b000200000061006200070001000000010000000000000000", "'domain"},
      // a lambda whose text is not a char vector
      {"010000001300000064000700000000" "00000000", "'domain"},
  };
  for (const Gd &g : bad) EXPECT_EQ(qd(g.src), g.hex) << g.src;
  fails_leak_nothing(
      +[](const char *h) { return qdes(unhex(h)); },
      {"010000000e000000000005000000",
       "0100000043000000620063" "0b000200000061006200" "000002000000"
       "07000200000001000000000000000200000000000000" "0700010000000100000000000000",
       "010000001e000000000002000000f9010000000000000007000500000000"});
  // A sorted attribute survives only on sorted items; a sorted dict needs
  // sorted keys.
  V y = qdes(unhex("010000001e000000070102000000010000000000000002000000000000" "00"));
  EXPECT_EQ(hd(y)->attr, 1);
  mr(y);
  y = qdes(unhex("010000001e000000070102000000020000000000000001000000000000" "00"));
  EXPECT_EQ(hd(y)->attr, 0);
  mr(y);
  y = qdes(unhex("01000000350000007f0700020000000200000000000000010000000000000007000200000001000000000000000200000000000000"));
  ASSERT_TRUE(y);
  EXPECT_EQ(hd(y)->attr, 0);
  mr(y);
  y = qdes(unhex("01000000350000007f0700020000000100000000000000020000000000000007000200000001000000000000000200000000000000"));
  ASSERT_TRUE(y);
  EXPECT_EQ(hd(y)->attr, 1);
  mr(y);
}

// A remote error raises its text; a received lambda text is compiled only
// when it is one lambda literal, never evaluated.
TEST(Ipc, RemoteErrorsAndLambdas) {
  boot();
  Clean clean_;
  V e = aCn("\x01\0\0\0\x10\0\0\0\x80" "boom!!\0", 16);
  EXPECT_FALSE(qdes(e));
  EXPECT_EQ(vmt::ename(), "'boom!!");
  // A remote error inside a list keeps its text, not 'domain.
  EXPECT_FALSE(qdes(unhex("0100000014000000000002000000806f6f7073" "00")));
  EXPECT_EQ(vmt::ename(), "'oops");
  auto lam = [](const char *t) {
    std::string b = std::string("\x64\0\x0a\0", 4);
    U n = (U)strlen(t);
    b.append((const char *)&n, 4);
    b += t;
    std::string m = std::string("\x01\0\0\0", 4);
    U l = (U)(8 + b.size());
    m.append((const char *)&l, 4);
    m += b;
    return qdes(aCn(m.data(), (U)m.size()));
  };
  for (const char *t : {"{x};g::1", "g::1", "{x}[1]", "1+{x}", "{x", "{x}\n{y}", "(g::1;{x})"}) {
    V r = lam(t);
    EXPECT_FALSE(r) << t;
    EXPECT_EQ(vmt::ename(), "'domain") << t;
  }
  EXPECT_FALSE(ev("g"));
  EXPECT_EQ(vmt::ename(), "'g");
  V f = lam("{[a;b] a-b}");
  ASSERT_TRUE(f);
  EXPECT_EQ(tp(f), tLAMBDA);
  mr(f);
  // Not encodable: primitives, projections and the like, at any depth.
  for (const char *s : {"(+)", "(1;(+))", "{x+y}[1]", "+/"}) {
    V x = ev(s);
    ASSERT_TRUE(x) << s;
    EXPECT_FALSE(qser(x, 0)) << s;
    EXPECT_EQ(vmt::ename(), "'type") << s;
    mr(x);
  }
  V x = ev("{x}");
  EXPECT_FALSE(ser8(x));
  EXPECT_EQ(vmt::ename(), "'type");
}

// 256 levels inside the outermost value pass, one more fails.
TEST(Ipc, Depth) {
  boot();
  Clean clean_;
  for (int extra = 0; extra < 2; extra++) {
    V x = ev("1");
    for (int i = 0; i < 256 + extra; i++) x = aA1(x);
    V m = qser(x, 0);
    V s = ser8(_r(x));
    if (!extra) {
      ASSERT_TRUE(m && s) << etext();
      V y = qdes(_r(m));
      EXPECT_TRUE(y && mtc_(x, y));
      if (y) mr(y);
      y = des9(s);
      EXPECT_TRUE(y && mtc_(x, y));
      if (y) mr(y);
      // One more level on the wire, built by hand: 'domain on reading.
      std::string b = bytes(m).substr(8);
      mr(m);
      b = std::string("\0\0\x01\0\0\0", 6) + b;
      std::string h = std::string("\x01\0\0\0", 4);
      U l = (U)(8 + b.size());
      h.append((const char *)&l, 4);
      EXPECT_FALSE(qdes(aCn((h + b).data(), l)));
      EXPECT_EQ(vmt::ename(), "'domain");
    } else {
      EXPECT_FALSE(m);
      EXPECT_FALSE(s);
      EXPECT_EQ(vmt::ename(), "'type");
    }
    mr(x);
  }
}

// Results past the limit fail with 'limit before the payload is written.
TEST(Ipc, Limit) {
  boot();
  Clean clean_;
  UJ old = qlim;
  qlim = 100;
  V x = ev("20#1");
  EXPECT_FALSE(qser(x, 0));
  EXPECT_EQ(vmt::ename(), "'limit");
  EXPECT_FALSE(ser8(ev("100#1.5")));
  EXPECT_EQ(vmt::ename(), "'limit");
  qlim = old;
  V m = qser(x, 0);
  EXPECT_TRUE(m);
  mr(m), mr(x);
}

TEST(Ipc, MalformedSerialisations) {
  boot();
  Clean clean_;
  const Gd bad[] = {
      {"5a4b42", "'domain"},
      {"5a4b42020d05000000", "'domain"},                 // version
      {"5a4b42010d0500000000", "'domain"},               // trailing byte
      {"5a4b42010d050000", "'domain"},                   // truncated
      {"5a4b42011620000000", "'domain"},                 // primitive 32
      {"5a4b42011806000000", "'domain"},                 // adverb 6
      {"5a4b42011900000000", "'domain"},                 // native function
      {"5a4b42011200000000", "'domain"},                 // lambda
      {"5a4b42010000000000", "'domain"},                 // type 0
      {"5a4b420107000000000001000000", "'domain"},       // count past 2^32-1
      {"5a4b42010700050000000000000001", "'domain"},     // count past the data
      {"5a4b420101000500000000000000", "'domain"},       // list past the data
      // a dict of count 3
      {"5a4b42010c000300000000000000" "0d01000000" "0d01000000" "0d01000000", "'domain"},
      // a dict of atoms
      {"5a4b42010c000200000000000000" "0d01000000" "0d01000000", "'domain"},
      // a table whose names are not symbols
      {"5a4b42010b000200000000000000" "0400010000000000000001" "01000100000000000000" "0400010000000000000001",
       "'domain"},
      // a long atom of count 2
      {"5a4b42010e00020000000000000001000000000000000200000000000000", "'domain"},
      // ranges: empty, backwards, too long
      {"5a4b4201020002000000000000000300000000000000" "0300000000000000", "'domain"},
      {"5a4b4201020002000000000000000300000000000000" "0100000000000000", "'domain"},
      {"5a4b4201020002000000000000000000000000000000" "0000000001000000", "'domain"},
  };
  for (const Gd &g : bad) EXPECT_EQ(dz(g.src), g.hex) << g.src;
  EXPECT_EQ(text(des9(ev("`ab"))), "'type");
  // Attributes: kept on sorted items only.
  V y = des9(unhex("5a4b4201040102000000000000000102"));
  EXPECT_EQ(hd(y)->attr, 1);
  mr(y);
  y = des9(unhex("5a4b4201040102000000000000000201"));
  EXPECT_EQ(hd(y)->attr, 0);
  mr(y);
  // A boolean's bits past its count are cleared.
  y = des9(unhex("5a4b420103000300000000000000ff"));
  ASSERT_TRUE(y);
  EXPECT_EQ(P(y)[0], 0x07);
  mr(y);
  fails_leak_nothing(+[](const char *h) { return des9(unhex(h)); },
                     {"5a4b42010100020000000000000004000200000000000000010204", "5a4b42010c000200000000000000"
                                                                               "0d01000000" "0d01000000"});
}

// A test-only compressor by the hash rule, and hand-made edge messages.
namespace {
std::string squeeze(const std::string &m) {
  std::string o = m.substr(0, 8);
  o[2] = 1;
  U u = (U)m.size();
  o.append((const char *)&u, 4);
  U H[256] = {};
  size_t s = 8, p = 8, fpos = 0;
  int i = 0;
  while (s < m.size()) {
    if (!i) {
      fpos = o.size();
      o += '\0';
      i = 1;
    }
    // A copy when the pair at s was last seen at r with r + 1 < s.
    bool cp = false;
    if (s + 1 < m.size()) {
      size_t q = H[(G)m[s] ^ (G)m[s + 1]];
      if (q && q + 1 < s && m[q] == m[s] && m[q + 1] == m[s + 1]) {
        size_t k = 0;
        while (k < 255 && s + 2 + k < m.size() && m[q + 2 + k] == m[s + 2 + k]) k++;
        o[fpos] = (char)(o[fpos] | i);
        o += (char)((G)m[s] ^ (G)m[s + 1]);
        o += (char)k;
        for (size_t z = p; z <= s; z++) H[(G)m[z] ^ (G)m[z + 1]] = (U)z;
        s = p = s + 2 + k;
        cp = true;
      }
    }
    if (!cp) {
      o += m[s];
      if (p < s) {
        for (size_t z = p; z < s; z++) H[(G)m[z] ^ (G)m[z + 1]] = (U)z;
        p = s;
      }
      s++;
    }
    i = (i * 2) & 255;
  }
  U n = (U)o.size();
  memcpy(&o[4], &n, 4);
  return o;
}
}  // namespace

TEST(Ipc, Compressed) {
  boot();
  Clean clean_;
  const char *vals[] = {"1000#1 2 3", "\"abababababababababab\"", "(1000#0),1000#`a`b",
                        "600#\"abcdefgh\"", "([]a:100#1 2;b:100#`x)", "300#\"a\"", "\"abcabxyxyab\""};
  int copies = 0;
  for (const char *s : vals) {
    V x = ev(s);
    ASSERT_TRUE(x) << s;
    V m = qser(x, 0);
    std::string z = squeeze(bytes(m));
    copies += z.size() < nx(m);
    mr(m);
    V y = qdes(aCn(z.data(), (U)z.size()));
    ASSERT_TRUE(y) << s << " " << etext();
    EXPECT_TRUE(mtc_(x, y)) << s;
    mr(x), mr(y);
  }
  EXPECT_GE(copies, 6);
  auto cm = [](std::string body, U u) {
    std::string h("\x01\0\x01\0\0\0\0\0", 8);
    h.append((const char *)&u, 4);
    h += body;
    U n = (U)h.size();
    memcpy(&h[4], &n, 4);
    return qdes(aCn(h.data(), n));
  };
  // U = 8: an empty message, and then no value: 'domain.
  EXPECT_FALSE(cm("", 8));
  EXPECT_EQ(vmt::ename(), "'domain");
  // Literals only: one flag byte of zeros, eight literals ("xy").
  V y = cm(std::string("\0\x0a\0\x02\0\0\0xy", 9), 16);
  ASSERT_TRUE(y) << etext();
  EXPECT_EQ(text(y), "\"xy\"");
  // Eight literals, then a second flag byte whose first step copies the
  // pair "aa" (hash 0, last at 14) with k 6: the copy overlaps its output.
  std::string b = std::string("\0\x0a\0\x0a\0\0\0aa\x01\0\x06", 12);
  y = cm(b, 24);
  ASSERT_TRUE(y) << etext();
  EXPECT_EQ(text(y), "\"aaaaaaaaaa\"");
  // A copy missing its second byte, or running past U.
  EXPECT_FALSE(cm(std::string("\x01\0", 2), 20));
  EXPECT_EQ(vmt::ename(), "'domain");
  b[b.size() - 1] = 7;
  EXPECT_FALSE(cm(b, 24));
  EXPECT_EQ(vmt::ename(), "'domain");
  // Truncated compressed input, and U out of range.
  EXPECT_FALSE(cm(std::string("\0ab", 3), 30));
  EXPECT_EQ(vmt::ename(), "'domain");
  EXPECT_FALSE(cm("", 7));
  EXPECT_FALSE(cm("", (1u << 30) + 1));
  // U past what the body could expand to fails before the output is had;
  // the densest body (copies of 257 bytes) still reads at its U.
  EXPECT_FALSE(cm(std::string("\0ab", 3), 1u << 30));
  EXPECT_EQ(vmt::ename(), "'domain");
  V x = ev("40000#\"a\"");
  V m = qser(x, 0);
  std::string z = squeeze(bytes(m));
  mr(m);
  EXPECT_GT(nx(x) / z.size(), 100u);
  y = qdes(aCn(z.data(), (U)z.size()));
  ASSERT_TRUE(y) << etext();
  EXPECT_TRUE(mtc_(x, y));
  mr(x), mr(y);
}

// Truncating any golden message or serialisation anywhere fails cleanly.
TEST(Ipc, Truncations) {
  boot();
  Clean clean_;
  for (const Gd &g : ENC) {
    V x = ev(g.src);
    V m = qser(x, 0);
    std::string b = bytes(m);
    mr(m), mr(x);
    for (size_t k = 9; k < b.size(); k++) {
      std::string c = b.substr(0, k);
      U l = (U)k;
      memcpy(&c[4], &l, 4);
      V y = qdes(aCn(c.data(), l));
      if (y) mr(y);
      else EXPECT_TRUE(vmt::ename() == "'domain" || vmt::ename() == "'nyi") << g.src << " " << k;
    }
  }
  for (const Gd &g : SER) {
    V s = unhex(g.hex);
    for (U k = 0; k < nx(s); k++) {
      V y = des9(aCn(PC(s), k));
      EXPECT_FALSE(y) << g.src << " " << k;
      if (y) mr(y);
    }
    mr(s);
  }
}
