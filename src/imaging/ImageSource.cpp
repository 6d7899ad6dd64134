#include "ImageSource.h"

#include "BitmapSize.h"
#include "HeifImageFile.h"
#include "ImageProperties.h"
#include "ImageReduction.h"
#include "JpegDecoder.h"
#include "JpegStream.h"
#include "TiffImageFile.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <mutex>

namespace {

// The Qt image format of `contents`: by content first, as the desktop does; by the extension
// of `filePath` only for formats without a recognisable signature.
QByteArray qtFormatOf(const QByteArray& contents, const QString& filePath)
{
    QBuffer buffer;
    buffer.setData(contents);
    buffer.open(QIODevice::ReadOnly);
    QByteArray format = QImageReader::imageFormat(&buffer);
    if (!format.isEmpty()) {
        return format;
    }
    const QByteArray suffix = QFileInfo(filePath).suffix().toLower().toLatin1();
    buffer.seek(0);
    QImageReader probe(&buffer, suffix);
    probe.setDecideFormatFromContent(false);
    return !suffix.isEmpty() && probe.canRead() ? suffix : QByteArray();
}

} // namespace

void ImageSource::initializeDecoders()
{
    // Qt's readers refuse bitmaps above a small default (a 100-megapixel photo exceeds it).
    // The limit is process-wide and in MiB; ours is the same 1 GiB as maximumBytes.
    static std::once_flag once;
    std::call_once(once,
                   [] { QImageReader::setAllocationLimit(int(maximumBytes / (1024 * 1024))); });
}

ImageSource::ImageSource(const QString& filePath)
{
    initializeDecoders();
    // Regular files only: opening a FIFO named like an image would block until a writer comes.
    QFile file(filePath);
    if (!QFileInfo(filePath).isFile() || !file.open(QIODevice::ReadOnly)) {
        return;
    }
    // Exactly the size seen now, so a file that grows meanwhile cannot push past the bound.
    const qint64 size = file.size();
    if (size <= 0 || size > maximumBytes) {
        return;
    }
    m_contents.resize(size);
    if (file.read(m_contents.data(), size) != size) {
        m_contents.clear();
        return;
    }
    if (HeifImageFile::isHeif(m_contents)) {
        m_heif = std::make_unique<HeifImageFile>(m_contents);
        m_storedPixelSize = m_heif->storedPixelSize();
        return;
    }
    if (TiffImageFile::isTiff(m_contents)) {
        // Deep and floating-point samples, which Qt's reader refuses or reads wrongly (separate
        // planes, grey with alpha). Qt keeps the TIFFs of 8 bits and less.
        auto tiff = std::make_unique<TiffImageFile>(m_contents);
        if (tiff->isValid()) {
            m_tiff = std::move(tiff);
            m_storedPixelSize = m_tiff->storedPixelSize();
            return;
        }
    }
    if (m_contents.startsWith("\xFF\xD8\xFF")) {
        // Read without Qt's image plugins, so a JPEG can be opened before the application
        // object exists (and on any thread meanwhile).
        m_qtFormat = QByteArrayLiteral("jpeg");
        m_storedPixelSize = JpegStream::frameSize(m_contents);
        return;
    }
    m_qtFormat = qtFormatOf(m_contents, filePath);
    if (m_qtFormat.isEmpty()) {
        return;
    }
    QBuffer buffer;
    buffer.setData(m_contents);
    buffer.open(QIODevice::ReadOnly);
    QImageReader header(&buffer, m_qtFormat);
    m_storedPixelSize = header.size();
    // A top-down BMP stores its height negated, and Qt's reader reports it so.
    if (m_qtFormat == "bmp" && m_storedPixelSize.height() < 0) {
        m_storedPixelSize.setHeight(-m_storedPixelSize.height());
    }
}

ImageSource::~ImageSource() = default;

bool ImageSource::isValid() const
{
    return (m_heif && m_heif->isValid()) || !m_qtFormat.isEmpty() || m_tiff;
}

QSize ImageSource::storedPixelSize() const
{
    return m_storedPixelSize;
}

QSize ImageSource::displayedPixelSize() const
{
    if (m_heif) {
        return m_heif->displayedPixelSize();
    }
    if (m_tiff) {
        return m_tiff->displayedPixelSize();
    }
    if (m_qtFormat.isEmpty()) {
        return {};
    }
    QBuffer buffer;
    buffer.setData(m_contents);
    buffer.open(QIODevice::ReadOnly);
    const QImageIOHandler::Transformations transformation =
        m_qtFormat == "jpeg" ? JpegDecoder::transformation(m_contents)
                             : QImageReader(&buffer, m_qtFormat).transformation();
    const bool isTurned = transformation & QImageIOHandler::TransformationRotate90;
    return isTurned ? m_storedPixelSize.transposed() : m_storedPixelSize;
}

QVariantMap ImageSource::properties() const
{
    return ImageProperties::read(m_contents, m_storedPixelSize);
}

QImage ImageSource::decode(DecodedColours colours) const
{
    if (m_heif) {
        return m_heif->decode(maximumBytes);
    }
    if (m_tiff) {
        return m_tiff->decode(maximumBytes);
    }
    return decodeWithQt(0, colours);
}

QImage ImageSource::decodeScaled(int longestSide, ScaledSize mode, DecodedColours colours) const
{
    if (longestSide < 1) {
        return {};
    }
    const QImage image = m_heif   ? m_heif->decodeScaled(longestSide, maximumBytes)
                         : m_tiff ? m_tiff->decodeScaled(longestSide, maximumBytes)
                                  : decodeWithQt(longestSide, colours);
    return mode == ScaledSize::Exactly ? ImageReduction::reducedToLongestSide(image, longestSide)
                                       : image;
}

bool ImageSource::reducesWhileDecoding(int longestSide) const
{
    if (m_heif) {
        // An embedded thumbnail that covers the side is decoded instead of the image.
        return m_heif->hasThumbnailCovering(longestSide);
    }
    const int storedSide = BitmapSize::longestSide(m_storedPixelSize);
    if (m_qtFormat.isEmpty() || longestSide < 1 || longestSide >= storedSide) {
        return false;
    }
    if (m_qtFormat == "jpeg") {
        // DCT scaling halves at least once from here; below that the decode is the full one.
        return 2 * longestSide <= storedSide;
    }
    // Vector images render at the size asked. Qt's other readers that accept a scaled size
    // (PNG among them) decode in full and reduce afterwards.
    return m_qtFormat == "svg" || m_qtFormat == "svgz";
}

// `longestSide` 0 decodes at full size; otherwise the reader reduces as it decodes where its
// format allows (JPEG by DCT scaling, SVG by rendering smaller) and after decoding elsewhere.
QImage ImageSource::decodeWithQt(int longestSide, DecodedColours colours) const
{
    if (m_qtFormat.isEmpty() || !BitmapSize::fitsIn(m_storedPixelSize, maximumBytes)) {
        return {};
    }
    if (m_qtFormat == "jpeg") {
        // Qt's reader only gets the colour models our decoder leaves to it (CMYK, YCCK).
        if (std::optional<QImage> image =
                JpegDecoder::decode(m_contents, longestSide, maximumBytes, colours)) {
            return *std::move(image);
        }
    }
    if (m_qtFormat == "jpeg" && !JpegStream::isComplete(m_contents)) {
        return {};
    }
    QBuffer buffer;
    buffer.setData(m_contents);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, m_qtFormat);
    reader.setAutoTransform(true);
    if (longestSide > 0 && BitmapSize::longestSide(m_storedPixelSize) > longestSide) {
        // The stored size's longest side is the displayed one's too, whatever the orientation.
        reader.setScaledSize(m_storedPixelSize.scaled(longestSide, longestSide, Qt::KeepAspectRatio)
                                 .boundedTo(m_storedPixelSize)
                                 .expandedTo(QSize(1, 1)));
    }
    QImage image;
    if (!reader.read(&image)) {
        return {};
    }
    return image;
}

bool ImageSource::decodesWithoutQtPlugins() const
{
    // CMYK and YCCK JPEGs are left to Qt's reader.
    const int components = m_qtFormat == "jpeg" ? JpegStream::frameComponentCount(m_contents) : 0;
    return components == 1 || components == 3;
}
