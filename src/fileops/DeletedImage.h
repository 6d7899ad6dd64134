#pragma once

#include <QUrl>

// One image moved to the Trash: where it was and where the Trash keeps it, so that it can be put
// back.
struct DeletedImage
{
    // The file URL the image had before the move.
    QUrl originalUrl;
    // The file URL of the image inside the Trash.
    QUrl trashedUrl;

    friend bool operator==(const DeletedImage&, const DeletedImage&) = default;
};
