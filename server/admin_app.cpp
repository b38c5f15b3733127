#include "server/admin_app.h"

#include "server/admin_auth.h"
#include "server/admin_store.h"

#include <httplib.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>

namespace {

constexpr std::size_t QueuePageSize = 50;
constexpr std::size_t CommentPageSize = 50;
constexpr std::size_t QuotePreview = 2000;
constexpr const char* SessionCookie = "velmor_session";
constexpr const char* LoginCookie = "velmor_login";

// No script at all, and nothing from anywhere else: even a name that
// slipped through escaping could not run.
constexpr const char* Policy =
    "default-src 'none'; img-src 'self'; media-src 'self'; style-src 'self'; form-action 'self'; "
    "frame-ancestors 'none'; base-uri 'none'";

constexpr const char* Style = R"(body{font:14px/1.4 sans-serif;margin:0;color:#222;background:#f6f6f4}
header{background:#2d4a5a;color:#fff;padding:8px 16px;display:flex;gap:16px;align-items:center}
header a{color:#fff;text-decoration:none;font-weight:bold}header form{margin-left:auto}
main{padding:12px 16px}table{border-collapse:collapse;background:#fff;width:100%}
th,td{border-bottom:1px solid #ddd;padding:4px 8px;text-align:left;vertical-align:top}
th{background:#eceae4}.thumb{max-width:200px;max-height:120px;display:block}
.quote{white-space:pre-wrap;max-width:480px;max-height:160px;overflow:auto;margin:0;font-size:13px}
.messages{background:#fff8d8;border:1px solid #e0c860;padding:6px 12px}.refused{color:#a00}
.panel{background:#fff;border:1px solid #ddd;padding:8px 12px;margin-bottom:12px}
.unread{font-weight:bold}.bar{display:flex;gap:8px;align-items:center;margin:8px 0}
.note{color:#555;max-width:720px})";

std::string UrlEncode(const std::string& text) {
  std::string out;
  for (unsigned char c : text) {
    if (std::isalnum(c) || c == '-' || c == '_' || c == '.' || c == '~') {
      out += static_cast<char>(c);
    } else {
      char hex[4];
      std::snprintf(hex, sizeof hex, "%%%02X", c);
      out += hex;
    }
  }
  return out;
}

std::string Size(int64_t bytes) {
  char text[32];
  if (bytes < 1024) {
    std::snprintf(text, sizeof text, "%lld B", static_cast<long long>(bytes));
  } else if (bytes < 1024 * 1024) {
    std::snprintf(text, sizeof text, "%.1f KiB", bytes / 1024.0);
  } else if (bytes < int64_t(1) << 30) {
    std::snprintf(text, sizeof text, "%.1f MiB", bytes / 1048576.0);
  } else {
    std::snprintf(text, sizeof text, "%.2f GiB", bytes / 1073741824.0);
  }
  return text;
}

std::string Time(int64_t seconds) {
  std::time_t t = static_cast<std::time_t>(seconds);
  std::tm local;
  localtime_r(&t, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
  return text;
}

std::string CookieValue(const httplib::Request& req, const std::string& name) {
  std::string header = req.get_header_value("Cookie");
  std::size_t pos = 0;
  while (pos < header.size()) {
    std::size_t end = header.find(';', pos);
    if (end == std::string::npos) {
      end = header.size();
    }
    std::string part = header.substr(pos, end - pos);
    std::size_t first = part.find_first_not_of(' ');
    if (first != std::string::npos) {
      part.erase(0, first);
    }
    if (part.compare(0, name.size() + 1, name + "=") == 0) {
      return part.substr(name.size() + 1);
    }
    pos = end + 1;
  }
  return std::string();
}

// What a donated file is, by its first bytes, for the browser.
std::string MediaType(const std::string& head) {
  auto starts = [&](const char* magic, std::size_t n) { return head.size() >= n && head.compare(0, n, magic, n) == 0; };
  if (starts("\xFF\xD8\xFF", 3)) return "image/jpeg";
  if (starts("\x89PNG", 4)) return "image/png";
  if (starts("GIF8", 4)) return "image/gif";
  if (starts("BM", 2)) return "image/bmp";
  if (starts("RIFF", 4) && head.size() >= 12 && head.compare(8, 4, "WAVE") == 0) return "audio/wav";
  return "";
}

} // namespace

std::string HtmlEscape(const std::string& text) {
  std::string out;
  out.reserve(text.size() + 16);
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default: out += c; break;
    }
  }
  return out;
}

struct AdminApp::Impl {
  explicit Impl(const AdminOptions& o)
      : options(o), store(o.content_dir, o.audit_log, o.server_log), operators(o.password_file) {}

  void Routes();
  // The session of a request, or false after answering it (a redirect to
  // the login page for a GET, a refusal for anything else).
  bool Authorised(const httplib::Request& req, httplib::Response& res, Session* session, bool posting);
  void Page(httplib::Response& res, const Session* session, const std::string& title, const std::string& body);
  std::string Who(const Session& session, const httplib::Request& req) const {
    return session.user + "@" + req.remote_addr;
  }
  static std::string TokenField(const Session& session) {
    return "<input type=\"hidden\" name=\"token\" value=\"" + session.csrf + "\">";
  }
  std::string QueueBody(const httplib::Request& req, const Session& session, const std::vector<std::string>& messages);
  std::string CommentsBody(const httplib::Request& req, const Session& session);
  std::string CategoriesBody(const Session& session, const std::string& message);
  std::string StatusBody();

  AdminOptions options;
  AdminStore store;
  Operators operators;
  httplib::Server http;
  int port = -1;
};

void AdminApp::Impl::Page(httplib::Response& res, const Session* session, const std::string& title,
                          const std::string& body) {
  std::string html = "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\"><title>" + HtmlEscape(title) +
                     " - Velmor server</title><link rel=\"stylesheet\" href=\"/style.css\"></head><body><header>"
                     "<span>Velmor server</span>";
  if (session) {
    html += "<a href=\"/queue\">Donations</a><a href=\"/comments\">Comments</a><a href=\"/categories\">Categories</a>"
            "<a href=\"/status\">Status</a><form method=\"post\" action=\"/logout\">" +
            TokenField(*session) + "<button>Log out " + HtmlEscape(session->user) + "</button></form>";
  }
  html += "</header><main><h1>" + HtmlEscape(title) + "</h1>" + body + "</main></body></html>\n";
  res.set_header("Cache-Control", "no-store");
  res.set_content(html, "text/html; charset=utf-8");
}

bool AdminApp::Impl::Authorised(const httplib::Request& req, httplib::Response& res, Session* session,
                                bool posting) {
  if (!operators.Find(CookieValue(req, SessionCookie), session)) {
    if (posting) {
      res.status = 403;
      res.set_content("Refused: not logged in.\n", "text/plain; charset=utf-8");
    } else {
      res.status = 303;
      res.set_header("Location", "/login");
    }
    return false;
  }
  if (posting && !SameSecret(req.get_param_value("token"), session->csrf)) {
    res.status = 403;
    res.set_content("Refused: the form's token is missing or wrong. Reload the page and try again.\n",
                    "text/plain; charset=utf-8");
    return false;
  }
  return true;
}

std::string AdminApp::Impl::QueueBody(const httplib::Request& req, const Session& session,
                                      const std::vector<std::string>& messages) {
  QueueFilter filter;
  std::string kind = req.get_param_value("kind");
  std::string category = req.get_param_value("category");
  DonationRef probe;
  if (ParseDonationId(kind + "/0/x", &probe)) {
    filter.type = probe.type;
    if (ParseDonationId(kind + "/" + category + "/x", &probe)) {
      filter.position = probe.position;
    }
  }
  std::size_t page_number = 0;
  std::string page_text = req.get_param_value("page");
  if (!page_text.empty() && page_text.size() < 7 && page_text.find_first_not_of("0123456789") == std::string::npos) {
    page_number = std::stoul(page_text);
  }
  QueuePage page = store.Queue(filter, page_number * QueuePageSize, QueuePageSize);

  std::string body;
  if (!messages.empty()) {
    body += "<div class=\"messages\" id=\"messages\">";
    for (const std::string& m : messages) {
      bool refused = m.compare(0, 4, "not ") == 0;
      body += std::string("<p") + (refused ? " class=\"refused\"" : "") + ">" + HtmlEscape(m) + "</p>";
    }
    body += "</div>";
  }
  // Filter: kind, then a category of that kind.
  body += "<form method=\"get\" action=\"/queue\" class=\"bar\"><label>Kind <select name=\"kind\">"
          "<option value=\"\">all</option>";
  for (int type : {ItemQuote, ItemPicture, ItemSound}) {
    std::string k = ItemKindName(type);
    body += "<option value=\"" + k + "\"" + (filter.type == type ? " selected" : "") + ">" + k + "</option>";
  }
  body += "</select></label>";
  if (filter.type) {
    body += "<label>Category <select name=\"category\"><option value=\"\">all</option>";
    auto names = store.Content().Categories(filter.type);
    for (std::size_t i = 0; i < names->size(); ++i) {
      body += "<option value=\"" + std::to_string(i) + "\"" +
              (filter.position == static_cast<int>(i) ? " selected" : "") + ">" + std::to_string(i) + ": " +
              HtmlEscape((*names)[i]) + "</option>";
    }
    body += "</select></label>";
  }
  body += "<button>Show</button><span id=\"total\">" + std::to_string(page.total) +
          " waiting</span></form>";

  body += "<form method=\"post\" action=\"/queue\">" + TokenField(session) +
          "<input type=\"hidden\" name=\"kind\" value=\"" + HtmlEscape(kind) +
          "\"><input type=\"hidden\" name=\"category\" value=\"" + HtmlEscape(category) +
          "\"><div class=\"bar\"><button name=\"action\" value=\"accept\" id=\"accept-selected\">Accept selected</button>"
          "<button name=\"action\" value=\"reject\" id=\"reject-selected\">Reject selected</button></div>"
          "<table id=\"queue\"><tr><th></th><th>Name</th><th>Category</th><th>Size</th><th>Client id</th>"
          "<th>Arrived</th><th>Donation</th><th></th></tr>";
  for (const QueueItem& item : page.items) {
    std::string id = item.ref.Id();
    std::string media = "/media?item=" + UrlEncode(id);
    std::string preview;
    if (item.ref.type == ItemPicture) {
      preview = "<img class=\"thumb\" src=\"" + HtmlEscape(media) + "\" alt=\"" + HtmlEscape(item.ref.name) + "\">";
    } else if (item.ref.type == ItemSound) {
      preview = "<audio controls preload=\"none\" src=\"" + HtmlEscape(media) + "\"></audio>";
    } else {
      std::string text;
      int fd = ::open(store.DonationPath(item.ref).c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
      if (fd >= 0) {
        text.resize(QuotePreview);
        ssize_t n = ::read(fd, &text[0], text.size());
        text.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
        ::close(fd);
      }
      preview = "<pre class=\"quote\">" + HtmlEscape(text) + (item.size > static_cast<int64_t>(QuotePreview) ? "\n[...]" : "") +
                "</pre>";
    }
    std::string client = HtmlEscape(item.client_id) +
                         (item.address.empty() ? "" : "<br><small>" + HtmlEscape(item.address) + "</small>");
    body += "<tr><td><input type=\"checkbox\" name=\"item\" value=\"" + HtmlEscape(id) + "\"></td><td class=\"name\">" +
            HtmlEscape(item.ref.name) + "</td><td>" + std::string(ItemKindName(item.ref.type)) + " " +
            std::to_string(item.ref.position) + ": " + HtmlEscape(item.category) + "</td><td>" + Size(item.size) +
            "</td><td>" + client + "</td><td>" + Time(item.arrived) + "</td><td>" + preview +
            "</td><td><button name=\"accept_one\" value=\"" + HtmlEscape(id) +
            "\">Accept</button> <button name=\"reject_one\" value=\"" + HtmlEscape(id) + "\">Reject</button></td></tr>";
  }
  body += "</table></form>";
  std::string base = "/queue?kind=" + UrlEncode(kind) + "&category=" + UrlEncode(category) + "&page=";
  body += "<p class=\"bar\">";
  if (page_number > 0) {
    body += "<a href=\"" + HtmlEscape(base + std::to_string(page_number - 1)) + "\">newer</a>";
  }
  std::size_t pages = (page.total + QueuePageSize - 1) / QueuePageSize;
  body += "page " + std::to_string(page_number + 1) + " of " + std::to_string(std::max<std::size_t>(pages, 1));
  if ((page_number + 1) * QueuePageSize < page.total) {
    body += "<a href=\"" + HtmlEscape(base + std::to_string(page_number + 1)) + "\">older</a>";
  }
  body += "</p>";
  return body;
}

std::string AdminApp::Impl::CommentsBody(const httplib::Request& req, const Session& session) {
  std::size_t page_number = 0;
  std::string page_text = req.get_param_value("page");
  if (!page_text.empty() && page_text.size() < 7 && page_text.find_first_not_of("0123456789") == std::string::npos) {
    page_number = std::stoul(page_text);
  }
  std::size_t total = 0;
  std::vector<CommentItem> comments = store.Comments(page_number * CommentPageSize, CommentPageSize, &total);
  std::string body = "<p>" + std::to_string(total) + " comments, newest first; unread ones in bold.</p>"
                     "<table id=\"comments\"><tr><th>Client id</th><th>Arrived</th><th>Size</th><th></th></tr>";
  for (const CommentItem& c : comments) {
    body += std::string("<tr") + (c.read ? "" : " class=\"unread\"") + "><td>" + HtmlEscape(c.client_id) +
            "</td><td>" + Time(c.arrived) + "</td><td>" + Size(c.size) +
            "</td><td><form method=\"post\" action=\"/comments/open\">" + TokenField(session) +
            "<input type=\"hidden\" name=\"name\" value=\"" + HtmlEscape(c.name) + "\"><button>Open</button></form></td></tr>";
  }
  body += "</table><p class=\"bar\">";
  if (page_number > 0) {
    body += "<a href=\"/comments?page=" + std::to_string(page_number - 1) + "\">newer</a>";
  }
  if ((page_number + 1) * CommentPageSize < total) {
    body += "<a href=\"/comments?page=" + std::to_string(page_number + 1) + "\">older</a>";
  }
  return body + "</p>";
}

std::string AdminApp::Impl::CategoriesBody(const Session& session, const std::string& message) {
  std::string body;
  if (!message.empty()) {
    body += "<div class=\"messages\" id=\"messages\"><p>" + HtmlEscape(message) + "</p></div>";
  }
  body += "<p class=\"note\">Clients remember their choices by a category's position, so categories are "
          "never moved or removed here: doing so would silently change what every client that chose them "
          "receives. New categories go to the end of their list, under the same rules as a client's add "
          "(2 to 45 characters, no duplicates, at most 1,000 a list).</p>";
  for (int type : {ItemQuote, ItemPicture, ItemSound}) {
    auto names = store.Content().Categories(type);
    body += "<div class=\"panel\"><h2>" + std::string(ItemKindName(type)) + " categories</h2><table><tr><th>Position</th><th>Name</th></tr>";
    for (std::size_t i = 0; i < names->size(); ++i) {
      body += "<tr><td>" + std::to_string(i) + "</td><td>" + HtmlEscape((*names)[i]) + "</td></tr>";
    }
    body += "</table><form method=\"post\" action=\"/categories\" class=\"bar\">" + TokenField(session) +
            "<input type=\"hidden\" name=\"type\" value=\"" + std::to_string(type) +
            "\"><input name=\"name\" maxlength=\"45\" placeholder=\"new " + ItemKindName(type) +
            " category\"><button>Add</button></form></div>";
  }
  return body;
}

std::string AdminApp::Impl::StatusBody() {
  AdminStatus status = store.Status();
  std::string body = "<div class=\"panel\" id=\"status\"><h2>Waiting and kept</h2><table>";
  auto quota = [&](const Usage& used, const Quota& q) {
    std::string text = Size(used.bytes) + " in " + std::to_string(used.files) + " files";
    if (!status.quota_known) {
      return text + " (quota unknown: the server has not started over this directory)";
    }
    text += "; quota ";
    text += q.bytes > 0 ? Size(q.bytes) : std::string("none");
    text += " / ";
    text += q.files > 0 ? std::to_string(q.files) + " files" : std::string("no file limit");
    return text;
  };
  body += "<tr><th>Donations waiting</th><td>" + quota(status.donations, status.donation_quota) + "</td></tr>";
  body += "<tr><th>Comments</th><td>" + quota(status.comments, status.comment_quota) + "</td></tr></table></div>";
  body += "<div class=\"panel\"><h2>Exchanges</h2>";
  if (!status.exchanges.log_readable) {
    body += "<p>No server log to count from (start velmor-admin with --server-log FILE, the server with --log FILE).</p>";
  } else {
    body += "<table><tr><th>Type</th><th>Last hour</th><th>Last day</th></tr>";
    for (const auto& entry : status.exchanges.last_day) {
      auto hour = status.exchanges.last_hour.find(entry.first);
      body += "<tr><td>" + HtmlEscape(entry.first) + "</td><td>" +
              std::to_string(hour == status.exchanges.last_hour.end() ? 0 : hour->second) + "</td><td>" +
              std::to_string(entry.second) + "</td></tr>";
    }
    body += "</table>";
  }
  return body + "</div>";
}

void AdminApp::Impl::Routes() {
  http.set_default_headers({{"Content-Security-Policy", Policy},
                            {"X-Content-Type-Options", "nosniff"},
                            {"Referrer-Policy", "no-referrer"},
                            {"X-Frame-Options", "DENY"}});
  http.set_payload_max_length(1024 * 1024);

  http.Get("/style.css", [](const httplib::Request&, httplib::Response& res) { res.set_content(Style, "text/css"); });

  http.Get("/login", [this](const httplib::Request& req, httplib::Response& res) {
    // The form carries a token that must match a cookie set with it, so
    // that another site cannot log the browser in under its own name.
    std::string token = RandomToken(16);
    res.set_header("Set-Cookie", std::string(LoginCookie) + "=" + token + "; Path=/login; HttpOnly; SameSite=Strict");
    std::string body = req.has_param("failed") ? "<p class=\"refused\">Wrong name or password.</p>" : "";
    body += "<form method=\"post\" action=\"/login\" class=\"panel\"><input type=\"hidden\" name=\"token\" value=\"" +
            token + "\"><p><label>Name <input name=\"user\" id=\"user\" value=\"admin\"></label></p>"
            "<p><label>Password <input type=\"password\" name=\"password\" id=\"password\"></label></p>"
            "<p><button id=\"login\">Log in</button></p></form>";
    Page(res, nullptr, "Log in", body);
  });
  http.Post("/login", [this](const httplib::Request& req, httplib::Response& res) {
    std::string cookie = CookieValue(req, LoginCookie);
    if (cookie.empty() || !SameSecret(cookie, req.get_param_value("token"))) {
      res.status = 403;
      res.set_content("Refused: the login form's token is missing or wrong.\n", "text/plain; charset=utf-8");
      return;
    }
    std::string user = req.get_param_value("user");
    std::string id = operators.LogIn(user, req.get_param_value("password"));
    res.status = 303;
    if (id.empty()) {
      store.Audit(user + "@" + req.remote_addr, "login refused");
      res.set_header("Location", "/login?failed=1");
      return;
    }
    res.set_header("Set-Cookie", std::string(SessionCookie) + "=" + id + "; Path=/; HttpOnly; SameSite=Strict");
    res.set_header("Location", "/queue");
  });
  http.Post("/logout", [this](const httplib::Request& req, httplib::Response& res) {
    Session session;
    if (Authorised(req, res, &session, true)) {
      operators.LogOut(CookieValue(req, SessionCookie));
      res.status = 303;
      res.set_header("Set-Cookie", std::string(SessionCookie) + "=; Path=/; HttpOnly; SameSite=Strict; Max-Age=0");
      res.set_header("Location", "/login");
    }
  });
  http.Get("/", [](const httplib::Request&, httplib::Response& res) {
    res.status = 303;
    res.set_header("Location", "/queue");
  });
  http.Get("/queue", [this](const httplib::Request& req, httplib::Response& res) {
    Session session;
    if (Authorised(req, res, &session, false)) {
      Page(res, &session, "Donations", QueueBody(req, session, {}));
    }
  });
  http.Post("/queue", [this](const httplib::Request& req, httplib::Response& res) {
    Session session;
    if (!Authorised(req, res, &session, true)) {
      return;
    }
    bool accept = req.has_param("accept_one") || req.get_param_value("action") == "accept";
    std::vector<std::string> ids;
    if (req.has_param("accept_one")) {
      ids.push_back(req.get_param_value("accept_one"));
    } else if (req.has_param("reject_one")) {
      ids.push_back(req.get_param_value("reject_one"));
    } else {
      for (std::size_t i = 0; i < req.get_param_value_count("item"); ++i) {
        ids.push_back(req.get_param_value("item", i));
      }
    }
    std::vector<DonationRef> refs;
    std::vector<std::string> messages;
    for (const std::string& id : ids) {
      DonationRef ref;
      if (ParseDonationId(id, &ref)) {
        refs.push_back(ref);
      } else {
        messages.push_back("not done: \"" + id + "\" is not a donation");
      }
    }
    if (refs.empty() && messages.empty()) {
      messages.push_back("not done: nothing was selected");
    }
    if (accept) {
      store.Accept(refs, Who(session, req), &messages);
    } else {
      store.Reject(refs, Who(session, req), &messages);
    }
    Page(res, &session, "Donations", QueueBody(req, session, messages));
  });
  http.Get("/media", [this](const httplib::Request& req, httplib::Response& res) {
    Session session;
    if (!Authorised(req, res, &session, false)) {
      return;
    }
    DonationRef ref;
    std::string bytes;
    int fd = -1;
    if (ParseDonationId(req.get_param_value("item"), &ref) && ref.type != ItemQuote) {
      fd = ::open(store.DonationPath(ref).c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    }
    struct stat st;
    if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
      if (fd >= 0) {
        ::close(fd);
      }
      res.status = 404;
      res.set_content("No such donation.\n", "text/plain; charset=utf-8");
      return;
    }
    bytes.resize(static_cast<std::size_t>(st.st_size));
    std::size_t got = 0;
    while (got < bytes.size()) {
      ssize_t n = ::read(fd, &bytes[got], bytes.size() - got);
      if (n <= 0) {
        break;
      }
      got += static_cast<std::size_t>(n);
    }
    ::close(fd);
    bytes.resize(got);
    std::string type = MediaType(bytes.substr(0, 16));
    if (type.empty()) {
      // Not something the page shows: offered as a download, never run.
      type = "application/octet-stream";
      res.set_header("Content-Disposition", "attachment");
    }
    res.set_header("Cache-Control", "private, no-store");
    res.set_content(std::move(bytes), type.c_str());
  });
  http.Get("/comments", [this](const httplib::Request& req, httplib::Response& res) {
    Session session;
    if (Authorised(req, res, &session, false)) {
      Page(res, &session, "Comments", CommentsBody(req, session));
    }
  });
  http.Post("/comments/open", [this](const httplib::Request& req, httplib::Response& res) {
    Session session;
    if (!Authorised(req, res, &session, true)) {
      return;
    }
    std::string text;
    if (!store.OpenComment(req.get_param_value("name"), &text)) {
      res.status = 404;
      Page(res, &session, "Comment", "<p class=\"refused\">There is no such comment.</p>");
      return;
    }
    Page(res, &session, "Comment",
         "<pre class=\"panel\" id=\"comment\">" + HtmlEscape(text) + "</pre><p><a href=\"/comments\">All comments</a></p>");
  });
  http.Get("/categories", [this](const httplib::Request& req, httplib::Response& res) {
    Session session;
    if (Authorised(req, res, &session, false)) {
      Page(res, &session, "Categories", CategoriesBody(session, ""));
    }
  });
  http.Post("/categories", [this](const httplib::Request& req, httplib::Response& res) {
    Session session;
    if (!Authorised(req, res, &session, true)) {
      return;
    }
    std::string type_text = req.get_param_value("type");
    int type = type_text.size() == 1 ? type_text[0] - '0' : 0;
    std::string name = req.get_param_value("name");
    std::string why;
    int code = store.AddCategory(type, name, Who(session, req), &why);
    std::string message = code == 0 ? "added \"" + name + "\"" : "not added: \"" + name + "\": " + why;
    Page(res, &session, "Categories", CategoriesBody(session, message));
  });
  http.Get("/status", [this](const httplib::Request& req, httplib::Response& res) {
    Session session;
    if (Authorised(req, res, &session, false)) {
      Page(res, &session, "Status", StatusBody());
    }
  });
}

AdminApp::AdminApp(const AdminOptions& options) : impl_(std::make_unique<Impl>(options)) {}

AdminApp::~AdminApp() = default;

bool AdminApp::Open(std::string* error) {
  if (!impl_->operators.Load(error)) {
    return false;
  }
  struct stat st;
  if (::stat(impl_->options.content_dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    *error = "content directory " + impl_->options.content_dir + " does not exist";
    return false;
  }
  impl_->Routes();
  int threads = impl_->options.threads;
  impl_->http.new_task_queue = [threads] { return new httplib::ThreadPool(static_cast<std::size_t>(threads)); };
  if (impl_->options.port == 0) {
    impl_->port = impl_->http.bind_to_any_port(impl_->options.bind_address);
  } else if (impl_->http.bind_to_port(impl_->options.bind_address, impl_->options.port)) {
    impl_->port = impl_->options.port;
  }
  if (impl_->port <= 0) {
    *error = "cannot listen on " + impl_->options.bind_address + ":" + std::to_string(impl_->options.port);
    return false;
  }
  if (!impl_->options.ready_file.empty()) {
    std::string temp = impl_->options.ready_file + ".tmp";
    std::FILE* f = std::fopen(temp.c_str(), "w");
    if (!f || std::fprintf(f, "%d\n", impl_->port) < 0 || std::fclose(f) != 0 ||
        std::rename(temp.c_str(), impl_->options.ready_file.c_str()) != 0) {
      *error = "cannot write " + impl_->options.ready_file;
      return false;
    }
  }
  return true;
}

int AdminApp::Port() const {
  return impl_->port;
}

void AdminApp::Run() {
  impl_->http.listen_after_bind();
}

void AdminApp::Stop() {
  impl_->http.stop();
}
