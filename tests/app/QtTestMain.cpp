// GoogleTest entry point for the widget tests: one QApplication on the
// offscreen platform, so the suite runs without a display.
#include <gtest/gtest.h>

#include <QApplication>

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  ::testing::InitGoogleTest(&argc, argv);
  QApplication application(argc, argv);
  QApplication::setApplicationDisplayName(QStringLiteral("Orbelt"));
  return RUN_ALL_TESTS();
}
