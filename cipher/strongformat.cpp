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
    QByteArray body;
    for (qsizetype i = 4; i < all.size() - 1; ++i) {
        const bool last = i == all.size() - 2;
        if (all[i].isEmpty() || all[i].size() > StrongBodyLineLength ||
            (!last && all[i].size() != StrongBodyLineLength)) {
            problem = notCanonical(tr("line %1 is not a line of the body").arg(i + 1));
            return std::nullopt;
        }
        body += all[i];
    }
    auto decoded = QByteArray::fromBase64Encoding(body, QByteArray::AbortOnBase64DecodingErrors);
    // Re-encoding catches every other spelling of the same bytes.
    if (!decoded || decoded.decoded.toBase64() != body) {
        problem = notCanonical(tr("its body is not canonical base64"));
        return std::nullopt;
    }
    const qsizetype padded = decoded.decoded.size() - qsizetype(StrongTagBytes);
    if (padded < StrongBucketBytes || padded % StrongBucketBytes != 0 || padded > maxPaddedSize()) {
        problem = notCanonical(tr("its body has a length no save writes"));
        return std::nullopt;
    }
    file.ciphertext = std::move(decoded.decoded);
    return file;
}

} // namespace veskel
