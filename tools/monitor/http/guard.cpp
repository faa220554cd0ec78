#include "http/guard.h"

#include <algorithm>
#include <boost/url/parse_query.hpp>
#include <cctype>
#include <random>

#include "input/decode.h"

namespace {

std::string Lower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower;
}

std::string Trim(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return std::string(text);
}

std::string RandomToken() {
  std::random_device device;
  std::string token;
  for (int i = 0; i < 16; ++i) AppendHex(token, static_cast<uint8_t>(device()), true);
  return token;
}

// Compares in a time that does not depend on where the two differ.
bool SameToken(std::string_view given, std::string_view token) {
  if (given.size() != token.size()) return false;
  unsigned difference = 0;
  for (size_t i = 0; i < token.size(); ++i) difference |= static_cast<unsigned char>(given[i] ^ token[i]);
  return difference == 0;
}

}  // namespace

std::string_view PathOf(std::string_view target) { return target.substr(0, target.find('?')); }

std::string_view QueryOf(std::string_view target) {
  const size_t mark = target.find('?');
  return mark == std::string_view::npos ? std::string_view() : target.substr(mark + 1);
}

std::optional<std::string> QueryValue(std::string_view target, std::string_view key) {
  // Boost.URL 1.81 reads a query to its NUL, not to the end of the view it
  // is given: it gets a copy that ends there.
  const std::string query(QueryOf(target));
  if (query.empty()) return std::nullopt;
  const auto params = boost::urls::parse_query(query);
  if (!params) return std::nullopt;
  for (const auto& param : *params) {
    if (param.has_value && param.key == key) return std::string(param.value);
  }
  return std::nullopt;
}

Guard::Guard(const std::string& address, unsigned short port, bool loopback)
    : token_(RandomToken()), cookie_("vesprine-token-" + std::to_string(port)), loopback_(loopback) {
  if (!loopback) return;
  const std::string host = address.find(':') != std::string::npos ? "[" + address + "]" : address;
  for (const std::string& name : {Lower(host), std::string("localhost")}) {
    hosts_.push_back(name + ":" + std::to_string(port));
    // Browsers leave out the port they would use anyway.
    if (port == 80) hosts_.push_back(name);
  }
}

bool Guard::HasToken(const Request& request) const {
  const auto given = QueryValue(request.target(), "token");
  if (given && SameToken(*given, token_)) return true;
  const std::string_view cookies = request[http::field::cookie];
  for (size_t at = 0; at <= cookies.size();) {
    const size_t end = std::min(cookies.find(';', at), cookies.size());
    const std::string cookie = Trim(cookies.substr(at, end - at));
    const size_t equals = cookie.find('=');
    if (equals != std::string::npos && std::string_view(cookie).substr(0, equals) == cookie_ &&
        SameToken(std::string_view(cookie).substr(equals + 1), token_)) {
      return true;
    }
    at = end + 1;
  }
  return false;
}

std::optional<Refusal> Guard::Check(const Request& request, bool own_user) const {
  const std::string host = Lower(request[http::field::host]);
  if (!hosts_.empty() && std::find(hosts_.begin(), hosts_.end(), host) == hosts_.end()) {
    return Refusal{http::status::forbidden, "this server answers only to its own address"};
  }
  const std::string site = Lower(request["Sec-Fetch-Site"]);
  const std::string origin = Lower(request[http::field::origin]);
  const std::string_view path = PathOf(request.target());
  const bool navigation = request.method() == http::verb::get && path == "/" &&
                          Lower(request["Sec-Fetch-Mode"]) == "navigate" &&
                          Lower(request["Sec-Fetch-Dest"]) == "document";
  const bool cross_site = (!site.empty() && site != "same-origin" && site != "none") ||
                          (!origin.empty() && origin != "http://" + host);
  if (cross_site && !navigation) return Refusal{http::status::forbidden, "cross-site requests are refused"};
  // Beyond loopback the token is needed whoever asks; on loopback, by all but the monitor's own user.
  if (!(loopback_ && own_user) && !HasToken(request)) {
    return Refusal{http::status::forbidden, "this view needs the token from the address the monitor printed"};
  }
  return std::nullopt;
}

std::string Guard::CookieFor(const Request& request) const {
  const auto given = QueryValue(request.target(), "token");
  if (!given || !SameToken(*given, token_)) return "";
  return cookie_ + "=" + token_ + "; Path=/; HttpOnly; SameSite=Strict";
}
