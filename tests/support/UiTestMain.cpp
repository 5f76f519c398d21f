#include <gtest/gtest.h>

#include "UiTestSupport.h"

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  ::testing::InitGoogleTest(&argc, argv);
  return RunWindowTests(argc, argv);
}
