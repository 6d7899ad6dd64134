#pragma once

#include <QString>
#include <QStringList>

// The sample folder that the viewer opens by default and that tests may use:
//
// - one picture in each of several formats, named so that natural order matters: IMG_1.png,
//   IMG_2.jpg, IMG_3.gif, IMG_4.tif, IMG_5.bmp, IMG_6.webp, IMG_7.heic and IMG_8.avif (each
//   only where libheif can encode it here), IMG_9.png (with transparency), img_10.JPG and
//   IMG_11.jpg (saturated colours stored as Adobe RGB, with that profile embedded);
// - Orientation_1.jpg to Orientation_8.jpg, carrying each EXIF orientation value, that all look
//   the same way up in a viewer that applies the orientation;
// - camera EXIF tags (make, model, date taken, exposure, focal length, ISO) on IMG_2.jpg and on
//   the orientation pictures, and a partial set (model and date) on img_10.JPG;
// - things a folder listing must leave out: a hidden image ".hidden.png", an image inside
//   "Subfolder", and a text file "Notes.txt".
namespace SampleFolder {

// Writes the samples into `folderPath` (created if missing). Returns one message per sample
// that could not be written; empty on success.
QStringList write(const QString& folderPath);

} // namespace SampleFolder
