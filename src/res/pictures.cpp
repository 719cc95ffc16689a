#include "pictures.h"

#include <QApplication>
#include <QPainter>
#include <QStyle>

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

QIcon programIcon() {
    QIcon icon;
    for (int size : {16, 32, 48, 64}) {
        icon.addPixmap(archivePixmap(size));
    }
    return icon;
}

} // namespace res
