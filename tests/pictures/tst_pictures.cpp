// The 25 status pictures and the window icon, read back from the compiled-in resources.
#include "pictures.h"

#include <QFile>
#include <QImage>
#include <QPoint>
#include <QRect>
#include <QSet>
#include <QTest>

#include <algorithm>
#include <set>
#include <utility>

namespace {

constexpr QRgb kBlue = qRgb(0, 0, 255);
constexpr QRgb kTeal = qRgb(0, 128, 128);
constexpr QRgb kNavy = qRgb(0, 0, 128);
constexpr QRgb kLightGrey = qRgb(182, 182, 182);
constexpr QRgb kMidGrey = qRgb(128, 128, 128);
constexpr QRgb kBlack = qRgb(0, 0, 0);
constexpr QRgb kWhite = qRgb(255, 255, 255);
constexpr QRgb kRed = qRgb(255, 0, 0);
constexpr QRgb kYellow = qRgb(255, 255, 0);
constexpr QRgb kOlive = qRgb(128, 128, 0);
constexpr QRgb kCyan = qRgb(0, 255, 255);

constexpr int kSize = 16;

// Battery cell: outline columns and rows, and the 11 interior rows that hold the charge.
constexpr int kBodyLeft = 3;
constexpr int kBodyRight = 12;
constexpr int kBodyTop = 3;
constexpr int kBodyBottom = 15;
constexpr int kInteriorLeft = kBodyLeft + 1;
constexpr int kInteriorRight = kBodyRight - 1;
constexpr int kInteriorTop = kBodyTop + 1;
constexpr int kInteriorBottom = kBodyBottom - 1;

// Mains gauge: highlight column, 3-px black bar, and the cells of its inner column.
constexpr int kHighlightColumn = 0;
constexpr int kBarLeft = 1;
constexpr int kGaugeColumn = 2;
constexpr int kBarRight = 3;
constexpr int kCellTop = 3;
constexpr int kCellBottom = 12;
constexpr int kCellCount = kCellBottom - kCellTop + 1;

// The diamond sits in this bottom-right square.
constexpr int kCornerLeft = 11;
constexpr int kCornerTop = 11;

QImage picture(int number)
{
    return QImage(tellavo::picturePath(number)).convertToFormat(QImage::Format_ARGB32);
}

bool isTransparent(const QImage& image, int x, int y)
{
    return qAlpha(image.pixel(x, y)) == 0;
}

// Exact colour match of an opaque pixel.
bool is(const QImage& image, int x, int y, QRgb colour)
{
    return image.pixel(x, y) == colour;
}

// The pixels of that colour, as (x, y), in rows top..bottom (every row when
// bottom is -1).
std::set<std::pair<int, int>> pixelsOf(const QImage& image, QRgb colour, int top = 0,
                                       int bottom = -1)
{
    std::set<std::pair<int, int>> found;
    for (int y = top; y <= (bottom < 0 ? image.height() - 1 : bottom); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (is(image, x, y, colour))
                found.insert({x, y});
    return found;
}

bool contains(const QImage& image, QRgb colour)
{
    return !pixelsOf(image, colour).empty();
}

bool rowContains(const QImage& image, int y, QRgb colour)
{
    return !pixelsOf(image, colour, y, y).empty();
}

QString where(int x, int y)
{
    return QStringLiteral("at %1,%2").arg(x).arg(y);
}

// Bounding box of the red pixels in rows top..bottom; null when there are none.
QRect redBox(const QImage& image, int top, int bottom)
{
    QRect box;
    for (const auto& [x, y] : pixelsOf(image, kRed, top, bottom))
        box = box.united(QRect(x, y, 1, 1));
    return box;
}

int redCount(const QImage& image, int top, int bottom)
{
    return int(pixelsOf(image, kRed, top, bottom).size());
}

bool isWedge(const QImage& image, int x, int y)
{
    return is(image, x, y, kCyan) || is(image, x, y, kTeal);
}

// A table of one column, "number": the pictures first..last.
void addPictureRows(int first, int last)
{
    QTest::addColumn<int>("number");
    for (int number = first; number <= last; ++number)
        QTest::addRow("picture %d", number) << number;
}

// The battery pictures first..last ("number") and their charged interior
// rows ("charged"), as the series is meant to read.
void addBatteryRows(int first, int last)
{
    QTest::addColumn<int>("number");
    QTest::addColumn<int>("charged");
    static const int kCharged[] = {11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0};
    for (int number = first; number <= last; ++number)
        QTest::addRow("picture %d", number) << number << kCharged[number - 1];
}

}  // namespace

class TestPictures : public QObject {
    Q_OBJECT
private slots:
    void resourcePresence_data();
    void resourcePresence();
    void iconIsPictureFive();
    void format_data() { addPictureRows(1, 25); }
    void format();

    void batteryCharge_data() { addBatteryRows(1, 12); }
    void batteryCharge();
    void batteryChargeShading_data() { addBatteryRows(1, 11); }
    void batteryChargeShading();
    void batteryEmptyPart_data() { addBatteryRows(1, 12); }
    void batteryEmptyPart();
    void batteryFrame_data() { addPictureRows(1, 12); }
    void batteryFrame();
    void batterySeriesDiffersOnlyInFill_data() { addPictureRows(1, 11); }
    void batterySeriesDiffersOnlyInFill();
    void batterySigns_data() { addPictureRows(1, 12); }
    void batterySigns();

    void mainsGauge_data();
    void mainsGauge();
    void mainsGaugeCells_data();
    void mainsGaugeCells();
    void mainsSeriesDiffersOnlyInCells_data() { addPictureRows(14, 23); }
    void mainsSeriesDiffersOnlyInCells();
    void mainsWedge_data() { addPictureRows(14, 24); }
    void mainsWedge();
    void mainsFullCord_data() { addPictureRows(13, 13); }
    void mainsFullCord();
    void diamond_data() { addPictureRows(13, 24); }
    void diamond();

    void noReading_data() { addPictureRows(25, 25); }
    void noReading();
};

void TestPictures::resourcePresence_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("present");
    QTest::newRow("picture 0") << QStringLiteral(":/pictures/0.xpm") << false;
    for (int number = 1; number <= 25; ++number)
        QTest::addRow("picture %d", number)
            << QStringLiteral(":/pictures/%1.xpm").arg(number) << true;
    QTest::newRow("picture 26") << QStringLiteral(":/pictures/26.xpm") << false;
    QTest::newRow("icon") << QStringLiteral(":/icon/tellavo.xpm") << true;
}

void TestPictures::resourcePresence()
{
    QFETCH(QString, path);
    QFETCH(bool, present);
    QCOMPARE(QFile::exists(path), present);
}

void TestPictures::iconIsPictureFive()
{
    const QImage icon(tellavo::iconPath());
    QVERIFY(!icon.isNull());
    QCOMPARE(icon, QImage(tellavo::picturePath(5)));
    QVERIFY(icon != QImage(tellavo::picturePath(4)));
}

void TestPictures::format()
{
    QFETCH(int, number);
    const QImage stored(tellavo::picturePath(number));
    QVERIFY(!stored.isNull());
    QCOMPARE(stored.size(), QSize(kSize, kSize));
    // Palette-based: one index per pixel into a table of at most 256 entries.
    QCOMPARE(stored.format(), QImage::Format_Indexed8);
    QVERIFY(stored.colorCount() <= 256);

    const QImage image = picture(number);
    QSet<QRgb> colours;
    bool transparent = false;
    for (int y = 0; y < kSize; ++y) {
        for (int x = 0; x < kSize; ++x) {
            const int alpha = qAlpha(image.pixel(x, y));
            QVERIFY2(alpha == 0 || alpha == 255, qPrintable(where(x, y)));
            transparent = transparent || alpha == 0;
            colours.insert(image.pixel(x, y));
        }
    }
    QVERIFY(transparent);
    QVERIFY(colours.size() <= 256);
}

void TestPictures::batteryCharge()
{
    QFETCH(int, number);
    QFETCH(int, charged);
    const QImage image = picture(number);
    const int firstCharged = kInteriorBottom - charged + 1;
    for (int y = 0; y < kSize; ++y) {
        const bool expected = y >= firstCharged && y <= kInteriorBottom;
        QVERIFY2(rowContains(image, y, kBlue) == expected, qPrintable(QString::number(y)));
    }
    // A charged row is charge all across: nothing of the empty body shows through.
    for (int y = firstCharged; y <= kInteriorBottom; ++y) {
        for (int x = kInteriorLeft; x <= kInteriorRight; ++x) {
            const bool charge = is(image, x, y, kBlue) || is(image, x, y, kTeal) ||
                                is(image, x, y, kNavy) || is(image, x, y, kRed);
            QVERIFY2(charge, qPrintable(where(x, y)));
        }
    }
}

void TestPictures::batteryChargeShading()
{
    QFETCH(int, number);
    QFETCH(int, charged);
    const QImage image = picture(number);
    QSet<int> stripeWidths;
    for (int y = kInteriorBottom - charged + 1; y <= kInteriorBottom; ++y) {
        int lastTeal = -1, firstBlue = kSize, lastBlue = -1, firstNavy = kSize;
        int teal = 0;
        for (int x = kInteriorLeft; x <= kInteriorRight; ++x) {
            if (is(image, x, y, kTeal)) {
                lastTeal = x;
                ++teal;
            }
            if (is(image, x, y, kBlue)) {
                firstBlue = std::min(firstBlue, x);
                lastBlue = x;
            }
            if (is(image, x, y, kNavy))
                firstNavy = std::min(firstNavy, x);
        }
        const QString row = QString::number(y);
        QVERIFY2(lastTeal >= 0 && lastTeal < firstBlue, qPrintable(row));
        QVERIFY2(firstNavy < kSize && firstNavy > lastBlue, qPrintable(row));
        stripeWidths.insert(teal);
    }
    // Notched: the stripe is not the same width all the way down.
    if (charged >= 2)
        QVERIFY(stripeWidths.size() > 1);
}

void TestPictures::batteryEmptyPart()
{
    QFETCH(int, number);
    QFETCH(int, charged);
    const QImage image = picture(number);
    const int firstCharged = kInteriorBottom - charged + 1;
    // Just above a partial charge only its two edge pixels show.
    const bool partial = charged > 0 && charged < kInteriorBottom - kInteriorTop + 1;
    const int edgeRow = firstCharged - 1;
    if (partial) {
        QVERIFY(!rowContains(image, edgeRow, kBlue));
        for (int x : {kInteriorLeft, kInteriorRight}) {
            QVERIFY2(!is(image, x, edgeRow, kLightGrey), qPrintable(where(x, edgeRow)));
            QCOMPARE(image.pixel(x, edgeRow), image.pixel(x, firstCharged));
        }
        for (int x = kInteriorLeft + 1; x < kInteriorRight; ++x) {
            const bool empty = is(image, x, edgeRow, kLightGrey) || is(image, x, edgeRow, kRed);
            QVERIFY2(empty, qPrintable(where(x, edgeRow)));
        }
    }
    const int lastEmpty = partial ? edgeRow - 1 : firstCharged - 1;
    for (int y = kInteriorTop; y <= lastEmpty; ++y) {
        for (int x = kInteriorLeft; x <= kInteriorRight; ++x) {
            const bool empty = is(image, x, y, kLightGrey) || is(image, x, y, kRed);
            QVERIFY2(empty, qPrintable(where(x, y)));
        }
    }
}

void TestPictures::batteryFrame()
{
    QFETCH(int, number);
    const QImage image = picture(number);
    QRect opaque;
    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; ++x)
            if (!isTransparent(image, x, y))
                opaque = opaque.united(QRect(x, y, 1, 1));
    QCOMPARE(opaque.width(), 10);
    QCOMPARE(opaque.height(), 15);

    for (int y = kInteriorTop; y <= kInteriorBottom; ++y) {
        QVERIFY2(is(image, kBodyLeft, y, kMidGrey), qPrintable(where(kBodyLeft, y)));
        QVERIFY2(is(image, kBodyRight, y, kBlack), qPrintable(where(kBodyRight, y)));
    }
    for (int x = kBodyLeft; x <= kBodyRight; ++x)
        QVERIFY2(is(image, x, kBodyBottom, kBlack), qPrintable(where(x, kBodyBottom)));

    // Terminal cap: narrower than the body, centred on it, grey with a white highlight.
    QRect cap;
    bool white = false, grey = false;
    for (int y = 0; y < kBodyTop; ++y) {
        for (int x = 0; x < kSize; ++x) {
            if (isTransparent(image, x, y))
                continue;
            cap = cap.united(QRect(x, y, 1, 1));
            white = white || is(image, x, y, kWhite);
            const QRgb p = image.pixel(x, y);
            grey = grey ||
                   (p != kWhite && p != kBlack && qRed(p) == qGreen(p) && qGreen(p) == qBlue(p));
        }
    }
    QVERIFY(!cap.isNull());
    QVERIFY(cap.width() < kInteriorRight - kInteriorLeft + 1);
    QCOMPARE(cap.left() + cap.right(), kBodyLeft + kBodyRight);
    QVERIFY(white);
    QVERIFY(grey);
}

void TestPictures::batterySeriesDiffersOnlyInFill()
{
    QFETCH(int, number);
    const QImage image = picture(number);
    const QImage empty = picture(12);
    for (int y = 0; y < kSize; ++y) {
        for (int x = 0; x < kSize; ++x) {
            const bool inside = x >= kInteriorLeft && x <= kInteriorRight && y >= kInteriorTop &&
                                y <= kInteriorBottom;
            if (!inside)
                QVERIFY2(image.pixel(x, y) == empty.pixel(x, y), qPrintable(where(x, y)));
            else  // the signs stay where they are, over charge and empty part alike
                QVERIFY2(is(image, x, y, kRed) == is(empty, x, y, kRed), qPrintable(where(x, y)));
        }
    }
}

void TestPictures::batterySigns()
{
    QFETCH(int, number);
    const QImage image = picture(number);
    const int middle = (kInteriorTop + kInteriorBottom) / 2;
    const int lowerPart = kInteriorBottom - 2;

    // Red appears only in the upper half (plus) and the lowest rows (minus).
    QCOMPARE(redCount(image, 0, kSize - 1),
             redCount(image, kInteriorTop, middle) + redCount(image, lowerPart, kInteriorBottom));
    for (int y = kInteriorTop; y <= kInteriorBottom; ++y) {
        QVERIFY2(!is(image, kInteriorLeft, y, kRed), qPrintable(where(kInteriorLeft, y)));
        QVERIFY2(!is(image, kInteriorRight, y, kRed), qPrintable(where(kInteriorRight, y)));
    }

    const QRect plus = redBox(image, kInteriorTop, middle);
    QVERIFY(!plus.isNull());
    QVERIFY(plus.width() >= 3);
    QCOMPARE(plus.height(), plus.width());
    for (const QPoint& corner :
         {plus.topLeft(), plus.topRight(), plus.bottomLeft(), plus.bottomRight()})
        QVERIFY2(!is(image, corner.x(), corner.y(), kRed),
                 qPrintable(where(corner.x(), corner.y())));
    const int midRow = (plus.top() + plus.bottom()) / 2;
    const int midColumn = (plus.left() + plus.right()) / 2;
    for (int x = plus.left(); x <= plus.right(); ++x)
        QVERIFY2(is(image, x, midRow, kRed), qPrintable(where(x, midRow)));
    for (int y = plus.top(); y <= plus.bottom(); ++y)
        QVERIFY2(is(image, midColumn, y, kRed), qPrintable(where(midColumn, y)));

    const QRect minus = redBox(image, lowerPart, kInteriorBottom);
    QVERIFY(!minus.isNull());
    QVERIFY(minus.width() >= 3);
    QVERIFY(minus.height() < minus.width());
    QCOMPARE(minus.left() + minus.right(), plus.left() + plus.right());
    for (int y = minus.top(); y <= minus.bottom(); ++y)
        for (int x = minus.left(); x <= minus.right(); ++x)
            QVERIFY2(is(image, x, y, kRed), qPrintable(where(x, y)));
}

void TestPictures::mainsGauge_data()
{
    QTest::addColumn<int>("number");
    QTest::addColumn<bool>("gauge");
    QTest::newRow("picture 13") << 13 << false;
    for (int number = 14; number <= 24; ++number)
        QTest::addRow("picture %d", number) << number << true;
}

void TestPictures::mainsGauge()
{
    QFETCH(int, number);
    QFETCH(bool, gauge);
    const QImage image = picture(number);
    if (!gauge) {
        QVERIFY(!contains(image, kRed));
        for (int x = 0; x <= kBarRight; ++x) {
            bool allBlack = true;
            for (int y = 0; y < kSize; ++y)
                allBlack = allBlack && is(image, x, y, kBlack);
            QVERIFY2(!allBlack, qPrintable(QString::number(x)));
        }
        return;
    }
    for (int y = 0; y < kSize; ++y) {
        QVERIFY2(is(image, kBarLeft, y, kBlack), qPrintable(where(kBarLeft, y)));
        QVERIFY2(is(image, kBarRight, y, kBlack), qPrintable(where(kBarRight, y)));
        if (y < kCellTop || y > kCellBottom)
            QVERIFY2(is(image, kGaugeColumn, y, kBlack), qPrintable(where(kGaugeColumn, y)));
    }
    // Highlight to the left of the bar, in the upper half only.
    bool white = false, grey = false;
    for (int y = 0; y < kSize / 2; ++y) {
        white = white || is(image, kHighlightColumn, y, kWhite);
        grey = grey || is(image, kHighlightColumn, y, kMidGrey);
    }
    QVERIFY(white);
    QVERIFY(grey);
    for (int y = kSize / 2; y < kSize; ++y)
        QVERIFY2(isTransparent(image, kHighlightColumn, y), qPrintable(where(kHighlightColumn, y)));
}

void TestPictures::mainsGaugeCells_data()
{
    QTest::addColumn<int>("number");
    QTest::addColumn<int>("red");
    static const int kRedCells[] = {10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0};
    for (int number = 14; number <= 24; ++number)
        QTest::addRow("picture %d", number) << number << kRedCells[number - 14];
}

void TestPictures::mainsGaugeCells()
{
    QFETCH(int, number);
    QFETCH(int, red);
    const QImage image = picture(number);
    for (int cell = 0; cell < kCellCount; ++cell) {
        const int y = kCellBottom - cell;
        if (cell < red)
            QVERIFY2(is(image, kGaugeColumn, y, kRed), qPrintable(where(kGaugeColumn, y)));
        else
            QVERIFY2(isTransparent(image, kGaugeColumn, y), qPrintable(where(kGaugeColumn, y)));
    }
    QCOMPARE(int(pixelsOf(image, kRed).size()), red);
}

void TestPictures::mainsSeriesDiffersOnlyInCells()
{
    QFETCH(int, number);
    const QImage image = picture(number);
    const QImage empty = picture(24);
    for (int y = 0; y < kSize; ++y)
        for (int x = 0; x < kSize; ++x)
            if (x != kGaugeColumn || y < kCellTop || y > kCellBottom)
                QVERIFY2(image.pixel(x, y) == empty.pixel(x, y), qPrintable(where(x, y)));
}

void TestPictures::mainsWedge()
{
    QFETCH(int, number);
    const QImage image = picture(number);
    QVERIFY(contains(image, kCyan));
    QVERIFY(is(image, kSize - 1, 0, kTeal));  // reaches the top-right corner

    // Column by column: the top of the wedge, and its flat bottom.
    int left = kSize, bottom = -1;
    QList<int> tops;
    for (int x = 0; x < kSize; ++x) {
        int top = -1, lowest = -1;
        for (int y = 0; y < kSize; ++y) {
            if (!isWedge(image, x, y))
                continue;
            QVERIFY2(x > kBarRight, qPrintable(where(x, y)));
            if (top < 0)
                top = y;
            lowest = y;
        }
        if (top < 0) {
            QVERIFY2(tops.isEmpty(), qPrintable(QString::number(x)));  // one piece
            continue;
        }
        left = std::min(left, x);
        if (bottom < 0)
            bottom = lowest;
        QCOMPARE(lowest, bottom);
        tops.append(top);
    }
    QCOMPARE(left + tops.size(), kSize);
    QVERIFY(bottom < kCornerTop);
    // Rises from lower left to upper right...
    QVERIFY(std::is_sorted(tops.rbegin(), tops.rend()));
    QVERIFY(tops.first() > tops.last() + 4);
    // ...in three steps: flat treads of at least two pixels.
    int treads = 0;
    for (int i = 0; i < tops.size();) {
        int j = i;
        while (j < tops.size() && tops[j] == tops[i])
            ++j;
        treads += j - i >= 2 ? 1 : 0;
        i = j;
    }
    QCOMPARE(treads, 3);

    // Teal outline: cyan never touches the outside.
    for (int y = 0; y < kSize; ++y) {
        for (int x = 0; x < kSize; ++x) {
            if (!is(image, x, y, kCyan))
                continue;
            for (const QPoint& d : {QPoint(1, 0), QPoint(-1, 0), QPoint(0, 1), QPoint(0, -1)}) {
                const int nx = x + d.x(), ny = y + d.y();
                QVERIFY2(nx >= 0 && ny >= 0 && nx < kSize && ny < kSize && isWedge(image, nx, ny),
                         qPrintable(where(x, y)));
            }
        }
    }

    // The cord stub below the wedge, left of the diamond.
    bool stub = false;
    for (int y = bottom + 1; y < kSize; ++y)
        for (int x = kBarRight + 1; x < kCornerLeft; ++x)
            stub = stub || is(image, x, y, kMidGrey);
    QVERIFY(stub);
}

void TestPictures::mainsFullCord()
{
    QFETCH(int, number);
    const QImage image = picture(number);
    for (QRgb absent : {kCyan, kTeal, kBlue, kNavy, kRed})
        QVERIFY(!contains(image, absent));
    QVERIFY(contains(image, kBlack));
    QVERIFY(contains(image, kWhite));
    QVERIFY(contains(image, kMidGrey));

    // Enters at the top-left corner only...
    QVERIFY(!isTransparent(image, 0, 0));
    for (int x = kSize / 3; x < kSize; ++x)
        QVERIFY2(isTransparent(image, x, 0), qPrintable(where(x, 0)));
    // ...and runs along the bottom towards the diamond.
    int minX = kSize, maxX = -1;
    for (int y = kCornerTop; y < kSize; ++y) {
        for (int x = 0; x < kCornerLeft; ++x) {
            if (!isTransparent(image, x, y)) {
                minX = std::min(minX, x);
                maxX = std::max(maxX, x);
            }
        }
    }
    QVERIFY(minX <= 3);
    QCOMPARE(maxX, kCornerLeft - 1);
    // Nothing in the upper right: no wedge, no gauge, no battery.
    for (int y = 0; y < kSize / 2; ++y)
        for (int x = kSize / 2; x < kSize; ++x)
            QVERIFY2(isTransparent(image, x, y), qPrintable(where(x, y)));
}

void TestPictures::diamond()
{
    QFETCH(int, number);
    const QImage image = picture(number);
    const auto yellow = pixelsOf(image, kYellow);
    const auto olive = pixelsOf(image, kOlive);
    QVERIFY(!yellow.empty());
    QVERIFY(!olive.empty());
    for (const auto& set : {yellow, olive})
        for (const auto& [x, y] : set)
            QVERIFY2(x >= kCornerLeft && y >= kCornerTop, qPrintable(where(x, y)));
    // A diamond, not a square: the right-hand corners stay clear.
    QVERIFY(isTransparent(image, kSize - 1, kCornerTop));
    QVERIFY(isTransparent(image, kSize - 1, kSize - 1));
    // The same diamond throughout the mains pictures.
    const QImage full = picture(13);
    QVERIFY(yellow == pixelsOf(full, kYellow));
    QVERIFY(olive == pixelsOf(full, kOlive));
}

void TestPictures::noReading()
{
    QFETCH(int, number);
    const QImage image = picture(number);
    QVERIFY(contains(image, kWhite));
    QVERIFY(!contains(image, kRed));

    // Rim: the grey pixels, darker towards the lower right.
    double upperLeft = 0, lowerRight = 0;
    int upperLeftCount = 0, lowerRightCount = 0;
    int lowestRow = -1;
    for (int y = 0; y < kSize; ++y) {
        for (int x = 0; x < kSize; ++x) {
            if (isTransparent(image, x, y))
                continue;
            lowestRow = y;
            const QRgb p = image.pixel(x, y);
            if (p == kWhite || p == kBlue)
                continue;
            QVERIFY2(qRed(p) == qGreen(p) && qGreen(p) == qBlue(p), qPrintable(where(x, y)));
            if (x + y < kSize - 1) {
                upperLeft += qGray(p);
                ++upperLeftCount;
            } else if (x + y > kSize - 1) {
                lowerRight += qGray(p);
                ++lowerRightCount;
            }
        }
    }
    QVERIFY(upperLeftCount > 0 && lowerRightCount > 0);
    QVERIFY(lowerRight / lowerRightCount < upperLeft / upperLeftCount);

    // A short tail pointing down: the lowest row is a single point.
    int tailWidth = 0;
    for (int x = 0; x < kSize; ++x)
        tailWidth += isTransparent(image, x, lowestRow) ? 0 : 1;
    QCOMPARE(tailWidth, 1);

    // Two question marks, the left one upside down: its dot is at the top, the right one's at
    // the bottom, and each is the other turned half round.
    const auto blue = pixelsOf(image, kBlue);
    QVERIFY(!blue.empty());
    std::set<std::pair<int, int>> leftMark, rightMark;
    QRect box;
    for (const auto& [x, y] : blue) {
        (x < kSize / 2 ? leftMark : rightMark).insert({x, y});
        box = box.united(QRect(x, y, 1, 1));
    }
    QVERIFY(!leftMark.empty());
    QVERIFY(!rightMark.empty());
    std::set<std::pair<int, int>> turned;
    for (const auto& [x, y] : rightMark)
        turned.insert({box.left() + box.right() - x, box.top() + box.bottom() - y});
    QVERIFY(turned == leftMark);

    const auto rowHas = [](const std::set<std::pair<int, int>>& mark, int y) {
        return std::any_of(mark.begin(), mark.end(), [y](const auto& p) { return p.second == y; });
    };
    const int rightBottom =
        std::max_element(rightMark.begin(), rightMark.end(), [](const auto& a, const auto& b) {
            return a.second < b.second;
        })->second;
    QVERIFY(!rowHas(rightMark, rightBottom - 1));  // the dot stands apart below the hook
    QVERIFY(rowHas(rightMark, rightBottom - 2));
}

QTEST_GUILESS_MAIN(TestPictures)
#include "tst_pictures.moc"
