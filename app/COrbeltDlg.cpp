#include "app/COrbeltDlg.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QStyle>
#include <array>
#include <opencv2/imgcodecs.hpp>
#include <variant>

#include "app/AppIcon.h"
#include "app/CAboutBoxDlg.h"
#include "app/ExchangeParsing.h"
#include "app/MinimizedIcon.h"

namespace orbelt {

namespace {

// One edit box and the field it is exchanged with; integer fields are
// int32, number fields float.
struct FieldBinding {
  int controlId;
  std::variant<std::int32_t StereoParams::*, float StereoParams::*> field;
};

// The exchange order: the nine edit boxes, then the radio group.
constexpr std::array<FieldBinding, 9> kFieldBindings{{
    {kIdcHalfWinSize, &StereoParams::halfWinSize},
    {kIdcSigmaS, &StereoParams::sigmaS},
    {kIdcSigmaP, &StereoParams::sigmaP},
    {kIdcBaseDisparity, &StereoParams::baseDisparity},
    {kIdcDisparityRange, &StereoParams::disparityRange},
    {kIdcDisplayLevel, &StereoParams::displayLevel},
    {kIdcSmoothExponent, &StereoParams::smoothExponent},
    {kIdcSmoothMax, &StereoParams::smoothMax},
    {kIdcLambda, &StereoParams::lambda},
}};

// The fields before initialisation: all zero, no colour space chosen.
constexpr StereoParams kConstructedParams{0, 0.0f, 0.0f, 0, 0, 0, 0, 0, 0.0f, ColorMode::Unset};

// An image exactly as stored, or an empty one when the path is empty or the
// file cannot be read as an image. Decoders may throw on damaged files; the
// slot then stays empty like for any other unreadable file.
cv::Mat loadImageAsStored(const std::string& path) {
  if (path.empty()) return {};
  try {
    return cv::imread(path, cv::IMREAD_UNCHANGED);
  } catch (const cv::Exception&) {
    return {};
  }
}

class WaitCursor {
 public:
  WaitCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
  ~WaitCursor() { QGuiApplication::restoreOverrideCursor(); }
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;
};

}  // namespace

COrbeltDlg::COrbeltDlg(DialogServices& services, ComputeRunner compute, QWidget* parent)
    : TemplateDialog(kMainDialogTemplateId, parent),
      services_(services),
      compute_(std::move(compute)),
      params_(kConstructedParams),
      appIcon_(loadAppIcon()),
      systemMenu_(new QMenu(this)) {
  setWindowFlag(Qt::WindowMinimizeButtonHint, true);
  connect(systemMenu_, &QMenu::triggered, this, [this](QAction* action) { onSysCommand(action->data().toInt()); });
}

COrbeltDlg::~COrbeltDlg() = default;  // the slots release what they still hold

void COrbeltDlg::onInitDialog() {
  // The controls first show the constructed fields, as any dialog's
  // initialisation does; the defaults follow below.
  updateData(false);

  const std::string_view about = loadStringResource(kAboutMenuStringId);
  if (!about.empty()) {
    systemMenu_->addSeparator();
    QAction* entry = systemMenu_->addAction(QString::fromUtf8(about.data(), static_cast<qsizetype>(about.size())));
    entry->setData(kSysCommandAbout);
  }

  // One icon holding every drawn size serves as both the large and the
  // small window icon.
  setWindowIcon(appIcon_);

  params_ = StereoParams{};
  slots_ = ImageSlots{};
  updateData(false);
}

bool COrbeltDlg::updateData(bool saveAndValidate) {
  for (const FieldBinding& binding : kFieldBindings) {
    auto* edit = qobject_cast<QLineEdit*>(control(binding.controlId));
    Q_ASSERT(edit != nullptr);
    const bool ok = std::visit(
        [&](auto member) {
          auto& field = params_.*member;
          using Field = std::remove_reference_t<decltype(field)>;
          constexpr bool isInteger = std::is_same_v<Field, std::int32_t>;
          if (!saveAndValidate) {
            const std::string text = isInteger ? formatExchangeInteger(static_cast<std::int32_t>(field))
                                               : formatExchangeNumber(static_cast<float>(field));
            edit->setText(QString::fromStdString(text));
            return true;
          }
          const std::string text = edit->text().toStdString();
          if constexpr (isInteger) {
            const auto value = parseExchangeInteger(text);
            if (!value) {
              services_.show(kIntegerRequiredMessage);
              return false;
            }
            field = *value;
          } else {
            const auto value = parseExchangeNumber(text);
            if (!value) {
              services_.show(kNumberRequiredMessage);
              return false;
            }
            field = *value;
          }
          return true;
        },
        binding.field);
    if (!ok) {
      edit->setFocus(Qt::OtherFocusReason);
      edit->selectAll();
      return false;
    }
  }

  // The radio group that starts at "logChrom": button index = colour mode.
  QButtonGroup* group = qobject_cast<QAbstractButton*>(control(kIdcLogChrom))->group();
  if (saveAndValidate) {
    params_.colorMode = ColorMode::Unset;
    const int checked = group->checkedId();
    if (checked >= 0) params_.colorMode = static_cast<ColorMode>(checked);
  } else {
    // An exclusive group cannot show "none selected"; lift that while the
    // buttons are set, so Unset clears both.
    group->setExclusive(false);
    const int selected = static_cast<int>(params_.colorMode);
    for (QAbstractButton* button : group->buttons()) button->setChecked(group->id(button) == selected);
    group->setExclusive(true);
  }
  return true;
}

void COrbeltDlg::OnLoadInputImages() {
  std::string path;
  const FileOpenRequest request;

  services_.show(kLoadReferenceMessage);
  if (auto chosen = services_.openFile(request)) path = *chosen;
  slots_.refImage.release();
  slots_.refImage = loadImageAsStored(path);

  services_.show(kLoadTargetMessage);
  if (auto chosen = services_.openFile(request)) path = *chosen;
  slots_.targetImage.release();
  slots_.targetImage = loadImageAsStored(path);
}

void COrbeltDlg::OnComputeDisparityMap() {
  params_.sigmaP = sigmaPPreset(params_.halfWinSize);
  updateData(true);  // a refused box has shown its message; the run takes the fields as they stand
  if (!compute_) return;
  WaitCursor wait;
  compute_(params_, slots_, services_);
}

bool COrbeltDlg::onCommand(int id) {
  switch (id) {
    case kIdcCompute: OnComputeDisparityMap(); return true;
    case kIdcLoadImages: OnLoadInputImages(); return true;
    default: return TemplateDialog::onCommand(id);
  }
}

void COrbeltDlg::onOK() {
  if (!updateData(true)) return;
  TemplateDialog::onOK();
}

void COrbeltDlg::onSysCommand(int id) {
  switch (id & 0xFFF0) {
    case kSysCommandAbout: {
      // Owned by this dialog so it opens centred on it and stays above it.
      CAboutBoxDlg about(this);
      about.setCommandRoute(commandRoute());  // F1 there reaches the application too
      about.doModal();
      return;
    }
    case kSysCommandMinimize: showMinimized(); return;
    case kSysCommandRestore: showNormal(); return;
    case kSysCommandClose: close(); return;
    default: return;
  }
}

void COrbeltDlg::showSystemMenu(const QPoint& globalPos) {
  if (systemMenu_->isEmpty()) return;
  // No nested event loop: the handler returns at once and the chosen entry
  // arrives through the menu's triggered signal.
  systemMenu_->popup(globalPos);
}

void COrbeltDlg::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier) {
    const QWidget* anchor = focusWidget() != nullptr ? focusWidget() : this;
    showSystemMenu(anchor->mapToGlobal(anchor->rect().center()));
    return;
  }
  TemplateDialog::keyPressEvent(event);
}

void COrbeltDlg::contextMenuEvent(QContextMenuEvent* event) { showSystemMenu(event->globalPos()); }

void COrbeltDlg::paintEvent(QPaintEvent* event) {
  if (!isMinimized()) {
    TemplateDialog::paintEvent(event);
    return;
  }
  QPainter painter(this);
  painter.fillRect(rect(), palette().window());
  const int iconSize = style()->pixelMetric(QStyle::PM_LargeIconSize);
  const IconOrigin origin = minimizedIconOrigin(width(), height(), iconSize, iconSize);
  painter.drawPixmap(origin.x, origin.y, appIcon_.pixmap(iconSize, iconSize));
}

}  // namespace orbelt
