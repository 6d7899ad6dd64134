#include "FileSystemError.h"

#include <cstring>

FileSystemError FileSystemError::fromErrno(const QString& path, int errorNumber)
{
    return {path, QString::fromLocal8Bit(std::strerror(errorNumber))};
}

QString FileSystemError::description() const
{
    return QStringLiteral("%1: %2").arg(reason, path);
}
