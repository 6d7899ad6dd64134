#include "ImageLoadingPipeline.h"

#include "ImageProperties.h"
#include "ImageSequence.h"
#include "ImageSource.h"

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

ImageLoadingPipeline::ImageLoadingPipeline(QObject* parent) : QObject(parent)
{
    m_thread.setObjectName(QStringLiteral("vistrel image loader"));
    m_worker.moveToThread(&m_thread);
    m_thread.start();
}

ImageLoadingPipeline::~ImageLoadingPipeline()
{
    // Tasks still queued see the flag and return at once; the one running (at most one decode)
    // completes. Deliveries it posts to this object die with it, unrun.
    m_isStopping = true;
    m_thread.quit();
    m_thread.wait();
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
        QMetaObject::invokeMethod(
            this,
            [handle, context, handler, result] {
                if (context && !handle.isCancelled()) {
                    handler(result);
                }
            },
            Qt::QueuedConnection);
    });
    return handle;
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
    QMetaObject::invokeMethod(
        &m_worker,
        [this, task = std::move(task)] {
            if (!m_isStopping) {
                task();
            }
        },
        Qt::QueuedConnection);
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
    Q_ASSERT(QThread::currentThread() == &m_thread);
    const QUrl key = ImageSequence::standardized(url);
    if (!key.isLocalFile()) {
        return std::nullopt;
    }
    if (const auto cached = m_cache.constFind(key); cached != m_cache.constEnd()) {
        markRecentlyUsed(key);
        return *cached;
    }
    ++m_decodeCount;
    std::optional<LoadedImage> loaded = loadImage(key);
    if (!loaded) {
        return std::nullopt;
    }
    m_cache.insert(key, *loaded);
    markRecentlyUsed(key);
    trimCacheIfNeeded();
    return loaded;
}

void ImageLoadingPipeline::markRecentlyUsed(const QUrl& url)
{
    m_cacheOrder.removeAll(url);
    m_cacheOrder.append(url);
}

void ImageLoadingPipeline::trimCacheIfNeeded()
{
    while (m_cacheOrder.size() > maxCachedImages) {
        m_cache.remove(m_cacheOrder.takeFirst());
    }
}

std::optional<LoadedImage> ImageLoadingPipeline::loadImage(const QUrl& url)
{
    const ImageSource source(url.toLocalFile());
    if (!source.isValid()) {
        return std::nullopt;
    }
    const QVariantMap properties = source.properties();
    const double width = dimension(properties, ImageProperties::pixelWidthKey).value_or(0);
    const double height = dimension(properties, ImageProperties::pixelHeightKey).value_or(0);
    if (std::max(width, height) < 1) {
        return std::nullopt;
    }
    const QImage image = source.decode();
    if (image.isNull()) {
        return std::nullopt;
    }
    return LoadedImage{url, image, imageMetadataSummary(properties, image.size())};
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
