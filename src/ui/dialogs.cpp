#include "ui/dialogs.h"

#include <QAbstractButton>
#include <QEventLoop>
#include <QMessageBox>
#include <QPointer>

namespace pelvaro {
namespace {

void MakeFreeStanding(QDialog* dialog) {
  dialog->setWindowModality(Qt::NonModal);
  dialog->setWindowFlag(Qt::WindowStaysOnTopHint, true);
}

}  // namespace

QWidget* DialogOwner(QWidget* window) { return window != nullptr && window->isVisible() ? window : nullptr; }

bool RunDialog(QDialog* dialog) {
  if (dialog->parentWidget() != nullptr) {
    dialog->setWindowModality(Qt::WindowModal);
  } else {
    MakeFreeStanding(dialog);
  }
  QPointer<QDialog> guard(dialog);
  QEventLoop loop;
  QObject::connect(dialog, &QDialog::finished, &loop, &QEventLoop::quit);
  QObject::connect(dialog, &QObject::destroyed, &loop, &QEventLoop::quit);
  dialog->show();
  dialog->raise();
  dialog->activateWindow();
  loop.exec(QEventLoop::DialogExec);
  return !guard.isNull();
}

void ReleaseDialogsOf(QWidget* window) {
  for (QDialog* dialog : window->findChildren<QDialog*>(Qt::FindDirectChildrenOnly)) {
    if (!dialog->isVisible()) continue;
    // Modality and window flags take effect when the window is shown again.
    dialog->hide();
    MakeFreeStanding(dialog);
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
  }
}

bool ShowMessageBox(QWidget* window, const QString& message, const QString& title, bool withCancel) {
  auto* box = new QMessageBox(DialogOwner(window));
  box->setIcon(QMessageBox::NoIcon);
  box->setWindowTitle(title);
  box->setTextFormat(Qt::PlainText);
  box->setText(message);
  box->setStandardButtons(withCancel ? (QMessageBox::Ok | QMessageBox::Cancel) : QMessageBox::Ok);
  box->setDefaultButton(QMessageBox::Ok);
  if (!RunDialog(box)) return false;
  const bool ok = box->clickedButton() == box->button(QMessageBox::Ok);
  delete box;
  return ok;
}

}  // namespace pelvaro
