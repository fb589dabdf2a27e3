// Language cases: every tests/lang/*.cases file holds lines of the form
//   source -> expected
// where expected is the source form of the value (builtin k) or, for a
// failure, the first line of the error text ('type).  Blank lines and lines
// starting with "/ " are comments.  Cases run in order in one engine, so a
// file can define globals for the lines below it.
#include <gtest/gtest.h>
#include <dirent.h>
#include <fstream>
#include <string>
#include <vector>
#include "core/err.h"
#include "eval/eval.h"
#include "io/io.h"
#include "testutil.h"

#ifndef ZK_LANG_DIR
#define ZK_LANG_DIR "tests/lang"
#endif

using namespace zk;

namespace {

std::string lang_dir() {
  // The tests run from the build directory; the cases live in the source tree.
  for (const char *d : {ZK_LANG_DIR, "../tests/lang", "../../tests/lang", "tests/lang"}) {
    if (DIR *p = opendir(d)) {
      closedir(p);
      return d;
    }
  }
  return "";
}

std::vector<std::string> case_files() {
  std::vector<std::string> r;
  std::string d = lang_dir();
  if (DIR *p = opendir(d.c_str())) {
    while (dirent *e = readdir(p)) {
      std::string n = e->d_name;
      if (n.size() > 6 && n.substr(n.size() - 6) == ".cases") r.push_back(d + "/" + n);
    }
    closedir(p);
  }
  std::sort(r.begin(), r.end());
  return r;
}

// The text of evaluating src: the value's source form or the error's first line.
std::string run(const std::string &src) {
  V r = evn(src.c_str(), nullptr, 0);
  if (!r) {
    std::string e(tl.err_text, elen());
    return e.substr(0, e.find('\n'));
  }
  V s = kst(r);
  if (!s) {
    std::string e(tl.err_text, elen());
    return "<k failed: " + e.substr(0, e.find('\n')) + ">";
  }
  std::string t(PC(s), nx(s));
  mr(s);
  return t;
}

struct Lang : ::testing::TestWithParam<std::string> {};

TEST_P(Lang, Cases) {
  boot_once();
  std::ifstream in(GetParam());
  ASSERT_TRUE(in) << GetParam();
  std::string line;
  int no = 0;
  while (std::getline(in, line)) {
    no++;
    if (line.empty() || line.rfind("/ ", 0) == 0) continue;
    size_t at = line.find(" -> ");
    ASSERT_NE(at, std::string::npos) << GetParam() << ":" << no << ": no ' -> ' in " << line;
    std::string src = line.substr(0, at), want = line.substr(at + 4);
    EXPECT_EQ(run(src), want) << GetParam() << ":" << no << ": " << src;
  }
}

std::string name_of(const ::testing::TestParamInfo<std::string> &i) {
  std::string n = i.param.substr(i.param.rfind('/') + 1);
  n = n.substr(0, n.size() - 6);
  for (char &c : n)
    if (!isalnum((unsigned char)c)) c = '_';
  return n;
}

INSTANTIATE_TEST_SUITE_P(Files, Lang, ::testing::ValuesIn(case_files()), name_of);

}  // namespace
