// Synchronous round trips through the event loop: small messages (a
// three-item long vector) from 1 and 64 clients, and one 100 MB long
// vector there and back, each against the engine's loop (qpoll serving
// "{z.pg x}" as {x}) and against bench/handle_echo.py, a Python selectors
// echo server moving the same frames.  One client, written here on raw
// sockets, drives both servers; each server runs in its own process.
//
//   bench_handle_bench --benchmark_filter=.   (server 0 engine, 1 echo)
#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "core/core.h"
#include "eval/eval.h"
#include "io/io.h"

using namespace zk;

namespace {

struct Srv {
  pid_t pid = -1;
  int in = -1;  // its standard input: closing it ends the server
  int port = 0;
};
Srv srv[2];

// A server in a child process: body runs there with standard input the
// read end of a pipe kept here, and writes its port as decimal text to out.
Srv spawn(void (*body)(int out)) {
  int p[2], q[2];
  Srv s;
  // Close-on-exec, so a server spawned later (or the echo's interpreter)
  // does not hold another server's standard input open: a copy kept there
  // would keep that server from ever seeing the end of its input.
  if (pipe2(p, O_CLOEXEC) || pipe2(q, O_CLOEXEC)) return s;
  s.pid = fork();
  if (!s.pid) {
    dup2(p[0], 0);
    close(p[1]), close(q[0]);
    body(q[1]);
    _exit(1);
  }
  close(p[0]), close(q[1]);
  s.in = p[1];
  char b[16] = {};
  size_t k = 0;
  while (k < sizeof b - 1 && !strchr(b, '\n')) {
    ssize_t n = read(q[0], b + k, sizeof b - 1 - k);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      fprintf(stderr, "spawn: read %zd errno %d\n", n, errno);
      break;
    }
    k += (size_t)n;
  }
  s.port = atoi(b);
  close(q[0]);
  return s;
}

// The engine's loop: a listener, the echo handler, steps until standard
// input ends.
void engine(int out) {
  kinit();
  int l = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t n = sizeof a;
  if (bind(l, (sockaddr *)&a, sizeof a) || listen(l, 128) || getsockname(l, (sockaddr *)&a, &n)) return;
  V r = evn("z.pg:{x}; z.po:{}; z.pc:{}", nullptr, 0);
  if (r) mr(r);
  qls = l;
  std::string t = std::to_string(ntohs(a.sin_port)) + "\n";
  if (write(out, t.data(), t.size()) != (ssize_t)t.size()) return;
  while (!qpoll()) {
  }
  _exit(0);
}

void echo(int out) {
  dup2(out, 1);
  std::string f = std::string(ZK_BENCH_DIR) + "/handle_echo.py";
  execl("/usr/bin/python3", "python3", f.c_str(), (char *)nullptr);
}

// Ends both servers: their inputs closed, then up to 5 s for each to exit
// before it is killed, so a stuck server cannot hang the benchmark.
void stop() {
  for (auto &s : srv)
    if (s.pid > 0) close(s.in);
  for (auto &s : srv) {
    if (s.pid <= 0) continue;
    int k = 0;
    while (waitpid(s.pid, nullptr, WNOHANG) == 0) {
      if (++k == 500) {
        fprintf(stderr, "server %d did not end: killed\n", (int)s.pid);
        kill(s.pid, SIGKILL);
        waitpid(s.pid, nullptr, 0);
        break;
      }
      usleep(10000);
    }
    s.pid = -1;
  }
}

int port(int k) {
  static std::once_flag up;
  std::call_once(up, [] {
    signal(SIGPIPE, SIG_IGN);
    srv[0] = spawn(engine);
    srv[1] = spawn(echo);
    atexit(stop);
  });
  return srv[k].port;
}

bool all(int fd, void *b, size_t n, bool rd) {
  char *p = (char *)b;
  while (n) {
    ssize_t r = rd ? recv(fd, p, n, 0) : send(fd, p, n, MSG_NOSIGNAL);
    if (r <= 0) return false;
    p += r, n -= (size_t)r;
  }
  return true;
}

int conn(int port) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons((uint16_t)port);
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int one = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  char b = 0;
  if (connect(fd, (sockaddr *)&a, sizeof a) || !all(fd, (void *)"\3\0", 2, false) || !all(fd, &b, 1, true)) {
    close(fd);
    return -1;
  }
  return fd;
}

// A request frame holding a long vector of n items.
std::vector<char> req(uint32_t n) {
  uint32_t len = 14 + 8 * n;
  std::vector<char> m(len);
  m[0] = 1, m[1] = 1;
  memcpy(&m[4], &len, 4);
  m[8] = 7, m[9] = 0;
  memcpy(&m[10], &n, 4);
  for (uint32_t i = 0; i < n; i++) {
    int64_t v = (int64_t)i * 7919;
    memcpy(&m[14 + 8 * i], &v, 8);
  }
  return m;
}

// One round trip: the reply must be the request back, as a response.
bool trip(int fd, const std::vector<char> &m, std::vector<char> &r) {
  if (!all(fd, (void *)m.data(), m.size(), false) || !all(fd, r.data(), m.size(), true)) return false;
  return r[1] == 2 && !memcmp(r.data() + 8, m.data() + 8, m.size() - 8);
}

// Small round trips; state.threads() clients, each on its own connection.
void small(benchmark::State &st) {
  int fd = conn(port((int)st.range(0)));
  if (fd < 0) return st.SkipWithError("no server");
  auto m = req(3);
  std::vector<char> r(m.size());
  for (auto _ : st)
    if (!trip(fd, m, r)) {
      st.SkipWithError("bad reply");
      break;
    }
  st.SetItemsProcessed(st.iterations());
  close(fd);
}

void big(benchmark::State &st) {
  int fd = conn(port((int)st.range(0)));
  if (fd < 0) return st.SkipWithError("no server");
  auto m = req(12500000);  // 100 MB
  std::vector<char> r(m.size());
  for (auto _ : st)
    if (!trip(fd, m, r)) {
      st.SkipWithError("bad reply");
      break;
    }
  st.SetBytesProcessed(st.iterations() * (int64_t)m.size());
  close(fd);
}

BENCHMARK(small)->Arg(0)->Arg(1)->Threads(1)->UseRealTime()->MinTime(1.0);
BENCHMARK(small)->Arg(0)->Arg(1)->Threads(64)->UseRealTime()->MinTime(1.0);
BENCHMARK(big)->Arg(0)->Arg(1)->Iterations(3)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
