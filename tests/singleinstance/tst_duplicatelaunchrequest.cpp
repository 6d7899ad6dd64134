#include "DuplicateLaunchRequest.h"

#include <QTest>

namespace {

QDateTime utc(const char* text)
{
    return QDateTime::fromString(QString::fromLatin1(text), Qt::ISODate);
}

} // namespace

class TestDuplicateLaunchRequest : public QObject
{
    Q_OBJECT

private slots:
    void writesCompactJsonInUtcWholeSeconds();
    void roundTrips_data();
    void roundTrips();
    void readsKeysInAnyOrder();
    void rejectsMalformedRequests_data();
    void rejectsMalformedRequests();
    void keepsOnlyLocalFileURLs();
    void forwardedFileURLs_data();
    void forwardedFileURLs();
    void invalidTimeCannotBeWritten();
};

void TestDuplicateLaunchRequest::writesCompactJsonInUtcWholeSeconds()
{
    const DuplicateLaunchRequest request{{QStringLiteral("-x")},
                                         {QUrl::fromLocalFile(QStringLiteral("/tmp/a b.jpg"))},
                                         utc("2024-03-01T11:00:05.678+01:00")};
    const QByteArray json = request.toJson().value_or(QByteArray());
    QVERIFY(!json.contains(' ')); // neither layout nor the space in the path
    QVERIFY(!json.contains('\n'));
    QVERIFY(json.contains("\"createdAt\":\"2024-03-01T10:00:05Z\""));
    QVERIFY(json.contains("\"fileURLs\":[\"file:///tmp/a%20b.jpg\"]"));
    QVERIFY(json.contains("\"arguments\":[\"-x\"]"));
}

void TestDuplicateLaunchRequest::roundTrips_data()
{
    QTest::addColumn<QString>("path");
    QTest::newRow("space") << QStringLiteral("/tmp/a b.jpg");
    QTest::newRow("hash, question mark, percent") << QStringLiteral("/tmp/#1 ?x 100%.png");
    QTest::newRow("non-ASCII") << QStringLiteral("/tmp/Grüße/日本.jpg");
    QTest::newRow("folder") << QStringLiteral("/tmp/photos/");
}

void TestDuplicateLaunchRequest::roundTrips()
{
    QFETCH(QString, path);
    const DuplicateLaunchRequest request{{path, QStringLiteral("\"quoted\"")},
                                         {QUrl::fromLocalFile(path)},
                                         utc("2024-03-01T10:00:05Z")};
    const auto read = DuplicateLaunchRequest::fromJson(request.toJson().value_or(QByteArray()));
    QVERIFY(read);
    QCOMPARE(*read, request);
    QCOMPARE(read->fileURLs.first().toLocalFile(), path);
}

void TestDuplicateLaunchRequest::readsKeysInAnyOrder()
{
    const auto read = DuplicateLaunchRequest::fromJson(
        "{ \"createdAt\": \"2024-03-01T12:00:05+02:00\", \"fileURLs\": [\"file:///p/x.jpg\"], "
        "\"extra\": 1, \"arguments\": [] }");
    QVERIFY(read);
    QCOMPARE(read->createdAt, utc("2024-03-01T10:00:05Z"));
    QCOMPARE(read->fileURLs, QList<QUrl>{QUrl::fromLocalFile(QStringLiteral("/p/x.jpg"))});
    QVERIFY(read->arguments.isEmpty());
}

void TestDuplicateLaunchRequest::rejectsMalformedRequests_data()
{
    QTest::addColumn<QByteArray>("json");
    const QByteArray date = "\"createdAt\":\"2024-03-01T10:00:05Z\"";
    QTest::newRow("not JSON") << QByteArray("{\"arguments\":[");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("an array") << QByteArray("[]");
    QTest::newRow("no arguments") << "{\"fileURLs\":[]," + date + "}";
    QTest::newRow("no fileURLs") << "{\"arguments\":[]," + date + "}";
    QTest::newRow("no createdAt") << QByteArray("{\"arguments\":[],\"fileURLs\":[]}");
    QTest::newRow("arguments not an array") << "{\"arguments\":\"a\",\"fileURLs\":[]," + date + "}";
    QTest::newRow("argument not a string") << "{\"arguments\":[1],\"fileURLs\":[]," + date + "}";
    QTest::newRow("URL not a string") << "{\"arguments\":[],\"fileURLs\":[null]," + date + "}";
    QTest::newRow("URL not absolute") << "{\"arguments\":[],\"fileURLs\":[\"a.jpg\"]," + date + "}";
    QTest::newRow("URL invalid") << "{\"arguments\":[],\"fileURLs\":[\"file:///a%zz\"]," + date +
                                        "}";
    QTest::newRow("date a number")
        << QByteArray("{\"arguments\":[],\"fileURLs\":[],\"createdAt\":1709287205}");
    QTest::newRow("date without zone")
        << QByteArray("{\"arguments\":[],\"fileURLs\":[],\"createdAt\":\"2024-03-01T10:00:05\"}");
    QTest::newRow("date with fractions") << QByteArray(
        "{\"arguments\":[],\"fileURLs\":[],\"createdAt\":\"2024-03-01T10:00:05.5Z\"}");
    QTest::newRow("impossible date")
        << QByteArray("{\"arguments\":[],\"fileURLs\":[],\"createdAt\":\"2024-02-31T10:00:05Z\"}");
}

void TestDuplicateLaunchRequest::rejectsMalformedRequests()
{
    QFETCH(QByteArray, json);
    QVERIFY(!DuplicateLaunchRequest::fromJson(json));
}

void TestDuplicateLaunchRequest::keepsOnlyLocalFileURLs()
{
    const auto read = DuplicateLaunchRequest::fromJson(
        "{\"arguments\":[],\"createdAt\":\"2024-03-01T10:00:05Z\",\"fileURLs\":[ "
        "\"https://example.org/x.jpg\", \"file://otherhost/y.jpg\", \"file:///ok.jpg\", "
        "\"file://localhost/ok2.jpg\"]}");
    QVERIFY(read);
    QCOMPARE(read->fileURLs.size(), 2);
    QCOMPARE(read->fileURLs.at(0).toLocalFile(), QStringLiteral("/ok.jpg"));
    QCOMPARE(read->fileURLs.at(1), QUrl::fromLocalFile(QStringLiteral("/ok2.jpg")));
}

void TestDuplicateLaunchRequest::forwardedFileURLs_data()
{
    // What becomes of one forwarded URL: the local path kept, "dropped" from a request that is
    // otherwise used, or "refused" with the whole request.
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("outcome");
    const QString dropped = QStringLiteral("dropped");
    const QString refused = QStringLiteral("refused");
    // Relative paths would be resolved against the running instance's working folder.
    QTest::newRow("relative file URL") << QStringLiteral("file:x.jpg") << dropped;
    QTest::newRow("relative file URL going up") << QStringLiteral("file:../x.jpg") << dropped;
    QTest::newRow("empty") << QString() << refused;
    // A decoded NUL would cut the name short: "/etc/passwd%00.jpg" would open "/etc/passwd".
    QTest::newRow("encoded NUL") << QStringLiteral("file:///etc/passwd%00.jpg") << refused;
    QTest::newRow("encoded NUL, localhost")
        << QStringLiteral("file://localhost/a%00.jpg") << refused;
    QTest::newRow("encoded percent before 00")
        << QStringLiteral("file:///a%2500.jpg") << QStringLiteral("/a%00.jpg");
    QTest::newRow("four slashes") << QStringLiteral("file:////x") << QStringLiteral("//x");
    QTest::newRow("fragment and query")
        << QStringLiteral("file:///a.jpg?q=1##b") << QStringLiteral("/a.jpg");
}

void TestDuplicateLaunchRequest::forwardedFileURLs()
{
    QFETCH(QString, url);
    QFETCH(QString, outcome);
    const QByteArray json = "{\"arguments\":[\"a\"],\"createdAt\":\"2024-03-01T10:00:05Z\","
                            "\"fileURLs\":[\"" +
                            url.toUtf8() + "\"]}";
    const auto read = DuplicateLaunchRequest::fromJson(json);
    QCOMPARE(!read, outcome == QStringLiteral("refused"));
    if (!read) {
        return;
    }
    QCOMPARE(read->arguments, QStringList{QStringLiteral("a")});
    if (outcome == QStringLiteral("dropped")) {
        QVERIFY(read->fileURLs.isEmpty());
    } else {
        QCOMPARE(read->fileURLs.size(), 1);
        QCOMPARE(read->fileURLs.first().toLocalFile(), outcome);
    }
    // What was read can be written and read again unchanged.
    const std::optional<QByteArray> written = read->toJson();
    QVERIFY(written);
    QCOMPARE(DuplicateLaunchRequest::fromJson(*written), read);
}

void TestDuplicateLaunchRequest::invalidTimeCannotBeWritten()
{
    const DuplicateLaunchRequest request{{}, {QUrl::fromLocalFile("/x.jpg")}, QDateTime()};
    QVERIFY(!request.toJson());
}

QTEST_APPLESS_MAIN(TestDuplicateLaunchRequest)
#include "tst_duplicatelaunchrequest.moc"
