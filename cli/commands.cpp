#include "commands.h"

#include "cipher/blockcodec.h"
#include "cipher/cryptoapi.h"
#include "cipher/documentfile.h"
#include "cipher/passwordcheck.h"
#include "cipher/storability.h"
#include "cipher/strongdocument.h"
#include "cipher/strongformat.h"
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
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

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

// Wipes secret bytes however the scope is left.
class WipedBytes
{
public:
    WipedBytes() = default;
    ~WipedBytes() { WipeBytes(value); }
    WipedBytes(const WipedBytes &) = delete;
    WipedBytes &operator=(const WipedBytes &) = delete;

    QByteArray value;
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

// The password of a command: read first when it precedes the input on
// standard input, else obtained once the input is known to be worth it.
class Password
{
public:
    Password(const Options &options, bool wanted)
        : m_options(options)
    {
        if (wanted && passwordBeforeInput(options)) {
            m_bytes = ReadPasswordFromFd(0);
            m_obtained = true;
        }
    }
    const SecretBytes &get(bool confirm)
    {
        if (!m_obtained) {
            m_bytes = ObtainPassword(m_options.passwordFd, confirm);
            m_obtained = true;
        }
        return m_bytes;
    }
    // Frees the password, which wipes it.
    void forget() { m_bytes = SecretBytes(); }

private:
    const Options &m_options;
    SecretBytes m_bytes;
    bool m_obtained = false;
};

QString setKeyFailure()
{
    return QStringLiteral("Key cannot be set!");
}

QString wrongPassword()
{
    return QStringLiteral("the password is wrong");
}

// Sets the old format's key: the password as text, each character narrowed
// to its low byte.
void setOldFormatKey(TCryptoAPI &crypto, const SecretBytes &password)
{
    WipedString text;
    text.value = QString::fromUtf8(password.view());
    if (!crypto.SetPassword(text.value)) {
        throw CliError(ExitKeyFailure, setKeyFailure());
    }
}

// The BlockSize characters the armour of input decrypts to under the
// password.
QString decryptBlock(const SecretBytes &password, const QString &armour, const QByteArray &input)
{
    TCryptoAPI crypto(win::CALG_RC4);
    setOldFormatKey(crypto, password);
    QString block = crypto.Decrypt(armour);
    if (block.isEmpty()) {
        throw CliError(ExitFileError,
                       QStringLiteral("%1 could not be decrypted").arg(DisplayName(input)));
    }
    return block;
}

// The strong document in the bytes, or a refusal (exit 2) with the reason,
// before any password is asked.
StrongFile parseStrong(QByteArrayView bytes, const QString &name)
{
    QString problem;
    std::optional<StrongFile> file = ParseStrongFile(bytes, problem);
    if (!file) {
        throw CliError(ExitFileError, QStringLiteral("%1: %2").arg(name, problem));
    }
    return std::move(*file);
}

SecretBytes deriveKey(const SecretBytes &password, const StrongHeader &header)
{
    try {
        return DeriveStrongKey(password, header);
    } catch (const EOutOfResources &error) {
        throw CliError(ExitKeyFailure, error.message());
    }
}

// The content of the strong document; a wrong password or a changed file
// fails with exit 1.
void openStrong(const StrongFile &file, const SecretBytes &password, QByteArray &content)
{
    const SecretBytes key = deriveKey(password, file.header);
    if (!OpenStrongDocument(file, key, content)) {
        throw CliError(ExitWrongPassword, StrongAuthenticationFailedMessage());
    }
}

// The strong document of the content under the password, at the default
// costs.
QByteArray sealStrong(QByteArrayView content, const SecretBytes &password)
{
    const StrongHeader header = FreshStrongHeader(DefaultStrongCost);
    const SecretBytes key = deriveKey(password, header);
    return SealStrongDocument(content, key, header);
}

// The key derivation's costs as check shows them.
QString costText(const StrongCost &cost)
{
    const QString memory = cost.memoryKiB % 1024 == 0
                               ? QStringLiteral("%1 MiB").arg(cost.memoryKiB / 1024)
                               : QStringLiteral("%1 KiB").arg(cost.memoryKiB);
    return QStringLiteral("Argon2id, %1, %2 %3")
        .arg(memory)
        .arg(cost.passes)
        .arg(cost.passes == 1 ? QStringLiteral("pass") : QStringLiteral("passes"));
}

void writeDecrypted(const Options &options, QByteArrayView bytes)
{
    if (options.output.isEmpty() || IsStdStream(options.output)) {
        WriteStandardOutput(bytes);
        return;
    }
    const WrittenOutput written = WritePrivateFile(options.output, bytes);
    if (written.replaced && (written.mode & (S_IRGRP | S_IROTH)) != 0) {
        printMessage(QStringLiteral("warning: %1 is readable by others (mode %2); the decrypted "
                                    "text is now in it")
                         .arg(DisplayName(options.output))
                         .arg(uint(written.mode), 3, 8, QChar(u'0')));
    }
}

// Refuses (exit 2), before anything is read or written, an output that is
// the input file itself: what is written would destroy what is read.
void refuseOutputOverInput(const Options &options, const QString &loss)
{
    if (OutputIsInput(options.input, options.output)) {
        throw CliError(
            ExitFileError,
            QStringLiteral("%1 is the input file; %2, so nothing was written")
                .arg(DisplayName(options.output.isEmpty() ? QByteArray("-") : options.output, true),
                     loss));
    }
}

void writeDocument(const QByteArray &path, QByteArrayView bytes, mode_t newFileMode = 0666)
{
    WriteOutputFile(path, bytes, newFileMode,
                    EWriteError().message() + QStringLiteral(" while writing"));
}

// An old-format document's bytes as the editor reads them: a leading
// UTF-16LE byte-order mark skipped, and data that begins with an RTF header
// refused, since the editor takes it as rich text rather than as armour.
QByteArrayView oldFormatBytes(QByteArrayView bytes, const QByteArray &input)
{
    if (bytes.startsWith("\xFF\xFE")) {
        bytes = bytes.sliced(2);
    }
    if (bytes.startsWith("{\\rtf")) {
        throw CliError(ExitFileError,
                       QStringLiteral("%1 is rich text, not a document").arg(DisplayName(input)));
    }
    return bytes;
}

// Refuses input that is not UTF-8 (exit 2), naming the first bad byte; skipped
// bytes before it count in its offset.
void requireUtf8(QByteArrayView bytes, const QByteArray &input, qsizetype skipped = 0)
{
    const qsizetype bad = FirstInvalidUtf8Offset(bytes);
    if (bad >= 0) {
        throw CliError(ExitFileError,
                       QStringLiteral("%1 is not valid UTF-8: byte 0x%2 at offset %3 does not "
                                      "begin a valid sequence")
                           .arg(DisplayName(input))
                           .arg(static_cast<unsigned char>(bytes[bad]), 2, 16, QChar(u'0'))
                           .arg(bad + skipped));
    }
}

int decryptStrong(const Options &options, QByteArrayView bytes, Password &password)
{
    const StrongFile file = parseStrong(bytes, DisplayName(options.input));
    WipedBytes content;
    openStrong(file, password.get(false), content.value);
    password.forget();
    // Checked before anything is written, so a failure leaves no output.
    writeDecrypted(options, content.value);
    return ExitSuccess;
}

int encryptStrong(const Options &options)
{
    Password password(options, true);
    SecureBuffer input;
    if (!ReadWholeInput(options.input, StrongContentLimit, input)) {
        throw CliError(ExitFileError,
                       QStringLiteral("%1 is larger than 2 MiB (%2 bytes), the most a document "
                                      "holds; no file was written")
                           .arg(DisplayName(options.input))
                           .arg(StrongContentLimit));
    }
    // Kept byte for byte: UTF-8 text, or RTF, which the editor reads by its
    // header.
    const QByteArrayView content = input.view();
    if (!content.startsWith("{\\rtf")) {
        requireUtf8(content, options.input);
    }
    const SecretBytes &secret = password.get(true);
    // On the terminal an empty password was confirmed; given on a descriptor
    // it may be a script's mistake.
    if (secret.size() == 0 && options.passwordFd >= 0) {
        printMessage(QStringLiteral("warning: the password is empty"));
    }
    const QByteArray document = sealStrong(content, secret);
    password.forget();
    writeDocument(options.output, document);
    return ExitSuccess;
}

int encryptOld(const Options &options)
{
    Password password(options, true);
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
        requireUtf8(bytes, options.input, skipped);
        text.value = QString::fromUtf8(bytes);
    }

    const qsizetype unstorable = CountUnstorableCharacters(text.value);
    if (unstorable > 0 && !options.force) {
        throw CliError(ExitLossyText,
                       QStringLiteral("%1 %2 lost or changed: an old-format document keeps at "
                                      "most 99,999 characters, each from U+0001 to U+00FF (use "
                                      "--force to write it anyway, or leave out --old-format)")
                           .arg(unstorable)
                           .arg(unstorable == 1 ? QStringLiteral("character would be")
                                                : QStringLiteral("characters would be")));
    }

    const SecretBytes &secret = password.get(true);
    if (secret.size() == 0 && options.passwordFd >= 0) {
        printMessage(QStringLiteral("warning: the password is empty"));
    }
    TCryptoAPI crypto(win::CALG_RC4);
    setOldFormatKey(crypto, secret);
    password.forget();
    const QString armour = crypto.Encrypt(text.value);
    WipeString(text.value);
    if (armour.isEmpty()) {
        throw CliError(ExitFileError, QStringLiteral("The document could not be encrypted. "
                                                     "The file was not changed."));
    }

    QBuffer document;
    document.open(QIODevice::WriteOnly);
    WriteDocumentLines(document, SplitArmourLines(armour));
    writeDocument(options.output, document.data());
    if (unstorable > 0) {
        printMessage(
            QStringLiteral("warning: %1 of the characters were lost or changed").arg(unstorable));
    }
    return ExitSuccess;
}

} // namespace

int RunDecrypt(const Options &options)
{
    refuseOutputOverInput(
        options, QStringLiteral("writing the decrypted text there would destroy the document"));
    Password password(options, true);
    SecureBuffer file;
    if (!ReadWholeInput(options.input, MaxInputSize, file)) {
        throw CliError(ExitFileError,
                       QStringLiteral("%1 is larger than 64 MiB; it is not a document")
                           .arg(DisplayName(options.input)));
    }
    if (ClaimsStrongFormat(file.view())) {
        return decryptStrong(options, file.view(), password);
    }
    const QByteArrayView bytes = oldFormatBytes(file.view(), options.input);
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

    WipedString block;
    block.value = decryptBlock(password.get(false), armour, options.input);
    password.forget();
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
    WipedBytes utf8;
    utf8.value = text.value.toUtf8();
    WipeString(text.value);
    writeDecrypted(options, utf8.value);
    return ExitSuccess;
}

int RunEncrypt(const Options &options)
{
    refuseOutputOverInput(options,
                          QStringLiteral("writing the document there would destroy the text"));
    return options.oldFormat ? encryptOld(options) : encryptStrong(options);
}

int RunCheck(const Options &options)
{
    const bool verifyPassword = options.askPassword || options.passwordFd >= 0;
    Password password(options, verifyPassword);
    SecureBuffer file;
    if (!ReadWholeInput(options.input, MaxInputSize, file)) {
        throw CliError(ExitFileError,
                       QStringLiteral("%1 is not a document: it is larger than 64 MiB")
                           .arg(checkedName(options.input)));
    }
    const QString name = checkedName(options.input);
    if (ClaimsStrongFormat(file.view())) {
        const StrongFile strong = parseStrong(file.view(), name);
        QString verdict = QStringLiteral("%1: OK, a strong document (%2)")
                              .arg(name, costText(strong.header.cost));
        if (verifyPassword) {
            // Asked only once the file is known to be a document.
            WipedBytes content;
            openStrong(strong, password.get(false), content.value);
            verdict += QStringLiteral(", and the password is right");
        }
        printLine(stdout, verdict);
        return ExitSuccess;
    }
    const DocumentLayoutReport report = CheckDocumentLayout(file.view().toByteArray());
    if (!report.ok) {
        throw CliError(
            ExitFileError,
            QStringLiteral("%1 is not a document: line %2, column %3 (byte offset %4): %5")
                .arg(name)
                .arg(report.line)
                .arg(report.column)
                .arg(report.offset)
                .arg(report.problem));
    }
    QString verdict = QStringLiteral("%1: OK, an old-format document (2,500 lines of 80 symbols, "
                                     "205,000 bytes)")
                          .arg(name);
    if (verifyPassword) {
        WipedString block;
        block.value =
            decryptBlock(password.get(false), QString::fromLatin1(file.view()), options.input);
        if (!DecryptedBlockLooksRight(block.value)) {
            throw CliError(ExitWrongPassword, wrongPassword());
        }
        verdict += QStringLiteral(", and the password is right");
    }
    printLine(stdout, verdict);
    return ExitSuccess;
}

int RunConvert(const Options &options)
{
    const bool inPlace = options.output.isEmpty();
    const QString name = DisplayName(options.input);
    // Replacing FILE needs a regular file; a new output gets FILE's
    // permissions, never wider ones.
    struct stat info = {};
    const bool regular = !IsStdStream(options.input) &&
                         ::stat(options.input.constData(), &info) == 0 && S_ISREG(info.st_mode);
    if (inPlace && !regular && ::access(options.input.constData(), F_OK) == 0) {
        throw CliError(ExitFileError,
                       QStringLiteral("%1 is not a regular file, so it cannot be replaced; name "
                                      "the document to write with -o")
                           .arg(name));
    }
    Password password(options, true);
    SecureBuffer file;
    if (!ReadWholeInput(options.input, MaxInputSize, file)) {
        throw CliError(ExitFileError,
                       QStringLiteral("%1 is larger than 64 MiB; it is not a document").arg(name));
    }
    if (ClaimsStrongFormat(file.view())) {
        throw CliError(
            ExitAlreadyStrong,
            QStringLiteral("%1 is already in the strong format; nothing was changed").arg(name));
    }
    const QByteArrayView bytes = oldFormatBytes(file.view(), options.input);
    // Only what the editor opens as a document is converted.
    if (!HasDocumentLayoutAnyLineEnds(bytes)) {
        const DocumentLayoutReport report = CheckDocumentLayout(bytes.toByteArray());
        throw CliError(ExitFileError,
                       QStringLiteral("%1 is not a document (line %2, column %3: %4); nothing "
                                      "was changed")
                           .arg(name)
                           .arg(report.line)
                           .arg(report.column)
                           .arg(report.problem));
    }

    const SecretBytes &secret = password.get(false);
    WipedBytes content;
    {
        WipedString block;
        block.value = decryptBlock(secret, QString::fromLatin1(bytes), options.input);
        if (!DecryptedBlockLooksRight(block.value)) {
            throw CliError(ExitWrongPassword,
                           QStringLiteral("the password is wrong; nothing was changed"));
        }
        WipedString text;
        text.value = TextBeforeNul(block.value);
        WipeString(block.value);
        content.value = text.value.toUtf8();
    }
    const QByteArray document = sealStrong(content.value, secret);
    WipeBytes(content.value);
    password.forget();

    // The password may have taken a while to type: a file saved meanwhile is
    // not overwritten with the older text, whether it is replaced in place or
    // named again by -o.
    if (!inPlace && !(regular && OutputIsInput(options.input, options.output))) {
        writeDocument(options.output, document, regular ? (info.st_mode & 0777) : 0666);
        return ExitSuccess;
    }
    SecureBuffer again;
    if (!ReadWholeInput(options.input, MaxInputSize, again) || again.view() != file.view()) {
        throw CliError(ExitFileError,
                       QStringLiteral("%1 changed while it was being converted; it was left as "
                                      "it is now")
                           .arg(name));
    }
    // Replaced atomically, keeping its permissions (or written as -o says).
    writeDocument(inPlace ? options.input : options.output, document);
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
        case Command::Convert:
            return RunConvert(options);
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
