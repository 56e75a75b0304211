// Answers the modal dialogs a test expects, in order, as a user would. A
// dialog nothing expects, or another than the next step is for, is closed at
// once and named (class, title, text); the test fails when the script goes,
// instead of blocking in the dialog's exec() until the runner's timeout.
#pragma once

#include <QDialog>
#include <QList>
#include <QQueue>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QWidget>

#include <functional>

namespace veskel::test {

class ModalScript
{
public:
    using Match = std::function<bool(QWidget *)>; // is this the dialog the step is for?
    using Act = std::function<void(QWidget *)>;   // answers it

    ModalScript();
    // Fails the running test if a dialog came unexpected.
    virtual ~ModalScript();
    ModalScript(const ModalScript &) = delete;
    ModalScript &operator=(const ModalScript &) = delete;

    // The next modal dialog must be one `match` accepts (any, when empty);
    // `act` answers it. `what` names the dialog in a failure. A dialog the
    // answer opens and waits on is answered by the step after it.
    void expect(const QString &what, Match match, Act act);
    // Any dialog, handed to `act` as the QDialog it is.
    void expectDialog(std::function<void(QDialog *)> act);

    bool done() const { return m_steps.isEmpty(); }
    // The dialogs closed as unexpected, by class, title, reason and text.
    QStringList unexpected() const { return m_unexpected; }
    // Each answered dialog's frame when it came, in order.
    QList<QRect> geometries() const { return m_geometries; }

    // Closes `modal` as unexpected, for the reason given.
    void refuse(QWidget *modal, const QString &why);
    // Fails the running test now if a dialog came unexpected.
    void verifyNoneUnexpected();

private:
    struct Step
    {
        QString what;
        Match match;
        Act act;
    };

    void poll();

    QQueue<Step> m_steps;
    QList<QWidget *> m_answering; // the dialogs whose answers are running
    QStringList m_unexpected;
    QList<QRect> m_geometries;
    QTimer m_timer;
};

// For a stretch of a test where no dialog may open: any modal dialog is
// closed at once, and unexpected() names it.
class NoDialogExpected : public ModalScript
{};

// A step's match: the dialog is a T.
template<typename T>
bool Is(QWidget *modal)
{
    return qobject_cast<T *>(modal) != nullptr;
}

} // namespace veskel::test
