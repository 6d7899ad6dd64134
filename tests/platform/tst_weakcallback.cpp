#include "WeakCallback.h"

#include <QTest>
#include <memory>

class TestWeakCallback : public QObject
{
    Q_OBJECT

private slots:
    void forwardsWhileTheOwnerLives();
    void doesNothingOnceTheOwnerIsGone();
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

QTEST_GUILESS_MAIN(TestWeakCallback)
#include "tst_weakcallback.moc"
