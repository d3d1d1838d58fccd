#!/usr/bin/env bash
# Source rules that the compiler cannot check:
#  - only src/platform talks to the operating system directly;
#  - every C++ file is formatted with the repository's clang-format configuration.
set -euo pipefail
cd "$(dirname "$0")/.."

status=0
os_headers='#include <(unistd|dlfcn|fcntl|pthread|netdb|poll|windows|winsock2?|arpa/[a-z_]+|netinet/[a-z_]+|sys/[a-z_]+)\.h>'
if hits=$(git ls-files '*.h' '*.cc' | grep -v '^src/platform/' | xargs grep -n -E "$os_headers"); then
  echo "Operating-system headers outside src/platform:"
  echo "$hits"
  status=1
fi

if command -v clang-format >/dev/null; then
  if ! git ls-files '*.h' '*.cc' | xargs clang-format --dry-run --Werror 2>/dev/null; then
    echo "Files not formatted with clang-format (run: git ls-files '*.h' '*.cc' | xargs clang-format -i):"
    git ls-files '*.h' '*.cc' | xargs clang-format --dry-run 2>&1 | grep -o '^[^:]*:' | sort -u
    status=1
  fi
fi
exit $status
