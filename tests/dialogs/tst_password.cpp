#include "dialogs/frmpassword.h"
#include "platform/winui/formscale.h"
#include "support/dialogtitles.h"

#include <QAccessible>
#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QtTest>

#include <functional>
#include <memory>

using veskel::TForm2;

class tst_Password : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void controls_data();
    void controls();
    void window();
    void tabOrderWraps();
    void firstShowingCentredOverMainWindow_data();
    void firstShowingCentredOverMainWindow();
    void laterShowingsStayWhereLeft();
    void typedCharactersShowAsAsterisks();
    void passwordKeptBetweenShowings();
    void noLengthLimit();
    void keys_data();
    void keys();
    void otherWaysOfClosingGiveCancel_data();
    void otherWaysOfClosingGiveCancel();
    void clickedButtonHasFocusAtNextShowing();
    void focusReturnsToPreviousWidget();
    void cursorIsDefaultWhileUp();
    void passwordHiddenFromAssistiveTechnology();

private:
    // Runs ShowModal while `script` drives the shown, active dialog. A script
    // that leaves the dialog open fails the test and the dialog is closed.
    int runModal(const std::function<void()> &script);
    // Sends a key to the widget that has the focus, as the keyboard would.
    static void pressKey(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
    static void typeText(const QString &text);

    std::unique_ptr<QWidget> m_main;
    QLineEdit *m_mainEdit = nullptr;
    TForm2 *m_dialog = nullptr;
};

void tst_Password::init()
{
    m_main = std::make_unique<QWidget>();
    m_main->setWindowTitle("main");
    m_main->setGeometry(100, 100, 600, 400);
    m_mainEdit = new QLineEdit(m_main.get());
    m_mainEdit->setObjectName("mainEdit");
    m_mainEdit->setGeometry(10, 10, 200, 20);
    auto *other = new QLineEdit(m_main.get());
    other->setObjectName("otherEdit");
    other->setGeometry(10, 40, 200, 20);
    m_main->show();
    m_main->activateWindow();
    QVERIFY(QTest::qWaitFor([this] { return QApplication::activeWindow() == m_main.get(); }));
    m_mainEdit->setFocus();
    m_dialog = new TForm2(m_main.get());
}

void tst_Password::cleanup()
{
    m_main.reset();
    m_dialog = nullptr;
    m_mainEdit = nullptr;
}

int tst_Password::runModal(const std::function<void()> &script)
{
    TForm2 *dialog = m_dialog;
    bool ran = false;
    QTimer::singleShot(0, dialog, [&] {
        ran = true;
        QVERIFY(dialog->isVisible());
        // A dialog counts as active while its main window is, so wait for
        // the application to see the dialog itself as the active window.
        dialog->activateWindow();
        QVERIFY(QTest::qWaitFor([dialog] { return QApplication::activeWindow() == dialog; }));
        script();
    });
    QTimer watchdog;
    watchdog.setSingleShot(true);
    connect(&watchdog, &QTimer::timeout, dialog, [dialog] {
        if (dialog->isVisible()) {
            QTest::qFail("the dialog was left open", __FILE__, __LINE__);
            dialog->hide();
        }
    });
    watchdog.start(5000);
    const int result = dialog->ShowModal();
    [&] { QVERIFY(ran); }();
    [&] { QVERIFY(!dialog->isVisible()); }();
    return result;
}

void tst_Password::pressKey(Qt::Key key, Qt::KeyboardModifiers modifiers)
{
    QWidget *focus = QApplication::focusWidget();
    QVERIFY(focus != nullptr);
    QTest::keyClick(focus, key, modifiers);
}

void tst_Password::typeText(const QString &text)
{
    for (const QChar c : text) {
        QWidget *focus = QApplication::focusWidget();
        QVERIFY(focus != nullptr);
        QTest::keyClick(focus, c.toLatin1());
    }
}

void tst_Password::controls_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QRect>("design");

    QTest::newRow("Edit1") << "Edit1" << QString() << QRect(8, 8, 223, 21);
    QTest::newRow("Button1") << "Button1"
                             << "&OK" << QRect(8, 48, 75, 25);
    QTest::newRow("Button2") << "Button2"
                             << "&Cancel" << QRect(96, 48, 75, 25);
}

void tst_Password::controls()
{
    QFETCH(QString, name);
    QFETCH(QString, caption);
    QFETCH(QRect, design);

    auto *control = m_dialog->findChild<QWidget *>(name);
    QVERIFY(control != nullptr);
    QCOMPARE(control->geometry(), win::Scaled(design, m_dialog));
    if (win::DesignScale(m_dialog) == 1.0) {
        QCOMPARE(control->geometry(), design);
    }
    QCOMPARE(control->font(), win::DesignFont(m_dialog));
    if (auto *button = qobject_cast<QPushButton *>(control)) {
        QCOMPARE(button->text(), caption);
        QCOMPARE(button->isDefault(), name == "Button1");
        QVERIFY(control == m_dialog->Button1 || control == m_dialog->Button2);
    } else {
        QCOMPARE(control, m_dialog->Edit1);
        QCOMPARE(m_dialog->Edit1->echoMode(), QLineEdit::Password);
        QVERIFY(m_dialog->Edit1->text().isEmpty());
    }
}

void tst_Password::window()
{
    QCOMPARE(m_dialog->windowTitle(), veskel::test::title::kPassword);
    QCOMPARE(m_dialog->parentWidget(), m_main.get());
    QVERIFY(m_dialog->isWindow());
    QVERIFY(!m_dialog->isVisible());
    QCOMPARE(m_dialog->size(), QSize(win::Scaled(239, m_dialog), win::Scaled(93, m_dialog)));
    QCOMPARE(m_dialog->minimumSize(), m_dialog->maximumSize());
    const Qt::WindowFlags flags = m_dialog->windowFlags();
    QCOMPARE(flags & Qt::WindowType_Mask, Qt::Dialog);
    QVERIFY(flags.testFlag(Qt::WindowCloseButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowMinimizeButtonHint));
    QVERIFY(!flags.testFlag(Qt::WindowMaximizeButtonHint));
}

void tst_Password::tabOrderWraps()
{
    QWidget *edit = m_dialog->Edit1;
    QWidget *ok = m_dialog->Button1;
    QWidget *cancel = m_dialog->Button2;
    const int result = runModal([&] {
        QCOMPARE(QApplication::focusWidget(), edit);
        for (QWidget *expected : {ok, cancel, edit, ok}) {
            pressKey(Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget(), expected);
        }
        for (QWidget *expected : {edit, cancel, ok, edit}) {
            pressKey(Qt::Key_Backtab, Qt::ShiftModifier);
            QCOMPARE(QApplication::focusWidget(), expected);
        }
        m_dialog->close();
    });
    QCOMPARE(result, TForm2::mrCancel);
}

void tst_Password::firstShowingCentredOverMainWindow_data()
{
    QTest::addColumn<QRect>("mainGeometry");

    QTest::newRow("inside the desktop") << QRect(100, 100, 600, 400);
    QTest::newRow("narrower than the dialog") << QRect(300, 200, 101, 41);
    QTest::newRow("beyond the top-left corner") << QRect(-500, -350, 600, 400);
    QTest::newRow("beyond the left edge") << QRect(-500, 150, 600, 400);
}

void tst_Password::firstShowingCentredOverMainWindow()
{
    QFETCH(QRect, mainGeometry);

    m_main->setGeometry(mainGeometry);
    QTRY_COMPARE(m_main->geometry(), mainGeometry);
    const QRect mainFrame = m_main->frameGeometry();
    const QRect desktop = m_main->screen()->availableGeometry();

    QRect shownAt;
    const int result = runModal([&] {
        shownAt = m_dialog->frameGeometry();
        QCOMPARE(QApplication::focusWidget(), m_dialog->Edit1);
        pressKey(Qt::Key_Return);
    });
    QCOMPARE(result, TForm2::mrOk);

    // The halves drop their fractions towards zero, also when negative.
    int left = mainFrame.x() + (mainFrame.width() - shownAt.width()) / 2;
    int top = mainFrame.y() + (mainFrame.height() - shownAt.height()) / 2;
    left = std::max(left, desktop.left());
    top = std::max(top, desktop.top());
    QCOMPARE(shownAt.topLeft(), QPoint(left, top));
    QCOMPARE(m_dialog->pos(), QPoint(left, top));
}

void tst_Password::laterShowingsStayWhereLeft()
{
    QPoint first;
    QCOMPARE(runModal([&] {
                 first = m_dialog->pos();
                 m_dialog->Button2->click();
             }),
             TForm2::mrCancel);

    // Not centred again, even though the main window has moved.
    m_main->move(250, 180);
    QCOMPARE(runModal([&] {
                 QCOMPARE(m_dialog->pos(), first);
                 m_dialog->move(first + QPoint(-40, 30)); // dragged by the user
                 QTRY_COMPARE(m_dialog->pos(), first + QPoint(-40, 30));
                 m_dialog->Button1->click();
             }),
             TForm2::mrOk);

    m_main->move(20, 20);
    QCOMPARE(runModal([&] {
                 QCOMPARE(m_dialog->pos(), first + QPoint(-40, 30));
                 m_dialog->close();
             }),
             TForm2::mrCancel);
}

void tst_Password::typedCharactersShowAsAsterisks()
{
    const int result = runModal([&] {
        typeText("p4Z");
        QCOMPARE(m_dialog->Edit1->displayText(), "***");
        QCOMPARE(m_dialog->Edit1->text(), "p4Z");
        pressKey(Qt::Key_Return);
    });
    QCOMPARE(result, TForm2::mrOk);
    QCOMPARE(m_dialog->Edit1->text(), "p4Z");
}

void tst_Password::passwordKeptBetweenShowings()
{
    QCOMPARE(runModal([&] {
                 typeText("abc");
                 pressKey(Qt::Key_Return);
             }),
             TForm2::mrOk);

    // Enter at once reuses the password.
    QCOMPARE(runModal([&] {
                 QCOMPARE(m_dialog->Edit1->displayText(), "***");
                 pressKey(Qt::Key_Return);
             }),
             TForm2::mrOk);
    QCOMPARE(m_dialog->Edit1->text(), "abc");

    // Typing replaces the old password instead of adding to it; what was
    // typed before Cancel is kept too.
    QCOMPARE(runModal([&] {
                 typeText("xyz");
                 QCOMPARE(m_dialog->Edit1->text(), "xyz");
                 m_dialog->Button2->click();
             }),
             TForm2::mrCancel);
    QCOMPARE(runModal([&] { pressKey(Qt::Key_Return); }), TForm2::mrOk);
    QCOMPARE(m_dialog->Edit1->text(), "xyz");
}

void tst_Password::noLengthLimit()
{
    const QString longText(100000, QLatin1Char('k'));
    m_dialog->Edit1->setText(longText);
    QCOMPARE(m_dialog->Edit1->text().size(), longText.size());
    QCOMPARE(runModal([&] {
                 m_dialog->Edit1->end(false);
                 typeText("z");
                 pressKey(Qt::Key_Return);
             }),
             TForm2::mrOk);
    QCOMPARE(m_dialog->Edit1->text(), longText + "z");
}

static void addKeyRow(const char *name, const char *focus, Qt::Key key,
                      Qt::KeyboardModifiers modifiers, int result, const char *typed)
{
    QTest::newRow(name) << QString(focus) << int(key) << modifiers << result << QString(typed);
}

void tst_Password::keys_data()
{
    QTest::addColumn<QString>("focus");
    QTest::addColumn<int>("key");
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::addColumn<int>("result"); // 0: the dialog stays open
    QTest::addColumn<QString>("typed");

    addKeyRow("Edit1 Return", "Edit1", Qt::Key_Return, {}, 1, "");
    addKeyRow("Edit1 keypad Enter", "Edit1", Qt::Key_Enter, Qt::KeypadModifier, 1, "");
    addKeyRow("Edit1 Shift+Return", "Edit1", Qt::Key_Return, Qt::ShiftModifier, 0, "");
    addKeyRow("Edit1 Ctrl+Return", "Edit1", Qt::Key_Return, Qt::ControlModifier, 0, "");
    addKeyRow("Edit1 Alt+Return", "Edit1", Qt::Key_Return, Qt::AltModifier, 0, "");
    addKeyRow("Edit1 Shift+keypad Enter", "Edit1", Qt::Key_Enter,
              Qt::ShiftModifier | Qt::KeypadModifier, 0, "");
    addKeyRow("Edit1 Esc", "Edit1", Qt::Key_Escape, {}, 0, "");
    addKeyRow("Edit1 Alt+O", "Edit1", Qt::Key_O, Qt::AltModifier, 1, "");
    addKeyRow("Edit1 Alt+C", "Edit1", Qt::Key_C, Qt::AltModifier, 2, "");
    addKeyRow("Edit1 Alt+Shift+C", "Edit1", Qt::Key_C, Qt::AltModifier | Qt::ShiftModifier, 2, "");
    addKeyRow("Edit1 Alt+X", "Edit1", Qt::Key_X, Qt::AltModifier, 0, "");
    addKeyRow("Edit1 o is typed", "Edit1", Qt::Key_O, {}, 0, "o");
    addKeyRow("Edit1 c is typed", "Edit1", Qt::Key_C, {}, 0, "c");
    addKeyRow("Edit1 Space is typed", "Edit1", Qt::Key_Space, {}, 0, " ");
    addKeyRow("OK Return", "Button1", Qt::Key_Return, {}, 1, "");
    addKeyRow("OK Space", "Button1", Qt::Key_Space, {}, 1, "");
    addKeyRow("OK Esc", "Button1", Qt::Key_Escape, {}, 0, "");
    addKeyRow("OK Shift+Return", "Button1", Qt::Key_Return, Qt::ShiftModifier, 0, "");
    addKeyRow("Cancel Return", "Button2", Qt::Key_Return, {}, 2, "");
    addKeyRow("Cancel keypad Enter", "Button2", Qt::Key_Enter, Qt::KeypadModifier, 2, "");
    addKeyRow("Cancel Space", "Button2", Qt::Key_Space, {}, 2, "");
    addKeyRow("Cancel Esc", "Button2", Qt::Key_Escape, {}, 0, "");
    addKeyRow("Cancel Shift+Return", "Button2", Qt::Key_Return, Qt::ShiftModifier, 0, "");
    addKeyRow("Cancel Ctrl+Return", "Button2", Qt::Key_Return, Qt::ControlModifier, 0, "");
    addKeyRow("Cancel Alt+O", "Button2", Qt::Key_O, Qt::AltModifier, 1, "");
    addKeyRow("Cancel o", "Button2", Qt::Key_O, {}, 1, "");
    addKeyRow("Cancel Shift+O", "Button2", Qt::Key_O, Qt::ShiftModifier, 1, "");
    addKeyRow("OK c", "Button1", Qt::Key_C, {}, 2, "");
    addKeyRow("OK Shift+C", "Button1", Qt::Key_C, Qt::ShiftModifier, 2, "");
    addKeyRow("OK x", "Button1", Qt::Key_X, {}, 0, "");
    addKeyRow("OK Ctrl+C", "Button1", Qt::Key_C, Qt::ControlModifier, 0, "");
}

void tst_Password::keys()
{
    QFETCH(QString, focus);
    QFETCH(int, key);
    QFETCH(Qt::KeyboardModifiers, modifiers);
    QFETCH(int, result);
    QFETCH(QString, typed);

    m_dialog->Edit1->setText("secret");
    const int got = runModal([&] {
        auto *target = m_dialog->findChild<QWidget *>(focus);
        QVERIFY(target != nullptr);
        target->setFocus(Qt::TabFocusReason);
        QTRY_COMPARE(QApplication::focusWidget(), target);
        m_dialog->Edit1->deselect();
        m_dialog->Edit1->end(false);

        pressKey(Qt::Key(key), modifiers);
        if (result != 0) {
            return; // the dialog has closed
        }
        QCoreApplication::processEvents(); // a close the key queued would happen now
        QVERIFY(m_dialog->isVisible());
        QCOMPARE(QApplication::focusWidget(), target);
        m_dialog->close();
    });
    QCOMPARE(got, result != 0 ? result : TForm2::mrCancel);
    QCOMPARE(m_dialog->Edit1->text(), "secret" + typed);
}

void tst_Password::otherWaysOfClosingGiveCancel_data()
{
    QTest::addColumn<int>("how");

    QTest::newRow("close button") << 0;
    QTest::newRow("reject") << 1;
    QTest::newRow("all windows closed as the application quits") << 2;
}

void tst_Password::otherWaysOfClosingGiveCancel()
{
    QFETCH(int, how);

    const int result = runModal([&] {
        typeText("pw");
        switch (how) {
        case 0:
            m_dialog->close();
            break;
        case 1:
            m_dialog->reject();
            break;
        default:
            QApplication::closeAllWindows();
            break;
        }
    });
    QCOMPARE(result, TForm2::mrCancel);
    QCOMPARE(m_dialog->Edit1->text(), "pw");
}

void tst_Password::clickedButtonHasFocusAtNextShowing()
{
    QCOMPARE(runModal([&] {
                 typeText("old");
                 QTest::mouseClick(m_dialog->Button1, Qt::LeftButton);
             }),
             TForm2::mrOk);

    // The letter o presses OK; other letters are ignored.
    QCOMPARE(runModal([&] {
                 QCOMPARE(QApplication::focusWidget(), m_dialog->Button1);
                 QCOMPARE(m_dialog->Edit1->displayText(), "***");
                 typeText("x");
                 QVERIFY(m_dialog->isVisible());
                 typeText("o");
             }),
             TForm2::mrOk);
    QCOMPARE(m_dialog->Edit1->text(), "old");

    // Pressed by its letter, Cancel does not take the focus from OK.
    QCOMPARE(runModal([&] {
                 QCOMPARE(QApplication::focusWidget(), m_dialog->Button1);
                 typeText("c");
             }),
             TForm2::mrCancel);
    QCOMPARE(runModal([&] {
                 QCOMPARE(QApplication::focusWidget(), m_dialog->Button1);
                 pressKey(Qt::Key_Return);
             }),
             TForm2::mrOk);

    // A click on Cancel moves the focus there for next time.
    QCOMPARE(runModal([&] { QTest::mouseClick(m_dialog->Button2, Qt::LeftButton); }),
             TForm2::mrCancel);
    QCOMPARE(runModal([&] {
                 QCOMPARE(QApplication::focusWidget(), m_dialog->Button2);
                 QTest::mouseClick(m_dialog->Edit1, Qt::LeftButton);
                 QCOMPARE(QApplication::focusWidget(), m_dialog->Edit1);
                 m_dialog->close();
             }),
             TForm2::mrCancel);
    QCOMPARE(runModal([&] {
                 QCOMPARE(QApplication::focusWidget(), m_dialog->Edit1);
                 pressKey(Qt::Key_Return);
             }),
             TForm2::mrOk);
    QCOMPARE(m_dialog->Edit1->text(), "old");
}

void tst_Password::focusReturnsToPreviousWidget()
{
    auto *other = m_main->findChild<QLineEdit *>("otherEdit");
    QVERIFY(other != nullptr);
    for (QLineEdit *previous : {m_mainEdit, other}) {
        previous->setFocus();
        QTRY_COMPARE(QApplication::focusWidget(), previous);
        QCOMPARE(runModal([&] {
                     QCOMPARE(QApplication::activeWindow(), m_dialog);
                     pressKey(Qt::Key_Return);
                 }),
                 TForm2::mrOk);
        QTRY_COMPARE(QApplication::activeWindow(), m_main.get());
        QTRY_COMPARE(QApplication::focusWidget(), previous);
    }
}

void tst_Password::cursorIsDefaultWhileUp()
{
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    QCOMPARE(runModal([&] {
                 QVERIFY(QGuiApplication::overrideCursor() != nullptr);
                 QCOMPARE(QGuiApplication::overrideCursor()->shape(), Qt::ArrowCursor);
                 pressKey(Qt::Key_Return);
             }),
             TForm2::mrOk);
    QVERIFY(QGuiApplication::overrideCursor() != nullptr);
    QCOMPARE(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
    QGuiApplication::restoreOverrideCursor();
    QVERIFY(QGuiApplication::overrideCursor() == nullptr);

    // Without a cursor of the program's own, none is left behind.
    QCOMPARE(runModal([&] { pressKey(Qt::Key_Return); }), TForm2::mrOk);
    QVERIFY(QGuiApplication::overrideCursor() == nullptr);
}

void tst_Password::passwordHiddenFromAssistiveTechnology()
{
    // No character of it appears in the box's name or description.
    const QString password = "QZ7!xk%";
    const int result = runModal([&] {
        typeText(password);
        QCOMPARE(m_dialog->Edit1->text(), password);

        QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(m_dialog->Edit1);
        QVERIFY(iface != nullptr);
        QCOMPARE(iface->role(), QAccessible::EditableText);
        QVERIFY(iface->state().passwordEdit);
        // Not a single character of the password, by any way of asking.
        QStringList told;
        for (const auto t : {QAccessible::Name, QAccessible::Value, QAccessible::Description}) {
            told << iface->text(t);
        }
        QAccessibleTextInterface *text = iface->textInterface();
        QVERIFY(text != nullptr);
        QCOMPARE(text->characterCount(), password.size());
        told << text->text(0, text->characterCount());
        int start = 0;
        int end = 0;
        for (const auto boundary : {QAccessible::CharBoundary, QAccessible::WordBoundary,
                                    QAccessible::LineBoundary, QAccessible::NoBoundary}) {
            told << text->textAtOffset(2, boundary, &start, &end)
                 << text->textBeforeOffset(3, boundary, &start, &end)
                 << text->textAfterOffset(1, boundary, &start, &end);
        }
        text->setSelection(0, 0, text->characterCount());
        text->selection(0, &start, &end);
        told << text->text(start, end);
        const QString all = told.join(QString());
        for (const QChar c : password) {
            QVERIFY2(!all.contains(c), qPrintable(all));
        }
        pressKey(Qt::Key_Return);
    });
    QCOMPARE(result, TForm2::mrOk);
}

QTEST_MAIN(tst_Password)
#include "tst_password.moc"
