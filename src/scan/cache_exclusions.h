// Paths whose next scan must not use a cache. A server names them during a conversation; each
// stored path excludes exactly one later request for that file.
#pragma once

#include <boost/thread/recursive_mutex.hpp>
#include <set>
#include <string>
#include <string_view>

namespace sondrel {

class CacheExclusions {
 public:
  // Stores a host path (narrow text): in its device form when the system knows a device for its
  // drive, otherwise as it stands. A path that cannot be converted, or is longer than a path can
  // be, is skipped.
  void Add(std::string_view path);
  // Whether the path, as it stands or in its device form, is stored; a stored path is removed.
  bool Take(std::string_view path);
  bool empty();

 private:
  std::set<std::wstring> paths_;
  boost::recursive_mutex lock_;
};

}  // namespace sondrel
