// vantrel: opens each file given on the command line in a window of its own, or a new document without any.
#include <QApplication>

#include <cstdio>
#include <malloc.h>

#include "window/MyWindowController.h"

int main(int argc, char** argv) {
    // Large documents build and free big trees in phases; keep freed memory for the next phase.
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, 256 << 20);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vantrel"));
    QStringList files = app.arguments().mid(1);
    if (files.isEmpty()) files << QString();
    int opened = 0;
    for (const QString& file : files) {
        auto* w = new window::MyWindowController(file);
        w->setAttribute(Qt::WA_DeleteOnClose);
        if (!w->windowDidLoad()) {
            std::fprintf(stderr, "%s\n%s: %s\n", std::string(model::kLoadFailureMessage).c_str(),
                         file.toLocal8Bit().constData(), w->loadOutcome().reason.c_str());
            delete w;
            continue;
        }
        w->show();
        ++opened;
    }
    if (!opened) return 1;
    return app.exec();
}
