// The view's answers but the live stream: the page's files, and the looks
// back that scripts and the page ask for (/frame, /pixel, /seek, /sprite).
#include <charconv>
#include <map>
#include <set>

#include "http/assets.h"
#include "http/json.h"
#include "http/server.h"
#include "pixels/png.h"
#include "render/replay.h"

namespace {

// The query's numbers by key, when every key is one of `allowed`, at most
// once, with a value of digits.
std::optional<std::map<std::string, int64_t>> Numbers(std::string_view query, const std::set<std::string>& allowed) {
  std::map<std::string, int64_t> numbers;
  if (query.empty()) return numbers;
  for (size_t at = 0; at <= query.size();) {
    const size_t end = std::min(query.find('&', at), query.size());
    const std::string_view part = query.substr(at, end - at);
    const size_t equals = part.find('=');
    if (equals == std::string_view::npos) return std::nullopt;
    const std::string key(part.substr(0, equals));
    const std::string_view digits = part.substr(equals + 1);
    at = end + 1;
    // The token the printed address carries is the guard's, checked before.
    if (key == "token") continue;
    int64_t value = 0;
    const auto [last, code] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (!allowed.count(key) || numbers.count(key) || code != std::errc() || last != digits.data() + digits.size() ||
        value < 0 || digits.empty() || digits[0] == '-' || digits[0] == '+') {
      return std::nullopt;
    }
    numbers[key] = value;
  }
  return numbers;
}

Response Bytes(std::string body, const char* type, unsigned version) {
  Response response{http::status::ok, version};
  response.set(http::field::content_type, type);
  response.body() = std::move(body);
  return response;
}

Response Busy(unsigned version) {
  return Plain(http::status::service_unavailable, "too many looks back at once (at most " +
                                                      std::to_string(kMaxLooks) + ")", version);
}

int64_t Latest(const std::map<std::string, int64_t>& numbers, Server& server) {
  const auto found = numbers.find("message");
  return found != numbers.end() ? found->second : server.renderer.Latest()->message;
}

// The composed screen right after a message (the latest frame without
// one), as a PNG.
net::awaitable<Response> Frame(Server& server, const std::map<std::string, int64_t>& numbers, unsigned version) {
  const bool overlay = numbers.count("overlay") && numbers.at("overlay") == 1;
  const std::shared_ptr<const Shown> latest = numbers.count("message") ? nullptr : server.renderer.Latest();
  const int64_t message = Latest(numbers, server);
  // Named, not a temporary of the co_await: GCC 12 destroys such a
  // temporary's captures twice.
  auto encode = [&server, message, overlay, latest] {
    if (latest) return EncodePng(latest->frame.width(), latest->frame.height(), Picture(latest->frame, overlay));
    const Point point = MakePoint(server.timeline, server.images.Source(), message);
    return EncodePng(point.frame.width(), point.frame.height(), Picture(point.frame, overlay));
  };
  auto png = co_await Look(server, std::move(encode));
  if (!png) co_return Busy(version);
  co_return Bytes(std::move(*png), "image/png", version);
}

// A chosen sprite's surface alone, as a PNG.
net::awaitable<Response> SpriteSurface(Server& server, const std::map<std::string, int64_t>& numbers,
                                       unsigned version) {
  const int64_t id = numbers.count("id") ? numbers.at("id") : 0;
  const int64_t message = Latest(numbers, server);
  auto encode = [&server, message, id]() -> std::string {
    const Point point = MakePoint(server.timeline, server.images.Source(), message);
    for (const Sprite& sprite : point.scene->sprites) {
      if (sprite.id == id) return EncodePng(sprite.width, sprite.height, Picture(sprite.layer, true));
    }
    return "";
  };
  auto png = co_await Look(server, std::move(encode));
  if (!png) co_return Busy(version);
  if (png->empty()) co_return Plain(http::status::not_found, "no such sprite at that message", version);
  co_return Bytes(std::move(*png), "image/png", version);
}

net::awaitable<Response> PixelAnswer(Server& server, const std::map<std::string, int64_t>& numbers, unsigned version) {
  if (!numbers.count("x") || !numbers.count("y") || numbers.at("x") > kMaxSide || numbers.at("y") > kMaxSide) {
    co_return Plain(http::status::bad_request, "expected ?x=X&y=Y[&message=N], X and Y pixels of the screen", version);
  }
  const auto x = static_cast<int32_t>(numbers.at("x")), y = static_cast<int32_t>(numbers.at("y"));
  const int64_t message = Latest(numbers, server);
  auto history = [&server, x, y, message] {
    return Dump(HistoryJson(PixelHistory(server.timeline, server.images.Source(), x, y, message)));
  };
  auto body = co_await Look(server, std::move(history));
  if (!body) co_return Busy(version);
  co_return Bytes(std::move(*body), "application/json", version);
}

net::awaitable<Response> Seek(Server& server, const std::map<std::string, int64_t>& numbers, unsigned version) {
  if (!numbers.count("message")) {
    co_return Plain(http::status::bad_request, "expected ?message=N, N a message number", version);
  }
  const int64_t message = numbers.at("message");
  auto make = [&server, message] {
    const Point point = MakePoint(server.timeline, server.images.Source(), message);
    json answer = PointJson(point);
    answer["state"] = StateJson(*point.scene, 0);
    return Dump(answer);
  };
  auto body = co_await Look(server, std::move(make));
  if (!body) co_return Busy(version);
  co_return Bytes(std::move(*body), "application/json", version);
}

}  // namespace

Response Plain(http::status status, const std::string& text, unsigned version) {
  Response response{status, version};
  response.set(http::field::content_type, "text/plain; charset=utf-8");
  response.body() = text + "\n";
  return response;
}

net::awaitable<Response> Answer(Server& server, const Request& request) {
  const unsigned version = request.version();
  const std::string_view target = request.target();
  const std::string_view path = target.substr(0, target.find('?'));
  const std::string_view query = QueryOf(target);
  static const std::map<std::string_view, std::set<std::string>> kKeys = {
      {"/frame", {"message", "overlay"}}, {"/sprite", {"id", "message"}}, {"/pixel", {"x", "y", "message"}},
      {"/seek", {"message"}}};
  if (const auto keys = kKeys.find(path); keys != kKeys.end()) {
    const auto numbers = Numbers(query, keys->second);
    if (!numbers) {
      co_return Plain(http::status::bad_request, "expected " + std::string(path) + "?" + [&] {
        std::string list;
        for (const std::string& key : keys->second) list += (list.empty() ? "" : "&") + key + "=N";
        return list;
      }() + ", each N a number", version);
    }
    if (path == "/frame") co_return co_await Frame(server, *numbers, version);
    if (path == "/sprite") co_return co_await SpriteSurface(server, *numbers, version);
    if (path == "/pixel") co_return co_await PixelAnswer(server, *numbers, version);
    co_return co_await Seek(server, *numbers, version);
  }
  const Asset* asset = FindAsset(path == "/" ? "/index.html" : path);
  if (asset == nullptr) co_return Plain(http::status::not_found, "not found", version);
  co_return Bytes(std::string(asset->body), std::string(asset->type).c_str(), version);
}
