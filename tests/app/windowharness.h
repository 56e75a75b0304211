// The real main window and password dialog, with a script that answers the
// modal dialogs as a user would: typing into the password box, pressing
// buttons in message boxes.
#pragma once

#include "../unexpecteddialogs.h"
#include "app/shortcutfilter.h"
#include "app/veskelmain.h"
#include "dialogs/frmpassword.h"
#include "editor/richeditor.h"

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QQueue>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <functional>

namespace veskel::test {

// Stands in for the desktop (a QDesktopServices URL handler): records what
// it would have been asked to open.
class UrlRecorder : public QObject
{
    Q_OBJECT

public:
    QList<QUrl> opened;

public slots:
    void open(const QUrl &url) { opened << url; }
};

struct ModalAnswer
{
    enum Kind
    {
        Password,
        Message,
        Dialog // any other modal dialog, answered by a function
    } kind;
    QString password; // typed into the password box (replacing what is there)
    bool ok = true;   // OK or Yes; else Cancel or No
    std::function<void(QDialog *)> act = {};
    QString button = {}; // a message box's button, by its caption
};

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
        m_timer.setInterval(5);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { answer(); });
        m_timer.start();
        live().append(this);
    }
    ~Window() { live().removeOne(this); }
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

    void password(const QString &text, bool ok = true)
    {
        m_script.enqueue({ModalAnswer::Password, text, ok});
    }
    // A password that is not the document's own: typed, then typed again.
    void newPassword(const QString &text, const QString &again)
    {
        password(text);
        password(again);
    }
    void newPassword(const QString &text) { newPassword(text, text); }
    void message(bool ok = true) { m_script.enqueue({ModalAnswer::Message, {}, ok}); }
    // Presses the message box's button with this caption.
    void choose(const QString &button)
    {
        m_script.enqueue({ModalAnswer::Message, {}, true, {}, button});
    }
    // The timer does not fire again while an answer runs: an answer that
    // opens another dialog (a file dialog's question) queues that step.
    void dialog(std::function<void(QDialog *)> act)
    {
        m_script.enqueue({ModalAnswer::Dialog, {}, true, std::move(act)});
    }
    QList<QRect> dialogGeometries; // each answered dialog's frame when it was shown
    bool scriptDone() const { return m_script.isEmpty(); }
    // The dialogs that came unscripted and were closed, named.
    QStringList unexpectedDialogs() const { return m_unexpected.seen(); }

private:
    // The windows alive now; the newest answers the dialogs.
    static QList<Window *> &live()
    {
        static QList<Window *> windows;
        return windows;
    }

    void answer()
    {
        QWidget *modal = QApplication::activeModalWidget();
        if (modal == nullptr || !modal->isVisible() || modal == m_answering ||
            live().constLast() != this) {
            return;
        }
        if (m_script.isEmpty()) {
            m_unexpected.close(modal, "nothing was scripted");
            return;
        }
        const ModalAnswer next = m_script.dequeue();
        m_answering = modal;
        auto *dialog = qobject_cast<TForm2 *>(modal);
        auto *box = qobject_cast<QMessageBox *>(modal);
        if (next.kind == ModalAnswer::Dialog) {
            dialogGeometries << modal->frameGeometry();
            next.act(qobject_cast<QDialog *>(modal));
        } else if (dialog != nullptr && next.kind == ModalAnswer::Password) {
            ++passwordPrompts;
            dialog->Edit1->setFocus();
            dialog->Edit1->selectAll();
            QTest::keyClicks(dialog->Edit1, next.password);
            QTest::mouseClick(next.ok ? dialog->Button1 : dialog->Button2, Qt::LeftButton);
        } else if (box != nullptr && next.kind == ModalAnswer::Message) {
            messages << box->text();
            titles << box->windowTitle();
            icons << box->icon();
            QAbstractButton *button = nullptr;
            for (QAbstractButton *candidate : box->buttons()) {
                const QMessageBox::ButtonRole role = box->buttonRole(candidate);
                const bool positive =
                    role == QMessageBox::AcceptRole || role == QMessageBox::YesRole;
                if (!next.button.isEmpty()) {
                    if (candidate->text().remove(u'&') == next.button) {
                        button = candidate;
                        break;
                    }
                } else if (positive == next.ok || box->buttons().size() == 1) {
                    button = candidate;
                    break;
                }
            }
            if (button != nullptr) {
                button->click();
            } else {
                m_unexpected.close(modal, "it has no button for the answer");
            }
        } else {
            m_unexpected.close(modal, next.kind == ModalAnswer::Password
                                          ? "a password was scripted"
                                          : "a message was scripted");
        }
        m_answering = nullptr;
    }

    UnexpectedDialogs m_unexpected; // checked when the window goes
    QQueue<ModalAnswer> m_script;
    QTimer m_timer;
    QWidget *m_answering = nullptr;
};

} // namespace veskel::test
