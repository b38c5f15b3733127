// Arbitrary bytes as everything a client sends on one connection: the
// request, then a block header and data. The first byte picks a fault
// control file, so that the fault paths are fuzzed as well. Whatever comes
// in, nothing may be written outside the donations and comments folders.
#include "server/content_store.h"
#include "server/donation_store.h"
#include "server/exchange.h"
#include "server/fault_plan.h"

#include <dirent.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

using namespace velmor_server;

namespace {

void Write(const std::string& path, const std::string& text) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f) {
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
  }
}

struct World {
  std::string root;
  std::string faults_path;
  ContentStore* content;
  DonationStore* donations;
  FaultSource* faults;
  ServerContext context;
};

const char* FaultFiles[] = {
    "",
    "* stall 100\n",
    "* drip 0 3\n",
    "12 list-count -1\n12 no-final-nul\n13 no-final-nul\n",
    "* cut 3\n",
    "* oversized-block 50\n",
    "* header-code 9\n* total -4\n",
    "* chunk-size 0\n",
};

World& TheWorld() {
  static World* world = [] {
    World* w = new World();
    char pattern[] = "/tmp/velmor-exchange-fuzz-XXXXXX";
    w->root = mkdtemp(pattern);
    for (const char* d : {"/categories", "/quotes", "/pictures", "/pictures/0", "/sounds", "/sounds/0"}) {
      mkdir((w->root + d).c_str(), 0755);
    }
    Write(w->root + "/categories/quote.txt", "Q\nR\n");
    Write(w->root + "/categories/picture.txt", "P\n");
    Write(w->root + "/categories/sound.txt", "S\n");
    Write(w->root + "/quotes/0.txt", "a\n%\nb\n");
    Write(w->root + "/pictures/0/p.jpg", "picture");
    Write(w->root + "/sounds/0/s.wav", "sound");
    Write(w->root + "/news.txt", "news\n");
    Write(w->root + "/status.txt", "status\n");
    w->faults_path = w->root + "/faults.txt";
    w->content = new ContentStore(w->root);
    w->donations = new DonationStore(w->root);
    std::string error;
    if (!w->donations->Prepare(&error)) {
      std::abort();
    }
    w->faults = new FaultSource(w->faults_path);
    w->context.content = w->content;
    w->context.donations = w->donations;
    w->context.faults = w->faults;
    w->context.max_donation_bytes = 4096;
    std::atexit([] { system(("rm -rf '" + TheWorld().root + "'").c_str()); });
    return w;
  }();
  return *world;
}

// Only the donations and comments folders (and our own fault file and the
// categories lists, which add-category appends to) may change.
void CheckTopLevel(const std::string& root) {
  DIR* dir = opendir(root.c_str());
  if (!dir) {
    std::abort();
  }
  while (dirent* e = readdir(dir)) {
    std::string name = e->d_name;
    if (name != "." && name != ".." && name != "categories" && name != "quotes" && name != "pictures" &&
        name != "sounds" && name != "news.txt" && name != "status.txt" && name != "faults.txt" &&
        name != "donations" && name != "comments") {
      std::abort();
    }
  }
  closedir(dir);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  World& w = TheWorld();
  if (size == 0) {
    return 0;
  }
  Write(w.faults_path, FaultFiles[data[0] % (sizeof FaultFiles / sizeof *FaultFiles)]);
  std::string outcome;
  std::string out = RunExchangeInMemory(w.context, data + 1, size - 1, &outcome);
  // A whole request always gets whole records first (a stall may stop
  // anywhere after them); a request cut short gets nothing.
  if (size - 1 < 90 && !out.empty()) {
    std::abort();
  }
  if (w.donations->Reserved() != 0) {
    std::abort();  // every upload ended one way or the other
  }
  CheckTopLevel(w.root);
  return 0;
}
