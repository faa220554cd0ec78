// Who may talk to the view, and the headers of every answer: one place that
// every request and every answer passes through.
//
// A request is answered only when:
// - its Host names this server (on loopback; beyond it, any Host will do,
//   since the token below is needed there),
// - it is not a cross-site request: a `Sec-Fetch-Site` other than
//   `same-origin` or `none`, or an `Origin` other than this server's, is
//   refused, but for a top-level navigation to the page itself (`GET /`),
//   so that a link to a point of the view from anywhere still opens it,
// - and it carries the token, in its query (`?token=...`, which sets a
//   cookie) or in that cookie; but for a connection over loopback from a
//   process of the monitor's own user, which needs none.
#pragma once

#include <boost/beast/http.hpp>
#include <optional>
#include <string>
#include <vector>

namespace http = boost::beast::http;

using Request = http::request<http::empty_body>;

struct Refusal {
  http::status status;
  std::string text;
};

class Guard {
 public:
  // For a server bound to `address`:`port`; `loopback` says whether that
  // is a loopback address. A random token is made either way.
  Guard(const std::string& address, unsigned short port, bool loopback);

  // Why the request is refused, or nothing. `own_user`: the connection was
  // found, when accepted, to come from a process of the monitor's own user.
  std::optional<Refusal> Check(const Request& request, bool own_user) const;
  // The cookie to set on the answer to `request`, when it brought the token in its query.
  std::string CookieFor(const Request& request) const;
  const std::string& token() const { return token_; }
  bool loopback() const { return loopback_; }

 private:
  bool HasToken(const Request& request) const;

  std::vector<std::string> hosts_;  // Host values that name this server; empty: any
  std::string token_;
  std::string cookie_;  // the cookie's name, with the port: two monitors on one host keep theirs apart
  bool loopback_;
};

// The headers every answer carries, the stream's and the page's included.
template <class Fields>
void Secure(Fields& fields) {
  fields.set("Content-Security-Policy",
             "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self'; connect-src 'self'; "
             "base-uri 'none'; form-action 'none'; frame-ancestors 'none'");
  fields.set("X-Content-Type-Options", "nosniff");
  fields.set("Cross-Origin-Resource-Policy", "same-origin");
  fields.set("Referrer-Policy", "no-referrer");
  fields.set(http::field::cache_control, "no-store");
}

// The path of a request target, before its first "?", and its query, after it.
std::string_view PathOf(std::string_view target);
std::string_view QueryOf(std::string_view target);
// The value of `key` in the query of a request target ("/?a=1&b=2"), as
// sent (not decoded), or nothing: also when the query is not one a URL may
// carry (a bad %-escape, a character it must escape).
std::optional<std::string> QueryValue(std::string_view target, std::string_view key);
