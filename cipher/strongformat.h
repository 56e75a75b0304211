// The printable form of a strong document: a header of four lines naming the
// format, the key derivation's costs, the salt and the nonce, then the
// ciphertext in base64 lines, then an end line. Only the canonical form is
// read: one kind of line end throughout (LF or CR LF), every number and
// hexadecimal field in its one spelling, the body in full 76-character lines
// with standard padding, nothing after the end line.
//
// docs/format.md describes the form byte for byte.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <array>
#include <cstdint>
#include <optional>

namespace veskel {

// The first line's text, followed by a blank and the version.
inline constexpr char StrongFormatName[] = "VESKEL-STRONG-DOCUMENT";
inline constexpr int StrongFormatVersion = 1;
inline constexpr char StrongEndLine[] = "END VESKEL-STRONG-DOCUMENT";

// Argon2id's costs. Lanes are always 1.
struct StrongCost
{
    std::uint32_t memoryKiB = 0;
    std::uint32_t passes = 0;
    friend bool operator==(const StrongCost &, const StrongCost &) = default;
};

// What a save uses: about 0.4 s on a 2-core machine.
inline constexpr StrongCost DefaultStrongCost{128 * 1024, 3};
// What a reader accepts; a file asking for more is refused before any work.
inline constexpr StrongCost MinStrongCost{8, 1};
inline constexpr StrongCost MaxStrongCost{1024 * 1024, 10};

inline constexpr std::size_t StrongSaltBytes = 16;
inline constexpr std::size_t StrongNonceBytes = 24;
inline constexpr std::size_t StrongKeyBytes = 32;
inline constexpr std::size_t StrongTagBytes = 16;

// The plaintext is padded to a multiple of the bucket, at least one bucket.
inline constexpr qsizetype StrongBucketBytes = 64 * 1024;
// The largest content: the largest file the editor loads.
inline constexpr qsizetype StrongContentLimit = 2 * 1024 * 1024;
inline constexpr qsizetype StrongBodyLineLength = 76;

// The ciphertext length of a content of the given size, tag included.
qsizetype StrongCiphertextSize(qsizetype contentSize);
// The largest canonical file, with CR LF line ends.
qsizetype MaxStrongFileBytes();

struct StrongHeader
{
    int version = StrongFormatVersion;
    StrongCost cost = DefaultStrongCost;
    std::array<unsigned char, StrongSaltBytes> salt{};
    std::array<unsigned char, StrongNonceBytes> nonce{};
};

struct StrongFile
{
    StrongHeader header;
    QByteArray ciphertext; // tag included
};

// Whether the bytes claim to be a strong document: their first line begins
// with the format's name. Such a file is read as one or refused, never shown
// as text.
bool ClaimsStrongFormat(QByteArrayView bytes);

// The header's lines, each ended by LF: the associated data that the
// ciphertext authenticates, whatever line ends the file uses.
QByteArray StrongAssociatedData(const StrongHeader &header);

// The file's bytes, with LF line ends.
QByteArray FormatStrongFile(const StrongFile &file);

// Reads the canonical form. On refusal, returns nothing and sets problem to
// a sentence for the user ("The file asks for 4096 MiB of memory to open; at
// most 1024 MiB are allowed.").
std::optional<StrongFile> ParseStrongFile(QByteArrayView bytes, QString &problem);

} // namespace veskel
