// An io_context run by a thread of its own for as long as the object lives, like a session's
// I/O thread.
#pragma once

#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <thread>

namespace sondrel::test {

class IoThread {
 public:
  IoThread() : work_(io_.get_executor()), thread_([this] { io_.run(); }) {}
  ~IoThread() {
    work_.reset();
    io_.stop();
    thread_.join();
  }
  IoThread(const IoThread&) = delete;
  IoThread& operator=(const IoThread&) = delete;

  boost::asio::io_context& io() { return io_; }

 private:
  boost::asio::io_context io_;
  boost::asio::executor_work_guard<boost::asio::io_context::executor_type> work_;
  std::thread thread_;
};

}  // namespace sondrel::test
