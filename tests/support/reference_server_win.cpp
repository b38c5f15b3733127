#include "tests/support/reference_server_win.h"

#include <windows.h>

#include <cstdio>
#include <filesystem>

#include <gtest/gtest.h>

#include "tests/support/test_files.h"

namespace {

// Starts a Unix program; Wine runs it, but cannot wait for it.
void RunUnix(const std::string& commandLine) {
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi = {};
  std::string line = commandLine;
  if (CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
  }
}

std::string Quoted(const std::string& s) { return "\"" + s + "\""; }

// Test programs run side by side and may create the same parent folders at
// the same moment: losing that race is no failure, a folder that cannot be
// made is.
void MakeDirectories(const std::string& winPath) {
  std::error_code error;
  for (int attempt = 0; attempt < 20; ++attempt) {
    std::filesystem::create_directories(winPath, error);
    if (std::filesystem::is_directory(winPath)) return;
    Sleep(50);
  }
  ADD_FAILURE() << "cannot make the folder " << winPath << ": " << error.message();
}

}  // namespace

std::string WinePath(const std::string& unixPath) {
  std::string out = "Z:" + unixPath;
  for (char& c : out) {
    if (c == '/') c = '\\';
  }
  return out;
}

std::string FreshUnixDir(const std::string& name) {
  std::string dir = UnixTestRoot() + "/" + name;
  std::error_code ignored;
  std::filesystem::remove_all(WinePath(dir), ignored);
  MakeDirectories(WinePath(dir));
  return dir;
}

void WriteUnixFile(const std::string& unixPath, const std::string& bytes) {
  MakeDirectories(std::filesystem::path(WinePath(unixPath)).parent_path().string());
  WriteFile(WinePath(unixPath), bytes);
}

ReferenceServer::ReferenceServer(const std::string& content, const std::string& options) {
  // Process ids come back soon under Wine: the tick count keeps a later
  // program from emptying the folder of a server that is still stopping.
  state_ = FreshUnixDir("server-state-" + std::to_string(GetCurrentProcessId()) + "-" +
                        std::to_string(GetTickCount64()));
  WriteUnixFile(state_ + "/faults.txt", "");
  RunUnix(Quoted(VELMOR_REFERENCE_SERVER_SCRIPT) + " start " + Quoted(state_) + " " +
          Quoted(VELMOR_REFERENCE_SERVER) + " " + Quoted(content) + " --faults " + Quoted(state_ + "/faults.txt") +
          " " + options);
  // Sample content takes a few seconds to make, more on a loaded machine;
  // the port file appears once the server listens.
  const ULONGLONG until = GetTickCount64() + 120000;
  while (port_ <= 0) {
    std::string port = ReadFile(WinePath(state_ + "/port"));
    if (!port.empty() && port.back() == '\n') port_ = std::atoi(port.c_str());
    if (port_ > 0 || GetTickCount64() >= until) break;
    Sleep(50);
  }
}

ReferenceServer::~ReferenceServer() {
  RunUnix(Quoted(VELMOR_REFERENCE_SERVER_SCRIPT) + " stop " + Quoted(state_));
  // The script marks the server's end; without the wait the test program
  // could end first and leave the server running.
  const std::string stopped = WinePath(state_ + "/stopped");
  for (int i = 0; i < 300 && !FileExists(stopped); ++i) Sleep(50);
}

void ReferenceServer::SetFaults(const std::string& rules) { WriteFile(WinePath(state_ + "/faults.txt"), rules); }

std::string ReferenceServer::Log() const { return ReadFile(WinePath(state_ + "/server.log")); }
