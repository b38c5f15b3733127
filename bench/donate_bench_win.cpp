// The batch donation's figures under Wine (run through run-donate-bench.sh,
// which starts the reference server and passes its port):
//
// 1. Donating 41 files of 1 MB each: the transfer instance's run (start-up
//    done, the real shell in this process with the transfer marker, its pane
//    and wait label updating) against a plain Winsock sender of ours that
//    sends the same files with the same requests, one connection each, in
//    the same run. Target: ratio at most 1.5. The whole Velmorw.exe process
//    (start-up included) is timed too, for information.
// 2. Processor time of a real transfer instance while the server stalls
//    (reads the donate request, never answers) for 30 s: the process's own
//    time plus the wineserver's. Target: under 5 % of one core.
//
// Usage: donate_bench.exe PORT FAULTS_FILE WORK_DIR VELMORW_EXE [STALL_SECONDS]
#include <winsock2.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "app/app.h"
#include "net/request_record.h"

namespace {

constexpr int FileCount = 41;
constexpr int FileSize = 1 << 20;
int port = 0;
std::string faultsFile, workDir, program;

double Now() {
  LARGE_INTEGER f, c;
  QueryPerformanceFrequency(&f);
  QueryPerformanceCounter(&c);
  return static_cast<double>(c.QuadPart) / static_cast<double>(f.QuadPart);
}

double Seconds(const FILETIME& t) {
  return static_cast<double>((static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e7;
}

double ProcessCpu(HANDLE process) {
  FILETIME created, exited, kernel, user;
  GetProcessTimes(process, &created, &exited, &kernel, &user);
  return Seconds(kernel) + Seconds(user);
}

std::string ReadWhole(const std::string& path) {
  std::string out;
  if (FILE* f = std::fopen(path.c_str(), "rb")) {
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) out.append(buffer, n);
    std::fclose(f);
  }
  return out;
}

void WriteWhole(const std::string& path, const std::string& bytes) {
  if (FILE* f = std::fopen(path.c_str(), "wb")) {
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
  }
}

// The wineserver of this prefix, whose processor time counts too: under
// Wine much of any waiting happens there.
double WineserverCpu() {
  static std::string stat;
  if (stat.empty()) {
    char prefix[MAX_PATH] = {};
    if (!GetEnvironmentVariableA("WINEPREFIX", prefix, sizeof prefix)) return 0;
    const std::string wanted = std::string("WINEPREFIX=") + prefix + '\0';
    WIN32_FIND_DATAA found;
    HANDLE h = FindFirstFileA("Z:\\proc\\*", &found);
    if (h == INVALID_HANDLE_VALUE) return 0;
    do {
      const std::string dir = std::string("Z:\\proc\\") + found.cFileName + "\\";
      if (found.cFileName[0] < '0' || found.cFileName[0] > '9') continue;
      if (ReadWhole(dir + "comm").rfind("wineserver", 0) == 0 &&
          ReadWhole(dir + "environ").find(wanted) != std::string::npos)
        stat = dir + "stat";
    } while (FindNextFileA(h, &found));
    FindClose(h);
  }
  const std::string text = ReadWhole(stat);
  const size_t close = text.rfind(')');
  unsigned long long utime = 0, stime = 0;
  if (close == std::string::npos ||
      std::sscanf(text.c_str() + close + 2, "%*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %llu %llu", &utime,
                  &stime) != 2)
    return 0;
  return static_cast<double>(utime + stime) / 100.0;
}

std::vector<std::string> MakeFiles(const std::string& prefix) {
  std::vector<std::string> paths;
  std::mt19937 rng(static_cast<unsigned>(prefix.size() * 7919 + prefix.back()));
  std::string bytes(FileSize, '\0');
  for (int i = 0; i < FileCount; ++i) {
    for (char& c : bytes) c = static_cast<char>(rng());
    paths.push_back(workDir + "\\" + prefix + std::to_string(i) + ".wav");
    WriteWhole(paths.back(), bytes);
  }
  return paths;
}

bool SendAllBytes(SOCKET s, const char* data, int length) {
  while (length > 0) {
    const int n = send(s, data, length, 0);
    if (n <= 0) return false;
    data += n;
    length -= n;
  }
  return true;
}

// One donation the plain way: connect, request, answer, header, the file in
// 4,096-byte pieces read from disk, close.
bool PlainDonate(const std::string& path, const std::string& name, int position) {
  SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(static_cast<u_short>(port));
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bool ok = connect(s, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0;
  unsigned char wire[RequestRecordSize];
  RequestRecord r = EmptyRecord();
  std::snprintf(r.client_id, sizeof r.client_id, "1");
  r.magic1 = RequestMagic1;
  r.magic2 = RequestMagic2;
  r.code = RequestDonate;
  r.num1 = position;
  r.num2 = 3;
  SetFieldText(r.text, RecordTextSize, name.c_str(), name.size());
  EncodeRequestRecord(r, wire);
  ok = ok && SendAllBytes(s, reinterpret_cast<char*>(wire), RequestRecordSize);
  char answer[RequestRecordSize];
  int got = 0;
  while (ok && got < RequestRecordSize) {
    const int n = recv(s, answer + got, RequestRecordSize - got, 0);
    ok = n > 0;
    got += n > 0 ? n : 0;
  }
  RequestRecord reply;
  ok = ok && DecodeRequestRecord(answer, sizeof answer, &reply) && reply.code == 0;
  FILE* f = ok ? std::fopen(path.c_str(), "rb") : nullptr;
  ok = f != nullptr;
  if (ok) {
    RequestRecord header = EmptyRecord();
    header.num1 = 4096;
    header.num2 = FileSize;
    EncodeRequestRecord(header, wire);
    ok = SendAllBytes(s, reinterpret_cast<char*>(wire), RequestRecordSize);
    char piece[4096];
    size_t n;
    while (ok && (n = std::fread(piece, 1, sizeof piece, f)) > 0) ok = SendAllBytes(s, piece, static_cast<int>(n));
    std::fclose(f);
  }
  closesocket(s);
  return ok;
}

double PlainRun(const std::vector<std::string>& paths, const std::string& prefix) {
  const double start = Now();
  for (int i = 0; i < FileCount; ++i) {
    if (!PlainDonate(paths[static_cast<size_t>(i)], prefix + std::to_string(i) + ".wav", 1)) {
      std::printf("plain sender: file %d failed\n", i);
      return -1;
    }
  }
  return Now() - start;
}

std::string BaseCfg() {
  return "Directory = " + workDir + "\\\r\nVServerID = 127.0.0.1\r\nPort = " + std::to_string(port) +
         "\r\nSaveLogToDisk = No\r\nDONATE-3-CATEGORY = 0\r\n";
}

void WriteSlots(const std::vector<std::string>& paths) {
  std::string cfg = BaseCfg();
  for (size_t i = 0; i < paths.size(); ++i) cfg += "DONATE-3-" + std::to_string(i + 1) + " = " + paths[i] + "\r\n";
  WriteWhole(workDir + "\\velmor.cfg", cfg);
}

int SlotsLeft() {
  const std::string cfg = ReadWhole(workDir + "\\velmor.cfg");
  int left = 0;
  for (int i = 1; i <= FileCount; ++i) {
    const std::string key = "DONATE-3-" + std::to_string(i);
    const size_t at = cfg.find(key + " ");
    if (at == std::string::npos) continue;
    const size_t end = cfg.find("\r\n", at);
    const std::string line = cfg.substr(at, end - at);
    if (line.find(".wav") != std::string::npos) ++left;
  }
  return left;
}

// The transfer instance's run inside this process: the shell started with
// the marker, timed from the start of the batch to its end.
double InstanceRun(const std::vector<std::string>& paths) {
  WriteSlots(paths);
  AppStartup(GetModuleHandleA(nullptr), "-velmor-transfer-instance");
  const double start = Now();
  AppRun();
  const double took = Now() - start;
  AppShutdown();
  // The main window's destruction posted a quit that no loop of this
  // process takes; the next run must not meet it.
  MSG stale;
  while (PeekMessageA(&stale, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
  }
  if (SlotsLeft() != 0) {
    std::printf("transfer instance: %d files not sent\n", SlotsLeft());
    return -1;
  }
  return took;
}

HANDLE StartProgram() {
  std::string cmd = "\"" + program + "\" -velmor-transfer-instance";
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, workDir.c_str(), &si, &pi)) return nullptr;
  CloseHandle(pi.hThread);
  return pi.hProcess;
}

double ProcessRun(const std::vector<std::string>& paths) {
  WriteSlots(paths);
  const double start = Now();
  HANDLE p = StartProgram();
  if (!p) return -1;
  WaitForSingleObject(p, 600000);
  CloseHandle(p);
  return SlotsLeft() == 0 ? Now() - start : -1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5) {
    std::printf("usage: donate_bench PORT FAULTS_FILE WORK_DIR VELMORW_EXE [STALL_SECONDS]\n");
    return 2;
  }
  port = std::atoi(argv[1]);
  faultsFile = argv[2];
  workDir = argv[3];
  program = argv[4];
  const int stallSeconds = argc > 5 ? std::atoi(argv[5]) : 30;
  WSADATA wsa;
  WSAStartup(MAKEWORD(2, 2), &wsa);
  SetCurrentDirectoryA(workDir.c_str());

  // Two rounds each, alternating, each with files of their own (the server
  // keeps every name once); the best of each counts.
  double plain = 1e9, instance = 1e9;
  for (int round = 0; round < 2; ++round) {
    const double p = PlainRun(MakeFiles("p" + std::to_string(round) + "-"), "p" + std::to_string(round) + "-");
    const double v = InstanceRun(MakeFiles("v" + std::to_string(round) + "-"));
    if (p < 0 || v < 0) return 1;
    std::printf("round %d: plain sender %.3f s, transfer instance %.3f s\n", round + 1, p, v);
    if (p < plain) plain = p;
    if (v < instance) instance = v;
  }
  const double whole = ProcessRun(MakeFiles("w-"));
  std::printf("41 files of 1 MB: plain Winsock sender %.3f s (%.1f MB/s), transfer instance %.3f s (%.1f MB/s)\n",
              plain, FileCount / plain, instance, FileCount / instance);
  std::printf("ratio transfer instance / plain sender: %.2f (target at most 1.5)\n", instance / plain);
  std::printf("whole Velmorw.exe process, start-up and shutdown included: %.3f s\n", whole);

  // The stall: the server reads the request and says nothing.
  WriteWhole(faultsFile, "7 no-answer\n");
  WriteSlots({MakeFiles("s-")[0]});
  HANDLE p = StartProgram();
  if (!p) return 1;
  // Start-up is not part of the wait: let it settle first.
  for (int i = 0; i < 200 && !FindWindowA("Transfer", nullptr); ++i) Sleep(50);
  Sleep(3000);
  const double cpu0 = ProcessCpu(p), server0 = WineserverCpu(), t0 = Now();
  Sleep(static_cast<DWORD>(stallSeconds) * 1000);
  const double cpu1 = ProcessCpu(p), server1 = WineserverCpu(), t1 = Now();
  const bool stillWaiting = WaitForSingleObject(p, 0) == WAIT_TIMEOUT;
  TerminateProcess(p, 0);
  CloseHandle(p);
  WriteWhole(faultsFile, "");
  const double share = 100.0 * ((cpu1 - cpu0) + (server1 - server0)) / (t1 - t0);
  std::printf("stalled server, %.1f s: transfer instance %.3f s CPU + wineserver %.3f s = %.2f %% of one core "
              "(target under 5 %%)%s\n",
              t1 - t0, cpu1 - cpu0, server1 - server0, share, stillWaiting ? "" : " [instance ended early!]");
  return 0;
}
