// Start-up, shutdown and idle memory of Velmorw.exe against a bare
// window-and-tray program of ours, both measured in the same run.
//
//   shell_bench [rounds]
//
// Start-up: from CreateProcess to the moment the program's tray icon exists
// (polled with a modify that changes nothing). Shutdown: from posting
// WM_CLOSE to the end of the process. Rounds alternate the two programs;
// medians are printed with the ratio. Memory: working set and private bytes
// of each program idling with its window shown, two seconds after its tray
// icon appeared.
#include <windows.h>
#include <psapi.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "res/resource.h"

namespace {

std::string WinPath(const char* unixPath) {
  std::string p = std::string("Z:") + unixPath;
  for (char& c : p)
    if (c == '/') c = '\\';
  return p;
}

double Now() {
  static LARGE_INTEGER freq = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER t;
  QueryPerformanceCounter(&t);
  return double(t.QuadPart) * 1000.0 / double(freq.QuadPart);
}

struct Program {
  const char* name;
  std::string path;
  const char* windowClass;
};

struct Search {
  DWORD pid;
  const char* cls;
  HWND found;
};

BOOL CALLBACK Match(HWND w, LPARAM lp) {
  auto* s = reinterpret_cast<Search*>(lp);
  DWORD pid = 0;
  GetWindowThreadProcessId(w, &pid);
  char cls[64] = "";
  GetClassNameA(w, cls, sizeof cls);
  if (pid == s->pid && lstrcmpA(cls, s->cls) == 0) {
    s->found = w;
    return FALSE;
  }
  return TRUE;
}

bool TrayIconExists(HWND owner) {
  NOTIFYICONDATAA nid{};
  nid.cbSize = sizeof nid;
  nid.hWnd = owner;
  nid.uID = IDN_TRAY_NORMAL;
  return Shell_NotifyIconA(NIM_MODIFY, &nid) != FALSE;
}

struct Scratch {
  std::string dir;
  Scratch() {
    char base[MAX_PATH];
    GetTempPathA(sizeof base, base);
    dir = std::string(base) + "vbench" + std::to_string(GetCurrentProcessId() % 10000);
    CreateDirectoryA(dir.c_str(), nullptr);
  }
  void Reset() const {
    const std::string cfg = dir + "\\velmor.cfg";
    if (FILE* f = std::fopen(cfg.c_str(), "wb")) {
      std::fprintf(f, "Directory  =  %s\r\n", dir.c_str());
      std::fclose(f);
    }
  }
  ~Scratch() {
    DeleteFileA((dir + "\\velmor.cfg").c_str());
    DeleteFileA((dir + "\\VelmorW.log").c_str());
    RemoveDirectoryA(dir.c_str());
  }
};

struct Run {
  PROCESS_INFORMATION pi{};
  HWND window = nullptr;
  double startMs = -1;
};

bool Start(const Program& p, const Scratch& scratch, Run& run) {
  scratch.Reset();
  std::string cmd = "\"" + p.path + "\" /Q";
  STARTUPINFOA si{};
  si.cb = sizeof si;
  const double t0 = Now();
  if (!CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, scratch.dir.c_str(), &si,
                      &run.pi))
    return false;
  Search s{run.pi.dwProcessId, p.windowClass, nullptr};
  while (Now() - t0 < 30000) {
    if (!s.found) EnumWindows(Match, reinterpret_cast<LPARAM>(&s));
    if (s.found && TrayIconExists(s.found)) {
      run.startMs = Now() - t0;
      run.window = s.found;
      return true;
    }
    Sleep(1);
  }
  return false;
}

double Stop(Run& run) {
  const double t0 = Now();
  PostMessageA(run.window, WM_CLOSE, 0, 0);
  double ms = -1;
  if (WaitForSingleObject(run.pi.hProcess, 30000) == WAIT_OBJECT_0) ms = Now() - t0;
  else TerminateProcess(run.pi.hProcess, 9);
  CloseHandle(run.pi.hThread);
  CloseHandle(run.pi.hProcess);
  return ms;
}

double Median(std::vector<double> v) {
  if (v.empty()) return -1;
  std::sort(v.begin(), v.end());
  const size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
  const Program programs[2] = {{"bare window+tray", WinPath(BARE_TRAY_EXE), "BareTray"},
                               {"Velmorw.exe /Q", WinPath(VELMORW_EXE), "VelmorW"}};
  Scratch scratch;
  std::vector<double> start[2], stop[2];

  // One unmeasured run each, so that both find their files in the cache.
  for (const Program& p : programs) {
    Run warm;
    if (!Start(p, scratch, warm)) {
      std::printf("shell_bench: %s did not start\n", p.name);
      return 1;
    }
    Stop(warm);
  }
  for (int r = 0; r < rounds; ++r) {
    for (int k = 0; k < 2; ++k) {
      const int which = (r % 2) ? 1 - k : k;  // alternate who goes first
      Run run;
      if (!Start(programs[which], scratch, run)) {
        std::printf("shell_bench: %s did not start\n", programs[which].name);
        return 1;
      }
      Sleep(50);  // let it settle into its loop before the close
      start[which].push_back(run.startMs);
      stop[which].push_back(Stop(run));
    }
  }

  std::printf("shell start-up and shutdown under this system, %d rounds, medians:\n", rounds);
  std::printf("  %-20s %12s %12s\n", "program", "start-up ms", "shutdown ms");
  for (int k = 0; k < 2; ++k)
    std::printf("  %-20s %12.1f %12.1f\n", programs[k].name, Median(start[k]), Median(stop[k]));
  const double startRatio = Median(start[1]) / Median(start[0]);
  const double stopRatio = Median(stop[1]) / Median(stop[0]);
  std::printf("  ratio Velmorw / bare: start-up %.2fx, shutdown %.2fx (goal: start-up at most 1.2x)\n", startRatio,
              stopRatio);

  std::printf("idle memory with the window shown, 2 s after the tray icon appeared:\n");
  SIZE_T velmorSet = 0, bareSet = 0;
  for (int k = 0; k < 2; ++k) {
    Run run;
    if (!Start(programs[k], scratch, run)) return 1;
    Sleep(2000);
    PROCESS_MEMORY_COUNTERS_EX mc{};
    mc.cb = sizeof mc;
    GetProcessMemoryInfo(run.pi.hProcess, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&mc), sizeof mc);
    std::printf("  %-20s working set %7.2f MB, private %7.2f MB, visible %d\n", programs[k].name,
                mc.WorkingSetSize / 1048576.0, mc.PrivateUsage / 1048576.0,
                IsWindowVisible(run.window) ? 1 : 0);
    (k == 1 ? velmorSet : bareSet) = mc.WorkingSetSize;
    Stop(run);
  }
  std::printf("  Velmorw working set %.2f MB (goal: under 8 MB), %+.2f MB over the bare program (goal: +2 MB)\n",
              velmorSet / 1048576.0, (double(velmorSet) - double(bareSet)) / 1048576.0);
  std::printf("  (under Wine the working set counts Wine's own libraries: the bare program's\n"
              "   figure is the floor that no window-and-tray program here can go below)\n");
  return 0;
}
