// Writes the program's icon as PNG files for the desktop's hicolor theme, drawn by the same
// code as the window icon, so the menu entry and the running program look alike.
//   tallyhost-render-icons OUTDIR SIZE...   ->  OUTDIR/SIZExSIZE/apps/tallyhost.png

#include "app/artwork.h"

#include <QDir>
#include <QGuiApplication>
#include <QPixmap>

#include <cstdio>

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: tallyhost-render-icons OUTDIR SIZE...\n");
        return 2;
    }
    const QString root = QString::fromLocal8Bit(argv[1]);
    for (int i = 2; i < argc; ++i) {
        bool ok = false;
        const int size = QByteArray(argv[i]).toInt(&ok);
        if (!ok || size < 8 || size > 1024) {
            std::fprintf(stderr, "tallyhost-render-icons: bad size '%s'\n", argv[i]);
            return 2;
        }
        const QString dir = QStringLiteral("%1/%2x%2/apps").arg(root).arg(size);
        if (!QDir().mkpath(dir) ||
            !artwork::Logo(size).save(dir + QStringLiteral("/tallyhost.png"), "PNG")) {
            std::fprintf(stderr, "tallyhost-render-icons: cannot write %s\n", qPrintable(dir));
            return 1;
        }
    }
    return 0;
}
