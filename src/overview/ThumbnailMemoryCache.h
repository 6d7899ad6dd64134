#pragma once

#include <QHash>
#include <QImage>
#include <QList>
#include <QUrl>

// Decoded thumbnails kept in memory, by URL, within a byte budget: the least recently shown
// goes first. An evicted thumbnail comes back from the desktop's thumbnail cache when its item
// is shown again.
class ThumbnailMemoryCache
{
public:
    static constexpr qint64 defaultByteBudget = qint64(256) << 20;

    explicit ThumbnailMemoryCache(qint64 byteBudget = defaultByteBudget);

    // The thumbnail of `url`, marked as just shown; null when absent.
    QImage take(const QUrl& url);
    bool contains(const QUrl& url) const;
    void insert(const QUrl& url, const QImage& thumbnail);
    // Keeps only the URLs in `urls`.
    void retainOnly(const QList<QUrl>& urls);
    void clear();

    qint64 byteCount() const { return m_bytes; }
    qsizetype count() const { return m_images.size(); }

private:
    void evictBeyondBudget(const QUrl& keep);

    qint64 m_byteBudget;
    qint64 m_bytes = 0;
    QHash<QUrl, QImage> m_images;
    // Least recently shown first; exactly the keys of m_images.
    QList<QUrl> m_order;
};
