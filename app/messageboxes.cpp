#include "messageboxes.h"

#include "programtitle.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>

namespace veskel {

QString ErrorBoxText(const QString &message)
{
    if (!message.isEmpty() && message.back().unicode() > u'.') {
        return message + u'.';
    }
    return message;
}

void ShowPlainMessage(QWidget *owner, const QString &text)
{
    QMessageBox box(QMessageBox::NoIcon, ProgramTitle(), text, QMessageBox::NoButton, owner);
    box.setObjectName(QStringLiteral("plainMessageBox"));
    QPushButton *ok = box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
    box.setDefaultButton(ok);
    box.setEscapeButton(ok);
    box.adjustSize();
    if (const QScreen *screen =
            owner != nullptr ? owner->screen() : QGuiApplication::primaryScreen()) {
        QRect frame = box.frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        box.move(frame.topLeft());
    }
    box.exec();
}

void ShowErrorMessage(QWidget *owner, const QString &message)
{
    QWidget *active = QApplication::activeWindow();
    QMessageBox box(QMessageBox::Critical, ProgramTitle(), ErrorBoxText(message), QMessageBox::Ok,
                    active != nullptr ? active : owner);
    box.setObjectName(QStringLiteral("errorMessageBox"));
    box.exec();
}

bool AskYesNo(QWidget *owner, const QString &question)
{
    QMessageBox box(QMessageBox::Warning, ProgramTitle(), question,
                    QMessageBox::Yes | QMessageBox::No, owner);
    box.setObjectName(QStringLiteral("questionMessageBox"));
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

int AskChoice(QWidget *owner, const QString &text, const QStringList &buttons, int defaultIndex,
              int escapeIndex)
{
    QMessageBox box(QMessageBox::Warning, ProgramTitle(), text, QMessageBox::NoButton, owner);
    box.setObjectName(QStringLiteral("choiceMessageBox"));
    QList<QPushButton *> pushButtons;
    for (const QString &caption : buttons) {
        // The role orders nothing here: every button is an action of its own.
        pushButtons << box.addButton(caption, QMessageBox::ActionRole);
    }
    box.setDefaultButton(pushButtons.value(defaultIndex));
    box.setEscapeButton(pushButtons.value(escapeIndex));
    box.exec();
    const auto pressed = pushButtons.indexOf(qobject_cast<QPushButton *>(box.clickedButton()));
    return pressed >= 0 ? static_cast<int>(pressed) : escapeIndex;
}

} // namespace veskel
