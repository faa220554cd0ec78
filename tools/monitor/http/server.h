// What every connection of the view shares. Everything here but the
// timeline, the image files and the renderer (each with its own lock) is
// used on the view's one network thread only.
#pragma once

#include <boost/asio.hpp>
#include <boost/beast.hpp>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "http/guard.h"
#include "http/view.h"
#include "render/images.h"
#include "render/priority.h"
#include "render/renderer.h"
#include "render/replay.h"
#include "timeline/timeline.h"

namespace net = boost::asio;
namespace beast = boost::beast;
namespace websocket = beast::websocket;
using tcp = net::ip::tcp;
using Response = http::response<http::string_body>;

struct Server {
  Server(const std::string& images_folder, Guard checks)
      : guard(std::move(checks)), images(images_folder), renderer(timeline, images.Source()) {}

  net::io_context io{1};
  tcp::acceptor acceptor{io};
  Guard guard;
  Timeline timeline;
  ImageFiles images;
  Renderer renderer;
  net::thread_pool workers{2};  // looks back run here, so that no page waits for one
  int connections = 0;
  int pages = 0;
  int looks = 0;
};

// The point right after `message`, for a look back; when the timeline holds
// no checkpoint to make one from, the latest frame drawn (its sprites without
// their surfaces), with nothing before it to look at.
inline Point PointAt(Server& server, int64_t message, const Gone* gone) {
  Point point = MakePoint(server.timeline, server.images.Source(), message, gone);
  if (point.held) return point;
  const std::shared_ptr<const Rendered> latest = server.renderer.Latest();
  point.message = point.first = latest->message;
  point.scene = latest->scene;
  point.frame = latest->frame;
  return point;
}

// A plain-text answer.
Response Plain(http::status status, const std::string& text, unsigned version);
// The answer to a request other than the live view's; a look back gives
// up once `gone` is set (its asker has left).
net::awaitable<Response> Answer(Server& server, const Request& request, std::shared_ptr<Gone> gone);
// Serves one page's live view over a WebSocket, until it leaves.
net::awaitable<void> Live(Server& server, beast::tcp_stream stream, Request request);
// Runs `work` on the workers, one of at most kMaxLooks at once; false, with
// `work` not run, when that many are under way.
net::awaitable<bool> OnWorkers(Server& server, std::function<void()> work);
// The same with work's result; nothing when that many are under way. One
// OnWorkers for every kind of look keeps the coroutines compiled few.
template <class Work>
net::awaitable<std::optional<std::invoke_result_t<Work>>> Look(Server& server, Work work) {
  std::optional<std::invoke_result_t<Work>> result;
  // Named, not a temporary of the co_await (see Frame in routes.cpp).
  std::function<void()> run = [&result, &work] { result.emplace(work()); };
  co_await OnWorkers(server, std::move(run));
  co_return result;
}

// Takes the listening address for this server alone: a second monitor on
// the same port fails to bind instead of sharing its connections.
void ReserveAddress(tcp::acceptor& acceptor, beast::error_code& error);
