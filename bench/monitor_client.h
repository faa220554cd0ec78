// What the display host's benchmarks share: starting vesprine-monitor and
// reading what it says, asking its view over HTTP, a page's WebSocket that
// reads every message the monitor sends, and figures from lists of timings.
// Linux only: the benchmarks start the monitor and read /proc.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <boost/asio.hpp>
#include <boost/beast.hpp>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace bench {

namespace net = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;
using tcp = net::ip::tcp;
using Clock = std::chrono::steady_clock;

[[noreturn]] inline void Fail(const std::string& why) {
  std::fprintf(stderr, "benchmark: %s\n", why.c_str());
  std::exit(1);
}

inline double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// The value below which `fraction` of `values` lie (nearest rank).
inline double Percentile(std::vector<double> values, double fraction) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const auto rank = static_cast<size_t>(fraction * double(values.size()) + 0.999999);
  return values[std::clamp<size_t>(rank, 1, values.size()) - 1];
}
inline double Median(const std::vector<double>& values) { return Percentile(values, 0.5); }
inline double Least(const std::vector<double>& values) { return *std::min_element(values.begin(), values.end()); }
inline double Most(const std::vector<double>& values) { return *std::max_element(values.begin(), values.end()); }

// "median (min - max)", each with `digits` decimals.
inline std::string Spread(const std::vector<double>& values, int digits = 3) {
  char text[96];
  std::snprintf(text, sizeof(text), "%.*f (%.*f - %.*f)", digits, Median(values), digits, Least(values), digits,
                Most(values));
  return text;
}

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// A vesprine-monitor process. Its standard output goes to a file (or
// /dev/null), its standard error to another that is read for what it says.
class Monitor {
 public:
  Monitor(std::vector<std::string> args, const std::string& out, const std::string& err) : err_(err) {
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (posix_spawn(&pid_, args[0].c_str(), &actions, nullptr, argv.data(), environ) != 0) {
      Fail("cannot start " + args[0]);
    }
    posix_spawn_file_actions_destroy(&actions);
  }
  Monitor(const Monitor&) = delete;
  Monitor& operator=(const Monitor&) = delete;
  ~Monitor() { Stop(); }

  // Waits until the monitor has said `text`; fails when it ends first.
  void WaitFor(const std::string& text, double seconds = 900) {
    const auto end = Clock::now() + std::chrono::duration<double>(seconds);
    while (Said().find(text) == std::string::npos) {
      if (Ended() || Clock::now() > end) Fail("the monitor did not say \"" + text + "\": " + Said());
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }
  std::string Said() const { return ReadFile(err_); }
  // The view's port, from "live view at http://127.0.0.1:PORT/".
  int Port() {
    WaitFor("live view at ");
    const std::string said = Said();
    const size_t at = said.find("http://127.0.0.1:");
    if (at == std::string::npos) Fail("no view address in: " + said);
    return std::atoi(said.c_str() + at + 17);
  }
  pid_t pid() const { return pid_; }
  bool Ended() {
    if (pid_ <= 0) return true;
    if (waitpid(pid_, &status_, WNOHANG) == pid_) pid_ = 0;
    return pid_ <= 0;
  }
  // Waits for the monitor to end by itself; its exit status, or -1 after
  // `seconds` (then it is killed).
  int Wait(double seconds) {
    const auto end = Clock::now() + std::chrono::duration<double>(seconds);
    while (!Ended()) {
      if (Clock::now() > end) {
        kill(pid_, SIGKILL);
        waitpid(pid_, &status_, 0);
        pid_ = 0;
        return -1;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return WIFEXITED(status_) ? WEXITSTATUS(status_) : -1;
  }
  void Stop() {
    if (Ended()) return;
    kill(pid_, SIGTERM);
    if (Wait(10) < 0) std::fputs("benchmark: the monitor did not end on SIGTERM; killed\n", stderr);
  }
  // A field of /proc/PID/status in KiB (VmRSS: resident now, VmHWM: at most).
  long Kib(const char* field) const {
    std::ifstream status("/proc/" + std::to_string(pid_) + "/status");
    for (std::string line; std::getline(status, line);) {
      if (line.rfind(field, 0) == 0) return std::atol(line.c_str() + std::strlen(field) + 1);
    }
    return 0;
  }

 private:
  std::string err_;
  pid_t pid_ = 0;
  int status_ = 0;
};

// Asks the view over HTTP/1.1 on one kept-alive connection.
class HttpClient {
 public:
  explicit HttpClient(int port) : port_(port) {}

  // GET `target`: the status, and the body in `body`.
  int Get(const std::string& target, std::string& body) {
    for (int attempt = 0;; ++attempt) {
      beast::error_code error;
      if (!open_) {
        stream_.connect(tcp::endpoint(net::ip::address_v4::loopback(), static_cast<uint16_t>(port_)), error);
        if (error) Fail("cannot reach the view: " + error.message());
        open_ = true;
      }
      http::request<http::empty_body> request{http::verb::get, target, 11};
      request.set(http::field::host, "127.0.0.1:" + std::to_string(port_));
      http::write(stream_, request, error);
      http::response_parser<http::string_body> parser;
      parser.body_limit(boost::none);
      if (!error) http::read(stream_, buffer_, parser, error);
      if (error) {
        // A connection the server closed between two requests: once more on a new one.
        stream_.close();
        buffer_.clear();
        open_ = false;
        if (attempt == 0) continue;
        Fail("GET " + target + ": " + error.message());
      }
      if (!parser.get().keep_alive()) {
        stream_.close();
        buffer_.clear();
        open_ = false;
      }
      body = std::move(parser.get().body());
      return parser.get().result_int();
    }
  }

 private:
  int port_;
  net::io_context io_;
  beast::tcp_stream stream_{io_};
  beast::flat_buffer buffer_;
  bool open_ = false;
};

// A page's live view: a WebSocket on /live whose every message is read, on
// a thread of its own, as the page reads them. Frames are noted with when
// they arrived and which message they show.
class LivePage {
 public:
  struct Frame {
    Clock::time_point at;
    int64_t message = 0;
    uint32_t tiles = 0;
    size_t bytes = 0;
  };

  explicit LivePage(int port) : ws_(io_) {
    tcp::socket& socket = ws_.next_layer();
    socket.connect(tcp::endpoint(net::ip::address_v4::loopback(), static_cast<uint16_t>(port)));
    ws_.read_message_max(size_t{1} << 30);
    ws_.handshake("127.0.0.1:" + std::to_string(port), "/live");
    thread_ = std::thread([this] { Read(); });
  }
  LivePage(const LivePage&) = delete;
  LivePage& operator=(const LivePage&) = delete;
  ~LivePage() {
    // Unblocks the reading thread whatever it waits for.
    ::shutdown(ws_.next_layer().native_handle(), SHUT_RDWR);
    thread_.join();
  }

  // Waits until a frame shows message `message` or later; false after `seconds`.
  bool WaitForMessage(int64_t message, double seconds) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::duration<double>(seconds),
                             [&] { return closed_ || (!frames_.empty() && frames_.back().message >= message); }) &&
           !frames_.empty() && frames_.back().message >= message;
  }
  std::vector<Frame> Frames() {
    const std::lock_guard lock(mutex_);
    return frames_;
  }
  void Forget() {
    const std::lock_guard lock(mutex_);
    frames_.clear();
  }
  // The message of the latest frame received, -1 before the first.
  int64_t LatestMessage() {
    const std::lock_guard lock(mutex_);
    return frames_.empty() ? -1 : frames_.back().message;
  }
  bool Closed() {
    const std::lock_guard lock(mutex_);
    return closed_;
  }
  uint64_t Bytes() const { return bytes_.load(); }

 private:
  void Read() {
    beast::flat_buffer buffer;
    for (;;) {
      beast::error_code error;
      const size_t size = ws_.read(buffer, error);
      if (error) break;
      bytes_ += size;
      if (ws_.got_binary() && size >= 24) {
        const auto* data = static_cast<const uint8_t*>(buffer.data().data());
        Frame frame;
        frame.at = Clock::now();
        std::memcpy(&frame.tiles, data + 12, 4);
        std::memcpy(&frame.message, data + 16, 8);
        frame.bytes = size;
        const std::lock_guard lock(mutex_);
        frames_.push_back(frame);
        changed_.notify_all();
      }
      buffer.consume(buffer.size());
    }
    const std::lock_guard lock(mutex_);
    closed_ = true;
    changed_.notify_all();
  }

  net::io_context io_;
  websocket::stream<tcp::socket> ws_;
  std::thread thread_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<Frame> frames_;
  bool closed_ = false;
  std::atomic<uint64_t> bytes_{0};
};

// A page that asks for points of the timeline over its WebSocket, as the
// page does ({"t":"seek","message":N}), and reads, on the calling thread,
// until a frame shows each one.
class SeekingPage {
 public:
  explicit SeekingPage(int port) : ws_(io_) {
    ws_.next_layer().connect(tcp::endpoint(net::ip::address_v4::loopback(), static_cast<uint16_t>(port)));
    ws_.read_message_max(size_t{1} << 30);
    ws_.handshake("127.0.0.1:" + std::to_string(port), "/live");
    ReadFrame(-1);
  }

  // Milliseconds from asking for message `message` to a frame that shows it.
  double Seek(int64_t message) {
    const auto start = Clock::now();
    ws_.text(true);
    ws_.write(net::buffer(R"({"t":"seek","message":)" + std::to_string(message) + "}"));
    ReadFrame(message);
    return Seconds(Clock::now() - start) * 1e3;
  }

 private:
  // Reads until a frame shows `message` (any frame, for -1).
  void ReadFrame(int64_t message) {
    for (;;) {
      buffer_.consume(buffer_.size());
      ws_.read(buffer_);
      if (!ws_.got_binary() || buffer_.size() < 24) continue;
      int64_t shown = 0;
      std::memcpy(&shown, static_cast<const uint8_t*>(buffer_.data().data()) + 16, 8);
      if (message < 0 || shown == message) return;
    }
  }

  net::io_context io_;
  websocket::stream<tcp::socket> ws_;
  beast::flat_buffer buffer_;
};

}  // namespace bench
