// No copy of a document's text stays readable in the process once the window
// has moved on to another document: the window is driven as a user would,
// then every writable mapping of the process is searched for the old text.
#include "app/lockpanel.h"
#include "cipher/cryptoapi.h"
#include "cipher/documentfile.h"
#include "cipher/strongdocument.h"
#include "platform/testing/textview.h"
#include "runtime/memory.h"
#include "windowharness.h"

#include <QClipboard>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

// Under AddressSanitizer the allocator is the sanitizer's: freed blocks wait
// in its quarantine, so it is told to overwrite them when they are freed.
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VESKEL_TEST_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define VESKEL_TEST_ASAN 1
#endif
#ifdef VESKEL_TEST_ASAN
extern "C" const char *__asan_default_options()
{
    return "max_free_fill_size=2147483647:free_fill_byte=0";
}
#endif

using namespace veskel;
using test::Window;

namespace {

// Kept masked so that the searched bytes are never in memory themselves.
constexpr unsigned char kMask = 0x5A;
// A text longer than the allocator's smallest cached blocks hold, searched
// for in pieces; and one short enough for the buffers functions keep on the
// stack.
constexpr qsizetype kMarkerLength = 400;
constexpr qsizetype kShortMarkerLength = 60;
constexpr qsizetype kPieceLength = 20;

struct Needle
{
    const char *name;
    std::vector<unsigned char> masked;
};

struct Hit
{
    const char *needle;
    quintptr address;
    QByteArray mapping;
};

// A text of random lowercase letters, ASCII and Latin-1 mixed, so that its
// UTF-16, Latin-1 and UTF-8 forms differ; new at every call. An ASCII marker
// is also found where it is held as RTF.
QString newMarker(bool ascii = false, qsizetype length = kMarkerLength)
{
    QString marker(length, Qt::Uninitialized);
    for (qsizetype i = 0; i < marker.size(); ++i) {
        char16_t c = 0;
        do {
            c = static_cast<char16_t>(QRandomGenerator::global()->bounded(0x61, 0xFF));
        } while ((c > u'z' && (ascii || c < 0xE0)) || c == 0xF7);
        marker[i] = QChar(c);
    }
    return marker;
}

// Each piece of the marker in each form: a copy that lost its first bytes to
// the allocator's bookkeeping is still found.
std::vector<Needle> needlesOf(const QString &marker)
{
    std::vector<Needle> needles;
    for (qsizetype at = 0; at + kPieceLength <= marker.size(); at += kPieceLength) {
        Needle utf16{"UTF-16", {}};
        Needle latin1{"Latin-1", {}};
        Needle utf8{"UTF-8", {}};
        for (const QChar c : QStringView(marker).mid(at, kPieceLength)) {
            const char16_t u = c.unicode();
            utf16.masked.push_back(static_cast<unsigned char>(u & 0xFF) ^ kMask);
            utf16.masked.push_back(static_cast<unsigned char>(u >> 8) ^ kMask);
            latin1.masked.push_back(static_cast<unsigned char>(u) ^ kMask);
            if (u < 0x80) {
                utf8.masked.push_back(static_cast<unsigned char>(u) ^ kMask);
            } else {
                utf8.masked.push_back(static_cast<unsigned char>(0xC0 | (u >> 6)) ^ kMask);
                utf8.masked.push_back(static_cast<unsigned char>(0x80 | (u & 0x3F)) ^ kMask);
            }
        }
        needles.push_back(std::move(utf16));
        if (utf8.masked != latin1.masked) {
            needles.push_back(std::move(utf8));
        }
        needles.push_back(std::move(latin1));
    }
    return needles;
}

bool matchesAt(const unsigned char *at, const std::vector<unsigned char> &masked)
{
    for (std::size_t k = 0; k < masked.size(); ++k) {
        if ((at[k] ^ kMask) != masked[k]) {
            return false;
        }
    }
    return true;
}

// Four bytes hashed to one of 64 K slots: a place whose slot no needle begins
// in is passed over at once.
unsigned slotOf(const unsigned char *at)
{
    std::uint32_t word = 0;
    std::memcpy(&word, at, sizeof word);
    return (word * 2654435761u) >> 16;
}

// Every place in the process's writable memory that holds one of the needles.
// Memory is read through /proc/self/mem into a mapping of the scan's own,
// which is left out; unreadable pages are skipped, and so are mappings of
// more than a terabyte: a sanitizer's shadow, which holds no program data.
QList<Hit> scanProcess(const std::vector<Needle> &needles)
{
    constexpr std::size_t kChunk = std::size_t(1) << 20;
    constexpr quintptr kLargestMapping = quintptr(1) << 40;
    std::size_t longest = 0;
    std::size_t shortest = SIZE_MAX;
    std::vector<unsigned char> starts(std::size_t(1) << 16);
    for (const Needle &needle : needles) {
        longest = std::max(longest, needle.masked.size());
        shortest = std::min(shortest, needle.masked.size());
        unsigned char first[4];
        for (std::size_t k = 0; k < sizeof first; ++k) {
            first[k] = needle.masked[k] ^ kMask;
        }
        starts[slotOf(first)] = 1;
    }
    const std::size_t bufferSize = kChunk + longest;
    void *mapped =
        mmap(nullptr, bufferSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED) {
        qFatal("no scan buffer");
    }
    auto *buffer = static_cast<unsigned char *>(mapped);
    const auto own = reinterpret_cast<quintptr>(buffer);

    QFile maps("/proc/self/maps");
    if (!maps.open(QIODevice::ReadOnly)) {
        qFatal("no /proc/self/maps");
    }
    const QList<QByteArray> lines = maps.readAll().split('\n');
    const int memory = open("/proc/self/mem", O_RDONLY);
    if (memory < 0) {
        qFatal("no /proc/self/mem");
    }
    const auto page = static_cast<quintptr>(sysconf(_SC_PAGESIZE));

    QList<Hit> hits;
    const auto scanRange = [&](quintptr start, quintptr end, const QByteArray &name) {
        quintptr position = start;
        while (position < end) {
            const std::size_t want = std::min<quintptr>(bufferSize, end - position);
            const ssize_t got = pread(memory, buffer, want, static_cast<off_t>(position));
            if (got <= 0) {
                position = (position / page + 1) * page;
                continue;
            }
            const auto size = static_cast<std::size_t>(got);
            const bool last = position + size == end || size < want;
            // A hit that starts past `complete` is found whole by the next read.
            const std::size_t complete = last ? size : size - longest + 1;
            for (std::size_t i = 0; i < complete && i + shortest <= size; ++i) {
                if (starts[slotOf(buffer + i)] == 0) {
                    continue;
                }
                for (const Needle &needle : needles) {
                    if (i + needle.masked.size() <= size && matchesAt(buffer + i, needle.masked)) {
                        hits.append({needle.name, position + i, name});
                    }
                }
            }
            position += last ? size : complete;
        }
    };

    for (const QByteArray &line : lines) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() < 5 || fields[1].size() < 2 || fields[1][0] != 'r' ||
            fields[1][1] != 'w') {
            continue;
        }
        const QList<QByteArray> range = fields[0].split('-');
        const quintptr start = range[0].toULongLong(nullptr, 16);
        const quintptr end = range[1].toULongLong(nullptr, 16);
        const QByteArray name = fields.size() > 5 ? fields[5] : QByteArray("anonymous");
        if (end - start > kLargestMapping) {
            continue;
        }
        // The scan's own buffer may share a line with a neighbouring mapping.
        if (own >= start && own < end) {
            scanRange(start, own, name);
            scanRange(std::min(end, own + bufferSize), end, name);
        } else {
            scanRange(start, end, name);
        }
    }
    close(memory);
    munmap(mapped, bufferSize);
    return hits;
}

// The hits counted by form and mapping, with the first address of each.
QByteArray describe(const QList<Hit> &hits)
{
    QMap<QByteArray, QPair<int, quintptr>> places;
    for (const Hit &hit : hits) {
        auto &place = places[QByteArray(hit.needle) + " in " + hit.mapping];
        if (place.first++ == 0) {
            place.second = hit.address;
        }
    }
    QByteArray text = QByteArray::number(hits.size()) + " pieces of the old text:";
    for (auto it = places.cbegin(); it != places.cend(); ++it) {
        text += " " + QByteArray::number(it.value().first) + " " + it.key() + " (first at 0x" +
                QByteArray::number(it.value().second, 16) + ");";
    }
    return text;
}

// What the editor shows equals the marker; the copy read is wiped.
bool editorShows(TRichEditor &editor, const QString &marker)
{
    QString shown = editor.Text();
    const bool same = shown == marker;
    WipeString(shown);
    return same;
}

// Each character as a key; a Latin-1 letter's key code is its capital.
void typeInto(Window &w, const QString &text)
{
    w.reactivate();
    for (const QChar c : text) {
        QTest::sendKeyEvent(QTest::Click, win::TextViewOf(w.form1.memo1->InnerWindow()),
                            static_cast<Qt::Key>(c.toUpper().unicode()), QString(c),
                            Qt::NoModifier);
    }
}

bool writeStrongDocument(const QString &path, const QString &text, const QString &password)
{
    QByteArray content = text.toUtf8();
    const QByteArray file = SealStrongDocument(content, SecretBytes::FromPassword(password));
    WipeBytes(content);
    QFile out(path);
    return out.open(QIODevice::WriteOnly) && out.write(file) == file.size();
}

bool writeDocument(const QString &path, const QString &text, const QString &password)
{
    TCryptoAPI cipher(win::CALG_RC4);
    if (!cipher.SetPassword(password)) {
        return false;
    }
    SaveDocumentFile(path, cipher.Encrypt(text));
    return true;
}

} // namespace

class TestMemoryWipe : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    // As the program does first thing; under a sanitizer its allocator's
    // options do the same.
    void initTestCase()
    {
#ifdef VESKEL_TEST_ASAN
        QVERIFY(!WipeFreedMemory());
#else
        QVERIFY(WipeFreedMemory());
        // The freed pages kept must hold no text either; another allocator
        // preloaded keeps its own.
        QCOMPARE(KeepFreedPages(), qEnvironmentVariableIsEmpty("LD_PRELOAD"));
#endif
    }
    void cleanup()
    {
        QGuiApplication::clipboard()->clear();
    }

    // How the text came into the editor, and how the window left it.
    void oldTextIsGone_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("typed, then New") << "typed";
        QTest::newRow("pasted, then New") << "pasted";
        QTest::newRow("saved, then New") << "saved";
        QTest::newRow("opened, then Open of another") << "opened";
        QTest::newRow("saved strong, then New") << "saved strong";
        QTest::newRow("opened strong, then Open of another") << "opened strong";
        QTest::newRow("short, typed, then New") << "short typed";
        QTest::newRow("short, opened, then Open of another") << "short opened";
        QTest::newRow("opened, then locked") << "opened locked";
        QTest::newRow("opened strong, then locked") << "opened locked strong";
    }
    void oldTextIsGone()
    {
        QFETCH(QString, how);
        const bool strong = how.endsWith(" strong");
        how.remove(" strong");
        const bool isShort = how.startsWith("short ");
        how.remove("short ");
        const bool locked = how.endsWith(" locked");
        how.remove(" locked");
        QString marker = newMarker(strong, isShort ? kShortMarkerLength : kMarkerLength);
        std::vector<Needle> needles = needlesOf(marker);
        // A strong document's password is searched for too once the
        // password box holds another one.
        // So is the password of a locked document, which is kept masked here
        // to be typed again.
        QString password = strong || locked ? newMarker(true).left(40) : QStringLiteral("pw");
        QByteArray maskedPassword;
        for (const QChar c : password) {
            maskedPassword.append(static_cast<char>(c.unicode() ^ kMask));
        }
        if ((strong || locked) && how == "opened") {
            for (Needle &needle : needlesOf(password)) {
                needles.push_back(std::move(needle));
            }
        }
        const QString path = m_dir.filePath("doc.vsk");
        const QString other = m_dir.filePath("other.vsk");
        if (how == "opened") {
            QVERIFY(strong ? writeStrongDocument(path, marker, password)
                           : writeDocument(path, marker, password));
            QVERIFY(writeDocument(other, "another document", "pw"));
        }

        Window w;
        w.show();
        if (how == "typed" || how == "saved") {
            typeInto(w, marker);
        } else if (how == "pasted") {
            QGuiApplication::clipboard()->setText(marker);
            w.reactivate();
            QTest::keyClick(win::TextViewOf(w.form1.memo1->InnerWindow()), Qt::Key_V,
                            Qt::ControlModifier);
            // The clipboard is the user's own copy; here it moves on too.
            QGuiApplication::clipboard()->clear();
        } else {
            w.saveAsPath = path;
            w.password(password);
            w.form1.Open1->trigger();
        }
        QVERIFY(editorShows(*w.form1.memo1, marker));
        const qsizetype markerLength = marker.size();
        WipeString(marker);
        // The search finds the text while the editor holds it.
        QVERIFY(!scanProcess(needles).isEmpty());

        if (how == "saved") {
            w.saveAsPath = path;
            if (strong) {
                w.saveAsFilter = QStringLiteral("Veskel document, strong encryption (*.vsk)");
            }
            w.newPassword(password);
            w.form1.SaveAs1->trigger();
            QVERIFY(w.scriptDone());
            QCOMPARE(QFileInfo(path).size() == DocumentFileSize, !strong);
        }
        WipeString(password);
        if (locked) {
            w.form1.Lock1->trigger();
            QVERIFY(w.form1.IsLocked());
            QCoreApplication::processEvents();
            const QList<Hit> hits = scanProcess(needles);
            QVERIFY2(hits.isEmpty(), describe(hits).constData());
            // The password brings the whole text back.
            for (const char c : std::as_const(maskedPassword)) {
                QTest::keyClick(w.form1.pnlLocked->Password, static_cast<char>(c ^ kMask));
            }
            QTest::mouseClick(w.form1.pnlLocked->Unlock, Qt::LeftButton);
            QVERIFY(!w.form1.IsLocked());
            QCOMPARE(w.form1.memo1->Text().size(), markerLength);
            QVERIFY(!scanProcess(needles).isEmpty());
            return;
        }
        if (how == "opened") {
            w.saveAsPath = other;
            w.password("pw");
            w.form1.Open1->trigger();
            QVERIFY(editorShows(*w.form1.memo1, "another document"));
        } else {
            if (how != "saved") {
                w.choose("Discard"); // the untitled text
            }
            w.reactivate();
            QTest::keyClick(win::TextViewOf(w.form1.memo1->InnerWindow()), Qt::Key_N,
                            Qt::ControlModifier);
            QVERIFY(editorShows(*w.form1.memo1, QString()));
        }
        QVERIFY(w.scriptDone());
        // Undo cannot bring the old text back.
        QVERIFY(!w.form1.memo1->InnerWindow()->canUndo());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();

        const QList<Hit> hits = scanProcess(needles);
        QVERIFY2(hits.isEmpty(), describe(hits).constData());
        w.form1.FileName.clear();
    }
};

QTEST_MAIN(TestMemoryWipe)
#include "tst_memorywipe.moc"
