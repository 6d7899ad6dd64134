#pragma once

#include <QCollator>
#include <QLocale>
#include <QStringList>
#include <QStringView>
#include <vector>

// The order a desktop file browser shows file names in: locale-aware, case-insensitive, and
// with runs of digits compared by their value, so "IMG_2.jpg" comes before "img_10.JPG".
//
// The comparison follows the collation locale of the system. The C/POSIX locale (common for
// services and CI) has no natural collation, and Qt's collator falls back to plain code-point
// order there, ignoring numeric mode; in that locale names are collated as in English instead,
// so digit runs still compare by value wherever the viewer runs.
namespace NaturalNameOrder {

// A collator with the properties above for `locale` (the C locale is replaced by English).
QCollator collatorFor(const QLocale& locale);

// Negative, zero or positive as `a` sorts before, together with, or after `b` in the system's
// collation locale. Names that differ only in case compare equal.
int compare(QStringView a, QStringView b);

// The positions of `names` in sorted order: a stable sort, so names that compare equal keep
// the order they have in `names`. Computes one collation key per name, not one per comparison.
std::vector<qsizetype> sortedPositions(const QStringList& names);

} // namespace NaturalNameOrder
