// The main of every test program: library loggers write into a private file (see log_capture.h).
#include <gtest/gtest.h>

#include "support/log_capture.h"

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  sondrel::test::InstallTestLogging();
  return RUN_ALL_TESTS();
}
