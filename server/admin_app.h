// velmor-admin's web application: server-rendered pages over an
// AdminStore, behind a login, on cpp-httplib.
#pragma once
#include "server/options.h"

#include <memory>
#include <string>

// Escapes text for HTML content and attribute values.
std::string HtmlEscape(const std::string& text);

class AdminApp {
 public:
  explicit AdminApp(const AdminOptions& options);
  ~AdminApp();
  AdminApp(const AdminApp&) = delete;
  AdminApp& operator=(const AdminApp&) = delete;

  // Reads the password file and binds. False with a reason.
  bool Open(std::string* error);
  int Port() const;
  // Serves until Stop.
  void Run();
  void Stop();

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};
