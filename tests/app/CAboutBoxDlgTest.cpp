#include "app/CAboutBoxDlg.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QTest>

namespace orbelt {
namespace {

TEST(CAboutBoxDlgTest, ShowsTheIconTheVersionAndADefaultConfirmButton) {
  CAboutBoxDlg about;
  EXPECT_EQ(about.windowTitle().toStdString(), "Orbelt 정보");
  const PixelRect client = dluToPixels({0, 0, 235, 55}, about.baseUnits());
  EXPECT_EQ(about.size(), QSize(client.width, client.height));

  const auto& controls = about.controls();
  ASSERT_EQ(controls.size(), 3u);
  auto* icon = qobject_cast<QLabel*>(controls[0]);
  ASSERT_NE(icon, nullptr);
  EXPECT_FALSE(icon->pixmap().isNull());
  const PixelRect iconRect = dluToPixels({11, 17, 20, 20}, about.baseUnits());
  EXPECT_EQ(icon->geometry(), QRect(iconRect.x, iconRect.y, iconRect.width, iconRect.height));

  auto* version = qobject_cast<QLabel*>(controls[1]);
  ASSERT_NE(version, nullptr);
  EXPECT_EQ(version->text().toStdString(), "Orbelt 버전 1.0");
  const PixelRect versionRect = dluToPixels({40, 10, 119, 8}, about.baseUnits());
  EXPECT_EQ(version->geometry(), QRect(versionRect.x, versionRect.y, versionRect.width, versionRect.height));

  auto* ok = qobject_cast<QPushButton*>(controls[2]);
  ASSERT_NE(ok, nullptr);
  EXPECT_EQ(ok->text().toStdString(), "확인");
  EXPECT_EQ(ok->property("controlId").toInt(), 1);
  EXPECT_TRUE(ok->isDefault());
  const PixelRect okRect = dluToPixels({178, 7, 50, 14}, about.baseUnits());
  EXPECT_EQ(ok->geometry(), QRect(okRect.x, okRect.y, okRect.width, okRect.height));
}

TEST(CAboutBoxDlgTest, ClosesWithTheButtonEnterOrEscape) {
  struct Case {
    const char* how;
    std::function<void(CAboutBoxDlg&)> close;
    int result;
  };
  const Case cases[] = {
      {"click", [](CAboutBoxDlg& d) { qobject_cast<QPushButton*>(d.control(1))->click(); }, QDialog::Accepted},
      {"Enter", [](CAboutBoxDlg& d) { QTest::keyClick(&d, Qt::Key_Return); }, QDialog::Accepted},
      {"Escape", [](CAboutBoxDlg& d) { QTest::keyClick(&d, Qt::Key_Escape); }, QDialog::Rejected},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.how);
    CAboutBoxDlg about;
    about.show();
    c.close(about);
    EXPECT_FALSE(about.isVisible());
    EXPECT_EQ(about.result(), c.result);
  }
}

}  // namespace
}  // namespace orbelt
