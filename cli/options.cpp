#include "options.h"

#include "cli/cliexit.h"
#include "cli/utf8.h"

#include <QFile>
#include <QStringList>

namespace veskel::cli {

namespace {

[[noreturn]] void usageError(const QString &message)
{
    throw CliError(ExitUsage, message + QStringLiteral(" (see veskel-cli --help)"));
}

QString decodeArgument(const QByteArray &bytes, qsizetype index)
{
    const qsizetype bad = FirstInvalidUtf8Offset(bytes);
    if (bad >= 0) {
        throw CliError(ExitFileError,
                       QStringLiteral("argument %1 is not valid UTF-8 (byte 0x%2 at offset %3)")
                           .arg(index + 1)
                           .arg(static_cast<unsigned char>(bytes[bad]), 2, 16, QChar(u'0'))
                           .arg(bad));
    }
    return QString::fromUtf8(bytes);
}

int parseDescriptor(const QString &value)
{
    bool allDigits = !value.isEmpty();
    for (const QChar c : value) {
        allDigits = allDigits && c >= u'0' && c <= u'9';
    }
    bool ok = false;
    const int fd = value.toInt(&ok);
    if (!allDigits || !ok || fd < 0) {
        usageError(
            QStringLiteral("--password-fd needs a file descriptor number, not '%1'").arg(value));
    }
    return fd;
}

struct Scan
{
    QList<QByteArray> operands; // the command, then file names
    QByteArray output;
    bool outputGiven = false;
    QString passwordFd;
    bool passwordFdGiven = false;
    bool force = false;
    bool askPassword = false;
    bool oldFormat = false;
    bool help = false;
    bool version = false;
};

template<typename Value>
void setOnce(Value &field, bool &given, const Value &value, const QString &name)
{
    if (given) {
        usageError(QStringLiteral("%1 is given more than once").arg(name));
    }
    field = value;
    given = true;
}

Scan scan(const QList<QByteArray> &arguments)
{
    Scan s;
    bool optionsEnded = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QByteArray &raw = arguments[i];
        if (optionsEnded || !raw.startsWith('-') || raw == "-") {
            if (s.operands.isEmpty()) {
                decodeArgument(raw, i); // the command is text
            }
            s.operands.append(raw);
            continue;
        }
        // An option's value is the next argument whatever it looks like, so
        // "-o -" and "-o -name" work.
        const auto nextValue = [&](const QByteArray &name) {
            if (i + 1 >= arguments.size()) {
                usageError(QStringLiteral("option %1 needs an argument").arg(QLatin1String(name)));
            }
            return arguments[++i];
        };
        // The output's name is taken as bytes, in any of its forms.
        const QByteArray outputLong("--output=");
        if (raw == "-o" || raw == "--output") {
            setOnce(s.output, s.outputGiven, nextValue(raw), QStringLiteral("-o"));
            continue;
        }
        if (raw.startsWith(outputLong)) {
            setOnce(s.output, s.outputGiven, raw.mid(outputLong.size()), QStringLiteral("-o"));
            continue;
        }
        if (raw.startsWith("-o")) {
            setOnce(s.output, s.outputGiven, raw.mid(2), QStringLiteral("-o"));
            continue;
        }
        const QString arg = decodeArgument(raw, i);
        const QLatin1String fdLong("--password-fd=");
        if (arg == QLatin1String("--")) {
            optionsEnded = true;
        } else if (arg == QLatin1String("-h") || arg == QLatin1String("--help")) {
            s.help = true;
        } else if (arg == QLatin1String("--version")) {
            s.version = true;
        } else if (arg == QLatin1String("--force")) {
            s.force = true;
        } else if (arg == QLatin1String("--ask-password")) {
            s.askPassword = true;
        } else if (arg == QLatin1String("--old-format")) {
            s.oldFormat = true;
        } else if (arg == QLatin1String("--password-fd")) {
            const QByteArray &bytes = nextValue(raw);
            const QString value = decodeArgument(bytes, i);
            setOnce(s.passwordFd, s.passwordFdGiven, value, QStringLiteral("--password-fd"));
        } else if (arg.startsWith(fdLong)) {
            setOnce(s.passwordFd, s.passwordFdGiven, arg.mid(fdLong.size()),
                    QStringLiteral("--password-fd"));
        } else {
            usageError(QStringLiteral("unknown option '%1'").arg(arg));
        }
    }
    return s;
}

void refuseExtraOperands(const Scan &s, qsizetype allowed)
{
    // operands[0] is the command.
    if (s.operands.size() > allowed + 1) {
        usageError(QStringLiteral("unexpected argument '%1'")
                       .arg(QFile::decodeName(s.operands[allowed + 1])));
    }
}

} // namespace

Options ParseOptions(const QList<QByteArray> &arguments)
{
    const Scan s = scan(arguments);
    Options options;
    if (s.help) {
        options.command = Command::Help;
        return options;
    }
    if (s.version) {
        options.command = Command::Version;
        return options;
    }
    if (s.operands.isEmpty()) {
        usageError(QStringLiteral("no command given (decrypt, encrypt, convert or check)"));
    }
    const QString command = QString::fromUtf8(s.operands.first());
    if (command == QLatin1String("decrypt")) {
        options.command = Command::Decrypt;
    } else if (command == QLatin1String("encrypt")) {
        options.command = Command::Encrypt;
    } else if (command == QLatin1String("check")) {
        options.command = Command::Check;
    } else if (command == QLatin1String("convert")) {
        options.command = Command::Convert;
    } else {
        usageError(QStringLiteral("unknown command '%1'").arg(command));
    }

    refuseExtraOperands(s, 1);
    if (s.operands.size() > 1) {
        options.input = s.operands[1];
    } else if (options.command == Command::Encrypt) {
        options.input = "-";
    } else {
        usageError(QStringLiteral("%1 needs a FILE").arg(command));
    }
    if (options.input.isEmpty()) {
        usageError(QStringLiteral("the file name is empty"));
    }

    if (s.outputGiven && s.output.isEmpty()) {
        usageError(QStringLiteral("the output file name is empty"));
    }
    if (s.force && (options.command == Command::Check || options.command == Command::Convert)) {
        usageError(QStringLiteral("--force applies to encrypt and decrypt only"));
    }
    if (s.oldFormat && options.command != Command::Encrypt) {
        usageError(QStringLiteral("--old-format applies to encrypt only; %1 reads both formats")
                       .arg(command));
    }
    if (s.askPassword && options.command != Command::Check) {
        usageError(QStringLiteral("--ask-password applies to check only; %1 asks on the terminal "
                                  "unless --password-fd is given")
                       .arg(command));
    }
    if (s.askPassword && s.passwordFdGiven) {
        usageError(QStringLiteral("--ask-password and --password-fd exclude each other"));
    }
    if (options.command == Command::Check && s.outputGiven) {
        usageError(QStringLiteral("check takes no -o"));
    }
    if (options.command == Command::Encrypt) {
        if (!s.outputGiven) {
            usageError(QStringLiteral("encrypt needs -o FILE, the document to write"));
        }
    }
    if ((options.command == Command::Encrypt || options.command == Command::Convert) &&
        IsStdStream(s.output)) {
        usageError(QStringLiteral("%1 writes a document file; -o - is for decrypt only "
                                  "(name a file called '-' as ./-)")
                       .arg(command));
    }
    if (options.command == Command::Convert && IsStdStream(options.input) && !s.outputGiven) {
        usageError(QStringLiteral("convert replaces FILE in place; to convert standard input, "
                                  "name the document to write with -o"));
    }
    options.output = s.output;
    options.force = s.force;
    options.askPassword = s.askPassword;
    options.oldFormat = s.oldFormat;
    if (s.passwordFdGiven) {
        options.passwordFd = parseDescriptor(s.passwordFd);
    }
    return options;
}

QString UsageText()
{
    return QStringLiteral(
        "Usage: veskel-cli decrypt FILE [-o OUT] [--force] [--password-fd N]\n"
        "       veskel-cli encrypt [IN] -o FILE [--password-fd N]\n"
        "                          [--old-format [--force]]\n"
        "       veskel-cli convert FILE [-o OUT] [--password-fd N]\n"
        "       veskel-cli check FILE [--ask-password | --password-fd N]\n"
        "       veskel-cli --help | --version\n"
        "\n"
        "Documents come in two formats. The strong format, which encrypt writes,\n"
        "derives the key from the password and a random salt with Argon2id and\n"
        "encrypts with XChaCha20-Poly1305: a wrong password or any change to the file\n"
        "is detected. The old format keeps notes from casual reading only: every\n"
        "document under one password has the same keystream, nothing detects a\n"
        "change, the key is a fast unsalted hash of the password, and it holds 8-bit\n"
        "text only. Use the strong format, and convert old documents to it.\n"
        "\n"
        "Commands:\n"
        "  decrypt  Decrypt the document FILE, in either format, and write what it\n"
        "           holds to OUT, or to standard output, with nothing added. A strong\n"
        "           document gives back its content byte for byte; an old-format\n"
        "           document its text as UTF-8, as it was stored. A wrong password,\n"
        "           or a strong document changed since it was saved, is refused (exit\n"
        "           status 1) and nothing is written; see --force.\n"
        "  encrypt  Encrypt the content read from IN (standard input when IN is absent\n"
        "           or '-') into the document FILE, in the strong format. The content\n"
        "           is UTF-8 text or RTF of at most 2 MiB (2,097,152 bytes), kept byte\n"
        "           for byte. With --old-format, write the old format instead: the\n"
        "           text, without a leading byte-order mark, is refused if a document\n"
        "           cannot hold it unchanged (more than 99,999 characters, characters\n"
        "           above U+00FF, or anything from a character whose low byte is 0 on).\n"
        "  convert  Rewrite the old-format document FILE in the strong format, under\n"
        "           the same password, asked once and checked first. FILE is replaced\n"
        "           atomically and keeps its permissions, unless -o names the document\n"
        "           to write. A wrong password changes nothing (exit status 1); a FILE\n"
        "           already in the strong format is left as it is (exit status 5).\n"
        "  check    Tell whether FILE is a well-formed strong document or an\n"
        "           old-format document (2,500 lines of 80 armour symbols, each ended\n"
        "           by CR LF, 205,000 bytes), printing \"FILE: OK, a strong document\n"
        "           (...)\" or \"FILE: OK, an old-format document (...)\". No password is\n"
        "           needed; with --ask-password or --password-fd, also tell whether the\n"
        "           password is right (exit status 1 when it is wrong).\n"
        "\n"
        "Options:\n"
        "  -o, --output PATH  The file to write. For decrypt, '-' is standard output\n"
        "                     (the default). The file is replaced only when everything\n"
        "                     has succeeded; a new decrypted file is readable by its\n"
        "                     owner only. A FIFO or a character device is written as\n"
        "                     it is, and so is any path to a file the shell opened for\n"
        "                     the program (/dev/stdout, /proc/PID/fd/N, the file of\n"
        "                     '>> log'), through the descriptor; the input file, a\n"
        "                     folder, a socket or a block device is refused.\n"
        "  --old-format       encrypt: write the old format (not recommended).\n"
        "  --force            encrypt --old-format: write the document even if\n"
        "                     characters are lost. decrypt of an old-format document:\n"
        "                     write the text even if the password check fails, for a\n"
        "                     file whose block was not zero-filled after its text.\n"
        "                     Ignored for the strong format: encrypt loses nothing, and\n"
        "                     a failed check of a strong document is never overridden.\n"
        "  --ask-password     check: ask the password on the terminal and verify it.\n"
        "  --password-fd N    Read the password from the first line of file descriptor N\n"
        "                     (its line end, LF or CR LF, is not part of it) instead of\n"
        "                     asking on the terminal. With N = 0 the rest of standard\n"
        "                     input is still the input.\n"
        "  -h, --help         Show this help.\n"
        "  --version          Show the version.\n"
        "  --                 Everything after it is a file name.\n"
        "\n"
        "An input of '-' is standard input; a file called '-' is named ./- instead.\n"
        "The password is asked on the terminal without echo, twice for encrypt; an\n"
        "empty one is used only when you answer yes. It is never taken from the\n"
        "command line. Passwords and texts are UTF-8; file names are taken as bytes.\n"
        "\n"
        "Exit status: 0 success, 1 usage error, wrong password or changed strong\n"
        "document, 2 file error (including input that is not UTF-8, content over\n"
        "2 MiB, and a strong document that is not well formed or asks for more than\n"
        "1 GiB of memory), 3 the text would not survive in the old format (see\n"
        "--force), 4 the key cannot be set or derived, 5 convert: the file is\n"
        "already in the strong format.\n");
}

} // namespace veskel::cli
