// What the window shows while its document is locked: "Locked", a password
// box and an Unlock button, in place of the editing area, the bars and the
// status panels.
#pragma once

#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;

namespace veskel {

class LockPanel : public QWidget
{
    Q_OBJECT

public:
    explicit LockPanel(QWidget *parent = nullptr);

    // sealed: the password opens the document; otherwise it is only hidden
    // (hasText) or there is nothing to hide, and Unlock asks for nothing.
    void ShowLocked(bool sealed, bool hasText);
    // The typed password, taken out of the box: the box is emptied.
    QString TakePassword();

    QLabel *Title = nullptr;
    QLabel *Note = nullptr;
    QLineEdit *Password = nullptr;
    QPushButton *Unlock = nullptr;

signals:
    void unlockRequested();
};

} // namespace veskel
