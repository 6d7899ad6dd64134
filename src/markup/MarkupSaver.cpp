#include "MarkupSaver.h"

#include "DerivedImageOutput.h"
#include "MarkupFlattener.h"

#include <QFileInfo>
#include <QImageReader>
#include <algorithm>

namespace MarkupSaver {

namespace {

const QString suffixBase = QStringLiteral("_markup");
// A JPEG copy may grow by half the original's size, and by at least this many bytes.
constexpr qint64 minimumGrowth = 16384;

} // namespace

QImage decodeWithQt(const QString& filePath)
{
    QImageReader reader(filePath);
    reader.setAutoTransform(true);
    return reader.read();
}

std::optional<QUrl> saveMarkupCopy(const QUrl& original, const QList<MarkupAnnotation>& annotations,
                                   const ImageDecoder& decode,
                                   const DerivedImageOutput::EncodedFinisher& finishEncoded)
{
    if (annotations.isEmpty() || !original.isLocalFile()) {
        return std::nullopt;
    }
    QImage image = decode(original.toLocalFile());
    if (image.isNull()) {
        return std::nullopt;
    }
    const auto flattened = MarkupFlattener::flatten(annotations, std::move(image));
    if (!flattened) {
        return std::nullopt;
    }
    const QString extension = DerivedImageOutput::outputImageExtension(
        DerivedImageOutput::pathExtension(original).toLower());
    const std::optional<qint64> limit = DerivedImageOutput::isJPEGExtension(extension)
                                            ? maximumOutputFileSize(original)
                                            : std::nullopt;
    return DerivedImageOutput::writeDerivedCopy(*flattened, original, suffixBase, extension, limit,
                                                {}, finishEncoded);
}

std::optional<qint64> maximumOutputFileSize(const QUrl& original)
{
    const QFileInfo info(original.toLocalFile());
    if (!original.isLocalFile() || !info.isFile()) {
        return std::nullopt;
    }
    const qint64 size = info.size();
    return std::max(qint64(double(size) * 1.5), size + minimumGrowth);
}

} // namespace MarkupSaver
