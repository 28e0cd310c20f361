#pragma once
// How the program's dialogs sit among its windows: a dialog blocks only the window that owns it
// and is shown above it; one without an owner on screen blocks nothing and stays on top, so it
// can never hide behind a window it blocks.

#include <QDialog>
#include <QString>

namespace pelvaro {

// The owner a dialog of window gets: the window while it is on screen, else none.
QWidget* DialogOwner(QWidget* window);

// Shows dialog (a heap object whose parent is DialogOwner's answer) and turns a local event
// loop until it finishes. False when the dialog went away with its owner before it finished;
// the dialog is then already deleted.
bool RunDialog(QDialog* dialog);

// The dialogs that window owns and shows, for a window that leaves the screen: from now on they
// block nothing and stay on top.
void ReleaseDialogsOf(QWidget* window);

// A message box as the program shows every one: no icon, plain text (it may quote server
// texts), OK or OK and Cancel; true when OK was chosen.
bool ShowMessageBox(QWidget* window, const QString& message, const QString& title, bool withCancel);

}  // namespace pelvaro
