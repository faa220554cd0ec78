#include "http/view.h"

#include <algorithm>
#include <boost/asio.hpp>
#include <boost/beast.hpp>
#include <cctype>
#include <charconv>
#include <chrono>
#include <deque>
#include <limits>
#include <mutex>
#include <thread>
#include <vector>

#include "http/assets.h"
#include "input/images.h"
#include "scene/scene.h"
#include "scene/stream.h"
#include "timeline/timeline.h"

namespace net = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = net::ip::tcp;
using namespace std::chrono_literals;

namespace {

constexpr size_t kMaxQueuedBytes = size_t{8} << 20;    // per page, before it is sent a fresh snapshot
constexpr size_t kMaxPendingBytes = size_t{16} << 20;  // changes not yet sent, before every page is resynchronised
constexpr auto kTick = 25ms;                           // how often changes go out
constexpr auto kKeepAlive = 15s;
constexpr int kMaxSeeks = 4;  // seeks under way at once, over all pages; one more is refused

constexpr char kSecurityPolicy[] =
    "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self' blob: data:; connect-src 'self'; "
    "base-uri 'none'; form-action 'none'; frame-ancestors 'none'";

std::string Event(const char* name, const std::string& data) {
  return std::string("event: ") + name + "\ndata: " + data + "\n\n";
}

std::string Lower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower;
}

// One open page: what waits to be written to it.
struct Page {
  explicit Page(tcp::socket s) : socket(std::move(s)), wake(socket.get_executor()) {}
  tcp::socket socket;
  net::steady_timer wake;
  std::deque<std::shared_ptr<const std::string>> queue;
  size_t queued = 0;
  bool writing = false;
  bool needsSnapshot = true;
  bool closed = false;

  void Push(std::shared_ptr<const std::string> chunk) {
    queued += chunk->size();
    queue.push_back(std::move(chunk));
    wake.cancel();
  }
  void Close() {
    closed = true;
    beast::error_code ignored;
    socket.shutdown(tcp::socket::shutdown_both, ignored);
    socket.close(ignored);
    wake.cancel();
  }
};

}  // namespace

struct View::Impl {
  net::io_context io{1};
  tcp::acceptor acceptor{io};
  std::thread thread;
  ImageChecker checkImage;
  std::vector<std::string> hosts;  // Host values that name this server
  std::string url;
  std::vector<std::shared_ptr<Page>> pages;
  std::vector<Change> taken;  // the changes a tick took, kept for its capacity
  net::thread_pool seeker{1};  // seeks replay on a thread of their own, so that no page waits for one
  int seeking = 0;

  // Shared with the pipe's thread.
  std::mutex mutex;
  Scene scene;
  Timeline timeline;
  std::vector<Change> pending;
  size_t pendingBytes = 0;
  bool resyncAll = false;

  ~Impl() {
    seeker.stop();
    seeker.join();
    io.stop();
    if (thread.joinable()) thread.join();
  }

  net::awaitable<void> Accept() {
    for (;;) {
      beast::error_code error;
      tcp::socket socket = co_await acceptor.async_accept(net::redirect_error(net::use_awaitable, error));
      if (error) continue;
      net::co_spawn(io, Session(std::move(socket)), net::detached);
    }
  }

  template <class Body>
  void Secure(http::response<Body>& response) {
    response.set("Content-Security-Policy", kSecurityPolicy);
    response.set("X-Content-Type-Options", "nosniff");
    response.set(http::field::cache_control, "no-store");
    response.set("Referrer-Policy", "no-referrer");
  }

  http::response<http::string_body> Plain(http::status status, const std::string& text, unsigned version) {
    http::response<http::string_body> response{status, version};
    response.set(http::field::content_type, "text/plain; charset=utf-8");
    response.body() = text + "\n";
    Secure(response);
    response.prepare_payload();
    return response;
  }

  // The answer to a request other than the stream.
  http::response<http::string_body> Answer(const http::request<http::empty_body>& request, std::string_view target) {
    const unsigned version = request.version();
    if (target.rfind("/image/", 0) == 0) {
      std::string path;
      const std::string id(target.substr(7));
      if (!id.empty() && id.size() < 8 && std::all_of(id.begin(), id.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        const size_t index = std::stoul(id);
        const std::lock_guard lock(mutex);
        if (index >= 1 && index <= scene.images.size()) path = scene.images[index - 1];
      }
      std::string bytes, type;
      if (path.empty() || !ReadImage(path, bytes, type)) return Plain(http::status::not_found, "no such image", version);
      http::response<http::string_body> response{http::status::ok, version};
      response.set(http::field::content_type, type);
      response.body() = std::move(bytes);
      Secure(response);
      response.prepare_payload();
      return response;
    }
    const Asset* asset = FindAsset(target == "/" ? "/index.html" : target);
    if (asset == nullptr) return Plain(http::status::not_found, "not found", version);
    http::response<http::string_body> response{http::status::ok, version};
    response.set(http::field::content_type, asset->type);
    response.body() = std::string(asset->body);
    Secure(response);
    response.prepare_payload();
    return response;
  }

  // The scene right after message N, for `?message=N`, or the changes to it
  // from message A, which the page shows, for `?message=N&from=A`.
  net::awaitable<http::response<http::string_body>> SeekAnswer(std::string_view query, unsigned version) {
    long message = -1, from = -1;
    for (size_t at = 0; at <= query.size();) {
      const size_t end = std::min(query.find('&', at), query.size());
      const std::string_view part = query.substr(at, end - at);
      const size_t equals = part.find('=');
      const std::string_view key = part.substr(0, equals);
      long* value = key == "message" ? &message : key == "from" ? &from : nullptr;
      if (value == nullptr || *value != -1 || equals == std::string_view::npos) {
        message = -1;
        break;
      }
      const std::string_view digits = part.substr(equals + 1);
      const auto [last, code] = std::from_chars(digits.data(), digits.data() + digits.size(), *value);
      if (code != std::errc() || last != digits.data() + digits.size() || *value < 0) {
        message = -1;
        break;
      }
      at = end + 1;
    }
    if (message < 0) {
      co_return Plain(http::status::bad_request, "expected ?message=N or ?message=N&from=A, N and A message numbers",
                      version);
    }
    if (seeking >= kMaxSeeks) co_return Plain(http::status::service_unavailable, "too many seeks at once", version);
    TimelineSpan span;
    {
      const std::lock_guard lock(mutex);
      span = timeline.Take(message, scene, from);
    }
    ++seeking;
    struct Done {
      int& seeking;
      ~Done() { --seeking; }
    } done{seeking};
    auto seek = [this, span = std::move(span)]() -> net::awaitable<std::string> {
      SeekResult result = Seek(span, checkImage);
      std::string answer = SeekJson(result);
      auto kept = std::make_shared<const Scene>(std::move(result.scene));
      {
        const std::lock_guard lock(mutex);
        kept = timeline.Remember(std::move(kept), result);
      }
      co_return answer;
    };
    http::response<http::string_body> response{http::status::ok, version};
    response.body() = co_await net::co_spawn(seeker, std::move(seek), net::use_awaitable);
    response.set(http::field::content_type, "application/json");
    Secure(response);
    response.prepare_payload();
    co_return response;
  }

  net::awaitable<void> Session(tcp::socket socket) {
    beast::tcp_stream stream(std::move(socket));
    beast::flat_buffer buffer(16384);
    try {
      for (;;) {
        http::request_parser<http::empty_body> parser;
        parser.header_limit(16384);
        stream.expires_after(30s);
        co_await http::async_read(stream, buffer, parser, net::use_awaitable);
        const auto& request = parser.get();
        std::string_view target = request.target();
        target = target.substr(0, target.find('?'));
        const unsigned version = request.version();
        http::response<http::string_body> response;
        if (std::find(hosts.begin(), hosts.end(), Lower(request[http::field::host])) == hosts.end()) {
          response = Plain(http::status::forbidden, "this server answers only to its own address", version);
        } else if (request.method() != http::verb::get) {
          response = Plain(http::status::method_not_allowed, "only GET", version);
        } else if (target == "/events") {
          const std::string origin = Lower(request[http::field::origin]);
          if (!origin.empty() && std::find(hosts.begin(), hosts.end(), origin.substr(origin.find("//") + 2)) ==
                                     hosts.end()) {
            response = Plain(http::status::forbidden, "the stream is only for this server's own page", version);
          } else if (std::count_if(pages.begin(), pages.end(), [](auto& p) { return !p->closed; }) >= kMaxPages) {
            response = Plain(http::status::service_unavailable,
                             "too many live views open (at most " + std::to_string(kMaxPages) + ")", version);
          } else {
            stream.expires_never();
            co_await OpenPage(stream.release_socket());
            co_return;
          }
        } else if (target == "/seek") {
          const std::string_view full = request.target();
          const size_t query = full.find('?');
          response = co_await SeekAnswer(query == std::string_view::npos ? "" : full.substr(query + 1), version);
        } else {
          response = Answer(request, target);
        }
        response.keep_alive(request.keep_alive());
        co_await http::async_write(stream, response, net::use_awaitable);
        if (!response.keep_alive()) break;
      }
    } catch (const std::exception&) {
      // The browser left or sent something that is not HTTP: drop the connection.
    }
    beast::error_code ignored;
    stream.socket().shutdown(tcp::socket::shutdown_both, ignored);
  }

  net::awaitable<void> OpenPage(tcp::socket socket) {
    auto page = std::make_shared<Page>(std::move(socket));
    pages.push_back(page);
    page->Push(std::make_shared<const std::string>(
        "HTTP/1.1 200 OK\r\nContent-Type: text/event-stream\r\nCache-Control: no-store\r\n"
        "X-Content-Type-Options: nosniff\r\nConnection: close\r\n\r\n"));
    net::co_spawn(io, WatchClose(page), net::detached);
    while (!page->closed) {
      if (page->queue.empty()) {
        page->wake.expires_at(net::steady_timer::time_point::max());
        beast::error_code ignored;
        co_await page->wake.async_wait(net::redirect_error(net::use_awaitable, ignored));
        continue;
      }
      const auto chunk = page->queue.front();
      page->queue.pop_front();
      page->queued -= chunk->size();
      page->writing = true;
      beast::error_code error;
      co_await net::async_write(page->socket, net::buffer(*chunk), net::redirect_error(net::use_awaitable, error));
      page->writing = false;
      if (error) break;
    }
    page->Close();
    std::erase(pages, page);
  }

  // A page sends nothing on its stream; a read ends when it leaves.
  net::awaitable<void> WatchClose(std::shared_ptr<Page> page) {
    char unused[256];
    beast::error_code error;
    while (!error && !page->closed) {
      co_await page->socket.async_read_some(net::buffer(unused), net::redirect_error(net::use_awaitable, error));
    }
    page->Close();
  }

  // Sends what changed to every page, and a fresh snapshot to each page that
  // has just joined or fell behind.
  net::awaitable<void> Tick() {
    net::steady_timer timer(io);
    long sent = -1;
    auto last_write = std::chrono::steady_clock::now();
    for (;;) {
      timer.expires_after(kTick);
      co_await timer.async_wait(net::use_awaitable);
      taken.clear();
      long messages = 0;
      long malformed = 0;
      bool resync = false;
      std::unique_ptr<Scene> copy;
      // Only a page that has taken all it was sent can take a snapshot now.
      const bool snapshots = std::any_of(pages.begin(), pages.end(), [](auto& p) {
        return p->needsSnapshot && !p->writing && p->queue.empty();
      });
      {
        const std::lock_guard lock(mutex);
        // The pipe's thread gets back a vector that has grown already.
        taken.swap(pending);
        pendingBytes = 0;
        resync = std::exchange(resyncAll, false);
        messages = scene.messages;
        malformed = scene.malformed;
        // Copied here and written out below, so the pipe's thread waits only for the copy.
        if (snapshots || resync) copy = std::make_unique<Scene>(scene);
      }
      std::shared_ptr<const std::string> snapshot;
      if (copy) snapshot = std::make_shared<const std::string>(Event("snapshot", SnapshotJson(*copy)));
      std::shared_ptr<const std::string> batch;
      if (!taken.empty() || messages != sent) {
        batch = std::make_shared<const std::string>(Event("batch", BatchJson(taken, messages, malformed)));
        sent = messages;
      }
      const auto now = std::chrono::steady_clock::now();
      if (!batch && now - last_write > kKeepAlive) batch = std::make_shared<const std::string>(": still here\n\n");
      if (batch) last_write = now;
      for (const auto& page : pages) {
        if (resync || page->queued > kMaxQueuedBytes) {
          page->queue.clear();
          page->queued = 0;
          page->needsSnapshot = true;
        }
        if (page->needsSnapshot) {
          // A page that has not taken its last write yet gets its snapshot later.
          if (snapshot && !page->writing && page->queue.empty()) {
            page->Push(snapshot);
            page->needsSnapshot = false;
          }
        } else if (batch) {
          page->Push(batch);
        }
      }
    }
  }

  void Record(std::vector<Change>::size_type from) {
    for (auto i = from; i < pending.size(); ++i) pendingBytes += ChangeBytes(pending[i]);
    if (pendingBytes > kMaxPendingBytes) {
      pending.clear();
      pendingBytes = 0;
      resyncAll = true;
    }
  }
};

View::View() : impl_(std::make_unique<Impl>()) {}
View::~View() = default;

bool View::Start(const std::string& address, uint16_t port, const std::string& images, std::string& error) {
  Impl& impl = *impl_;
  beast::error_code code;
  const auto ip = net::ip::make_address(address, code);
  if (code) {
    error = "not an IP address: " + address;
    return false;
  }
  const tcp::endpoint endpoint(ip, port);
  impl.acceptor.open(endpoint.protocol(), code);
  if (!code) impl.acceptor.set_option(net::socket_base::reuse_address(true), code);
  if (!code) impl.acceptor.bind(endpoint, code);
  if (!code) impl.acceptor.listen(net::socket_base::max_listen_connections, code);
  if (code) {
    error = "cannot listen on " + address + ":" + std::to_string(port) + ": " + code.message();
    return false;
  }
  const std::string bound = std::to_string(impl.acceptor.local_endpoint().port());
  const std::string host = ip.is_v6() ? "[" + address + "]" : address;
  impl.hosts = {Lower(host + ":" + bound)};
  if (ip.is_loopback()) impl.hosts.push_back("localhost:" + bound);
  impl.url = "http://" + host + ":" + bound + "/";
  impl.checkImage = [images](const std::string& path) { return CheckImage(images, path); };
  net::co_spawn(impl.io, impl.Accept(), net::detached);
  net::co_spawn(impl.io, impl.Tick(), net::detached);
  impl.thread = std::thread([&impl] { impl.io.run(); });
  return true;
}

std::string View::Url() const { return impl_->url; }

void View::OnMessage(int client, const uint8_t* bytes, size_t stored, size_t length, const Decoded& decoded,
                     int64_t time) {
  Impl& impl = *impl_;
  const std::lock_guard lock(impl.mutex);
  impl.timeline.Add(impl.scene, SessionEntry::kMessage, client, time, bytes, stored, length);
  const auto from = impl.pending.size();
  ApplyMessage(impl.scene, client, decoded, time / 1000, impl.checkImage, impl.pending);
  impl.Record(from);
}

void View::OnClient(int client, bool joined, int64_t time) {
  Impl& impl = *impl_;
  const std::lock_guard lock(impl.mutex);
  impl.timeline.Add(impl.scene, joined ? SessionEntry::kJoined : SessionEntry::kLeft, client, time, nullptr, 0, 0);
  const auto from = impl.pending.size();
  if (joined) {
    ClientJoined(impl.scene, client, impl.pending);
  } else {
    ClientLeft(impl.scene, client, impl.pending);
  }
  impl.Record(from);
}
