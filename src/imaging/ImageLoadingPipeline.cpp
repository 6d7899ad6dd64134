#include "ImageLoadingPipeline.h"

#include "BitmapSize.h"
#include "DisplayColour.h"
#include "ImageProperties.h"
#include "ImageReduction.h"
#include "ImageSequence.h"
#include "ImageSource.h"
#include "PhysicalMemory.h"

#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QStringList>
#include <algorithm>
#include <charconv>
#include <cmath>

namespace {

// A property value that is a number (never text that looks like one); finite values only.
std::optional<double> numericValue(const QVariant& value)
{
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Double:
    case QMetaType::Float: {
        const double number = value.toDouble();
        return std::isfinite(number) ? std::optional(number) : std::nullopt;
    }
    default:
        return std::nullopt;
    }
}

std::optional<QString> nonEmptyText(const QVariant& value)
{
    if (value.typeId() != QMetaType::QString || value.toString().isEmpty()) {
        return std::nullopt;
    }
    return value.toString();
}

QVariantMap subMap(const QVariantMap& properties, QLatin1StringView key)
{
    const QVariant value = properties.value(key);
    return value.typeId() == QMetaType::QVariantMap ? value.toMap() : QVariantMap();
}

// `value` with `decimals` digits after the point, as printf's "%.*f" prints it in the C locale
// (the user's locale must not turn "2.0s" into "2,0s").
QString fixed(double value, int decimals)
{
    char buffer[400]; // the longest double in fixed notation has 309 integer digits
    const auto [end, error] =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
    return error == std::errc() ? QString::fromLatin1(buffer, end - buffer) : QString();
}

// A pixel dimension property: a number rounded to a whole pixel, otherwise none.
std::optional<double> dimension(const QVariantMap& properties, QLatin1StringView key)
{
    const std::optional<double> number = numericValue(properties.value(key));
    return number ? std::optional(std::round(*number)) : std::nullopt;
}

QString exposureText(double seconds)
{
    if (seconds < 1) {
        return QStringLiteral("1/") + fixed(std::max(1.0, std::round(1 / seconds)), 0) +
               QLatin1Char('s');
    }
    return fixed(seconds, 1) + QLatin1Char('s');
}

// Start-up decodes before the application object exists, which only a JPEG read by our own
// decoder survives: everything else goes through Qt's image plugins, found through paths that
// constructing the application resets. Regular files only (a FIFO would block).
bool startsLikeJpeg(const QString& path)
{
    QFile file(path);
    return QFileInfo(path).isFile() && file.open(QIODevice::ReadOnly) &&
           file.read(3) == QByteArrayView("\xFF\xD8\xFF");
}

std::optional<QString> isoText(const QVariant& value)
{
    if (value.typeId() != QMetaType::QVariantList) {
        return std::nullopt;
    }
    const QVariantList ratings = value.toList();
    if (ratings.isEmpty() || !std::all_of(ratings.begin(), ratings.end(), [](const QVariant& v) {
            return numericValue(v).has_value();
        })) {
        return std::nullopt;
    }
    return QStringLiteral("ISO ") + fixed(std::trunc(*numericValue(ratings.first())), 0);
}

} // namespace

ImageLoadingPipeline::ImageLoadingPipeline(QObject* parent)
    : QObject(parent), m_cacheByteBudget(defaultCacheByteBudget())
{
    ImageSource::initializeDecoders();
}

ImageLoadingPipeline::~ImageLoadingPipeline()
{
    // Tasks still queued are dropped; the one running (at most one decode) completes before
    // the cache goes. Deliveries it posts to this object die with it, unrun.
    m_worker.stop();
}

qint64 ImageLoadingPipeline::defaultCacheByteBudget()
{
    constexpr qint64 gibibyte = qint64(1) << 30;
    const qint64 physical = PhysicalMemory::totalBytes();
    return physical > 0 ? std::min(physical / 4, 2 * gibibyte) : gibibyte;
}

void ImageLoadingPipeline::setCacheByteBudget(qint64 bytes)
{
    m_cacheByteBudget = std::max<qint64>(bytes, 0);
}

CancellationHandle ImageLoadingPipeline::image(const QUrl& url, QObject* context,
                                               ImageHandler handler)
{
    Q_ASSERT(context == nullptr || context->thread() == thread());
    CancellationHandle handle;
    // A cancelled request is still decoded into the cache: the user stepping quickly past an
    // image is likely to come back to it, and only the delivery is withdrawn.
    post([this, url, handle, context = QPointer<QObject>(context), handler = std::move(handler)] {
        const std::optional<LoadedImage> result = imageFor(url);
        deliverTo(context, handle, [handler, result] { handler(result); });
    });
    return handle;
}

CancellationHandle ImageLoadingPipeline::image(const QUrl& url, QSize fitSize, QObject* context,
                                               PreviewHandler previewHandler, ImageHandler handler)
{
    Q_ASSERT(context == nullptr || context->thread() == thread());
    CancellationHandle handle;
    const QUrl key = ImageSequence::standardized(url);
    const QPointer<QObject> guard(context);
    const auto deliverImage = [this, handle, guard, handler = std::move(handler)](
                                  const std::optional<LoadedImage>& result) {
        deliverTo(guard, handle, [handler, result] { handler(result); });
    };
    const auto deliverPreview =
        [this, handle, guard, previewHandler = std::move(previewHandler)](const Preview& preview) {
            deliverTo(guard, handle, [previewHandler, preview] {
                previewHandler(preview.image, preview.fullPixelSize);
            });
        };

    // The preview startLoading() kept goes out at once; the full image follows from the cache
    // (its decode is already queued).
    const auto continueWithKept = [this, key, deliverImage, deliverPreview](const Preview& kept) {
        deliverPreview(kept);
        post([this, key, deliverImage] { deliverImage(imageFor(key)); });
    };
    if (const std::optional<Preview> kept = startPreviewFor(key, fitSize)) {
        continueWithKept(*kept);
        return handle;
    }
    post([this, key, fitSize, handle, deliverImage, deliverPreview, continueWithKept] {
        // Unlike a plain request, one the user has left before its turn decodes nothing.
        if (handle.isCancelled()) {
            return;
        }
        if (m_cache.contains(key) || !key.isLocalFile()) {
            deliverImage(imageFor(key));
            return;
        }
        // Asked for while startLoading() was still decoding its preview.
        if (const std::optional<Preview> kept = startPreviewFor(key, fitSize)) {
            continueWithKept(*kept);
            return;
        }
        const std::optional<OpenedImage> opened = open(key);
        if (!opened) {
            deliverImage(imageFor(key, nullptr));
            return;
        }
        const std::optional<Preview> preview = loadPreview(key, *opened, fitSize);
        if (!preview) {
            deliverImage(imageFor(key, &*opened));
            return;
        }
        deliverPreview(*preview);
        // The full decode waits behind requests that arrived meanwhile; by then a user who has
        // moved on has cancelled it, and it is skipped.
        post([this, key, opened = *opened, handle, deliverImage] {
            if (!handle.isCancelled()) {
                deliverImage(imageFor(key, &opened));
            }
        });
    });
    return handle;
}

void ImageLoadingPipeline::startLoading(const QUrl& url, QSize fitSize)
{
    const QUrl key = ImageSequence::standardized(url);
    post([this, key, fitSize] {
        if (m_cache.contains(key) || !key.isLocalFile() || !startsLikeJpeg(key.toLocalFile())) {
            return;
        }
        // Other files wait for the first request, made once the application object exists.
        const std::optional<OpenedImage> opened = open(key);
        if (!opened || !opened->source->decodesWithoutQtPlugins()) {
            return;
        }
        if (std::optional<Preview> preview = loadPreview(key, *opened, fitSize)) {
            const QMutexLocker locker(&m_startPreviewMutex);
            m_startPreview = std::move(preview);
        }
        post([this, key, opened = *opened] {
            imageFor(key, &opened);
            // From now on the cache serves the image; the preview would only hold memory.
            const QMutexLocker locker(&m_startPreviewMutex);
            m_startPreview.reset();
        });
    });
}

CancellationHandle ImageLoadingPipeline::preload(const QList<QUrl>& urls)
{
    CancellationHandle handle;
    post([this, urls, handle] { preloadStep(urls, 0, handle); });
    return handle;
}

int ImageLoadingPipeline::decodeCount() const
{
    return m_decodeCount;
}

void ImageLoadingPipeline::post(std::function<void()> task)
{
    m_worker.post(std::move(task));
}

void ImageLoadingPipeline::deliverTo(QPointer<QObject> context, const CancellationHandle& handle,
                                     std::function<void()> deliver)
{
    QMetaObject::invokeMethod(
        this,
        [context, handle, deliver = std::move(deliver)] {
            if (context && !handle.isCancelled()) {
                deliver();
            }
        },
        Qt::QueuedConnection);
}

std::optional<ImageLoadingPipeline::Preview>
ImageLoadingPipeline::startPreviewFor(const QUrl& key, QSize fitSize) const
{
    const QMutexLocker locker(&m_startPreviewMutex);
    if (!m_startPreview || m_startPreview->image.url != key) {
        return std::nullopt;
    }
    const QSize full = m_startPreview->fullPixelSize;
    const int needed = std::min(BitmapSize::longestSide(full.scaled(fitSize, Qt::KeepAspectRatio)),
                                BitmapSize::longestSide(full));
    if (BitmapSize::longestSide(m_startPreview->image.cgImage.size()) < needed) {
        return std::nullopt;
    }
    return m_startPreview;
}

void ImageLoadingPipeline::preloadStep(const QList<QUrl>& urls, qsizetype index,
                                       const CancellationHandle& handle)
{
    if (index >= urls.size() || handle.isCancelled()) {
        return;
    }
    imageFor(urls.at(index));
    // The next image goes to the back of the queue, behind any request that arrived meanwhile.
    post([this, urls, index, handle] { preloadStep(urls, index + 1, handle); });
}

std::optional<LoadedImage> ImageLoadingPipeline::imageFor(const QUrl& url)
{
    const QUrl key = ImageSequence::standardized(url);
    if (!key.isLocalFile()) {
        return std::nullopt;
    }
    if (m_cache.contains(key)) {
        return imageFor(key, nullptr);
    }
    const std::optional<OpenedImage> opened = open(key);
    return imageFor(key, opened ? &*opened : nullptr);
}

// `key` is standardized and local; `opened` is its opened file, or null when it could not be
// opened.
std::optional<LoadedImage> ImageLoadingPipeline::imageFor(const QUrl& key,
                                                          const OpenedImage* opened)
{
    Q_ASSERT(m_worker.isWorkerThread());
    if (const auto cached = m_cache.constFind(key); cached != m_cache.constEnd()) {
        markRecentlyUsed(key);
        return *cached;
    }
    ++m_decodeCount;
    std::optional<LoadedImage> loaded = opened ? loadImage(key, *opened) : std::nullopt;
    if (!loaded) {
        return std::nullopt;
    }
    m_cache.insert(key, *loaded);
    m_cacheBytes += loaded->cgImage.sizeInBytes();
    markRecentlyUsed(key);
    trimCacheIfNeeded(key);
    return loaded;
}

void ImageLoadingPipeline::markRecentlyUsed(const QUrl& url)
{
    m_cacheOrder.removeAll(url);
    m_cacheOrder.append(url);
}

void ImageLoadingPipeline::trimCacheIfNeeded(const QUrl& keep)
{
    const qint64 budget = m_cacheByteBudget;
    qsizetype next = 0;
    while (next < m_cacheOrder.size() &&
           (m_cacheOrder.size() > maxCachedImages || m_cacheBytes > budget)) {
        if (m_cacheOrder.at(next) == keep) {
            ++next;
            continue;
        }
        const QUrl evicted = m_cacheOrder.takeAt(next);
        m_cacheBytes -= m_cache.take(evicted).cgImage.sizeInBytes();
    }
}

std::optional<ImageLoadingPipeline::OpenedImage> ImageLoadingPipeline::open(const QUrl& url)
{
    auto source = std::make_shared<const ImageSource>(url.toLocalFile());
    if (!source->isValid()) {
        return std::nullopt;
    }
    const QVariantMap properties = source->properties();
    const double width = dimension(properties, ImageProperties::pixelWidthKey).value_or(0);
    const double height = dimension(properties, ImageProperties::pixelHeightKey).value_or(0);
    if (std::max(width, height) < 1) {
        return std::nullopt;
    }
    // The stored size stands in for the decoded one, which only matters when the properties
    // lack a dimension, and then the check above has refused the file already.
    const QString metadata = imageMetadataSummary(properties, source->storedPixelSize());
    return OpenedImage{std::move(source), metadata};
}

std::optional<LoadedImage> ImageLoadingPipeline::loadImage(const QUrl& url,
                                                           const OpenedImage& opened)
{
    QImage image = opened.source->decode(DecodedColours::SRgb);
    if (image.isNull()) {
        return std::nullopt;
    }
    DisplayColour::convertToSRgb(image);
    return LoadedImage{url, image, opened.metadata};
}

std::optional<LoadedImage> ImageLoadingPipeline::loadScaledImage(const QUrl& url, int longestSide)
{
    const QUrl key = ImageSequence::standardized(url);
    if (!key.isLocalFile()) {
        return std::nullopt;
    }
    const std::optional<OpenedImage> opened = open(key);
    if (!opened) {
        return std::nullopt;
    }
    QImage image = opened->source->decodeScaled(longestSide, ImageSource::ScaledSize::AtLeast,
                                                DecodedColours::SRgb);
    if (image.isNull()) {
        return std::nullopt;
    }
    DisplayColour::convertToSRgb(image);
    return LoadedImage{key, image, opened->metadata};
}

std::optional<ImageLoadingPipeline::Preview>
ImageLoadingPipeline::loadPreview(const QUrl& url, const OpenedImage& opened, QSize fitSize)
{
    const QSize full = opened.source->displayedPixelSize();
    if (fitSize.isEmpty() || full.isEmpty()) {
        return std::nullopt;
    }
    const int fitted = BitmapSize::longestSide(full.scaled(fitSize, Qt::KeepAspectRatio));
    if (!opened.source->reducesWhileDecoding(fitted)) {
        return std::nullopt;
    }
    QImage image =
        opened.source->decodeScaled(fitted, ImageSource::ScaledSize::AtLeast, DecodedColours::SRgb);
    if (image.isNull()) {
        return std::nullopt;
    }
    // Reduced here to exactly the fitted size, so the requester shows it without rescaling.
    image = ImageReduction::reducedToLongestSide(image, fitted);
    DisplayColour::convertToSRgb(image);
    return Preview{LoadedImage{url, image, opened.metadata}, full};
}

QString ImageLoadingPipeline::imageMetadataSummary(const QVariantMap& properties,
                                                   QSizeF fallbackSize)
{
    const double width = dimension(properties, ImageProperties::pixelWidthKey)
                             .value_or(std::round(fallbackSize.width()));
    const double height = dimension(properties, ImageProperties::pixelHeightKey)
                              .value_or(std::round(fallbackSize.height()));
    QStringList parts{fixed(width, 0) + QLatin1Char('x') + fixed(height, 0) +
                      QStringLiteral(" px")};

    const QVariantMap tiff = subMap(properties, ImageProperties::tiffKey);
    if (const auto model = nonEmptyText(tiff.value(ImageProperties::modelKey))) {
        parts.append(*model);
    }

    const QVariantMap exif = subMap(properties, ImageProperties::exifKey);
    if (const auto date = nonEmptyText(exif.value(ImageProperties::dateTimeOriginalKey))) {
        parts.append(*date);
    }
    if (const auto exposure = numericValue(exif.value(ImageProperties::exposureTimeKey));
        exposure && *exposure > 0) {
        parts.append(exposureText(*exposure));
    }
    if (const auto focalLength = numericValue(exif.value(ImageProperties::focalLengthKey))) {
        parts.append(fixed(*focalLength, 0) + QStringLiteral("mm"));
    }
    if (const auto iso = isoText(exif.value(ImageProperties::isoSpeedRatingsKey))) {
        parts.append(*iso);
    }
    return parts.join(QStringLiteral(" \u2022 "));
}
