// The reference server as the peer of the Windows tests: started from the
// native release tree through reference_server.sh, on a free loopback port,
// with a fault-injection control file that the tests rewrite between
// exchanges (the server reads it for every connection).
#pragma once
#include <string>

class ReferenceServer {
 public:
  // content: a content directory (Unix path) to serve; made with the
  // server's sample content when it does not exist. Extra options are
  // appended to the server's command line.
  explicit ReferenceServer(const std::string& content, const std::string& options = "");
  ~ReferenceServer();
  bool Running() const { return port_ > 0; }
  int Port() const { return port_; }
  // Replaces the fault rules (empty: none).
  void SetFaults(const std::string& rules);
  // The server's exchange log so far.
  std::string Log() const;

 private:
  std::string state_; // Unix path
  int port_ = 0;
};

// The Windows form of a Unix path (Wine's Z: drive).
std::string WinePath(const std::string& unixPath);
// A fresh Unix folder for test content, in the program's private one.
std::string FreshUnixDir(const std::string& name);
// Writes a file given by its Unix path.
void WriteUnixFile(const std::string& unixPath, const std::string& bytes);
