// Fuzzes reading strong documents, and sealing and opening them under a key.
//
// No key is derived here: a derivation at a file's costs takes far too long
// for each input. Every file is opened with one fixed key instead, and every
// file this target makes is sealed with it, so the authenticated paths run.
//
// Every input goes to the reader. A file it accepts must claim the format,
// be the one spelling of what it holds (formatted again, it gives the input's
// bytes with LF line ends), and, when the fixed key opens it, seal again to
// the same bytes. An input that does not claim the format is used by its
// first byte:
//  - even: as a content. Sealed, read and opened, it comes back unchanged,
//    with LF and with CR LF line ends; the sealed file with one byte changed
//    (where and how bytes 1-5 say, often in the header) is refused by the
//    reader or fails to open.
//  - odd: the bytes after it, filled up with zeros to whole 64 KiB buckets,
//    as the padded plaintext, encrypted under the fixed key. It opens when
//    its last non-zero byte is 0x80, in the last bucket, and gives the bytes
//    before that byte; otherwise it does not open.
//
// When the first corpus directory on the command line is empty, seeds are
// written to it first: sealed files with either line end, files asking for
// costs just outside the bounds, and one input of each kind above.
#include "cipher/secretbytes.h"
#include "cipher/strongdocument.h"
#include "cipher/strongformat.h"
#include "runtime/exceptions.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <sodium.h>

namespace {

using namespace veskel;

void check(bool condition)
{
    if (!condition)
        std::abort();
}

const SecretBytes &fixedKey()
{
    static const SecretBytes key = [] {
        SecretBytes bytes(StrongKeyBytes);
        for (std::size_t i = 0; i < bytes.size(); ++i)
            bytes.data()[i] = static_cast<unsigned char>(0xa0 + i);
        return bytes;
    }();
    return key;
}

StrongHeader fixedHeader()
{
    StrongHeader header;
    for (std::size_t i = 0; i < header.salt.size(); ++i)
        header.salt[i] = static_cast<unsigned char>(i * 7 + 1);
    for (std::size_t i = 0; i < header.nonce.size(); ++i)
        header.nonce[i] = static_cast<unsigned char>(i * 13 + 5);
    return header;
}

QByteArray withCrLf(const QByteArray &lf)
{
    QByteArray crlf = lf;
    return crlf.replace("\n", "\r\n");
}

QByteArray withLf(QByteArrayView bytes)
{
    return bytes.toByteArray().replace("\r\n", "\n");
}

// Reads the file and opens it with the fixed key: the content, or nothing
// when the reader refuses the file or the key does not open it.
std::optional<QByteArray> readAndOpen(QByteArrayView bytes)
{
    QString problem;
    const std::optional<StrongFile> file = ParseStrongFile(bytes, problem);
    if (!file) {
        check(!problem.isEmpty());
        return std::nullopt;
    }
    QByteArray content;
    if (!OpenStrongDocument(*file, fixedKey(), content)) {
        check(content.isEmpty());
        return std::nullopt;
    }
    return content;
}

void readInput(QByteArrayView input)
{
    const bool claims = ClaimsStrongFormat(input);
    QString problem;
    const std::optional<StrongFile> file = ParseStrongFile(input, problem);
    if (!file) {
        check(!problem.isEmpty());
        return;
    }
    check(claims);
    check(file->ciphertext.size() >= StrongBucketBytes + qsizetype(StrongTagBytes));
    const QByteArray canonical = withLf(input);
    check(FormatStrongFile(*file) == canonical);
    QByteArray content;
    if (OpenStrongDocument(*file, fixedKey(), content)) {
        check(content.size() <= StrongContentLimit);
        check(SealStrongDocument(content, fixedKey(), file->header) == canonical);
    } else {
        check(content.isEmpty());
    }
}

void sealContent(QByteArrayView content)
{
    QByteArray sealed;
    try {
        sealed = SealStrongDocument(content, fixedKey(), fixedHeader());
    } catch (const EOutOfResources &) {
        check(content.size() > StrongContentLimit);
        return;
    }
    check(readAndOpen(sealed) == content.toByteArray());
    check(readAndOpen(withCrLf(sealed)) == content.toByteArray());

    std::uint32_t at = 0;
    for (qsizetype i = 1; i < 5 && i < content.size(); ++i)
        at = at << 8 | static_cast<unsigned char>(content[i]);
    const unsigned char flip = content.size() > 5 ? static_cast<unsigned char>(content[5]) : 1;
    // Half the changes go to the header: the reader must take in each of its
    // bytes just as the authentication covers them. A change to the body
    // meets the authentication alone.
    const auto header = std::uint32_t(StrongAssociatedData(fixedHeader()).size());
    const std::uint32_t where =
        at % 2 == 1 ? at / 2 % header : at / 2 % std::uint32_t(sealed.size());
    QByteArray changed = sealed;
    changed[qsizetype(where)] ^= static_cast<char>(flip == 0 ? 1 : flip);
    check(!readAndOpen(changed));
}

void openPadded(QByteArrayView plaintext)
{
    if (plaintext.size() > StrongContentLimit)
        return; // beyond any content a save pads; -max_len keeps inputs far below
    const qsizetype buckets =
        std::max<qsizetype>(1, (plaintext.size() + StrongBucketBytes - 1) / StrongBucketBytes);
    QByteArray padded(buckets * StrongBucketBytes, '\0');
    padded.replace(0, plaintext.size(), plaintext.toByteArray());

    StrongFile file{fixedHeader(), QByteArray(padded.size() + qsizetype(StrongTagBytes), '\0')};
    const QByteArray associated = StrongAssociatedData(file.header);
    unsigned long long written = 0;
    check(crypto_aead_xchacha20poly1305_ietf_encrypt(
              reinterpret_cast<unsigned char *>(file.ciphertext.data()), &written,
              reinterpret_cast<const unsigned char *>(padded.constData()),
              std::size_t(padded.size()),
              reinterpret_cast<const unsigned char *>(associated.constData()),
              std::size_t(associated.size()), nullptr, file.header.nonce.data(),
              fixedKey().data()) == 0);
    check(qsizetype(written) == file.ciphertext.size());

    qsizetype last = plaintext.size() - 1;
    while (last >= 0 && plaintext[last] == '\0')
        --last;
    const bool wellPadded = last >= 0 && static_cast<unsigned char>(plaintext[last]) == 0x80 &&
                            last >= padded.size() - StrongBucketBytes;
    const std::optional<QByteArray> content = readAndOpen(FormatStrongFile(file));
    check(content.has_value() == wellPadded);
    if (content)
        check(*content == plaintext.first(last).toByteArray());
}

// The first corpus directory named on the command line, when it is empty.
QString emptyCorpus(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i) {
        if (argv[i][0] == '-')
            continue;
        const QDir dir(QString::fromLocal8Bit(argv[i]));
        if (!dir.exists())
            return {};
        return dir.isEmpty() ? dir.path() : QString();
    }
    return {};
}

void writeSeed(const QString &dir, const QString &name, const QByteArray &bytes)
{
    QFile file(dir + QLatin1Char('/') + name);
    check(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    check(SodiumReady());
    const QString corpus = emptyCorpus(*argc, *argv);
    if (!corpus.isEmpty()) {
        const QByteArray note("A note.\nSecond line, with a tab\tand UTF-8: \xc3\xa9.\n");
        const QByteArray sealed = SealStrongDocument(note, fixedKey(), fixedHeader());
        writeSeed(corpus, QStringLiteral("seed-lf"), sealed);
        writeSeed(corpus, QStringLiteral("seed-crlf"), withCrLf(sealed));
        writeSeed(corpus, QStringLiteral("seed-empty"),
                  SealStrongDocument(QByteArrayView(), fixedKey(), fixedHeader()));
        // Costs just outside what a reader allows.
        const StrongCost costs[] = {{MaxStrongCost.memoryKiB + 1, MaxStrongCost.passes},
                                    {MaxStrongCost.memoryKiB, MaxStrongCost.passes + 1},
                                    {MinStrongCost.memoryKiB - 1, MinStrongCost.passes},
                                    {MinStrongCost.memoryKiB, MinStrongCost.passes - 1}};
        for (const StrongCost &cost : costs) {
            StrongHeader header = fixedHeader();
            header.cost = cost;
            writeSeed(corpus,
                      QStringLiteral("seed-cost-%1-%2").arg(cost.memoryKiB).arg(cost.passes),
                      SealStrongDocument(note, fixedKey(), header));
        }
        writeSeed(corpus, QStringLiteral("seed-content"), QByteArray("\x02") + note);
        writeSeed(corpus, QStringLiteral("seed-padded"), QByteArray("\x01") + note + '\x80');
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArrayView input(reinterpret_cast<const char *>(data), qsizetype(size));
    readInput(input);
    if (ClaimsStrongFormat(input))
        return 0;
    if (input.isEmpty() || (data[0] & 1) == 0)
        sealContent(input);
    else
        openPadded(input.sliced(1));
    return 0;
}
