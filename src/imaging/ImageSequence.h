#pragma once

#include <QList>
#include <QUrl>
#include <optional>

// The ordered image files of one folder and the position of the one being shown.
//
// The application controller owns one sequence for its whole life; it reloads it when a file is
// opened, after a derived copy is saved and after an undone deletion, and removes entries one at
// a time as images are deleted. The sequence keeps no folder: the folder is always the parent
// of the URL it was loaded from.
//
// Every URL it holds is a standardized local file URL (absolute, no "." or ".." components, no
// repeated or trailing separators).
class ImageSequence
{
public:
    ImageSequence() = default;
    ImageSequence(const ImageSequence&) = delete;
    ImageSequence& operator=(const ImageSequence&) = delete;

    // True for a file URL whose lower-cased, non-empty extension the type registry declares an
    // image. Looks at the name only: nothing on disk is consulted.
    static bool isImageFile(const QUrl& url);

    // `url` with "." and ".." resolved and repeated separators removed; a relative local path
    // is made absolute against the working directory. Other URLs come back unchanged.
    static QUrl standardized(const QUrl& url);

    // Replaces the list with the images of the folder of `url`, in natural name order, and
    // points at `url`. Lists the folder once and tests names only: no file is opened. Hidden
    // entries (names starting with a dot), folders and the contents of subfolders are never
    // listed. Returns false and changes nothing when `url` is not an image file, the folder
    // cannot be listed, or `url` is not among the listed images.
    bool load(const QUrl& startingAt);

    // Removes and returns the URL at `index`, keeping currentIndex on the image that takes the
    // removed one's place (or on the new last image); none and no change when out of range.
    std::optional<QUrl> remove(qsizetype index);

    const QList<QUrl>& urls() const { return m_urls; }

    // Zero-based; 0 while the list is empty.
    qsizetype currentIndex() const { return m_currentIndex; }

    // Moves to `index` when 0 <= index < count and returns true; otherwise returns false and
    // changes nothing, so the position can never leave the list.
    bool setCurrentIndex(qsizetype index);

private:
    QList<QUrl> m_urls;
    qsizetype m_currentIndex = 0;
};
