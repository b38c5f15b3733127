#include "server/sample_content.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

struct PictureSpec {
  int width, height, style, variant;
  const char* name;
};

struct PictureCategory {
  const char* name;
  std::vector<PictureSpec> pictures;
};

// Wallpapers are tiled, so small tiles are as useful as full screens.
const std::vector<PictureCategory>& PictureCategories() {
  static const std::vector<PictureCategory> categories = {
      {"Gradients",
       {{1920, 1080, 0, 0, "dusk-gradient.jpg"},
        {1280, 720, 1, 1, "green-glow.jpg"},
        {800, 600, 0, 2, "rose-gradient.jpg"},
        {640, 480, 1, 3, "steel-glow.jpg"}}},
      {"Patterns",
       {{256, 256, 2, 0, "woven-tile.jpg"},
        {1024, 768, 3, 1, "rings.jpg"},
        {320, 320, 2, 4, "sand-weave-tile.jpg"},
        {1920, 1080, 3, 2, "rings-wide.jpg"}}},
      {"Evening Hills",
       {{1920, 1080, 4, 0, "hills-full-hd.jpg"},
        {1280, 720, 4, 1, "hills-720.jpg"},
        {1024, 768, 4, 4, "hills-1024.jpg"}}},
  };
  return categories;
}

struct SoundSpec {
  int style, variant, milliseconds;
  const char* name;
};

struct SoundCategory {
  const char* name;
  std::vector<SoundSpec> sounds;
};

const std::vector<SoundCategory>& SoundCategories() {
  static const std::vector<SoundCategory> categories = {
      {"Chimes",
       {{0, 0, 1800, "bell-low.wav"}, {0, 3, 1500, "bell-high.wav"}, {1, 1, 900, "three-notes.wav"}}},
      {"Signals",
       {{2, 0, 700, "sweep-up.wav"}, {3, 2, 600, "double-beep.wav"}, {4, 1, 1500, "water-drops.wav"}}},
  };
  return categories;
}

bool MakeFolder(const std::string& path, std::string* error) {
  if (::mkdir(path.c_str(), 0755) != 0 && errno != EEXIST) {
    *error = "cannot create " + path + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

bool WriteFile(const std::string& path, const std::string& bytes, std::string* error) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  bool ok = f && std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  if (f && std::fclose(f) != 0) {
    ok = false;
  }
  if (!ok) {
    *error = "cannot write " + path;
  }
  return ok;
}

bool IsEmptyOrMissing(const std::string& dir) {
  DIR* d = ::opendir(dir.c_str());
  if (!d) {
    return errno == ENOENT;
  }
  bool empty = true;
  while (dirent* e = ::readdir(d)) {
    if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) {
      empty = false;
    }
  }
  ::closedir(d);
  return empty;
}

} // namespace

bool MakeSampleContent(const std::string& dir, std::string* error) {
  if (!IsEmptyOrMissing(dir)) {
    *error = dir + " exists and is not empty; the sample goes into a new or empty directory";
    return false;
  }
  for (const char* sub : {"", "/categories", "/quotes", "/pictures", "/sounds"}) {
    if (!MakeFolder(dir + sub, error)) {
      return false;
    }
  }

  std::string names;
  const auto& quotes = SampleQuoteCategories();
  for (std::size_t c = 0; c < quotes.size(); ++c) {
    names += std::string(quotes[c].name) + "\n";
    std::string text;
    for (std::size_t i = 0; i < quotes[c].items.size(); ++i) {
      text += (i ? "%\n" : "") + std::string(quotes[c].items[i]) + "\n";
    }
    if (!WriteFile(dir + "/quotes/" + std::to_string(c) + ".txt", text, error)) {
      return false;
    }
  }
  if (!WriteFile(dir + "/categories/quote.txt", names, error)) {
    return false;
  }

  names.clear();
  const auto& pictures = PictureCategories();
  for (std::size_t c = 0; c < pictures.size(); ++c) {
    names += std::string(pictures[c].name) + "\n";
    std::string folder = dir + "/pictures/" + std::to_string(c);
    if (!MakeFolder(folder, error)) {
      return false;
    }
    for (const PictureSpec& p : pictures[c].pictures) {
      if (!WriteSampleJpeg(folder + "/" + p.name, p.width, p.height, p.style, p.variant, error)) {
        return false;
      }
    }
  }
  if (!WriteFile(dir + "/categories/picture.txt", names, error)) {
    return false;
  }

  names.clear();
  const auto& sounds = SoundCategories();
  for (std::size_t c = 0; c < sounds.size(); ++c) {
    names += std::string(sounds[c].name) + "\n";
    std::string folder = dir + "/sounds/" + std::to_string(c);
    if (!MakeFolder(folder, error)) {
      return false;
    }
    for (const SoundSpec& s : sounds[c].sounds) {
      if (!WriteFile(folder + "/" + s.name, SynthesiseWav(s.style, s.variant, s.milliseconds), error)) {
        return false;
      }
    }
  }
  if (!WriteFile(dir + "/categories/sound.txt", names, error)) {
    return false;
  }

  return WriteFile(dir + "/news.txt", SampleNews(), error) && WriteFile(dir + "/tips.txt", SampleTips(), error) &&
         WriteFile(dir + "/status.txt", std::string(SampleStatusLine()) + "\n", error);
}
