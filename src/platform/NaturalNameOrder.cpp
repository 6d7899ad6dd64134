#include "NaturalNameOrder.h"

#include <QCollatorSortKey>
#include <algorithm>
#include <numeric>

namespace {

// QCollator sets itself up lazily inside const calls, so one instance must not be shared
// between threads; each thread gets its own, made on first use.
const QCollator& systemCollator()
{
    thread_local const QCollator collator =
        NaturalNameOrder::collatorFor(QLocale::system().collation());
    return collator;
}

} // namespace

namespace NaturalNameOrder {

QCollator collatorFor(const QLocale& locale)
{
    const bool hasNoCollation = locale.language() == QLocale::C;
    QCollator collator(hasNoCollation ? QLocale(QLocale::English, QLocale::UnitedStates) : locale);
    collator.setNumericMode(true);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    return collator;
}

int compare(QStringView a, QStringView b)
{
    return systemCollator().compare(a, b);
}

std::vector<qsizetype> sortedPositions(const QStringList& names)
{
    const QCollator& collator = systemCollator();
    std::vector<QCollatorSortKey> keys;
    keys.reserve(static_cast<std::size_t>(names.size()));
    for (const QString& name : names) {
        keys.push_back(collator.sortKey(name));
    }
    std::vector<qsizetype> positions(keys.size());
    std::iota(positions.begin(), positions.end(), qsizetype{0});
    std::stable_sort(positions.begin(), positions.end(), [&keys](qsizetype a, qsizetype b) {
        return keys[static_cast<std::size_t>(a)].compare(keys[static_cast<std::size_t>(b)]) < 0;
    });
    return positions;
}

} // namespace NaturalNameOrder
