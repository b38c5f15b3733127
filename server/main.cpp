// velmor-server: the reference Velmor content server.
#include "server/options.h"
#include "server/sample_content.h"
#include "server/server.h"

#include <sys/resource.h>

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
  ServerOptions options;
  std::string error;
  if (!ParseServerOptions(argc, argv, &options, &error)) {
    std::fprintf(stderr, "velmor-server: %s\n", error.c_str());
    return 2;
  }
  if (options.help) {
    std::fputs(ServerUsage().c_str(), stdout);
    return 0;
  }
  if (!options.make_sample.empty()) {
    if (!MakeSampleContent(options.make_sample, &error)) {
      std::fprintf(stderr, "velmor-server: %s\n", error.c_str());
      return 1;
    }
    std::printf("Sample content written to %s\n", options.make_sample.c_str());
    return 0;
  }

  // Every connection is a descriptor: allow as many as the system lets us.
  rlimit limit;
  if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
    limit.rlim_cur = limit.rlim_max;
    setrlimit(RLIMIT_NOFILE, &limit);
  }

  VelmorServer server(options);
  // Before the ready file announces the server: a stop that follows at once
  // (systemctl stop, a test) must find the handler in place.
  server.StopOnSignals();
  if (!server.Open(&error)) {
    std::fprintf(stderr, "velmor-server: %s\n", error.c_str());
    return 1;
  }
  server.Run();
  return 0;
}
