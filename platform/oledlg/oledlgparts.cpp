#include "platform/oledlg/oledlgparts_p.h"
#include "platform/winui/winwindow.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QDialog>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QShortcutEvent>
#include <QVBoxLayout>

namespace win::dialogparts {

namespace {

// The most average characters a file name or source takes in a message.
constexpr int kNameWidthInCharacters = 48;

// An access key presses its button at once, as a click does, rather than
// after the toolkit's animated press: a second key typed straight after then
// finds the controls the first one has shown.
class AccessKeyFilter final : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Shortcut) {
            auto *button = qobject_cast<QAbstractButton *>(watched);
            if (button != nullptr && !static_cast<QShortcutEvent *>(event)->isAmbiguous()) {
                button->setFocus(Qt::ShortcutFocusReason);
                button->click();
                return true;
            }
        }
        return QObject::eventFilter(watched, event);
    }
};

} // namespace

QString shortened(const QWidget *widget, const QString &text)
{
    const QFontMetrics metrics(widget->font());
    return metrics.elidedText(text, Qt::ElideMiddle,
                              metrics.averageCharWidth() * kNameWidthInCharacters);
}

// A label for text from outside (file names, clipboard types): never read as
// markup.
QLabel *plainLabel(QWidget *parent, const QString &name)
{
    auto *label = new QLabel(parent);
    label->setObjectName(name);
    label->setTextFormat(Qt::PlainText);
    return label;
}

QLabel *errorLabel(QWidget *parent)
{
    QLabel *label = plainLabel(parent, QStringLiteral("errorLabel"));
    label->setWordWrap(true);
    label->setStyleSheet(QStringLiteral("color: #c00000; font-weight: bold"));
    label->setMinimumHeight(2 * label->fontMetrics().lineSpacing());
    // The dialog keeps its size when the message comes and goes.
    QSizePolicy policy = label->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    label->setSizePolicy(policy);
    label->hide();
    return label;
}

// The group that says in a sentence what OK will do.
QGroupBox *resultGroup(QWidget *parent, QLabel *&label, const QString &title)
{
    auto *group = new QGroupBox(title, parent);
    group->setObjectName(QStringLiteral("resultGroup"));
    label = plainLabel(group, QStringLiteral("resultLabel"));
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setMinimumHeight(3 * label->fontMetrics().lineSpacing());
    label->setMinimumWidth(label->fontMetrics().averageCharWidth() * 56);
    auto *layout = new QVBoxLayout(group);
    layout->addWidget(label);
    return group;
}

QVBoxLayout *buttonColumn(QDialog *dialog, QPushButton *&ok, QPushButton *&cancel)
{
    ok = new QPushButton(QCoreApplication::translate("OleDialog", "OK"), dialog);
    ok->setObjectName(QStringLiteral("okButton"));
    ok->setDefault(true);
    cancel = new QPushButton(QCoreApplication::translate("OleDialog", "Cancel"), dialog);
    cancel->setObjectName(QStringLiteral("cancelButton"));
    QObject::connect(ok, &QPushButton::clicked, dialog, &QDialog::accept);
    QObject::connect(cancel, &QPushButton::clicked, dialog, &QDialog::reject);
    auto *column = new QVBoxLayout;
    column->addWidget(ok);
    column->addWidget(cancel);
    return column;
}

void pressAccessKeysAtOnce(QDialog *dialog)
{
    auto *filter = new AccessKeyFilter(dialog);
    for (QAbstractButton *button : dialog->findChildren<QAbstractButton *>()) {
        button->installEventFilter(filter);
    }
}

QString reasonOf(HRESULT result)
{
    QString reason = ResultMessage(result);
    if (reason.isEmpty()) {
        reason = QCoreApplication::translate("OleDialog", "error 0x%1")
                     .arg(static_cast<std::uint32_t>(result), 8, 16, QLatin1Char('0'));
    }
    return reason;
}

QWidget *ownerWindow(HWND owner)
{
    return owner != nullptr ? owner->window() : nullptr;
}

// Lays the dialog out, lets the hook place it, then runs it. A dialog the hook
// has moved stays where it was put; one it has not is centred over its owner.
UINT runDialog(QDialog *dialog, LPFNOLEUIHOOK hook, LPARAM data)
{
    const QPointer<QDialog> guard(dialog);
    dialog->ensurePolished();
    if (dialog->layout() != nullptr) {
        dialog->layout()->activate();
    }
    dialog->adjustSize();
    // The platform window exists before the hook runs, so that the dialog's
    // outer rectangle includes its frame.
    dialog->winId();
    if (hook != nullptr) {
        hook(dialog, WM_INITDIALOG, 0, data);
    }
    const bool accepted = guard && dialog->exec() == QDialog::Accepted;
    // The owner may have been destroyed while the dialog was up, taking the
    // dialog with it.
    delete guard.data();
    return accepted ? OLEUI_OK : OLEUI_CANCEL;
}

} // namespace win::dialogparts
