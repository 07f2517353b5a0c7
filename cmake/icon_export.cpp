// Writes a panel's icon into a hicolor tree, DIR/<size>x<size>/apps/NAME.png for each size given,
// from the program's own pixels: whole multiples keep the pixels sharp, other sizes are smoothed.
// Usage: <panel>_icon_export DIR NAME SIZE...
#include AMP_ICON_HEADER

#include <QDir>
#include <QImage>
#include <QString>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s DIR NAME SIZE...\n", argv[0]);
        return 2;
    }
    const QImage source(reinterpret_cast<const uchar*>(AMP_ICON_PIXELS()), AMP_ICON_SIZE, AMP_ICON_SIZE,
                        QImage::Format_ARGB32);
    for (int i = 3; i < argc; ++i) {
        const int size = std::atoi(argv[i]);
        const QString folder = QString("%1/%2x%2/apps").arg(argv[1]).arg(size);
        const Qt::TransformationMode mode =
            size >= AMP_ICON_SIZE && size % AMP_ICON_SIZE == 0 ? Qt::FastTransformation : Qt::SmoothTransformation;
        const QImage icon = source.scaled(size, size, Qt::IgnoreAspectRatio, mode);
        if (!QDir().mkpath(folder) || !icon.save(folder + "/" + argv[2] + ".png", "PNG")) {
            std::fprintf(stderr, "%s: cannot write %s/%s.png\n", argv[0], qPrintable(folder), argv[2]);
            return 1;
        }
    }
    return 0;
}
