#pragma once

#include <QString>
#include <QtGlobal>
#include <cstddef>
#include <cstdint>

// What the fuzz targets share: the inputs most of our parsers take are files, so each input is
// written to a file of the process's own scratch folder first.
namespace FuzzInput {

// Pixels up to which the image targets decode at full size. Larger images go through the same
// code, only slower; the fuzzer's time is better spent on many small ones.
inline constexpr qint64 decodedPixelLimit = qint64(4096) * 4096;

// A Qt core application for the process (image plugins and the event loop's thread data want
// one), made once.
void ensureApplication();

// `size` bytes at `data` written to the file `name` in the scratch folder, replacing what it
// held; its path. Aborts when the file cannot be written: a fuzz run must not go on blind.
QString writeFile(const char* name, const std::uint8_t* data, std::size_t size);

// The process's scratch folder (a fresh folder under the system's temporary folder, removed
// at exit).
QString scratchFolder();

} // namespace FuzzInput
