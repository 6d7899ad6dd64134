#include "InstanceLockError.h"

#include <cstring>

InstanceLockError::InstanceLockError(Case kind, int errorNumber)
    : m_case(kind), m_errorNumber(errorNumber)
{}

InstanceLockError InstanceLockError::openFailed(int errorNumber)
{
    return {Case::openFailed, errorNumber};
}

InstanceLockError InstanceLockError::lockFailed(int errorNumber)
{
    return {Case::lockFailed, errorNumber};
}

InstanceLockError InstanceLockError::alreadyRunning()
{
    return {Case::alreadyRunning, 0};
}

QString InstanceLockError::description() const
{
    switch (m_case) {
    case Case::openFailed:
        return QStringLiteral("could not open the lock file (errno %1: %2)")
            .arg(m_errorNumber)
            .arg(QString::fromLocal8Bit(std::strerror(m_errorNumber)));
    case Case::lockFailed:
        return QStringLiteral("could not lock the lock file (errno %1: %2)")
            .arg(m_errorNumber)
            .arg(QString::fromLocal8Bit(std::strerror(m_errorNumber)));
    case Case::alreadyRunning:
        break;
    }
    return QStringLiteral("another instance is already running");
}
