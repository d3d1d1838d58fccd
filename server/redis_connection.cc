#include "server/redis_connection.h"

#include <array>
#include <boost/asio/connect.hpp>
#include <boost/asio/read.hpp>
#include <boost/asio/write.hpp>
#include <charconv>
#include <string_view>

namespace sondrel::server {

namespace asio = boost::asio;
using tcp = asio::ip::tcp;

namespace {

enum class ReplyStart { Incomplete, Acceptable, Refused };

// Our commands are answered with a status, an error, an integer or a bulk string (nil included).
// Anything else, an array above all, whose element count hiredis would allocate for at once, and
// a bulk string longer than any entry are refused from their first line, before hiredis sees
// them.
ReplyStart CheckReplyStart(std::string_view head) {
  if (head.empty()) {
    return ReplyStart::Incomplete;
  }
  switch (head.front()) {
    case '+':
    case '-':
    case ':':
      return ReplyStart::Acceptable;
    case '$':
      break;
    default:
      return ReplyStart::Refused;
  }
  constexpr size_t kLongestLengthLine = 1 + 20 + 2;
  const size_t end = head.find("\r\n");
  if (end == std::string_view::npos) {
    return head.size() < kLongestLengthLine ? ReplyStart::Incomplete : ReplyStart::Refused;
  }
  const std::string_view digits = head.substr(1, end - 1);
  if (digits == "-1") {
    return ReplyStart::Acceptable;
  }
  size_t length = 0;
  const auto [stop, error] = std::from_chars(digits.data(), digits.data() + digits.size(), length);
  if (digits.empty() || error != std::errc() || stop != digits.data() + digits.size() ||
      length > RedisConnection::kLongestReply) {
    return ReplyStart::Refused;
  }
  return ReplyStart::Acceptable;
}

}  // namespace

RedisConnection::RedisConnection() : socket_(io_), reader_(redisReaderCreate(), &redisReaderFree) {}

RedisConnection::~RedisConnection() {
  boost::system::error_code ignored;
  socket_.close(ignored);
}

template <typename Start>
bool RedisConnection::RunUntil(Clock::time_point deadline, Start start) {
  bool done = false;
  io_.restart();
  start(done);
  io_.run_until(deadline);
  if (done) {
    return true;
  }
  boost::system::error_code ignored;
  socket_.close(ignored);
  // The cancelled operations complete now.
  io_.restart();
  io_.run();
  return false;
}

std::vector<tcp::endpoint> RedisConnection::Resolve(const RedisAddress& address,
                                                    std::string& problem) {
  asio::io_context io;
  tcp::resolver resolver(io);
  boost::system::error_code error;
  const auto results = resolver.resolve(address.host, std::to_string(address.port), error);
  std::vector<tcp::endpoint> endpoints;
  if (error) {
    problem = "cannot resolve " + address.host + ": " + error.message();
    return endpoints;
  }
  for (const auto& result : results) {
    endpoints.push_back(result.endpoint());
  }
  if (endpoints.empty()) {
    problem = "no address for " + address.host;
  }
  return endpoints;
}

std::unique_ptr<RedisConnection> RedisConnection::Open(const std::vector<tcp::endpoint>& endpoints,
                                                       std::chrono::milliseconds timeout,
                                                       std::string& problem) {
  std::unique_ptr<RedisConnection> connection(new RedisConnection());
  if (connection->reader_ == nullptr) {
    problem = "no memory for a reply reader";
    return nullptr;
  }
  boost::system::error_code error;
  const bool finished = connection->RunUntil(Clock::now() + timeout, [&](bool& done) {
    asio::async_connect(connection->socket_, endpoints,
                        [&](const boost::system::error_code& connectError, const auto&) {
                          error = connectError;
                          done = true;
                        });
  });
  if (!finished) {
    problem = "no connection within the time-out";
    return nullptr;
  }
  if (error) {
    problem = "cannot connect: " + error.message();
    return nullptr;
  }
  connection->socket_.set_option(tcp::no_delay(true), error);
  return connection;
}

RedisReplyPtr RedisConnection::Command(const std::vector<std::string>& arguments,
                                       std::chrono::milliseconds timeout, std::string& problem) {
  std::vector<const char*> pointers;
  std::vector<size_t> lengths;
  for (const std::string& argument : arguments) {
    pointers.push_back(argument.data());
    lengths.push_back(argument.size());
  }
  char* formatted = nullptr;
  const int length = redisFormatCommandArgv(&formatted, static_cast<int>(arguments.size()),
                                            pointers.data(), lengths.data());
  if (length < 0 || formatted == nullptr) {
    problem = "no memory for a command";
    return nullptr;
  }
  const std::unique_ptr<char, decltype(&redisFreeCommand)> command(formatted, &redisFreeCommand);

  const Clock::time_point deadline = Clock::now() + timeout;
  boost::system::error_code error;
  if (!RunUntil(deadline, [&](bool& done) {
        asio::async_write(socket_, asio::buffer(formatted, static_cast<size_t>(length)),
                          [&](const boost::system::error_code& writeError, size_t) {
                            error = writeError;
                            done = true;
                          });
      })) {
    problem = "the command was not taken within the time-out";
    return nullptr;
  }
  if (error) {
    problem = "cannot send: " + error.message();
    return nullptr;
  }

  std::array<char, 4096> buffer;
  size_t received = 0;
  // The bytes before the reply's first line is known acceptable, kept from hiredis until then.
  std::string head;
  bool headChecked = false;
  while (true) {
    void* reply = nullptr;
    if (redisReaderGetReply(reader_.get(), &reply) != REDIS_OK) {
      problem = std::string("an answer that is not Redis's protocol: ") + reader_->errstr;
      return nullptr;
    }
    if (reply != nullptr) {
      RedisReplyPtr owned(static_cast<redisReply*>(reply));
      if (reader_->pos < reader_->len) {
        problem = "more answers than commands";
        return nullptr;
      }
      return owned;
    }
    if (received >= kLongestReply) {
      problem = "an answer longer than any entry";
      return nullptr;
    }
    size_t read = 0;
    if (!RunUntil(deadline, [&](bool& done) {
          socket_.async_read_some(asio::buffer(buffer),
                                  [&](const boost::system::error_code& readError, size_t bytes) {
                                    error = readError;
                                    read = bytes;
                                    done = true;
                                  });
        })) {
      problem = "no answer within the time-out";
      return nullptr;
    }
    if (error) {
      problem = error == asio::error::eof ? "the connection was closed"
                                          : "cannot receive: " + error.message();
      return nullptr;
    }
    received += read;
    std::string_view fed(buffer.data(), read);
    if (!headChecked) {
      head.append(fed);
      const ReplyStart start = CheckReplyStart(head);
      if (start == ReplyStart::Refused) {
        problem = "an answer that is not one of those our commands get";
        return nullptr;
      }
      if (start == ReplyStart::Incomplete) {
        continue;
      }
      headChecked = true;
      fed = head;
    }
    if (redisReaderFeed(reader_.get(), fed.data(), fed.size()) != REDIS_OK) {
      problem = "no memory for an answer";
      return nullptr;
    }
  }
}

}  // namespace sondrel::server
