// GoogleTest entry point for the widget tests: one QApplication on the
// offscreen platform, so the suite runs without a display.
#include <gtest/gtest.h>

#include <QApplication>

#if defined(__SANITIZE_ADDRESS__)
// fontconfig holds its caches until the QApplication shuts down. A test whose
// process ends inside a run (the colour check exits) never gets there, and
// those caches are no leak of ours.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
#endif

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  ::testing::InitGoogleTest(&argc, argv);
  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Orbelt"));
  return RUN_ALL_TESTS();
}
