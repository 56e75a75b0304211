#include "frmpassword.h"

#include "platform/winui/formscale.h"

#include <QApplication>
#include <QCursor>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QShortcutEvent>
#include <QWindow>

#include <algorithm>
#include <limits>

namespace veskel {

namespace {

constexpr Qt::WindowFlags DialogFrame = Qt::Dialog | Qt::WindowTitleHint |
                                        Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                                        Qt::MSWindowsFixedSizeDialogHint;

// The modifiers that turn a key into something else: Shift only changes a
// letter's case and the keypad flag only says where the key sits.
Qt::KeyboardModifiers commandModifiers(const QKeyEvent *event)
{
    return event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
}

bool isEnter(const QKeyEvent *event)
{
    return event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
}

// The letter a key types, in lower case, or a null character. Falls back on
// the key code for Latin letters when the event carries no text, as it may
// with Alt held.
QChar typedLetter(const QKeyEvent *event)
{
    const QString text = event->text();
    if (text.size() == 1 && text.at(0).isLetter()) {
        return text.at(0).toLower();
    }
    if (text.isEmpty() && event->key() >= Qt::Key_A && event->key() <= Qt::Key_Z) {
        return QChar(u'a' + (event->key() - Qt::Key_A));
    }
    return {};
}

} // namespace

TForm2::TForm2(QWidget *mainWindow)
    : QDialog(mainWindow, DialogFrame)
    , m_mainWindow(mainWindow)
{
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("Set Password"));
    setFont(win::DesignFont(this));
    setFixedSize(win::Scaled(239, this), win::Scaled(93, this));

    Edit1 = new QLineEdit(this);
    Edit1->setObjectName(QStringLiteral("Edit1"));
    Edit1->setGeometry(win::Scaled(QRect(8, 8, 223, 21), this));
    // An asterisk for every character on every style, and never the last
    // typed character shown in clear for a moment.
    Edit1->setStyleSheet(
        QStringLiteral("lineedit-password-character: 42; lineedit-password-mask-delay: 0"));
    Edit1->setEchoMode(QLineEdit::Password);
    Edit1->setAccessibleName(tr("Password"));
    Edit1->setAccessibleDescription(tr("The document's password"));
    Edit1->setMaxLength(std::numeric_limits<int>::max());

    Button1 = new QPushButton(QStringLiteral("&OK"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(win::Scaled(QRect(8, 48, 75, 25), this));
    Button1->setDefault(true);

    Button2 = new QPushButton(QStringLiteral("&Cancel"), this);
    Button2->setObjectName(QStringLiteral("Button2"));
    Button2->setGeometry(win::Scaled(QRect(96, 48, 75, 25), this));

    for (QPushButton *button : {Button1, Button2}) {
        // A click gives the button the focus, on every platform, and Enter
        // presses the focused button.
        button->setFocusPolicy(Qt::StrongFocus);
        button->setAutoDefault(true);
        button->installEventFilter(this);
    }
    Edit1->installEventFilter(this);
    setTabOrder(Edit1, Button1);
    setTabOrder(Button1, Button2);

    connect(Button1, &QPushButton::clicked, this, [this] { done(mrOk); });
    connect(Button2, &QPushButton::clicked, this, [this] { done(mrCancel); });
}

int TForm2::ShowModal()
{
    if (isVisible()) {
        // Already waiting for an answer further up the stack.
        return mrCancel;
    }

    const QPointer<QWidget> previousWindow = QApplication::activeWindow();
    const QPointer<QWidget> previousFocus = QApplication::focusWidget();

    if (QWidget *grabber = QWidget::mouseGrabber()) {
        grabber->releaseMouse();
    }
    // A busy cursor set by the program must not hide that the dialog waits
    // for input; it comes back when the dialog closes.
    const bool cursorOverridden = QGuiApplication::overrideCursor() != nullptr;
    if (cursorOverridden) {
        QGuiApplication::setOverrideCursor(Qt::ArrowCursor);
    }

    if (!m_shownBefore) {
        placeOverMainWindow();
        m_awaitingFrame = windowHandle() == nullptr || windowHandle()->frameMargins().isNull();
    } else {
        move(m_closedAt);
    }
    QWidget *focus = m_focusOnClose ? m_focusOnClose.data() : Edit1;
    focus->setFocus(Qt::OtherFocusReason);
    if (focus == Edit1) {
        // As when tabbing into it: the old password is kept for Enter, and
        // typing replaces it rather than adding to characters nobody can see.
        Edit1->selectAll();
    }

    const int result = exec();

    m_shownBefore = true;
    m_awaitingFrame = false;
    m_closedAt = pos();
    focus = focusWidget();
    m_focusOnClose = (focus == Edit1 || focus == Button1 || focus == Button2) ? focus : Edit1;
    if (isVisible()) {
        // The event loop was ended from outside, by the application quitting.
        hide();
    }

    if (cursorOverridden) {
        QGuiApplication::restoreOverrideCursor();
    }
    // The window system need not reactivate the window that was active
    // before, so do it here and give its focus back.
    QWidget *window = previousWindow ? previousWindow.data()
                                     : (previousFocus ? previousFocus->window() : nullptr);
    if (window != nullptr && window != this && window->isVisible()) {
        window->activateWindow();
    }
    if (previousFocus && previousFocus->window() != this) {
        previousFocus->setFocus(Qt::ActiveWindowFocusReason);
    }

    return result == mrOk ? mrOk : mrCancel;
}

void TForm2::reject()
{
    // The close button, Alt+F4, the system menu and the application quitting
    // all end here; Esc does not (see keyPressEvent).
    done(mrCancel);
}

bool TForm2::event(QEvent *event)
{
    const bool handled = QDialog::event(event);
    if (m_awaitingFrame && isVisible() && windowHandle() != nullptr) {
        const QEvent::Type type = event->type();
        if ((type == QEvent::Move || type == QEvent::Resize || type == QEvent::Paint ||
             type == QEvent::WindowActivate) &&
            !windowHandle()->frameMargins().isNull()) {
            // The window manager has framed the dialog: now its own frame,
            // not the main window's, decides where it is centred.
            m_awaitingFrame = false;
            placeOverMainWindow();
        }
    }
    return handled;
}

void TForm2::keyPressEvent(QKeyEvent *event)
{
    // Neither button is a cancel button, so Esc does nothing.
    if (event->key() == Qt::Key_Escape || event->matches(QKeySequence::Cancel)) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

bool TForm2::eventFilter(QObject *watched, QEvent *event)
{
    auto *control = qobject_cast<QWidget *>(watched);
    if (control == nullptr) {
        return QDialog::eventFilter(watched, event);
    }
    if (event->type() == QEvent::KeyPress) {
        if (handleControlKey(control, static_cast<QKeyEvent *>(event))) {
            return true;
        }
    } else if (event->type() == QEvent::Shortcut && (control == Button1 || control == Button2)) {
        // An access key presses its button at once, so that a second key
        // typed straight after cannot press the other one as well.
        if (!static_cast<QShortcutEvent *>(event)->isAmbiguous()) {
            static_cast<QPushButton *>(control)->click();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

// Keys the controls would otherwise handle differently: returns true when the
// key has been dealt with.
bool TForm2::handleControlKey(QWidget *control, const QKeyEvent *event)
{
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    if (isEnter(event)) {
        // Enter with Shift, Ctrl or Alt does nothing; a focused push button
        // would take it as a press.
        return modifiers != Qt::NoModifier;
    }

    const QChar letter = typedLetter(event);
    const bool onButton = control == Button1 || control == Button2;
    const Qt::KeyboardModifiers command = commandModifiers(event);
    // Alt with an access letter, in either case; a button takes no typed
    // characters, so there the letter alone is enough.
    const bool accessKey = command == Qt::AltModifier || (onButton && command == Qt::NoModifier);
    if (!accessKey) {
        return false;
    }
    if (letter == u'o') {
        Button1->click();
        return true;
    }
    if (letter == u'c') {
        Button2->click();
        return true;
    }
    // Alt with any other key types nothing into the password box: an
    // invisible stray character would give a password the user never meant.
    return command == Qt::AltModifier && control == Edit1 && !event->text().isEmpty();
}

void TForm2::placeOverMainWindow()
{
    // The platform window knows the frame it is going to get; where it does
    // not yet (before the window manager has decorated it), the main
    // window's frame stands in for it.
    create();
    QMargins frame = windowHandle() != nullptr ? windowHandle()->frameMargins() : QMargins();
    const bool framed = !frame.isNull();
    const QWidget *main = m_mainWindow ? m_mainWindow->window() : nullptr;
    if (!framed && main != nullptr && main->windowHandle() != nullptr) {
        frame = main->windowHandle()->frameMargins();
    }
    const int outerWidth = width() + frame.left() + frame.right();
    const int outerHeight = height() + frame.top() + frame.bottom();

    const QScreen *desktop = main != nullptr ? main->screen() : screen();
    const QRect available = desktop != nullptr ? desktop->availableGeometry() : QRect();
    const QRect over = main != nullptr ? main->frameGeometry() : available;

    // Integer division drops the fraction towards zero, as it should.
    int left = over.x() + (over.width() - outerWidth) / 2;
    int top = over.y() + (over.height() - outerHeight) / 2;
    if (desktop != nullptr) {
        left = std::max(left, available.left());
        top = std::max(top, available.top());
    }
    // The client area is placed where it sits inside the frame: a window
    // without its frame yet gets it put around the client (X11). move()
    // would take the frame from what the widget last saw of it, which may
    // still be none just after the window manager framed the dialog.
    const bool resized = testAttribute(Qt::WA_Resized);
    setGeometry(QRect(QPoint(left + frame.left(), top + frame.top()), size()));
    setAttribute(Qt::WA_Resized, resized); // still sized by its layout
}

} // namespace veskel
