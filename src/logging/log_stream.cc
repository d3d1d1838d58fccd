#include "logging/log_stream.h"

#include "platform/utf8.h"
#include "qx/string_t.h"

namespace sondrel {

LogStream& LogStream::operator<<(const wchar_t* text) {
  return *this << (text != nullptr ? std::wstring_view(text) : std::wstring_view());
}

LogStream& LogStream::operator<<(std::wstring_view text) {
  stream_ << platform::ToUtf8(text);
  return *this;
}

LogStream& LogStream::operator<<(const qx::StringT& text) {
  return *this << text.View();
}

}  // namespace sondrel
