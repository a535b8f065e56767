// The main dialog's window as built from its template: every control with its
// id, kind, text and position, the tab order, the radio group, the caption,
// the size and a font that can show Korean.
#include "app/TemplateDialog.h"

#include <gtest/gtest.h>

#include <QButtonGroup>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "app/COrbeltDlg.h"
#include "tests/app/ScriptedDialogServices.h"

namespace orbelt {
namespace {

enum class Kind { Radio, Label, Edit, Button, Group };

struct Expected {
  int id;  // -1: no id
  Kind kind;
  const char* text;
  DluRect rect;
};

// Written out from the dialog's design, independently of the resource table.
const Expected kMainControls[] = {
    {1013, Kind::Radio, "logChrom", {24, 49, 47, 10}},
    {1014, Kind::Radio, "original RGB", {75, 49, 56, 10}},
    {-1, Kind::Label, "HalfWinSize :", {24, 86, 46, 11}},
    {1001, Kind::Edit, "", {71, 82, 25, 14}},
    {-1, Kind::Label, "SigmaS :", {24, 102, 31, 8}},
    {1002, Kind::Edit, "", {60, 99, 24, 14}},
    {-1, Kind::Label, "SigmaP :", {24, 118, 31, 8}},
    {1003, Kind::Edit, "", {60, 116, 24, 14}},
    {-1, Kind::Label, "Base disparity :", {24, 150, 52, 8}},
    {1004, Kind::Edit, "", {85, 148, 25, 14}},
    {-1, Kind::Label, "Disparity Range : ", {24, 169, 59, 8}},
    {1005, Kind::Edit, "", {85, 166, 26, 14}},
    {-1, Kind::Label, "Display Level :", {24, 186, 49, 8}},
    {1006, Kind::Edit, "", {84, 185, 28, 14}},
    {-1, Kind::Label, "Smoothness Exponent :", {22, 233, 79, 8}},
    {1007, Kind::Edit, "", {103, 229, 21, 14}},
    {-1, Kind::Label, "Smoothness Max :", {23, 251, 63, 8}},
    {1008, Kind::Edit, "", {91, 248, 22, 14}},
    {-1, Kind::Label, "Lambda :", {24, 270, 32, 8}},
    {1009, Kind::Edit, "", {64, 267, 22, 14}},
    {1010, Kind::Button, "Compute Disparity Map", {19, 294, 117, 25}},
    {1012, Kind::Button, "Load Input Images", {20, 10, 122, 23}},
    {-1, Kind::Group, "Disparity Param ", {18, 137, 122, 70}},
    {-1, Kind::Group, "Graphcut smoothness Param ", {17, 215, 124, 70}},
    {-1, Kind::Group, "ANCC Param", {19, 73, 122, 59}},
    {-1, Kind::Group, "Select Color", {20, 37, 122, 32}},
};

std::string kindAndText(QWidget* w, Kind& kind) {
  if (auto* r = qobject_cast<QRadioButton*>(w)) return kind = Kind::Radio, r->text().toStdString();
  if (auto* l = qobject_cast<QLabel*>(w)) return kind = Kind::Label, l->text().toStdString();
  if (qobject_cast<QLineEdit*>(w) != nullptr) return kind = Kind::Edit, std::string();
  if (auto* b = qobject_cast<QPushButton*>(w)) return kind = Kind::Button, b->text().toStdString();
  if (auto* g = qobject_cast<QGroupBox*>(w)) return kind = Kind::Group, g->title().toStdString();
  ADD_FAILURE() << "unexpected widget " << w->metaObject()->className();
  return {};
}

class MainDialogLayoutTest : public ::testing::Test {
 protected:
  ScriptedDialogServices services;
  COrbeltDlg dialog{services, {}};
};

TEST_F(MainDialogLayoutTest, EveryControlHasItsIdKindTextAndPlaceInTemplateOrder) {
  const auto& controls = dialog.controls();
  ASSERT_EQ(controls.size(), std::size(kMainControls));
  for (std::size_t i = 0; i < controls.size(); ++i) {
    const Expected& e = kMainControls[i];
    QWidget* w = controls[i];
    SCOPED_TRACE("control #" + std::to_string(i) + " \"" + e.text + "\"");
    EXPECT_EQ(w->property("controlId").toInt(), e.id);
    EXPECT_EQ(w->objectName().toStdString(), e.id < 0 ? "IDC_STATIC" : "IDC_" + std::to_string(e.id));
    Kind kind{};
    const std::string text = kindAndText(w, kind);
    EXPECT_EQ(kind, e.kind);
    EXPECT_EQ(text, e.text);
    const PixelRect px = dluToPixels(e.rect, dialog.baseUnits());
    EXPECT_EQ(w->geometry(), QRect(px.x, px.y, px.width, px.height));
    if (e.id > 0) {
      EXPECT_EQ(dialog.control(e.id), w);
    }
  }
}

TEST_F(MainDialogLayoutTest, TabVisitsTheEditBoxesThenTheTwoButtonsAndWrapsAround) {
  const std::vector<int> expected = {1001, 1002, 1003, 1004, 1005, 1006, 1007, 1008, 1009, 1010, 1012, 1001};
  std::vector<int> visited;
  QWidget* w = dialog.control(1001);
  visited.push_back(w->property("controlId").toInt());
  while (visited.size() < expected.size()) {
    do {
      w = w->nextInFocusChain();
    } while (!(w->focusPolicy() & Qt::TabFocus) || w->property("controlId").isNull());
    visited.push_back(w->property("controlId").toInt());
  }
  EXPECT_EQ(visited, expected);
  // Labels and radio buttons are not tab stops; the radios still take a click.
  EXPECT_FALSE(dialog.control(1013)->focusPolicy() & Qt::TabFocus);
  EXPECT_TRUE(dialog.control(1013)->focusPolicy() & Qt::ClickFocus);
}

TEST_F(MainDialogLayoutTest, TheRadioGroupHoldsExactlyTheTwoColourButtons) {
  ASSERT_EQ(dialog.radioGroups().size(), 1u);
  const QButtonGroup* group = dialog.radioGroups()[0];
  ASSERT_EQ(group->buttons().size(), 2);
  EXPECT_EQ(group->id(qobject_cast<QAbstractButton*>(dialog.control(1013))), 0);
  EXPECT_EQ(group->id(qobject_cast<QAbstractButton*>(dialog.control(1014))), 1);
  EXPECT_TRUE(group->exclusive());
}

TEST_F(MainDialogLayoutTest, CaptionSizeAndFontFollowTheTemplate) {
  EXPECT_EQ(dialog.windowTitle().toStdString(), "Orbelt");
  const PixelRect client = dluToPixels({0, 0, 159, 336}, dialog.baseUnits());
  EXPECT_EQ(dialog.size(), QSize(client.width, client.height));
  EXPECT_EQ(dialog.minimumSize(), dialog.maximumSize());  // a fixed frame
  EXPECT_TRUE(dialog.windowFlags() & Qt::WindowMinimizeButtonHint);
  EXPECT_FALSE(dialog.windowFlags() & Qt::WindowMaximizeButtonHint);
  EXPECT_EQ(dialog.font().pointSize(), 9);
  EXPECT_GT(dialog.baseUnits().x, 0);
  EXPECT_GT(dialog.baseUnits().y, 0);
  // No OK or Cancel button: the only push buttons are the two commands.
  EXPECT_EQ(dialog.findChildren<QPushButton*>().size(), 2);
}

TEST_F(MainDialogLayoutTest, TheDialogFontCanShowKorean) {
  if (QFontDatabase::families(QFontDatabase::Korean).isEmpty()) {
    GTEST_SKIP() << "no Korean font installed (Debian: fonts-noto-cjk)";
  }
  const QFontMetrics metrics(dialog.font());
  for (char32_t c : {U'정', U'수', U'숫', U'자', U'확', U'인'}) EXPECT_TRUE(metrics.inFontUcs4(c)) << int(c);
}

TEST_F(MainDialogLayoutTest, GroupBoxesLieBehindAndLetClicksThrough) {
  for (QGroupBox* box : dialog.findChildren<QGroupBox*>()) {
    EXPECT_TRUE(box->testAttribute(Qt::WA_TransparentForMouseEvents)) << box->title().toStdString();
  }
  // The edit inside "ANCC Param" is what a click at its centre reaches.
  QWidget* edit = dialog.control(1001);
  EXPECT_EQ(dialog.childAt(edit->geometry().center()), edit);
}

}  // namespace
}  // namespace orbelt
