// Load generator for velmor-server, speaking the Velmor protocol.
//
// Starts the server as a separate process over a content directory of its
// own and measures, on loopback:
//   1. quote exchanges (connect, request, response, block, close) with many
//      concurrent clients: exchanges per second and latency percentiles,
//      and the server's resident memory early in the run and at its end;
//      against a minimal blocking server (64 threads, one fixed quote)
//      under the same client in the same run: rates and their ratio;
//   2. 10 MB picture downloads, against a plain TCP sender of the same
//      bytes measured in the same run: rates and their ratio.
// Figures are printed; nothing is asserted.
#include "net/request_record.h"
#include "server/content_store.h"
#include "server/exchange.h"
#include "server/sample_content.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <signal.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct BenchOptions {
  std::string server_path;
  std::string work_dir;
  int clients = 64;
  long exchanges = 100000;
  int downloads = 40;  // medians of fewer swing widely on a shared machine
  int server_threads = 2;
  double time_limit_seconds = 120;
};

double Seconds(Clock::duration d) {
  return std::chrono::duration<double>(d).count();
}

std::string RequestBytes(int32_t code, int32_t num1) {
  RequestRecord r = EmptyRecord();
  std::memcpy(r.client_id, "4242", 5);
  r.magic1 = RequestMagic1;
  r.magic2 = RequestMagic2;
  r.code = code;
  r.num1 = num1;
  unsigned char bytes[RequestRecordSize];
  EncodeRequestRecord(r, bytes);
  return std::string(reinterpret_cast<char*>(bytes), sizeof bytes);
}

// CPU seconds the calling thread has used, to the nanosecond.
double ThreadCpuSeconds() {
  timespec t{};
  ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return t.tv_sec + t.tv_nsec / 1e9;
}

// CPU seconds the threads of a process have used, to the nanosecond (the
// first field of each thread's schedstat; threads that ended are left out,
// and the server's live as long as it does).
double CpuSeconds(pid_t pid) {
  std::string tasks = "/proc/" + std::to_string(pid) + "/task";
  double total = 0;
  if (DIR* dir = ::opendir(tasks.c_str())) {
    while (dirent* e = ::readdir(dir)) {
      if (e->d_name[0] == '.') continue;
      std::ifstream in(tasks + "/" + e->d_name + "/schedstat");
      double ns = 0;
      if (in >> ns) total += ns / 1e9;
    }
    ::closedir(dir);
  }
  return total;
}

long ResidentKb(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.compare(0, 6, "VmRSS:") == 0) {
      return std::atol(line.c_str() + 6);
    }
  }
  return -1;
}

int ConnectNonBlocking(int port) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    return -1;
  }
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 && errno != EINPROGRESS) {
    ::close(fd);
    return -1;
  }
  return fd;
}

int ConnectBlocking(int port) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    if (fd >= 0) ::close(fd);
    return -1;
  }
  return fd;
}

// One client slot of the quote load: an exchange at a time.
struct Slot {
  int fd = -1;
  std::size_t sent = 0;
  std::size_t received = 0;
  unsigned char head[180];
  Clock::time_point start;
};

struct QuoteResult {
  long exchanges = 0;
  long failures = 0;
  double seconds = 0;
  std::vector<double> latencies_ms;
  long rss_early_kb = -1;
  long rss_end_kb = -1;
  std::vector<std::pair<long, long>> rss_kb; // (exchanges done, resident KiB)
};

// Runs `total` quote exchanges over `clients` concurrent connections.
QuoteResult QuoteLoad(int port, int clients, long total, pid_t server, double time_limit) {
  QuoteResult result;
  result.latencies_ms.reserve(static_cast<std::size_t>(total));
  const std::string request = RequestBytes(RequestQuote, 1);
  int ep = ::epoll_create1(EPOLL_CLOEXEC);
  std::vector<Slot> slots(static_cast<std::size_t>(clients));
  long started = 0;
  long early_mark = std::max(1L, total / 10);
  char scratch[65536];

  auto begin = [&](std::size_t i) {
    Slot& s = slots[i];
    s = Slot();
    s.start = Clock::now();
    s.fd = ConnectNonBlocking(port);
    if (s.fd < 0) {
      ++result.failures;
      return false;
    }
    epoll_event ev{};
    ev.events = EPOLLOUT | EPOLLIN | EPOLLRDHUP;
    ev.data.u64 = i;
    ::epoll_ctl(ep, EPOLL_CTL_ADD, s.fd, &ev);
    ++started;
    return true;
  };
  auto finish = [&](std::size_t i, bool ok) {
    Slot& s = slots[i];
    ::epoll_ctl(ep, EPOLL_CTL_DEL, s.fd, nullptr);
    ::close(s.fd);
    s.fd = -1;
    if (ok) {
      ++result.exchanges;
      result.latencies_ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - s.start).count());
      if (result.exchanges % early_mark == 0) {
        result.rss_kb.emplace_back(result.exchanges, ResidentKb(server));
        if (result.exchanges == early_mark) {
          result.rss_early_kb = result.rss_kb.back().second;
        }
      }
    } else {
      ++result.failures;
    }
    if (started < total) {
      begin(i);
    }
  };

  Clock::time_point t0 = Clock::now();
  Clock::time_point deadline = t0 + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(time_limit));
  for (int i = 0; i < clients && started < total; ++i) {
    begin(static_cast<std::size_t>(i));
  }
  std::vector<epoll_event> events(static_cast<std::size_t>(clients));
  while (result.exchanges + result.failures < total && Clock::now() < deadline) {
    int n = ::epoll_wait(ep, events.data(), clients, 1000);
    for (int k = 0; k < n; ++k) {
      std::size_t i = events[k].data.u64;
      Slot& s = slots[i];
      if (s.fd < 0) {
        continue;
      }
      if (s.sent < request.size() && (events[k].events & EPOLLOUT)) {
        ssize_t w = ::send(s.fd, request.data() + s.sent, request.size() - s.sent, MSG_NOSIGNAL);
        if (w > 0) {
          s.sent += static_cast<std::size_t>(w);
          if (s.sent == request.size()) {
            epoll_event ev{};
            ev.events = EPOLLIN | EPOLLRDHUP;
            ev.data.u64 = i;
            ::epoll_ctl(ep, EPOLL_CTL_MOD, s.fd, &ev);
          }
        } else if (w < 0 && errno != EAGAIN) {
          finish(i, false);
          continue;
        }
      }
      if (events[k].events & (EPOLLIN | EPOLLRDHUP | EPOLLHUP | EPOLLERR)) {
        for (;;) {
          ssize_t r = ::recv(s.fd, scratch, sizeof scratch, 0);
          if (r > 0) {
            std::size_t keep = std::min<std::size_t>(sizeof s.head - std::min(s.received, sizeof s.head),
                                                     static_cast<std::size_t>(r));
            std::memcpy(s.head + std::min(s.received, sizeof s.head), scratch, keep);
            s.received += static_cast<std::size_t>(r);
            continue;
          }
          if (r == 0) {
            // The exchange is whole when a response 0, a header and all the
            // data it announced arrived.
            RequestRecord response, header;
            bool ok = s.received >= 180 && DecodeRequestRecord(s.head, 90, &response) &&
                      DecodeRequestRecord(s.head + 90, 90, &header) && response.code == 0 &&
                      s.received == 180 + static_cast<std::size_t>(header.num2);
            finish(i, ok);
          } else if (errno != EAGAIN) {
            finish(i, false);
          }
          break;
        }
      }
    }
  }
  result.seconds = Seconds(Clock::now() - t0);
  result.rss_end_kb = ResidentKb(server);
  for (Slot& s : slots) {
    if (s.fd >= 0) {
      ::close(s.fd);
    }
  }
  ::close(ep);
  return result;
}

// Reads a connection to its end; returns the byte count or -1.
long long Drain(int fd, std::vector<char>* buffer) {
  long long total = 0;
  for (;;) {
    ssize_t r = ::recv(fd, buffer->data(), buffer->size(), 0);
    if (r > 0) {
      total += r;
    } else if (r == 0) {
      return total;
    } else if (errno != EINTR) {
      return -1;
    }
  }
}

// A plain TCP sender: accepts connections and sends the same bytes from
// memory in the same 256 KiB pieces the server uses, then closes.
struct PlainSender {
  int listener = -1;
  int port = 0;
  std::thread thread;
  const std::string* data = nullptr;
  int connections = 0;
  double cpu_seconds = 0; // the sending thread's own, for all connections

  void Start(const std::string* bytes, int count) {
    data = bytes;
    connections = count;
    listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::listen(listener, 16);
    socklen_t len = sizeof a;
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len);
    port = ntohs(a.sin_port);
    thread = std::thread([this]() {
      for (int c = 0; c < connections; ++c) {
        int fd = ::accept(listener, nullptr, nullptr);
        if (fd < 0) {
          return;
        }
        std::size_t off = 0;
        while (off < data->size()) {
          ssize_t w = ::send(fd, data->data() + off, std::min<std::size_t>(256 * 1024, data->size() - off), MSG_NOSIGNAL);
          if (w <= 0) {
            break;
          }
          off += static_cast<std::size_t>(w);
        }
        ::close(fd);
      }
      cpu_seconds = ThreadCpuSeconds();
    });
  }
  void Join() {
    thread.join();
    ::close(listener);
  }
};

// The least a server can do for a quote exchange: threads blocked in
// accept, each reading the request and writing the answer, the block header
// and one fixed quote, then closing. The baseline of the exchange rate.
struct MinimalServer {
  int listener = -1;
  int port = 0;
  std::vector<std::thread> threads;
  std::string reply;
  std::mutex mutex;
  double cpu_seconds = 0; // all its threads', added as they end

  void Start(const std::string& quote, int count) {
    reply = velmor_server::ServerRecord(0, 0, 0, nullptr, 0) +
            velmor_server::ServerRecord(0, 4096, static_cast<int32_t>(quote.size()), nullptr, 0) + quote;
    listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::listen(listener, 4096);
    socklen_t len = sizeof a;
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len);
    port = ntohs(a.sin_port);
    for (int t = 0; t < count; ++t) {
      threads.emplace_back([this]() {
        char request[RequestRecordSize];
        for (;;) {
          int fd = ::accept(listener, nullptr, nullptr);
          if (fd < 0) {
            // The listener was shut down.
            std::lock_guard<std::mutex> lock(mutex);
            cpu_seconds += ThreadCpuSeconds();
            return;
          }
          int one = 1;
          ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
          std::size_t got = 0;
          while (got < sizeof request) {
            ssize_t r = ::recv(fd, request + got, sizeof request - got, 0);
            if (r <= 0) break;
            got += static_cast<std::size_t>(r);
          }
          if (got == sizeof request) {
            ::send(fd, reply.data(), reply.size(), MSG_NOSIGNAL);
          }
          ::close(fd);
        }
      });
    }
  }
  void Stop() {
    ::shutdown(listener, SHUT_RDWR);
    ::close(listener);
    for (std::thread& t : threads) t.join();
  }
};

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

bool WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return out.good();
}

int PrintUsage() {
  std::fprintf(stderr,
               "usage: server_bench --server PATH --work DIR [--clients N] [--exchanges N]\n"
               "                    [--downloads N] [--server-threads N]\n");
  return 2;
}

} // namespace

int main(int argc, char** argv) {
  BenchOptions o;
  for (int i = 1; i + 1 < argc; i += 2) {
    std::string name = argv[i];
    const char* value = argv[i + 1];
    if (name == "--server") o.server_path = value;
    else if (name == "--work") o.work_dir = value;
    else if (name == "--clients") o.clients = std::max(1, std::atoi(value));
    else if (name == "--exchanges") o.exchanges = std::max(1L, std::atol(value));
    else if (name == "--downloads") o.downloads = std::max(1, std::atoi(value));
    else if (name == "--server-threads") o.server_threads = std::max(1, std::atoi(value));
    else return PrintUsage();
  }
  if (o.server_path.empty() || o.work_dir.empty()) {
    return PrintUsage();
  }
  std::signal(SIGPIPE, SIG_IGN);

  // Content: the sample, plus a picture category holding one 10 MB file.
  std::string content = o.work_dir + "/content";
  std::string error;
  if (std::system(("rm -rf '" + content + "'").c_str()) != 0 || !MakeSampleContent(content, &error)) {
    std::fprintf(stderr, "server_bench: %s\n", error.c_str());
    return 1;
  }
  std::string big(10 * 1024 * 1024, '\0');
  uint32_t x = 7;
  for (char& c : big) {
    x = x * 1664525u + 1013904223u;
    c = static_cast<char>(x >> 24);
  }
  std::ifstream names_in(content + "/categories/picture.txt");
  int big_position = 0;
  for (std::string line; std::getline(names_in, line);) {
    big_position += line.empty() ? 0 : 1;
  }
  ::mkdir((content + "/pictures/" + std::to_string(big_position)).c_str(), 0755);
  std::ofstream(content + "/categories/picture.txt", std::ios::app) << "Ten Megabytes\n";
  if (!WriteFile(content + "/pictures/" + std::to_string(big_position) + "/ten.jpg", big)) {
    std::fprintf(stderr, "server_bench: cannot write the 10 MB picture\n");
    return 1;
  }

  // The server, as its own process, logging every exchange to a file.
  std::string ready = o.work_dir + "/ready";
  std::string log = o.work_dir + "/server.log";
  ::unlink(ready.c_str());
  ::unlink(log.c_str());
  std::string threads = std::to_string(o.server_threads);
  pid_t server = ::fork();
  if (server == 0) {
    ::execl(o.server_path.c_str(), "velmor-server", "--port", "0", "--content", content.c_str(), "--ready-file",
            ready.c_str(), "--log", log.c_str(), "--threads", threads.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  int port = 0;
  for (int i = 0; i < 500 && port == 0; ++i) {
    std::ifstream in(ready);
    in >> port;
    if (port == 0) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  if (port == 0) {
    std::fprintf(stderr, "server_bench: the server did not start\n");
    ::kill(server, SIGKILL);
    return 1;
  }
  std::printf("velmor-server benchmark (server pid %d, %d worker threads, port %d)\n", static_cast<int>(server),
              o.server_threads, port);

  // 1. Quote exchanges.
  QuoteLoad(port, o.clients, 2000, server, o.time_limit_seconds);  // warm-up
  double quote_cpu_before = CpuSeconds(server);
  QuoteResult q = QuoteLoad(port, o.clients, o.exchanges, server, o.time_limit_seconds);
  double quote_cpu = CpuSeconds(server) - quote_cpu_before;
  std::vector<double>& l = q.latencies_ms;
  std::sort(l.begin(), l.end());
  auto pct = [&](double p) { return l.empty() ? 0.0 : l[std::min(l.size() - 1, static_cast<std::size_t>(p * l.size()))]; };
  double rate = q.exchanges / q.seconds;
  std::printf("\nQuote exchanges (connect, request, response, block, close), %d concurrent clients:\n", o.clients);
  std::printf("  %ld exchanges in %.2f s, %ld failed\n", q.exchanges, q.seconds, q.failures);
  std::printf("  throughput      %.0f exchanges/s (goal >= 10000)\n", rate);
  std::printf("  latency         p50 %.2f ms, p90 %.2f ms, p99 %.2f ms, max %.2f ms\n", pct(0.50), pct(0.90),
              pct(0.99), l.empty() ? 0.0 : l.back());
  std::printf("  server memory   %ld KiB resident after %ld exchanges, %ld KiB after %ld (growth %+ld KiB)\n",
              q.rss_early_kb, o.exchanges / 10, q.rss_end_kb, q.exchanges, q.rss_end_kb - q.rss_early_kb);
  std::printf("  resident KiB along the run:");
  for (const auto& point : q.rss_kb) {
    std::printf(" %ld", point.second);
  }
  std::printf("\n");

  // The same load against the minimal server.
  {
    std::ifstream quotes_in(content + "/quotes/0.txt");
    std::stringstream quotes_text;
    quotes_text << quotes_in.rdbuf();
    std::vector<std::string> quotes = ParseQuotes(quotes_text.str());
    MinimalServer minimal;
    minimal.Start(quotes.empty() ? std::string("A quote.") : quotes[0], 64);
    QuoteResult warm = QuoteLoad(minimal.port, o.clients, 2000, ::getpid(), o.time_limit_seconds);
    QuoteResult m = QuoteLoad(minimal.port, o.clients, o.exchanges, ::getpid(), o.time_limit_seconds);
    minimal.Stop();
    double minimal_rate = m.exchanges / m.seconds;
    std::printf("  minimal server  %.0f exchanges/s (64 blocking threads, one fixed quote; %ld failed)\n",
                minimal_rate, m.failures);
    std::printf("  ratio           %.2f (goal >= 1.0; on 2 cores the client is the limit)\n",
                minimal_rate > 0 ? rate / minimal_rate : 0.0);
    // CPU time per exchange does not depend on what else the machine runs.
    double server_us = q.exchanges > 0 ? quote_cpu * 1e6 / q.exchanges : 0;
    long minimal_done = warm.exchanges + m.exchanges;
    double minimal_us = minimal_done > 0 ? minimal.cpu_seconds * 1e6 / minimal_done : 0;
    std::printf("  CPU/exchange    velmor-server %.1f us, minimal server %.1f us (ratio %.2f, lower is better)\n",
                server_us, minimal_us, minimal_us > 0 ? server_us / minimal_us : 0.0);
  }

  // 2. Large blocks: the server against a plain sender of the same bytes,
  // received by the same loop.
  std::vector<char> buffer(256 * 1024);
  std::vector<double> server_rates, plain_rates;
  PlainSender plain;
  plain.Start(&big, o.downloads);
  const std::string picture_request = RequestBytes(RequestPicture, big_position + 1);
  double server_cpu_before = CpuSeconds(server);
  for (int d = 0; d < o.downloads; ++d) {
    Clock::time_point t0 = Clock::now();
    int fd = ConnectBlocking(port);
    long long got = -1;
    if (fd >= 0 && ::send(fd, picture_request.data(), picture_request.size(), MSG_NOSIGNAL) == 90) {
      got = Drain(fd, &buffer);
    }
    double s = Seconds(Clock::now() - t0);
    if (fd >= 0) ::close(fd);
    if (got == 270 + static_cast<long long>(big.size())) {
      server_rates.push_back(big.size() / s / 1e6);
    }
    t0 = Clock::now();
    fd = ConnectBlocking(plain.port);
    got = fd >= 0 ? Drain(fd, &buffer) : -1;
    s = Seconds(Clock::now() - t0);
    if (fd >= 0) ::close(fd);
    if (got == static_cast<long long>(big.size())) {
      plain_rates.push_back(big.size() / s / 1e6);
    }
  }
  plain.Join();
  double server_cpu = CpuSeconds(server) - server_cpu_before;
  double server_mbs = Median(server_rates);
  double plain_mbs = Median(plain_rates);
  std::printf("\n10 MB picture downloads (median of %d each, same receive loop):\n", o.downloads);
  std::printf("  velmor-server   %.0f MB/s (%zu of %d complete)\n", server_mbs, server_rates.size(), o.downloads);
  std::printf("  plain TCP       %.0f MB/s (%zu of %d complete)\n", plain_mbs, plain_rates.size(), o.downloads);
  std::printf("  ratio           %.2f (goal >= 0.9)\n", plain_mbs > 0 ? server_mbs / plain_mbs : 0.0);
  // CPU time does not depend on what else the machine runs, as rates do.
  std::printf("  CPU per 10 MB   velmor-server %.2f ms, plain TCP %.2f ms (ratio %.2f, lower is better)\n",
              server_cpu * 1000 / o.downloads, plain.cpu_seconds * 1000 / o.downloads,
              plain.cpu_seconds > 0 ? server_cpu / plain.cpu_seconds : 0.0);
  std::printf("  server memory   %ld KiB resident after the downloads\n", ResidentKb(server));

  ::kill(server, SIGTERM);
  int status = 0;
  ::waitpid(server, &status, 0);
  std::printf("\nserver exit status %d\n", WIFEXITED(status) ? WEXITSTATUS(status) : -1);
  return 0;
}
