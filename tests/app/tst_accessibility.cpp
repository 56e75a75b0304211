// What a screen reader finds in both windows: every control has a name and
// the bar labels point at their boxes. (The password box's silence is tested
// with the dialog.)
#include "app/veskelmain.h"
#include "dialogs/frmpassword.h"
#include "editor/richeditor.h"
#include "platform/testing/textview.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QTest>

using namespace veskel;

namespace {

QAccessibleInterface *accessible(QWidget *widget)
{
    return QAccessible::queryAccessibleInterface(widget);
}

// The controls a user reaches: buttons, boxes, the editing area, the menu
// bar and the status bar's panels.
QList<QWidget *> controlsOf(QWidget *window)
{
    QList<QWidget *> controls;
    for (QWidget *widget : window->findChildren<QWidget *>()) {
        if (widget->window() != window) {
            continue; // the file dialogs are windows of their own
        }
        if (qobject_cast<QAbstractButton *>(widget) || qobject_cast<QLineEdit *>(widget) ||
            qobject_cast<QTextEdit *>(widget) || qobject_cast<QMenuBar *>(widget) ||
            (qobject_cast<QLabel *>(widget) && widget->objectName().startsWith("StatusPanel"))) {
            controls << widget;
        }
    }
    return controls;
}

} // namespace

class TestAccessibility : public QObject
{
    Q_OBJECT

    TForm1 *m_form1 = nullptr;
    TForm2 *m_form2 = nullptr;

private slots:
    void initTestCase()
    {
        m_form1 = new TForm1;
        m_form2 = new TForm2(m_form1);
        m_form1->setPasswordDialog(m_form2);
        m_form1->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_form1));
    }
    void cleanupTestCase() { delete m_form1; }

    void everyControlHasAName()
    {
        QList<QWidget *> controls = controlsOf(m_form1) + controlsOf(m_form2);
        QVERIFY(controls.size() >= 12);
        for (QWidget *control : controls) {
            QAccessibleInterface *iface = accessible(control);
            QVERIFY2(iface != nullptr, qPrintable(control->objectName()));
            QVERIFY2(!iface->text(QAccessible::Name).trimmed().isEmpty(),
                     qPrintable(control->objectName() + " " + control->metaObject()->className()));
        }
    }

    void namesAndRoles_data()
    {
        QTest::addColumn<QString>("object");
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("role");
        const int edit = QAccessible::EditableText;
        QTest::newRow("editing area") << "memo1"
                                      << "Document text" << edit;
        QTest::newRow("find box") << "Edit3"
                                  << "Find text" << edit;
        QTest::newRow("search token") << "Edit4"
                                      << "Search token" << edit;
        QTest::newRow("replacement") << "Edit1"
                                     << "Replace with" << edit;
        QTest::newRow("line number") << "edtGoTo"
                                     << "Line number" << edit;
        QTest::newRow("caret panel") << "StatusPanel0"
                                     << "Caret position" << int(QAccessible::StaticText);
        QTest::newRow("password") << "Form2/Edit1"
                                  << "Password" << edit;
        QTest::newRow("OK") << "Form2/Button1"
                            << "OK" << int(QAccessible::Button);
    }
    void namesAndRoles()
    {
        QFETCH(QString, object);
        QFETCH(QString, name);
        QFETCH(int, role);
        QWidget *widget = nullptr;
        if (object == "memo1") {
            widget = win::TextViewOf(m_form1->memo1->InnerWindow());
        } else if (object.startsWith("Form2/")) {
            widget = m_form2->findChild<QWidget *>(object.mid(6));
        } else {
            widget = m_form1->findChild<QWidget *>(object);
        }
        QVERIFY(widget != nullptr);
        QAccessibleInterface *iface = accessible(widget);
        QCOMPARE(iface->text(QAccessible::Name), name);
        QCOMPARE(int(iface->role()), role);
    }

    void barLabelsNameTheirBoxes_data()
    {
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("box");
        QTest::newRow("search token") << "Label2"
                                      << "Edit4";
        QTest::newRow("replace with") << "Label1"
                                      << "Edit1";
    }
    void barLabelsNameTheirBoxes()
    {
        QFETCH(QString, label);
        QFETCH(QString, box);
        QAccessibleInterface *labelled = accessible(m_form1->findChild<QWidget *>(box));
        const auto relations = labelled->relations(QAccessible::Label);
        QCOMPARE(relations.size(), 1);
        QCOMPARE(relations[0].first->object(), m_form1->findChild<QObject *>(label));
    }

    // What a screen reader reads of the status panels after a key press: the
    // panels' values, not only their names.
    void statusPanelsReadTheirValues()
    {
        TForm1 &f = *m_form1;
        f.memo1->setText("ab\r\ncdef");
        f.memo1->setSelectionStart(5);
        QTest::keyClick(win::TextViewOf(f.memo1->InnerWindow()), Qt::Key_Right);
        QCOMPARE(accessible(f.StatusPanel0)->text(QAccessible::Name), "Caret position 2 : 1");
        f.Edit3->setText("xyz");
        f.FindNext1->trigger();
        QCOMPARE(accessible(f.StatusPanel1)->text(QAccessible::Name), "Status: Not found: \"xyz\"");
    }
};

QTEST_MAIN(TestAccessibility)
#include "tst_accessibility.moc"
