// Sets an environment variable for the life of the object and restores its previous value.
#pragma once

#include <cstdlib>
#include <optional>
#include <string>

namespace sondrel::test {

class ScopedEnv {
 public:
  // A null value unsets the variable.
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) {
      previous_ = old;
    }
    Set(value);
  }
  ~ScopedEnv() { Set(previous_ ? previous_->c_str() : nullptr); }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  void Set(const char* value) {
    if (value != nullptr) {
      setenv(name_.c_str(), value, 1);
    } else {
      unsetenv(name_.c_str());
    }
  }

  std::string name_;
  std::optional<std::string> previous_;
};

}  // namespace sondrel::test
