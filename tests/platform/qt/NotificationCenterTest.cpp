// The notification centre: who hears a post, in which order, with what, and observers that go away meanwhile.
#include <QtTest>

#include <memory>

#include "platform/qt/NotificationCenter.h"

using platform::Notification;

class NotificationCenterTest : public QObject {
    Q_OBJECT
    std::unique_ptr<platform::NotificationCenter> center;
    QStringList heard; // who heard, and the name of the post's object after a colon
    QList<Notification> got;

    platform::NotificationCenter::Handler hear(const QString& who) {
        return [this, who](const Notification& n) {
            heard << who + (n.object ? ":" + n.object->objectName() : QString());
            got << n;
        };
    }

private slots:
    void init() {
        center = std::make_unique<platform::NotificationCenter>();
        heard.clear();
        got.clear();
    }

    void observersHearInTheOrderTheyRegisteredWhatTheirSenderFilterPasses() {
        QObject a, b, c, s1, s2;
        s1.setObjectName("s1");
        s2.setObjectName("s2");
        center->addObserver(&b, "N", hear("b"));
        center->addObserver(&a, "N", hear("a"), &s1);
        center->addObserver(&c, "Other", hear("c"));
        center->addObserver(&a, "N", hear("a again"));
        center->post("N", &s2, {{"key", "Root"}, {"row", 3}});
        center->post("N", &s1);
        center->post("N");
        QCOMPARE(heard, QStringList({"b:s2", "a again:s2", "b:s1", "a:s1", "a again:s1", "b", "a again"}));
        QCOMPARE(got[0].name, QStringLiteral("N"));
        QCOMPARE(got[0].userInfo, QVariantMap({{"key", "Root"}, {"row", 3}}));
    }

    // A sender that is gone reads as null, like a post without an object: it once matched those. An observer
    // destroyed before a post, or by an earlier handler of the same post, is not called.
    void observersAndSendersThatAreGoneHearNothing() {
        QObject stays, killer, stranger;
        auto gone = std::make_unique<QObject>(), victim = std::make_unique<QObject>(),
             sender = std::make_unique<QObject>();
        center->addObserver(gone.get(), "N", hear("gone"));
        center->addObserver(&stays, "N", hear("stays"));
        center->addObserver(&stays, "N", hear("sender's"), sender.get());
        center->addObserver(&killer, "N", [&](const Notification&) { victim.reset(); });
        center->addObserver(victim.get(), "N", hear("victim"));
        gone.reset();
        sender.reset();
        center->post("N");
        center->post("N", &stranger);
        QCOMPARE(heard, QStringList({"stays", "stays:"}));
    }

    // Removals during a post take effect at once, additions from the next post; removing one name keeps the
    // observer's others.
    void removalsTakeEffectAtOnceAndAdditionsFromTheNextPost() {
        QObject first, second, third, late;
        center->addObserver(&first, "N", [&](const Notification& n) {
            hear("first")(n);
            center->removeObserver(&second);
            if (heard.count("first") == 1) center->addObserver(&late, "N", hear("late"));
        });
        center->addObserver(&second, "N", hear("second"));
        center->addObserver(&third, "N", [&](const Notification& n) {
            hear("third")(n);
            center->removeObserver(&third, "N");
        });
        center->addObserver(&third, "M", hear("third M"));
        center->post("N");
        center->post("N");
        center->post("M");
        center->removeObserver(&third);
        center->post("M");
        QCOMPARE(heard, QStringList({"first", "third", "first", "late", "third M"}));
    }
};

QTEST_MAIN(NotificationCenterTest)
#include "NotificationCenterTest.moc"
