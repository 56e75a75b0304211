// Modal dialogs a test did not script. Each is recorded by its title and
// text and closed at once, so that the test fails straight away instead of
// waiting on the dialog until the runner's timeout.
#pragma once

#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QStringList>
#include <QTest>
#include <QTimer>

#include <utility>

namespace veskel::test {

class UnexpectedDialogs
{
public:
    UnexpectedDialogs() = default;
    UnexpectedDialogs(const UnexpectedDialogs &) = delete;
    UnexpectedDialogs &operator=(const UnexpectedDialogs &) = delete;

    // Fails the running test if any dialog came unscripted.
    ~UnexpectedDialogs() { verifyNone(); }

    void close(QWidget *modal, const char *why)
    {
        QString text;
        if (auto *box = qobject_cast<QMessageBox *>(modal)) {
            text = box->text();
        }
        m_seen << QStringLiteral("%1 \"%2\" (%3): %4")
                      .arg(QString::fromLatin1(modal->metaObject()->className()),
                           modal->windowTitle(), QString::fromLatin1(why), text);
        qWarning("unexpected dialog: %s", qPrintable(m_seen.last()));
        if (auto *dialog = qobject_cast<QDialog *>(modal)) {
            dialog->reject();
        }
        modal->hide();
    }

    // Each dialog closed so far, by class, title, reason and text.
    QStringList seen() const { return m_seen; }

    void verifyNone()
    {
        const QStringList seen = std::exchange(m_seen, {});
        QVERIFY2(seen.isEmpty(), qPrintable(seen.join(QStringLiteral("; "))));
    }

private:
    QStringList m_seen;
};

// For a stretch of a test where no dialog may open: any modal dialog is
// closed at once as unexpected, and seen() names it.
class NoDialogExpected
{
public:
    NoDialogExpected()
    {
        m_timer.setInterval(5);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            if (QWidget *modal = QApplication::activeModalWidget(); modal && modal->isVisible()) {
                m_unexpected.close(modal, "none was expected");
            }
        });
        m_timer.start();
    }
    QStringList seen() const { return m_unexpected.seen(); }

private:
    UnexpectedDialogs m_unexpected;
    QTimer m_timer;
};

} // namespace veskel::test
