#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>
#include <QUrl>
#include <functional>
#include <optional>

// Naming, encoding and writing of derived copies (crop and markup copies) beside their
// originals. A copy never replaces any file and the original is never touched: the encoded
// bytes are written to a hidden temporary file in the original's folder first and then given
// the derived name in one step that fails when that name is taken, in which case the next free
// name is tried. Readers of the folder therefore see either the whole copy or none.
//
// Extensions are compared exactly (case-sensitive); callers lower-case the original's first.
namespace DerivedImageOutput {

enum class FileType
{
    jpeg,
    png,
    gif,
    tiff,
    bmp
};

// Turns the encoded bytes of a copy (and its output extension) into the bytes to write.
using EncodedFinisher =
    std::function<QByteArray(const QByteArray& encoded, const QString& pathExtension)>;

// True exactly for "jpg", "jpeg" and "jpe".
bool isJPEGExtension(const QString& extension);

// The original's extension when it is one of "jpg", "jpeg", "jpe", "png", "gif", "tif",
// "tiff", "bmp"; "png" for any other (also an empty one).
QString outputImageExtension(const QString& originalExtension);

// The encoder for an output extension: JPEG, GIF, TIFF and BMP by their extensions, PNG for
// anything else.
FileType fileType(const QString& pathExtension);

// The extension of the file name of `url`: the text after its last dot; empty when there is
// no dot, when the only dot starts the name (".profile") or when the name ends with the dot.
QString pathExtension(const QUrl& url);

// A file URL in the original's folder, named after the original's name without its extension
// followed by `suffixBase` and then `pathExtension` (after a dot, when it is not empty). When
// an entry of that name exists, the suffix becomes `suffixBase` followed by 2, 3, ... (no
// separator) until the name is free: a.png with "_crop" gives a_crop.png, then a_crop2.png.
// The name is only known to be free at the moment of the test.
QUrl makeDerivedCopyURL(const QUrl& original, const QString& suffixBase,
                        const QString& pathExtension);

// `image` encoded as `type`. JPEG without a limit is encoded at quality factor 0.92; with a
// limit, the factors 0.82, 0.72, 0.62, 0.52, 0.42 and 0.32 are tried in this order and the
// first encoding of at most `maximumFileSize` bytes is the result, or else the smallest one
// produced. Other types ignore the limit. Absent when the encoder produces nothing.
std::optional<QByteArray> encodedData(const QImage& image, FileType type,
                                      std::optional<qint64> maximumFileSize);

// Encodes `image` for `pathExtension` (under `maximumFileSize`, see encodedData) and writes it
// as a new file beside the local file `original`, named as makeDerivedCopyURL names it; when
// another file takes that name between the test and the write, the next free name is used.
// Returns the URL of the written copy; absent when nothing was written (the image cannot be
// encoded, the folder cannot be written, the disk is full, ...), and then no file is left
// behind. `beforeCommit` is called with each chosen name just before the copy takes it.
// `finishEncoded`, when given, receives the encoded bytes and the output extension and returns
// the bytes actually written (the same pixels, with metadata added); `maximumFileSize` limits
// the pixels' encoding, before it is applied. An empty result writes nothing.
std::optional<QUrl> writeDerivedCopy(const QImage& image, const QUrl& original,
                                     const QString& suffixBase, const QString& pathExtension,
                                     std::optional<qint64> maximumFileSize,
                                     const std::function<void(const QUrl&)>& beforeCommit = {},
                                     const EncodedFinisher& finishEncoded = {});

} // namespace DerivedImageOutput
