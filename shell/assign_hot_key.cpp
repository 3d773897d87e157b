#include "shell/assign_hot_key.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>

#include "platform/desktop/key_table.h"
#include "platform/desktop/session_kind.h"
#include "settings/settings_store.h"
#include "shell/app_exception.h"
#include "shell/dialog_controls.h"
#include "shell/dialog_help.h"
#include "shell/help_window.h"
#include "shell/host_services.h"
#include "shell/key_names.h"
#include "shell/program.h"
#include "shell/window_scale.h"

namespace varnoke::shell {
namespace {

QLabel* Label(QWidget* parent, const char* name, const QString& text, const QRect& place) {
  auto* label = PlaceControl<QLabel>(parent, name, text, place);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  return label;
}

// Enter and Esc alone belong to the default and cancel buttons, and Tab
// without Ctrl or Alt moves the focus; with a modifier held they are keys
// like any other.
bool IsDialogKey(const QKeyEvent& key) {
  const Qt::KeyboardModifiers held = key.modifiers();
  switch (key.key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
      return (held & (Qt::AltModifier | Qt::ControlModifier | Qt::ShiftModifier)) == 0;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
      return (held & (Qt::AltModifier | Qt::ControlModifier)) == 0;
    default:
      return false;
  }
}

}  // namespace

TAssignHotKey::TAssignHotKey(TProgram& program, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                          Qt::WindowContextHelpButtonHint),
      program_(program) {
  setObjectName(QStringLiteral("AssignHotKey"));
  setWindowTitle(QStringLiteral("Assign Hot Key"));
  setFixedSize(Scaled(421, 205));
  setFont(LayoutFont(13));

  Label1 = Label(this, "Label1", QStringLiteral("Hot &Key:"), Scaled(24, 8, 50, 16));
  Edit1 = new QLineEdit(this);
  Edit1->setObjectName(QStringLiteral("Edit1"));
  Edit1->setGeometry(Scaled(88, 8, 153, 24));
  Edit1->setContextMenuPolicy(Qt::NoContextMenu);
  SetHelpContext(Edit1, 10);
  Edit1->installEventFilter(this);
  Label1->setBuddy(Edit1);

  btnSetKey = PlaceControl<QPushButton>(this, "btnSetKey", QStringLiteral("Assign"),
                                        Scaled(256, 8, 75, 25), 11);
  btnSetKey->setDefault(true);
  connect(btnSetKey, &QPushButton::clicked, this, Guarded([this] { btnSetKeyClick(); }));
  btnCancel = PlaceControl<QPushButton>(this, "btnCancel", QStringLiteral("Cancel"),
                                        Scaled(336, 8, 75, 25), 12);
  btnCancel->setAutoDefault(false);
  connect(btnCancel, &QPushButton::clicked, this, Guarded([this] { btnCancelClick(); }));

  Label2 = Label(this, "Label2",
                 QStringLiteral("Press the hotkey sequence that you wish to use to activate "
                                "Varnoke 96. Any combination of the Control, Alt and Shift keys "
                                "may be used. Press Cancel if you do not wish to change your "
                                "current hot key."),
                 Scaled(24, 56, 369, 65));
  Label2->setWordWrap(true);
  Label4 = Label(this, "Label4", QStringLiteral("Note:"), Scaled(24, 133, 38, 16));
  QFont bold = Label4->font();
  bold.setBold(true);
  Label4->setFont(bold);
  Label3 = Label(this, "Label3",
                 QStringLiteral("ALT-Key combinations conflict with Windows' default behavior. "
                                "Use SHIFT-ALT-Key or CTRL-ALT-Key combinations instead."),
                 Scaled(24, 152, 377, 33));
  Label3->setWordWrap(true);

  // Where the desktop lets no program grab keys, it keeps the key itself:
  // the user learns where its own setting is.
  const std::string hint = platform::ShortcutSettingsHint(platform::CurrentDesktop());
  if (!hint.empty()) {
    Label5 = Label(this, "Label5", QString::fromStdString(hint), Scaled(24, 193, 377, 49));
    Label5->setWordWrap(true);
    setFixedSize(Scaled(421, 254));
  }

  FitTextsToFont(*this);
  new TDialogHelp(this, [this](int context) { program_.Help().ShowTopic(context); });
}

void TAssignHotKey::Execute() {
  program_.ReadHotKey();
  Edit1->setText(QString::fromStdString(HotKeyModifierText(program_.HotKeyShiftState) +
                                        KeyNameText(program_.HotKeyCode)));
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    QRect place = frameGeometry();
    place.moveCenter(screen->availableGeometry().center());
    move(place.topLeft());
  }
  Edit1->setFocus(Qt::OtherFocusReason);
  exec();
}

void TAssignHotKey::Edit1KeyDown(std::uint16_t key, bool alt, bool ctrl, bool shift) {
  // Fixed texts in this order, unlike HotKeyModifierText's.
  std::string text;
  std::uint32_t bits = 0;
  if (alt) {
    text += "Alt ";
    bits |= kHotKeyAlt;
  }
  if (ctrl) {
    text += "Ctrl ";
    bits |= kHotKeyCtrl;
  }
  if (shift) {
    text += "Shift ";
    bits |= kHotKeyShift;
  }
  text += KeyNameText(key);
  Edit1->setText(QString::fromStdString(text));
  program_.HotKeyCode = key;
  program_.HotKeyShiftState = bits;
}

void TAssignHotKey::btnSetKeyClick() {
  // Written first: a write that fails leaves the hook with the old key.
  settings::TSettingsStore& store = program_.Host.Settings;
  store.WriteDWORDSetting(settings::SettingsKey, "HotKey", program_.HotKeyCode);
  store.WriteDWORDSetting(settings::SettingsKey, "HotKeyShift", program_.HotKeyShiftState);
  // Closed before the hook is told, so that a box about a key held
  // elsewhere does not stand over the dialog.
  accept();
  program_.SetKey(TKeyNotice::Box);
}

void TAssignHotKey::btnCancelClick() {
  QDialog::reject();
}

void TAssignHotKey::reject() {
  btnCancelClick();
}

bool TAssignHotKey::eventFilter(QObject* watched, QEvent* event) {
  if (watched != Edit1) return QDialog::eventFilter(watched, event);
  switch (event->type()) {
    case QEvent::ShortcutOverride: {
      // Every combination is the user's choice, the label's Alt+K included.
      auto* key = static_cast<QKeyEvent*>(event);
      if (!IsDialogKey(*key)) key->accept();
      return false;
    }
    case QEvent::KeyPress: {
      auto* key = static_cast<QKeyEvent*>(event);
      if (IsDialogKey(*key)) return false;
      const Qt::KeyboardModifiers held = key->modifiers();
      const std::uint16_t code = platform::QtKeyToVk(key->key(), (held & Qt::KeypadModifier) != 0);
      Guarded([&] {
        Edit1KeyDown(code, (held & Qt::AltModifier) != 0, (held & Qt::ControlModifier) != 0,
                     (held & Qt::ShiftModifier) != 0);
      })();
      return true;
    }
    case QEvent::InputMethod:
      return true;  // nothing is typed into the box but the combination's text
    case QEvent::MouseButtonRelease:
      // The middle button would paste the selection.
      return static_cast<QMouseEvent*>(event)->button() == Qt::MiddleButton;
    default:
      return false;
  }
}

}  // namespace varnoke::shell
