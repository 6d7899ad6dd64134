#pragma once

#include "DeletedImage.h"

#include <QList>
#include <QUrl>
#include <optional>

// Moves images to the user's Trash and puts them back. Images are never deleted outright.
namespace ImageDeletionManager {

enum class RestoreError
{
    // The folder the image came from is gone and could not be made again.
    folderNotCreated,
    // Something already has the image's original name; nothing was moved.
    fileExists,
    // The image could not be moved back (it left the Trash, or the file system refused).
    moveFailed
};

// Moves each local file of `urls` to the Trash, in order. A file that cannot be moved is skipped;
// one the Trash takes without telling where it went cannot be put back and gets no record. The
// records are in the order of `urls`.
QList<DeletedImage> deleteImages(const QList<QUrl>& urls);

// Moves one image back to its original place, making its folder again when it is gone, and
// removes the Trash's note about it. Never replaces an existing file, not even one that takes the
// name while the move runs. nullopt on success.
std::optional<RestoreError> restoreDeletedImage(const DeletedImage& image);

} // namespace ImageDeletionManager
