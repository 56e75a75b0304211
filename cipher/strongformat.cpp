#include "strongformat.h"

#include <QCoreApplication>
#include <QList>

namespace veskel {

namespace {

constexpr char kKdfPrefix[] = "argon2id memory-kib=";
constexpr char kSaltPrefix[] = "salt ";
constexpr char kNoncePrefix[] = "nonce ";

QString tr(const char *text)
{
    return QCoreApplication::translate("StrongFormat", text);
}

QString notCanonical(const QString &what)
{
    return tr("The file is not a well-formed strong document: %1.").arg(what);
}

// The largest padded plaintext: the largest content and at least one byte of
// padding, rounded up to the bucket.
constexpr qsizetype maxPaddedSize()
{
    return (StrongContentLimit / StrongBucketBytes + 1) * StrongBucketBytes;
}

// A decimal number in its one spelling: digits only, no leading zero, at
// most ten digits.
std::optional<std::uint64_t> parseNumber(QByteArrayView text)
{
    if (text.isEmpty() || text.size() > 10 || (text.size() > 1 && text.front() == '0')) {
        return std::nullopt;
    }
    std::uint64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return value;
}

// Lower-case hexadecimal of exactly out.size() bytes.
template<std::size_t N>
bool parseHex(QByteArrayView text, std::array<unsigned char, N> &out)
{
    if (text.size() != qsizetype(2 * N)) {
        return false;
    }
    const auto nibble = [](char c) {
        if (c >= '0' && c <= '9') {
            return c - '0';
        }
        if (c >= 'a' && c <= 'f') {
            return c - 'a' + 10;
        }
        return -1;
    };
    for (std::size_t i = 0; i < N; ++i) {
        const int high = nibble(text[qsizetype(2 * i)]);
        const int low = nibble(text[qsizetype(2 * i + 1)]);
        if (high < 0 || low < 0) {
            return false;
        }
        out[i] = static_cast<unsigned char>(high * 16 + low);
    }
    return true;
}

template<std::size_t N>
QByteArray hex(const std::array<unsigned char, N> &bytes)
{
    return QByteArray(reinterpret_cast<const char *>(bytes.data()), qsizetype(N)).toHex();
}

QByteArray firstLine()
{
    return QByteArray(StrongFormatName) + ' ' + QByteArray::number(StrongFormatVersion);
}

// The bytes of base64 in its one spelling, given as lines of whole quartets:
// the standard alphabet, '=' only as the last one or two symbols, and the
// bits that the last symbol carries beyond the data all zero.
std::optional<QByteArray> decodeCanonicalBase64(const QList<QByteArrayView> &lines)
{
    static constexpr std::array<unsigned char, 256> values = [] {
        constexpr char symbols[] =
            "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
        std::array<unsigned char, 256> table{};
        table.fill(0xFF);
        for (unsigned char i = 0; i < 64; ++i) {
            table[static_cast<unsigned char>(symbols[i])] = i;
        }
        return table;
    }();
    qsizetype symbols = 0;
    for (const QByteArrayView line : lines) {
        if (line.size() % 4 != 0) {
            return std::nullopt;
        }
        symbols += line.size();
    }
    if (symbols == 0) {
        return std::nullopt;
    }
    const QByteArrayView lastLine = lines.constLast();
    const qsizetype pads = lastLine.endsWith("==") ? 2 : lastLine.endsWith('=') ? 1 : 0;
    QByteArray bytes(symbols / 4 * 3, Qt::Uninitialized);
    auto *out = reinterpret_cast<unsigned char *>(bytes.data());
    for (const QByteArrayView line : lines) {
        const auto *in = reinterpret_cast<const unsigned char *>(line.data());
        const bool last = line.data() == lastLine.data();
        for (qsizetype at = 0; at < line.size(); at += 4, out += 3) {
            const bool final = last && at + 4 == line.size();
            const unsigned a = values[in[at]];
            const unsigned b = values[in[at + 1]];
            const unsigned c = final && pads == 2 ? 0 : values[in[at + 2]];
            const unsigned d = final && pads >= 1 ? 0 : values[in[at + 3]];
            if ((a | b | c | d) > 63) {
                return std::nullopt;
            }
            // Padding stands for zero bits only.
            if (final && ((pads == 2 && (b & 0x0F) != 0) || (pads == 1 && (c & 0x03) != 0))) {
                return std::nullopt;
            }
            const unsigned quartet = a << 18 | b << 12 | c << 6 | d;
            out[0] = static_cast<unsigned char>(quartet >> 16);
            out[1] = static_cast<unsigned char>(quartet >> 8);
            out[2] = static_cast<unsigned char>(quartet);
        }
    }
    bytes.chop(pads);
    return bytes;
}

// Splits the file into lines, all ended by the line end of the first one.
std::optional<QList<QByteArrayView>> splitLines(QByteArrayView bytes, QString &problem)
{
    const qsizetype firstEnd = bytes.indexOf('\n');
    if (firstEnd < 0) {
        problem = notCanonical(tr("it has no complete line"));
        return std::nullopt;
    }
    const bool crlf = firstEnd > 0 && bytes[firstEnd - 1] == '\r';
    QList<QByteArrayView> lines;
    qsizetype start = 0;
    while (start < bytes.size()) {
        const qsizetype end = bytes.indexOf('\n', start);
        if (end < 0) {
            problem = notCanonical(tr("its last line has no line end"));
            return std::nullopt;
        }
        qsizetype textEnd = end;
        if (crlf) {
            if (end == start || bytes[end - 1] != '\r') {
                problem = notCanonical(
                    tr("line %1 ends differently from the first").arg(lines.size() + 1));
                return std::nullopt;
            }
            --textEnd;
        }
        const QByteArrayView line = bytes.sliced(start, textEnd - start);
        for (const char c : line) {
            if (c < 0x20 || c > 0x7e) {
                problem = notCanonical(tr("line %1 holds a character that is not printable ASCII")
                                           .arg(lines.size() + 1));
                return std::nullopt;
            }
        }
        lines.append(line);
        start = end + 1;
    }
    return lines;
}

bool parseCost(QByteArrayView line, StrongCost &cost, QString &problem)
{
    const QByteArrayView prefix(kKdfPrefix);
    const QByteArrayView passes(" passes=");
    const QByteArrayView lanes(" lanes=1");
    const qsizetype passesAt = line.indexOf(passes);
    if (!line.startsWith(prefix) || passesAt < 0 || !line.endsWith(lanes) ||
        passesAt + passes.size() > line.size() - lanes.size()) {
        problem = notCanonical(tr("the second line does not name Argon2id and its costs"));
        return false;
    }
    const auto memory = parseNumber(line.sliced(prefix.size(), passesAt - prefix.size()));
    const qsizetype passesStart = passesAt + passes.size();
    const auto count =
        parseNumber(line.sliced(passesStart, line.size() - lanes.size() - passesStart));
    if (!memory || !count) {
        problem = notCanonical(tr("the costs of its key derivation are not plain numbers"));
        return false;
    }
    if (*memory > MaxStrongCost.memoryKiB) {
        problem = tr("The file asks for %1 MiB of memory to open; at most %2 MiB are allowed.")
                      .arg((*memory + 1023) / 1024)
                      .arg(MaxStrongCost.memoryKiB / 1024);
        return false;
    }
    if (*count > MaxStrongCost.passes) {
        problem = tr("The file asks for %1 passes of its key derivation; at most %2 are allowed.")
                      .arg(*count)
                      .arg(MaxStrongCost.passes);
        return false;
    }
    if (*memory < MinStrongCost.memoryKiB || *count < MinStrongCost.passes) {
        problem = notCanonical(tr("the costs of its key derivation are below the least allowed"));
        return false;
    }
    cost = {static_cast<std::uint32_t>(*memory), static_cast<std::uint32_t>(*count)};
    return true;
}

} // namespace

qsizetype StrongCiphertextSize(qsizetype contentSize)
{
    return (contentSize / StrongBucketBytes + 1) * StrongBucketBytes + qsizetype(StrongTagBytes);
}

qsizetype MaxStrongFileBytes()
{
    const qsizetype body = (maxPaddedSize() + qsizetype(StrongTagBytes) + 2) / 3 * 4;
    const qsizetype bodyLines = (body + StrongBodyLineLength - 1) / StrongBodyLineLength;
    const StrongHeader widest{StrongFormatVersion, MaxStrongCost, {}, {}};
    const qsizetype header = StrongAssociatedData(widest).size() + 4 * 1; // one CR a line
    return header + body + 2 * bodyLines + qsizetype(sizeof StrongEndLine) + 1;
}

bool ClaimsStrongFormat(QByteArrayView bytes)
{
    // An editor may have put a byte-order mark in front: the file is still
    // one, refused as not well-formed rather than shown as text.
    if (bytes.startsWith("\xEF\xBB\xBF")) {
        bytes = bytes.sliced(3);
    }
    const QByteArrayView name(StrongFormatName);
    return bytes.startsWith(name) && (bytes.size() == name.size() || bytes[name.size()] == ' ' ||
                                      bytes[name.size()] == '\r' || bytes[name.size()] == '\n');
}

QByteArray StrongAssociatedData(const StrongHeader &header)
{
    QByteArray text;
    text += QByteArray(StrongFormatName) + ' ' + QByteArray::number(header.version) + '\n';
    text += kKdfPrefix + QByteArray::number(header.cost.memoryKiB) +
            " passes=" + QByteArray::number(header.cost.passes) + " lanes=1\n";
    text += kSaltPrefix + hex(header.salt) + '\n';
    text += kNoncePrefix + hex(header.nonce) + '\n';
    return text;
}

QByteArray FormatStrongFile(const StrongFile &file)
{
    const QByteArray body = file.ciphertext.toBase64();
    QByteArray text = StrongAssociatedData(file.header);
    text.reserve(text.size() + body.size() + body.size() / StrongBodyLineLength + 64);
    for (qsizetype at = 0; at < body.size(); at += StrongBodyLineLength) {
        text += QByteArrayView(body).sliced(at, std::min(StrongBodyLineLength, body.size() - at));
        text += '\n';
    }
    text += StrongEndLine;
    text += '\n';
    return text;
}

namespace {

// A later version may change everything after its first line; it is named
// before any rule of this version is applied.
std::optional<std::uint64_t> laterVersion(QByteArrayView bytes)
{
    const QByteArrayView name(StrongFormatName);
    QByteArrayView line = bytes.first(std::max<qsizetype>(0, bytes.indexOf('\n')));
    if (line.endsWith('\r')) {
        line.chop(1);
    }
    if (line.size() <= name.size() + 1 || !line.startsWith(name) || line[name.size()] != ' ') {
        return std::nullopt;
    }
    const auto version = parseNumber(line.sliced(name.size() + 1));
    return version && *version > std::uint64_t(StrongFormatVersion) ? version : std::nullopt;
}

} // namespace

std::optional<StrongFile> ParseStrongFile(QByteArrayView bytes, QString &problem)
{
    if (const auto version = laterVersion(bytes)) {
        problem = tr("The file is a strong document of version %1, which this version of "
                     "Veskel cannot read; it reads version %2.")
                      .arg(*version)
                      .arg(StrongFormatVersion);
        return std::nullopt;
    }
    if (bytes.size() > MaxStrongFileBytes()) {
        problem = tr("The file is larger than any strong document can be.");
        return std::nullopt;
    }
    const auto lines = splitLines(bytes, problem);
    if (!lines) {
        return std::nullopt;
    }
    const QList<QByteArrayView> &all = *lines;
    if (all.size() < 6) {
        problem = notCanonical(tr("it is cut short"));
        return std::nullopt;
    }
    StrongFile file;
    if (all[0] != QByteArrayView(firstLine())) {
        problem =
            notCanonical(tr("its first line is not \"%1\"").arg(QString::fromLatin1(firstLine())));
        return std::nullopt;
    }
    if (!parseCost(all[1], file.header.cost, problem)) {
        return std::nullopt;
    }
    if (!all[2].startsWith(QByteArrayView(kSaltPrefix)) ||
        !parseHex(all[2].sliced(qsizetype(sizeof kSaltPrefix) - 1), file.header.salt)) {
        problem =
            notCanonical(tr("its third line is not a salt of 32 lower-case hexadecimal digits"));
        return std::nullopt;
    }
    if (!all[3].startsWith(QByteArrayView(kNoncePrefix)) ||
        !parseHex(all[3].sliced(qsizetype(sizeof kNoncePrefix) - 1), file.header.nonce)) {
        problem =
            notCanonical(tr("its fourth line is not a nonce of 48 lower-case hexadecimal digits"));
        return std::nullopt;
    }
    if (all.last() != QByteArrayView(StrongEndLine)) {
        problem = notCanonical(tr("its last line is not \"%1\"").arg(QLatin1String(StrongEndLine)));
        return std::nullopt;
    }
    for (qsizetype i = 4; i < all.size() - 1; ++i) {
        const bool last = i == all.size() - 2;
        if (all[i].isEmpty() || all[i].size() > StrongBodyLineLength ||
            (!last && all[i].size() != StrongBodyLineLength)) {
            problem = notCanonical(tr("line %1 is not a line of the body").arg(i + 1));
            return std::nullopt;
        }
    }
    auto decoded = decodeCanonicalBase64(all.sliced(4, all.size() - 5));
    if (!decoded) {
        problem = notCanonical(tr("its body is not canonical base64"));
        return std::nullopt;
    }
    file.ciphertext = std::move(*decoded);
    const qsizetype padded = file.ciphertext.size() - qsizetype(StrongTagBytes);
    if (padded < StrongBucketBytes || padded % StrongBucketBytes != 0 || padded > maxPaddedSize()) {
        problem = notCanonical(tr("its body has a length no save writes"));
        return std::nullopt;
    }
    return file;
}

} // namespace veskel
