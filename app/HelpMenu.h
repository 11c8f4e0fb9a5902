// The Help menu of every document window: "Keyboard Shortcuts" shows the README's table of keys, which the
// program carries as a resource so that the two never differ, and "About Vantrel" the version, the license
// and the Qt version. Also the application's icon, which every window shows.
#pragma once

#include <QCoreApplication>
#include <QIcon>

class QMenuBar;

namespace app {

class HelpMenu {
    Q_DECLARE_TR_FUNCTIONS(HelpMenu)
public:
    static void addTo(QMenuBar* bar);
    // The README's table of keys, as Markdown.
    static QString keyTable();
    static QIcon applicationIcon();
    static void showKeyboardShortcuts();
    static void showAbout(QWidget* parent);
};

} // namespace app
