// velmor-admin: the moderation page of a Velmor server.
#include "server/admin_app.h"
#include "server/admin_auth.h"
#include "server/options.h"

#include <pthread.h>
#include <signal.h>

#include <cstdio>
#include <iostream>
#include <string>
#include <thread>

int main(int argc, char** argv) {
  AdminOptions options;
  std::string error;
  if (!ParseAdminOptions(argc, argv, &options, &error)) {
    std::fprintf(stderr, "velmor-admin: %s\n", error.c_str());
    return 2;
  }
  if (options.help) {
    std::fputs(AdminUsage().c_str(), stdout);
    return 0;
  }
  if (!options.set_password.empty()) {
    std::string password;
    std::getline(std::cin, password);
    if (!password.empty() && password.back() == '\r') {
      password.pop_back();
    }
    if (!StorePassword(options.set_password, options.user, password, &error)) {
      std::fprintf(stderr, "velmor-admin: %s\n", error.c_str());
      return 1;
    }
    std::printf("Password of %s stored in %s\n", options.user.c_str(), options.set_password.c_str());
    return 0;
  }
  if (options.password_file.empty()) {
    std::fprintf(stderr, "velmor-admin: --passwords FILE is required (see --help)\n");
    return 2;
  }
  // SIGINT and SIGTERM are taken by a thread of their own (blocked
  // everywhere else), which stops the server outside any signal handler.
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGINT);
  sigaddset(&stop_signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);
  AdminApp app(options);
  if (!app.Open(&error)) {
    std::fprintf(stderr, "velmor-admin: %s\n", error.c_str());
    return 1;
  }
  std::thread([&app, stop_signals]() {
    int received = 0;
    sigwait(&stop_signals, &received);
    app.Stop();
  }).detach();
  std::fprintf(stderr, "velmor-admin: listening on %s:%d\n", options.bind_address.c_str(), app.Port());
  app.Run();
  return 0;
}
