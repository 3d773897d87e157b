// TAssignHotKey: the modal dialog in which the user presses the wanted hot
// key. The edit box shows the combination as text ("Alt Ctrl F5"); Assign
// stores it in the settings HotKey and HotKeyShift and hands it to the
// keyboard hook at once; Cancel changes nothing.
#pragma once

#include <QDialog>
#include <cstdint>

class QLabel;
class QLineEdit;
class QPushButton;

namespace varnoke::shell {

class TProgram;

class TAssignHotKey : public QDialog {
  Q_OBJECT

 public:
  // program is borrowed and must outlive the dialog; its HotKeyCode and
  // HotKeyShiftState are the dialog's choice.
  explicit TAssignHotKey(TProgram& program, QWidget* parent = nullptr);

  // Reads the hot key from the settings, shows it, and shows the dialog
  // modally. Raises ERegistry when the settings cannot be read.
  void Execute();

  // A key pressed in Edit1: key is a virtual-key code, the three flags the
  // modifiers held with it. The last key pressed wins.
  void Edit1KeyDown(std::uint16_t key, bool alt, bool ctrl, bool shift);
  // Assign: stores the choice, grabs it, closes. Raises ERegistry when the
  // settings cannot be written; the hook then keeps the old key.
  void btnSetKeyClick();
  void btnCancelClick();

  // The dialog's parts, named as in its design.
  QLabel* Label1 = nullptr;
  QLineEdit* Edit1 = nullptr;
  QPushButton* btnSetKey = nullptr;
  QPushButton* btnCancel = nullptr;
  QLabel* Label2 = nullptr;
  QLabel* Label4 = nullptr;
  QLabel* Label3 = nullptr;
  // Where the desktop's own setting of the key is; only on desktops that
  // keep the key themselves (Wayland).
  QLabel* Label5 = nullptr;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  // Esc and the close box act as Cancel.
  void reject() override;

 private:
  TProgram& program_;
};

}  // namespace varnoke::shell
