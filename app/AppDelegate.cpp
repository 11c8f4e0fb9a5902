#include "AppDelegate.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QScreen>
#include <QSettings>
#include <QTimer>
#include <algorithm>

#include "HelpMenu.h"
#include "InstanceChannel.h"
#include "RecoveryStore.h"
#include "model/Json.h"
#include "platform/file/AtomicFile.h"
#include "platform/file/RegularFile.h"
#include "platform/qt/Alert.h"
#include "platform/qt/FileNames.h"
#include "platform/qt/NotificationCenter.h"
#include "window/MyCompareWindow.h"
#include "window/MyWindowController.h"

namespace app {

using platform::NotificationCenter;

namespace {
constexpr int kMaxRecentDocuments = 10;
const QString kRecentKey = QStringLiteral("RecentDocuments");

QVariantMap& defaultsDomain() {
    static QVariantMap domain;
    return domain;
}

bool contains(const std::vector<MyWindowController*>& list, MyWindowController* c) {
    return std::find(list.begin(), list.end(), c) != list.end();
}
void erase(std::vector<MyWindowController*>& list, MyWindowController* c) {
    list.erase(std::remove(list.begin(), list.end(), c), list.end());
}
} // namespace

void AppDelegate::initialize() {
    QVariantMap& d = defaultsDomain();
    d.insert(QStringLiteral("NSDisabledDictationMenuItem"), true);
    d.insert(QStringLiteral("NSDisabledCharacterPaletteMenuItem"), true);
    QApplication::setWindowIcon(HelpMenu::applicationIcon());
}

const QVariantMap& AppDelegate::registeredDefaults() {
    return defaultsDomain();
}

AppDelegate::AppDelegate(const QString& settingsPath, QObject* parent)
    : QObject(parent), _settingsPath(settingsPath), _recovery(new RecoveryStore(this)) {}

AppDelegate::~AppDelegate() {
    NotificationCenter::defaultCenter().removeObserver(this);
    for (MyWindowController* c : _windowControllerArray) {
        c->removeEventFilter(this);
        delete c;
    }
}

void AppDelegate::awakeFromNib() {
    _windowControllerArray.clear();
    _reservedToCloseWindowControllerArray.clear();
    _isTerminate = false;
    QSettings settings =
        _settingsPath.isEmpty() ? QSettings() : QSettings(_settingsPath, QSettings::IniFormat);
    // One entry is read back as a single value, several as a list; names that are not UTF-8 come as bytes.
    const QVariant stored = settings.value(kRecentKey);
    const bool list = stored.typeId() == QMetaType::QVariantList || stored.typeId() == QMetaType::QStringList;
    const QVariantList entries = list ? stored.toList() : QVariantList{stored};
    _recentDocuments.clear();
    for (const QVariant& entry : entries) {
        const QString url = entry.typeId() == QMetaType::QByteArray
                                ? platform::decodeFileName(entry.toByteArray().toStdString())
                                : entry.toString();
        if (!url.isEmpty()) _recentDocuments << url;
    }
    removeRecentDocumentURL(std::nullopt);
}

void AppDelegate::applicationDidFinishLaunching() {
    auto& center = NotificationCenter::defaultCenter();
    auto handler = [this](const platform::Notification& n) { didReceiveNotification(n); };
    center.addObserver(this, window::kWindowShoudClose, handler);
    center.addObserver(this, window::kFileCouldNotBeOpened, handler);
}

void AppDelegate::applicationWillTerminate() {
    NotificationCenter::defaultCenter().removeObserver(this);
    writeRecentDocuments();
    _recovery->waitForWrites();
}

QString AppDelegate::normalizedLocation(const QString& path) {
    const QString canonical = platform::canonicalFileName(path);
    return canonical.isEmpty() ? platform::absoluteFileName(path) : canonical;
}

// ---- Opening ----

bool AppDelegate::applicationOpenFile(const QString& path) {
    openDocumentWithURL(path);
    return true;
}

MyWindowController* AppDelegate::newDocument() {
    return openDocumentWithURL(QString());
}

namespace {

// A dialog for choosing files to read, gone when it closes; the last filter should let every file through.
QFileDialog* makeReadDialog(const QString& title, QFileDialog::FileMode mode, const QStringList& filters) {
    auto* dialog = new QFileDialog(nullptr, title);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setFileMode(mode);
    dialog->setNameFilters(filters);
    dialog->setOption(QFileDialog::DontUseNativeDialog, true);
    return dialog;
}

} // namespace

void AppDelegate::openDocument() {
    // Binary property lists often have other names.
    QFileDialog* dialog = makeReadDialog(tr("Open"), QFileDialog::ExistingFiles,
                                         {tr("Property Lists (*.plist)"), tr("All Files (*)")});
    if (MyWindowController* front = frontWindowController(); front && !front->url().isEmpty())
        dialog->setDirectory(QFileInfo(front->url()).absolutePath());
    connect(dialog, &QFileDialog::filesSelected, this,
            [this](const QStringList& files) { openDocumentWithURLs(files); });
    dialog->open();
}

void AppDelegate::importJson() {
    QFileDialog* dialog = makeReadDialog(tr("Import JSON"), QFileDialog::ExistingFile,
                                         {tr("JSON (*.json)"), tr("All Files (*)")});
    connect(dialog, &QFileDialog::fileSelected, this, [this](const QString& file) {
        const QString reason = importJsonFile(file);
        if (reason.isEmpty()) return;
        auto* alert = new QMessageBox(QMessageBox::Warning, tr("Import JSON"),
                                      tr("The JSON file couldn\u2019t be imported."));
        alert->setInformativeText(reason);
        alert->setAttribute(Qt::WA_DeleteOnClose);
        alert->open();
    });
    dialog->open();
}

QString AppDelegate::importJsonFile(const QString& path) {
    auto text = platform::readRegularFile(platform::encodeFileName(path));
    auto value = text ? model::readJson(*text, {.typed = true}) : plist::Expected<plist::Value>(text.error());
    auto bytes =
        value ? plist::serialize(*value, plist::Format::Binary) : plist::Expected<std::string>(value.error());
    if (!bytes)
        return platform::displayFileName(QFileInfo(path).fileName()) + ": " +
               QString::fromStdString(bytes.error().message);
    return newDocument()->takeDocumentData(*bytes);
}

window::MyCompareWindow* AppDelegate::openCompareWindow(const QString& left, const QString& right,
                                                        MyWindowController* leftWindow) {
    window::MyCompareWindow::Windows windows{
        [this](const QString& path) { return windowControllerWithURL(platform::absoluteFileName(path)); },
        [this](const QString& path) { return openDocumentWithURL(path); }};
    auto* w = new window::MyCompareWindow(left, right, std::move(windows), leftWindow);
    w->setAttribute(Qt::WA_DeleteOnClose);
    w->show();
    return w;
}

void AppDelegate::openDocumentWithURLs(const QStringList& urls) {
    for (const QString& url : urls)
        openDocumentWithURL(url);
}

MyWindowController* AppDelegate::openDocumentWithURL(const QString& url) {
    // The window keeps the path the user gave, so a file opened through a link is named by the link; the
    // documents compare by the file itself.
    const QString location = platform::absoluteFileName(url);
    if (!location.isEmpty()) {
        if (MyWindowController* open = windowControllerWithURL(location)) {
            open->show();
            open->raise();
            open->activateWindow();
            return open;
        }
        noteNewRecentDocumentURL(location);
    }
    auto* c = new MyWindowController(location);
    addWindow(c);
    placeWindow(c);
    c->loadDocument();
    c->show();
    c->raise();
    c->activateWindow();
    validateMenuItems();
    return c;
}

MyWindowController* AppDelegate::openRecoveredDocument(model::PlistDocument&& contents,
                                                       const std::optional<platform::FileIdentity>& disk) {
    auto* c = new MyWindowController(platform::decodeFileName(contents.url()));
    addWindow(c);
    placeWindow(c);
    c->windowDidLoadRecovered(std::move(contents), disk);
    c->show();
    c->raise();
    c->activateWindow();
    validateMenuItems();
    return c;
}

void AppDelegate::offerRecovery() {
    _recovery->offerRecovery(this);
}

MyWindowController* AppDelegate::windowControllerWithURL(const QString& url) const {
    const QString location = normalizedLocation(url);
    if (location.isEmpty()) return nullptr;
    for (MyWindowController* c : _windowControllerArray)
        if (normalizedLocation(c->url()) == location) return c;
    return nullptr;
}

MyWindowController* AppDelegate::frontWindowController() const {
    // Windows in the order they were last activated; the desktop gives no stacking order.
    for (MyWindowController* c : _activationOrder)
        if (contains(_windowControllerArray, c) && c->isVisible()) return c;
    return nullptr;
}

void AppDelegate::addWindow(MyWindowController* c) {
    _windowControllerArray.push_back(c);
    _activationOrder.insert(_activationOrder.begin(), c);
    c->installEventFilter(this);
    connect(c, &MyWindowController::stateChanged, this, [this, c] {
        validateMenuItems();
        _recovery->documentChanged(c);
    });
    connect(c, &MyWindowController::documentWillChange, this,
            [this, c] { _recovery->documentWillChange(c); });
    // A Data value's bytes that are a property list open in an untitled window of their own.
    c->openDocumentWithData = [this](const std::string& bytes) { newDocument()->takeDocumentData(bytes); };
    buildFileMenu(c);
}

void AppDelegate::placeWindow(MyWindowController* c) {
    QScreen* screen = QGuiApplication::primaryScreen();
    const QRect area = screen ? screen->availableGeometry() : QRect();
    if (localWindowNumber() == 0 ||
        (!area.isNull() && (_nextWindowPosition.x() + c->width() > area.right() ||
                            _nextWindowPosition.y() + c->height() > area.bottom())))
        _nextWindowPosition = area.topLeft() + QPoint(16, 16);
    if (QGuiApplication::platformName() != QLatin1String("wayland")) c->move(_nextWindowPosition);
    _nextWindowPosition += QPoint(24, 24);
}

void AppDelegate::removeWindow(MyWindowController* c) {
    if (!contains(_windowControllerArray, c)) return;
    erase(_windowControllerArray, c);
    erase(_reservedToCloseWindowControllerArray, c);
    erase(_activationOrder, c);
    c->removeEventFilter(this);
    disconnect(c, &MyWindowController::stateChanged, this, nullptr);
    disconnect(c, &MyWindowController::documentWillChange, this, nullptr);
    _fileMenuItems.erase(c);
    _recovery->forget(c);
    // The controller may be inside one of its own call-backs.
    c->deleteLater();
    validateMenuItems();
    if (_windowControllerArray.empty()) {
        writeRecentDocuments();
        emit lastWindowClosed();
    }
}

void AppDelegate::closeAndRemove(MyWindowController* c) {
    c->closeWithoutAsking();
    removeWindow(c);
}

void AppDelegate::removeReserved(MyWindowController* c) {
    erase(_reservedToCloseWindowControllerArray, c);
}

bool AppDelegate::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::WindowActivate) {
        auto* c = static_cast<MyWindowController*>(watched);
        erase(_activationOrder, c);
        _activationOrder.insert(_activationOrder.begin(), c);
        validateMenuItems();
    }
    return false;
}

// ---- Recent documents ----

void AppDelegate::noteNewRecentDocumentURL(const QString& url) {
    _recentDocuments.removeAll(url);
    _recentDocuments.prepend(url);
    while (_recentDocuments.size() > kMaxRecentDocuments)
        _recentDocuments.removeLast();
    writeRecentDocuments();
    rebuildRecentMenus();
}

void AppDelegate::removeRecentDocumentURL(const std::optional<QString>& url) {
    // The others keep their order; the list is written at once, so a process that ends right after keeps it.
    if (url) _recentDocuments.removeAll(*url);
    writeRecentDocuments();
    rebuildRecentMenus();
}

void AppDelegate::clearRecentDocuments() {
    _recentDocuments.clear();
    writeRecentDocuments();
    rebuildRecentMenus();
}

void AppDelegate::writeRecentDocuments() const {
    QSettings settings =
        _settingsPath.isEmpty() ? QSettings() : QSettings(_settingsPath, QSettings::IniFormat);
    // Settings keep text as UTF-8, so a name that is not UTF-8 is kept as its bytes.
    QVariantList entries;
    for (const QString& url : _recentDocuments)
        entries << (platform::isTextFileName(url)
                        ? QVariant(url)
                        : QVariant(QByteArray::fromStdString(platform::encodeFileName(url))));
    settings.setValue(kRecentKey, entries);
    settings.sync();
}

// ---- Menus ----

void AppDelegate::buildFileMenu(MyWindowController* c) {
    auto* file = new QMenu(tr("&File"), c);
    file->addAction(tr("New"), QKeySequence::New, this, [this] { newDocument(); });
    file->addAction(tr("Open..."), QKeySequence::Open, this, [this] { openDocument(); });
    FileMenuItems& items = _fileMenuItems[c];
    items.recent = file->addMenu(tr("Open Recent"));
    file->addAction(tr("Import JSON\u2026"), this, [this] { importJson(); });
    file->addAction(tr("Compare With\u2026"), this, [this, c] {
        const QString other = QFileDialog::getOpenFileName(c, tr("Compare With"), {}, {}, nullptr,
                                                           QFileDialog::DontUseNativeDialog);
        if (!other.isEmpty()) openCompareWindow(c->url(), other, c);
    });
    file->addSeparator();
    file->addAction(tr("Close"), QKeySequence::Close, c, [c] { c->close(); });
    items.save = file->addAction(tr("Save"), QKeySequence::Save, this, [this] { saveDocument(); });
    items.saveAs = file->addAction(tr("Save As..."), this, [this] { saveDocumentAs(); });
    // Some desktops bind no key to Save As; Ctrl+Shift+S is the common one.
    items.saveAs->setShortcut(QKeySequence::keyBindings(QKeySequence::SaveAs).isEmpty()
                                  ? QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S)
                                  : QKeySequence(QKeySequence::SaveAs));
    file->addSeparator();
    QAction* quit = file->addAction(tr("Quit"), QKeySequence::Quit, this, [this] { terminate(); });
    quit->setMenuRole(QAction::QuitRole);
    QMenuBar* bar = c->menuBar();
    QAction* first = bar->actions().isEmpty() ? nullptr : bar->actions().front();
    bar->insertMenu(first, file);
    HelpMenu::addTo(bar);
    rebuildRecentMenus();
}

void AppDelegate::rebuildRecentMenus() {
    for (MyWindowController* c : _windowControllerArray) {
        auto items = _fileMenuItems.find(c);
        if (items == _fileMenuItems.end() || !items->second.recent) continue;
        QMenu* menu = items->second.recent;
        menu->clear();
        menu->setToolTipsVisible(true);
        QHash<QString, int> sharing;
        for (const QString& url : _recentDocuments)
            ++sharing[QFileInfo(url).fileName()];
        for (const QString& url : _recentDocuments) {
            // Entries that share a name show their folders too; a "&" is no shortcut mark.
            const QFileInfo info(url);
            QString text = platform::displayFileName(info.fileName());
            if (sharing.value(info.fileName()) > 1)
                text = tr("%1 \u2014 %2").arg(text, platform::displayFileName(info.path()));
            menu->addAction(text.replace(QLatin1Char('&'), QStringLiteral("&&")), this,
                            [this, url] { applicationOpenFile(url); })
                ->setToolTip(platform::displayFileName(url));
        }
        menu->addSeparator();
        menu->addAction(tr("Clear Menu"), this, [this] { clearRecentDocuments(); })
            ->setEnabled(!_recentDocuments.isEmpty());
    }
}

void AppDelegate::validateMenuItems() {
    MyWindowController* front = frontWindowController();
    const bool available = front && !front->isDisplayingAlart() && !front->isLoading();
    const QString title = front && !front->url().isEmpty() ? tr("Save") : tr("Save...");
    // Save is enabled with changes, and while a text edit is open (it commits the edit).
    const bool saveEnabled = available && (front->canUndo() || front->isEditingText());
    for (const auto& [c, items] : _fileMenuItems) {
        items.save->setText(title);
        items.save->setEnabled(saveEnabled);
        items.saveAs->setEnabled(available);
    }
}

// ---- Saving ----

MyWindowController* AppDelegate::documentToSave(MyWindowController* sender) {
    MyWindowController* c = sender ? sender : frontWindowController();
    // A document still loading has nothing to save yet.
    if (c && c->isLoading()) return nullptr;
    // A text edit in progress is committed first and saved with the rest; a refused one (its alert is up)
    // saves nothing.
    if (c && c->isEditingText() && !c->updateFocusedTextField()) return nullptr;
    return c;
}

void AppDelegate::saveDocument(MyWindowController* sender) {
    MyWindowController* c = documentToSave(sender);
    if (!c) return;
    if (!c->url().isEmpty())
        saveOverChangedFile(c, c->url(), c->formatKind());
    else
        saveDocumentAs(c);
}

void AppDelegate::saveOverChangedFile(MyWindowController* c, const QString& url, plist::Format format) {
    if (!c->fileChangedOnDisk()) {
        saveDocumentWithWindowController(c, url, format);
        return;
    }
    QMessageBox* alert = c->makeAlertWithMessage(
        tr("\u201c%1\u201d has been changed by another application since it was opened or saved.")
            .arg(c->fileName()),
        tr("Overwrite"), tr("Cancel"));
    QPointer<MyWindowController> target(c);
    c->runAlert(alert, [this, target, url, format](int answer) {
        if (!target || !contains(_windowControllerArray, target.data())) return;
        if (answer == platform::kAlertFirstButtonReturn) {
            saveDocumentWithWindowController(target, url, format);
        } else {
            // A pending close or quit waits for the user's next word.
            removeReserved(target);
            _isTerminate = false;
        }
    });
}

void AppDelegate::saveDocumentAs(MyWindowController* sender) {
    MyWindowController* c = documentToSave(sender);
    if (!c) return;
    auto* dialog = new QFileDialog(c, tr("Save As"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setOption(QFileDialog::DontUseNativeDialog, true);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setNameFilter(tr("Property Lists (*.plist)"));
    dialog->setDefaultSuffix(QStringLiteral("plist"));
    if (!c->url().isEmpty()) dialog->setDirectory(QFileInfo(c->url()).absolutePath());
    dialog->selectFile(c->fileName());
    dialog->setWindowModality(Qt::WindowModal);

    // The format chooser, below the dialog's own rows.
    auto* label = new QLabel(tr("Format:"), dialog);
    auto* format = new QComboBox(dialog);
    format->setObjectName(QStringLiteral("formatPopUp"));
    format->addItems({tr("XML"), tr("Binary")});
    format->setCurrentIndex(c->formatKind() == plist::Format::Binary ? 1 : 0);
    format->setMinimumWidth(78);
    if (auto* grid = qobject_cast<QGridLayout*>(dialog->layout())) {
        const int row = grid->rowCount();
        grid->addWidget(label, row, 0);
        grid->addWidget(format, row, 1);
    }

    QPointer<MyWindowController> target(c);
    connect(dialog, &QDialog::finished, this, [this, dialog, format, target](int result) {
        if (!target) return;
        MyWindowController* c = target;
        const QStringList files = dialog->selectedFiles();
        if (result != QDialog::Accepted || files.isEmpty()) {
            _isTerminate = false;
            removeReserved(c);
            return;
        }
        const QString location = platform::absoluteFileName(files.front());
        // The pop-up lists "XML" at 0 and "Binary" at 1.
        const plist::Format chosen = format->currentIndex() == 1 ? plist::Format::Binary : plist::Format::Xml;
        MyWindowController* other = windowControllerWithURL(location);
        QPointer<MyWindowController> replaced;
        if (other && other != c) {
            if (other->canUndo() || other->isDisplayingAlart() || other->isEditingText()) {
                failSave(
                    c, tr("\u201c%1\u201d is open in another window with unsaved changes. Save or close that "
                          "window first.")
                           .arg(platform::displayFileName(QFileInfo(location).fileName())));
                return;
            }
            replaced = other;
        }
        if (location == normalizedLocation(c->url())) return saveOverChangedFile(c, location, chosen);
        // The window on the replaced file gives way only once the file holds this document.
        if (saveDocumentWithWindowController(c, location, chosen) && replaced &&
            contains(_windowControllerArray, replaced.data()))
            closeAndRemove(replaced);
    });
    dialog->open();
}

bool AppDelegate::saveDocumentWithWindowController(MyWindowController* c) {
    return saveDocumentWithWindowController(c, c->url(), c->formatKind());
}

bool AppDelegate::saveDocumentWithWindowController(MyWindowController* c, const QString& url,
                                                   plist::Format format) {
    // The bytes go into the file as the writer makes them.
    const model::PlistDocument& document = c->document();
    plist::Expected<platform::WrittenContents> written =
        platform::writeFileAtomically(platform::encodeFileName(url), [&](const platform::ByteSink& sink) {
            return format == plist::Format::Binary ? document.writeBinaryData(sink)
                                                   : document.writePlistString(sink);
        });
    if (!written && written.error().kind == plist::Error::Kind::Io && format != plist::Format::Binary) {
        // The file may be refused before a byte is made; a value XML cannot store is still the first thing
        // the user has to know, whatever folder the document goes to.
        if (auto refused = document.writePlistString([](std::string_view) { return true; }))
            written = *refused;
    }
    if (!written) {
        // A file's message names it as its bytes, shown as a name is; the writer's refusal is plain text.
        const std::string& message = written.error().message;
        failSave(c, written.error().kind == plist::Error::Kind::Io
                        ? platform::displayFileName(platform::decodeFileName(message))
                        : QString::fromStdString(message));
        return false;
    }
    // The document takes the new location and format only now that they hold its contents.
    c->setURL(url);
    c->setFormatKind(format == plist::Format::Binary ? plist::Format::Binary : plist::Format::Xml);
    c->didWriteFile(*written);
    noteNewRecentDocumentURL(url);
    if (contains(_reservedToCloseWindowControllerArray, c)) {
        closeAndRemove(c);
        if (_isTerminate) terminate();
    } else {
        c->resetTitleAndUndo();
        validateMenuItems();
    }
    return true;
}

void AppDelegate::failSave(MyWindowController* c, const QString& message) {
    // A pending close or quit is abandoned at once; the alert only reports.
    removeReserved(c);
    _isTerminate = false;
    c->runAlert(c->makeAlertWithMessage(message, tr("OK")));
}

// ---- Closing and quitting ----

void AppDelegate::didReceiveNotification(const platform::Notification& n) {
    auto* c = qobject_cast<MyWindowController*>(n.object);
    if (!c || !contains(_windowControllerArray, c)) return;
    if (n.name == window::kFileCouldNotBeOpened) {
        removeRecentDocumentURL(c->url());
        closeAndRemove(c);
        return;
    }
    if (n.name != window::kWindowShoudClose) return;
    if (!n.userInfo.contains(window::kReturnCode)) {
        removeWindow(c); // the window closes by itself
        return;
    }
    switch (n.userInfo.value(window::kReturnCode).toInt()) {
    case platform::kAlertFirstButtonReturn: // Save
        _reservedToCloseWindowControllerArray.push_back(c);
        // The window that asked is the one saved, whichever window is in front.
        saveDocument(c);
        break;
    case platform::kAlertSecondButtonReturn: // Revert Changed
        closeAndRemove(c);
        break;
    case platform::kAlertThirdButtonReturn: // Cancel
        _isTerminate = false;
        break;
    default:
        break;
    }
    if (_isTerminate) terminate();
}

bool AppDelegate::applicationShouldTerminate() {
    _isTerminate = true;
    while (MyWindowController* front = frontWindowController()) {
        if (!front->windowShouldClose()) {
            // Only a close question or a save still to finish resumes the quit later.
            if (!front->isAskingToClose() && !contains(_reservedToCloseWindowControllerArray, front))
                _isTerminate = false;
            break;
        }
        // The window posted that it may close, which took it out of the registry.
        front->closeWithoutAsking();
        removeWindow(front);
    }
    return _windowControllerArray.empty();
}

void AppDelegate::terminate() {
    if (_terminating) return;
    _terminating = true;
    const bool now = applicationShouldTerminate();
    _terminating = false;
    if (now) {
        applicationWillTerminate();
        QCoreApplication::quit();
    }
}

// ---- One process per session ----

void AppDelegate::serveInstanceChannel(InstanceChannel* channel) {
    connect(channel, &InstanceChannel::filesReceived, this, [this](const QStringList& files) {
        if (files.isEmpty())
            newDocument();
        else
            openDocumentWithURLs(files);
    });
}

} // namespace app
