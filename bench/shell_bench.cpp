// Start-up, shutdown and idle memory of Velmorw.exe against a bare
// window-and-tray program of ours, both measured in the same run.
//
//   shell_bench [rounds]
//
// Start-up: from CreateProcess to the moment the program's tray icon exists
// (polled with a modify that changes nothing). Shutdown: from posting
// WM_CLOSE to the end of the process. Rounds alternate the programs;
// medians are printed with the ratios. Memory: working set and private bytes
// of each program idling with its window shown, two seconds after its tray
// icon appeared.
//
// Every measured start of Velmorw.exe finds velmor.cfg as its first run left
// it (its settings stored), as on every start but the first; the first start,
// which also stores every default, is timed on its own. A second baseline,
// the bare program with the client's manifest and two themed controls, shows
// what common controls 6 cost on this system.
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
  std::string settings;  // velmor.cfg as each start finds it
  Scratch() {
    char base[MAX_PATH];
    GetTempPathA(sizeof base, base);
    dir = std::string(base) + "vbench" + std::to_string(GetCurrentProcessId() % 10000);
    CreateDirectoryA(dir.c_str(), nullptr);
    settings = "Directory  =  " + dir + "\r\n";
  }
  std::string Path() const { return dir + "\\velmor.cfg"; }
  void Reset() const {
    if (FILE* f = std::fopen(Path().c_str(), "wb")) {
      std::fwrite(settings.data(), 1, settings.size(), f);
      std::fclose(f);
    }
  }
  // From now on every start finds the file as it is now.
  void Keep() {
    settings.clear();
    if (FILE* f = std::fopen(Path().c_str(), "rb")) {
      char buffer[4096];
      for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;) settings.append(buffer, n);
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
  constexpr int Bare = 0, Themed = 1, Velmorw = 2, Count = 3;
  const Program programs[Count] = {{"bare window+tray", WinPath(BARE_TRAY_EXE), "BareTray"},
                                   {"bare, themed", WinPath(BARE_THEMED_EXE), "BareTray"},
                                   {"Velmorw.exe /Q", WinPath(VELMORW_EXE), "VelmorW"}};
  Scratch scratch;
  std::vector<double> start[Count], stop[Count], firstStart;

  // Velmorw's first starts (each from a velmor.cfg holding only the data
  // directory), then one unmeasured run each, so that all find their files
  // in the cache and Velmorw finds its settings stored.
  for (int k = 0; k < 3; ++k) {
    Run first;
    if (!Start(programs[Velmorw], scratch, first)) {
      std::printf("shell_bench: %s did not start\n", programs[Velmorw].name);
      return 1;
    }
    if (k > 0) firstStart.push_back(first.startMs);
    Sleep(50);
    Stop(first);
  }
  scratch.Keep();
  for (const Program& p : programs) {
    Run warm;
    if (!Start(p, scratch, warm)) {
      std::printf("shell_bench: %s did not start\n", p.name);
      return 1;
    }
    Stop(warm);
  }
  for (int r = 0; r < rounds; ++r) {
    for (int k = 0; k < Count; ++k) {
      const int which = (k + r) % Count;  // each takes every place in turn
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
  for (int k = 0; k < Count; ++k)
    std::printf("  %-20s %12.1f %12.1f\n", programs[k].name, Median(start[k]), Median(stop[k]));
  std::printf("  %-20s %12.1f   (the first start, which stores every default; median of 2)\n",
              "Velmorw.exe, first", Median(firstStart));
  std::printf("  ratio Velmorw / bare: start-up %.2fx, shutdown %.2fx (goal: start-up at most 1.2x)\n",
              Median(start[Velmorw]) / Median(start[Bare]), Median(stop[Velmorw]) / Median(stop[Bare]));
  std::printf("  ratio Velmorw / bare, themed: start-up %.2fx; bare, themed / bare: %.2fx\n",
              Median(start[Velmorw]) / Median(start[Themed]), Median(start[Themed]) / Median(start[Bare]));

  std::printf("idle memory with the window shown, 2 s after the tray icon appeared:\n");
  SIZE_T set[Count] = {};
  for (int k = 0; k < Count; ++k) {
    Run run;
    if (!Start(programs[k], scratch, run)) return 1;
    Sleep(2000);
    PROCESS_MEMORY_COUNTERS_EX mc{};
    mc.cb = sizeof mc;
    GetProcessMemoryInfo(run.pi.hProcess, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&mc), sizeof mc);
    std::printf("  %-20s working set %7.2f MB, private %7.2f MB, visible %d\n", programs[k].name,
                mc.WorkingSetSize / 1048576.0, mc.PrivateUsage / 1048576.0,
                IsWindowVisible(run.window) ? 1 : 0);
    set[k] = mc.WorkingSetSize;
    Stop(run);
  }
  auto over = [&](int k, int base) { return (double(set[k]) - double(set[base])) / 1048576.0; };
  std::printf("  Velmorw working set %.2f MB (goal: under 8 MB), %+.2f MB over the bare program (goal: +2 MB)\n",
              set[Velmorw] / 1048576.0, over(Velmorw, Bare));
  std::printf("  Velmorw %+.2f MB over the themed bare program, which is %+.2f MB over the bare one\n",
              over(Velmorw, Themed), over(Themed, Bare));
  std::printf("  (under Wine the working set counts Wine's own libraries: the bare program's\n"
              "   figure is the floor that no window-and-tray program here can go below)\n");
  return 0;
}
