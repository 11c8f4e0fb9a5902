// The notification centre: who hears a post, in which order, with what, and observers that go away meanwhile.
#include <QtTest>

#include <memory>

#include "platform/qt/NotificationCenter.h"

using platform::Notification;
using platform::NotificationCenter;

class NotificationCenterTest : public QObject {
    Q_OBJECT
private slots:
    void observersHearInTheOrderTheyRegisteredWithNameObjectAndUserInfo() {
        NotificationCenter center;
        QObject a, b, c, sender;
        QStringList heard;
        QList<Notification> got;
        center.addObserver(&b, "N", [&](const Notification& n) {
            heard << "b";
            got << n;
        });
        center.addObserver(&a, "N", [&](const Notification&) { heard << "a"; });
        center.addObserver(&c, "Other", [&](const Notification&) { heard << "c"; });
        center.addObserver(&a, "N", [&](const Notification&) { heard << "a again"; });
        center.post("N", &sender, {{"key", "Root"}, {"row", 3}});
        QCOMPARE(heard, QStringList({"b", "a", "a again"}));
        QCOMPARE(got.size(), 1);
        QCOMPARE(got[0].name, QStringLiteral("N"));
        QCOMPARE(got[0].object, &sender);
        QCOMPARE(got[0].userInfo, QVariantMap({{"key", "Root"}, {"row", 3}}));
    }

    void senderFilterPassesOnlyThatSender() {
        NotificationCenter center;
        QObject observer, s1, s2;
        s1.setObjectName("s1");
        s2.setObjectName("s2");
        QStringList heard;
        auto name = [](QObject* o) { return o ? o->objectName() : QStringLiteral("none"); };
        center.addObserver(
            &observer, "N", [&](const Notification& n) { heard << "one:" + name(n.object); }, &s1);
        center.addObserver(&observer, "N", [&](const Notification& n) { heard << "any:" + name(n.object); });
        center.post("N", &s2);
        center.post("N", &s1);
        center.post("N");
        QCOMPARE(heard, QStringList({"any:s2", "one:s1", "any:s1", "any:none"}));
    }

    // A sender that is gone reads as null, like a post without an object: it once matched those.
    void observationOfADestroyedSenderHearsNoOtherPost() {
        NotificationCenter center;
        QObject observer, stranger;
        auto sender = std::make_unique<QObject>();
        int heard = 0;
        center.addObserver(
            &observer, "N", [&](const Notification&) { ++heard; }, sender.get());
        sender.reset();
        center.post("N");
        center.post("N", &stranger);
        QCOMPARE(heard, 0);
    }

    void destroyedObserverIsNeverCalled() {
        NotificationCenter center;
        QStringList heard;
        auto gone = std::make_unique<QObject>(), victim = std::make_unique<QObject>();
        QObject stays, killer;
        center.addObserver(gone.get(), "N", [&](const Notification&) { heard << "gone"; });
        center.addObserver(&stays, "N", [&](const Notification&) { heard << "stays"; });
        gone.reset();
        center.post("N");
        // One destroyed by an earlier handler of the same post.
        center.addObserver(&killer, "M", [&](const Notification&) {
            heard << "killer";
            victim.reset();
        });
        center.addObserver(victim.get(), "M", [&](const Notification&) { heard << "victim"; });
        center.post("M");
        center.post("M");
        QCOMPARE(heard, QStringList({"stays", "killer", "killer"}));
    }

    // Removals during a post take effect at once, additions from the next post; removing one name keeps the
    // observer's others.
    void removalsTakeEffectAtOnceAndAdditionsFromTheNextPost() {
        NotificationCenter center;
        QObject first, second, third, late;
        QStringList heard;
        center.addObserver(&first, "N", [&](const Notification&) {
            heard << "first";
            center.removeObserver(&second);
            if (heard.count("first") == 1)
                center.addObserver(&late, "N", [&](const Notification&) { heard << "late"; });
        });
        center.addObserver(&second, "N", [&](const Notification&) { heard << "second"; });
        center.addObserver(&third, "N", [&](const Notification&) {
            heard << "third";
            center.removeObserver(&third, "N");
        });
        center.addObserver(&third, "M", [&](const Notification&) { heard << "third M"; });
        center.post("N");
        center.post("N");
        center.post("M");
        center.removeObserver(&third);
        center.post("M");
        QCOMPARE(heard, QStringList({"first", "third", "first", "late", "third M"}));
    }
};

QTEST_MAIN(NotificationCenterTest)
#include "NotificationCenterTest.moc"
