#include "server/signal_handler.h"

#include <csignal>

namespace sondrel::server {

SignalHandler::SignalHandler(boost::asio::io_context& io, std::function<void()> onReload,
                             std::function<void()> onStop)
    : signals_(io, SIGHUP, SIGTERM, SIGINT),
      onReload_(std::move(onReload)),
      onStop_(std::move(onStop)) {}

void SignalHandler::Start() {
  Wait();
}

void SignalHandler::Stop() {
  boost::system::error_code ignored;
  signals_.cancel(ignored);
}

void SignalHandler::Wait() {
  signals_.async_wait([this](const boost::system::error_code& error, int signal) {
    if (error) {
      return;
    }
    if (signal == SIGHUP) {
      onReload_();
    } else {
      onStop_();
    }
    Wait();
  });
}

}  // namespace sondrel::server
