// The moderation page under a full queue: 10,000 waiting donations, the
// first queue page rendered and 100 donations accepted in one request.
// Baselines measured in the same run: the same number of bytes served as a
// static page by the same HTTP library, and 100 plain renames.
#include "server/admin_app.h"
#include "server/admin_auth.h"
#include "server/admin_index.h"

#include <httplib.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

void Write(const std::string& path, const std::string& text) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0 || ::write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size())) {
    std::perror(path.c_str());
    std::exit(1);
  }
  ::close(fd);
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

std::string Between(const std::string& text, const std::string& before, const std::string& after) {
  std::size_t a = text.find(before);
  if (a == std::string::npos) return "";
  a += before.size();
  return text.substr(a, text.find(after, a) - a);
}

} // namespace

int main(int argc, char** argv) {
  std::string work = argc > 1 ? argv[1] : "admin-bench-work";
  const int waiting = 10000;
  std::string content = work + "/content";
  std::string cmd = "rm -rf '" + work + "' && mkdir -p '" + content + "/categories' '" + content +
                    "/donations/picture/0' '" + content + "/donations/quote/0' '" + content + "/baseline/a' '" +
                    content + "/baseline/b'";
  if (std::system(cmd.c_str()) != 0) return 1;
  Write(content + "/categories/picture.txt", "Landscapes\n");
  Write(content + "/categories/quote.txt", "Sayings\n");
  std::string jpeg = "\xFF\xD8\xFF\xE0" + std::string(2000, 'j');
  for (int i = 0; i < waiting; ++i) {
    bool quote = i % 10 == 0;
    std::string dir = content + (quote ? "/donations/quote/0/" : "/donations/picture/0/");
    std::string name = "gift" + std::to_string(i) + (quote ? ".txt" : ".jpg");
    Write(dir + name, quote ? "A saying of some length, number " + std::to_string(i) + ".\n" : jpeg);
    Write(dir + "." + name + ".meta", "client 12345\naddress 192.0.2.7\n");
  }
  std::string error;
  if (!StorePassword(work + "/passwords", "admin", "bench password", &error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  AdminOptions options;
  options.port = 0;
  options.content_dir = content;
  options.password_file = work + "/passwords";
  AdminApp app(options);
  if (!app.Open(&error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  std::thread serving([&] { app.Run(); });

  httplib::Client client("127.0.0.1", app.Port());
  auto login_page = client.Get("/login");
  std::string login_cookie = Between(login_page->get_header_value("Set-Cookie"), "velmor_login=", ";");
  httplib::Headers headers = {{"Cookie", "velmor_login=" + login_cookie}};
  auto logged = client.Post("/login", headers,
                            httplib::Params{{"token", login_cookie}, {"user", "admin"}, {"password", "bench password"}});
  std::string session = Between(logged->get_header_value("Set-Cookie"), "velmor_session=", ";");
  headers = {{"Cookie", "velmor_session=" + session}};

  // The first page reads every folder; later ones only what changed. A
  // folder changed in the last DonationIndex::RecentSeconds is listed
  // again on every page, so the steady figure is taken after that.
  auto t_first = Clock::now();
  auto first = client.Get("/queue", headers);
  double first_ms = Ms(Clock::now() - t_first);
  std::vector<double> recent_ms;
  for (int i = 0; i < 5; ++i) {
    auto t0 = Clock::now();
    client.Get("/queue", headers);
    recent_ms.push_back(Ms(Clock::now() - t0));
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(DonationIndex::RecentSeconds * 1000 + 500));
  std::vector<double> page_ms;
  std::string page;
  for (int i = 0; i < 15; ++i) {
    auto t0 = Clock::now();
    auto r = client.Get("/queue", headers);
    page_ms.push_back(Ms(Clock::now() - t0));
    if (!r || r->status != 200) {
      std::fprintf(stderr, "queue page failed\n");
      return 1;
    }
    page = r->body;
  }

  // Baseline: the same bytes as a static page from the same library.
  httplib::Server plain;
  plain.Get("/page", [&](const httplib::Request&, httplib::Response& res) { res.set_content(page, "text/html"); });
  int plain_port = plain.bind_to_any_port("127.0.0.1");
  std::thread plain_thread([&] { plain.listen_after_bind(); });
  httplib::Client plain_client("127.0.0.1", plain_port);
  std::vector<double> static_ms;
  for (int i = 0; i < 15; ++i) {
    auto t0 = Clock::now();
    auto r = plain_client.Get("/page");
    static_ms.push_back(Ms(Clock::now() - t0));
    if (!r) return 1;
  }

  // Accepting 100 pictures in one request.
  std::string token = Between(page, "name=\"token\" value=\"", "\"");
  httplib::Params accept{{"token", token}, {"action", "accept"}};
  for (int i = 1, n = 0; n < 100; ++i) {
    if (i % 10 != 0) {
      accept.emplace("item", "picture/0/gift" + std::to_string(i) + ".jpg");
      ++n;
    }
  }
  auto t0 = Clock::now();
  auto accepted = client.Post("/queue", headers, accept);
  double accept_ms = Ms(Clock::now() - t0);
  int moved = 0;
  for (std::size_t at = 0; (at = accepted->body.find("accepted: gift", at)) != std::string::npos; ++at) {
    ++moved;
  }
  // Baseline: 100 plain renames of files of the same size.
  for (int i = 0; i < 100; ++i) {
    Write(content + "/baseline/a/" + std::to_string(i), jpeg);
  }
  t0 = Clock::now();
  for (int i = 0; i < 100; ++i) {
    std::string name = "/" + std::to_string(i);
    ::rename((content + "/baseline/a" + name).c_str(), (content + "/baseline/b" + name).c_str());
  }
  double rename_ms = Ms(Clock::now() - t0);

  double queue = Median(page_ms);
  double plain_page = Median(static_ms);
  std::printf("queue page, %d waiting, 50 a page (%zu bytes): median %.2f ms (goal under 300)\n", waiting,
              page.size(), queue);
  std::printf("  first page (every folder read):              %.1f ms\n", first_ms);
  std::printf("  while a folder changed within %llds (listed again): median %.1f ms\n",
              static_cast<long long>(DonationIndex::RecentSeconds), Median(recent_ms));
  std::printf("  same bytes as a static page:                 median %.2f ms (ratio %.0fx)\n", plain_page,
              queue / plain_page);
  std::printf("accept 100 pictures in one request (%d accepted): %.1f ms (goal under 1000)\n", moved, accept_ms);
  std::printf("  100 plain renames:                              %.2f ms (ratio %.0fx)\n", rename_ms,
              accept_ms / std::max(rename_ms, 0.001));
  plain.stop();
  plain_thread.join();
  app.Stop();
  serving.join();
  return moved == 100 && first && queue < 300 && accept_ms < 1000 ? 0 : 1;
}
