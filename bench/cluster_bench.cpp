// Several instances behind HAProxy: quote exchanges per second with 64
// blocking clients (one thread each), in one run,
//   1. against one instance directly,
//   2. through HAProxy to that same instance alone (what the proxy costs),
//   3. through HAProxy to three instances over the same content directory.
// HAProxy's configuration is the shipped example with this run's ports.
// On a machine with few cores the proxy, the instances and the clients
// share them, so three instances show their overhead, not a speed-up.
#include "net/request_record.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* ProxyAddress = "127.0.0.2";  // HAProxy's side towards the instances

std::string QuoteRequest() {
  RequestRecord r = EmptyRecord();
  SetFieldText(r.client_id, ClientIdFieldSize, "4242", 4);
  r.magic1 = RequestMagic1;
  r.magic2 = RequestMagic2;
  r.code = RequestQuote;
  r.num1 = 1;
  unsigned char bytes[RequestRecordSize];
  EncodeRequestRecord(r, bytes);
  return std::string(reinterpret_cast<char*>(bytes), sizeof bytes);
}

// One quote exchange on a new connection; true when it came whole.
bool Exchange(int port, const std::string& request) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
      ::send(fd, request.data(), request.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(request.size())) {
    if (fd >= 0) ::close(fd);
    return false;
  }
  char buffer[16384];
  std::string head;
  std::size_t received = 0;
  for (ssize_t n; (n = ::recv(fd, buffer, sizeof buffer, 0)) > 0;) {
    if (head.size() < 180) head.append(buffer, std::min<std::size_t>(static_cast<std::size_t>(n), 180 - head.size()));
    received += static_cast<std::size_t>(n);
  }
  ::close(fd);
  RequestRecord response, header;
  return head.size() == 180 && DecodeRequestRecord(head.data(), 90, &response) &&
         DecodeRequestRecord(head.data() + 90, 90, &header) && response.code == 0 &&
         received == 180 + static_cast<std::size_t>(header.num2);
}

struct Rate {
  double per_second = 0;
  long failed = 0;
};

Rate Load(int port, int clients, double seconds) {
  std::string request = QuoteRequest();
  std::atomic<long> done{0}, failed{0};
  std::atomic<bool> stop{false};
  std::vector<std::thread> threads;
  for (int i = 0; i < clients; ++i) {
    threads.emplace_back([&] {
      while (!stop.load(std::memory_order_relaxed)) {
        (Exchange(port, request) ? done : failed).fetch_add(1, std::memory_order_relaxed);
      }
    });
  }
  std::this_thread::sleep_for(std::chrono::duration<double>(seconds / 5));  // warm-up
  long before = done.load();
  Clock::time_point t0 = Clock::now();
  std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
  long after = done.load();
  double elapsed = std::chrono::duration<double>(Clock::now() - t0).count();
  stop = true;
  for (auto& t : threads) t.join();
  return Rate{(after - before) / elapsed, failed.load()};
}

int FreePort() {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  ::close(fd);
  return ntohs(a.sin_port);
}

pid_t Start(const std::vector<std::string>& args) {
  pid_t pid = ::fork();
  if (pid == 0) {
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  return pid;
}

bool WaitForPort(int port) {
  for (int i = 0; i < 300; ++i) {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bool up = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(fd);
    if (up) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}

// The shipped configuration with this run's ports; the per-address limits
// are set out of reach (all clients here share one address).
std::string HaproxyConfig(const std::string& shipped, int port, const std::vector<int>& instances) {
  std::ifstream in(shipped);
  std::stringstream text;
  text << in.rdbuf();
  std::string c = text.str();
  c = std::regex_replace(c, std::regex("\n\\s*log /dev/log[^\n]*"), "");
  c = std::regex_replace(c, std::regex("\n\\s*option tcplog"), "");
  c = std::regex_replace(c, std::regex("maxconn 20000"), "maxconn 2000");
  c = std::regex_replace(c, std::regex("bind :1123"), "bind 127.0.0.1:" + std::to_string(port));
  c = std::regex_replace(c, std::regex("sc0_conn_(cur|rate)([^ ]*) gt [0-9]+"), "sc0_conn_$1$2 gt 100000000");
  c = std::regex_replace(c, std::regex("\n\\s*server velmor[^\n]*"), "");
  c += "    source " + std::string(ProxyAddress) + "\n";
  for (std::size_t i = 0; i < instances.size(); ++i) {
    c += "    server velmor" + std::to_string(i + 1) + " 127.0.0.1:" + std::to_string(instances[i]) + "\n";
  }
  return c;
}

} // namespace

int main(int argc, char** argv) {
  if (argc < 5) {
    std::fprintf(stderr, "usage: cluster_bench SERVER HAPROXY SHIPPED_HAPROXY_CFG WORK [SECONDS]\n");
    return 2;
  }
  std::string server = argv[1], haproxy = argv[2], shipped = argv[3], work = argv[4];
  double seconds = argc > 5 ? std::atof(argv[5]) : 5;
  const int clients = 64;
  std::signal(SIGPIPE, SIG_IGN);
  std::string content = work + "/content";
  if (std::system(("rm -rf '" + content + "' && '" + server + "' --make-sample '" + content + "' >/dev/null").c_str()) !=
      0) {
    std::fprintf(stderr, "cluster_bench: cannot make the sample content\n");
    return 1;
  }
  std::vector<pid_t> children;
  std::vector<int> ports;
  for (int i = 0; i < 3; ++i) {
    ports.push_back(FreePort());
    // Connections from the proxy's address carry a PROXY header; the
    // clients' own (127.0.0.1) do not.
    children.push_back(Start({server, "--content", content, "--port", std::to_string(ports[i]), "--proxy-from",
                              ProxyAddress, "--instance-name", "bench" + std::to_string(i + 1), "--log", "none",
                              "--max-per-address", "100000"}));
  }
  auto proxy = [&](const std::vector<int>& instances) {
    int port = FreePort();
    std::string config = work + "/haproxy-" + std::to_string(instances.size()) + ".cfg";
    std::ofstream(config) << HaproxyConfig(shipped, port, instances);
    children.push_back(Start({haproxy, "-db", "-q", "-f", config}));
    return port;
  };
  int one = proxy({ports[0]});
  int three = proxy(ports);
  int status = 0;
  if (!WaitForPort(ports[0]) || !WaitForPort(ports[1]) || !WaitForPort(ports[2]) || !WaitForPort(one) ||
      !WaitForPort(three)) {
    std::fprintf(stderr, "cluster_bench: an instance or HAProxy did not start\n");
    status = 1;
  } else {
    std::printf("quote exchanges per second, %d blocking clients, %.0f s each, %u cores\n", clients, seconds,
                std::thread::hardware_concurrency());
    Rate direct = Load(ports[0], clients, seconds);
    std::printf("  one instance directly:              %8.0f/s (%ld failed)\n", direct.per_second, direct.failed);
    Rate through = Load(one, clients, seconds);
    std::printf("  HAProxy, that instance alone:       %8.0f/s (%ld failed)  ratio %.2fx of direct\n",
                through.per_second, through.failed, through.per_second / direct.per_second);
    Rate spread = Load(three, clients, seconds);
    std::printf("  HAProxy, three instances:           %8.0f/s (%ld failed)  ratio %.2fx of one behind HAProxy\n",
                spread.per_second, spread.failed, spread.per_second / through.per_second);
    if (std::thread::hardware_concurrency() <= 2) {
      std::printf("  (on %u cores the clients, HAProxy and the instances share the processors: three instances\n"
                  "   add their overhead here, not capacity; the speed-up needs instances on machines of their own)\n",
                  std::thread::hardware_concurrency());
    }
    status = direct.failed + through.failed + spread.failed == 0 ? 0 : 1;
  }
  for (pid_t pid : children) {
    ::kill(pid, SIGTERM);
    ::waitpid(pid, nullptr, 0);
  }
  return status;
}
