#include "DuplicateLaunchRequest.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

namespace {

const QString argumentsKey = QStringLiteral("arguments");
const QString fileURLsKey = QStringLiteral("fileURLs");
const QString createdAtKey = QStringLiteral("createdAt");

std::optional<QStringList> stringArray(const QJsonValue& value)
{
    if (!value.isArray()) {
        return std::nullopt;
    }
    QStringList strings;
    const QJsonArray array = value.toArray();
    strings.reserve(array.size());
    for (const QJsonValue& element : array) {
        if (!element.isString()) {
            return std::nullopt;
        }
        strings.append(element.toString());
    }
    return strings;
}

std::optional<QDateTime> parseDate(const QJsonValue& value)
{
    // Whole seconds and an explicit zone: a time without a zone would be read as local time and
    // land hours away on another machine.
    static const QRegularExpression pattern(
        QStringLiteral(R"(^\d{4}-\d{2}-\d{2}T\d{2}:\d{2}:\d{2}(Z|[+-]\d{2}:\d{2})$)"));
    if (!value.isString() || !pattern.match(value.toString()).hasMatch()) {
        return std::nullopt;
    }
    const QDateTime date = QDateTime::fromString(value.toString(), Qt::ISODate);
    if (!date.isValid()) {
        return std::nullopt;
    }
    return date.toUTC();
}

bool isLocalFileByAbsolutePath(const QUrl& url)
{
    const QString host = url.host();
    return url.isLocalFile() && (host.isEmpty() || host == QStringLiteral("localhost")) &&
           url.path().startsWith(QLatin1Char('/'));
}

} // namespace

std::optional<QByteArray> DuplicateLaunchRequest::toJson() const
{
    if (!createdAt.isValid()) {
        return std::nullopt;
    }
    QJsonArray urls;
    for (const QUrl& url : fileURLs) {
        urls.append(QString::fromUtf8(url.toEncoded()));
    }
    const QDateTime wholeSeconds =
        QDateTime::fromSecsSinceEpoch(createdAt.toSecsSinceEpoch(), Qt::UTC);
    const QJsonObject object{
        {argumentsKey, QJsonArray::fromStringList(arguments)},
        {fileURLsKey, urls},
        {createdAtKey, wholeSeconds.toString(Qt::ISODate)},
    };
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

std::optional<DuplicateLaunchRequest> DuplicateLaunchRequest::fromJson(const QByteArray& json)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        return std::nullopt;
    }
    const QJsonObject object = document.object();
    const std::optional<QStringList> arguments = stringArray(object.value(argumentsKey));
    const std::optional<QStringList> urlStrings = stringArray(object.value(fileURLsKey));
    const std::optional<QDateTime> createdAt = parseDate(object.value(createdAtKey));
    if (!arguments || !urlStrings || !createdAt) {
        return std::nullopt;
    }

    DuplicateLaunchRequest request{*arguments, {}, *createdAt};
    for (const QString& text : *urlStrings) {
        QUrl url(text, QUrl::StrictMode);
        // A NUL cannot be part of a file name: decoded, "/a%00.jpg" would be cut short to "/a".
        if (!url.isValid() || url.isRelative() ||
            url.path(QUrl::FullyDecoded).contains(QChar(u'\0'))) {
            return std::nullopt;
        }
        if (isLocalFileByAbsolutePath(url)) {
            // "file://localhost/x" is "file:///x". A URL without a host keeps its empty
            // authority: "file:////x" without one would be invalid and could not be written
            // again.
            if (!url.host().isEmpty()) {
                url.setHost(QString());
            }
            // Only the path names the file; a query or fragment ("file:///a.jpg##") would not
            // survive being written again unchanged.
            url.setQuery(QString());
            url.setFragment(QString());
            request.fileURLs.append(url);
        }
    }
    return request;
}
