#include "PrivateFolderError.h"

PrivateFolderError::PrivateFolderError(Case kind, QString path, uid_t owner, mode_t mode)
    : m_case(kind), m_path(std::move(path)), m_owner(owner), m_mode(mode)
{}

QString PrivateFolderError::reason() const
{
    const QString uid = QString::number(m_owner);
    const QString mode = QStringLiteral("%1").arg(m_mode, 4, 8, QLatin1Char('0'));
    switch (m_case) {
    case Case::ownedByAnotherUser:
        return QStringLiteral("owned by another user (uid %1)").arg(uid);
    case Case::openToOthers:
        return QStringLiteral("open to other users (mode %1)").arg(mode);
    case Case::linkOwnedByAnotherUser:
        return QStringLiteral("a symbolic link made by another user (uid %1)").arg(uid);
    case Case::linkTargetNotPrivate:
        break;
    }
    return QStringLiteral("a symbolic link to a folder that is not this user's alone (uid %1, "
                          "mode %2)")
        .arg(uid, mode);
}

QString PrivateFolderError::description() const
{
    return QStringLiteral("the folder %1 is not private: %2").arg(m_path, reason());
}
