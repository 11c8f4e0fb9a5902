// The application shell through real windows: saving in a document's own format and in another, conflicts
// with other windows and the failures a save reports, the quit and close questions, opening and the recent
// documents, the Save item, the hand-over of files from a second launch, and file names that are not UTF-8.
#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QTimer>
#include <QWindow>
#include <QtTest>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fstream>
#include <functional>
#include <thread>

#include "app/AppDelegate.h"
#include "app/InstanceChannel.h"
#include "app/RecoveryStore.h"
#include "platform/qt/FileNames.h"
#include "tests/window/WindowTestSupport.h"
#include "window/MyFileChangeBar.h"

using namespace vantrel::test;
using app::AppDelegate;
using app::InstanceChannel;
using Outcome = InstanceChannel::Outcome;
using Windows = std::vector<MyWindowController*>;

namespace {

// An application whose settings file and documents live in a folder of their own.
struct Shell {
    QTemporaryDir tmp;
    const QString dir = QFileInfo(tmp.path()).canonicalFilePath();
    const QString settings = dir + QStringLiteral("/settings.ini");
    AppDelegate d{settings};

    Shell() {
        qputenv("XDG_STATE_HOME", path("state").toUtf8()); // recovery records stay in the folder
        AppDelegate::initialize();
        d.awakeFromNib();
        d.applicationDidFinishLaunching();
    }
    QString path(const QString& name) const { return dir + QLatin1Char('/') + name; }
    // Files are written and read through their names' bytes, which Qt's own file names would change.
    QString write(const QString& name, const QByteArray& bytes) const {
        plist::test::writeFile(platform::encodeFileName(path(name)), bytes.toStdString());
        return path(name);
    }
    // A document of a String "name" and a Number "count", in XML or, with extra as its String "control",
    // binary.
    QString writeDoc(const QString& name, bool binary = false, const std::string& extra = {}) const {
        plist::Value::Dictionary dict{{"name", plist::Value("Vantrel")}, {"count", plist::Value::integer(1)}};
        if (!extra.empty()) dict.emplace_back("control", plist::Value(extra));
        const auto format = binary ? plist::Format::Binary : plist::Format::Xml;
        return write(name,
                     QByteArray::fromStdString(*plist::serialize(plist::Value(std::move(dict)), format)));
    }
    MyWindowController* open(const QString& name) { return d.openDocumentWithURL(writeDoc(name)); }
    bool has(MyWindowController* w) const {
        return std::find(d.windowControllers().begin(), d.windowControllers().end(), w) !=
               d.windowControllers().end();
    }
};

QByteArray bytesOf(const QString& path) {
    return QByteArray::fromStdString(plist::test::readFile(platform::encodeFileName(path)));
}

// The file's format and its String "name", as the services read the whole file; "unreadable" without one.
QString formatAndName(const QString& path) {
    const QByteArray bytes = bytesOf(path);
    auto parsed = plist::parse(std::string_view(bytes.constData(), size_t(bytes.size())));
    if (!parsed || parsed->value.type() != plist::Value::Type::Dictionary)
        return QStringLiteral("unreadable");
    QString name;
    for (const auto& [key, value] : parsed->value.dictionary())
        if (key == "name") name = QString::fromStdString(value.string());
    return (parsed->format == plist::Format::Binary ? QStringLiteral("binary ") : QStringLiteral("xml ")) +
           name;
}

// One undoable change: the String "name" takes the text; a document without it changes its root's type.
void edit(MyWindowController* w, const QString& text = QStringLiteral("edited")) {
    const EntryRef root = w->rootEntry();
    for (size_t i = 0; i < root->childCount(); ++i) {
        if (root->child()[i]->key != "name") continue;
        w->outlineViewSelectItem(root->child()[i].get());
        w->changeCurrentItemValueWithNewValue(text);
        return;
    }
    w->outlineViewSelectItem(root.get());
    w->changeCurrentItemClassTypeWithNewClassType(root->type() == EntryType::Array ? EntryType::Dictionary
                                                                                   : EntryType::Array);
}

// Edited, or clean, as the window shows it: undoable changes, the modified mark and "Edited" in the title.
bool shows(const MyWindowController* w, bool edited) {
    return w->canUndo() == edited && w->isWindowModified() == edited &&
           w->windowTitle().contains(QStringLiteral("Edited")) == edited;
}
bool isEdited(const MyWindowController* w) {
    return shows(w, true);
}
bool isClean(const MyWindowController* w) {
    return shows(w, false);
}

QMessageBox* alertOn(MyWindowController* w) {
    QMessageBox* alert = nullptr;
    const bool shown = QTest::qWaitFor([&] {
        alert = platform::sheetOfWindow(w);
        return alert && alert->isVisible();
    });
    return shown ? alert : nullptr;
}
QString alertText(MyWindowController* w) {
    QMessageBox* alert = alertOn(w);
    return alert ? alert->text() : QStringLiteral("(no alert)");
}
bool answer(MyWindowController* w, const QString& button) {
    QMessageBox* alert = alertOn(w);
    for (QAbstractButton* b : alert ? alert->buttons() : QList<QAbstractButton*>())
        if (b->text() == button) return QTest::mouseClick(b, Qt::LeftButton), true;
    return false;
}

QFileDialog* saveDialogOn(MyWindowController* w) {
    QFileDialog* dialog = nullptr;
    (void)QTest::qWaitFor([&] {
        for (QFileDialog* f : w->findChildren<QFileDialog*>())
            if (f->isVisible()) dialog = f;
        return dialog != nullptr;
    });
    return dialog;
}
// The dialog's format and the file name it offers.
QString offered(QFileDialog* dialog) {
    return dialog->findChild<QComboBox*>(QStringLiteral("formatPopUp"))->currentText() + ' ' +
           QFileInfo(dialog->selectedFiles().value(0)).fileName();
}

// Chooses a location and a format (0 XML, 1 Binary) and accepts, answering Yes when the dialog asks whether
// to replace an existing file.
void chooseAndAccept(QFileDialog* dialog, const QString& path, int format) {
    dialog->selectFile(path);
    dialog->findChild<QComboBox*>(QStringLiteral("formatPopUp"))->setCurrentIndex(format);
    QPointer<QFileDialog> guard(dialog);
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, timer, [timer, guard] {
        QMessageBox* replace = guard ? guard->findChild<QMessageBox*>() : nullptr;
        if (replace && replace->isVisible()) {
            QTest::mouseClick(replace->button(QMessageBox::Yes), Qt::LeftButton);
            timer->deleteLater();
        } else if (!guard || !guard->isVisible()) {
            timer->deleteLater();
        }
    });
    timer->start(10);
    static_cast<QDialog*>(dialog)->accept();
}

// Save As through the dialog; offer takes what the dialog offered.
bool saveAs(Shell& s, MyWindowController* w, const QString& path, int format, QString* offer = nullptr) {
    s.d.saveDocumentAs(w);
    QFileDialog* dialog = saveDialogOn(w);
    if (dialog && offer) *offer = offered(dialog);
    if (dialog) chooseAndAccept(dialog, path, format);
    return dialog;
}

// A socket bound at path, not yet listening.
int boundSocket(const QString& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, QFile::encodeName(path).constData(), sizeof address.sun_path - 1);
    return ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 ? fd : -1;
}

// A second launch, beside the event loop as another process would be, while the editor first runs busy.
Outcome launch(const QStringList& files, const QString& path, QString& message,
               const std::function<void()>& busy = {}) {
    std::atomic<bool> done{false};
    Outcome outcome = Outcome::Alone;
    std::thread other([&] {
        outcome = InstanceChannel().handOverOrListen(files, path, &message, {50, 10000});
        done = true;
    });
    if (busy) busy();
    (void)QTest::qWaitFor([&] { return done.load(); }, 10000);
    other.join();
    return outcome;
}

QAction* fileMenuItem(MyWindowController* w, const QStringList& texts, const char* title = "&File") {
    for (QAction* menu : w->menuBar()->actions())
        if (menu->text() == QLatin1String(title))
            for (QAction* a : menu->menu()->actions())
                if (texts.contains(a->text())) return a;
    return nullptr;
}
// File > Save (titled "Save..." while untitled), or Save As.
QAction* saveAction(MyWindowController* w, bool as = false) {
    return as ? fileMenuItem(w, {QStringLiteral("Save As...")})
              : fileMenuItem(w, {QStringLiteral("Save"), QStringLiteral("Save...")});
}

} // namespace

class AppDelegateTest : public QObject {
    Q_OBJECT
private slots:
    // ---- Saving ----

    // The file comes as the command line gives it, a relative name in bytes; one that is not UTF-8 keeps its
    // bytes through opening, saving and the recent documents, and shows with U+FFFD.
    void saveWritesTheDocumentsOwnFormat_data() {
        QTest::addColumn<bool>("binary");
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QString>("title");
        QTest::newRow("xml") << false << QByteArray("Doc.plist") << "Doc.plist";
        QTest::newRow("binary") << true << QByteArray("Doc.plist") << "Doc.plist";
        QTest::newRow("name not UTF-8") << false << QByteArray("caf\xe9.plist") << "caf\uFFFD.plist";
    }
    void saveWritesTheDocumentsOwnFormat() {
        QFETCH(bool, binary);
        QFETCH(QByteArray, name);
        QFETCH(QString, title);
        Shell s;
        const QString file = platform::decodeFileName(name.toStdString());
        const QString path = s.writeDoc(file, binary);
        const QString cwd = QDir::currentPath();
        QDir::setCurrent(s.dir);
        char* argv[] = {name.data(), name.data()};
        s.d.openDocumentWithURLs({platform::absoluteFileName(platform::argumentsOf(2, argv).value(0))});
        QDir::setCurrent(cwd);
        MyWindowController* w = s.d.windowControllerWithURL(path);
        QVERIFY(w && w->rootEntry());
        edit(w, "saved");
        QVERIFY(isEdited(w));
        s.d.saveDocument(w);
        QCOMPARE(formatAndName(path), binary ? QStringLiteral("binary saved") : QStringLiteral("xml saved"));
        QVERIFY(isClean(w) && w->formatKind() == (binary ? plist::Format::Binary : plist::Format::Xml));
        QVERIFY(std::ifstream(s.dir.toStdString() + '/' + name.toStdString()).good()); // the name's own bytes
        QCOMPARE(w->windowHandle()->title(), title);
        // Read back from the file, as the next launch does: within a process settings are cached.
        s.d.noteNewRecentDocumentURL(s.path("Other.plist"));
        QVERIFY(QFile::copy(s.settings, s.path("again.ini")));
        AppDelegate again(s.path("again.ini"));
        again.awakeFromNib();
        QCOMPARE(again.recentDocumentURLs(), QStringList({s.path("Other.plist"), path}));
        // Save As in the other format, which Save keeps.
        const QString copy = s.path("Copy.plist");
        QString offer;
        edit(w, "copied");
        QVERIFY(saveAs(s, w, copy, binary ? 0 : 1, &offer));
        QCOMPARE(offer, (binary ? "Binary " : "XML ") + title);
        QVERIFY(w->url() == copy &&
                w->formatKind() == (binary ? plist::Format::Xml : plist::Format::Binary) && isClean(w));
        QCOMPARE(w->windowTitle(), QStringLiteral("Copy.plist"));
        QCOMPARE(s.d.recentDocumentURLs().value(0), copy);
        edit(w, "again");
        s.d.saveDocument(w);
        QCOMPARE(formatAndName(copy), binary ? "xml again" : "binary again");
        QCOMPARE(formatAndName(path), binary ? "binary saved" : "xml saved");
    }

    // A clean window on the chosen file gives way once the file holds the document.
    void saveAsOntoTheFileOfAnotherWindow() {
        Shell s;
        QPointer<MyWindowController> clean = s.open("Target.plist");
        MyWindowController* w = s.open("Mine.plist");
        edit(w, "mine");
        QVERIFY(saveAs(s, w, s.path("Target.plist"), 0));
        QCOMPARE(s.d.windowControllers(), Windows{w});
        QTRY_VERIFY(!clean);
        QCOMPARE(w->url(), s.path("Target.plist"));
        QCOMPARE(formatAndName(s.path("Target.plist")), QStringLiteral("xml mine"));
    }

    // A folder that is missing or read-only, a value XML cannot hold (U+0001), or the file edited in another
    // window: the save fails with the reason (the system's naming the file), writes nothing and leaves no
    // temporary file; the document stays as it was, and the window on the file stays. Under root it saves as
    // nobody. Files the user may not write are the file layer's refusals, which the command-line tests cover.
    void failedSaveAsKeepsTheDocument_data() {
        QTest::addColumn<int>("folderMode"); // 0: no folder; 0755: a folder whose New.plist is open
        QTest::addColumn<QString>("reason"); // the alert's start; empty for the system's reason
        QTest::newRow("missing folder") << 0 << "";
        QTest::newRow("read-only folder") << 0555 << "";
        QTest::newRow("value XML cannot hold")
            << 0755 << "This document holds a value that an XML property list cannot store";
        QTest::newRow("file edited in another window")
            << 0755
            << "\u201cNew.plist\u201d is open in another window with unsaved changes. Save or close that "
               "window first.";
    }
    void failedSaveAsKeepsTheDocument() {
        QFETCH(int, folderMode);
        QFETCH(QString, reason);
        const bool root = ::geteuid() == 0, control = reason.startsWith("This document"),
                   file = folderMode == 0755;
        Shell s;
        MyWindowController* w =
            s.d.openDocumentWithURL(s.writeDoc("Doc.plist", control, control ? "a\x01z" : ""));
        edit(w);
        const plist::Format format = w->formatKind();
        const QString title = w->windowTitle(), folder = s.path("sub"), target = folder + "/New.plist";
        if (root) QCOMPARE(::chmod(qPrintable(s.dir), 0755), 0);
        QPointer<MyWindowController> there;
        if (folderMode) {
            QVERIFY(QDir().mkdir(folder));
            if (file) there = s.open("sub/New.plist");
            if (reason.contains("another window")) edit(there);
            if (root) QCOMPARE(::chown(qPrintable(folder), 65534, 65534), 0); // the folder is nobody's
            QCOMPARE(::chmod(qPrintable(folder), mode_t(folderMode)), 0);
        }
        const QByteArray before = bytesOf(target);
        const QStringList recent = s.d.recentDocumentURLs();
        QString alert;
        {
            const auto asRootAgain = qScopeGuard([root] { QVERIFY(!root || ::seteuid(0) == 0); });
            QVERIFY(!root || ::seteuid(65534) == 0);
            QVERIFY(saveAs(s, w, target, control ? 0 : 1));
            alert = alertText(w);
        }
        if (reason.isEmpty()) reason = target + ": " + std::strerror(folderMode ? EACCES : ENOENT);
        QVERIFY2(alert.startsWith(reason), qPrintable(alert));
        QVERIFY(w->url() == s.path("Doc.plist") && w->formatKind() == format && w->windowTitle() == title);
        QCOMPARE(QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 file ? QStringList{"New.plist"} : QStringList());
        QCOMPARE(bytesOf(target), before);
        QVERIFY(s.d.recentDocumentURLs() == recent && answer(w, "OK") && isEdited(w));
        QVERIFY(!file || (s.has(there) && there->isVisible()));
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    // ---- Quitting and closing ----

    void quitWithCleanWindowsEndsAtOnce() {
        Shell s;
        s.open("A.plist"), s.open("B.plist"), s.d.newDocument();
        QSignalSpy lastClosed(&s.d, &AppDelegate::lastWindowClosed);
        QVERIFY(s.d.applicationShouldTerminate() && s.d.windowControllers().empty());
        QCOMPARE(lastClosed.count(), 1);
    }

    void quitAsksTheEditedWindowBehind_data() {
        QTest::addColumn<QString>("button");
        QTest::newRow("revert") << "Revert Changed";
        QTest::newRow("cancel") << "Cancel";
        QTest::newRow("save, then cancel the dialog") << "Save";
        QTest::newRow("save, then choose a file") << "Save";
    }
    void quitAsksTheEditedWindowBehind() {
        QFETCH(QString, button);
        Shell s;
        // Front to back: a clean window, the edited one, and another clean one that the resumed quit closes.
        MyWindowController* back = s.open("Back.plist");
        MyWindowController* edited = s.d.newDocument();
        edit(edited);
        MyWindowController* front = s.open("Front.plist");
        QVERIFY(activate(*back) && activate(*edited) && activate(*front));
        QVERIFY(!s.d.applicationShouldTerminate());
        QCOMPARE(s.d.windowControllers(), (Windows{back, edited}));
        QVERIFY(s.d.isTerminate() && edited->isAskingToClose());
        QCOMPARE(alertText(edited), saveQuestion("Untitled.plist"));
        QVERIFY(answer(edited, button));

        const QString tag = QString::fromLatin1(QTest::currentDataTag());
        if (tag == "revert") {
            QVERIFY(s.d.windowControllers().empty() && s.d.isTerminate());
            return;
        }
        if (button == "Save") {
            QFileDialog* dialog = saveDialogOn(edited);
            QVERIFY(dialog && s.d.isTerminate());
            QCOMPARE(offered(dialog), QStringLiteral("XML Untitled.plist"));
            if (tag.endsWith("choose a file")) {
                chooseAndAccept(dialog, s.path("Saved.plist"), 0);
                QVERIFY(s.d.windowControllers().empty());
                QCOMPARE(formatAndName(s.path("Saved.plist")), QStringLiteral("xml "));
                return;
            }
            dialog->reject();
        }
        QCOMPARE(s.d.windowControllers(), (Windows{back, edited}));
        QVERIFY(!s.d.isTerminate() && !edited->isAskingToClose() && !edited->isDisplayingAlart());
        QVERIFY(edited->isVisible() && isEdited(edited));
    }

    void closeQuestionSavesTheWindowThatAsked() {
        Shell s;
        MyWindowController* a = s.open("A.plist");
        MyWindowController* b = s.open("B.plist");
        edit(a, "from A");
        edit(b, "from B");
        QVERIFY(activate(*b));
        QCOMPARE(s.d.frontWindowController(), b);
        QVERIFY(!a->close());
        QVERIFY(answer(a, "Save"));
        QCOMPARE(formatAndName(s.path("A.plist")), QStringLiteral("xml from A"));
        QCOMPARE(formatAndName(s.path("B.plist")), QStringLiteral("xml Vantrel"));
        QCOMPARE(s.d.windowControllers(), Windows{b});
        QVERIFY(isEdited(b));
    }

    // Two applications on one file, which a third program also replaces and deletes behind their backs.
    void aChangeOnDiskIsNeverOverwrittenUnasked() {
        Shell s, t;
        const QString path = s.writeDoc("Doc.plist");
        MyWindowController* a = s.d.openDocumentWithURL(path);
        MyWindowController* b = t.d.openDocumentWithURL(path);
        window::MyFileChangeBar *barA = a->fileChangeBar(), *barB = b->fileChangeBar();
        auto holds = [](MyWindowController* w, const char* text) {
            return w->plistString()->find(text) != std::string::npos;
        };
        auto replace = [&](const QByteArray& bytes) {
            QVERIFY(::rename(qPrintable(s.write("new", bytes)), qPrintable(path)) == 0);
        };
        edit(a, "from A");
        s.d.saveDocument(a);
        QTRY_VERIFY(barB->isVisible());
        QCOMPARE(barB->message(), QStringLiteral("This file has changed on disk."));
        edit(b, "from B");
        const QString question = QStringLiteral(
            "\u201cDoc.plist\u201d has been changed by another application since it was opened or saved.");
        for (const bool overwrite : {false, true}) {
            if (overwrite)
                t.d.saveDocument(b);
            else
                QVERIFY(saveAs(t, b, path, 0));
            QCOMPARE(alertText(b), question);
            QVERIFY(answer(b, overwrite ? "Overwrite" : "Cancel"));
            QCOMPARE(formatAndName(path), overwrite ? "xml from B" : "xml from A");
        }
        QVERIFY(isClean(b) && !barB->isVisible() && !b->isDisplayingAlart());
        QTRY_VERIFY(barA->isVisible());
        // The same bytes written again are no change; other bytes renamed into place are.
        replace(bytesOf(path));
        QTest::qWait(200);
        QVERIFY(!barB->isVisible());
        replace(bytesOf(path).replace("from B", "outside"));
        QTRY_VERIFY(barB->isVisible());
        QTest::mouseClick(barA->reloadButton(), Qt::LeftButton);
        QVERIFY(holds(a, "outside") && !barA->isVisible() && isClean(a));
        QCOMPARE(a->undoAction()->text(), QStringLiteral("Undo Reload from Disk"));
        a->undo();
        QVERIFY(holds(a, "from A"));
        replace(bytesOf(path).replace("outside", "later"));
        QVERIFY(!a->close());
        QVERIFY(answer(a, "Save"));
        QCOMPARE(alertText(a), question);
        QVERIFY(a->isDisplayingAlart());
        QVERIFY(answer(a, "Cancel"));
        QVERIFY(s.has(a) && isEdited(a) && formatAndName(path) == "xml later");
        QFile::remove(path);
        QTRY_VERIFY(barB->isVisible() && !barB->reloadButton()->isVisible());
        QVERIFY(barB->message().contains("deleted"));
        QTest::mouseClick(barB->ignoreButton(), Qt::LeftButton);
        QVERIFY(!barB->isVisible() && t.has(b) && holds(b, "from B"));
    }

    // ---- Recovery after a crash ----

    // A record written for an edited window goes when the window closes reverting its changes; planted back
    // as left by a process of another boot, it is offered with an unreadable record, which stays whatever the
    // answer. Recover opens the document edited, in its format, saving over its file after the check for
    // changes by another program.
    void recoveryRecordsAreOfferedAfterACrash_data() {
        QTest::addColumn<QString>("button");
        QTest::newRow("recover") << "Recover";
        QTest::newRow("discard") << "Discard";
        QTest::newRow("decide later") << "Decide Later";
    }
    void recoveryRecordsAreOfferedAfterACrash() {
        QFETCH(QString, button);
        Shell s;
        const QString path = s.writeDoc("Doc.plist", true);
        MyWindowController* w = s.d.openDocumentWithURL(path);
        s.d.recoveryStore()->setDelay(0);
        QSignalSpy written(s.d.recoveryStore(), &app::RecoveryStore::recordWritten);
        edit(w, "recovered");
        QVERIFY(written.wait());
        const QString folder = app::RecoveryStore::folder();
        const QStringList records = QDir(folder).entryList(QDir::Files);
        QCOMPARE(records.size(), 1);
        QByteArray record = bytesOf(folder + '/' + records[0]);
        w->close();
        QVERIFY(answer(w, "Revert Changed"));
        s.d.recoveryStore()->waitForWrites();
        QVERIFY(QDir(folder).isEmpty());

        record.replace(app::RecoveryStore::currentBootId().toLatin1(), "another boot");
        s.write("state/vantrel/recovery/lost.vantrel-recovery", record);
        s.write("state/vantrel/recovery/bad.vantrel-recovery", "VANTREL-RECOVERY 1\n{");
        s.writeDoc("Doc.plist", true, "changed elsewhere");
        MyWindowController* front = s.d.newDocument();
        s.d.offerRecovery();
        QVERIFY(alertOn(front) && alertOn(front)->informativeText().contains("Doc.plist — "));
        QVERIFY(alertOn(front)->informativeText().contains("bad.vantrel-recovery"));
        QVERIFY(answer(front, button));
        const QStringList left = QDir(folder).entryList(QDir::Files);
        QCOMPARE(left.contains("lost.vantrel-recovery"), button != "Discard");
        QVERIFY(left.contains("bad.vantrel-recovery"));
        MyWindowController* recovered = s.d.windowControllerWithURL(path);
        QCOMPARE(recovered != nullptr, button == "Recover");
        if (!recovered) return;
        QVERIFY(isEdited(recovered) && !recovered->windowWillReturnUndoManager()->canUndo());
        QCOMPARE(recovered->formatKind(), plist::Format::Binary);
        s.d.saveDocument(recovered);
        QVERIFY(answer(recovered, "Overwrite"));
        QCOMPARE(formatAndName(path), QStringLiteral("binary recovered"));
        s.d.recoveryStore()->waitForWrites();
        QCOMPARE(QDir(folder).entryList(QDir::Files), QStringList("bad.vantrel-recovery"));
    }

    // ---- Opening and the recent documents ----

    // Documents compare by the file itself; a window opened through a link is named by the link, and saving
    // writes through it.
    void aFileOpensInOneWindow() {
        Shell s;
        s.writeDoc("Doc.plist");
        QVERIFY(QDir().mkdir(s.path("sub")));
        QVERIFY(QFile::link(s.path("Doc.plist"), s.path("sub/Link.plist")));
        const QString cwd = QDir::currentPath();
        QDir::setCurrent(s.path("sub"));
        MyWindowController* w = s.d.openDocumentWithURL(QStringLiteral("Link.plist"));
        MyWindowController* relative = s.d.openDocumentWithURL(QStringLiteral("../Doc.plist"));
        QDir::setCurrent(cwd);
        QCOMPARE(relative, w);
        QCOMPARE(s.d.openDocumentWithURL(s.path("sub/../Doc.plist")), w);
        QCOMPARE(s.d.windowControllers(), Windows{w});
        QCOMPARE(w->windowHandle()->title(), QStringLiteral("Link.plist"));
        QCOMPARE(w->url(), s.path("sub/Link.plist"));
        QCOMPARE(s.d.recentDocumentURLs(), QStringList(s.path("sub/Link.plist")));
        edit(w, "linked");
        s.d.saveDocument(w);
        QVERIFY(QFileInfo(s.path("sub/Link.plist")).isSymLink());
        QCOMPARE(formatAndName(s.path("Doc.plist")), QStringLiteral("xml linked"));
    }

    // Import JSON opens the file as a new, untitled document, every value exact; bad JSON says where.
    void importJsonOpensAnUntitledDocument() {
        Shell s;
        s.write("in.json", R"({"n": 18446744073709551615, "d": {"$data": "AAE="}, "r": 2.0})");
        s.write("bad.json", "[1,\n 2,]");
        QVERIFY(s.d.importJsonFile(s.path("bad.json")).startsWith("bad.json: line 2, column 4: "));
        QVERIFY(s.d.windowControllers().empty());
        QCOMPARE(s.d.importJsonFile(s.path("in.json")), QString());
        QCOMPARE(s.d.windowControllers().size(), size_t(1));
        MyWindowController* w = s.d.windowControllers().front();
        const model::EntryRef root = w->rootEntry();
        QVERIFY(w->url().isEmpty() && root->childCount() == 3);
        QCOMPARE(root->child()[0]->numberValue().integer.asUnsigned(), UINT64_MAX);
        QCOMPARE(model::Data(root->child()[1]->dataValue()), model::Data({0, 1}));
        QVERIFY(root->child()[2]->numberValue().isReal);
    }

    // Recent entries that share a name show their folders, every entry has its path as a tooltip, and a "&"
    // in a name is no shortcut mark.
    void openRecentNames() {
        Shell s;
        QVERIFY(QDir().mkdir(s.path("a")) && QDir().mkdir(s.path("b")));
        for (const char* name : {"a/Doc.plist", "b/Doc.plist", "R&D.plist"})
            s.open(name);
        QMenu* recent = fileMenuItem(s.d.frontWindowController(), {"Open Recent"})->menu();
        QVERIFY(recent->toolTipsVisible());
        QStringList texts, tips;
        for (QAction* a : recent->actions())
            if (!a->isSeparator()) texts << a->text(), tips << a->toolTip();
        QCOMPARE(texts, QStringList({"R&&D.plist", "Doc.plist \u2014 " + s.path("b"),
                                     "Doc.plist \u2014 " + s.path("a"), "Clear Menu"}));
        QCOMPARE(tips.mid(0, 3),
                 QStringList({s.path("R&D.plist"), s.path("b/Doc.plist"), s.path("a/Doc.plist")}));
    }

    // The file that fails is larger than any memory: its window fails, and the edited ones go on.
    void recentDocumentsDropAFileThatFailsToOpen() {
        Shell s;
        for (const char* name : {"a.plist", "b.plist", "c.plist"})
            edit(s.open(name));
        const QStringList abc{s.path("c.plist"), s.path("b.plist"), s.path("a.plist")};
        QCOMPARE(s.d.recentDocumentURLs(), abc);
        QVERIFY(::truncate(qPrintable(s.write("broken.plist", "")), qint64(1) << 40) == 0);
        QPointer<MyWindowController> bad = s.d.openDocumentWithURL(s.path("broken.plist"));
        QCOMPARE(s.d.recentDocumentURLs(), QStringList{s.path("broken.plist")} + abc);
        QCOMPARE(
            alertText(bad),
            QStringLiteral("The data couldn\u2019t be read because it isn\u2019t in the correct format."));
        QCOMPARE(alertOn(bad)->informativeText(), "\u201cbroken.plist\u201d: not enough memory");
        QVERIFY(answer(bad, "OK"));
        QTRY_VERIFY(!s.has(bad));
        QCOMPARE(s.d.recentDocumentURLs(), abc);
        QCOMPARE(s.d.windowControllers().size(), size_t(3));
        for (MyWindowController* w : s.d.windowControllers())
            QVERIFY(isEdited(w) && w->isVisible());
        const QByteArray stored = bytesOf(s.settings);
        QVERIFY2(!stored.contains("broken.plist") && stored.indexOf("c.plist") < stored.indexOf("b.plist") &&
                     stored.indexOf("b.plist") < stored.indexOf("a.plist") && stored.contains("a.plist"),
                 stored.constData());
    }

    // Every window has the icon; Help shows the README's whole table of keys, and the versions and license.
    void helpMenuAndIcon() {
        Shell s;
        MyWindowController* w = s.d.newDocument();
        QCOMPARE(w->windowIcon().availableSizes(), QList<QSize>({QSize(48, 48), QSize(256, 256)}));
        fileMenuItem(w, {"Keyboard Shortcuts"}, "&Help")->trigger();
        QTextBrowser* keys = nullptr;
        for (QWidget* top : QApplication::topLevelWidgets())
            keys = keys ? keys : top->findChild<QTextBrowser*>();
        QVERIFY(keys && keys->isVisible() && keys->toPlainText().contains("Alt+double click on a value") &&
                keys->toPlainText().contains("Ctrl+W, Ctrl+Q"));
        keys->window()->close();
        fileMenuItem(w, {"About Vantrel"}, "&Help")->trigger();
        auto* about = w->findChild<QMessageBox*>();
        QVERIFY(about && about->text() == "Vantrel " VANTREL_VERSION);
        QVERIFY(about->informativeText().contains("MIT License") &&
                about->informativeText().contains(qVersion()));
    }

    // ---- The Save item ----

    void saveItemFollowsTheFrontWindow() {
        Shell s;
        MyWindowController* untitled = s.d.newDocument();
        QVERIFY(activate(*untitled));
        QAction* save = saveAction(untitled);
        QVERIFY(save && save->text() == QStringLiteral("Save...") && !save->isEnabled());
        edit(untitled);
        QVERIFY(save->isEnabled());

        MyWindowController* doc = s.open("Doc.plist");
        QVERIFY(activate(*doc));
        for (MyWindowController* w : {untitled, doc})
            QVERIFY(saveAction(w)->text() == QStringLiteral("Save") && !saveAction(w)->isEnabled());
        QVERIFY(activate(*untitled));
        QVERIFY(saveAction(doc)->text() == QStringLiteral("Save...") && saveAction(doc)->isEnabled());

        // A document still loading has nothing to save, and nothing of its Edit menu acts.
        MyWindowController* big =
            s.d.openDocumentWithURL(s.writeDoc("Big.plist", false, std::string(1 << 19, 'x')));
        QVERIFY(big->isLoading() && !saveAction(big)->isEnabled() && !saveAction(big, true)->isEnabled());
        for (QAction* a : big->editMenu()->actions())
            QVERIFY(a->isSeparator() || !a->isEnabled());
        s.d.saveDocumentAs(big);
        QVERIFY(big->findChildren<QFileDialog*>().isEmpty());
        QTRY_VERIFY(!big->isLoading());
        QVERIFY(saveAction(big, true)->isEnabled() && big->editMenu()->actions().back()->isEnabled());
    }

    // An open text edit enables Save; Save and Save As commit it and save it in the same action, and a
    // refused text saves nothing.
    void saveCommitsTheTextBeingEdited_data() {
        QTest::addColumn<bool>("as");
        QTest::addColumn<QString>("typed");
        QTest::newRow("save") << false << "typed";
        QTest::newRow("save as") << true << "typed";
        QTest::newRow("save, refused") << false << "12abc";
        QTest::newRow("save as, refused") << true << "12abc";
    }
    void saveCommitsTheTextBeingEdited() {
        QFETCH(bool, as);
        QFETCH(QString, typed);
        const bool refused = typed == "12abc";
        Shell s;
        MyWindowController* w = s.open("Doc.plist");
        QVERIFY(activate(*w));
        const EntryRef e = w->rootEntry()->child()[refused ? 1 : 0]; // the Number count, or the String name
        editCell(*w, e, views::EntryTreeModel::ValueColumn);
        QTRY_VERIFY(w->isEditingText());
        QVERIFY(!w->canUndo() && saveAction(w, as)->isEnabled());
        QTest::keyClicks(w->focusedTextField(), typed);
        const QByteArray before = bytesOf(s.path("Doc.plist"));
        QTest::keySequence(w, saveAction(w, as)->shortcut());
        if (refused) {
            QCOMPARE(alertText(w), kInvalidEntry);
            QVERIFY(answer(w, "Cancel") && w->findChildren<QFileDialog*>().isEmpty() && isClean(w));
            QCOMPARE(bytesOf(s.path("Doc.plist")), before);
            return;
        }
        QVERIFY(!w->isEditingText());
        QFileDialog* dialog = as ? saveDialogOn(w) : nullptr;
        QCOMPARE(bool(dialog), as);
        if (dialog) chooseAndAccept(dialog, s.path("Copy.plist"), 0);
        QCOMPARE(formatAndName(s.path(as ? "Copy.plist" : "Doc.plist")), QStringLiteral("xml typed"));
        QVERIFY(isClean(w));
    }

    // ---- A second launch ----

    // Only a socket that refuses connections is replaced; a busy editor is waited for, and one that never
    // answers makes the launch give up rather than become a second editor.
    void aSecondLaunchHandsItsFilesOver() {
        Shell s;
        const QString server = s.path("vantrel.sock"), mute = s.path("mute.sock");
        QCOMPARE(::close(boundSocket(server)), 0); // left by a killed process: nobody listens
        QString message;
        InstanceChannel editor;
        QCOMPARE(editor.handOverOrListen({}, server, &message), Outcome::Listening);
        s.d.serveInstanceChannel(&editor);
        const QString doc = s.writeDoc(platform::decodeFileName("Doc\xe9.plist"));
        QCOMPARE(launch({doc}, server, message), Outcome::HandedOver);
        QTRY_VERIFY(s.d.windowControllerWithURL(doc) && s.d.windowControllerWithURL(doc)->rootEntry());
        // Busy for a while: the launch waits for the answer.
        QCOMPARE(launch({}, server, message, [] { QTest::qSleep(400); }), Outcome::HandedOver);
        QTRY_COMPARE(s.d.windowControllers().size(), size_t(2));
        QVERIFY(s.d.windowControllers().back()->url().isEmpty());
        QVERIFY(::listen(boundSocket(mute), 4) == 0);
        QCOMPARE(InstanceChannel().handOverOrListen({doc}, mute, &message, {50, 300}), Outcome::Failed);
        QVERIFY2(message.contains("did not answer"), qPrintable(message));
        QVERIFY(QFileInfo::exists(mute) && QFileInfo::exists(server));
    }

    void theSocketLivesInAFolderOfTheUsersOwn() {
        Shell s;
        const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR"), wayland = qgetenv("WAYLAND_DISPLAY");
        qputenv("XDG_RUNTIME_DIR", s.dir.toUtf8());
        qputenv("WAYLAND_DISPLAY", "wayland-1");
        QCOMPARE(InstanceChannel::socketPath(), s.path("vantrel-wayland-1"));
        QVERIFY(QFile::setPermissions(s.dir, QFile::permissions(s.dir) | QFile::ReadOther | QFile::ExeOther));
        const QString own = QDir::tempPath() + QStringLiteral("/vantrel-%1").arg(::getuid());
        QCOMPARE(InstanceChannel::socketPath(), own + "/vantrel-wayland-1");
        QCOMPARE(int(QFile::permissions(own) & 0x77), 0); // nothing for group or others
        qputenv("XDG_RUNTIME_DIR", runtime);
        qputenv("WAYLAND_DISPLAY", wayland);
    }

    // A socket at the path that another user made, or that another user serves, gets nothing and stays.
    void anotherUsersSocketIsNeverUsedOrRemoved() {
        if (::geteuid() != 0) QSKIP("needs root to serve a socket as another user (uid 65534)");
        Shell s;
        const QString path = s.path("vantrel.sock");
        QVERIFY(::chmod(qPrintable(s.dir), 0777) == 0);
        int report[2];
        QVERIFY(::pipe(report) == 0);
        const pid_t child = ::fork();
        if (child == 0) {
            // The other user's editor: tells the parent it listens, then of every byte it is sent.
            if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(1);
            const int fd = boundSocket(path);
            if (::listen(fd, 4) != 0 || ::write(report[1], "L", 1) != 1) ::_exit(1);
            for (char byte; int peer = ::accept(fd, nullptr, nullptr);)
                while (peer >= 0 && ::read(peer, &byte, 1) == 1)
                    (void)!::write(report[1], "x", 1);
            ::_exit(0);
        }
        ::close(report[1]);
        const auto reap = [child] { (void)(::kill(child, SIGKILL) == 0 && ::waitpid(child, nullptr, 0)); };
        const auto reapAtTheEnd = qScopeGuard(reap); // however the test ends
        char got = 0;
        QVERIFY(::read(report[0], &got, 1) == 1 && got == 'L');
        QString message;
        QCOMPARE(InstanceChannel().handOverOrListen({"/secret"}, path, &message), Outcome::Alone);
        QVERIFY(QFileInfo::exists(path));
        QVERIFY(::chown(qPrintable(path), 0, 0) == 0); // the file ours, its listener not
        QCOMPARE(InstanceChannel().handOverOrListen({"/secret"}, path, &message, {50, 2000}),
                 Outcome::Failed);
        QVERIFY2(message.contains("another user"), qPrintable(message));
        reap();
        QCOMPARE(::read(report[0], &got, 1), ssize_t(0)); // nothing was ever sent
        QVERIFY(QFileInfo::exists(path));
    }
};

QTEST_MAIN(AppDelegateTest)
#include "AppDelegateTest.moc"
