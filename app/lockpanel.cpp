#include "app/lockpanel.h"

#include "runtime/memory.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace veskel {

LockPanel::LockPanel(QWidget *parent)
    : QWidget(parent)
    , Title(new QLabel(QStringLiteral("Locked"), this))
    , Note(new QLabel(this))
    , Password(new QLineEdit(this))
    , Unlock(new QPushButton(QStringLiteral("&Unlock"), this))
{
    setObjectName(QStringLiteral("pnlLocked"));
    Title->setObjectName(QStringLiteral("lblLocked"));
    Note->setObjectName(QStringLiteral("lblLockedNote"));
    Password->setObjectName(QStringLiteral("edtUnlockPassword"));
    Unlock->setObjectName(QStringLiteral("btnUnlock"));
    QFont big = Title->font();
    if (big.pixelSize() > 0) {
        big.setPixelSize(big.pixelSize() * 3 / 2);
    } else {
        big.setPointSizeF(big.pointSizeF() * 1.5);
    }
    Title->setFont(big);
    Title->setAlignment(Qt::AlignCenter);
    Note->setAlignment(Qt::AlignCenter);
    Note->setWordWrap(true);
    Password->setEchoMode(QLineEdit::Password);
    Password->setMaximumWidth(320);
    Password->setAccessibleName(QStringLiteral("Password"));
    Password->setAccessibleDescription(QStringLiteral("The document's password, to unlock it"));
    Unlock->setAutoDefault(true);

    auto *layout = new QVBoxLayout(this);
    layout->addStretch(1);
    layout->addWidget(Title);
    layout->addWidget(Note);
    layout->addWidget(Password, 0, Qt::AlignHCenter);
    layout->addWidget(Unlock, 0, Qt::AlignHCenter);
    layout->addStretch(2);

    connect(Unlock, &QPushButton::clicked, this, &LockPanel::unlockRequested);
    connect(Password, &QLineEdit::returnPressed, this, &LockPanel::unlockRequested);
}

void LockPanel::ShowLocked(bool sealed, bool hasText)
{
    Password->setVisible(sealed);
    Note->setText(
        sealed    ? QString()
        : hasText ? QStringLiteral("The text is only hidden: it has no password to lock it with.")
                  : QString());
    Note->setVisible(!Note->text().isEmpty());
    show();
    (sealed ? static_cast<QWidget *>(Password) : Unlock)->setFocus();
}

QString LockPanel::TakePassword()
{
    QString password = Password->text();
    // Set, not cleared: clearing keeps the text as an undo step.
    Password->setText(QString());
    return password;
}

} // namespace veskel
