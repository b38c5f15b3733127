#include "server/admin_app.h"

#include "server/admin_auth.h"
#include "server/admin_store.h"
#include "server/atomic_file.h"
#include "server/server_log.h"
#include "net/request_record.h"

#include <httplib.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <set>

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
.note{color:#555;max-width:720px}.stale{color:#a00})";

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

// Page parts shared by several pages.
namespace {

std::string Hidden(const std::string& name, const std::string& value) {
  return "<input type=\"hidden\" name=\"" + name + "\" value=\"" + HtmlEscape(value) + "\">";
}

std::string TokenField(const Session& session) {
  return Hidden("token", session.csrf);
}

std::string Option(const std::string& value, const std::string& label, bool selected) {
  return "<option value=\"" + HtmlEscape(value) + "\"" + (selected ? " selected" : "") + ">" + HtmlEscape(label) +
         "</option>";
}

std::string MessagesBox(const std::vector<Outcome>& outcomes) {
  if (outcomes.empty()) {
    return "";
  }
  std::string box = "<div class=\"messages\" id=\"messages\">";
  for (const Outcome& o : outcomes) {
    box += std::string("<p") + (o.done ? "" : " class=\"refused\"") + ">" + HtmlEscape(o.text) + "</p>";
  }
  return box + "</div>";
}

// "newer", "page N of M", "older" links; base ends in "page=".
std::string Pager(const std::string& base, std::size_t page_number, std::size_t total, std::size_t page_size) {
  std::string bar = "<p class=\"bar\">";
  if (page_number > 0) {
    bar += "<a href=\"" + HtmlEscape(base + std::to_string(page_number - 1)) + "\">newer</a>";
  }
  std::size_t pages = std::max<std::size_t>((total + page_size - 1) / page_size, 1);
  bar += "page " + std::to_string(page_number + 1) + " of " + std::to_string(pages);
  if ((page_number + 1) * page_size < total) {
    bar += "<a href=\"" + HtmlEscape(base + std::to_string(page_number + 1)) + "\">older</a>";
  }
  return bar + "</p>";
}

std::size_t PageNumber(const httplib::Request& req) {
  std::string text = req.get_param_value("page");
  if (!text.empty() && text.size() < 7 && text.find_first_not_of("0123456789") == std::string::npos) {
    return std::stoul(text);
  }
  return 0;
}

void Redirect(httplib::Response& res, const std::string& location) {
  res.status = 303;
  res.set_header("Location", location);
}

void Refuse(httplib::Response& res, int status, const std::string& why) {
  res.status = status;
  res.set_content(why + "\n", "text/plain; charset=utf-8");
}

} // namespace

struct AdminApp::Impl {
  explicit Impl(const AdminOptions& o)
      : options(o), store(o.content_dir, o.audit_log), operators(o.password_file) {}

  // Who may call a route: anyone, an operator looking, or an operator
  // changing something (a POST carrying the session's token).
  enum class Access { Anyone, Look, Change };
  using Handler = void (Impl::*)(const httplib::Request&, httplib::Response&, const Session&);
  httplib::Server::Handler Route(Access access, Handler handler);
  void Routes();
  // The session of a request, or false after answering it (a redirect to
  // the login page for a GET, a refusal for anything else).
  bool Authorised(const httplib::Request& req, httplib::Response& res, Session* session, Access access);
  void Page(httplib::Response& res, const Session* session, const std::string& title, const std::string& body);
  std::string Who(const Session& session, const httplib::Request& req) const {
    return session.user + "@" + req.remote_addr;
  }

  // One handler a route.
  void LoginForm(const httplib::Request& req, httplib::Response& res, const Session&);
  void LogIn(const httplib::Request& req, httplib::Response& res, const Session&);
  void LogOut(const httplib::Request& req, httplib::Response& res, const Session& session);
  void ShowQueue(const httplib::Request& req, httplib::Response& res, const Session& session);
  void ChangeQueue(const httplib::Request& req, httplib::Response& res, const Session& session);
  void Media(const httplib::Request& req, httplib::Response& res, const Session& session);
  void ShowComments(const httplib::Request& req, httplib::Response& res, const Session& session);
  void OpenComment(const httplib::Request& req, httplib::Response& res, const Session& session);
  void ShowCategories(const httplib::Request& req, httplib::Response& res, const Session& session);
  void AddCategory(const httplib::Request& req, httplib::Response& res, const Session& session);
  void ShowStatus(const httplib::Request& req, httplib::Response& res, const Session& session);

  std::string QueueBody(const httplib::Request& req, const Session& session, const std::vector<Outcome>& outcomes);
  std::string QueueRow(const QueueItem& item);
  std::string CategoriesBody(const Session& session, const std::vector<Outcome>& outcomes);

  AdminOptions options;
  AdminStore store;
  Operators operators;
  LoginThrottle throttle;
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
                                Access access) {
  if (access == Access::Anyone) {
    return true;
  }
  if (!operators.Find(CookieValue(req, SessionCookie), session)) {
    if (access == Access::Change) {
      Refuse(res, 403, "Refused: not logged in.");
    } else {
      Redirect(res, "/login");
    }
    return false;
  }
  if (access == Access::Change && !SameSecret(req.get_param_value("token"), session->csrf)) {
    Refuse(res, 403, "Refused: the form's token is missing or wrong. Reload the page and try again.");
    return false;
  }
  return true;
}

httplib::Server::Handler AdminApp::Impl::Route(Access access, Handler handler) {
  return [this, access, handler](const httplib::Request& req, httplib::Response& res) {
    Session session;
    if (Authorised(req, res, &session, access)) {
      (this->*handler)(req, res, session);
    }
  };
}

void AdminApp::Impl::LoginForm(const httplib::Request& req, httplib::Response& res, const Session&) {
  // The form carries a token that must match a cookie set with it, so
  // that another site cannot log the browser in under its own name.
  std::string token = RandomToken(16);
  res.set_header("Set-Cookie", std::string(LoginCookie) + "=" + token + "; Path=/login; HttpOnly; SameSite=Strict");
  std::string body;
  std::string wait = req.get_param_value("wait");
  if (!wait.empty() && wait.size() < 5 && wait.find_first_not_of("0123456789") == std::string::npos) {
    body = "<p class=\"refused\">Too many failed logins: try again in " + wait + " seconds.</p>";
  } else if (req.has_param("failed")) {
    body = "<p class=\"refused\">Wrong name or password.</p>";
  }
  body += "<form method=\"post\" action=\"/login\" class=\"panel\">" + Hidden("token", token) +
          "<p><label>Name <input name=\"user\" id=\"user\" value=\"admin\"></label></p>"
          "<p><label>Password <input type=\"password\" name=\"password\" id=\"password\"></label></p>"
          "<p><button id=\"login\">Log in</button></p></form>";
  Page(res, nullptr, "Log in", body);
}

void AdminApp::Impl::LogIn(const httplib::Request& req, httplib::Response& res, const Session&) {
  std::string cookie = CookieValue(req, LoginCookie);
  if (cookie.empty() || !SameSecret(cookie, req.get_param_value("token"))) {
    Refuse(res, 403, "Refused: the login form's token is missing or wrong.");
    return;
  }
  std::string user = req.get_param_value("user");
  std::string who = user + "@" + req.remote_addr;
  auto now = LoginThrottle::Clock::now();
  // While an address or a name waits, the password is not even looked at:
  // guessing goes no faster than the waits allow.
  int64_t wait = throttle.WaitSeconds(req.remote_addr, user, now);
  if (wait > 0) {
    store.Audit(who, "login refused: too many failed logins, " + std::to_string(wait) + " s to wait");
    Redirect(res, "/login?wait=" + std::to_string(wait));
    return;
  }
  std::string id = operators.LogIn(user, req.get_param_value("password"));
  if (id.empty()) {
    throttle.Failed(req.remote_addr, user, now);
    store.Audit(who, "login refused");
    Redirect(res, "/login?failed=1");
    return;
  }
  throttle.Succeeded(req.remote_addr, user);
  store.Audit(who, "login");
  res.set_header("Set-Cookie", std::string(SessionCookie) + "=" + id + "; Path=/; HttpOnly; SameSite=Strict");
  Redirect(res, "/queue");
}

void AdminApp::Impl::LogOut(const httplib::Request& req, httplib::Response& res, const Session&) {
  operators.LogOut(CookieValue(req, SessionCookie));
  res.set_header("Set-Cookie", std::string(SessionCookie) + "=; Path=/; HttpOnly; SameSite=Strict; Max-Age=0");
  Redirect(res, "/login");
}

std::string AdminApp::Impl::QueueRow(const QueueItem& item) {
  std::string id = item.ref.Id();
  std::string media = "/media?item=" + UrlEncode(id);
  std::string preview;
  if (item.ref.type == ItemPicture) {
    preview = "<img class=\"thumb\" src=\"" + HtmlEscape(media) + "\" alt=\"" + HtmlEscape(item.ref.name) + "\">";
  } else if (item.ref.type == ItemSound) {
    preview = "<audio controls preload=\"none\" src=\"" + HtmlEscape(media) + "\"></audio>";
  } else {
    std::string head;
    ReadFile(store.DonationPath(item.ref), &head, QuotePreview);
    preview = "<pre class=\"quote\">" + HtmlEscape(head) +
              (item.size > static_cast<int64_t>(QuotePreview) ? "\n[...]" : "") + "</pre>";
  }
  std::string client = HtmlEscape(item.client_id) +
                       (item.address.empty() ? "" : "<br><small>" + HtmlEscape(item.address) + "</small>");
  return "<tr><td><input type=\"checkbox\" name=\"item\" value=\"" + HtmlEscape(id) + "\"></td><td class=\"name\">" +
         HtmlEscape(item.ref.name) + "</td><td>" + std::string(ItemKindName(item.ref.type)) + " " +
         std::to_string(item.ref.position) + ": " + HtmlEscape(item.category) + "</td><td>" + Size(item.size) +
         "</td><td>" + client + "</td><td>" + Time(item.arrived) + "</td><td>" + preview +
         "</td><td><button name=\"accept_one\" value=\"" + HtmlEscape(id) +
         "\">Accept</button> <button name=\"reject_one\" value=\"" + HtmlEscape(id) + "\">Reject</button></td></tr>";
}

std::string AdminApp::Impl::QueueBody(const httplib::Request& req, const Session& session,
                                      const std::vector<Outcome>& outcomes) {
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
  std::size_t page_number = PageNumber(req);
  QueuePage page = store.Queue(filter, page_number * QueuePageSize, QueuePageSize);

  // Filter: kind, then a category of that kind.
  std::string body = MessagesBox(outcomes) +
                     "<form method=\"get\" action=\"/queue\" class=\"bar\"><label>Kind <select name=\"kind\">" +
                     Option("", "all", false);
  for (int type : {ItemQuote, ItemPicture, ItemSound}) {
    body += Option(ItemKindName(type), ItemKindName(type), filter.type == type);
  }
  body += "</select></label>";
  if (filter.type) {
    body += "<label>Category <select name=\"category\">" + Option("", "all", false);
    auto names = store.Content().Categories(filter.type);
    for (std::size_t i = 0; i < names->size(); ++i) {
      body += Option(std::to_string(i), std::to_string(i) + ": " + (*names)[i], filter.position == static_cast<int>(i));
    }
    body += "</select></label>";
  }
  body += "<button>Show</button><span id=\"total\">" + std::to_string(page.total) + " waiting</span></form>";

  body += "<form method=\"post\" action=\"/queue\">" + TokenField(session) + Hidden("kind", kind) +
          Hidden("category", category) +
          "<div class=\"bar\"><button name=\"action\" value=\"accept\" id=\"accept-selected\">Accept selected</button>"
          "<button name=\"action\" value=\"reject\" id=\"reject-selected\">Reject selected</button></div>"
          "<table id=\"queue\"><tr><th></th><th>Name</th><th>Category</th><th>Size</th><th>Client id</th>"
          "<th>Arrived</th><th>Donation</th><th></th></tr>";
  for (const QueueItem& item : page.items) {
    body += QueueRow(item);
  }
  body += "</table></form>";
  return body + Pager("/queue?kind=" + UrlEncode(kind) + "&category=" + UrlEncode(category) + "&page=", page_number,
                      page.total, QueuePageSize);
}

void AdminApp::Impl::ShowQueue(const httplib::Request& req, httplib::Response& res, const Session& session) {
  Page(res, &session, "Donations", QueueBody(req, session, {}));
}

void AdminApp::Impl::ChangeQueue(const httplib::Request& req, httplib::Response& res, const Session& session) {
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
  std::vector<Outcome> outcomes;
  for (const std::string& id : ids) {
    DonationRef ref;
    if (ParseDonationId(id, &ref)) {
      refs.push_back(ref);
    } else {
      outcomes.push_back(Outcome{false, "not done: \"" + id + "\" is not a donation"});
    }
  }
  if (refs.empty() && outcomes.empty()) {
    outcomes.push_back(Outcome{false, "not done: nothing was selected"});
  }
  if (accept) {
    store.Accept(refs, Who(session, req), &outcomes);
  } else {
    store.Reject(refs, Who(session, req), &outcomes);
  }
  Page(res, &session, "Donations", QueueBody(req, session, outcomes));
}

void AdminApp::Impl::Media(const httplib::Request& req, httplib::Response& res, const Session&) {
  DonationRef ref;
  std::string bytes;
  if (!ParseDonationId(req.get_param_value("item"), &ref) || ref.type == ItemQuote ||
      !ReadFile(store.DonationPath(ref), &bytes, INT64_MAX)) {
    Refuse(res, 404, "No such donation.");
    return;
  }
  std::string type = MediaType(bytes.substr(0, 16));
  if (type.empty()) {
    // Not something the page shows: offered as a download, never run.
    type = "application/octet-stream";
    res.set_header("Content-Disposition", "attachment");
  }
  res.set_header("Cache-Control", "private, no-store");
  res.set_content(std::move(bytes), type.c_str());
}

void AdminApp::Impl::ShowComments(const httplib::Request& req, httplib::Response& res, const Session& session) {
  std::size_t page_number = PageNumber(req);
  std::size_t total = 0;
  std::vector<CommentItem> comments = store.Comments(page_number * CommentPageSize, CommentPageSize, &total);
  std::string body = "<p>" + std::to_string(total) + " comments, newest first; unread ones in bold.</p>"
                     "<table id=\"comments\"><tr><th>Client id</th><th>Arrived</th><th>Size</th><th></th></tr>";
  for (const CommentItem& c : comments) {
    body += std::string("<tr") + (c.read ? "" : " class=\"unread\"") + "><td>" + HtmlEscape(c.client_id) +
            "</td><td>" + Time(c.arrived) + "</td><td>" + Size(c.size) +
            "</td><td><form method=\"post\" action=\"/comments/open\">" + TokenField(session) + Hidden("name", c.name) +
            "<button>Open</button></form></td></tr>";
  }
  body += "</table>" + Pager("/comments?page=", page_number, total, CommentPageSize);
  Page(res, &session, "Comments", body);
}

void AdminApp::Impl::OpenComment(const httplib::Request& req, httplib::Response& res, const Session& session) {
  std::string text;
  if (!store.OpenComment(req.get_param_value("name"), &text)) {
    res.status = 404;
    Page(res, &session, "Comment", "<p class=\"refused\">There is no such comment.</p>");
    return;
  }
  Page(res, &session, "Comment",
       "<pre class=\"panel\" id=\"comment\">" + HtmlEscape(text) + "</pre><p><a href=\"/comments\">All comments</a></p>");
}

std::string AdminApp::Impl::CategoriesBody(const Session& session, const std::vector<Outcome>& outcomes) {
  std::string body = MessagesBox(outcomes);
  body += "<p class=\"note\">Clients remember their choices by a category's position, so categories are "
          "never moved or removed here: doing so would silently change what every client that chose them "
          "receives. New categories go to the end of their list, under the same rules as a client's add "
          "(2 to 45 characters, no duplicates, at most 1,000 a list).</p>";
  for (int type : {ItemQuote, ItemPicture, ItemSound}) {
    auto names = store.Content().Categories(type);
    body += "<div class=\"panel\"><h2>" + std::string(ItemKindName(type)) +
            " categories</h2><table><tr><th>Position</th><th>Name</th></tr>";
    for (std::size_t i = 0; i < names->size(); ++i) {
      body += "<tr><td>" + std::to_string(i) + "</td><td>" + HtmlEscape((*names)[i]) + "</td></tr>";
    }
    body += "</table><form method=\"post\" action=\"/categories\" class=\"bar\">" + TokenField(session) +
            Hidden("type", std::to_string(type)) + "<input name=\"name\" maxlength=\"45\" placeholder=\"new " +
            ItemKindName(type) + " category\"><button>Add</button></form></div>";
  }
  return body;
}

void AdminApp::Impl::ShowCategories(const httplib::Request&, httplib::Response& res, const Session& session) {
  Page(res, &session, "Categories", CategoriesBody(session, {}));
}

void AdminApp::Impl::AddCategory(const httplib::Request& req, httplib::Response& res, const Session& session) {
  std::string type_text = req.get_param_value("type");
  int type = type_text.size() == 1 ? type_text[0] - '0' : 0;
  std::string name = req.get_param_value("name");
  std::string why;
  bool added = store.AddCategory(type, name, Who(session, req), &why) == ResponseAccepted;
  Outcome outcome{added, added ? "added \"" + name + "\"" : "not added: \"" + name + "\": " + why};
  Page(res, &session, "Categories", CategoriesBody(session, {outcome}));
}

void AdminApp::Impl::ShowStatus(const httplib::Request&, httplib::Response& res, const Session& session) {
  int64_t now = static_cast<int64_t>(std::time(nullptr));
  AdminStatus status = store.Status(now);
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
  if (status.instances.empty()) {
    body += "<p>No server instance has written its counters into this directory yet.</p></div>";
    Page(res, &session, "Status", body);
    return;
  }
  // One column an instance and one for their sum; a row a figure.
  std::set<int> codes;
  for (const auto& code : status.total.codes) {
    codes.insert(code.first);
  }
  std::vector<const InstanceCounters*> columns;
  for (const InstanceCounters& counters : status.instances) {
    columns.push_back(&counters);
  }
  columns.push_back(&status.total);
  body += "<table id=\"exchanges\"><tr><th></th>";
  for (const InstanceCounters* c : columns) {
    body += c == &status.total ? std::string("<th>All instances</th>")
                               : "<th class=\"" + std::string(c->stale ? "stale" : "live") + "\">" +
                                     HtmlEscape(c->instance) + "</th>";
  }
  body += "</tr><tr><th>State</th>";
  for (const InstanceCounters* c : columns) {
    std::string state = c == &status.total ? ""
                        : c->stale ? "idle or stopped: no exchange for " + std::to_string(now - c->updated) + " s"
                                   : "serving since " + Time(c->started);
    body += "<td>" + state + "</td>";
  }
  auto row = [&](const std::string& label, auto figure) {
    body += "</tr><tr><th>" + label + "</th>";
    for (const InstanceCounters* c : columns) {
      body += "<td>" + std::to_string(figure(*c)) + "</td>";
    }
  };
  row("Exchanges", [](const InstanceCounters& c) { return c.exchanges; });
  row("Failed", [](const InstanceCounters& c) { return c.failed; });
  for (int code : codes) {
    row(std::string(RequestTypeName(code)) + " (" + std::to_string(code) + ")", [code](const InstanceCounters& c) {
      auto it = c.codes.find(code);
      return it == c.codes.end() ? int64_t(0) : it->second;
    });
  }
  body += "</tr></table><p class=\"note\">Counted by each instance since it started; a stopped instance's "
          "last figures stay in the sum until its file in .stats/ is removed.</p></div>";
  Page(res, &session, "Status", body);
}

void AdminApp::Impl::Routes() {
  http.set_default_headers({{"Content-Security-Policy", Policy},
                            {"X-Content-Type-Options", "nosniff"},
                            {"Referrer-Policy", "no-referrer"},
                            {"X-Frame-Options", "DENY"}});
  http.set_payload_max_length(1024 * 1024);
  http.Get("/style.css", [](const httplib::Request&, httplib::Response& res) { res.set_content(Style, "text/css"); });
  http.Get("/", [](const httplib::Request&, httplib::Response& res) { Redirect(res, "/queue"); });
  http.Get("/login", Route(Access::Anyone, &Impl::LoginForm));
  http.Post("/login", Route(Access::Anyone, &Impl::LogIn));
  http.Post("/logout", Route(Access::Change, &Impl::LogOut));
  http.Get("/queue", Route(Access::Look, &Impl::ShowQueue));
  http.Post("/queue", Route(Access::Change, &Impl::ChangeQueue));
  http.Get("/media", Route(Access::Look, &Impl::Media));
  http.Get("/comments", Route(Access::Look, &Impl::ShowComments));
  http.Post("/comments/open", Route(Access::Change, &Impl::OpenComment));
  http.Get("/categories", Route(Access::Look, &Impl::ShowCategories));
  http.Post("/categories", Route(Access::Change, &Impl::AddCategory));
  http.Get("/status", Route(Access::Look, &Impl::ShowStatus));
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
    std::string why;
    if (!WriteFileAtomically(impl_->options.ready_file, std::to_string(impl_->port) + "\n", &why)) {
      *error = why;
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
