// Build-time tool: writes the window icon as PNG files of the given sizes,
// scaled by whole pixels with nearest neighbour so the pixel art stays sharp.
// Usage: render_icon <picture.xpm> <out-dir> <size>...
#include <QDir>
#include <QImage>

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s picture.xpm out-dir size...\n", argv[0]);
        return 2;
    }
    const QImage picture(QString::fromLocal8Bit(argv[1]));
    if (picture.isNull()) {
        std::fprintf(stderr, "cannot read %s\n", argv[1]);
        return 1;
    }
    const QString outDir = QString::fromLocal8Bit(argv[2]);
    for (int i = 3; i < argc; ++i) {
        const int size = QString::fromLatin1(argv[i]).toInt();
        if (size <= 0 || size % picture.width() != 0) {
            std::fprintf(stderr, "size %s is not a whole multiple of %d\n", argv[i],
                         picture.width());
            return 1;
        }
        const QString dir = QStringLiteral("%1/%2x%2/apps").arg(outDir).arg(size);
        QDir().mkpath(dir);
        const QImage scaled =
            picture.convertToFormat(QImage::Format_ARGB32)
                .scaled(size, size, Qt::IgnoreAspectRatio, Qt::FastTransformation);
        if (!scaled.save(dir + QStringLiteral("/tellavo.png"), "PNG")) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(dir));
            return 1;
        }
    }
    return 0;
}
