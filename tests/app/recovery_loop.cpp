// recovery_loop: edits a document in a real editor window until it is killed, and reopens what was recovered.
//
//   recovery_loop edit DOC        opens DOC and edits it step after step; after each step's recovery record
//                                 is on disk prints "recorded N" (N steps taken)
//   recovery_loop save DOC        three steps, its record, then Save and a normal quit
//   recovery_loop quit DOC        three steps, its record, then Quit answered with "Revert Changed"
//   recovery_loop recover OUT     starts as the editor does; prints "offered N" (records of ended processes)
//                                 and, with some, answers "Recover" and writes the recovered document as
//                                 XML to OUT, then prints "url U", "format F", "edited E", and once the
//                                 recovered window wrote its own record, "records left R"
//
// Step i inserts the String "edit i" as the root's first entry; every fifth step undoes the step before it.
// Records are written 20 ms after the last change; XDG_STATE_HOME chooses their folder.
#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QMessageBox>
#include <QTimer>
#include <cstdio>

#include "app/AppDelegate.h"
#include "app/RecoveryStore.h"
#include "platform/qt/Alert.h"
#include "window/MyWindowController.h"

namespace {

void say(const QString& line) {
    std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
}

void step(window::MyWindowController* w, int i) {
    if (i % 5 == 0) return w->undo();
    w->doCommands({editing::CommandRecord::insertItem(
        model::Entry::make(QStringLiteral("edit %1").arg(i).toStdString(), model::EntryType::String,
                           std::string("value")),
        w->document().root(), 0)});
}

// Clicks a button of the alert on w once it shows.
void answerLater(window::MyWindowController* w, const QString& button) {
    auto* poll = new QTimer(w);
    QObject::connect(poll, &QTimer::timeout, w, [w, button, poll] {
        QMessageBox* alert = platform::sheetOfWindow(w);
        if (!alert || !alert->isVisible()) return;
        for (QAbstractButton* b : alert->buttons())
            if (b->text() == button) b->click();
        poll->deleteLater();
    });
    poll->start(5);
}

} // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    if (argc != 3) {
        std::fprintf(stderr, "usage: recovery_loop edit|save|quit DOC | recovery_loop recover OUT\n");
        return 2;
    }
    const QString mode = argv[1], path = argv[2];
    app::AppDelegate delegate(QDir::tempPath() + "/recovery_loop.ini");
    delegate.awakeFromNib();
    delegate.applicationDidFinishLaunching();
    app::RecoveryStore* store = delegate.recoveryStore();
    store->setDelay(20);
    QObject::connect(&delegate, &app::AppDelegate::lastWindowClosed, &application, [&] {
        delegate.applicationWillTerminate();
        QCoreApplication::quit();
    });

    if (mode == "recover") {
        window::MyWindowController* front = delegate.newDocument();
        const auto offered = app::RecoveryStore::orphanedRecords(false);
        say(QStringLiteral("offered %1").arg(offered.size()));
        if (offered.empty()) return 0;
        QObject::connect(store, &app::RecoveryStore::recoveryFinished, &application, [&] {
            for (window::MyWindowController* w : delegate.windowControllers()) {
                if (w == front) continue;
                QFile out(path);
                if (!out.open(QIODevice::WriteOnly) ||
                    out.write(QByteArray::fromStdString(*w->plistString())) < 0)
                    return say("cannot write " + path);
                out.close();
                say("url " + w->url());
                say(QStringLiteral("format %1").arg(w->formatKind() == plist::Format::Binary ? 1 : 0));
                say(QStringLiteral("edited %1").arg(w->canUndo()));
            }
            // The recovered window takes the record over with its first write.
            QObject::connect(store, &app::RecoveryStore::recordWritten, &application, [] {
                say(QStringLiteral("records left %1").arg(app::RecoveryStore::orphanedRecords(false).size()));
                std::_Exit(0);
            });
        });
        delegate.offerRecovery();
        answerLater(front, "Recover");
        return application.exec();
    }

    window::MyWindowController* w = delegate.openDocumentWithURL(path);
    // A large document loads in the background: edits start once it is in the window.
    if (w->isLoading()) {
        QEventLoop loaded;
        QObject::connect(w, &window::MyWindowController::documentLoaded, &loaded, &QEventLoop::quit);
        loaded.exec();
    }
    int steps = 0;
    QObject::connect(store, &app::RecoveryStore::recordWritten, &application, [&](QObject*) {
        say(QStringLiteral("recorded %1").arg(steps));
        if (mode == "edit") {
            // One to three steps before the next record.
            for (int n = 1 + steps % 3; n > 0; --n)
                step(w, ++steps);
        } else if (mode == "save") {
            delegate.saveDocument(w);
            delegate.terminate();
        } else {
            answerLater(w, "Revert Changed");
            delegate.terminate();
        }
    });
    say("ready");
    for (steps = 0; steps < 3;)
        step(w, ++steps);
    return application.exec();
}
