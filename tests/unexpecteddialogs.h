// Modal dialogs a test did not script. Each is recorded by its title and
// text and closed at once, so that the test fails straight away instead of
// waiting on the dialog until the runner's timeout.
#pragma once

#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QStringList>
#include <QTest>

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

    void verifyNone()
    {
        const QStringList seen = std::exchange(m_seen, {});
        QVERIFY2(seen.isEmpty(), qPrintable(seen.join(QStringLiteral("; "))));
    }

private:
    QStringList m_seen;
};

} // namespace veskel::test
