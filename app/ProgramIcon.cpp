#include "ProgramIcon.h"

#include <QFont>
#include <QPainter>
#include <QPixmap>

QIcon ProgramIcon()
{
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::white);
    QPainter painter(&pixmap);
    painter.setPen(QPen(Qt::darkBlue, 1));
    painter.drawRect(0, 0, 31, 31);
    QFont font(QStringLiteral("serif"));
    font.setItalic(true);
    font.setPixelSize(20);
    painter.setFont(font);
    painter.setPen(Qt::black);
    painter.drawText(QRect(3, 6, 18, 24), Qt::AlignCenter, QStringLiteral("x"));
    font.setPixelSize(12);
    font.setItalic(false);
    painter.setFont(font);
    painter.setPen(Qt::darkRed);
    painter.drawText(QRect(18, 2, 12, 14), Qt::AlignCenter, QStringLiteral("2"));
    painter.end();
    return QIcon(pixmap);
}
