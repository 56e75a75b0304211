// The real main window and password dialog, with a script that answers the
// modal dialogs as a user would: typing into the password box, pressing
// buttons in message boxes.
#pragma once

#include "app/shortcutfilter.h"
#include "app/veskelmain.h"
#include "dialogs/frmpassword.h"
#include "editor/richeditor.h"
#include "support/modalscript.h"
#include "support/standins.h"

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

#include <functional>

namespace veskel::test {

class Window
{
public:
    TForm1 form1;
    TForm2 form2{&form1};
    QStringList messages; // every message box's text, in order
    QStringList titles;   // and its caption
    QList<QMessageBox::Icon> icons;
    int passwordPrompts = 0; // both entries of a new password count
    int fileDialogs = 0;
    QString saveAsPath;       // the file dialogs' answer; empty: cancelled
    QString saveAsFilter;     // the file type picked, when set
    QStringList shownFilters; // the type each file dialog showed selected

    Window()
    {
        form1.setPasswordDialog(&form2);
        qApp->installEventFilter(new MenuShortcutFilter(&form1));
        form1.RunFileDialog = [this](QFileDialog *dialog, QString &path) {
            ++fileDialogs;
            shownFilters << dialog->selectedNameFilter();
            if (!saveAsFilter.isEmpty()) {
                dialog->selectNameFilter(saveAsFilter);
            }
            if (saveAsPath.isEmpty()) {
                return false;
            }
            path = saveAsPath;
            return true;
        };
    }
    Window(const Window &) = delete;
    Window &operator=(const Window &) = delete;

    void show()
    {
        form1.show();
        form1.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&form1));
        QTRY_VERIFY(form1.Activated());
        QCoreApplication::processEvents();
    }

    // The offscreen platform does not reactivate a window after a modal
    // dialog closes; a desktop does.
    void reactivate()
    {
        QApplication::setActiveWindow(&form1);
        form1.memo1->InnerWindow()->setFocus();
        QTRY_COMPARE(QApplication::activeWindow(), static_cast<QWidget *>(&form1));
    }

    // Types into the password box (replacing what is there), then presses OK
    // or Cancel.
    void password(const QString &text, bool ok = true)
    {
        m_script.expect(
            QStringLiteral("the password dialog"), Is<TForm2>, [this, text, ok](QWidget *modal) {
                auto *dialog = static_cast<TForm2 *>(modal);
                ++passwordPrompts;
                dialog->Edit1->setFocus();
                dialog->Edit1->selectAll();
                QTest::keyClicks(dialog->Edit1, text);
                QTest::mouseClick(ok ? dialog->Button1 : dialog->Button2, Qt::LeftButton);
            });
    }
    // A password that is not the document's own: typed, then typed again.
    void newPassword(const QString &text, const QString &again)
    {
        password(text);
        password(again);
    }
    void newPassword(const QString &text) { newPassword(text, text); }
    // Presses a message box's OK or Yes (its only button, when it has one),
    // or else its Cancel or No.
    void message(bool ok = true) { expectMessage({}, ok); }
    // Presses the message box's button with this caption.
    void choose(const QString &button) { expectMessage(button, true); }
    // Any other modal dialog, answered by `act`. An answer that opens a
    // dialog and waits on it leaves that dialog to the next step.
    void dialog(std::function<void(QDialog *)> act) { m_script.expectDialog(std::move(act)); }

    // Each answered dialog's frame when it was shown.
    QList<QRect> dialogGeometries() const { return m_script.geometries(); }
    bool scriptDone() const { return m_script.done(); }
    // The dialogs that came unscripted and were closed, named.
    QStringList unexpectedDialogs() const { return m_script.unexpected(); }

private:
    void expectMessage(const QString &caption, bool ok)
    {
        m_script.expect(
            QStringLiteral("a message box"), Is<QMessageBox>, [this, caption, ok](QWidget *modal) {
                auto *box = static_cast<QMessageBox *>(modal);
                messages << box->text();
                titles << box->windowTitle();
                icons << box->icon();
                if (QAbstractButton *button = pick(box, caption, ok)) {
                    button->click();
                } else {
                    m_script.refuse(modal, QStringLiteral("it has no button for the answer"));
                }
            });
    }

    static QAbstractButton *pick(QMessageBox *box, const QString &caption, bool ok)
    {
        const QList<QAbstractButton *> buttons = box->buttons();
        for (QAbstractButton *candidate : buttons) {
            const QMessageBox::ButtonRole role = box->buttonRole(candidate);
            const bool positive = role == QMessageBox::AcceptRole || role == QMessageBox::YesRole;
            if (caption.isEmpty() ? positive == ok || buttons.size() == 1
                                  : candidate->text().remove(u'&') == caption) {
                return candidate;
            }
        }
        return nullptr;
    }

    ModalScript m_script; // checked when the window goes
};

} // namespace veskel::test
