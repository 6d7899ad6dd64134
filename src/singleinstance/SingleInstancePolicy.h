#pragma once

#include <QString>

class UserDefaults;

// Whether only one process of the application may run.
class SingleInstancePolicy
{
public:
    enum class Case
    {
        userDefaults, // the Boolean under a key of a user-defaults store decides
        alwaysSingle, // always a single instance
    };

    // True under `allowMultipleInstancesKey` allows several instances; false or absent keeps
    // one. The store is not owned and must outlive the policy (the application passes
    // UserDefaults::standard(), which lives as long as the process).
    static SingleInstancePolicy userDefaults(UserDefaults& defaults,
                                             const QString& allowMultipleInstancesKey);
    static SingleInstancePolicy alwaysSingle();

    Case kind() const { return m_case; }
    // The store and key of the userDefaults case; null and empty for alwaysSingle.
    UserDefaults* defaults() const { return m_defaults; }
    const QString& allowMultipleInstancesKey() const { return m_allowMultipleInstancesKey; }

    // Reads the store now: true only for the userDefaults case with true stored under the key.
    bool allowsMultipleInstances() const;

private:
    SingleInstancePolicy(Case kind, UserDefaults* defaults, QString allowMultipleInstancesKey);

    Case m_case;
    UserDefaults* m_defaults;
    QString m_allowMultipleInstancesKey;
};
