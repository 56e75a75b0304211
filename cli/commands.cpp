#include "commands.h"

#include "cipher/blockcodec.h"
#include "cipher/cryptoapi.h"
#include "cipher/documentfile.h"
#include "cipher/passwordcheck.h"
#include "cipher/storability.h"
#include "cli/cliexit.h"
#include "cli/fileio.h"
#include "cli/password.h"
#include "cli/securebuffer.h"
#include "cli/utf8.h"
#include "runtime/exceptions.h"
#include "runtime/memory.h"

#include <QBuffer>
#include <QFile>

#include <cstdio>
#include <new>

namespace veskel::cli {

namespace {

// Wipes a secret string however the scope is left.
class WipedString
{
public:
    WipedString() = default;
    ~WipedString() { WipeString(value); }
    WipedString(const WipedString &) = delete;
    WipedString &operator=(const WipedString &) = delete;

    QString value;
};

void printLine(std::FILE *stream, const QString &line)
{
    const QByteArray bytes = (line + u'\n').toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stream);
    std::fflush(stream);
}

void printMessage(const QString &message)
{
    printLine(stderr, QStringLiteral("veskel-cli: ") + message);
}

// The name of a checked file in the results of check: as the user gave it.
QString checkedName(const QByteArray &path)
{
    return IsStdStream(path) ? QStringLiteral("standard input") : QFile::decodeName(path);
}

// With the password on standard input and the input there too, the password
// line comes first and the input after it.
bool passwordBeforeInput(const Options &options)
{
    return options.passwordFd == 0 && IsStdStream(options.input);
}

QString setKeyFailure()
{
    return QStringLiteral("Key cannot be set!");
}

QString wrongPassword()
{
    return QStringLiteral("the password is wrong");
}

// The BlockSize characters the armour of input decrypts to under the
// password, which is wiped.
QString decryptBlock(QString &password, const QString &armour, const QByteArray &input)
{
    TCryptoAPI crypto(win::CALG_RC4);
    const bool keySet = crypto.SetPassword(password);
    WipeString(password);
    if (!keySet) {
        throw CliError(ExitKeyFailure, setKeyFailure());
    }
    QString block = crypto.Decrypt(armour);
    if (block.isEmpty()) {
        throw CliError(ExitFileError,
                       QStringLiteral("%1 could not be decrypted").arg(DisplayName(input)));
    }
    return block;
}

} // namespace

int RunDecrypt(const Options &options)
{
    WipedString password;
    if (passwordBeforeInput(options)) {
        password.value = ReadPasswordFromFd(0);
    }
    SecureBuffer file;
    if (!ReadWholeInput(options.input, MaxInputSize, file)) {
        throw CliError(ExitFileError,
                       QStringLiteral("%1 is larger than 64 MiB; it is not a document")
                           .arg(DisplayName(options.input)));
    }
    // The editor never sees a leading UTF-16LE byte-order mark, and takes data
    // that begins with an RTF header as rich text rather than as armour.
    QByteArrayView bytes = file.view();
    if (bytes.startsWith("\xFF\xFE")) {
        bytes = bytes.sliced(2);
    }
    if (bytes.startsWith("{\\rtf")) {
        throw CliError(
            ExitFileError,
            QStringLiteral("%1 is rich text, not a document").arg(DisplayName(options.input)));
    }
    const DocumentLayoutReport layout = CheckDocumentLayout(bytes.toByteArray());
    if (!layout.ok) {
        printMessage(QStringLiteral("warning: %1 is not laid out as a document (line %2, column "
                                    "%3: %4); decrypting it anyway")
                         .arg(DisplayName(options.input))
                         .arg(layout.line)
                         .arg(layout.column)
                         .arg(layout.problem));
    }
    // Only the armour's ASCII symbols count; every other byte is skipped.
    const QString armour = QString::fromLatin1(bytes);

    if (!passwordBeforeInput(options)) {
        password.value = ObtainPassword(options.passwordFd, false);
    }
    WipedString block;
    block.value = decryptBlock(password.value, armour, options.input);
    // Checked before anything is written, so a wrong password leaves no output.
    if (!DecryptedBlockLooksRight(block.value)) {
        if (!options.force) {
            throw CliError(ExitWrongPassword, wrongPassword());
        }
        printMessage(QStringLiteral("warning: the password check failed (a wrong password, or a "
                                    "block not zero-filled after its text); decrypting anyway"));
    }
    WipedString text;
    text.value = TextBeforeNul(block.value);
    WipeString(block.value);
    QByteArray utf8 = text.value.toUtf8();
    WipeString(text.value);
    try {
        if (options.output.isEmpty() || IsStdStream(options.output)) {
            WriteStandardOutput(utf8);
        } else {
            WritePrivateFile(options.output, utf8);
        }
    } catch (...) {
        WipeBytes(utf8);
        throw;
    }
    WipeBytes(utf8);
    return ExitSuccess;
}

int RunEncrypt(const Options &options)
{
    WipedString password;
    if (passwordBeforeInput(options)) {
        password.value = ReadPasswordFromFd(0);
    }

    WipedString text;
    {
        SecureBuffer input;
        if (!ReadWholeInput(options.input, MaxInputSize, input)) {
            throw CliError(
                ExitFileError,
                QStringLiteral("%1 is larger than 64 MiB, far more than a document holds")
                    .arg(DisplayName(options.input)));
        }
        QByteArrayView bytes = input.view();
        qsizetype skipped = 0;
        if (bytes.startsWith(Utf8Bom)) {
            skipped = 3;
            bytes = bytes.sliced(skipped);
        }
        const qsizetype bad = FirstInvalidUtf8Offset(bytes);
        if (bad >= 0) {
            throw CliError(ExitFileError,
                           QStringLiteral("%1 is not valid UTF-8: byte 0x%2 at offset %3 does not "
                                          "begin a valid sequence")
                               .arg(DisplayName(options.input))
                               .arg(static_cast<unsigned char>(bytes[bad]), 2, 16, QChar(u'0'))
                               .arg(bad + skipped));
        }
        text.value = QString::fromUtf8(bytes);
    }

    const qsizetype unstorable = CountUnstorableCharacters(text.value);
    if (unstorable > 0 && !options.force) {
        throw CliError(ExitLossyText,
                       QStringLiteral("%1 %2 lost or changed: a document keeps at most 99,999 "
                                      "characters, each from U+0001 to U+00FF (use --force to "
                                      "write it anyway)")
                           .arg(unstorable)
                           .arg(unstorable == 1 ? QStringLiteral("character would be")
                                                : QStringLiteral("characters would be")));
    }

    if (!passwordBeforeInput(options)) {
        password.value = ObtainPassword(options.passwordFd, true);
    }
    // On the terminal an empty password was confirmed; given on a descriptor
    // it may be a script's mistake.
    if (password.value.isEmpty() && options.passwordFd >= 0) {
        printMessage(QStringLiteral("warning: the password is empty"));
    }
    TCryptoAPI crypto(win::CALG_RC4);
    const bool keySet = crypto.SetPassword(password.value);
    WipeString(password.value);
    if (!keySet) {
        throw CliError(ExitKeyFailure, setKeyFailure());
    }
    const QString armour = crypto.Encrypt(text.value);
    WipeString(text.value);
    if (armour.isEmpty()) {
        throw CliError(ExitFileError, QStringLiteral("The document could not be encrypted. "
                                                     "The file was not changed."));
    }

    QBuffer document;
    document.open(QIODevice::WriteOnly);
    WriteDocumentLines(document, SplitArmourLines(armour));
    WriteOutputFile(options.output, document.data(), 0666,
                    EWriteError().message() + QStringLiteral(" while writing"));
    if (unstorable > 0) {
        printMessage(
            QStringLiteral("warning: %1 of the characters were lost or changed").arg(unstorable));
    }
    return ExitSuccess;
}

int RunCheck(const Options &options)
{
    const bool verifyPassword = options.askPassword || options.passwordFd >= 0;
    WipedString password;
    if (verifyPassword && passwordBeforeInput(options)) {
        password.value = ReadPasswordFromFd(0);
    }
    SecureBuffer file;
    if (!ReadWholeInput(options.input, MaxInputSize, file)) {
        throw CliError(ExitFileError,
                       QStringLiteral("%1 is not a document: it is larger than 64 MiB")
                           .arg(checkedName(options.input)));
    }
    const DocumentLayoutReport report = CheckDocumentLayout(file.view().toByteArray());
    if (!report.ok) {
        throw CliError(
            ExitFileError,
            QStringLiteral("%1 is not a document: line %2, column %3 (byte offset %4): %5")
                .arg(checkedName(options.input))
                .arg(report.line)
                .arg(report.column)
                .arg(report.offset)
                .arg(report.problem));
    }
    QString verdict = QStringLiteral("%1: OK, a document (2,500 lines of 80 symbols, "
                                     "205,000 bytes)")
                          .arg(checkedName(options.input));
    if (verifyPassword) {
        // Asked only once the file is known to be a document.
        if (!passwordBeforeInput(options)) {
            password.value = ObtainPassword(options.passwordFd, false);
        }
        WipedString block;
        block.value = decryptBlock(password.value, QString::fromLatin1(file.view()), options.input);
        if (!DecryptedBlockLooksRight(block.value)) {
            throw CliError(ExitWrongPassword, wrongPassword());
        }
        verdict += QStringLiteral(", and the password is right");
    }
    printLine(stdout, verdict);
    return ExitSuccess;
}

int RunCli(const QList<QByteArray> &arguments)
{
    try {
        const Options options = ParseOptions(arguments);
        switch (options.command) {
        case Command::Help:
            WriteStandardOutput(UsageText().toUtf8());
            return ExitSuccess;
        case Command::Version:
            WriteStandardOutput(QByteArrayView("veskel-cli " VESKEL_VERSION "\n"));
            return ExitSuccess;
        case Command::Decrypt:
            return RunDecrypt(options);
        case Command::Encrypt:
            return RunEncrypt(options);
        case Command::Check:
            return RunCheck(options);
        }
    } catch (const CliError &error) {
        printMessage(error.message());
        return error.exitCode();
    } catch (const Exception &error) {
        printMessage(error.message());
        return ExitFileError;
    } catch (const std::bad_alloc &) {
        printMessage(QStringLiteral("out of memory"));
        return ExitFileError;
    }
    return ExitUsage;
}

} // namespace veskel::cli
