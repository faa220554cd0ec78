// A page of the live view, for tests: connects to the monitor's WebSocket,
// reads every frame and state it is sent, and asks now for a point of the
// timeline, now for live, every few milliseconds, for SECONDS seconds.
// Prints how many frames it read; exits 1 when it could not connect or the
// monitor closed the connection.
// usage: page_reader URL SECONDS MESSAGES   (URL as the monitor prints it)
#include <boost/asio.hpp>
#include <boost/beast.hpp>
#include <chrono>
#include <cstdio>
#include <random>
#include <string>

namespace net = boost::asio;
namespace beast = boost::beast;
namespace websocket = beast::websocket;
using tcp = net::ip::tcp;

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fputs("usage: page_reader URL SECONDS MESSAGES\n", stderr);
    return 2;
  }
  const std::string url = argv[1];
  const std::string host = url.substr(7, url.find('/', 7) - 7);
  const std::string port = host.substr(host.rfind(':') + 1);
  const auto seconds = std::stoi(argv[2]);
  const auto messages = std::stoll(argv[3]);
  net::io_context io;
  websocket::stream<tcp::socket> ws(io);
  beast::flat_buffer buffer;
  long frames = 0, states = 0;
  bool closed = false;
  try {
    tcp::resolver resolver(io);
    net::connect(ws.next_layer(), resolver.resolve(host.substr(0, host.rfind(':')), port));
    // The token, when the address has one, goes along: whether the monitor needs it is for it to say.
    const size_t query = url.find('?');
    ws.handshake(host, query == std::string::npos ? "/live" : "/live" + url.substr(query));
  } catch (const std::exception& error) {
    std::fprintf(stderr, "page_reader: cannot open the live view: %s\n", error.what());
    return 1;
  }
  std::function<void()> read = [&] {
    ws.async_read(buffer, [&](beast::error_code error, size_t) {
      if (error) {
        closed = true;
        return;
      }
      (ws.got_binary() ? frames : states) += 1;
      buffer.consume(buffer.size());
      read();
    });
  };
  read();
  // Asks for a random point, or for live, one message at a time.
  std::mt19937 random(7);
  std::string asked;
  net::steady_timer timer(io);
  bool writing = false;
  std::function<void()> ask = [&] {
    timer.expires_after(std::chrono::milliseconds(15));
    timer.async_wait([&](beast::error_code error) {
      if (error || closed) return;
      if (!writing) {
        asked = random() % 4 == 0 ? R"({"t":"live"})"
                                  : R"({"t":"seek","message":)" + std::to_string(random() % (messages + 1)) + "}";
        writing = true;
        ws.text(true);
        ws.async_write(net::buffer(asked), [&](beast::error_code, size_t) { writing = false; });
      }
      ask();
    });
  };
  ask();
  io.run_for(std::chrono::seconds(seconds));
  std::printf("page_reader: %ld frames and %ld states read\n", frames, states);
  return closed || frames == 0 ? 1 : 0;
}
