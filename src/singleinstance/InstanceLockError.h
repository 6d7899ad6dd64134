#pragma once

#include <QString>

// Why the instance lock could not be taken. Each errno is the C error number at the failing
// call.
class InstanceLockError
{
public:
    enum class Case
    {
        openFailed,     // the lock file could not be opened or created
        lockFailed,     // flock failed for a reason other than another holder
        alreadyRunning, // another process holds the lock
    };

    static InstanceLockError openFailed(int errorNumber);
    static InstanceLockError lockFailed(int errorNumber);
    static InstanceLockError alreadyRunning();

    Case kind() const { return m_case; }
    // The errno of openFailed and lockFailed; 0 for alreadyRunning.
    int errorNumber() const { return m_errorNumber; }

    QString description() const;

    friend bool operator==(const InstanceLockError&, const InstanceLockError&) = default;

private:
    InstanceLockError(Case kind, int errorNumber);

    Case m_case;
    int m_errorNumber;
};
