// One page's live view, over a WebSocket (GET /live). The page is sent
// composed frames: the tiles that differ from what it shows, at most 60
// times a second, always the latest; and the state the panels show, as JSON,
// when it changes. Paused, it is sent the point it asked for instead.
#include <cstring>

#include "http/json.h"
#include "http/server.h"
#include "render/replay.h"

namespace {

using namespace std::chrono_literals;
constexpr auto kTick = 16ms;
constexpr auto kStalled = 10s;  // a page that takes no frame for this long is dropped
constexpr auto kPing = 10s;     // a page not written to for this long is pinged
constexpr auto kSilent = 20s;   // a page not heard from for this long (pongs count) is dropped
using Clock = std::chrono::steady_clock;

struct Page {
  explicit Page(beast::tcp_stream stream) : ws(stream.release_socket()), wake(ws.get_executor()) {}

  websocket::stream<tcp::socket> ws;  // over the bare socket: KeepAlive and Guarded keep the time
  net::steady_timer wake;
  bool overlay = false;
  Gone closed{false};  // also tells a point being made for it to give up
  Clock::time_point heard = Clock::now(), pinged;
  // What it shows.
  bool live = true;
  std::shared_ptr<const Rendered> sent;  // the live frame it was sent last
  int64_t counted = -1;                  // paused: the count of messages it was sent
  int64_t message = -1;
  int32_t width = 0, height = 0;
  std::vector<TileRef> tiles;
  std::shared_ptr<const LogLine> lastLog;  // the last log line it was sent
  std::string state;                       // the last state it was sent, but for the log
  // Looking back: the point asked for next, and the one made, to be sent,
  // with the number it was asked for by (a point past the end is the last).
  std::optional<int64_t> wanted;
  bool seeking = false;
  std::optional<Point> point;
  int64_t asked = 0;
};

// A frame's integers are little-endian, the machine's own order (protocol.h
// holds the monitor to it).
void PutLittleEndian32(std::string& out, uint32_t value) { out.append(reinterpret_cast<const char*>(&value), 4); }

// The tiles of `frame` that differ from what the page shows, as one binary
// message: a head (kind 1, width, height, tile count, then the message as
// 64 bits), then each tile's column, row and 64×64 pixels, straight RGBA.
std::string FrameMessage(Page& page, const Layer& frame, int64_t message) {
  if (frame.width() != page.width || frame.height() != page.height) {
    page.width = frame.width();
    page.height = frame.height();
    page.tiles.assign(size_t(frame.columns()) * size_t(frame.rows()), TileRef());
  }
  std::string out;
  PutLittleEndian32(out, 1);
  PutLittleEndian32(out, uint32_t(frame.width()));
  PutLittleEndian32(out, uint32_t(frame.height()));
  PutLittleEndian32(out, 0);
  out.append(reinterpret_cast<const char*>(&message), 8);
  uint32_t count = 0;
  for (int32_t row = 0; row < frame.rows(); ++row) {
    for (int32_t column = 0; column < frame.columns(); ++column) {
      const TileRef& tile = frame.tile(column, row);
      TileRef& shown = page.tiles[size_t(row) * size_t(frame.columns()) + size_t(column)];
      if (!tile || tile == shown || (shown && std::memcmp(tile.pixels(), shown.pixels(), kTileBytes) == 0)) continue;
      shown = tile;
      PutLittleEndian32(out, uint32_t(column));
      PutLittleEndian32(out, uint32_t(row));
      const size_t at = out.size();
      out.resize(at + kTileBytes);
      auto* pixels = reinterpret_cast<Pixel*>(out.data() + at);
      for (int32_t i = 0; i < kTilePixels; ++i) pixels[i] = Shown(tile.pixels()[i], page.overlay);
      ++count;
    }
  }
  std::memcpy(out.data() + 12, &count, 4);
  return out;
}

// The state for the page, when it differs from what it was sent: the
// settings, clients and sprites, and the log lines it has not had (all of
// them, with "reset", when its last one is gone).
std::optional<std::string> StateMessage(Page& page, const Scene& scene, const Point* point, int64_t received) {
  json head = StateJson(scene, scene.logs.size());
  head["t"] = "state";
  head["live"] = page.live;
  head["received"] = received;
  if (point != nullptr) {
    head["point"] = PointJson(*point);
    head["point"]["asked"] = page.asked;
  }
  std::string state = Dump(head);
  size_t from = 0;
  for (size_t i = scene.logs.size(); i > 0; --i) {
    if (scene.logs[i - 1] == page.lastLog) {
      from = i;
      break;
    }
  }
  const bool reset = from == 0 && page.lastLog != nullptr;
  if (state == page.state && from == scene.logs.size()) return std::nullopt;
  page.state = state;
  page.lastLog = scene.logs.empty() ? nullptr : scene.logs.back();
  json logs = StateJson(scene, from)["logs"];
  head["logs"] = std::move(logs);
  head["logsReset"] = reset || (from == 0 && page.message < 0);
  return Dump(head);
}

std::string CountMessage(const Rendered& latest) {
  json count = {{"t", "count"}, {"messages", latest.message}, {"received", latest.received}, {"first", latest.first}};
  return Dump(count);
}

// Ends the page's connection, cancelling what is pending on it first.
void Close(Page& page) {
  beast::error_code ignored;
  page.ws.next_layer().cancel(ignored);
  page.ws.next_layer().close(ignored);
}

// Runs one write to the page; a write that makes no progress for kStalled
// ends the page's connection. The write is cancelled before the socket is
// closed: under Wine a write still pending on a closed socket never ends.
// This is the only place a page's socket is closed while a write may pend.
// The timer's handler may already be queued when the write ends: it then
// finds `finished` set and leaves the page (which may be gone) alone.
template <typename Write>
net::awaitable<bool> Guarded(Page& page, Write write) {
  auto finished = std::make_shared<bool>(false);
  net::steady_timer stalled(page.ws.get_executor(), kStalled);
  stalled.async_wait([&page, finished](beast::error_code expired) {
    if (expired || *finished) return;
    Close(page);
  });
  beast::error_code error;
  co_await write(net::redirect_error(net::use_awaitable, error));
  *finished = true;
  stalled.cancel();
  co_return !error;
}

net::awaitable<bool> Send(Page& page, const std::string& message, bool binary) {
  page.ws.binary(binary);
  auto write = [&](auto token) { return page.ws.async_write(net::buffer(message), token); };
  co_return co_await Guarded(page, write);
}

// Keeps the page's connection known to be alive (a page only speaks when it
// seeks): a ping once it was not heard from for kPing, which its pong
// answers; false when it was not heard from for kSilent.
net::awaitable<bool> KeepAlive(Page& page) {
  const auto now = Clock::now();
  if (now - page.heard > kSilent) co_return false;
  if (now - page.heard < kPing || page.pinged > page.heard) co_return true;
  page.pinged = now;
  auto ping = [&](auto token) { return page.ws.async_ping({}, token); };
  co_return co_await Guarded(page, ping);
}

// Sends what the page should show now: the latest frame while live, else
// the point it asked for, once made.
net::awaitable<bool> Show(Server& server, Page& page) {
  std::shared_ptr<const Rendered> latest;
  const Layer* frame = nullptr;
  const Scene* scene = nullptr;
  int64_t message = 0;
  int64_t received = 0;
  Scene summary;
  if (page.live) {
    latest = server.pipeline.renderer.Latest();
    if (latest == page.sent) co_return true;
    page.sent = latest;
    frame = &latest->frame;
    scene = latest->scene.get();
    message = latest->message;
    received = latest->received;
  } else if (!page.point) {
    // Paused, it is told how many messages have arrived.
    latest = server.pipeline.renderer.Latest();
    if (latest->message == page.counted) co_return true;
    page.counted = latest->message;
    const std::string count = CountMessage(*latest);
    co_return co_await Send(page, count, false);
  } else {
    frame = &page.point->frame;
    summary = Summary(*page.point->scene);
    scene = &summary;
    message = page.point->message;
    received = page.point->last;
  }
  const std::optional<std::string> state =
      StateMessage(page, *scene, page.live ? nullptr : &*page.point, received);
  const std::string tiles = FrameMessage(page, *frame, message);
  page.message = message;
  page.point.reset();
  if (state) {
    if (!co_await Send(page, *state, false)) co_return false;
  }
  co_return co_await Send(page, tiles, true);
}

// Makes the points the page asks for, one at a time: while one is made,
// only the last one asked for waits.
net::awaitable<void> MakePoints(Server& server, std::shared_ptr<Page> page) {
  page->seeking = true;
  while (page->wanted && !page->live && !page->closed) {
    // Never past what the render thread has drawn.
    const int64_t asked = *page->wanted;
    const int64_t message = std::min(asked, server.pipeline.renderer.Applied());
    page->wanted.reset();
    std::optional<Point> point;
    while (!page->closed) {
      auto make = [&server, message, page] {
        return server.pipeline.PointAt(message, &page->closed);
      };
      point = co_await Look(server, std::move(make));
      if (point) break;
      // Every worker busy: ask again shortly.
      net::steady_timer wait(server.io, 20ms);
      co_await wait.async_wait(net::use_awaitable);
    }
    if (!page->live && !page->wanted) {
      page->point = std::move(point);
      page->asked = asked;
      page->wake.cancel();
    }
  }
  page->seeking = false;
}

// Reads what the page asks: {"t":"seek","message":N} or {"t":"live"}.
net::awaitable<void> Listen(Server& server, std::shared_ptr<Page> page) {
  beast::flat_buffer buffer;
  for (;;) {
    beast::error_code error;
    co_await page->ws.async_read(buffer, net::redirect_error(net::use_awaitable, error));
    if (error) break;
    page->heard = Clock::now();
    const json ask = json::parse(beast::buffers_to_string(buffer.data()), nullptr, false);
    buffer.consume(buffer.size());
    if (!ask.is_object() || !ask.contains("t")) continue;
    if (ask["t"] == "live") {
      page->live = true;
      page->wanted.reset();
      page->point.reset();
      page->sent.reset();
    } else if (ask["t"] == "seek" && ask.contains("message") && ask["message"].is_number_unsigned() &&
               ask["message"].get<uint64_t>() <= uint64_t(INT64_MAX)) {
      page->live = false;
      page->point.reset();
      // The answer names its point even when it is the one shown (a seek
      // past the last message shows the last): the page learns where it is.
      page->state.clear();
      page->wanted = ask["message"].get<int64_t>();
      if (!page->seeking) net::co_spawn(server.io, MakePoints(server, page), net::detached);
    }
    page->wake.cancel();
  }
  page->closed = true;
  page->wake.cancel();
}

}  // namespace

net::awaitable<void> Live(Server& server, beast::tcp_stream stream, Request request) {
  auto page = std::make_shared<Page>(std::move(stream));
  page->overlay = QueryValue(request.target(), "overlay") == "1";
  ++server.pages;
  struct Done {
    int& pages;
    ~Done() { --pages; }
  } done{server.pages};
  // Beast's own idle timeout would close the socket under a pending write:
  // KeepAlive and Guarded do its work instead.
  websocket::stream_base::timeout timeout{};
  timeout.handshake_timeout = 10s;
  timeout.idle_timeout = websocket::stream_base::none();
  timeout.keep_alive_pings = false;
  page->ws.set_option(timeout);
  page->ws.control_callback([raw = page.get()](websocket::frame_type, beast::string_view) { raw->heard = Clock::now(); });
  page->ws.set_option(websocket::stream_base::decorator([](websocket::response_type& response) { Secure(response); }));
  page->ws.read_message_max(4096);
  beast::error_code error;
  co_await page->ws.async_accept(request, net::redirect_error(net::use_awaitable, error));
  if (error) co_return;
  net::co_spawn(server.io, Listen(server, page), net::detached);
  while (!page->closed) {
    // Ticks at a steady rate, however long sending took.
    const auto due = net::steady_timer::clock_type::now() + kTick;
    if (!co_await Show(server, *page)) break;
    if (!co_await KeepAlive(*page)) break;
    page->wake.expires_at(due);
    co_await page->wake.async_wait(net::redirect_error(net::use_awaitable, error));
  }
  page->closed = true;
  Close(*page);
}
