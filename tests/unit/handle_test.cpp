// Handles, the message transport and the event loop, against Python socket
// peers (tests/unit/ipc_peer.py): the client side (handshake, synchronous
// and asynchronous calls, waiting for the next message, error frames, a
// broken connection, parallel callers on one connection), the server side
// driven through qpoll (replies and error replies, the open, close, timer
// and asynchronous handlers, z.w, a peer that vanishes mid-reply), the
// builtins, message logs and their replay, and the loopback load test.
// The handlers belong to the modules, so each test defines its own.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <pty.h>
#include <sys/ioctl.h>

#include "capi/capi.h"
#include "io/io.h"
#include "shell/shell.h"
#include "vmutil.h"

using namespace zk;
using zkt::etext;
using vmt::ev;

namespace {

const std::string PEER = std::string(ZK_LANG_DIR) + "/../unit/ipc_peer.py";

// A Python peer with its standard output on a pipe.
struct Peer {
  pid_t pid = -1;
  int fd = -1;
  std::string got;
  bool eof = false;
  explicit Peer(std::vector<std::string> a) {
    int p[2];
    if (pipe(p)) return;
    std::vector<char *> v{(char *)"/usr/bin/python3", (char *)PEER.c_str()};
    for (auto &s : a) v.push_back((char *)s.c_str());
    v.push_back(nullptr);
    pid = fork();
    if (!pid) {
      dup2(p[1], 1);
      close(p[0]);
      close(p[1]);
      execv(v[0], v.data());
      _exit(127);
    }
    close(p[1]);
    fd = p[0];
    fcntl(fd, F_SETFD, FD_CLOEXEC);
  }
  // Reads what is there; false once the peer's output has ended.
  bool pump(int ms) {
    if (eof) return false;
    pollfd q{fd, POLLIN, 0};
    if (poll(&q, 1, ms) <= 0) return true;
    char b[4096];
    ssize_t n = read(fd, b, sizeof b);
    if (n <= 0) return !(eof = true);
    got.append(b, (size_t)n);
    return true;
  }
  std::string line() {
    size_t e;
    while ((e = got.find('\n')) == std::string::npos && pump(-1)) {
    }
    std::string l = got.substr(0, e);
    got.erase(0, e == std::string::npos ? e : e + 1);
    return l;
  }
  std::string rest() {
    while (pump(-1)) {
    }
    return got;
  }
  ~Peer() {
    if (fd >= 0) close(fd);
    if (pid > 0) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
    }
  }
};

bool havepy() { return access("/usr/bin/python3", X_OK) == 0; }

std::string hx(const G *p, UJ n) {
  static const char d[] = "0123456789abcdef";
  std::string s;
  for (UJ i = 0; i < n; i++) s += d[p[i] >> 4], s += d[p[i] & 15];
  return s;
}
// The frame of value text src as a message of type t, in hex.
std::string fr(const char *src, int t) {
  V v = ev(src);
  EXPECT_TRUE(v) << src;
  V m = qser(v, t);
  mr(v);
  std::string s = hx(P(m), nx(m));
  mr(m);
  return s;
}
// The encoded value alone (what a log holds).
std::string enc(const char *src) { return fr(src, 0).substr(16); }

// The source form of what src gives, or its error text.
std::string run(const std::string &src) {
  V r = ev(src.c_str());
  if (!r) {
    std::string e = vmt::ename();
    eclr();
    return e;
  }
  V t = kst(r);
  std::string s(PC(t), nx(t));
  mr(t);
  return s;
}

// Standard output sent to a file for one scope.
struct Stdout {
  int saved;
  FILE *f = tmpfile();
  Stdout() {
    fflush(stdout);
    saved = dup(1);
    dup2(fileno(f), 1);
  }
  std::string text() {
    fflush(stdout);
    std::string s;
    char b[4096];
    rewind(f);
    size_t n;
    while ((n = fread(b, 1, sizeof b, f))) s.append(b, n);
    return s;
  }
  ~Stdout() {
    dup2(saved, 1);
    close(saved);
    fclose(f);
  }
};

struct Handles : ::testing::Test {
  static void SetUpTestSuite() { vmt::boot(); }
};

// ---- client side ----

TEST_F(Handles, ClientHandshakeSyncAsync) {
  if (!havepy()) GTEST_SKIP() << "no /usr/bin/python3";
  Peer p({"serve", "echo"});
  std::string port = p.line();
  ASSERT_FALSE(port.empty());
  std::string h = run("`qho " + port);
  ASSERT_NE(h[0], '\'') << h;
  EXPECT_EQ(p.line(), "hs 0300");
  I fd = (I)std::stoi(h);
  EXPECT_EQ(qhk[fd], 1);
  for (const char *c : {"1 2 3", "\"abc\"", "`a`b!(1;\"x\")", "(1;2.5;`s)"})
    EXPECT_EQ(run(h + "[" + c + "]"), run(c)) << c;
  EXPECT_EQ(run("(-" + h + ")[42]"), "::");
  EXPECT_EQ(run("(-" + h + ")[43]"), "::");
  EXPECT_EQ(run(h + "[7]"), "7");  // the asynchronous ones arrived before it
  EXPECT_EQ(run("`qhc " + h), "::");
  EXPECT_EQ(qhk[fd], 0);
  EXPECT_EQ(p.line(), "async 2 sync 5");
  // Host, port and credentials; the credentials precede 03 00.
  h = run("`qho \":127.0.0.1:" + port + ":user:pw\"");
  ASSERT_NE(h[0], '\'') << h;
  EXPECT_EQ(p.line(), "hs " + hx((const G *)"user:pw", 7) + "0300");
  EXPECT_EQ(run("`qhc " + h), "::");
  EXPECT_EQ(p.line(), "async 0 sync 0");
  h = run("`qho (`$\"localhost:" + port + "\")");
  ASSERT_NE(h[0], '\'') << h;
  EXPECT_EQ(p.line(), "hs 0300");
  EXPECT_EQ(run("`qhc " + h), "::");
}

TEST_F(Handles, ClientErrorFramePushAndNext) {
  if (!havepy()) GTEST_SKIP() << "no /usr/bin/python3";
  {
    Peer p({"serve", "err"});
    std::string h = run("`qho " + p.line());
    EXPECT_EQ(run(h + "[1]"), "'oops");  // the peer's error, raised
    EXPECT_EQ(qhk[std::stoi(h)], 1);    // and the connection kept
    run("`qhc " + h);
  }
  {
    Peer p({"serve", "push"});
    std::string h = run("`qho " + p.line());
    run("PS::0; z.ps:{PS::x}");
    EXPECT_EQ(run(h + "[5 6]"), "5 6");
    EXPECT_EQ(run("PS"), "5 6");  // the request that came first reached "{z.ps x}"
    // A failing handler is printed, and the wait goes on to the reply.
    run("z.ps:{`err \"nope\"}");
    std::string said;
    {
      Stdout c;
      EXPECT_EQ(run(h + "[8]"), "8");
      said = c.text();
    }
    EXPECT_NE(said.find(" nope\n"), std::string::npos) << said;
    run("`qhc " + h);
  }
  {
    Peer p({"serve", "next", fr("42", 0)});
    std::string h = run("`qho " + p.line());
    EXPECT_EQ(run(h + "[::]"), "42");  // nothing sent: the next message
    EXPECT_EQ(run(h + "[9]"), "9");
    run("`qhc " + h);
  }
}

TEST_F(Handles, ClientBrokenConnection) {
  if (!havepy()) GTEST_SKIP() << "no /usr/bin/python3";
  Peer p({"serve", "close"});
  std::string h = run("`qho " + p.line());
  I fd = (I)std::stoi(h);
  EXPECT_EQ(run(h + "[1]"), "'io");
  EXPECT_EQ(qhk[fd], 0);
  EXPECT_EQ(run(h + "[1]"), "'type");  // dropped: no longer a handle
  // A write to the gone peer fails without ending the process.
  Peer q({"serve", "close"});
  h = run("`qho " + q.line());
  fd = (I)std::stoi(h);
  EXPECT_EQ(run("(-" + h + ")[1]"), "::");
  q.rest();
  std::string r;
  for (int i = 0; i < 50 && r != "'io"; i++) r = run("(-" + h + ")[10000#1]");
  EXPECT_EQ(r, "'io");
  EXPECT_EQ(qhk[fd], 0);
}

// The engine's environment list holding one entry for one scope.
struct Env {
  const char **old = zk_env;
  const char *e[2] = {};
  explicit Env(const char *a) {
    e[0] = a;
    zk_env = e;
  }
  ~Env() { zk_env = old; }
};

TEST_F(Handles, ParallelCallersOnOneConnection) {
  if (!havepy()) GTEST_SKIP() << "no /usr/bin/python3";
  Peer p({"serve", "echo"});
  std::string h = run("H::`qho " + p.line());
  Env e("ZELKO_THREADS=8");
  for (int k = 0; k < 3; k++)
    EXPECT_EQ(run("`pe ({H (x;-x;x#\"ab\")};til 64)"), run("{(x;-x;x#\"ab\")}'til 64"));
  run("`qhc H");
}

// ---- the read-ahead buffer ----

// A registered outgoing connection on one end of a socket pair; the test
// writes the other end.
struct Pair {
  int a = -1, b = -1;
  Pair() {
    int s[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, s)) return;
    a = s[0], b = s[1];
    hreg(a, 1);
  }
  void put(const std::string &s) const { ASSERT_EQ(write(b, s.data(), s.size()), (ssize_t)s.size()); }
  ~Pair() {
    if (a >= 0) qhk[a] ? (void)hcl(a) : (void)close(a);
    if (b >= 0) close(b);
  }
};

// The frame of value text src as a message of type t.
std::string frb(const char *src, int t) {
  V v = ev(src);
  V m = qser(v, t);
  mr(v);
  std::string s(PC(m), nx(m));
  mr(m);
  return s;
}

// One qrcv on fd: the type and the value's source form, or the error.
std::string got(I fd) {
  int ty;
  V v = qrcv(fd, &ty);
  std::string s = std::to_string(ty) + " ";
  if (v) {
    V t = kst(v);
    s += std::string(PC(t), nx(t));
    mr(t);
  } else
    s += vmt::ename();
  eclr();
  return s;
}

// Messages cut from what one read brings: two whole ones, one split at
// every byte (so also inside the header) with or without one before it in
// the same read, ones too large for the buffer, and ones that move the
// buffered rest to its front.
TEST_F(Handles, ReadAheadSplitsAndJoins) {
  std::string a = frb("1 2 3", 1), b = frb("(`x;\"yz\";4.5)", 0);
  {
    Pair p;
    p.put(a + b + a);
    EXPECT_EQ(got(p.a), "1 1 2 3");
    EXPECT_EQ(got(p.a), "0 (`x;\"yz\";4.5)");
    EXPECT_EQ(got(p.a), "1 1 2 3");
  }
  for (const std::string &pre : {std::string(), a})
    for (size_t k = 1; k < b.size(); k++) {
      Pair p;
      p.put(pre + b.substr(0, k));
      std::thread w([&] {
        usleep(2000);
        p.put(b.substr(k));
      });
      if (!pre.empty()) {
        EXPECT_EQ(got(p.a), "1 1 2 3") << k;
      }
      EXPECT_EQ(got(p.a), "0 (`x;\"yz\";4.5)") << k << " " << pre.size();
      w.join();
    }
  // 40 KB each: the second starts in the buffer's far half.  200,000 longs
  // pass by the buffer, after a small one that shared its first read.
  std::string m = frb("5000#7", 1), big = frb("!200000", 2);
  for (const std::string &s : {m + m + a, a + big + a}) {
    Pair p;
    std::thread w([&] { p.put(s); });
    for (size_t i = 0; i < s.size();) {
      int ty;
      V v = qrcv(p.a, &ty);
      ASSERT_TRUE(v) << i;
      U n;
      memcpy(&n, s.data() + i + 4, 4);
      V e = qdes(aCn(s.data() + i, n));
      zkt::setg("RA", v), zkt::setg("RE", e);
      EXPECT_EQ(run("RA~RE"), run("1=1")) << i;
      EXPECT_EQ(ty, s[i + 1]);
      i += n;
    }
    w.join();
  }
  zkt::setg("RA", 0), zkt::setg("RE", 0);
}

// The end of a message that never comes: a close inside one ends the
// connection (what came whole before it is still delivered), as does qbnd
// of silence; a bad header after a good message fails 'domain; and bytes
// left by a closed connection never reach one that takes its number.
TEST_F(Handles, ReadAheadEnds) {
  std::string a = frb("1 2 3", 1), b = frb("4 5", 1);
  for (size_t k : {1, 7, 8, 9, 20}) {
    Pair p;
    p.put(a + b.substr(0, k));
    shutdown(p.b, SHUT_WR);
    EXPECT_EQ(got(p.a), "1 1 2 3") << k;
    EXPECT_EQ(got(p.a), "255 ") << k;
  }
  J b0 = qbnd;
  qbnd = 50;
  {
    Pair p;
    p.put(a + b.substr(0, 12));
    EXPECT_EQ(got(p.a), "1 1 2 3");
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(got(p.a), "255 ");
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(5));
  }
  qbnd = b0;
  {
    Pair p;
    p.put(a + "\2" + b.substr(1));
    EXPECT_EQ(got(p.a), "1 1 2 3");
    EXPECT_EQ(got(p.a), "255 'domain");
  }
  int fd;
  {
    Pair p;
    p.put(a + b);
    EXPECT_EQ(got(p.a), "1 1 2 3");
    fd = p.a;
  }
  Pair q;
  ASSERT_EQ(q.a, fd) << "the number is not taken again";
  q.put(frb("`new", 0));
  EXPECT_EQ(got(q.a), "0 `new");
}

// ---- the builtins ----

TEST_F(Handles, Builtins) {
  char d[] = "/tmp/zk_hdlXXXXXX";
  ASSERT_TRUE(mkdtemp(d));
  std::string dir = d;
  // a:b has no digit after its colon: a file of that name, for appending.
  ASSERT_EQ(chdir(d), 0);
  std::string h = run("`qho \"a:b\"");
  ASSERT_NE(h[0], '\'') << h;
  EXPECT_EQ(qhk[std::stoi(h)], 3);
  EXPECT_EQ(access((dir + "/a:b").c_str(), F_OK), 0);
  EXPECT_EQ(run("`qhc " + h), "::");
  EXPECT_EQ(run("`qhc " + h), "'domain");  // already closed
  for (const char *c : {"0", "4096", "-1", "1 2"}) EXPECT_EQ(run(std::string("`qhc ") + c), c[0] == '1' ? "'type" : "'domain") << c;
  EXPECT_EQ(run("`qhc 2.0"), "'type");
  EXPECT_EQ(run("`qho 2.0"), "'type");
  EXPECT_EQ(run("`qlog 1"), "'type");
  EXPECT_EQ(run("`hdel (`$\"" + dir + "/a:b\")"), "::");
  EXPECT_EQ(access((dir + "/a:b").c_str(), F_OK), -1);
  EXPECT_EQ(run("`hdel \"" + dir + "/a:b\""), "'io");
  EXPECT_EQ(run("`qho \"" + dir + "/no/such\""), "'io");
  EXPECT_EQ(run("`qlog \"" + dir + "/no/such\""), "'io");
  ASSERT_EQ(chdir("/"), 0);
  // Nothing listens on a port just closed.
  int s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(s, (sockaddr *)&a, sizeof a);
  socklen_t l = sizeof a;
  getsockname(s, (sockaddr *)&a, &l);
  close(s);
  EXPECT_EQ(run("`qho " + std::to_string(ntohs(a.sin_port))), "'io");
  EXPECT_EQ(run("`qho \"nosuchhost.invalid:5001\""), "'io");
  rmdir(d);
}

// A descriptor above 4095 is never registered: a file so opened is closed
// and fails, an accepted client is closed at once.  In a child, which
// raises its own descriptor limit.
TEST_F(Handles, DescriptorsAbove4095Refused) {
  pid_t c = fork();
  if (!c) {
    rlimit r{8192, 8192};
    if (setrlimit(RLIMIT_NOFILE, &r)) _exit(3);  // cannot test here
    int pi[2];
    if (pipe(pi)) _exit(4);
    dup2(pi[0], 0);
    int ls = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t l = sizeof a;
    if (bind(ls, (sockaddr *)&a, sizeof a) || listen(ls, 4) || getsockname(ls, (sockaddr *)&a, &l)) _exit(5);
    int cl = socket(AF_INET, SOCK_STREAM, 0);
    if (connect(cl, (sockaddr *)&a, sizeof a)) _exit(6);
    int f;
    while ((f = open("/dev/null", O_RDONLY)) < 4095)
      if (f < 0) _exit(7);
    // 4096 is the next number the system hands out.
    V h = ev("`qho \"/tmp/zk_hdl_4096.log\"");
    unlink("/tmp/zk_hdl_4096.log");
    if (h || vmt::ename() != "'io") _exit(8);
    eclr();
    int g = open("/dev/null", O_RDONLY);
    if (g != 4096) _exit(9);
    close(g);
    qls = ls;
    if (send(cl, "\3\0", 2, 0) != 2) _exit(10);
    qpoll();
    if (qhk[4095] || fcntl(4096, F_GETFD) != -1) _exit(11);
    char b;
    if (recv(cl, &b, 1, 0) > 0) _exit(12);  // closed unanswered
    _exit(0);
  }
  int st;
  waitpid(c, &st, 0);
  ASSERT_TRUE(WIFEXITED(st));
  if (WEXITSTATUS(st) == 3) GTEST_SKIP() << "descriptor limit cannot be raised";
  EXPECT_EQ(WEXITSTATUS(st), 0);
}

// ---- message logs ----

std::string slurp(const std::string &f) {
  std::ifstream i(f, std::ios::binary);
  std::stringstream s;
  s << i.rdbuf();
  std::string b = s.str();
  return hx((const G *)b.data(), b.size());
}
void spit(const std::string &f, const std::string &hex) {
  std::string b;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) b += (char)std::stoi(hex.substr(i, 2), nullptr, 16);
  std::ofstream(f, std::ios::binary) << b;
}

TEST_F(Handles, LogsAndReplay) {
  std::string f = "/tmp/zk_hdl_log" + std::to_string(getpid());
  std::string q = "\"" + f + "\"";
  EXPECT_EQ(run("`qlog (`$\":" + f + "\")"), "::");
  EXPECT_EQ(slurp(f), "ff01000000000000");
  std::string h = run("`qho " + q);
  EXPECT_EQ(run(h + "[(1;`a)]"), "::");
  std::string hdr = "ff01000000000000";
  EXPECT_EQ(slurp(f), hdr + enc("1") + enc("`a"));
  EXPECT_EQ(run(h + "[,\"x\"]"), "::");  // a vector: each item
  EXPECT_EQ(run(h + "[5]"), "'type");
  // A value that cannot be encoded logs nothing, not even the items before it.
  EXPECT_EQ(run(h + "[(2;{x+y}[1])]")[0], '\'');
  EXPECT_EQ(slurp(f), hdr + enc("1") + enc("`a") + enc("\"x\""));
  EXPECT_EQ(run("(-" + h + ")[,3]"), "::");  // negative: the same
  run("`qhc " + h);
  std::string three = hdr + enc("1") + enc("`a") + enc("\"x\"") + enc("3");
  run("N::0; L::(); qvalue:{N::N+1; L::L,,x}");
  EXPECT_EQ(run("-11!" + q), "4");
  EXPECT_EQ(run("N"), "4");
  EXPECT_EQ(run("L"), "(1;`a;\"x\";3)");
  spit(f, hdr + enc("1") + enc("2") + enc("3"));
  struct {
    const char *arg;
    const char *res;
    int ran;
  } cs[] = {{"", "3", 3}, {"(2;", "2", 2}, {"(-2;", "3", 0}, {"(-1;", "3", 3}, {"(0;", "0", 0}};
  for (auto &c : cs) {
    run("N::0");
    std::string a = *c.arg ? std::string(c.arg) + "`$\":" + f + "\")" : q;
    EXPECT_EQ(run("-11!" + a), c.res) << c.arg;
    EXPECT_EQ(run("N"), std::to_string(c.ran)) << c.arg;
  }
  struct {
    std::string bytes, res;
  } fs[] = {
      {hdr, "0"},
      {hdr + enc("1") + enc("2") + enc("1 2 3").substr(0, 12), "2"},  // truncated
      {"ff02" + hdr.substr(4), "'badtail"},
      {"ff01", "'badtail"},
      {"", "'badtail"},
      {hdr + enc("1") + "80" + hx((const G *)"boom", 4) + "00" + enc("2"), "'boom"},
  };
  for (auto &c : fs) {
    spit(f, c.bytes);
    EXPECT_EQ(run("-11!" + q), c.res) << c.bytes;
  }
  // A failing qvalue stops the replay; a logged lambda is a value, not run.
  spit(f, hdr + enc("1") + enc("2") + enc("3"));
  run("N::0; qvalue:{$[x~2;`err \"stop\";N::N+1]}");
  EXPECT_EQ(run("-11!" + q), "'stop");
  EXPECT_EQ(run("N"), "1");
  spit(f, hdr + enc("{R::1}"));
  run("R::0; qvalue:{L::x}");
  EXPECT_EQ(run("-11!" + q), "1");
  EXPECT_EQ(run("R"), "0");
  EXPECT_EQ(run("@L"), "`o");
  unlink(f.c_str());
  EXPECT_EQ(run("-11!" + q), "'io");
  EXPECT_EQ(run("-11!(1;2)"), "'type");
  EXPECT_EQ(run("-11!(1;2;3)"), "'type");
  EXPECT_EQ(run("-11!(`a;" + q + ")"), "'type");
  EXPECT_EQ(run("-11!5"), "'type");
  zkt::setg("qvalue", 0);  // the modules' name, undefined again for later tests
}

// ---- server side, through the event loop ----

// Standard input replaced by an idle pipe for one scope, so the loop's
// steps wait on the sockets and the timer only.
struct IdleIn {
  int saved, p[2];
  IdleIn() {
    saved = dup(0);
    if (pipe(p)) p[0] = p[1] = -1;
    dup2(p[0], 0);
  }
  ~IdleIn() {
    dup2(saved, 0);
    close(saved);
    close(p[0]);
    close(p[1]);
  }
};

// A listener on 127.0.0.1 at a port the system picks, served by the loop.
struct Listen {
  int fd;
  int port = 0;
  Listen() {
    fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t l = sizeof a;
    if (!bind(fd, (sockaddr *)&a, sizeof a) && !listen(fd, 64) && !getsockname(fd, (sockaddr *)&a, &l))
      port = ntohs(a.sin_port);
    qls = fd;
    qlp = port;
  }
  ~Listen() {
    close(fd);
    qls = -1;
    qtp = 0;
  }
};

bool anyconn() {
  for (int fd = 0; fd < 4096; fd++)
    if (qhk[fd] == 2) return true;
  return false;
}

// Steps the loop until the peer's output ends and its connections are
// closed (a timer keeps steps short).
void serve(Peer &p) {
  qtp = 20, qtn = 0;
  auto t0 = std::chrono::steady_clock::now();
  auto late = [&] { return std::chrono::steady_clock::now() - t0 > std::chrono::seconds(60); };
  while (p.pump(0) && !late()) qpoll();
  while (anyconn() && !late()) qpoll();
}


TEST_F(Handles, ServerRepliesAndHandlers) {
  if (!havepy()) GTEST_SKIP() << "no /usr/bin/python3";
  IdleIn in;
  Listen l;
  ASSERT_GT(l.port, 0);
  run("z.ts:{}; PO::(); PC::(); W::(); z.po:{PO::PO,x}; z.pc:{PC::PC,x}");
  run("z.pg:{W::W,z.w; $[x~`l;`err\"length\";x~`p;{x+y}[1];x~`e;`err\"\";x]}");
  run("z.ps:{W::W,z.w; $[x~`l;`err\"length\";AS::x]}");
  std::string bad = fr("1 2", 1);
  bad = bad.substr(0, 20) + "03000000" + bad.substr(28);  // 3 items said, 2 there
  std::string badn = "01010000" + hx((const G *)"\x0f\0\0\0", 4) + "77000000000000";  // unknown type
  Peer p({"client", std::to_string(l.port), "hs:0300", "send:" + fr("`l", 1), "recv",
          "send:" + fr("`p", 1), "recv", "send:" + bad, "recv", "send:" + badn, "recv",
          "send:" + fr("`e", 1), "recv", "send:" + fr("`l", 0), "send:" + fr("17", 0),
          "send:" + bad.substr(0, 2) + "00" + bad.substr(4), "send:" + fr("`ok", 1), "recv", "close"});
  std::string said;
  {
    Stdout c;
    serve(p);
    said = c.text();
  }
  std::istringstream o(p.got);
  std::string ln, err = "01020000", rep;
  auto efr = [&](const char *t) {
    UJ n = strlen(t);
    G b[4];
    U k = (U)(10 + n);
    memcpy(b, &k, 4);
    return err + hx(b, 4) + "80" + hx((const G *)t, n) + "00";
  };
  std::vector<std::string> want = {"hs 03", "msg " + efr("length"), "msg " + efr("type"),
                                   "msg " + efr("domain"), "msg " + efr("nyi"), "msg " + efr("error"),
                                   "msg " + fr("`ok", 2)};
  for (auto &w : want) {
    ASSERT_TRUE(std::getline(o, ln)) << p.got;
    EXPECT_EQ(ln, w);
  }
  // The failing asynchronous handler's line, with the local time.
  EXPECT_TRUE(std::regex_match(said, std::regex("'\\d{4}\\.\\d\\d\\.\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3} length\n")))
      << said;
  EXPECT_EQ(run("AS"), "17");
  EXPECT_EQ(run("#PO"), "1");
  EXPECT_EQ(run("PC"), run("PO")) << "one close call, for the handle that was opened";
  EXPECT_EQ(run("&/W=*PO"), run("1=1"));  // z.w was the handle in every handler
  EXPECT_EQ(run("z.w"), "0");
  // A handle closed here: no close call.
  Peer q({"client", std::to_string(l.port), "hs:0300", "waiteof"});
  for (int i = 0; i < 3000 && run("#PO") != "2"; i++) qpoll();
  ASSERT_EQ(run("#PO"), "2");
  EXPECT_EQ(run("`qhc PO 1"), "::");
  serve(q);
  EXPECT_EQ(q.got, "hs 03\neof\n");
  EXPECT_EQ(run("#PC"), "1");
}

// Requests that reach the loop in one read are each answered, in order,
// without the client sending more.
TEST_F(Handles, ServerRequestsInOneRead) {
  if (!havepy()) GTEST_SKIP() << "no /usr/bin/python3";
  IdleIn in;
  Listen l;
  run("z.ts:{}; z.po:{}; z.pc:{}; AS::(); z.pg:{x}; z.ps:{AS::AS,x}");
  Peer p({"client", std::to_string(l.port), "hs:0300",
          "send:" + fr("1 2", 1) + fr("3", 0) + fr("`b", 1) + fr("4", 0) + fr("\"c\"", 1), "recv", "recv",
          "recv", "close"});
  serve(p);
  EXPECT_EQ(p.got, "hs 03\nmsg " + fr("1 2", 2) + "\nmsg " + fr("`b", 2) + "\nmsg " + fr("\"c\"", 2) + "\n");
  EXPECT_EQ(run("AS"), "3 4");
}

// A peer that asks for a large reply and goes away: the failed write is
// ignored and the process goes on, whatever the broken-pipe disposition.
TEST_F(Handles, ServerPeerVanishesMidReply) {
  if (!havepy()) GTEST_SKIP() << "no /usr/bin/python3";
  IdleIn in;
  Listen l;
  auto old = signal(SIGPIPE, SIG_DFL);
  run("z.ts:{}; z.po:{}; NC::0; z.pc:{NC::NC+1}; z.pg:{til x}");
  for (int k = 0; k < 2; k++) {
    Peer p({"client", std::to_string(l.port), "hs:0300", "send:" + fr("4000000", 1), "close"});
    serve(p);
  }
  EXPECT_EQ(run("NC"), "2");
  signal(SIGPIPE, old);
}

TEST_F(Handles, LateTimerFiresOnce) {
  IdleIn in;
  run("TS::(); z.ts:{TS::TS,x}");
  qtp = 1000;
  J late = qnow() - 5000;
  qtn = late;
  J a = qnow();
  qpoll();
  J b = qnow();
  EXPECT_EQ(run("#TS"), "1");
  EXPECT_GE(qtn, a + 1000);
  EXPECT_LE(qtn, b + 1000);
  // The timestamp is the wall clock at millisecond resolution.
  V t = ev("*TS");
  J ms = (PL(t)[0] + 946684800000000000LL) / 1000000;
  mr(t);
  EXPECT_GE(ms, a);
  EXPECT_LE(ms, b);
  // A failing timer handler is printed, and the loop goes on.
  run("z.ts:{`err \"tick\"}");
  qtn = 0;
  std::string said;
  {
    Stdout c;
    qpoll();
    said = c.text();
  }
  EXPECT_NE(said.find(" tick\n"), std::string::npos) << said;
  qtp = 0;
}

// The line editor waiting for a key in a terminal serves the port and the
// timer: a client gets its reply, also after a resize with no key pressed,
// and a 100 ms timer fires at the prompt.  The editor runs in a child on a
// pseudo-terminal; its exit status says what it saw.
TEST_F(Handles, ServedWhileTheLineEditorWaits) {
  if (!havepy()) GTEST_SKIP() << "no /usr/bin/python3";
  Listen l;
  ASSERT_GT(l.port, 0);
  char home[] = "/tmp/zk_hdl_homeXXXXXX";
  ASSERT_TRUE(mkdtemp(home));
  int m;
  winsize ws{24, 80, 0, 0};
  pid_t c = forkpty(&m, nullptr, nullptr, &ws);
  ASSERT_GE(c, 0);
  if (!c) {
    setenv("TERM", "xterm", 1), setenv("HOME", home, 1), setenv("ZELKO_RLWRAP", "0", 1);
    unsetenv("ZELKO_NO_EDIT");
    run("TK::0; z.ts:{TK::TK+1}; z.pg:{x}; z.po:{}; z.pc:{}");
    qtp = 100, qtn = 0;
    V r = rdlC(aCz("p) "));
    std::string got = r && tp(r) == tCHR ? std::string(PC(r), nx(r)) : "";
    _exit(got != "1+1\n" ? 1 : run("TK>2") != run("1=1") ? 2 : 0);
  }
  // The terminal's output is read as it comes, so the editor never blocks.
  std::string scr;
  auto drain = [&](int ms) {
    pollfd q{m, POLLIN, 0};
    char b[4096];
    while (poll(&q, 1, ms) > 0) {
      ssize_t n = read(m, b, sizeof b);
      if (n <= 0) break;
      scr.append(b, (size_t)n);
      ms = 0;
    }
  };
  for (int i = 0; i < 100 && scr.find("p) ") == std::string::npos; i++) drain(100);
  EXPECT_NE(scr.find("p) "), std::string::npos);
  for (int k = 0; k < 2; k++) {
    if (k) ioctl(m, TIOCSWINSZ, &(ws = {30, 100, 0, 0}));  // a resize, no key
    Peer p({"client", std::to_string(l.port), "hs:0300", "send:" + fr("42 43", 1), "recv", "close"});
    auto t0 = std::chrono::steady_clock::now();
    while (p.pump(0) && std::chrono::steady_clock::now() - t0 < std::chrono::seconds(20)) drain(20);
    EXPECT_EQ(p.got, "hs 03\nmsg " + fr("42 43", 2) + "\n") << k;
  }
  drain(400);  // a few timer ticks
  ASSERT_EQ(write(m, "1+1\r", 4), 4);
  int st = -1;
  for (int i = 0; i < 200 && waitpid(c, &st, WNOHANG) == 0; i++) drain(50);
  if (st == -1) kill(c, SIGKILL), waitpid(c, &st, 0);
  close(m);
  std::string hf = std::string(home) + "/.zelko_history";
  unlink(hf.c_str());
  rmdir(home);
  ASSERT_TRUE(WIFEXITED(st)) << scr;
  EXPECT_EQ(WEXITSTATUS(st), 0) << "1: the line, 2: the timer";
}

// ---- the loopback load test ----

int nfds() {
  int n = 0;
  for (int fd = 0; fd < 4096; fd++) n += fcntl(fd, F_GETFD) != -1;
  return n;
}

TEST_F(Handles, LoopbackLoad) {
  if (!havepy()) GTEST_SKIP() << "no /usr/bin/python3";
  auto t0 = std::chrono::steady_clock::now();
  IdleIn in;
  Listen l;
  J b0 = qbnd;
  qbnd = 500;
  run("z.ts:{}; z.po:{NO::NO+1}; z.pc:{NC::NC+1}; z.pg:{x}; z.ps:{NA::NA+1; SA::SA+x 1}");
  run("NO::NC::NA::SA::0");
  {
    Peer w({"load", std::to_string(l.port), "2", "120"});  // every path once, then measure
    serve(w);
  }
  run("NO::NC::NA::SA::0");
  qbnd = 1000;
  int f0 = nfds();
  UJ m0 = freebytes();
  std::string o;
  {
    Peer p({"load", std::to_string(l.port), "16", "2000"});
    serve(p);
    o = p.got;
  }
  qbnd = b0;
  for (int c = 0; c < 16; c++) EXPECT_NE(o.find("ok " + std::to_string(c) + "\n"), std::string::npos) << c;
  EXPECT_EQ(o.find("bad"), std::string::npos) << o;
  EXPECT_NE(o.find("silent dropped"), std::string::npos) << o;
  EXPECT_EQ(run("NO"), "33");  // 16, their reconnections, the silent one
  EXPECT_EQ(run("NC"), "33");
  EXPECT_EQ(run("NA"), "32000");
  EXPECT_EQ(run("SA"), std::to_string(16 * 1999 * 2000 / 2));
  EXPECT_EQ(nfds(), f0);
  EXPECT_EQ(freebytes(), m0);
  auto s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  EXPECT_LT(s, 45.0);
  fprintf(stderr, "loopback load: %.2f s\n", s);
}

}  // namespace
