// Every command of the window's menus is named in the manual page veskel(1),
// with its shortcut, so that a menu item added without describing it fails
// here. All menus are walked, Help too: its items do nothing, and the manual
// says so naming each of them, which is how a reader learns what they are.
#include "app/veskelmain.h"
#include "support/manualtext.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QRegularExpression>
#include <QTest>

#include <memory>

using namespace veskel;

namespace {

const QString kManual = QStringLiteral("packaging/man/veskel.1");

// A caption as the manual writes it: without the mnemonic marker ("&&" is an
// ampersand) and without a trailing "...".
QString plainCaption(const QString &text)
{
    QString caption;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'&' && i + 1 < text.size()) {
            ++i;
        }
        caption += text[i];
    }
    if (caption.endsWith(QLatin1String("..."))) {
        caption.chop(3);
    } else if (caption.endsWith(QChar(0x2026))) {
        caption.chop(1);
    }
    return caption.trimmed();
}

// Whether `phrase` stands in `text` on its own, in the same letter case: "Paste"
// is not in "Pasted", "F3" not in "Shift+F3".
bool containsPhrase(const QString &text, const QString &phrase)
{
    const QString words =
        QRegularExpression::escape(phrase).replace(QLatin1String("\\ "), QLatin1String("\\s+"));
    const QRegularExpression whole(QStringLiteral("(?<![\\w+])%1(?![\\w+])").arg(words));
    return whole.match(text).hasMatch();
}

struct Item
{
    QString path; // "File > Save As"
    QString caption;
    QStringList shortcuts;
};

void collect(const QMenu *menu, const QString &path, QList<Item> &items)
{
    for (const QAction *action : menu->actions()) {
        if (action->isSeparator()) {
            continue;
        }
        const QString caption = plainCaption(action->text());
        const QString itemPath = path + QStringLiteral(" > ") + caption;
        if (action->menu() != nullptr) {
            collect(action->menu(), itemPath, items);
        }
        QStringList shortcuts;
        for (const QKeySequence &shortcut : action->shortcuts()) {
            shortcuts.append(shortcut.toString(QKeySequence::PortableText));
        }
        items.append({itemPath, caption, shortcuts});
    }
}

} // namespace

class TestMenuDocs : public QObject
{
    Q_OBJECT

    QList<Item> m_items;
    QString m_manual;

private slots:
    void initTestCase()
    {
        m_manual = veskel::test::ManualText(veskel::test::ReadSource(kManual));
        QVERIFY2(!m_manual.isEmpty(), qPrintable(kManual));

        const auto window = std::make_unique<TForm1>();
        for (const QAction *action : window->menuBar()->actions()) {
            if (action->menu() != nullptr) {
                collect(action->menu(), plainCaption(action->text()), m_items);
            }
        }
        QVERIFY2(m_items.size() > 1, "the menu bar holds no commands");
    }

    void commandsAreInTheManual_data()
    {
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QStringList>("shortcuts");
        for (const Item &item : m_items) {
            QTest::newRow(qPrintable(item.path)) << item.caption << item.shortcuts;
        }
    }

    void commandsAreInTheManual()
    {
        QFETCH(QString, caption);
        QFETCH(QStringList, shortcuts);
        // "Find" must be found on its own, not as part of "Find Next".
        QString text = m_manual;
        for (const Item &other : std::as_const(m_items)) {
            if (other.caption != caption && containsPhrase(other.caption, caption)) {
                text.replace(other.caption, QStringLiteral("#"));
            }
        }
        QStringList missing;
        if (!containsPhrase(text, caption)) {
            missing.append(QStringLiteral("the caption \"%1\"").arg(caption));
        }
        for (const QString &shortcut : shortcuts) {
            if (!containsPhrase(text, shortcut)) {
                missing.append(QStringLiteral("the shortcut %1 of \"%2\"").arg(shortcut, caption));
            }
        }
        QVERIFY2(missing.isEmpty(), qPrintable(kManual + QStringLiteral(" does not name ") +
                                               missing.join(QStringLiteral(" nor "))));
    }
};

QTEST_MAIN(TestMenuDocs)
#include "tst_menudocs.moc"
