// What every connection of the view shares. Everything here but the
// pipeline it reads from (each of its parts with its own lock) and the
// workers is used on the view's one network thread only.
#pragma once

#include <boost/asio.hpp>
#include <boost/beast.hpp>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "http/guard.h"
#include "http/view.h"
#include "pipeline/pipeline.h"
#include "render/priority.h"

namespace net = boost::asio;
namespace beast = boost::beast;
namespace websocket = beast::websocket;
using tcp = net::ip::tcp;
using Response = http::response<http::string_body>;

struct Server {
  Server(Pipeline& drawn, Guard checks) : pipeline(drawn), guard(std::move(checks)) {}

  Pipeline& pipeline;
  net::io_context io{1};
  tcp::acceptor acceptor{io};
  Guard guard;
  net::thread_pool workers{2};  // looks back run here, so that no page waits for one
  int connections = 0;
  int pages = 0;
  int looks = 0;
};

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
