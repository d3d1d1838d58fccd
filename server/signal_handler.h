// The signals the server answers: SIGHUP reloads the signatures, SIGTERM and SIGINT stop it. The
// handlers run on an I/O thread, one signal at a time.
#pragma once

#include <boost/asio/io_context.hpp>
#include <boost/asio/signal_set.hpp>
#include <functional>

namespace sondrel::server {

class SignalHandler {
 public:
  SignalHandler(boost::asio::io_context& io, std::function<void()> onReload,
                std::function<void()> onStop);
  void Start();
  void Stop();

 private:
  void Wait();

  boost::asio::signal_set signals_;
  const std::function<void()> onReload_;
  const std::function<void()> onStop_;
};

}  // namespace sondrel::server
