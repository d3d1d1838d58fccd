// Paths whose next scan must not use a cache, with their own lock.
#pragma once

#include <boost/thread/recursive_mutex.hpp>
#include <set>
#include <string>

namespace sondrel {

struct CacheExclusions {
  std::set<std::wstring> paths;
  boost::recursive_mutex lock;
};

}  // namespace sondrel
