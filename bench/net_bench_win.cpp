// The transport's figures under Wine (run through run-net-bench.sh, which
// starts the reference server with a 10 MB picture and passes its port):
//
// 1. Receiving a 10 MB block into a file with BlockRecvFile, against a plain
//    blocking Winsock receive loop of ours over the same server in the same
//    run (same piece size, same file writes). Target: ratio at least 0.5.
// 2. Processor time while a transfer waits 30 s on a silent server
//    (GetProcessTimes), against a spinning poll loop. Target: under 5 %.
// 3. How long a message posted to a window waits while a transfer runs:
//    another thread posts a time-stamped message every 20 ms; the window
//    measures the delay. Target: handled within 100 ms.
//
// Usage: net_bench.exe PORT FAULTS_FILE WORK_DIR [WAIT_SECONDS]
#include <winsock2.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "app/app.h"
#include "app/globals.h"
#include "app/status.h"
#include "config/basic_settings.h"
#include "config/config_file.h"
#include "net/request_protocol.h"
#include "net/socket_layer.h"
#include "net/transport.h"
#include "net/transport_hooks.h"

namespace {

int port = 0;
std::string faultsFile;
std::string workDir;

double Now() {
  LARGE_INTEGER f, c;
  QueryPerformanceFrequency(&f);
  QueryPerformanceCounter(&c);
  return static_cast<double>(c.QuadPart) / static_cast<double>(f.QuadPart);
}

double ProcessCpuSeconds() {
  FILETIME created, exited, kernel, user;
  GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
  auto seconds = [](const FILETIME& t) {
    return static_cast<double>((static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e7;
  };
  return seconds(kernel) + seconds(user);
}

// Under Wine much of the waiting happens in the wineserver, another
// (Linux) process: its processor time is read from /proc through Wine's Z:
// drive, for the wineserver of this program's prefix. -1 when it cannot be
// found (not under Wine).
std::string wineserverStat;

std::string ReadWhole(const std::string& path) {
  std::string out;
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return out;
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) out.append(buffer, n);
  std::fclose(f);
  return out;
}

void FindWineserver() {
  char prefix[MAX_PATH] = {};
  if (!GetEnvironmentVariableA("WINEPREFIX", prefix, sizeof prefix)) return;
  std::string wanted = std::string("WINEPREFIX=") + prefix + '\0';
  WIN32_FIND_DATAA found;
  HANDLE h = FindFirstFileA("Z:\\proc\\*", &found);
  if (h == INVALID_HANDLE_VALUE) return;
  do {
    std::string pid = found.cFileName;
    if (pid.empty() || pid[0] < '0' || pid[0] > '9') continue;
    std::string dir = "Z:\\proc\\" + pid + "\\";
    if (ReadWhole(dir + "comm").rfind("wineserver", 0) != 0) continue;
    if (ReadWhole(dir + "environ").find(wanted) == std::string::npos) continue;
    wineserverStat = dir + "stat";
  } while (FindNextFileA(h, &found));
  FindClose(h);
}

double WineserverCpuSeconds() {
  if (wineserverStat.empty()) return -1;
  std::string stat = ReadWhole(wineserverStat);
  size_t close = stat.rfind(')');
  if (close == std::string::npos) return -1;
  // Fields after the command: state is field 3; utime and stime are 14 and 15.
  unsigned long long utime = 0, stime = 0;
  if (std::sscanf(stat.c_str() + close + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %llu %llu", &utime,
                  &stime) != 2)
    return -1;
  return static_cast<double>(utime + stime) / 100.0; // USER_HZ
}

void SetFaults(const char* rules) {
  FILE* f = std::fopen(faultsFile.c_str(), "wb");
  if (f) {
    std::fputs(rules, f);
    std::fclose(f);
  }
}

// ---- Messages posted from another thread, and how long they waited ----

constexpr UINT StampMessage = WM_APP + 5;
std::vector<double> delays;
HWND stampWindow = nullptr;

LRESULT CALLBACK StampProc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
  if (m == StampMessage) {
    double sent = static_cast<double>(static_cast<unsigned long long>(lp)) / 1e6;
    delays.push_back(Now() - sent);
    return 0;
  }
  return DefWindowProcA(w, m, wp, lp);
}

class StampPoster {
 public:
  StampPoster() {
    delays.clear();
    thread_ = std::thread([this] {
      while (!stop_) {
        PostMessageA(stampWindow, StampMessage, 0, static_cast<LPARAM>(static_cast<unsigned long long>(Now() * 1e6)));
        Sleep(20);
      }
    });
  }
  ~StampPoster() {
    stop_ = true;
    thread_.join();
  }

 private:
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

void ReportDelays(const char* during) {
  if (delays.empty()) {
    std::printf("  %-44s no message handled\n", during);
    return;
  }
  std::vector<double> d = delays;
  std::sort(d.begin(), d.end());
  std::printf("  %-44s %4zu messages, median %6.1f ms, max %6.1f ms  (target: max < 100 ms)\n", during, d.size(),
              d[d.size() / 2] * 1e3, d.back() * 1e3);
}

// ---- The transfers ----

// Opens a connection and asks for picture category 1, up to the block
// header (which the block operation reads itself).
Socket AskForPicture() {
  Socket s = OpenServerConnection(ConfiguredServer());
  if (s < 0) return s;
  RequestRecord r = EmptyRecord();
  r.code = 2;
  r.num1 = 1;
  if (SendRequest(s, &r) != TransferResult::Ok || ReceiveResponse(s, &r) != TransferResult::Ok || r.code != 0 ||
      ReceiveResponse(s, &r) != TransferResult::Ok) {
    CloseServerConnection(s);
    return -1;
  }
  return s;
}

long long FileSize(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA a;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &a)) return -1;
  return (static_cast<long long>(a.nFileSizeHigh) << 32) | a.nFileSizeLow;
}

// Ours: one BlockRecvFile. Returns MB/s, or 0 on failure.
double OursOnce(ProgressCallback progress) {
  std::string target = workDir + "\\ours.bin";
  double start = Now();
  Socket s = AskForPicture();
  if (s < 0) return 0;
  int status = BlockRecvFile(s, target.c_str(), progress);
  CloseServerConnection(s);
  double took = Now() - start;
  long long size = FileSize(target);
  if (status != 0 || size <= 0) return 0;
  return static_cast<double>(size) / took / 1e6;
}

// The baseline: the same exchange over a plain blocking socket of ws2_32,
// reading the block in pieces of its chunk size and writing them to a file.
bool ReadExactly(SOCKET s, char* to, int n) {
  while (n > 0) {
    int got = recv(s, to, n, 0);
    if (got <= 0) return false;
    to += got;
    n -= got;
  }
  return true;
}

double BaselineOnce(int pieceOverride) {
  std::string target = workDir + "\\baseline.bin";
  double start = Now();
  SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a = {};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(static_cast<u_short>(port));
  if (connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) return 0;
  RequestRecord r = EmptyRecord();
  std::snprintf(r.client_id, sizeof r.client_id, "1");
  r.magic1 = 7;
  r.magic2 = 3;
  r.code = 2;
  r.num1 = 1;
  unsigned char wire[RequestRecordSize];
  EncodeRequestRecord(r, wire);
  send(s, reinterpret_cast<char*>(wire), RequestRecordSize, 0);
  char record[RequestRecordSize];
  RequestRecord header;
  if (!ReadExactly(s, record, RequestRecordSize) || !ReadExactly(s, record, RequestRecordSize) ||
      !ReadExactly(s, record, RequestRecordSize)) {
    closesocket(s);
    return 0;
  }
  DecodeRequestRecord(record, RequestRecordSize, &header);
  int piece = pieceOverride > 0 ? pieceOverride : header.num1;
  std::vector<char> buffer(static_cast<size_t>(piece));
  FILE* f = std::fopen(target.c_str(), "wb");
  long long left = header.num2;
  while (left > 0) {
    int n = static_cast<int>(std::min<long long>(left, piece));
    if (!ReadExactly(s, buffer.data(), n)) break;
    std::fwrite(buffer.data(), 1, static_cast<size_t>(n), f);
    left -= n;
  }
  std::fclose(f);
  closesocket(s);
  double took = Now() - start;
  return left == 0 ? static_cast<double>(header.num2) / took / 1e6 : 0;
}

template <typename F>
double Best(int runs, F once) {
  double best = 0;
  for (int i = 0; i < runs; ++i) best = std::max(best, once());
  return best;
}

void CancelAfter(UINT ms) {
  SetTimer(nullptr, 0, ms, [](HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    CancelTransfer = 1;
  });
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: net_bench PORT FAULTS_FILE WORK_DIR [WAIT_SECONDS]\n");
    return 2;
  }
  port = std::atoi(argv[1]);
  faultsFile = argv[2];
  workDir = argv[3];
  int waitSeconds = argc > 4 ? std::atoi(argv[4]) : 30;

  WSADATA data;
  WSAStartup(MAKEWORD(2, 2), &data); // for the baseline's plain socket
  Shell.AppInstance = GetModuleHandleA(nullptr);
  std::snprintf(DataDirectory, sizeof DataDirectory, "%s\\", workDir.c_str());
  std::snprintf(ServerHost, sizeof ServerHost, "127.0.0.1");
  std::snprintf(ServerPort, sizeof ServerPort, "%d", port);
  std::snprintf(PlimSwitch, sizeof PlimSwitch, "No");
  std::snprintf(ClientIdentity, sizeof ClientIdentity, "1");
  LoadSocketLibrary();
  SetFaults("");
  FindWineserver();

  WNDCLASSA wc = {};
  wc.lpfnWndProc = StampProc;
  wc.hInstance = Shell.AppInstance;
  wc.lpszClassName = "VelmorBenchMain";
  RegisterClassA(&wc);
  stampWindow = CreateWindowA("VelmorBenchMain", "VelmorW", WS_OVERLAPPEDWINDOW, 0, 0, 456, 211, nullptr, nullptr,
                              Shell.AppInstance, nullptr);
  Shell.MainWindow = stampWindow;
  InstallTransportHooks();

  std::printf("Transport benchmark under Wine, server on 127.0.0.1:%d\n\n", port);

  // 1. Throughput.
  const int runs = 5;
  double baseline = Best(runs, [] { return BaselineOnce(0); });
  double ours = Best(runs, [] { return OursOnce(nullptr); });
  ShowWaitLabel();
  double oursLabel = Best(runs, [] { return OursOnce(ShowProgress); });
  HideWaitLabel();
  double baseline64 = Best(runs, [] { return BaselineOnce(65536); });
  long long size = FileSize(workDir + "\\ours.bin");
  std::printf("1. %lld-byte block into a file (best of %d):\n", size, runs);
  std::printf("  plain blocking Winsock loop, chunk-size reads  %8.1f MB/s  (baseline)\n", baseline);
  std::printf("  BlockRecvFile                                  %8.1f MB/s  ratio %.2f (target >= 0.5)\n", ours,
              baseline > 0 ? ours / baseline : 0);
  std::printf("  BlockRecvFile, progress in the wait label      %8.1f MB/s  ratio %.2f\n", oursLabel,
              baseline > 0 ? oursLabel / baseline : 0);
  std::printf("  (plain loop with 64 KB reads, for reference:    %8.1f MB/s)\n\n", baseline64);

  // 3a. Messages during the fast transfer.
  {
    ShowWaitLabel();
    StampPoster poster;
    for (int i = 0; i < 3; ++i) OursOnce(ShowProgress);
    HideWaitLabel();
  }
  std::printf("3. Posted messages while a transfer runs:\n");
  ReportDelays("during 10 MB downloads");

  // 3b. During a slow, steady transfer.
  SetFaults("2 drip 20 1024\n");
  {
    StampPoster poster;
    Socket s = AskForPicture();
    if (s >= 0) {
      CancelAfter(4000);
      BlockRecvFile(s, (workDir + "\\drip.bin").c_str(), nullptr);
      CloseServerConnection(s);
    }
  }
  ReportDelays("during a dripping block (1 KB / 20 ms), 4 s");

  // 2. Processor time while waiting on a silent server.
  SetFaults("2 no-answer\n");
  double waitCpu = 0, waitWall = 0, waitServerCpu = -1;
  {
    StampPoster poster;
    Socket s = OpenServerConnection(ConfiguredServer());
    if (s >= 0) {
      RequestRecord r = EmptyRecord();
      r.code = 2;
      r.num1 = 1;
      SendRequest(s, &r);
      CancelAfter(static_cast<UINT>(waitSeconds) * 1000);
      double cpu0 = ProcessCpuSeconds(), wall0 = Now(), server0 = WineserverCpuSeconds();
      ReceiveResponse(s, &r);
      waitCpu = ProcessCpuSeconds() - cpu0;
      waitWall = Now() - wall0;
      if (server0 >= 0) waitServerCpu = WineserverCpuSeconds() - server0;
      CloseServerConnection(s);
    }
  }
  ReportDelays("during a wait on a silent server");
  SetFaults("");

  // The spinning reference: zero-time-out polls with 200 message peeks in
  // between, for a few seconds.
  double spinCpu = 0, spinWall = 0, spinServerCpu = -1;
  {
    double server0 = WineserverCpuSeconds();
    SOCKET idle = socket(AF_INET, SOCK_STREAM, 0);
    double cpu0 = ProcessCpuSeconds(), wall0 = Now();
    while (Now() - wall0 < 3.0) {
      fd_set set;
      FD_ZERO(&set);
      FD_SET(idle, &set);
      timeval zero = {0, 0};
      select(0, &set, nullptr, nullptr, &zero);
      MSG msg;
      for (int i = 0; i < 200; ++i) PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE);
    }
    spinCpu = ProcessCpuSeconds() - cpu0;
    spinWall = Now() - wall0;
    if (server0 >= 0) spinServerCpu = WineserverCpuSeconds() - server0;
    closesocket(idle);
  }
  std::printf("\n2. Processor time while a transfer waits on a silent server:\n");
  std::printf("  ReceiveResponse, %4.1f s wait                   %5.2f %% of one core  (target < 5 %%)\n", waitWall,
              waitWall > 0 ? 100.0 * waitCpu / waitWall : 0);
  std::printf("  spinning poll loop (zero time-outs), %3.1f s     %5.1f %% of one core  (reference)\n", spinWall,
              spinWall > 0 ? 100.0 * spinCpu / spinWall : 0);
  if (waitServerCpu >= 0 && spinServerCpu >= 0) {
    std::printf("  the wineserver meanwhile: %5.2f %% while waiting, %5.1f %% while spinning\n",
                100.0 * waitServerCpu / waitWall, 100.0 * spinServerCpu / spinWall);
  }

  UnloadSocketLibrary();
  DestroyWindow(stampWindow);
  return 0;
}
