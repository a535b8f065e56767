// The main dialog as a user drives it: what it shows on opening, how typed
// values reach the parameters, Enter and Escape, the two file dialogs of
// "Load Input Images", the Compute command and the window menu.
#include "app/COrbeltDlg.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QButtonGroup>
#include <QContextMenuEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <cstring>
#include <filesystem>
#include <opencv2/imgcodecs.hpp>
#include <unistd.h>

#include "app/ExchangeParsing.h"
#include "app/resources/DialogTemplates.h"
#include "tests/app/ModalHelpers.h"
#include "tests/app/ScriptedDialogServices.h"

namespace orbelt {
namespace {

namespace fs = std::filesystem;

class COrbeltDlgTest : public ::testing::Test {
 protected:
  void SetUp() override { dialog.show(); }

  QLineEdit* edit(int id) const { return qobject_cast<QLineEdit*>(dialog.control(id)); }
  QAbstractButton* button(int id) const { return qobject_cast<QAbstractButton*>(dialog.control(id)); }

  // Types `text` into the box, replacing what it held.
  void type(int id, const QString& text) const { edit(id)->setText(text); }

  // Presses a key in the control that has the focus, as a user would.
  void press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QWidget* target = dialog.focusWidget() != nullptr ? dialog.focusWidget() : &dialog;
    QTest::keyClick(target, key, modifiers);
  }

  ScriptedDialogServices services;
  std::vector<StereoParams> runs;  // the parameters of every compute run
  std::function<void(ImageSlots&)> onRun = [](ImageSlots&) {};
  COrbeltDlg dialog{services, [this](const StereoParams& params, ImageSlots& slots, MessageBox&) {
                      runs.push_back(params);
                      onRun(slots);
                    }};
};

TEST_F(COrbeltDlgTest, OpensWithTheDefaultParametersInItsControls) {
  const std::pair<int, const char*> texts[] = {
      {1001, "15"}, {1002, "3.8"}, {1003, "14"}, {1004, "0"},     {1005, "70"},
      {1006, "3"},  {1007, "2"},   {1008, "5"},  {1009, "0.033"},
  };
  for (const auto& [id, text] : texts) EXPECT_EQ(edit(id)->text().toStdString(), text) << "control " << id;
  EXPECT_TRUE(button(1013)->isChecked());
  EXPECT_FALSE(button(1014)->isChecked());

  const StereoParams& p = dialog.params();
  EXPECT_EQ(p.halfWinSize, 15);
  EXPECT_EQ(p.sigmaS, 3.8f);
  EXPECT_EQ(p.sigmaP, 14.0f);
  EXPECT_EQ(p.disparityRange, 70);
  EXPECT_EQ(p.lambda, 0.033f);
  EXPECT_EQ(p.colorMode, ColorMode::LogChrom);
  EXPECT_TRUE(dialog.imageSlots().refImage.empty());
  EXPECT_TRUE(dialog.imageSlots().targetImage.empty());
  // The first tab stop has the focus with its text selected, ready to type over.
  EXPECT_EQ(dialog.focusWidget(), edit(1001));
  EXPECT_EQ(edit(1001)->selectedText(), "15");
}

TEST(COrbeltDlgConstruction, ParametersAreZeroAndUnsetUntilInitialisation) {
  ScriptedDialogServices services;
  COrbeltDlg dialog(services, {});
  const StereoParams& p = dialog.params();
  EXPECT_EQ(p.halfWinSize, 0);
  EXPECT_EQ(p.sigmaS, 0.0f);
  EXPECT_EQ(p.disparityRange, 0);
  EXPECT_EQ(p.lambda, 0.0f);
  EXPECT_EQ(p.colorMode, ColorMode::Unset);
  // The controls stay as the template made them until the first show.
  EXPECT_TRUE(qobject_cast<QLineEdit*>(dialog.control(1001))->text().isEmpty());
}

// What Enter does with one edited box; every other box keeps its default.
struct ExchangeCase {
  int controlId;
  const char* text;
  bool accepted;
  double stored;  // the field's value afterwards (the default when refused)
};

double fieldOf(const StereoParams& p, int id) {
  switch (id) {
    case 1001: return p.halfWinSize;
    case 1002: return p.sigmaS;
    case 1003: return p.sigmaP;
    case 1004: return p.baseDisparity;
    case 1005: return p.disparityRange;
    case 1006: return p.displayLevel;
    case 1007: return p.smoothExponent;
    case 1008: return p.smoothMax;
    case 1009: return p.lambda;
  }
  ADD_FAILURE() << "no field for control " << id;
  return 0;
}

TEST(COrbeltDlgExchange, EnterReadsEachBoxByItsRules) {
  const ExchangeCase cases[] = {
      {1001, "  42\t", true, 42},
      {1001, "4 2", false, 15},
      {1001, "42x", false, 15},
      {1001, "-0", false, 15},
      {1005, "2147483648", true, 2147483647},
      {1004, "-5", true, -5},
      {1002, "0.5", true, 0.5f},
      {1003, "5e-2", true, 0.05f},
      {1002, ".0", false, 3.8f},
      {1009, "abc", false, 0.033f},
      {1009, "1e39", false, 0.033f},
  };
  for (const ExchangeCase& c : cases) {
    SCOPED_TRACE(std::to_string(c.controlId) + " \"" + c.text + "\"");
    ScriptedDialogServices services;
    COrbeltDlg dialog(services, {});
    dialog.show();
    auto* box = qobject_cast<QLineEdit*>(dialog.control(c.controlId));
    box->setText(QString::fromUtf8(c.text));
    box->setFocus();
    QTest::keyClick(box, Qt::Key_Return);

    EXPECT_EQ(fieldOf(dialog.params(), c.controlId), c.stored);
    if (c.accepted) {
      EXPECT_TRUE(services.messages.empty());
      EXPECT_FALSE(dialog.isVisible());
      EXPECT_EQ(dialog.result(), QDialog::Accepted);
    } else {
      const bool integer = c.controlId != 1002 && c.controlId != 1003 && c.controlId != 1009;
      EXPECT_EQ(services.messages,
                std::vector<std::string>{integer ? kIntegerRequiredMessage : kNumberRequiredMessage});
      EXPECT_TRUE(dialog.isVisible());
      EXPECT_EQ(dialog.focusWidget(), box);
      EXPECT_EQ(box->selectedText(), box->text());
      EXPECT_EQ(box->text().toStdString(), c.text);  // the text is kept for correcting
    }
  }
}

TEST_F(COrbeltDlgTest, ARefusedBoxStopsTheExchangeThere) {
  type(1001, "21");
  type(1004, "-3");
  type(1005, "70x");  // refused
  type(1006, "9");
  type(1009, "0.5");
  button(1014)->setChecked(true);

  EXPECT_FALSE(dialog.updateData(true));

  const StereoParams& p = dialog.params();
  EXPECT_EQ(p.halfWinSize, 21);  // before the refused box: updated
  EXPECT_EQ(p.baseDisparity, -3);
  EXPECT_EQ(p.disparityRange, 70);  // the refused box keeps its value
  EXPECT_EQ(p.displayLevel, 3);     // after it: untouched
  EXPECT_EQ(p.lambda, 0.033f);
  EXPECT_EQ(p.colorMode, ColorMode::LogChrom);
  EXPECT_EQ(services.messages, std::vector<std::string>{kIntegerRequiredMessage});
  EXPECT_EQ(dialog.focusWidget(), edit(1005));
  EXPECT_EQ(edit(1005)->selectedText(), "70x");
}

TEST_F(COrbeltDlgTest, TheRadioGroupReadsAndWritesTheColourMode) {
  button(1014)->click();
  EXPECT_FALSE(button(1013)->isChecked());  // one choice at a time
  ASSERT_TRUE(dialog.updateData(true));
  EXPECT_EQ(dialog.params().colorMode, ColorMode::Rgb);

  dialog.params().colorMode = ColorMode::Unset;
  dialog.updateData(false);
  EXPECT_FALSE(button(1013)->isChecked());
  EXPECT_FALSE(button(1014)->isChecked());
  ASSERT_TRUE(dialog.updateData(true));
  EXPECT_EQ(dialog.params().colorMode, ColorMode::Unset);

  dialog.params().colorMode = ColorMode::LogChrom;
  dialog.updateData(false);
  EXPECT_TRUE(button(1013)->isChecked());
  button(1014)->click();  // still exclusive after showing "none"
  EXPECT_FALSE(button(1013)->isChecked());
}

TEST_F(COrbeltDlgTest, EscapeAndTheCloseBoxCancelWithoutReading) {
  type(1009, "abc");
  press(Qt::Key_Escape);
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_EQ(dialog.result(), QDialog::Rejected);
  EXPECT_TRUE(services.messages.empty());

  dialog.show();
  type(1001, "99");
  dialog.close();
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_EQ(dialog.result(), QDialog::Rejected);
  EXPECT_EQ(dialog.params().halfWinSize, 15);
}

TEST_F(COrbeltDlgTest, EnterOnAFocusedPushButtonPressesThatButton) {
  button(1012)->setFocus();
  services.fileAnswers = {std::nullopt, std::nullopt};
  press(Qt::Key_Return);
  EXPECT_TRUE(dialog.isVisible());  // no OK: the load command ran instead
  EXPECT_EQ(services.log.size(), 4u);
}

TEST_F(COrbeltDlgTest, ButtonsSendTheirCommands) {
  services.fileAnswers = {std::nullopt, std::nullopt};
  button(1012)->click();
  EXPECT_EQ(services.fileRequests.size(), 2u);
  button(1010)->click();
  EXPECT_EQ(runs.size(), 1u);
  EXPECT_TRUE(dialog.isVisible());
}

// Small real image files for the load tests.
class COrbeltDlgLoadTest : public COrbeltDlgTest {
 protected:
  void SetUp() override {
    COrbeltDlgTest::SetUp();
    folder = fs::temp_directory_path() / ("orbelt-dlg-" + std::to_string(::getpid()));
    fs::create_directories(folder);
    a = write("a.png", cv::Mat(4, 6, CV_8UC3, cv::Scalar(10, 20, 30)));
    b = write("b.png", cv::Mat(5, 7, CV_8UC3, cv::Scalar(40, 50, 60)));
    grey = write("grey.png", cv::Mat(3, 3, CV_8UC1, cv::Scalar(7)));
    notImage = (folder / "notes.txt").string();
    std::FILE* f = std::fopen(notImage.c_str(), "w");
    std::fputs("not an image", f);
    std::fclose(f);
  }
  void TearDown() override { fs::remove_all(folder); }

  std::string write(const char* name, const cv::Mat& image) {
    const std::string path = (folder / name).string();
    EXPECT_TRUE(cv::imwrite(path, image));
    return path;
  }

  static cv::Size sizeOf(const cv::Mat& m) { return m.size(); }

  void load(std::optional<std::string> first, std::optional<std::string> second) {
    services.fileAnswers = {std::move(first), std::move(second)};
    dialog.OnLoadInputImages();
  }

  fs::path folder;
  std::string a, b, grey, notImage;
};

TEST_F(COrbeltDlgLoadTest, AsksForReferenceThenTargetWithOneAllFilesFilter) {
  load(a, b);
  EXPECT_EQ(services.log, (std::vector<std::string>{"message: Load reference Image", "open file",
                                                    "message: Load target Image", "open file"}));
  for (const FileOpenRequest& request : services.fileRequests) {
    EXPECT_EQ(request.filterName, "ALL FILE (*.*)");
    EXPECT_EQ(request.filterPattern, "*");
  }
  EXPECT_EQ(sizeOf(dialog.imageSlots().refImage), cv::Size(6, 4));
  EXPECT_EQ(sizeOf(dialog.imageSlots().targetImage), cv::Size(7, 5));
}

TEST_F(COrbeltDlgLoadTest, ACancelledDialogKeepsTheSharedPath) {
  struct Case {
    const char* name;
    bool chooseFirst;
    bool chooseSecond;
    cv::Size ref;  // empty size = empty slot
    cv::Size target;
  };
  const Case cases[] = {
      {"both chosen", true, true, {6, 4}, {7, 5}},
      {"first cancelled: reference empty, target chosen", false, true, {}, {7, 5}},
      {"second cancelled: both from the first file", true, false, {6, 4}, {6, 4}},
      {"both cancelled: both empty", false, false, {}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    load(c.chooseFirst ? std::optional(a) : std::nullopt, c.chooseSecond ? std::optional(b) : std::nullopt);
    EXPECT_EQ(sizeOf(dialog.imageSlots().refImage), c.ref);
    EXPECT_EQ(sizeOf(dialog.imageSlots().targetImage), c.target);
  }
  // Two loads of one file are two images, not one shared buffer.
  load(a, std::nullopt);
  EXPECT_NE(dialog.imageSlots().refImage.data, dialog.imageSlots().targetImage.data);
  EXPECT_EQ(services.messages.size(), 2u * 5u);  // only the two prompts, never an error
}

TEST_F(COrbeltDlgLoadTest, ImagesAreLoadedAsStoredAndUnreadableFilesLeaveTheSlotEmpty) {
  load(grey, notImage);
  EXPECT_EQ(dialog.imageSlots().refImage.channels(), 1);  // as stored: no conversion to colour
  EXPECT_EQ(dialog.imageSlots().refImage.type(), CV_8UC1);
  EXPECT_TRUE(dialog.imageSlots().targetImage.empty());

  load((folder / "missing.png").string(), std::nullopt);
  EXPECT_TRUE(dialog.imageSlots().refImage.empty());
  EXPECT_TRUE(dialog.imageSlots().targetImage.empty());
}

TEST_F(COrbeltDlgLoadTest, ASecondLoadReleasesTheFirstPair) {
  load(a, b);
  const cv::Mat firstRef = dialog.imageSlots().refImage;  // shares the buffer while the dialog holds it
  const cv::Mat firstTarget = dialog.imageSlots().targetImage;
  ASSERT_EQ(firstRef.u->refcount, 2);
  ASSERT_EQ(firstTarget.u->refcount, 2);

  load(b, a);
  EXPECT_EQ(firstRef.u->refcount, 1);  // only this test still holds the old buffers
  EXPECT_EQ(firstTarget.u->refcount, 1);
  EXPECT_EQ(sizeOf(dialog.imageSlots().refImage), cv::Size(7, 5));
  EXPECT_EQ(sizeOf(dialog.imageSlots().targetImage), cv::Size(6, 4));
}

TEST_F(COrbeltDlgLoadTest, ComputeHandsTheLoadedPairToTheRunAndKeepsWhatTheRunLeaves) {
  load(a, b);
  onRun = [](ImageSlots& slots) {
    EXPECT_EQ(slots.refImage.size(), cv::Size(6, 4));
    EXPECT_EQ(slots.targetImage.size(), cv::Size(7, 5));
    slots.refImage.release();  // a completed run empties both slots
    slots.targetImage.release();
  };
  button(1010)->click();
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_TRUE(dialog.imageSlots().refImage.empty());
  EXPECT_TRUE(dialog.imageSlots().targetImage.empty());
}

TEST_F(COrbeltDlgTest, ComputeReadsTheControlsAfterPresettingSigmaP) {
  type(1001, "30");
  type(1003, "9.5");
  type(1009, "0.1");
  button(1014)->click();
  dialog.OnComputeDisparityMap();

  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0].halfWinSize, 30);
  EXPECT_EQ(runs[0].sigmaP, 9.5f);  // the pre-set is replaced by the box
  EXPECT_EQ(runs[0].lambda, 0.1f);
  EXPECT_EQ(runs[0].colorMode, ColorMode::Rgb);
  EXPECT_TRUE(services.messages.empty());
}

TEST_F(COrbeltDlgTest, ComputeRunsOnWhenABoxIsRefusedWithThePresetSigmaP) {
  type(1001, "abc");
  type(1003, "9.5");
  dialog.OnComputeDisparityMap();

  EXPECT_EQ(services.messages, std::vector<std::string>{kIntegerRequiredMessage});
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0].halfWinSize, 15);           // kept from before
  EXPECT_EQ(runs[0].sigmaP, sigmaPPreset(15));  // the exchange stopped before "SigmaP :"
  EXPECT_EQ(runs[0].sigmaP, 14.000000954f);
  EXPECT_TRUE(dialog.isVisible());
}

TEST_F(COrbeltDlgTest, ComputeShowsAWaitCursorOnlyWhileItRuns) {
  std::optional<Qt::CursorShape> during;
  onRun = [&](ImageSlots&) {
    if (const QCursor* cursor = QGuiApplication::overrideCursor()) during = cursor->shape();
  };
  dialog.OnComputeDisparityMap();
  EXPECT_EQ(during, Qt::WaitCursor);
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST_F(COrbeltDlgTest, TheWindowMenuHoldsASeparatorAndTheAboutEntry) {
  const QList<QAction*> actions = dialog.systemMenu()->actions();
  ASSERT_EQ(actions.size(), 2);
  EXPECT_TRUE(actions[0]->isSeparator());
  EXPECT_EQ(actions[1]->text().toStdString(), "Orbelt 정보(&A)...");
  EXPECT_EQ(actions[1]->data().toInt(), 16);
}

TEST_F(COrbeltDlgTest, TheAboutBoxOpensAndClosesLeavingTheDialogUnchanged) {
  type(1002, "2.25");  // typed but not yet read: must survive too
  const StereoParams before = dialog.params();
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    std::string caption;
    WindowWatcher watcher([&](QWidget* about) {
      caption = about->windowTitle().toStdString();
      auto* ok = about->findChild<QPushButton*>(QStringLiteral("IDC_1"));
      ASSERT_NE(ok, nullptr);
      ok->click();
    });
    dialog.systemMenu()->actions()[1]->trigger();
    EXPECT_TRUE(watcher.ran());
    EXPECT_EQ(caption, "Orbelt 정보");
  }
  EXPECT_TRUE(dialog.isVisible());
  EXPECT_EQ(edit(1002)->text(), "2.25");
  EXPECT_EQ(std::memcmp(&before, &dialog.params(), sizeof before), 0);
  EXPECT_TRUE(services.messages.empty());
}

TEST_F(COrbeltDlgTest, SystemCommandsAreMatchedWithoutTheirLowFourBits) {
  struct Case {
    int id;
    bool opensAbout;
  };
  for (const Case c : {Case{16, true}, Case{16 | 0xF, true}, Case{32, false}, Case{0, false}, Case{33, false}}) {
    SCOPED_TRACE(c.id);
    WindowWatcher watcher([](QWidget* about) { about->close(); });
    dialog.onSysCommand(c.id);  // returns once the about box, if any, has closed
    EXPECT_EQ(watcher.ran(), c.opensAbout);
    EXPECT_TRUE(dialog.isVisible());
  }
}

TEST_F(COrbeltDlgTest, TheCloseSystemCommandCancels) {
  dialog.onSysCommand(kSysCommandClose);
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_EQ(dialog.result(), QDialog::Rejected);
}

TEST_F(COrbeltDlgTest, RightClickAndShiftF10OpenTheWindowMenu) {
  for (int way = 0; way < 2; ++way) {
    SCOPED_TRACE(way == 0 ? "right click" : "Shift+F10");
    if (way == 0) {
      QContextMenuEvent click(QContextMenuEvent::Mouse, QPoint(5, 5), dialog.mapToGlobal(QPoint(5, 5)));
      QApplication::sendEvent(&dialog, &click);
    } else {
      press(Qt::Key_F10, Qt::ShiftModifier);
    }
    EXPECT_TRUE(dialog.systemMenu()->isVisible());
    EXPECT_EQ(QApplication::activePopupWidget(), dialog.systemMenu());
    dialog.systemMenu()->close();
  }
}

TEST_F(COrbeltDlgTest, CarriesTheApplicationIcon) {
  ASSERT_FALSE(dialog.windowIcon().isNull());
  const QList<QSize> sizes = dialog.windowIcon().availableSizes();
  EXPECT_TRUE(sizes.contains(QSize(16, 16)));  // small icon
  EXPECT_TRUE(sizes.contains(QSize(32, 32)));  // large icon
  EXPECT_EQ(dialog.onQueryDragIcon().cacheKey(), dialog.windowIcon().cacheKey());
}

}  // namespace
}  // namespace orbelt
