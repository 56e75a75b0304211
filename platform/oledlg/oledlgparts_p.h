// The parts the object dialogs share: labels, the result group, the button
// column, access keys, error texts, and running a dialog with its hook.
#pragma once

#include "platform/oledlg/oledlg.h"

#include <QString>
#include <Qt>

class QDialog;
class QGroupBox;
class QLabel;
class QPushButton;
class QVBoxLayout;
class QWidget;

namespace win::dialogparts {

inline constexpr Qt::WindowFlags kDialogFrame =
    Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;

// The text with its middle left out when it is wider than a file name may be
// in a message, so that a long path never widens a dialog.
QString shortened(const QWidget *widget, const QString &text);
// A label for text from outside (file names, clipboard types): never read as
// markup.
QLabel *plainLabel(QWidget *parent, const QString &name);
// The inline error line, hidden until there is an error.
QLabel *errorLabel(QWidget *parent);
// The group that says in a sentence what OK will do.
QGroupBox *resultGroup(QWidget *parent, QLabel *&label, const QString &title);
// OK (the default) and Cancel, one above the other.
QVBoxLayout *buttonColumn(QDialog *dialog, QPushButton *&ok, QPushButton *&cancel);
// Access keys press their buttons at once.
void pressAccessKeysAtOnce(QDialog *dialog);
// The reason a result gives, for a message.
QString reasonOf(HRESULT result);
// The dialogs' parent: the owner's top-level window.
QWidget *ownerWindow(HWND owner);
// Lays the dialog out, lets the hook place it, then runs it modally; the
// dialog is deleted afterwards.
UINT runDialog(QDialog *dialog, LPFNOLEUIHOOK hook, LPARAM data);

} // namespace win::dialogparts
