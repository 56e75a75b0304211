// The password dialog: a small modal window with one password box and two
// buttons, shown for every save and every open of a document.
#pragma once

#include "dialogs/modalresult.h"

#include <QDialog>
#include <QPoint>
#include <QPointer>

class QLineEdit;
class QPushButton;

namespace veskel {

class TForm2 : public QDialog
{
    Q_OBJECT

public:
    // Modal results of ShowModal.
    static constexpr int mrOk = veskel::mrOk;
    static constexpr int mrCancel = veskel::mrCancel;

    // The dialog is owned by the main window: it has no taskbar entry of its
    // own, stays in front of the main window and is centred over it when it
    // is first shown.
    explicit TForm2(QWidget *mainWindow);

    // Shows the dialog modally and returns mrOk when OK was pressed, mrCancel
    // for Cancel and for every other way the dialog was closed. The focus
    // goes back to the widget that had it before.
    int ShowModal();

    // The password box. Its text is the password: the dialog never clears or
    // presets it, so it keeps whatever was typed last.
    QLineEdit *Edit1 = nullptr;
    QPushButton *Button1 = nullptr; // "&OK", the default button
    QPushButton *Button2 = nullptr; // "&Cancel"

    // Closing the dialog by any means other than OK counts as Cancel.
    void reject() override;

protected:
    bool event(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void placeOverMainWindow();
    bool handleControlKey(QWidget *control, const QKeyEvent *event);

    QPointer<QWidget> m_mainWindow;
    bool m_shownBefore = false;
    bool m_awaitingFrame = false;     // placed before its frame was known
    QPoint m_closedAt;                // frame position when the dialog last closed
    QPointer<QWidget> m_focusOnClose; // control that had the focus then
};

} // namespace veskel
