#include "pictures.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPolygon>
#include <QStyle>
#include <vector>

namespace res {

namespace {

QPixmap standardPixmap(QStyle::StandardPixmap which, int size) {
    return QApplication::style()->standardIcon(which).pixmap(size, size);
}

// The archive side's pictures are the local ones in blue, so the two halves of the window read
// apart at a glance.
QPixmap tintedBlue(const QPixmap& source) {
    QPixmap tinted = source;
    QPainter painter(&tinted);
    painter.setCompositionMode(QPainter::CompositionMode_SourceAtop);
    painter.fillRect(tinted.rect(), QColor(40, 90, 220, 150));
    return tinted;
}

// A small archive: a box with a zipper down its middle.
QPixmap archivePixmap(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal unit = size / 16.0;
    painter.setPen(QPen(QColor(20, 50, 140), unit));
    painter.setBrush(QColor(90, 140, 235));
    painter.drawRoundedRect(QRectF(2 * unit, 1 * unit, 12 * unit, 14 * unit), 1.5 * unit, 1.5 * unit);
    painter.setPen(QPen(QColor(250, 220, 60), unit));
    for (int step = 0; step < 6; ++step) {
        const qreal y = (2.5 + 2 * step) * unit;
        painter.drawLine(QPointF(7 * unit, y), QPointF(9 * unit, y));
    }
    return pixmap;
}

// The program's icon: the picture of src/res/icons/pellix.svg, which the desktop shows for the
// program, drawn from the same shapes in its 64 by 64 units (a blue folder holding a zipped
// archive), so the window and the desktop show one icon.
QPixmap programPixmap(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 64.0, size / 64.0);
    painter.setPen(Qt::NoPen);

    QPainterPath back(QPointF(6, 14));
    back.arcTo(QRectF(6, 10, 8, 8), 180, -90);
    back.lineTo(23, 10);
    back.quadTo(QPointF(24.9, 10.1), QPointF(26, 11.3));
    back.lineTo(29.5, 15);
    back.lineTo(54, 15);
    back.arcTo(QRectF(50, 15, 8, 8), 90, -90);
    back.lineTo(58, 50);
    back.arcTo(QRectF(50, 46, 8, 8), 0, -90);
    back.lineTo(10, 54);
    back.arcTo(QRectF(6, 46, 8, 8), 270, -90);
    back.closeSubpath();
    painter.fillPath(back, QColor(0x2c, 0x5f, 0x99));

    const QColor front(0x4a, 0x8f, 0xd8);
    const QColor zipper(0xee, 0xf3, 0xf8);
    painter.setBrush(front);
    painter.drawRoundedRect(QRectF(6, 20, 52, 34), 4, 4);
    painter.fillRect(QRectF(6, 20, 52, 3), QColor(0x6a, 0xa7, 0xe6));
    for (int tooth = 0; tooth < 6; ++tooth) {
        painter.fillRect(QRectF(tooth % 2 == 0 ? 28 : 32, 20 + 3 * tooth, 4, 3), zipper);
    }
    painter.setBrush(zipper);
    painter.drawRoundedRect(QRectF(26.5, 38, 11, 12), 2.5, 2.5);
    painter.setBrush(front);
    painter.drawRoundedRect(QRectF(30, 41.5, 4, 5), 1, 1);
    return pixmap;
}

// The small pictures of src/res/icons/pellix-16.svg and pellix-24.svg: the folder and the zipper
// on whole pixels, drawn without smoothing, so that the zipper's teeth and pull stay apart where
// the big picture scaled down would blur them into one stripe.
struct SmallPicture {
    int size;
    QPolygon back;
    QRgb backColour;
    struct Cell {
        QRect rect;
        QRgb colour;
    };
    std::vector<Cell> cells;
};

const SmallPicture& smallPicture(int size) {
    constexpr QRgb kBack = 0xff2c5f99;
    constexpr QRgb kFront = 0xff4a8fd8;
    constexpr QRgb kLight = 0xff6aa7e6;
    constexpr QRgb kZipper = 0xffeef3f8;
    static const SmallPicture sixteen{
        16,
        QPolygon({QPoint(1, 3), QPoint(6, 3), QPoint(8, 5), QPoint(15, 5), QPoint(15, 15), QPoint(1, 15)}),
        kBack,
        {{QRect(1, 6, 14, 9), kFront},
         {QRect(1, 6, 14, 1), kLight},
         {QRect(7, 6, 1, 1), kZipper},
         {QRect(8, 7, 1, 1), kZipper},
         {QRect(7, 8, 1, 1), kZipper},
         {QRect(8, 9, 1, 1), kZipper},
         {QRect(6, 10, 4, 4), kZipper},
         {QRect(7, 11, 2, 2), kFront}}};
    static const SmallPicture twentyFour{
        24,
        QPolygon({QPoint(2, 4), QPoint(9, 4), QPoint(11, 6), QPoint(22, 6), QPoint(22, 22), QPoint(2, 22)}),
        kBack,
        {{QRect(2, 8, 20, 14), kFront},
         {QRect(2, 8, 20, 1), kLight},
         {QRect(10, 8, 2, 2), kZipper},
         {QRect(12, 10, 2, 2), kZipper},
         {QRect(10, 12, 2, 2), kZipper},
         {QRect(9, 15, 6, 6), kZipper},
         {QRect(11, 17, 2, 2), kFront}}};
    return size == 16 ? sixteen : twentyFour;
}

QPixmap smallProgramPixmap(int size) {
    const SmallPicture& picture = smallPicture(size);
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setPen(Qt::NoPen);
    // A polygon filled without smoothing covers the pixels whose centres lie inside it, as the
    // SVG's path does on a whole-pixel grid.
    QPainterPath back;
    back.addPolygon(QPolygonF(picture.back));
    back.closeSubpath();
    painter.fillPath(back, QColor::fromRgba(picture.backColour));
    for (const SmallPicture::Cell& cell : picture.cells) {
        painter.fillRect(cell.rect, QColor::fromRgba(cell.colour));
    }
    painter.end();
    return QPixmap::fromImage(image);
}

} // namespace

QIcon smallImage(int index) {
    switch (index) {
    case 0:
        return QIcon(standardPixmap(QStyle::SP_DriveHDIcon, 16));
    case 1:
        return QIcon(standardPixmap(QStyle::SP_DirClosedIcon, 16));
    case 2:
        return QIcon(standardPixmap(QStyle::SP_FileIcon, 16));
    case 3:
        return QIcon(standardPixmap(QStyle::SP_DirOpenIcon, 16));
    case 4:
        return QIcon(tintedBlue(standardPixmap(QStyle::SP_DirClosedIcon, 16)));
    case 5:
        return QIcon(tintedBlue(standardPixmap(QStyle::SP_FileIcon, 16)));
    case 6:
        return QIcon(tintedBlue(standardPixmap(QStyle::SP_DirOpenIcon, 16)));
    case 7:
        return QIcon(standardPixmap(QStyle::SP_ComputerIcon, 16));
    case 8:
        return QIcon(archivePixmap(16));
    default:
        return QIcon();
    }
}

QPixmap largeImage(int index) {
    return index == 0 ? standardPixmap(QStyle::SP_ComputerIcon, 32) : archivePixmap(32);
}

QIcon withLock(const QIcon& icon) {
    QIcon locked;
    for (QIcon::Mode mode : {QIcon::Normal, QIcon::Selected}) {
        QPixmap pixmap = icon.pixmap(16, 16, mode);
        if (pixmap.isNull()) {
            continue;
        }
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        const qreal unit = pixmap.width() / 16.0;
        // The shackle, then the body over its ends.
        painter.setPen(QPen(QColor(90, 60, 10), 1.4 * unit));
        painter.setBrush(Qt::NoBrush);
        painter.drawArc(QRectF(9 * unit, 6.5 * unit, 5 * unit, 6 * unit), 0, 180 * 16);
        painter.setPen(QPen(QColor(90, 60, 10), unit));
        painter.setBrush(QColor(240, 190, 40));
        painter.drawRoundedRect(QRectF(8 * unit, 9.5 * unit, 7 * unit, 6 * unit), unit, unit);
        painter.end();
        locked.addPixmap(pixmap, mode);
    }
    return locked;
}

QIcon programIcon() {
    QIcon icon;
    icon.addPixmap(smallProgramPixmap(16));
    icon.addPixmap(smallProgramPixmap(24));
    for (int size : {32, 48, 64, 128}) {
        icon.addPixmap(programPixmap(size));
    }
    return icon;
}

} // namespace res
