// The application: the registry of document windows, opening, saving, closing and quitting, the recent
// documents, and the one process per user session that every launch hands its files to.
#pragma once

#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QStringList>
#include <QVariantMap>
#include <optional>
#include <unordered_map>
#include <vector>

#include "platform/file/FileIdentity.h"
#include "platform/plist/PropertyList.h"

class QAction;
class QMenu;

namespace platform {
struct Notification;
}
namespace window {
class MyWindowController;
class MyCompareWindow;
} // namespace window
namespace model {
class PlistDocument;
}

namespace app {

class InstanceChannel;
class RecoveryStore;
using window::MyWindowController;

class AppDelegate : public QObject {
    Q_OBJECT
public:
    // settingsPath: the file that keeps the recent documents; empty for the application's own settings.
    explicit AppDelegate(const QString& settingsPath = {}, QObject* parent = nullptr);
    ~AppDelegate() override;

    // The user defaults of the registration domain: kept in memory, never written.
    static void initialize();
    static const QVariantMap& registeredDefaults();

    void awakeFromNib();
    void applicationDidFinishLaunching();
    void applicationWillTerminate();
    // True when the application may end now; otherwise a window asked its question or refused.
    bool applicationShouldTerminate();
    // A termination request: when the windows allow it, the recent documents are written and the
    // application ends.
    void terminate();

    bool applicationOpenFile(const QString& path);
    MyWindowController* newDocument();
    void openDocument();
    void openDocumentWithURLs(const QStringList& urls);
    MyWindowController* openDocumentWithURL(const QString& url);
    // File > Import JSON…: a JSON file (plain or typed) opens as a new, untitled document; the reason when it
    // cannot be read.
    void importJson();
    QString importJsonFile(const QString& path);
    // A window on a document recovered after a crash (see MyWindowController::windowDidLoadRecovered).
    MyWindowController* openRecoveredDocument(model::PlistDocument&& contents,
                                              const std::optional<platform::FileIdentity>& disk);
    // Offers the documents that ended processes left unsaved; the store keeps the records of this process.
    void offerRecovery();
    RecoveryStore* recoveryStore() const { return _recovery; }
    MyWindowController* windowControllerWithURL(const QString& url) const;
    // A compare window on two files (a side open in a document window compares that window's document);
    // File > Compare With… compares a document window with a file chosen.
    window::MyCompareWindow* openCompareWindow(const QString& left, const QString& right,
                                               MyWindowController* leftWindow = nullptr);
    MyWindowController* frontWindowController() const;

    // The recent documents, most recent first.
    QStringList recentDocumentURLs() const { return _recentDocuments; }
    void noteNewRecentDocumentURL(const QString& url);
    void removeRecentDocumentURL(const std::optional<QString>& url);
    void clearRecentDocuments();

    void saveDocument(MyWindowController* sender = nullptr);
    void saveDocumentAs(MyWindowController* sender = nullptr);
    // Writes the document to a location in a format; the document takes them only when the write succeeds.
    bool saveDocumentWithWindowController(MyWindowController* c, const QString& url, plist::Format format);
    bool saveDocumentWithWindowController(MyWindowController* c);

    // Pushes the Save items' titles and enabled states to every window.
    void validateMenuItems();

    const std::vector<MyWindowController*>& windowControllers() const { return _windowControllerArray; }
    const std::vector<MyWindowController*>& reservedToClose() const {
        return _reservedToCloseWindowControllerArray;
    }
    bool isTerminate() const { return _isTerminate; }

    // Locations compare as canonical paths when the file exists, else as clean absolute paths.
    static QString normalizedLocation(const QString& path);

    // Opens the files that later launches of the session hand over through the channel (none: a new window).
    void serveInstanceChannel(InstanceChannel* channel);

signals:
    // The registry became empty: the application ends.
    void lastWindowClosed();

private:
    void didReceiveNotification(const platform::Notification& n);
    void addWindow(MyWindowController* c);
    void removeWindow(MyWindowController* c);
    void closeAndRemove(MyWindowController* c);
    void removeReserved(MyWindowController* c);
    void failSave(MyWindowController* c, const QString& message);
    // Saves onto the document's own file, first asking whether to overwrite it when another program changed
    // it since the window read or wrote it.
    void saveOverChangedFile(MyWindowController* c, const QString& url, plist::Format format);
    // The sender, or the front document, with its text edit committed; none when the commit was refused.
    MyWindowController* documentToSave(MyWindowController* sender);
    // Returns the window-load counter of the process and then increases it by one.
    unsigned localWindowNumber() { return _windowLoadCounter++; }
    // Places a window before it loads: the first at the top left of the screen, later ones cascading from it.
    void placeWindow(MyWindowController* c);
    void buildFileMenu(MyWindowController* c);
    void rebuildRecentMenus();
    void writeRecentDocuments() const;
    bool eventFilter(QObject* watched, QEvent* event) override;

    std::vector<MyWindowController*> _windowControllerArray;
    std::vector<MyWindowController*> _reservedToCloseWindowControllerArray;
    std::vector<MyWindowController*> _activationOrder; // front to back
    // The items of each window's File menu that follow the application's state.
    struct FileMenuItems {
        QAction* save = nullptr;
        QAction* saveAs = nullptr;
        QMenu* recent = nullptr;
    };
    std::unordered_map<MyWindowController*, FileMenuItems> _fileMenuItems;
    unsigned _windowLoadCounter = 0;
    QPoint _nextWindowPosition;
    bool _isTerminate = false;
    bool _terminating = false;
    QStringList _recentDocuments;
    QString _settingsPath;
    RecoveryStore* _recovery = nullptr;
};

} // namespace app
