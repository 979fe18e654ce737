// The window tests run with one QApplication for the whole process, on Qt's
// offscreen platform unless another was asked for.
#include <gtest/gtest.h>

#include <QApplication>

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  ::testing::InitGoogleTest(&argc, argv);
  QApplication aplikace(argc, argv);
  return RUN_ALL_TESTS();
}
