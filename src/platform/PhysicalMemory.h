#pragma once

#include <QtGlobal>

// The machine's installed memory, for budgets that must scale with it.
namespace PhysicalMemory {

// Total physical memory in bytes; 0 when the system does not say.
qint64 totalBytes();

} // namespace PhysicalMemory
