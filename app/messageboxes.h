// The program's message boxes, captioned with the program's title.
#pragma once

#include <QString>
#include <QStringList>

class QWidget;

namespace veskel {

// The text the error box shows: a full stop is added when the message's last
// character comes after the full stop in the character table.
QString ErrorBoxText(const QString &message);

// No icon, one OK button (also Esc), centred on the screen.
void ShowPlainMessage(QWidget *owner, const QString &text);
// An error icon, one OK button, owned by the active window.
void ShowErrorMessage(QWidget *owner, const QString &message);
// A warning with Yes and No, No the default; true for Yes.
bool AskYesNo(QWidget *owner, const QString &question);

// A box with the buttons given, left to right; returns the index of the one
// pressed. Enter presses defaultIndex, Esc and the close button escapeIndex.
int AskChoice(QWidget *owner, const QString &text, const QStringList &buttons, int defaultIndex,
              int escapeIndex);

} // namespace veskel
