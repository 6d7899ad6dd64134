#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

// Answers "is this file name an image?" from its extension alone, through the shared MIME
// database: an extension names an image when the type it maps to is, or inherits, an "image/"
// type. There is no list of extensions of our own; whatever the installed registry declares
// an image is one (jpg, png, gif, tiff, webp, heic, svg, camera raw formats, ...).
//
// No file is opened or examined. Answers are cached per extension (per thread), so testing the
// names of a large folder costs one registry lookup per distinct extension.
namespace ImageTypeRegistry {

// The text after the last dot of `fileName`, or empty when there is none. A dot that starts
// the name does not begin an extension (".png" is a hidden name with no extension), nor does a
// dot that ends it ("photo." has none).
QStringView extension(QStringView fileName);

// True when the extension (any case) is non-empty and the registry maps it to an image type.
bool isImageExtension(QStringView extension);

// isImageExtension(extension(fileName)).
bool isImageFileName(QStringView fileName);

// "*.ext" for every extension the registry calls an image, sorted: the name filter of open
// panels.
QStringList imageNamePatterns();

} // namespace ImageTypeRegistry
