// Objects, their storage, their bytes, their icons, and the clipboard
// formats and data objects they travel in.
#include "platform/ole/oleclipboard.h"
#include "platform/ole/oleobject.h"
#include "platform/ole/olestorage.h"
#include "support/olestandins.h"

#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QFile>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <QtEndian>

#include <sys/stat.h>

using namespace win;

namespace {

HRESULT createFromFile(const QString &path, std::shared_ptr<IOleObject> &object)
{
    return OleCreateFromFile(CLSID_NULL, path, IID_IOleObject, OLERENDER_DRAW, nullptr, nullptr,
                             veskel::test::NewStorage(), object);
}

OleObject *asObject(const std::shared_ptr<IOleObject> &object)
{
    return dynamic_cast<OleObject *>(object.get());
}

QByteArray png(QSize size, QColor colour)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

void appendBlock(QByteArray &out, const QByteArray &block)
{
    char size[4];
    qToLittleEndian<quint32>(quint32(block.size()), size);
    out.append(size, 4).append(block);
}

// Object bytes as another program (or an older version) could have written
// them.
QByteArray objectBytes(bool picture, const QString &name, const QString &linkPath,
                       const QString &label, const QByteArray &contents)
{
    QByteArray out = "VSKOBJ";
    out.append(char(1)).append(char(picture ? 0 : 1)).append(char(linkPath.isEmpty() ? 0 : 1));
    char aspect[4];
    qToLittleEndian<quint32>(DVASPECT_CONTENT, aspect);
    out.append(aspect, 4);
    appendBlock(out, name.toUtf8());
    appendBlock(out, linkPath.toUtf8());
    appendBlock(out, label.toUtf8());
    appendBlock(out, contents);
    return out;
}

} // namespace

class TestOleObject : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    QString write(const QString &name, const QByteArray &bytes)
    {
        const QString path = m_dir.filePath(name);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
            qFatal("cannot write %s", qPrintable(path));
        }
        return path;
    }

private slots:
    void storageFlags_data()
    {
        QTest::addColumn<uint>("mode");
        QTest::addColumn<int>("result");
        QTest::newRow("read-write, exclusive, create")
            << uint(STGM_READWRITE | STGM_SHARE_EXCLUSIVE | STGM_CREATE) << int(S_OK);
        QTest::newRow("read only")
            << uint(STGM_READ | STGM_SHARE_EXCLUSIVE | STGM_CREATE) << int(STG_E_INVALIDFLAG);
        QTest::newRow("not exclusive")
            << uint(STGM_READWRITE | STGM_CREATE) << int(STG_E_INVALIDFLAG);
        QTest::newRow("unknown bit")
            << uint(STGM_READWRITE | STGM_SHARE_EXCLUSIVE | 0x100000) << int(STG_E_INVALIDFLAG);
    }
    void storageFlags()
    {
        QFETCH(uint, mode);
        QFETCH(int, result);
        std::shared_ptr<ILockBytes> lockBytes;
        QCOMPARE(CreateILockBytesOnHGlobal(nullptr, TRUE, lockBytes), S_OK);
        std::shared_ptr<IStorage> storage;
        QCOMPARE(StgCreateDocfileOnILockBytes(lockBytes, mode, 0, storage), result);
        QCOMPARE(bool(storage), result == S_OK);
        // The storage keeps its lock bytes alive.
        std::weak_ptr<ILockBytes> weak = lockBytes;
        lockBytes.reset();
        QCOMPARE(weak.expired(), !storage);
    }

    void fromFile_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("result");
        QTest::addColumn<int>("kind"); // -1: none
        QTest::newRow("picture") << "red.png" << png(QSize(4, 3), Qt::red) << int(S_OK)
                                 << int(OleObject::Kind::Picture);
        QTest::newRow("picture with another name")
            << "red.dat" << png(QSize(4, 3), Qt::red) << int(S_OK) << int(OleObject::Kind::Picture);
        QTest::newRow("text") << "notes.txt" << QByteArray("a\0b", 3) << int(S_OK)
                              << int(OleObject::Kind::Package);
        QTest::newRow("empty file")
            << "empty.bin" << QByteArray() << int(S_OK) << int(OleObject::Kind::Package);
        QTest::newRow("picture name, not a picture")
            << "fake.png" << QByteArray("this is text") << int(DV_E_FORMATETC) << -1;
        QTest::newRow("truncated picture")
            << "cut.png" << png(QSize(50, 50), Qt::blue).left(40) << int(DV_E_FORMATETC) << -1;
    }
    void fromFile()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(int, result);
        QFETCH(int, kind);
        std::shared_ptr<IOleObject> object;
        QCOMPARE(createFromFile(write(name, bytes), object), result);
        QCOMPARE(bool(object), result == S_OK);
        if (!object) {
            return;
        }
        QCOMPARE(int(asObject(object)->kind()), kind);
        QCOMPARE(asObject(object)->contents(), bytes);
        QCOMPARE(asObject(object)->displayName(), name);
        CLSID clsid{};
        object->GetUserClassID(clsid);
        QVERIFY(clsid == (kind == int(OleObject::Kind::Picture) ? CLSID_Picture : CLSID_Package));
    }

    void badFilesAreRefused()
    {
        std::shared_ptr<IOleObject> object;
        QCOMPARE(createFromFile(m_dir.filePath("missing"), object), STG_E_FILENOTFOUND);
        QCOMPARE(createFromFile(m_dir.path(), object), STG_E_ACCESSDENIED); // a folder

        // Too big: refused by its size, without reading it.
        const QString big = m_dir.filePath("big.bin");
        QFile file(big);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.resize(200LL * 1024 * 1024));
        file.close();
        QCOMPARE(createFromFile(big, object), STG_E_DOCFILETOOLARGE);
        QCOMPARE(OleCreateLinkToFile(big, IID_IOleObject, OLERENDER_DRAW, nullptr, nullptr,
                                     veskel::test::NewStorage(), object),
                 S_OK); // a link holds no bytes
        QVERIFY(asObject(object)->contents().isEmpty());

        // A named pipe would block the reader forever.
        const QString pipe = m_dir.filePath("pipe");
        QCOMPARE(mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
        QCOMPARE(createFromFile(pipe, object), STG_E_ACCESSDENIED);
        QCOMPARE(OleCreateLinkToFile(pipe, IID_IOleObject, OLERENDER_DRAW, nullptr, nullptr,
                                     veskel::test::NewStorage(), object),
                 STG_E_ACCESSDENIED);

        // A file that fails to read (also for root).
        QCOMPARE(createFromFile(QStringLiteral("/proc/self/mem"), object), STG_E_READFAULT);
        QVERIFY(!object);

        QCOMPARE(OleCreateFromFile(CLSID_NULL, big, IID_IOleObject, 7, nullptr, nullptr,
                                   veskel::test::NewStorage(), object),
                 E_INVALIDARG);
        QCOMPARE(OleCreateFromFile(CLSID_NULL, big, GUID{}, OLERENDER_DRAW, nullptr, nullptr,
                                   veskel::test::NewStorage(), object),
                 E_NOINTERFACE);
    }

    void newPicture()
    {
        std::shared_ptr<IOleObject> object;
        QCOMPARE(OleCreate(CLSID_Package, IID_IOleObject, OLERENDER_DRAW, nullptr, nullptr,
                           veskel::test::NewStorage(), object),
                 REGDB_E_CLASSNOTREG);
        QCOMPARE(OleCreate(CLSID_Picture, IID_IOleObject, OLERENDER_DRAW, nullptr, nullptr,
                           veskel::test::NewStorage(), object),
                 S_OK);
        const QImage &picture = asObject(object)->picture();
        QVERIFY(!picture.isNull());
        QCOMPARE(picture.pixelColor(10, 10), QColor(Qt::white));
        QCOMPARE(asObject(object)->extent(DVASPECT_CONTENT), picture.size());
    }

    void linkFollowsItsFile()
    {
        const QString path = write("linked.png", png(QSize(6, 6), Qt::red));
        std::shared_ptr<IOleObject> object;
        QCOMPARE(OleCreateLinkToFile(path, IID_IOleObject, OLERENDER_DRAW, nullptr, nullptr,
                                     veskel::test::NewStorage(), object),
                 S_OK);
        OleObject *link = asObject(object);
        QVERIFY(link->isLink());
        QCOMPARE(link->picture().pixelColor(1, 1), QColor(Qt::red));
        write("linked.png", png(QSize(6, 6), Qt::green));
        QCOMPARE(object->Update(), S_OK);
        QCOMPARE(link->picture().pixelColor(1, 1), QColor(Qt::green));
        QVERIFY(QFile::remove(path));
        QCOMPARE(object->Update(), STG_E_FILENOTFOUND);
    }

    // A loaded link shows what was stored with it, whatever its file has
    // become; only Update or opening it reads the file, and a failed read
    // leaves it as it was.
    void loadedLinkShowsWhatWasStored_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("linked");  // the file when the link was saved
        QTest::addColumn<bool>("storedPicture"); // false: saved as older versions did
        QTest::addColumn<QString>("since");      // "changed", "pipe" or "removed"
        QTest::addColumn<QColor>("shown");       // invalid: an icon
        QTest::addColumn<LONG>("verb");          // 1: Update
        QTest::addColumn<int>("result");
        QTest::addColumn<QColor>("afterwards");

        const QByteArray red = png(QSize(6, 6), Qt::red);
        const QColor none;
        QTest::newRow("picture changed since, updated")
            << "a.png" << red << true << "changed" << QColor(Qt::red) << LONG(1) << int(S_OK)
            << QColor(Qt::green);
        QTest::newRow("picture changed since, opened")
            << "b.png" << red << true << "changed" << QColor(Qt::red) << OLEIVERB_OPEN << int(S_OK)
            << QColor(Qt::green);
        QTest::newRow("picture replaced by a pipe")
            << "c.png" << red << true << "pipe" << QColor(Qt::red) << OLEIVERB_PRIMARY
            << int(STG_E_ACCESSDENIED) << QColor(Qt::red);
        QTest::newRow("picture gone") << "d.png" << red << true << "removed" << QColor(Qt::red)
                                      << LONG(1) << int(STG_E_FILENOTFOUND) << QColor(Qt::red);
        QTest::newRow("picture stored without its picture")
            << "e.png" << red << false << "changed" << none << LONG(1) << int(S_OK)
            << QColor(Qt::green);
        QTest::newRow("file that has become a picture")
            << "f.dat" << QByteArray("text") << true << "changed" << none << OLEIVERB_PRIMARY
            << int(S_OK) << QColor(Qt::green);
    }
    void loadedLinkShowsWhatWasStored()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, linked);
        QFETCH(bool, storedPicture);
        QFETCH(QString, since);
        QFETCH(QColor, shown);
        QFETCH(LONG, verb);
        QFETCH(int, result);
        QFETCH(QColor, afterwards);
        const QString path = write(name, linked);
        std::shared_ptr<IOleObject> object;
        QCOMPARE(OleCreateLinkToFile(path, IID_IOleObject, OLERENDER_DRAW, nullptr, nullptr,
                                     veskel::test::NewStorage(), object),
                 S_OK);
        const OleObject *link = asObject(object);
        const QByteArray saved =
            storedPicture ? OleSaveObjectData(*link)
                          : objectBytes(link->kind() == OleObject::Kind::Picture,
                                        link->displayName(), path, link->iconLabel(), {});

        QVERIFY(QFile::remove(path));
        if (since == "changed") {
            write(name, png(QSize(6, 6), Qt::green));
        } else if (since == "pipe") {
            QCOMPARE(mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        }
        std::shared_ptr<IOleObject> loaded;
        QCOMPARE(OleLoadObjectData(saved, veskel::test::NewStorage(), loaded), S_OK);
        OleObject *copy = asObject(loaded);
        QVERIFY(copy->isLink());
        QCOMPARE(copy->linkPath(), path);
        QCOMPARE(copy->kind(), link->kind());
        QCOMPARE(copy->picture().isNull(), !shown.isValid());
        if (shown.isValid()) {
            QCOMPARE(copy->picture().pixelColor(1, 1), shown);
        } else {
            QCOMPARE(copy->iconLabel(), name);
        }
        QCOMPARE(OleSaveObjectData(*copy), saved); // still the same link

        const QImage before = copy->presentation(DVASPECT_CONTENT);
        const HRESULT done = verb == 1
                                 ? loaded->Update()
                                 : loaded->DoVerb(verb, nullptr, nullptr, 0, nullptr, nullptr);
        QCOMPARE(done, result);
        QCOMPARE(copy->running(), verb != 1 && SUCCEEDED(done));
        if (FAILED(done)) {
            QCOMPARE(copy->presentation(DVASPECT_CONTENT), before);
        } else {
            QCOMPARE(copy->kind(), OleObject::Kind::Picture);
            QCOMPARE(copy->picture().pixelColor(1, 1), afterwards);
            // What the file shows now is what is stored with the link.
            std::shared_ptr<IOleObject> again;
            QCOMPARE(OleLoadObjectData(OleSaveObjectData(*copy), veskel::test::NewStorage(), again),
                     S_OK);
            QCOMPARE(asObject(again)->picture().pixelColor(1, 1), afterwards);
        }
    }

    // A package, or a link, is labelled with its file's real name, whatever
    // label it was stored or given with; an embedded picture keeps its label.
    void labelShowsTheRealName_data()
    {
        QTest::addColumn<bool>("picture");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("linkName"); // empty: embedded
        QTest::addColumn<QByteArray>("contents");
        QTest::addColumn<QString>("label");
        QTest::addColumn<bool>("iconPicture"); // the label comes from SetData
        QTest::addColumn<QString>("shown");
        const QByteArray script = "#!/bin/sh";
        const QByteArray blue = png(QSize(2, 2), Qt::blue);
        QTest::newRow("stored label hides the type")
            << false << "invoice.pdf.sh"
            << "" << script << "invoice.pdf" << false << "invoice.pdf.sh";
        QTest::newRow("no name to show") << false << ""
                                         << "" << script << "invoice.pdf" << false << "Package";
        QTest::newRow("icon picture's label") << false << "notes.txt"
                                              << "" << script << "Package" << true << "notes.txt";
        QTest::newRow("link") << false << "x"
                              << "run.sh" << QByteArray() << "holiday.png" << false << "run.sh";
        QTest::newRow("link stored as a picture without one")
            << true << "x"
            << "run.sh" << QByteArray() << "holiday.png" << false << "run.sh";
        QTest::newRow("linked picture") << true << "x"
                                        << "run.sh" << blue << "holiday.png" << false << "run.sh";
        QTest::newRow("picture") << true << "p.png"
                                 << "" << blue << "a label" << false << "a label";
    }
    void labelShowsTheRealName()
    {
        QFETCH(bool, picture);
        QFETCH(QString, name);
        QFETCH(QString, linkName);
        QFETCH(QByteArray, contents);
        QFETCH(QString, label);
        QFETCH(bool, iconPicture);
        QFETCH(QString, shown);
        const QString linkPath = linkName.isEmpty() ? QString() : m_dir.filePath(linkName);
        std::shared_ptr<IOleObject> object;
        QCOMPARE(OleLoadObjectData(
                     objectBytes(picture, name, linkPath, iconPicture ? "" : label, contents),
                     veskel::test::NewStorage(), object),
                 S_OK);
        if (iconPicture) {
            const HGLOBAL icon = OleGetIconOfClass(CLSID_Package, label, FALSE);
            const FORMATETC format{CF_METAFILEPICT, nullptr, DVASPECT_ICON, -1, TYMED_MFPICT};
            QCOMPARE(dynamic_cast<IOleCache *>(object.get())
                         ->SetData(format, STGMEDIUM{TYMED_MFPICT, icon}, TRUE),
                     S_OK);
        }
        QCOMPARE(asObject(object)->iconLabel(), shown);
        std::shared_ptr<IOleObject> again;
        QCOMPARE(OleLoadObjectData(OleSaveObjectData(*asObject(object)), veskel::test::NewStorage(),
                                   again),
                 S_OK);
        QCOMPARE(asObject(again)->iconLabel(), shown);
    }

    void bytesRoundTrip_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("asIcon");
        QTest::newRow("package") << QString::fromUtf16(u"\u00E9t\u00E9 notes.txt")
                                 << QByteArray("x\0y\xff", 4) << false;
        QTest::newRow("picture as icon") << "p.png" << png(QSize(3, 2), Qt::cyan) << true;
    }
    void bytesRoundTrip()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(bool, asIcon);
        std::shared_ptr<IOleObject> object;
        QCOMPARE(createFromFile(write(name, bytes), object), S_OK);
        if (asIcon) {
            asObject(object)->SetAdvise(DVASPECT_ICON, 0, nullptr);
            asObject(object)->setIconLabel("a label");
        }
        const QByteArray saved = OleSaveObjectData(*asObject(object));
        std::shared_ptr<IOleObject> loaded;
        QCOMPARE(OleLoadObjectData(saved, veskel::test::NewStorage(), loaded), S_OK);
        OleObject *copy = asObject(loaded);
        QCOMPARE(copy->kind(), asObject(object)->kind());
        QCOMPARE(copy->contents(), bytes);
        QCOMPARE(copy->displayName(), name);
        QCOMPARE(copy->viewAspect(), asIcon ? DVASPECT_ICON : DVASPECT_CONTENT);
        QCOMPARE(copy->iconLabel(), asObject(object)->iconLabel());
        QCOMPARE(OleSaveObjectData(*copy), saved);
    }

    // Every cut of valid bytes, and every length made huge, is refused.
    void hostileBytes()
    {
        std::shared_ptr<IOleObject> object;
        QCOMPARE(createFromFile(write("h.txt", "hostile"), object), S_OK);
        const QByteArray saved = OleSaveObjectData(*asObject(object));
        std::shared_ptr<IOleObject> loaded;
        for (qsizetype cut = 0; cut < saved.size(); ++cut) {
            QCOMPARE(OleLoadObjectData(saved.left(cut), veskel::test::NewStorage(), loaded),
                     DV_E_FORMATETC);
            QVERIFY(!loaded);
        }
        QCOMPARE(OleLoadObjectData(saved + "x", veskel::test::NewStorage(), loaded),
                 DV_E_FORMATETC);
        // Four length fields follow magic, version, kind, link and aspect;
        // each made huge must be refused.
        qsizetype at = 13;
        for (int field = 0; field < 4; ++field) {
            QByteArray broken = saved;
            qToLittleEndian<quint32>(0xFFFFFFF0u, broken.data() + at);
            QCOMPARE(OleLoadObjectData(broken, veskel::test::NewStorage(), loaded), DV_E_FORMATETC);
            at += 4 + qFromLittleEndian<quint32>(saved.constData() + at);
        }
        QCOMPARE(at, saved.size());
        QByteArray badKind = saved;
        badKind[7] = 9;
        QCOMPARE(OleLoadObjectData(badKind, veskel::test::NewStorage(), loaded), DV_E_FORMATETC);
        QByteArray badAspect = saved;
        badAspect[10] = 3;
        QCOMPARE(OleLoadObjectData(badAspect, veskel::test::NewStorage(), loaded), DV_E_FORMATETC);
    }

    void iconPictures()
    {
        HGLOBAL picture = OleGetIconOfClass(CLSID_Picture, QString(), TRUE);
        QImage icon;
        QString label;
        QVERIFY(IconPictureContents(picture, icon, label));
        QCOMPARE(label, QStringLiteral("Picture"));
        QVERIFY(!icon.isNull());
        FreeIconPicture(picture);

        picture = OleGetIconOfFile(m_dir.filePath("report.pdf"), TRUE);
        QVERIFY(IconPictureContents(picture, icon, label));
        QCOMPARE(label, QStringLiteral("report.pdf"));

        // The object keeps its own copy: the caller frees the picture. (A
        // picture takes the label given; a package keeps its file's name.)
        std::shared_ptr<IOleObject> object;
        QCOMPARE(createFromFile(write("i.png", png(QSize(2, 2), Qt::gray)), object), S_OK);
        auto *cache = dynamic_cast<IOleCache *>(object.get());
        const FORMATETC format{CF_METAFILEPICT, nullptr, DVASPECT_ICON, -1, TYMED_MFPICT};
        QCOMPARE(cache->SetData(format, STGMEDIUM{TYMED_MFPICT, picture}, FALSE), S_OK);
        FreeIconPicture(picture);
        QCOMPARE(asObject(object)->iconLabel(), QStringLiteral("report.pdf"));
        QVERIFY(!asObject(object)->presentation(DVASPECT_ICON).isNull());
        const FORMATETC content{CF_METAFILEPICT, nullptr, DVASPECT_CONTENT, -1, TYMED_MFPICT};
        QCOMPARE(cache->SetData(content, STGMEDIUM{TYMED_MFPICT, nullptr}, FALSE), DV_E_FORMATETC);
        QVERIFY(!IconPictureContents(nullptr, icon, label));
        FreeIconPicture(nullptr);
    }

    void cacheEntries()
    {
        std::shared_ptr<IOleObject> object;
        QCOMPARE(createFromFile(write("c.txt", "cache"), object), S_OK);
        auto *cache = dynamic_cast<IOleCache *>(object.get());
        DWORD first = 0;
        DWORD second = 0;
        QCOMPARE(
            cache->Cache(FORMATETC{0, nullptr, DVASPECT_CONTENT, -1, 0}, ADVF_PRIMEFIRST, &first),
            S_OK);
        QCOMPARE(cache->Cache(FORMATETC{0, nullptr, DVASPECT_ICON, -1, 0}, ADVF_NODATA, &second),
                 S_OK);
        QVERIFY(first != second);
        std::vector<STATDATA> entries;
        cache->EnumCache(entries);
        QCOMPARE(entries.size(), std::size_t(2));
        QCOMPARE(cache->Uncache(first), S_OK);
        QCOMPARE(cache->Uncache(first), OLE_E_NOCONNECTION);
        cache->EnumCache(entries);
        QCOMPARE(entries.size(), std::size_t(1));
        QCOMPARE(entries[0].formatetc.dwAspect, DVASPECT_ICON);
    }

    void clipboardFormats()
    {
        const UINT embedded = RegisterClipboardFormatW(u"Embedded Object");
        const UINT link = RegisterClipboardFormatW(u"Link Source");
        const UINT rtf = RegisterClipboardFormatW(u"Rich Text Format");
        const UINT own = RegisterClipboardFormatW(u"RichEdit Text and Objects");
        QCOMPARE(RegisterClipboardFormatW(u""), 0u);
        QCOMPARE(ClipboardFormatName(CF_TEXT), QString());

        QMimeData text;
        text.setText("t");
        QVERIFY(MimeDataOffers(text, CF_TEXT));
        QVERIFY(!MimeDataOffers(text, CF_BITMAP));
        QVERIFY(!MimeDataOffers(text, embedded));

        QMimeData picture;
        picture.setImageData(QImage(2, 2, QImage::Format_RGB32));
        QVERIFY(MimeDataOffers(picture, CF_BITMAP));
        QVERIFY(MimeDataOffers(picture, embedded));
        QVERIFY(!MimeDataOffers(picture, link));

        QMimeData files;
        files.setUrls({QUrl::fromLocalFile(m_dir.filePath("f.txt")),
                       QUrl(QStringLiteral("https://example.org/x"))});
        QCOMPARE(LocalFilesOf(files), QStringList{m_dir.filePath("f.txt")});
        QVERIFY(MimeDataOffers(files, link));
        QVERIFY(MimeDataOffers(files, embedded));
        QMimeData web;
        web.setUrls({QUrl(QStringLiteral("https://example.org/x"))});
        QVERIFY(!MimeDataOffers(web, link));

        QMimeData rich;
        rich.setData(QStringLiteral("application/rtf"), "{\\rtf1 x}");
        QVERIFY(MimeDataOffers(rich, rtf));
        QVERIFY(!MimeDataOffers(rich, own));
        rich.setData(kMimeRichTextAndObjects, "{\\rtf1 x}");
        QVERIFY(MimeDataOffers(rich, own));
    }

    void dataObjectsCopyWhatTheyNeed()
    {
        QMimeData source;
        source.setText("text");
        source.setData(kMimeRtf, "{\\rtf1 r}");
        source.setData(kMimeObjectDescriptor, MakeObjectDescriptor("Picture\nx", "photo.png"));
        source.setData(QStringLiteral("application/x-other"), "not taken");
        const std::shared_ptr<IDataObject> copy = DataObjectFromMimeData(source);
        source.setText("changed");
        QCOMPARE(copy->mimeData().text(), QStringLiteral("text"));
        QCOMPARE(copy->mimeData().data(kMimeRtf), QByteArray("{\\rtf1 r}"));
        QVERIFY(!copy->mimeData().hasFormat(QStringLiteral("application/x-other")));
        QString type;
        QString from;
        QVERIFY(ObjectDescriptorOf(copy->mimeData(), type, from));
        QCOMPARE(type, QStringLiteral("Picturex")); // a line break cannot split it
        QCOMPARE(from, QStringLiteral("photo.png"));
        QCOMPARE(
            copy->QueryGetData(FORMATETC{CF_TEXT, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL}),
            S_OK);
        QCOMPARE(copy->QueryGetData(FORMATETC{CF_BITMAP, nullptr, DVASPECT_CONTENT, -1, TYMED_GDI}),
                 DV_E_FORMATETC);

        QGuiApplication::clipboard()->clear();
        std::shared_ptr<IDataObject> clipboard;
        QCOMPARE(OleGetClipboard(clipboard), S_OK);
        QVERIFY(clipboard);
        QVERIFY(clipboard->mimeData().formats().isEmpty());
    }
};

QTEST_MAIN(TestOleObject)
#include "tst_oleobject.moc"
