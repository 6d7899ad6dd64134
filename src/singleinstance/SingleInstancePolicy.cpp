#include "SingleInstancePolicy.h"

#include "UserDefaults.h"

SingleInstancePolicy::SingleInstancePolicy(Case kind, UserDefaults* defaults,
                                           QString allowMultipleInstancesKey)
    : m_case(kind), m_defaults(defaults),
      m_allowMultipleInstancesKey(std::move(allowMultipleInstancesKey))
{}

SingleInstancePolicy SingleInstancePolicy::userDefaults(UserDefaults& defaults,
                                                        const QString& allowMultipleInstancesKey)
{
    return {Case::userDefaults, &defaults, allowMultipleInstancesKey};
}

SingleInstancePolicy SingleInstancePolicy::alwaysSingle()
{
    return {Case::alwaysSingle, nullptr, QString()};
}

bool SingleInstancePolicy::allowsMultipleInstances() const
{
    return m_case == Case::userDefaults && m_defaults->boolValue(m_allowMultipleInstancesKey);
}
