// TFormui: creation, layout, menus, keys, closing and minimizing.
#include "shell/uiform.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFocusEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>

#include "db/memory_db.h"
#include "shell/app_exception.h"
#include "shell/dialog_help.h"
#include "shell/popup_messages.h"
#include "shell/program.h"
#include "shell/result_grid.h"
#include "shell/result_model.h"
#include "shell/window_scale.h"

namespace varnoke::shell {
namespace {

// The search box selects its whole text whenever it gets the focus other
// than by a click, so that after a pop-up typing replaces the last pattern.
class TSearchEdit : public QLineEdit {
 public:
  using QLineEdit::QLineEdit;

 protected:
  void focusInEvent(QFocusEvent* event) override {
    QLineEdit::focusInEvent(event);
    if (event->reason() != Qt::MouseFocusReason) selectAll();
  }
};

// A panel without a bevel whose children are placed by hand.
QWidget* Panel(QWidget* parent, const char* name) {
  auto* panel = new QWidget(parent);
  panel->setObjectName(QString::fromLatin1(name));
  return panel;
}

}  // namespace

TFormui::TFormui(TProgram& program) : QMainWindow(nullptr), program_(program) {
  setObjectName(QStringLiteral("Formui"));
  // The flags are fixed before the window first exists: changing them later
  // would give it another X window, and the hook library posts to this one.
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint |
                 Qt::WindowCloseButtonHint | Qt::WindowContextHelpButtonHint);
  setWindowTitle(QStringLiteral("Varnoke 96"));
  setWindowIcon(QIcon(QStringLiteral(":/varnoke/varnoke.svg")));
  setFont(LayoutFont(13));
  CreateControls();
  CreateMenus();
  // The design's outer size, less a frame of the window manager's usual size.
  resize(Scaled(486) - Scaled(8), Scaled(399) - Scaled(8) - Scaled(24));
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    QRect place = frameGeometry();
    place.moveCenter(screen->availableGeometry().center());
    move(place.topLeft());
  }
  FormCreate();
}

TFormui::~TFormui() {
  SetAppExceptionHandler(nullptr);
}

void TFormui::FormCreate() {
  SetAppExceptionHandler([this](std::exception_ptr error) { program_.AppException(error); });
  gridSearchResults->Model().SetRowCount(1);
  SetResultsGridWidths();
  editSearchFilename->resize(Panel3->width() - 5, editSearchFilename->height());
  TargetEditControl = 0;
  AllowClose = false;
}

void TFormui::CreateControls() {
  auto* client = new QWidget(this);
  auto* column = new QVBoxLayout(client);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);
  setCentralWidget(client);

  Panel1 = Panel(client, "Panel1");
  Panel1->setFixedHeight(Scaled(33));
  Panel1->installEventFilter(this);
  column->addWidget(Panel1);
  Panel3 = Panel(Panel1, "Panel3");
  Panel2 = Panel(Panel1, "Panel2");

  editSearchFilename = new TSearchEdit(Panel3);
  editSearchFilename->setObjectName(QStringLiteral("editSearchFilename"));
  editSearchFilename->setGeometry(Scaled(1), Scaled(1), Scaled(100), Scaled(24));
  SetHelpContext(editSearchFilename, 1);
  editSearchFilename->installEventFilter(this);

  btnFind = new QPushButton(QStringLiteral("Fi&nd"), Panel2);
  btnFind->setObjectName(QStringLiteral("btnFind"));
  btnFind->setGeometry(Scaled(6, 1, 72, 25));
  btnFind->setAutoDefault(false);
  SetHelpContext(btnFind, 2);
  btnFind->installEventFilter(this);
  connect(btnFind, &QPushButton::clicked, this, Guarded([this] { RunSearch(); }));

  // Enter and Esc reach these through the key preview below; they are the
  // window's default and cancel buttons, never seen and never focused.
  Button1 = new QPushButton(client);
  Button1->setObjectName(QStringLiteral("Button1"));
  Button1->setGeometry(0, 0, 0, 0);
  Button1->setFocusPolicy(Qt::NoFocus);
  connect(Button1, &QPushButton::clicked, this, Guarded([this] { Button1Click(); }));
  Button2 = new QPushButton(client);
  Button2->setObjectName(QStringLiteral("Button2"));
  Button2->setGeometry(0, 0, 0, 0);
  Button2->setFocusPolicy(Qt::NoFocus);
  connect(Button2, &QPushButton::clicked, this, Guarded([this] { HideSearchWindow(); }));

  gridSearchResults = new TResultGrid(client);
  gridSearchResults->setObjectName(QStringLiteral("gridSearchResults"));
  gridSearchResults->setMinimumSize(1, 1);
  SetHelpContext(gridSearchResults, 3);
  gridSearchResults->installEventFilter(this);
  column->addWidget(gridSearchResults, 1);
  connect(gridSearchResults, &TResultGrid::headerReleased, this,
          Guarded([this](int column) { HeaderReleased(column); }));
  connect(gridSearchResults, &TResultGrid::rowDoubleClicked, this,
          Guarded([this] { gridSearchResultsDblClick(); }));
  connect(gridSearchResults, &TResultGrid::copyPressed, this, Guarded([this] { Copy1Click(); }));
  connect(gridSearchResults, &TResultGrid::viewportResized, this,
          Guarded([this] { SetResultsGridWidths(); }));

  StatusPanel0 = new QLabel(this);
  StatusPanel0->setObjectName(QStringLiteral("StatusPanel0"));
  statusBar()->setObjectName(QStringLiteral("StatusBar"));
  statusBar()->setFixedHeight(Scaled(19));
  statusBar()->addWidget(StatusPanel0, 1);
}

QAction* TFormui::AddCommand(QMenu* menu, const QString& caption, const char* name, int helpContext,
                             void (TFormui::*handler)()) {
  QAction* action = menu->addAction(caption);
  action->setObjectName(QString::fromLatin1(name));
  if (helpContext != 0) SetHelpContext(action, helpContext);
  if (handler != nullptr) {
    connect(action, &QAction::triggered, this, Guarded([this, handler] { (this->*handler)(); }));
  }
  return action;
}

void TFormui::CreateMenus() {
  QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
  file->setObjectName(QStringLiteral("File1"));
  ScanDrives1 = AddCommand(file, QStringLiteral("&Scan Drives"), "ScanDrives1", 20,
                           &TFormui::ScanDrives1Click);
  SetHotKey1 = AddCommand(file, QStringLiteral("Set Hot &Key..."), "SetHotKey1", 21,
                          &TFormui::SetHotKey1Click);
  SetStartupOptions1 = AddCommand(file, QStringLiteral("Set Startup &Options..."),
                                  "SetStartupOptions1", 0, &TFormui::SetStartupOptions1Click);
  SynchronizationReport1 =
      AddCommand(file, QStringLiteral("Synchronization &Report..."), "SynchronizationReport1", 0,
                 &TFormui::SynchronizationReport1Click);
  file->addSeparator()->setObjectName(QStringLiteral("N2"));
  Exit1 = AddCommand(file, QStringLiteral("E&xit"), "Exit1", 0, &TFormui::Exit1Click);

  QMenu* edit = menuBar()->addMenu(QStringLiteral("&Edit"));
  edit->setObjectName(QStringLiteral("Edit1"));
  Copy1 = AddCommand(edit, QStringLiteral("&Copy"), "Copy1", 0, &TFormui::Copy1Click);

  CreateViewMenu();

  QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
  help->setObjectName(QStringLiteral("Help1"));
  Contents1 =
      AddCommand(help, QStringLiteral("&Contents"), "Contents1", 0, &TFormui::Contents1Click);
  help->addSeparator()->setObjectName(QStringLiteral("N5"));
  About1 = AddCommand(help, QStringLiteral("&About"), "About1", 0, &TFormui::About1Click);

  AddHiddenEntries(file, help);
  for (QMenu* menu : {file, edit, help})
    menu->installEventFilter(this);

  pmListBox = new QMenu(this);
  pmListBox->setObjectName(QStringLiteral("pmListBox"));
  Open = AddCommand(pmListBox, QStringLiteral("&Open"), "Open", 0, &TFormui::OpenClick);
  Explore = AddCommand(pmListBox, QStringLiteral("&Explore from here..."), "Explore", 0,
                       &TFormui::ExploreClick);
  connect(gridSearchResults, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& position) {
            pmListBox->popup(gridSearchResults->viewport()->mapToGlobal(position));
          });
}

void TFormui::AddHiddenEntries(QMenu* file, QMenu* help) {
  // Entries of the design that are never shown and whose commands do
  // nothing.
  QAction* before = Exit1;
  QAction* n4 = file->insertSeparator(before);
  n4->setObjectName(QStringLiteral("N4"));
  QAction* debugExit = new QAction(QStringLiteral("&Debug Exit"), file);
  QAction* syncTest = new QAction(QStringLiteral("S&ynchronization Test"), file);
  file->insertAction(before, debugExit);
  file->insertAction(before, syncTest);
  QAction* memory = help->addAction(QStringLiteral("&Memory"));
  QMenu* debug = menuBar()->addMenu(QStringLiteral("&Debug"));
  debug->addAction(QStringLiteral("&Start log"));
  debug->addAction(QStringLiteral("S&top log"));
  for (QAction* hidden : {n4, debugExit, syncTest, memory, debug->menuAction()})
    hidden->setVisible(false);
}

void TFormui::FormResize() {
  // Panel3 fills Panel1 but for its right 80 pixels, which are Panel2's.
  const int right = Scaled(80);
  Panel2->setGeometry(Panel1->width() - right, 0, right, Panel1->height());
  Panel3->setGeometry(0, 0, std::max(0, Panel1->width() - right), Panel1->height());
  editSearchFilename->resize(std::max(0, Panel3->width() - 5), Scaled(24));
  editSearchFilename->show();
  SetResultsGridWidths();
}

void TFormui::SetResultsGridWidths() {
  const int name = gridSearchResults->columnWidth(0);
  const int path = gridSearchResults->viewport()->width() - name - 1;
  gridSearchResults->setColumnWidth(1, std::max(0, path));
}

bool TFormui::eventFilter(QObject* watched, QEvent* event) {
  if (watched == Panel1 && event->type() == QEvent::Resize) {
    Guarded([this] { FormResize(); })();
  } else if (event->type() == QEvent::KeyPress) {
    // The window sees every key before the control that has the focus.
    bool handled = false;
    Guarded([&] { handled = FormKeyDown(static_cast<QKeyEvent*>(event)); })();
    if (handled) return true;
  }
  return QMainWindow::eventFilter(watched, event);
}

bool TFormui::FormKeyDown(QKeyEvent* key) {
  switch (key->key()) {
    case Qt::Key_Escape:
      HideSearchWindow();
      return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      if (focusWidget() == btnFind) {
        btnFind->click();
      } else {
        Button1->click();
      }
      return true;
    case Qt::Key_F1: {
      // In an open menu the topic is that of its highlighted entry.
      const auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
      const QObject* subject = menu != nullptr && menu->activeAction() != nullptr
                                   ? static_cast<const QObject*>(menu->activeAction())
                                   : focusWidget();
      ShowHelp(HelpContextOf(subject));
      return true;
    }
    default:
      return false;
  }
}

void TFormui::Button1Click() {
  QWidget* focus = focusWidget();
  if (focus == editSearchFilename) {
    SearchBoxEnter();
  } else if (focus == gridSearchResults) {
    gridSearchResultsDblClick();
  }
}

void TFormui::HeaderReleased(int column) {
  if (program_.MemoryDB == nullptr) return;
  if (column == 0) {
    program_.MemoryDB->SortByName();
  } else {
    program_.MemoryDB->SortByPath();
  }
  gridSearchResults->Model().RowsChanged();
  gridSearchResults->SelectRow(-1);
}

int TFormui::SelectedDataIndex() const {
  const int row = gridSearchResults->SelectedRow();
  return row > 0 ? row - 1 : -1;
}

void TFormui::closeEvent(QCloseEvent* event) {
  // FormCloseQuery: only Exit and the end of the session let the window
  // close; every attempt hides it.
  if (AllowClose) {
    event->accept();
  } else {
    event->ignore();
  }
  Guarded([this] { HideSearchWindow(); })();
}

void TFormui::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  if (event->type() == QEvent::WindowStateChange && (windowState() & Qt::WindowMinimized)) {
    // Minimizing is asked to close instead, which hides the window. Done
    // once the state change is over, so the window manager sees it whole.
    QTimer::singleShot(0, this, [this] {
      setWindowState(windowState() & ~Qt::WindowMinimized);
      close();
    });
  }
}

bool TFormui::event(QEvent* event) {
  if (event->type() == TWindowMessageEvent::EventType()) {
    const auto* message = static_cast<const TWindowMessageEvent*>(event);
    Guarded([&] { HandleWindowMessage(message->Message, message->WParam, message->LParam); })();
    return true;
  }
  return QMainWindow::event(event);
}

}  // namespace varnoke::shell
