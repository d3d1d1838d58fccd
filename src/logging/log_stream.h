// The text stream of a logging statement: texts and numbers are streamed one after the other
// without separators; wide texts are converted to UTF-8; small integer types print as numbers.
#pragma once

#include <ostream>
#include <sstream>
#include <string>
#include <string_view>

namespace qx {
class StringT;
}

namespace sondrel {

class LogStream {
 public:
  template <typename T>
  LogStream& operator<<(const T& value) {
    stream_ << value;
    return *this;
  }
  LogStream& operator<<(std::ostream& (*manipulator)(std::ostream&)) {
    stream_ << manipulator;
    return *this;
  }
  LogStream& operator<<(std::ios_base& (*manipulator)(std::ios_base&)) {
    stream_ << manipulator;
    return *this;
  }
  LogStream& operator<<(unsigned char value) { return *this << static_cast<unsigned>(value); }
  LogStream& operator<<(signed char value) { return *this << static_cast<int>(value); }
  LogStream& operator<<(const wchar_t* text);
  LogStream& operator<<(std::wstring_view text);
  LogStream& operator<<(const std::wstring& text) { return *this << std::wstring_view(text); }
  LogStream& operator<<(const qx::StringT& text);

  std::string str() const { return stream_.str(); }

 private:
  std::ostringstream stream_;
};

}  // namespace sondrel
