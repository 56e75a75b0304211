// Embedded and linked objects in RTF: what the writer puts in an \object
// group, that the reader makes the same objects from it, that it shows the
// \result of objects it cannot make, and that broken or hostile object data
// never becomes an object.
#include "../rtf/rtftestutil.h"
#include "platform/ole/oleobject.h"
#include "platform/ole/olestorage.h"
#include "platform/richedit/richeditole.h"
#include "platform/rtf/rtfwriter.h"
#include "support/files.h"
#include "support/olestandins.h"

#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextImageFormat>
#include <QtEndian>

#include <memory>
#include <sys/stat.h>

using namespace win;
using namespace veskel::test;

namespace {

QImage testImage()
{
    QImage image(7, 5, QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            image.setPixelColor(x, y, QColor(x * 30, y * 50, 90, 255));
    }
    return image;
}

QImage argb(const QImage &image)
{
    return image.convertToFormat(QImage::Format_ARGB32);
}

// Bytes of every value, zeros among them, and a stretch of text.
QByteArray packageBytes(int size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        bytes[i] = char((i * 7 + i / 256) & 0xFF);
    bytes.replace(100, 12, "\0\0\0 text \0\0", 12);
    return bytes;
}

// The hex of the first \objdata group, as bytes; empty when there is none.
QByteArray objectDataIn(const QByteArray &rtf)
{
    const qsizetype start = rtf.indexOf("{\\*\\objdata");
    if (start < 0)
        return {};
    const qsizetype end = rtf.indexOf('}', start);
    QByteArray hex = rtf.mid(start + 11, end - start - 11);
    hex.replace('\n', QByteArray());
    return QByteArray::fromHex(hex);
}

// The RTF with the object data replaced by data of no known layout, as a
// reader without these objects would see it.
QByteArray withForeignData(QByteArray rtf)
{
    const qsizetype start = rtf.indexOf("{\\*\\objdata");
    const qsizetype end = rtf.indexOf('}', start);
    return rtf.replace(start, end - start + 1, "{\\*\\objdata 0105000002000000}");
}

// A small document of an object between text.
QByteArray objectDocument(const QByteArray &object)
{
    return "{\\rtf1\\ansi a" + object + "b}";
}

QByteArray littleEndian(quint32 value)
{
    char bytes[4];
    qToLittleEndian(value, bytes);
    return QByteArray(bytes, 4);
}

// The object data with the 32-bit length in front of field replaced.
QByteArray withLength(QByteArray data, const QByteArray &field, quint32 length)
{
    const qsizetype at = data.indexOf(littleEndian(quint32(field.size())) + field);
    if (at < 0)
        return {};
    return data.replace(at, 4, littleEndian(length));
}

struct Counts
{
    int objects = 0;
    int pictures = 0;
};

Counts countsOf(const QTextDocument &document)
{
    Counts counts;
    const QString text = document.toRawText();
    for (int i = 0; i < text.size(); ++i) {
        if (text.at(i) != QChar::ObjectReplacementCharacter)
            continue;
        const QTextCharFormat format = formatAt(document, i);
        if (ObjectRecordOf(format))
            ++counts.objects;
        else if (format.isImageFormat())
            ++counts.pictures;
    }
    return counts;
}

enum class Make
{
    Package,
    EmptyPackage,
    Picture,
    Link,
    LinkToMissingFile,
    BlankPicture,
};

} // namespace

Q_DECLARE_METATYPE(Make)

class TestRtfObjects : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_packagePath;
    QByteArray m_packageContents;
    QString m_picturePath;
    // The data and an \object group of a package, for the reader's tests.
    QByteArray m_packageData;
    QByteArray m_resultGroup;

    // An object from a file in the temporary folder.
    std::shared_ptr<OleObject> fromFile(const QString &path, const CLSID &clsid = CLSID_NULL)
    {
        std::shared_ptr<IOleObject> object;
        const HRESULT result = OleCreateFromFile(clsid, path, IID_IOleObject, OLERENDER_DRAW,
                                                 nullptr, nullptr, NewStorage(), object);
        if (FAILED(result))
            qWarning("OleCreateFromFile: %08x", unsigned(result));
        return std::dynamic_pointer_cast<OleObject>(object);
    }

    std::shared_ptr<OleObject> make(Make how)
    {
        std::shared_ptr<IOleObject> object;
        HRESULT result = S_OK;
        switch (how) {
        case Make::Package:
            return fromFile(m_packagePath);
        case Make::EmptyPackage: {
            const QString path = m_dir.filePath(QStringLiteral("empty.txt"));
            if (!WriteAll(path, {}))
                return nullptr;
            return fromFile(path, CLSID_Package);
        }
        case Make::Picture:
            return fromFile(m_picturePath);
        case Make::Link:
        case Make::LinkToMissingFile: {
            const QString path = m_dir.filePath(how == Make::Link ? QStringLiteral("linked.bin")
                                                                  : QStringLiteral("gone.bin"));
            if (!WriteAll(path, m_packageContents))
                return nullptr;
            result = OleCreateLinkToFile(path, IID_IOleObject, OLERENDER_DRAW, nullptr, nullptr,
                                         NewStorage(), object);
            break;
        }
        case Make::BlankPicture:
            result = OleCreate(CLSID_Picture, IID_IOleObject, OLERENDER_DRAW, nullptr, nullptr,
                               NewStorage(), object);
            break;
        }
        if (FAILED(result))
            qWarning("object creation: %08x", unsigned(result));
        return std::dynamic_pointer_cast<OleObject>(object);
    }

    static ObjectRecordPtr insert(QTextCursor &cursor, const std::shared_ptr<OleObject> &object,
                                  DWORD aspect = DVASPECT_CONTENT)
    {
        std::shared_ptr<IStorage> storage = NewStorage();
        const ObjectRecordPtr record = MakeObjectRecord(object, storage, aspect, REO_RESIZABLE);
        InsertObjectCharacter(cursor, record);
        return record;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_packagePath = m_dir.filePath(QString::fromUtf16(u"Gr\u00FC\u00DFe \u0434\u0430\u043D"
                                                          u"\u043D\u044B\u0435 \u2713.bin"));
        m_packageContents = packageBytes(5003);
        QVERIFY(WriteAll(m_packagePath, m_packageContents));
        m_picturePath = m_dir.filePath(QStringLiteral("picture.png"));
        QVERIFY(WriteAll(m_picturePath, png(testImage())));

        const std::shared_ptr<OleObject> package = fromFile(m_packagePath);
        QVERIFY(package);
        m_packageData = OleSaveObjectData(*package);
        QVERIFY(!m_packageData.isEmpty());
        m_resultGroup = "{\\result{\\pict\\pngblip " + png(testImage()).toHex() + "}}";
    }

    void roundTrip_data()
    {
        QTest::addColumn<Make>("how");
        QTest::addColumn<uint>("objectAspect"); // the object's own
        QTest::addColumn<uint>("aspect");       // its record's
        const uint content = DVASPECT_CONTENT;
        const uint icon = DVASPECT_ICON;
        QTest::newRow("embedded file") << Make::Package << content << content;
        QTest::newRow("empty file") << Make::EmptyPackage << content << content;
        QTest::newRow("picture") << Make::Picture << content << content;
        QTest::newRow("new blank picture") << Make::BlankPicture << content << content;
        QTest::newRow("linked file") << Make::Link << content << content;
        QTest::newRow("link to a file gone since") << Make::LinkToMissingFile << content << content;
        QTest::newRow("file as an icon") << Make::Package << icon << icon;
        QTest::newRow("picture as an icon") << Make::Picture << icon << icon;
        QTest::newRow("linked file as an icon") << Make::Link << icon << icon;
        QTest::newRow("picture, an icon by its record") << Make::Picture << content << icon;
        QTest::newRow("picture as an icon, content by its record")
            << Make::Picture << icon << content;
        QTest::newRow("file, an icon by its record") << Make::Package << content << icon;
    }
    void roundTrip()
    {
        QFETCH(Make, how);
        QFETCH(uint, objectAspect);
        QFETCH(uint, aspect);
        const std::shared_ptr<OleObject> object = make(how);
        QVERIFY(object);
        QCOMPARE(object->SetAdvise(objectAspect, 0, nullptr), S_OK);

        QTextDocument original;
        QTextCursor cursor(&original);
        cursor.insertText(QStringLiteral("a"));
        const ObjectRecordPtr record = insert(cursor, object, aspect);
        cursor.insertText(QStringLiteral("b"));
        const QByteArray rtf = WriteRtf(original);
        QVERIFY(std::all_of(rtf.begin(), rtf.end(), [](char c) { return uchar(c) < 0x80; }));
        QVERIFY2(rtf.contains(object->isLink() ? "{\\object\\objlink" : "{\\object\\objemb"),
                 rtf.left(200).constData());
        CLSID clsid;
        QCOMPARE(object->GetUserClassID(clsid), S_OK);
        QVERIFY(rtf.contains("{\\*\\objclass " + ClassProgId(clsid).toLatin1() + "}"));
        // The size in twips at 96 dpi.
        const QSize extent = object->extent(aspect);
        QVERIFY(!extent.isEmpty());
        QVERIFY2(rtf.contains("\\objw" + QByteArray::number(extent.width() * 15) + "\\objh" +
                              QByteArray::number(extent.height() * 15)),
                 rtf.left(200).constData());
        // The data is the object's own, and the object is left as it was.
        const QByteArray data = objectDataIn(rtf);
        if (objectAspect == aspect)
            QCOMPARE(data, OleSaveObjectData(*object));
        QCOMPARE(object->viewAspect(), DWORD(objectAspect));
        if (object->isLink()) {
            QVERIFY(data.size() < 1024); // the path, not the file
            QVERIFY(!data.contains(m_packageContents.left(64)));
        }
        if (how == Make::LinkToMissingFile)
            QVERIFY(QFile::remove(object->linkPath()));

        QTextDocument copy;
        QVERIFY(readInto(copy, rtf));
        QCOMPARE(textOf(copy), QString::fromUtf16(u"a\uFFFCb"));
        const std::vector<PositionedObject> objects = ObjectsOf(copy);
        QCOMPARE(objects.size(), std::size_t(1));
        QCOMPARE(objects.front().cp, 1);
        const ObjectRecordPtr read = objects.front().record;
        QVERIFY(read->storage);
        QVERIFY(read->storage != record->storage);
        QVERIFY(read->clsid == clsid);
        QCOMPARE(read->aspect, DWORD(aspect));
        const auto loaded = std::dynamic_pointer_cast<OleObject>(read->object);
        QVERIFY(loaded);
        QVERIFY(loaded != object);
        QCOMPARE(loaded->viewAspect(), DWORD(aspect));
        QCOMPARE(loaded->kind(), object->kind());
        QCOMPARE(loaded->isLink(), object->isLink());
        QCOMPARE(loaded->linkPath(), object->linkPath());
        QCOMPARE(loaded->displayName(), object->displayName());
        QCOMPARE(loaded->contents(), object->contents());
        if (how == Make::Package)
            QCOMPARE(loaded->contents(), m_packageContents);
        if (object->kind() == OleObject::Kind::Picture)
            QCOMPARE(argb(loaded->picture()), argb(object->picture()));
        if (how == Make::Picture)
            QCOMPARE(argb(loaded->picture()), testImage());
        QCOMPARE(loaded->extent(aspect), extent);
        // Written again, the copy gives the same RTF (for a link whose file
        // is gone, the data is the same but it is drawn by its name).
        if (how != Make::LinkToMissingFile)
            QCOMPARE(WriteRtf(copy).split('\n'), rtf.split('\n'));
        else
            QCOMPARE(objectDataIn(WriteRtf(copy)), data);

        // A reader that cannot make the object shows its drawing, at its size.
        QTextDocument foreign;
        QVERIFY(readInto(foreign, withForeignData(rtf)));
        QCOMPARE(textOf(foreign), QString::fromUtf16(u"a\uFFFCb"));
        QVERIFY(ObjectsOf(foreign).empty());
        const QTextCharFormat shown = formatAt(foreign, 1);
        QVERIFY(shown.isImageFormat());
        const QTextImageFormat image = shown.toImageFormat();
        QCOMPARE(QSizeF(image.width(), image.height()), QSizeF(extent));
        const QImage picture =
            foreign.resource(QTextDocument::ImageResource, QUrl(image.name())).value<QImage>();
        QCOMPARE(argb(picture), argb(object->presentation(aspect)));
    }

    // Opening a document does not read the files its links name: a linked
    // picture shows the picture saved with it until it is updated.
    void linkedFileNotReadWhenOpened_data()
    {
        QTest::addColumn<bool>("pipe"); // the file replaced by a pipe, else by another picture
        QTest::addColumn<int>("updated");
        QTest::newRow("file changed since") << false << int(S_OK);
        QTest::newRow("file replaced by a pipe") << true << int(STG_E_ACCESSDENIED);
    }
    void linkedFileNotReadWhenOpened()
    {
        QFETCH(bool, pipe);
        QFETCH(int, updated);
        const QString path = m_dir.filePath(QStringLiteral("linked-%1.png").arg(pipe));
        QVERIFY(WriteAll(path, png(testImage())));
        std::shared_ptr<IOleObject> created;
        QCOMPARE(OleCreateLinkToFile(path, IID_IOleObject, OLERENDER_DRAW, nullptr, nullptr,
                                     NewStorage(), created),
                 S_OK);
        QTextDocument original;
        QTextCursor cursor(&original);
        insert(cursor, std::dynamic_pointer_cast<OleObject>(created));
        const QByteArray rtf = WriteRtf(original);

        QVERIFY(QFile::remove(path));
        QImage changed(3, 3, QImage::Format_ARGB32);
        changed.fill(Qt::green);
        if (pipe)
            QCOMPARE(mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        else
            QVERIFY(WriteAll(path, png(changed)));
        QTextDocument copy;
        QVERIFY(readInto(copy, rtf));
        const std::vector<PositionedObject> objects = ObjectsOf(copy);
        QCOMPARE(objects.size(), std::size_t(1));
        const auto loaded = std::dynamic_pointer_cast<OleObject>(objects.front().record->object);
        QVERIFY(loaded && loaded->isLink());
        QCOMPARE(loaded->linkPath(), path);
        QCOMPARE(argb(loaded->picture()), testImage());
        QCOMPARE(WriteRtf(copy).split('\n'), rtf.split('\n'));

        QCOMPARE(loaded->Update(), updated);
        QCOMPARE(argb(loaded->picture()), pipe ? testImage() : changed);
    }

    // Objects among formatted text and paragraphs: the text keeps its
    // formats, each object is itself, and no text takes an object's format.
    void objectsAmongText()
    {
        const std::shared_ptr<OleObject> package = make(Make::Package);
        const std::shared_ptr<OleObject> picture = make(Make::Picture);
        const std::shared_ptr<OleObject> link = make(Make::Link);
        QVERIFY(package && picture && link);

        QTextDocument original;
        QTextCursor cursor(&original);
        QTextCharFormat bold;
        bold.setFontWeight(QFont::Bold);
        QTextCharFormat italic;
        italic.setFontItalic(true);
        cursor.insertText(QStringLiteral("bold"), bold);
        insert(cursor, package);
        cursor.insertText(QStringLiteral("it"), italic);
        insert(cursor, picture);
        insert(cursor, link); // two objects side by side
        const ObjectRecordPtr twice = insert(cursor, package);
        InsertObjectCharacter(cursor, twice); // one record twice: one fragment
        cursor.insertText(QStringLiteral("plain"), QTextCharFormat());
        QTextBlockFormat centred;
        centred.setAlignment(Qt::AlignHCenter);
        cursor.insertBlock(centred);
        insert(cursor, picture, DVASPECT_ICON);
        cursor.insertText(QStringLiteral("end"), bold);

        const QString text = QString::fromUtf16(u"bold\uFFFCit\uFFFC\uFFFC\uFFFC\uFFFCplain\n"
                                                u"\uFFFCend");
        QCOMPARE(textOf(original), text);
        const QByteArray rtf = WriteRtf(original);
        QTextDocument copy;
        QVERIFY(readInto(copy, rtf));
        QCOMPARE(textOf(copy), text);

        const std::vector<PositionedObject> before = ObjectsOf(original);
        const std::vector<PositionedObject> after = ObjectsOf(copy);
        QCOMPARE(after.size(), before.size());
        for (std::size_t i = 0; i < after.size(); ++i) {
            QCOMPARE(after[i].cp, before[i].cp);
            const auto was = std::dynamic_pointer_cast<OleObject>(before[i].record->object);
            const auto is = std::dynamic_pointer_cast<OleObject>(after[i].record->object);
            QVERIFY(is);
            QCOMPARE(is->kind(), was->kind());
            QCOMPARE(is->isLink(), was->isLink());
            QCOMPARE(is->displayName(), was->displayName());
            QCOMPARE(is->contents(), was->contents());
            // Every character makes an object of its own.
            for (std::size_t j = 0; j < i; ++j)
                QVERIFY(after[j].record->object != after[i].record->object);
        }
        for (int i = 0; i < text.size(); ++i) {
            const QTextCharFormat format = formatAt(copy, i);
            if (text.at(i) == QChar::ObjectReplacementCharacter || text.at(i) == u'\n')
                continue;
            QVERIFY2(!ObjectRecordOf(format), qPrintable(QString::number(i)));
            QCOMPARE(format.objectType(), int(QTextFormat::NoObject));
            QCOMPARE(format.fontWeight() >= QFont::DemiBold,
                     formatAt(original, i).fontWeight() >= QFont::DemiBold);
            QCOMPARE(format.fontItalic(), formatAt(original, i).fontItalic());
        }
        QCOMPARE(copy.lastBlock().blockFormat().alignment(), Qt::AlignHCenter);
        QCOMPARE(WriteRtf(copy).split('\n'), rtf.split('\n'));
    }

    // Text typed at the cursor after reading an object is text.
    void textAfterAnObject()
    {
        const QByteArray rtf =
            objectDocument("{\\object\\objemb{\\*\\objdata " + m_packageData.toHex() + "}}");
        QTextDocument document;
        QTextCursor cursor(&document);
        QVERIFY(ReadRtf(rtf.left(rtf.size() - 2) + "}", cursor)); // ends with the object
        QCOMPARE(textOf(document), QString::fromUtf16(u"a\uFFFC"));
        QCOMPARE(cursor.position(), 2);
        cursor.insertText(QStringLiteral("typed"));
        QCOMPARE(textOf(document), QString::fromUtf16(u"a\uFFFCtyped"));
        QCOMPARE(ObjectsOf(document).size(), std::size_t(1));
        for (int i = 2; i < 7; ++i) {
            QVERIFY(!ObjectRecordOf(formatAt(document, i)));
            QCOMPARE(formatAt(document, i).objectType(), int(QTextFormat::NoObject));
        }
        QVERIFY(WriteRtf(document).contains("}typed\\par"));
    }

    // An object read into a paragraph goes where the cursor is, after a
    // paragraph break that came before it.
    void insertsAtTheCursor()
    {
        QTextDocument document;
        document.setPlainText(QStringLiteral("XY"));
        QTextCursor cursor(&document);
        cursor.setPosition(1);
        QVERIFY(ReadRtf("{\\rtf1 p\\par{\\object\\objemb{\\*\\objdata " + m_packageData.toHex() +
                            "}" + m_resultGroup + "}}",
                        cursor));
        QCOMPARE(textOf(document), QString::fromUtf16(u"Xp\n\uFFFCY"));
        QCOMPARE(cursor.position(), 4);
        const std::vector<PositionedObject> objects = ObjectsOf(document);
        QCOMPARE(objects.size(), std::size_t(1));
        QCOMPARE(objects.front().cp, 3);
    }

    // Objects the reader does not make, and broken or hostile object data:
    // never an object from them, the \result (a picture here) shown instead
    // where there is one, and the text around them whole.
    void objectData_data()
    {
        QTest::addColumn<QByteArray>("rtf");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("objects");
        QTest::addColumn<int>("pictures");

        const QByteArray hex = m_packageData.toHex();
        const QByteArray result = m_resultGroup;
        const QString shown = QString::fromUtf16(u"a\uFFFCb");
        const auto object = [](const QByteArray &words, const QByteArray &data,
                               const QByteArray &rest) {
            return objectDocument("{\\object" + words + "{\\*\\objdata " + data + "}" + rest + "}");
        };
        const auto made = [&](const char *name, const QByteArray &rtf) {
            QTest::newRow(name) << rtf << shown << 1 << 0;
        };
        const auto fallback = [&](const char *name, const QByteArray &rtf) {
            QTest::newRow(name) << rtf << shown << 0 << 1;
        };

        made("ours", object("\\objemb", hex, result));
        made("ours, no result", object("\\objemb", hex, {}));
        made("ours, no type given", object({}, hex, result));
        made("ours, class given", object("\\objemb{\\*\\objclass Package}", hex, result));
        made("ours, class of no known kind",
             object("\\objemb{\\*\\objclass Other.Thing.2}", hex, result));
        QByteArray spread = hex.toUpper();
        for (qsizetype i = spread.size() - 10; i > 0; i -= 10)
            spread.insert(i, i % 20 == 0 ? "\r\n" : i % 30 == 0 ? "\t" : " ");
        made("ours, in lines and capitals", object("\\objemb", spread, result));
        made("ours, as binary",
             object("\\objemb",
                    "\\bin" + QByteArray::number(m_packageData.size()) + " " + m_packageData,
                    result));
        made("ours, a second result not shown", object("\\objemb", hex, result + result));
        QTest::newRow("ours, the object's group cut off")
            << "{\\rtf1 a{\\object\\objemb{\\*\\objdata " + hex + "}"
            << QString::fromUtf16(u"a\uFFFC") << 1 << 0;

        fallback("foreign data", object("\\objemb{\\*\\objclass Word.Document.8}",
                                        "d0cf11e0a1b11ae1000000000000", result));
        fallback("no data", objectDocument("{\\object\\objemb " + result + "}"));
        fallback("empty data", object("\\objemb", {}, result));
        fallback("cut short by a byte", object("\\objemb", hex.chopped(2), result));
        fallback("cut to half", object("\\objemb", hex.left(hex.size() / 2), result));
        fallback("cut to the header", object("\\objemb", hex.left(18), result));
        fallback("a byte more", object("\\objemb", hex + "00", result));
        fallback("odd number of digits", object("\\objemb", hex + "0", result));
        fallback("odd number of digits, one short", object("\\objemb", hex.chopped(1), result));
        QByteArray junk = hex;
        fallback("not hex", object("\\objemb", junk.insert(40, "zz"), result));
        junk = hex;
        fallback("a hex escape in the data", object("\\objemb", junk.insert(40, "\\'41"), result));
        junk = hex;
        fallback("a character escape in the data",
                 object("\\objemb", junk.insert(40, "\\u65 "), result));
        junk = hex;
        fallback("binary between two digits",
                 object("\\objemb", junk.insert(41, "\\bin1 x"), result));
        junk = hex;
        fallback("a group inside the data", object("\\objemb", junk.insert(40, "{00}"), result));
        fallback("two data groups", object("\\objemb", hex, "{\\*\\objdata " + hex + "}" + result));
        fallback("data not in a group of its own",
                 objectDocument("{\\object\\objemb{{\\*\\objdata " + hex + "}}" + result + "}"));
        fallback("an object group right inside another",
                 objectDocument("{\\object\\objemb{\\object\\objemb{\\*\\objdata " + hex + "}}" +
                                result + "}"));
        fallback("result before data",
                 objectDocument("{\\object\\objemb" + result + "{\\*\\objdata " + hex + "}}"));
        fallback("given as a link", object("\\objlink", hex, result));
        fallback("given as embedded and as a link", object("\\objemb\\objlink", hex, result));
        fallback("another class of this platform",
                 object("\\objemb{\\*\\objclass Veskel.Picture.1}", hex, result));

        // Lengths inside the data that the data does not have.
        const QByteArray contents = m_packageContents;
        const QByteArray name = QFileInfo(m_packagePath).fileName().toUtf8();
        const struct
        {
            const char *name;
            QByteArray field;
            quint32 length;
        } lengths[] = {
            {"contents length 2^32-1", contents, 0xFFFFFFFFu},
            {"contents length 2^31-1", contents, 0x7FFFFFFFu},
            {"contents length 2^31", contents, 0x80000000u},
            {"contents length over the object limit", contents, quint32(kMaxObjectBytes + 1)},
            {"contents length one past the end", contents, quint32(contents.size() + 1)},
            {"contents length one short", contents, quint32(contents.size() - 1)},
            {"name length 2^32-1", name, 0xFFFFFFFFu},
            {"name length past the end", name, quint32(m_packageData.size())},
        };
        for (const auto &length : lengths) {
            const QByteArray data = withLength(m_packageData, length.field, length.length);
            QVERIFY2(!data.isEmpty(), length.name);
            fallback(length.name, object("\\objemb", data.toHex(), result));
        }

        // Objects in the results of others.
        QTest::newRow("ours in the result of ours")
            << objectDocument("{\\object\\objemb{\\*\\objdata " + hex +
                              "}{\\result{\\object\\objemb{\\*\\objdata " + hex + "}" + result +
                              "}}}")
            << shown << 1 << 0;
        QTest::newRow("ours in the result of a foreign one")
            << objectDocument("{\\object\\objemb{\\*\\objdata 0102}{\\result x"
                              "{\\object\\objemb{\\*\\objdata " +
                              hex + "}" + result + "}y}}")
            << QString::fromUtf16(u"ax\uFFFCyb") << 1 << 0;
        QTest::newRow("foreign in the result of a foreign one")
            << objectDocument("{\\object\\objemb{\\*\\objdata 0102}{\\result x"
                              "{\\object\\objemb{\\*\\objdata 0304}" +
                              result + "}y}}")
            << QString::fromUtf16(u"ax\uFFFCyb") << 0 << 1;

        // Data that ends early.
        QTest::newRow("cut in the data")
            << "{\\rtf1 a{\\object\\objemb{\\*\\objdata " + hex << "a" << 0 << 0;
        QTest::newRow("cut in the data's last digit")
            << "{\\rtf1 a{\\object\\objemb{\\*\\objdata " + hex.chopped(1) << "a" << 0 << 0;
        QTest::newRow("cut after the data's digits")
            << "{\\rtf1 a{\\object\\objemb{\\*\\objdata " + hex + "\r\n"
            << "a" << 0 << 0;
        QTest::newRow("cut before the data")
            << QByteArray("{\\rtf1 a{\\object\\objemb{\\*\\objda") << "a" << 0 << 0;
        QTest::newRow("data but no object")
            << "{\\rtf1 a{\\*\\objdata " + hex + "}{\\objdata " + hex + "}b}"
            << "ab" << 0 << 0;
        QTest::newRow("broken data, no result")
            << objectDocument("{\\object\\objemb{\\*\\objdata 0102}}") << "ab" << 0 << 0;
    }
    void objectData()
    {
        QFETCH(QByteArray, rtf);
        QFETCH(QString, text);
        QFETCH(int, objects);
        QFETCH(int, pictures);
        QTextDocument document;
        QVERIFY(readInto(document, rtf));
        QCOMPARE(textOf(document), text);
        const Counts counts = countsOf(document);
        QCOMPARE(counts.objects, objects);
        QCOMPARE(counts.pictures, pictures);
        for (const PositionedObject &object : ObjectsOf(document)) {
            const auto loaded = std::dynamic_pointer_cast<OleObject>(object.record->object);
            QVERIFY(loaded);
            QCOMPARE(loaded->contents(), m_packageContents);
        }
    }

    // Every 32-bit field of the data set to huge values, and every byte
    // changed: no crash, and what loads is whole.
    void everyFieldChanged()
    {
        for (qsizetype at = 0; at < 64 && at + 4 <= m_packageData.size(); ++at) {
            for (const quint32 value : {0xFFFFFFFFu, 0x7FFFFFFFu, 0x00010000u}) {
                QByteArray data = m_packageData;
                data.replace(at, 4, littleEndian(value));
                QTextDocument document;
                QVERIFY(
                    readInto(document, objectDocument("{\\object\\objemb{\\*\\objdata " +
                                                      data.toHex() + "}" + m_resultGroup + "}")));
                const Counts counts = countsOf(document);
                QCOMPARE(counts.objects + counts.pictures, 1);
                for (const PositionedObject &object : ObjectsOf(document)) {
                    const auto loaded = std::dynamic_pointer_cast<OleObject>(object.record->object);
                    QVERIFY(loaded);
                    QVERIFY(loaded->contents().size() <= data.size());
                }
            }
        }
    }

    // Every prefix of a document with an object reads without harm, and makes
    // the object only once its data's group is closed.
    void everyPrefix()
    {
        const QByteArray rtf = objectDocument("{\\object\\objemb{\\*\\objclass Package}"
                                              "{\\*\\objdata " +
                                              m_packageData.toHex() + "}" + m_resultGroup + "}");
        const qsizetype dataEnd = rtf.indexOf('}', rtf.indexOf("objdata")) + 1;
        for (qsizetype length = 0; length <= rtf.size(); length += length < dataEnd - 40 ? 7 : 1) {
            QTextDocument document;
            QCOMPARE(readInto(document, rtf.left(length)), length >= 5);
            const Counts counts = countsOf(document);
            QCOMPARE(counts.objects, length >= dataEnd ? 1 : 0);
            if (length >= dataEnd)
                QCOMPARE(counts.pictures, 0);
        }
    }

    // Many objects whose data is foreign, and objects deep inside groups.
    void manyAndDeep()
    {
        QTextDocument many;
        QVERIFY(readInto(
            many,
            "{\\rtf1 " +
                QByteArray("{\\object\\objemb{\\*\\objdata 00}{\\result x}}").repeated(20000) +
                "}"));
        QCOMPARE(textOf(many), QString(20000, QLatin1Char('x')));

        // Past the tracked depth the groups share their state: the object is
        // not made, nothing is shown of it, and the text around it is whole.
        const QByteArray object =
            "{\\object\\objemb{\\*\\objdata " + m_packageData.toHex() + "}" + m_resultGroup + "}";
        QTextDocument deep;
        QVERIFY(readInto(deep, "{\\rtf1 a" + QByteArray(1500, '{') + object +
                                   QByteArray(1500, '}') + "b}"));
        QVERIFY(textOf(deep).startsWith(QLatin1Char('a')));
        QVERIFY(textOf(deep).endsWith(QLatin1Char('b')));
        QVERIFY(textOf(deep).size() <= 3);
        // Inside the tracked depth it is made.
        QTextDocument nested;
        QVERIFY(readInto(nested, "{\\rtf1 a" + QByteArray(900, '{') + object +
                                     QByteArray(900, '}') + "b}"));
        QCOMPARE(textOf(nested), QString::fromUtf16(u"a\uFFFCb"));
        QCOMPARE(countsOf(nested).objects, 1);
    }

    // A record whose object is not of this platform, or no object at all,
    // writes nothing; the text around it is whole.
    void objectsNotOfThisPlatform()
    {
        QTextDocument document;
        QTextCursor cursor(&document);
        cursor.insertText(QStringLiteral("a"));
        InsertObjectCharacter(cursor, MakeObjectRecord(std::make_shared<InertObject>(CLSID_Package),
                                                       NewStorage(), DVASPECT_CONTENT, 0));
        InsertObjectCharacter(cursor, MakeObjectRecord(nullptr, NewStorage(), DVASPECT_CONTENT, 0));
        cursor.insertText(QStringLiteral("b"));
        const QByteArray rtf = WriteRtf(document);
        QVERIFY(!rtf.contains("\\object"));
        QTextDocument copy;
        QVERIFY(readInto(copy, rtf));
        QCOMPARE(textOf(copy), QStringLiteral("ab"));
    }

    // The largest file an object holds goes through RTF whole.
    void largestObject()
    {
        QByteArray contents = packageBytes(int(kMaxObjectBytes));
        const QString path = m_dir.filePath(QStringLiteral("largest.bin"));
        QVERIFY(WriteAll(path, contents));
        const std::shared_ptr<OleObject> object = fromFile(path);
        QVERIFY(object);
        QFile::remove(path);
        QTextDocument original;
        QTextCursor cursor(&original);
        insert(cursor, object);
        const QByteArray rtf = WriteRtf(original);
        QTextDocument copy;
        QVERIFY(readInto(copy, rtf));
        const std::vector<PositionedObject> objects = ObjectsOf(copy);
        QCOMPARE(objects.size(), std::size_t(1));
        const auto loaded = std::dynamic_pointer_cast<OleObject>(objects.front().record->object);
        QVERIFY(loaded);
        QVERIFY(loaded->contents() == contents);
    }
};

QTEST_MAIN(TestRtfObjects)
#include "tst_rtfobjects.moc"
