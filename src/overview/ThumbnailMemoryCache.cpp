#include "ThumbnailMemoryCache.h"

#include <QSet>

ThumbnailMemoryCache::ThumbnailMemoryCache(qint64 byteBudget) : m_byteBudget(byteBudget) {}

QImage ThumbnailMemoryCache::take(const QUrl& url)
{
    const auto found = m_images.constFind(url);
    if (found == m_images.constEnd()) {
        return {};
    }
    m_order.removeOne(url);
    m_order.append(url);
    return found.value();
}

bool ThumbnailMemoryCache::contains(const QUrl& url) const
{
    return m_images.contains(url);
}

void ThumbnailMemoryCache::insert(const QUrl& url, const QImage& thumbnail)
{
    const auto found = m_images.find(url);
    if (found != m_images.end()) {
        m_bytes -= found.value().sizeInBytes();
        found.value() = thumbnail;
        m_order.removeOne(url);
    } else {
        m_images.insert(url, thumbnail);
    }
    m_bytes += thumbnail.sizeInBytes();
    m_order.append(url);
    evictBeyondBudget(url);
}

void ThumbnailMemoryCache::retainOnly(const QList<QUrl>& urls)
{
    const QSet<QUrl> kept(urls.cbegin(), urls.cend());
    for (auto it = m_order.begin(); it != m_order.end();) {
        if (kept.contains(*it)) {
            ++it;
            continue;
        }
        m_bytes -= m_images.take(*it).sizeInBytes();
        it = m_order.erase(it);
    }
}

void ThumbnailMemoryCache::clear()
{
    m_images.clear();
    m_order.clear();
    m_bytes = 0;
}

void ThumbnailMemoryCache::evictBeyondBudget(const QUrl& keep)
{
    // The order list runs from least to most recently shown, so eviction walks it from the
    // front; `keep` (the thumbnail just inserted) stays even when it alone exceeds the budget.
    for (auto it = m_order.begin(); m_bytes > m_byteBudget && it != m_order.end();) {
        if (*it == keep) {
            ++it;
            continue;
        }
        m_bytes -= m_images.take(*it).sizeInBytes();
        it = m_order.erase(it);
    }
}
