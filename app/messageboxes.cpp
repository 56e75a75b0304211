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

} // namespace veskel
