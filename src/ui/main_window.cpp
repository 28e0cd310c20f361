#include "ui/main_window.h"

#include <QAbstractButton>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QToolButton>
#include <QTreeWidget>
#include <algorithm>

#include "platform/window_layout.h"
#include "ui/qt_text.h"
#include "ui/window_builder.h"

namespace pelvaro {
namespace {

namespace mw = main_window;

constexpr int kHoursMin = 1;
constexpr int kHoursMax = 10000;
constexpr int kSpinnerWidth = 16;

template <class W>
W* Child(QWidget* window, std::string_view name) {
  return window->findChild<W*>(QtFromUtf8(name));
}

// One step of the up-down spinner on a number box: the box's number read leniently, moved by
// one and kept within the spinner's range.
void StepNumber(QLineEdit* edit, int step) {
  std::int64_t value = ReadLenientInt(GbkFromQt(edit->text())) + step;
  value = std::clamp<std::int64_t>(value, kHoursMin, kHoursMax);
  edit->setText(QString::number(value));
}

}  // namespace

MainWindow::MainWindow(Events events) : events_(std::move(events)) {
  BuildWindow(*this, MainWindowSpec());
  form_ = std::make_unique<QtForm>(this, MainWindowSpec());
  // The seed link's design-time content names the platform host, known only at run time.
  form_->setText(mw::kSeedLink, Gbk(DefaultSeedLinkUtf8()));

  menu_ = new QMenu(this);
  menu_->setObjectName(QtFromUtf8(mw::kContextMenu));
  auto items = ContextMenuItems();
  const Hook* hooks[] = {&events_.addToIndexChosen, &events_.clearListChosen, &events_.cancelChosen};
  for (std::size_t i = 0; i < items.size(); ++i) {
    QAction* action = menu_->addAction(QtFromUtf8(items[i]));
    const Hook* hook = i < std::size(hooks) ? hooks[i] : nullptr;
    connect(action, &QAction::triggered, this, [this, hook] {
      if (hook != nullptr) fire(*hook);
    });
  }

  bindControls();
  attachHoursSpinner();
  fire(events_.created);
}

MainWindow::~MainWindow() = default;

void MainWindow::fire(const Hook& hook) {
  if (hook) hook(*this);
}

void MainWindow::bindControls() {
  auto bindClick = [this](std::string_view name, Hook Events::*member) {
    if (auto* button = Child<QAbstractButton>(this, name)) {
      connect(button, &QAbstractButton::clicked, this, [this, member] { fire(events_.*member); });
    }
  };
  bindClick(mw::kCrawlButton, &Events::crawlClicked);
  bindClick(mw::kSaveButton, &Events::saveClicked);
  bindClick(mw::kContributeButton, &Events::contributeClicked);

  if (auto* label = Child<QLabel>(this, mw::kFolderLabel)) {
    label->installEventFilter(this);
    label->setCursor(Qt::PointingHandCursor);
  }
  if (auto* list = Child<QTreeWidget>(this, mw::kVideoList)) {
    list->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(list, &QWidget::customContextMenuRequested, this,
            [this, list](const QPoint& at) { menu_->popup(list->viewport()->mapToGlobal(at)); });
  }
}

void MainWindow::attachHoursSpinner() {
  auto* edit = Child<QLineEdit>(this, mw::kHours);
  if (edit == nullptr) return;
  edit->setTextMargins(0, 0, kSpinnerWidth, 0);
  int half = edit->height() / 2;
  struct Arrow {
    Qt::ArrowType type;
    int top;
    int height;
    int step;
  };
  for (const Arrow& arrow :
       {Arrow{Qt::UpArrow, 0, half, 1}, Arrow{Qt::DownArrow, half, edit->height() - half, -1}}) {
    auto* button = new QToolButton(edit);
    button->setArrowType(arrow.type);
    button->setFocusPolicy(Qt::NoFocus);
    button->setAutoRepeat(true);
    button->setGeometry(edit->width() - kSpinnerWidth, arrow.top, kSpinnerWidth, arrow.height);
    connect(button, &QToolButton::clicked, edit, [edit, step = arrow.step] { StepNumber(edit, step); });
  }
  edit->installEventFilter(this);
}

void MainWindow::closeEvent(QCloseEvent* event) {
  fire(events_.closing);
  event->accept();
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  const QString name = watched->objectName();
  if (event->type() == QEvent::MouseButtonPress && name == QtFromUtf8(mw::kFolderLabel)) {
    if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) fire(events_.folderLabelPressed);
  } else if (event->type() == QEvent::KeyPress && name == QtFromUtf8(mw::kHours)) {
    int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Up || key == Qt::Key_Down) {
      StepNumber(static_cast<QLineEdit*>(watched), key == Qt::Key_Up ? 1 : -1);
      return true;
    }
  }
  return QMainWindow::eventFilter(watched, event);
}

}  // namespace pelvaro
