// The application object: one modal run of the main dialog, whatever way it
// closes, and the help command.
#include "app/COrbeltApp.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QTest>

#include "tests/app/ModalHelpers.h"
#include "tests/app/ScriptedDialogServices.h"

namespace orbelt {
namespace {

TEST(COrbeltAppTest, InitialisationRunsTheDialogUntilItClosesAndAsksForNoMessageLoop) {
  struct Case {
    const char* how;
    std::function<void(QWidget*)> close;
  };
  const Case cases[] = {
      {"Escape", [](QWidget* d) { QTest::keyClick(d, Qt::Key_Escape); }},
      {"close box", [](QWidget* d) { d->close(); }},
      {"Enter with every box valid", [](QWidget* d) { QTest::keyClick(d, Qt::Key_Return); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.how);
    ScriptedDialogServices services;
    COrbeltApp app({}, &services);
    std::string caption;
    bool wasMain = false;
    WindowWatcher watcher([&](QWidget* window) {
      caption = window->windowTitle().toStdString();
      wasMain = window == app.mainWindow();
      c.close(window);
    });
    EXPECT_FALSE(app.initInstance());
    EXPECT_TRUE(watcher.ran());
    EXPECT_TRUE(wasMain);
    EXPECT_EQ(caption, "Orbelt");
    EXPECT_EQ(app.mainWindow(), nullptr);  // destroyed with the run
    EXPECT_TRUE(services.messages.empty());
  }
}

TEST(COrbeltAppTest, EnterWithABadBoxKeepsTheProgramRunning) {
  ScriptedDialogServices services;
  COrbeltApp app({}, &services);
  bool stillOpen = false;
  WindowWatcher watcher([&](QWidget* window) {
    auto* lambda = window->findChild<QLineEdit*>(QStringLiteral("IDC_1009"));
    lambda->setText(QStringLiteral("abc"));
    lambda->setFocus();
    QTest::keyClick(lambda, Qt::Key_Return);
    stillOpen = window->isVisible();
    QTest::keyClick(window, Qt::Key_Escape);
  });
  EXPECT_FALSE(app.initInstance());
  EXPECT_TRUE(stillOpen);
  EXPECT_EQ(services.messages, std::vector<std::string>{"숫자를 입력하십시오."});
}

TEST(COrbeltAppTest, F1InTheDialogShowsTheHelpText) {
  ScriptedDialogServices services;
  COrbeltApp app({}, &services);
  WindowWatcher watcher([&](QWidget* window) {
    QTest::keyClick(window, Qt::Key_F1);
    QTest::keyClick(window, Qt::Key_Escape);
  });
  EXPECT_FALSE(app.initInstance());
  EXPECT_EQ(services.messages, std::vector<std::string>{kHelpText});
}

TEST(COrbeltAppTest, TheCommandMapHandlesOnlyHelp) {
  ScriptedDialogServices services;
  COrbeltApp app({}, &services);
  EXPECT_TRUE(app.onCmdMsg(kCommandHelp));
  EXPECT_FALSE(app.onCmdMsg(1010));
  EXPECT_FALSE(app.onCmdMsg(kCommandHelp + 1));
  EXPECT_EQ(services.messages.size(), 1u);
}

}  // namespace
}  // namespace orbelt
