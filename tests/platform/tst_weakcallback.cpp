#include "WeakCallback.h"

#include <QTest>
#include <memory>
#include <optional>

class TestWeakCallback : public QObject
{
    Q_OBJECT

private slots:
    void forwardsWhileTheOwnerLives();
    void doesNothingOnceTheOwnerIsGone();
    void returnsTheResultOrAnEmptyOne();
};

void TestWeakCallback::forwardsWhileTheOwnerLives()
{
    QObject owner;
    int sum = 0;
    std::function<void(int, int)> callback =
        bindWeak(&owner, [&sum](QObject*, int a, int b) { sum += a + b; });
    callback(2, 3);
    callback(1, 1);
    QCOMPARE(sum, 7);
}

void TestWeakCallback::doesNothingOnceTheOwnerIsGone()
{
    auto owner = std::make_unique<QObject>();
    int calls = 0;
    std::function<void()> callback = bindWeak(owner.get(), [&calls](QObject*) { ++calls; });
    callback();
    owner.reset();
    callback();
    QCOMPARE(calls, 1);
}

void TestWeakCallback::returnsTheResultOrAnEmptyOne()
{
    auto owner = std::make_unique<QObject>();
    std::function<bool()> isEditing = bindWeak(owner.get(), [](QObject*) { return true; });
    std::function<std::optional<double>(double)> half =
        bindWeak(owner.get(), [](QObject*, double value) { return std::optional(value / 2); });
    QVERIFY(isEditing());
    QCOMPARE(half(3.0), std::optional(1.5));
    owner.reset();
    QVERIFY(!isEditing());
    QCOMPARE(half(3.0), std::nullopt);
}

QTEST_GUILESS_MAIN(TestWeakCallback)
#include "tst_weakcallback.moc"
