#include "http/view.h"

#include <cstdio>
#include <thread>

#include "http/peer.h"
#include "http/server.h"

namespace {

using namespace std::chrono_literals;

bool IsLoopback(const net::ip::address& ip) { return ip.is_loopback(); }

// Sets `gone` when the peer closes its end while its answer is made: the
// socket turns readable with nothing to read. Ends when the socket's
// operations are cancelled. A peer that sends more (a pipelined request)
// is not watched further.
void WatchForLeaving(tcp::socket& socket, std::shared_ptr<Gone> gone) {
  socket.async_wait(tcp::socket::wait_read, [&socket, gone](beast::error_code error) {
    if (error == net::error::operation_aborted) return;
    beast::error_code ignored;
    if (error || socket.available(ignored) == 0) gone->store(true);
  });
}

}  // namespace

struct View::Impl {
  std::unique_ptr<Server> server;
  std::thread thread;
  std::string url;
  int max_connections = kMaxConnections;  // idle ones and live views included
  int strangers = 0;  // connections over loopback from another user, where told: at most half of them

  ~Impl() {
    if (!server) return;
    server->io.stop();
    if (thread.joinable()) thread.join();
    server->workers.stop();
    server->workers.join();
  }

  // Accepts connections, at most max_connections at once; out of file
  // descriptors, it waits a little instead of trying again at once.
  net::awaitable<void> Accept() {
    Server& s = *server;
    for (;;) {
      beast::error_code error;
      tcp::socket socket = co_await s.acceptor.async_accept(net::redirect_error(net::use_awaitable, error));
      if (error) {
        net::steady_timer pause(s.io, 100ms);
        co_await pause.async_wait(net::redirect_error(net::use_awaitable, error));
        continue;
      }
      // Who is at the other end is asked once, here; beyond loopback the token decides alone.
      const bool own_user = s.guard.loopback() && OwnUser(socket);
      const bool stranger = s.guard.loopback() && !own_user && OtherUsersTold();
      if (s.connections >= max_connections || (stranger && strangers >= max_connections / 2)) {
        Refuse(socket);
        continue;
      }
      // Answers and frames go out as soon as they are written: with Nagle's
      // delay, the end of a frame sent after the state waited for the
      // page's delayed acknowledgement (40 ms).
      socket.set_option(tcp::no_delay(true), error);
      ++s.connections;
      strangers += stranger ? 1 : 0;
      net::co_spawn(s.io, Session(std::move(socket), own_user, stranger), net::detached);
    }
  }

  // A connection over the limit is answered at once, without waiting for
  // its request, and closed: one that stays idle holds no descriptor.
  void Refuse(tcp::socket& socket) const {
    Response response = Plain(http::status::service_unavailable,
                              "too many connections (at most " + std::to_string(max_connections) + ")", 11);
    Secure(response);
    response.keep_alive(false);
    response.prepare_payload();
    beast::error_code error;
    socket.non_blocking(true, error);
    http::write(socket, response, error);
    socket.shutdown(tcp::socket::shutdown_send, error);
    // What the client sent already is read, so that closing does not reset
    // the connection under the answer.
    char discard[4096];
    for (int i = 0; i < 16 && socket.read_some(net::buffer(discard), error) > 0; ++i) {
    }
  }

  // Counted from its accept until it ends.
  net::awaitable<void> Session(tcp::socket socket, bool own_user, bool stranger) {
    Server& s = *server;
    struct Done {
      int& connections;
      int& strangers;
      bool stranger;
      ~Done() {
        --connections;
        strangers -= stranger ? 1 : 0;
      }
    } done{s.connections, strangers, stranger};
    beast::tcp_stream stream(std::move(socket));
    beast::flat_buffer buffer(16384);
    try {
      for (bool more = true; more;) {
        http::request_parser<http::empty_body> parser;
        parser.header_limit(16384);
        stream.expires_after(30s);
        co_await http::async_read(stream, buffer, parser, net::use_awaitable);
        Request request = parser.release();
        const unsigned version = request.version();
        const std::string_view path = PathOf(request.target());
        Response response;
        const auto refusal = s.guard.Check(request, own_user);
        if (refusal) {
          response = Plain(refusal->status, refusal->text, version);
        } else if (request.method() != http::verb::get) {
          response = Plain(http::status::method_not_allowed, "only GET", version);
        } else if (path == "/live" && websocket::is_upgrade(request)) {
          if (s.pages >= kMaxPages) {
            response = Plain(http::status::service_unavailable,
                             "too many live views open (at most " + std::to_string(kMaxPages) + ")", version);
          } else {
            co_await Live(s, std::move(stream), std::move(request));
            co_return;
          }
        } else {
          auto gone = std::make_shared<Gone>(false);
          WatchForLeaving(stream.socket(), gone);
          response = co_await Answer(s, request, gone);
          stream.socket().cancel();
          if (gone->load()) break;
        }
        if (const std::string cookie = s.guard.CookieFor(request); !cookie.empty()) {
          response.set(http::field::set_cookie, cookie);
        }
        Secure(response);
        // A refused connection is closed, so that it holds no place.
        more = !refusal && request.keep_alive() && response.result() != http::status::service_unavailable;
        response.keep_alive(more);
        response.prepare_payload();
        co_await http::async_write(stream, response, net::use_awaitable);
      }
    } catch (const std::exception&) {
      // The browser left, or sent something that is not HTTP: drop the connection.
    }
    beast::error_code ignored;
    stream.socket().shutdown(tcp::socket::shutdown_both, ignored);
  }
};

bool IsIpAddress(const std::string& address) {
  beast::error_code code;
  net::ip::make_address(address, code);
  return !code;
}

View::View() : impl_(std::make_unique<Impl>()) {}
View::~View() = default;

bool View::Start(const std::string& address, uint16_t port, Pipeline& pipeline, std::string& error) {
  beast::error_code code;
  const auto ip = net::ip::make_address(address, code);
  if (code) {
    error = "not an IP address: " + address;
    return false;
  }
  const tcp::endpoint endpoint(ip, port);
  auto server = std::make_unique<Server>(pipeline, Guard(address, port, IsLoopback(ip)));
  tcp::acceptor& acceptor = server->acceptor;
  acceptor.open(endpoint.protocol(), code);
  if (!code) ReserveAddress(acceptor, code);
  if (!code) acceptor.bind(endpoint, code);
  if (!code) acceptor.listen(net::socket_base::max_listen_connections, code);
  if (code) {
    error = "cannot listen on " + address + ":" + std::to_string(port) + ": " + code.message();
    return false;
  }
  const uint16_t bound = acceptor.local_endpoint().port();
  server->guard = Guard(address, bound, IsLoopback(ip));
  const std::string host = ip.is_v6() ? "[" + address + "]" : address;
  impl_->url = "http://" + host + ":" + std::to_string(bound) + "/?token=" + server->guard.token();
  impl_->max_connections = MaxConnections();
  impl_->server = std::move(server);
  Impl& impl = *impl_;
  net::co_spawn(impl.server->io, impl.Accept(), net::detached);
  impl.thread = std::thread([&impl] {
    RunBelowThePipe();
    impl.server->io.run();
  });
  return true;
}

void View::Announce() const {
  // The warning comes first: a script that waits for the address has read it too.
  if (!impl_->server->guard.loopback()) {
    std::fputs("vesprine-monitor: warning: the view is served beyond this machine; whoever has the address "
               "below, token included, sees the drawing\n", stderr);
  }
  std::fprintf(stderr, "vesprine-monitor: live view at %s\n", impl_->url.c_str());
  std::fflush(stderr);
}
