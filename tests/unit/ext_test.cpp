// Native verb table and host hooks.
#include <gtest/gtest.h>
#include <string>
#include "capi/capi.h"

namespace {
zelko_value f1(zelko_value x) { return x; }
zelko_value f2(zelko_value x) { return 0; }
int started;
void on_start() { started++; }
}  // namespace

// The verb table only grows and lives for the process, so one test walks it
// from empty to full.
TEST(Ext, VerbTable) {
  int base = zk_ext_verb_count();  // other tests in this process may have registered verbs
  struct { const char *name; zk::xverb fn; int want; } bad[] = {
      {nullptr, f1, -1}, {"", f1, -1}, {"abcde", f1, -1}, {"ab", nullptr, -1},
      {"ab\xc3\x80", f1, -1}, {"abc\x80", f1, -1}};
  for (auto &b : bad) EXPECT_EQ(zk_ext_verb(b.name, b.fn), b.want) << (b.name ? b.name : "NULL");
  EXPECT_EQ(zk_ext_verb_count(), base);

  EXPECT_EQ(zk_ext_verb("sin", f1), 0);
  int key = 's' | 'i' << 8 | 'n' << 16;
  EXPECT_EQ(zk_ext_verb_lookup(key), f1);
  EXPECT_EQ(zk_ext_verb("sin", f2), 0);  // same name: replaced, not added
  EXPECT_EQ(zk_ext_verb_lookup(key), f2);
  EXPECT_EQ(zk_ext_verb("abcd", f1), 0);  // four ASCII bytes pack like the symbol id
  EXPECT_EQ(zk_ext_verb_lookup('a' | 'b' << 8 | 'c' << 16 | 'd' << 24), f1);
  EXPECT_EQ(zk_ext_verb_lookup(12345), nullptr);
  for (int i = 0; zk_ext_verb_count() < 32; i++) {
    std::string n = "v" + std::to_string(i);
    ASSERT_EQ(zk_ext_verb(n.c_str(), f1), 0) << n;
  }
  EXPECT_EQ(zk_ext_verb_count(), 32);
  EXPECT_EQ(zk_ext_verb("zz", f1), -1);  // the 33rd distinct name
  EXPECT_EQ(zk_ext_verb("sin", f1), 0);  // replacing still works when full
  EXPECT_EQ(zk_ext_verb_count(), 32);
}

TEST(Ext, AcceptedLine) {
  EXPECT_STREQ(zk_repl_take_accepted(), "");
  std::string long_line(600, 'x');
  zk_ext_set_accepted(long_line.c_str());
  EXPECT_EQ(std::string(zk_repl_take_accepted()), std::string(511, 'x'));
  EXPECT_STREQ(zk_repl_take_accepted(), "");
  zk_ext_set_accepted("1+2");
  zk_ext_set_accepted(nullptr);
  EXPECT_STREQ(zk_repl_take_accepted(), "");
}

TEST(Ext, StartupRunsOnce) {
  zk_ext_startup = on_start;
  zk_ext_startup_once();
  zk_ext_startup_once();
  EXPECT_EQ(started, 1);
  zk_ext_startup = nullptr;
}
