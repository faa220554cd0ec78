// The view's answers but the live stream: the page's files, and the looks
// back that scripts and the page ask for (/frame, /pixel, /seek, /sprite).
#include <boost/url/parse_query.hpp>
#include <charconv>
#include <map>
#include <set>

#include "http/assets.h"
#include "input/stop.h"
#include "http/json.h"
#include "http/server.h"
#include "pixels/png.h"
#include "render/replay.h"

namespace {

// The query's numbers by key, when every key is one of `allowed`, at most
// once, with a value of digits (as sent: an escaped digit is not one).
std::optional<std::map<std::string, int64_t>> Numbers(std::string_view query, const std::set<std::string>& allowed) {
  std::map<std::string, int64_t> numbers;
  if (query.empty()) return numbers;
  const std::string ended(query);  // see QueryValue
  const auto params = boost::urls::parse_query(ended);
  if (!params) return std::nullopt;
  for (const auto& param : *params) {
    if (!param.has_value) return std::nullopt;
    const std::string key(param.key);
    const std::string_view digits(param.value.data(), param.value.size());
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

using namespace std::chrono_literals;
constexpr auto kBehindWait = 2s;  // how long a look back waits for the render thread to draw its message

// What a look back was asked, and whether its asker is still there.
struct Asked {
  std::map<std::string, int64_t> numbers;
  unsigned version;
  std::shared_ptr<Gone> gone;
};

Response Bytes(std::string body, const char* type, unsigned version) {
  Response response{http::status::ok, version};
  response.set(http::field::content_type, type);
  response.body() = std::move(body);
  return response;
}

// A look back's answer, saying which message it shows: the one asked for,
// or the last there is when asked past it.
Response Showing(Response response, int64_t message) {
  response.set("X-Vesprine-Message", std::to_string(message));
  return response;
}

Response Busy(unsigned version) {
  return Plain(http::status::service_unavailable, "too many looks back at once (at most " +
                                                      std::to_string(kMaxLooks) + ")", version);
}

// A look back at a message the render thread has not drawn yet.
Response Behind(Server& server, int64_t message, unsigned version) {
  Response response = Plain(http::status::service_unavailable,
                            "message " + std::to_string(message) + " is not drawn yet (" +
                                std::to_string(server.pipeline.renderer.Applied()) + " of " +
                                std::to_string(server.pipeline.timeline.Messages()) + " are); ask again shortly",
                            version);
  response.set(http::field::retry_after, "1");
  return response;
}

// The message a look back shows: the one asked for (past the last one
// received, the last), or without one the latest frame's. A look back
// never draws past the render thread: it waits for it up to kBehindWait.
net::awaitable<bool> Drawn(Server& server, const std::map<std::string, int64_t>& numbers, int64_t& message) {
  const auto found = numbers.find("message");
  if (found == numbers.end()) {
    message = server.pipeline.renderer.Latest()->message;
    co_return true;
  }
  message = std::min(found->second, server.pipeline.timeline.Messages());
  const auto until = std::chrono::steady_clock::now() + kBehindWait;
  while (server.pipeline.renderer.Applied() < message) {
    if (std::chrono::steady_clock::now() >= until || Stopping()) co_return false;
    net::steady_timer wait(server.io, 20ms);
    co_await wait.async_wait(net::use_awaitable);
  }
  co_return true;
}

// The composed screen right after a message (the latest frame without
// one), as a PNG.
net::awaitable<Response> Frame(Server& server, Asked asked) {
  const bool overlay = asked.numbers.count("overlay") && asked.numbers.at("overlay") == 1;
  const std::shared_ptr<const Rendered> latest =
      asked.numbers.count("message") ? nullptr : server.pipeline.renderer.Latest();
  int64_t message = 0;
  if (!co_await Drawn(server, asked.numbers, message)) co_return Behind(server, message, asked.version);
  // Named, not a temporary of the co_await: GCC 12 destroys such a
  // temporary's captures twice.
  auto encode = [&server, message, overlay, latest, gone = asked.gone] {
    if (latest) return EncodePng(latest->frame.width(), latest->frame.height(), Picture(latest->frame, overlay));
    const Point point = server.pipeline.PointAt(message, gone.get());
    return EncodePng(point.frame.width(), point.frame.height(), Picture(point.frame, overlay));
  };
  auto png = co_await Look(server, std::move(encode));
  if (!png) co_return Busy(asked.version);
  co_return Showing(Bytes(std::move(*png), "image/png", asked.version), latest ? latest->message : message);
}

// A chosen sprite's surface alone, as a PNG.
net::awaitable<Response> SpriteSurface(Server& server, Asked asked) {
  const int64_t id = asked.numbers.count("id") ? asked.numbers.at("id") : 0;
  int64_t message = 0;
  if (!co_await Drawn(server, asked.numbers, message)) co_return Behind(server, message, asked.version);
  auto encode = [&server, message, id, gone = asked.gone]() -> std::string {
    const Point point = server.pipeline.PointAt(message, gone.get());
    for (const Sprite& sprite : point.scene->sprites) {
      // Not held: a summary's sprites have no surface.
      if (sprite.id == id && point.held) return EncodePng(sprite.width, sprite.height, Picture(sprite.layer, true));
    }
    return "";
  };
  auto png = co_await Look(server, std::move(encode));
  if (!png) co_return Busy(asked.version);
  if (png->empty()) {
    co_return Showing(Plain(http::status::not_found, "no such sprite at that message", asked.version), message);
  }
  co_return Showing(Bytes(std::move(*png), "image/png", asked.version), message);
}

net::awaitable<Response> PixelAnswer(Server& server, Asked asked) {
  const auto& numbers = asked.numbers;
  if (!numbers.count("x") || !numbers.count("y") || numbers.at("x") > kMaxSide || numbers.at("y") > kMaxSide) {
    co_return Plain(http::status::bad_request, "expected ?x=X&y=Y[&message=N], X and Y pixels of the screen",
                    asked.version);
  }
  const auto x = static_cast<int32_t>(numbers.at("x")), y = static_cast<int32_t>(numbers.at("y"));
  int64_t message = 0;
  if (!co_await Drawn(server, numbers, message)) co_return Behind(server, message, asked.version);
  auto history = [&server, x, y, message, gone = asked.gone] {
    return Dump(HistoryJson(server.pipeline.PixelHistoryAt(x, y, message, gone.get())));
  };
  auto body = co_await Look(server, std::move(history));
  if (!body) co_return Busy(asked.version);
  co_return Showing(Bytes(std::move(*body), "application/json", asked.version), message);
}

net::awaitable<Response> Seek(Server& server, Asked asked) {
  if (!asked.numbers.count("message")) {
    co_return Plain(http::status::bad_request, "expected ?message=N, N a message number", asked.version);
  }
  int64_t message = 0;
  if (!co_await Drawn(server, asked.numbers, message)) co_return Behind(server, message, asked.version);
  auto make = [&server, message, gone = asked.gone] {
    const Point point = server.pipeline.PointAt(message, gone.get());
    json answer = PointJson(point);
    answer["state"] = StateJson(*point.scene, 0);
    return Dump(answer);
  };
  auto body = co_await Look(server, std::move(make));
  if (!body) co_return Busy(asked.version);
  co_return Showing(Bytes(std::move(*body), "application/json", asked.version), message);
}

// The look back a path names.
net::awaitable<Response> LookBack(Server& server, std::string_view path, const Asked& asked) {
  if (path == "/frame") return Frame(server, asked);
  if (path == "/sprite") return SpriteSurface(server, asked);
  if (path == "/pixel") return PixelAnswer(server, asked);
  return Seek(server, asked);
}

}  // namespace

Response Plain(http::status status, const std::string& text, unsigned version) {
  Response response{status, version};
  response.set(http::field::content_type, "text/plain; charset=utf-8");
  response.body() = text + "\n";
  return response;
}

net::awaitable<bool> OnWorkers(Server& server, std::function<void()> work) {
  if (server.looks >= kMaxLooks) co_return false;
  ++server.looks;
  struct Done {
    int& looks;
    ~Done() { --looks; }
  } done{server.looks};
  // Named, not a temporary of the co_await (see Frame).
  auto run = [work = std::move(work)]() -> net::awaitable<void> {
    RunBelowThePipe();
    work();
    co_return;
  };
  co_await net::co_spawn(server.workers, std::move(run), net::use_awaitable);
  co_return true;
}

net::awaitable<Response> Answer(Server& server, const Request& request, std::shared_ptr<Gone> gone) {
  const unsigned version = request.version();
  const std::string_view target = request.target();
  const std::string_view path = PathOf(target);
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
    // Named, not a temporary of the co_await (see Frame).
    const Asked asked{*numbers, version, std::move(gone)};
    co_return co_await LookBack(server, path, asked);
  }
  if (path == "/constants.js") {
    static const std::string constants = PageConstants();
    co_return Bytes(constants, "text/javascript; charset=utf-8", version);
  }
  const Asset* asset = FindAsset(path == "/" ? "/index.html" : path);
  if (asset == nullptr) co_return Plain(http::status::not_found, "not found", version);
  co_return Bytes(std::string(asset->body), std::string(asset->type).c_str(), version);
}
