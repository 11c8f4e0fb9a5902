// vantrel: the editor. Files given on the command line open in windows of their own; with none, a new
// document opens. A launch while the editor already runs in this session hands its files to that process.
#include <QApplication>

#include <cstdio>
#include <cstring>
#include <malloc.h>

#include "AppDelegate.h"
#include "InstanceChannel.h"
#include "platform/qt/FileNames.h"
#include "window/MyCompareWindow.h"

namespace {

constexpr const char* kHelp = "usage: vantrel [--separate-process] [FILE.plist ...]\n"
                              "       vantrel --compare A B\n"
                              "Opens each file in a window of its own, or a new document without any.\n"
                              "  --compare A B       compare two documents side by side in a window\n"
                              "  --separate-process  run a process of its own instead of handing the files\n"
                              "                      to the editor already running in this session\n"
                              "  --help, -h          show this help\n"
                              "  --version           show the version\n";

} // namespace

int main(int argc, char** argv) {
    // Help and version are answered before the GUI starts, so they need no display.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kHelp, stdout);
            return std::fflush(stdout) == 0 ? 0 : 1;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::fputs("vantrel " VANTREL_VERSION "\n", stdout);
            return std::fflush(stdout) == 0 ? 0 : 1;
        }
    }
    // Large documents build and free big trees in phases; keep freed memory for the next phase.
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
    QApplication application(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Vantrel"));
    QApplication::setApplicationName(QStringLiteral("Vantrel"));
    QApplication::setQuitOnLastWindowClosed(false);

    bool separate = false;
    QStringList files, compared;
    // The arguments as bytes, not through Qt's UTF-8 reading, so that every file name can be opened.
    const QStringList arguments = platform::argumentsOf(argc, argv);
    for (const QString& a : arguments) {
        if (compared.size() == 1 || compared.size() == 2) {
            compared << platform::absoluteFileName(a);
        } else if (a == QLatin1String("--compare")) {
            compared << a;
            separate = true;
        } else if (a == QLatin1String("--separate-process")) {
            separate = true;
        } else {
            // Paths are resolved here, so the running process gets the file this launch meant.
            files << platform::absoluteFileName(a);
        }
    }
    app::InstanceChannel channel;
    if (!separate) {
        QString message;
        const QString path = app::InstanceChannel::socketPath(&message);
        const auto outcome = path.isEmpty() ? app::InstanceChannel::Outcome::Alone
                                            : channel.handOverOrListen(files, path, &message);
        if (outcome == app::InstanceChannel::Outcome::HandedOver) return 0;
        if (outcome != app::InstanceChannel::Outcome::Listening)
            std::fprintf(stderr, "vantrel: %s\n", message.toLocal8Bit().constData());
        if (outcome == app::InstanceChannel::Outcome::Failed) return 1;
    }

    app::AppDelegate::initialize();
    app::AppDelegate delegate;
    delegate.awakeFromNib();
    delegate.serveInstanceChannel(&channel);
    delegate.applicationDidFinishLaunching();
    QObject::connect(&delegate, &app::AppDelegate::lastWindowClosed, &application, [&delegate] {
        delegate.applicationWillTerminate();
        QCoreApplication::quit();
    });
    if (compared.size() == 3) {
        QObject::connect(delegate.openCompareWindow(compared[1], compared[2]), &QObject::destroyed, &delegate,
                         [&delegate] {
                             if (!delegate.windowControllers().empty()) return;
                             delegate.applicationWillTerminate();
                             QCoreApplication::quit();
                         });
    } else if (files.isEmpty())
        delegate.newDocument();
    else
        delegate.openDocumentWithURLs(files);
    delegate.offerRecovery();
    return application.exec();
}
