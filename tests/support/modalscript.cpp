#include "support/modalscript.h"

#include <QApplication>
#include <QMessageBox>
#include <QTest>

#include <utility>

namespace veskel::test {

namespace {

// The scripts alive now; the newest answers the dialogs, so that a stretch
// with a script of its own (NoDialogExpected) takes over from the test's.
QList<ModalScript *> &live()
{
    static QList<ModalScript *> scripts;
    return scripts;
}

} // namespace

ModalScript::ModalScript()
{
    m_timer.setInterval(5);
    QObject::connect(&m_timer, &QTimer::timeout, [this] { poll(); });
    m_timer.start();
    live().append(this);
}

ModalScript::~ModalScript()
{
    live().removeOne(this);
    verifyNoneUnexpected();
}

void ModalScript::expect(const QString &what, Match match, Act act)
{
    m_steps.enqueue({what, std::move(match), std::move(act)});
}

void ModalScript::expectDialog(std::function<void(QDialog *)> act)
{
    expect(QStringLiteral("a dialog"), Is<QDialog>,
           [act = std::move(act)](QWidget *modal) { act(qobject_cast<QDialog *>(modal)); });
}

void ModalScript::refuse(QWidget *modal, const QString &why)
{
    QString text;
    if (auto *box = qobject_cast<QMessageBox *>(modal)) {
        text = box->text();
    }
    m_unexpected << QStringLiteral("%1 \"%2\" (%3): %4")
                        .arg(QString::fromLatin1(modal->metaObject()->className()),
                             modal->windowTitle(), why, text);
    qWarning("unexpected dialog: %s", qPrintable(m_unexpected.last()));
    if (auto *dialog = qobject_cast<QDialog *>(modal)) {
        dialog->reject();
    }
    modal->hide();
}

void ModalScript::verifyNoneUnexpected()
{
    const QStringList seen = std::exchange(m_unexpected, {});
    QVERIFY2(seen.isEmpty(), qPrintable(seen.join(QStringLiteral("; "))));
}

void ModalScript::poll()
{
    QWidget *modal = QApplication::activeModalWidget();
    if (modal == nullptr || !modal->isVisible() || m_answering.contains(modal) ||
        live().constLast() != this) {
        return;
    }
    if (m_steps.isEmpty()) {
        refuse(modal, QStringLiteral("none was expected"));
        return;
    }
    if (m_steps.head().match && !m_steps.head().match(modal)) {
        refuse(modal, m_steps.head().what + QStringLiteral(" was expected"));
        return;
    }
    const Step step = m_steps.dequeue();
    m_geometries << modal->frameGeometry();
    m_answering << modal;
    // A timer does not fire again while its own handler runs: a second one
    // answers what the answer opens and waits on.
    QTimer nested;
    nested.setInterval(5);
    QObject::connect(&nested, &QTimer::timeout, [this] { poll(); });
    nested.start();
    step.act(modal);
    m_answering.removeOne(modal);
}

} // namespace veskel::test
