#include "app/TemplateDialog.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>

#include "app/AppIcon.h"
#include "app/DialogFont.h"

namespace orbelt {

namespace {

QString toQString(std::string_view utf8) { return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())); }

QWidget* createControl(const ControlTemplate& c, QWidget* parent, QSize pixelSize) {
  const QString text = toQString(c.text);
  switch (c.kind) {
    case ControlKind::RadioButton: return new QRadioButton(text, parent);
    case ControlKind::Label: {
      auto* label = new QLabel(text, parent);
      label->setTextFormat(Qt::PlainText);  // a label shows its text as is, '&' included
      label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
      label->setWordWrap(true);
      return label;
    }
    case ControlKind::Edit: {
      auto* edit = new QLineEdit(parent);
      edit->setFrame(true);
      return edit;
    }
    case ControlKind::PushButton: {
      auto* button = new QPushButton(text, parent);
      button->setAutoDefault(true);
      button->setDefault(c.defaultButton);
      return button;
    }
    case ControlKind::GroupBox: {
      auto* box = new QGroupBox(text, parent);
      // A frame only: clicks go to whatever lies inside it.
      box->setAttribute(Qt::WA_TransparentForMouseEvents);
      return box;
    }
    case ControlKind::Icon: {
      auto* icon = new QLabel(parent);
      icon->setPixmap(loadAppIcon().pixmap(pixelSize));
      icon->setAlignment(Qt::AlignLeft | Qt::AlignTop);
      return icon;
    }
  }
  return new QWidget(parent);
}

Qt::FocusPolicy focusPolicyOf(const ControlTemplate& c) {
  if (c.tabStop) return Qt::StrongFocus;
  switch (c.kind) {
    case ControlKind::RadioButton:
    case ControlKind::Edit:
    case ControlKind::PushButton: return Qt::ClickFocus;  // reachable by mouse, skipped by Tab
    default: return Qt::NoFocus;
  }
}

}  // namespace

TemplateDialog::TemplateDialog(int templateId, QWidget* parent)
    : QDialog(parent), template_(findDialogTemplate(templateId)) {
  if (template_ == nullptr) qFatal("TemplateDialog: no dialog template %d", templateId);
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowCloseButtonHint);
  setWindowTitle(toQString(template_->caption));
  setFont(dialogFont(*template_));
  units_ = dialogBaseUnits(font());
  const PixelRect client = dluToPixels({0, 0, template_->width, template_->height}, units_);
  setFixedSize(client.width, client.height);
  setSizeGripEnabled(false);
  buildControls();
}

void TemplateDialog::buildControls() {
  const auto& table = template_->controls;
  controls_.reserve(table.size());
  QButtonGroup* group = nullptr;
  int indexInGroup = 0;
  for (const ControlTemplate& c : table) {
    const PixelRect r = dluToPixels(c.rect, units_);
    QWidget* w = createControl(c, this, QSize(r.width, r.height));
    w->setObjectName(c.id == kStaticControlId ? QStringLiteral("IDC_STATIC") : QStringLiteral("IDC_%1").arg(c.id));
    w->setProperty("controlId", c.id);
    w->setGeometry(r.x, r.y, r.width, r.height);
    w->setFocusPolicy(focusPolicyOf(c));
    if (c.kind == ControlKind::PushButton && c.id != kStaticControlId) {
      const int id = c.id;
      connect(static_cast<QPushButton*>(w), &QPushButton::clicked, this, [this, id] { sendCommand(id); });
    }

    // A group runs from a control that starts one to the next; its radio
    // buttons form one exclusive choice, indexed in template order.
    if (c.groupStart) {
      group = nullptr;
      indexInGroup = 0;
    }
    if (c.kind == ControlKind::RadioButton) {
      if (group == nullptr) {
        group = new QButtonGroup(this);
        group->setExclusive(true);
        radioGroups_.push_back(group);
      }
      group->addButton(static_cast<QRadioButton*>(w), indexInGroup++);
    }
    controls_.push_back(w);
  }

  // Frames sit behind the controls they surround.
  for (std::size_t i = 0; i < table.size(); ++i) {
    if (table[i].kind == ControlKind::GroupBox) controls_[i]->lower();
  }

  QWidget* previous = nullptr;
  for (QWidget* w : controls_) {
    if (w->focusPolicy() == Qt::NoFocus) continue;
    if (previous != nullptr) QWidget::setTabOrder(previous, w);
    previous = w;
  }
}

QWidget* TemplateDialog::control(int id) const {
  for (QWidget* w : controls_) {
    if (w->property("controlId").toInt() == id) return w;
  }
  return nullptr;
}

void TemplateDialog::ensureInitialized() {
  if (initialized_) return;
  initialized_ = true;
  onInitDialog();
  setInitialFocus();
}

void TemplateDialog::setInitialFocus() {
  const auto& table = template_->controls;
  for (std::size_t i = 0; i < table.size(); ++i) {
    QWidget* w = controls_[i];
    if (!table[i].tabStop || !w->isEnabled()) continue;
    w->setFocus(Qt::TabFocusReason);
    if (auto* edit = qobject_cast<QLineEdit*>(w)) edit->selectAll();
    return;
  }
}

int TemplateDialog::doModal() {
  ensureInitialized();
  return exec();
}

bool TemplateDialog::sendCommand(int id) {
  if (onCommand(id)) return true;
  return route_ ? route_(id) : false;
}

bool TemplateDialog::onCommand(int id) {
  switch (id) {
    case kCommandOk: onOK(); return true;
    case kCommandCancel: onCancel(); return true;
    default: return false;
  }
}

void TemplateDialog::onOK() { QDialog::accept(); }

void TemplateDialog::onCancel() { QDialog::reject(); }

void TemplateDialog::reject() { sendCommand(kCommandCancel); }

void TemplateDialog::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter: {
      if (auto* focused = qobject_cast<QPushButton*>(focusWidget())) {
        if (focused->isEnabled()) focused->click();
        return;
      }
      int command = kCommandOk;
      const auto& table = template_->controls;
      for (std::size_t i = 0; i < table.size(); ++i) {
        if (table[i].defaultButton && controls_[i]->isEnabled()) command = table[i].id;
      }
      sendCommand(command);
      return;
    }
    case Qt::Key_Escape: sendCommand(kCommandCancel); return;
    case Qt::Key_F1: sendCommand(kCommandHelp); return;
    default: QDialog::keyPressEvent(event);
  }
}

void TemplateDialog::showEvent(QShowEvent* event) {
  if (!event->spontaneous()) ensureInitialized();
  QDialog::showEvent(event);
}

}  // namespace orbelt
