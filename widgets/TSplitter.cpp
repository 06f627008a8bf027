#include "TSplitter.h"

TSplitter::TSplitter(QWidget* parent)
    : QWidget(parent)
{
    setCursor(Qt::SplitVCursor);
    setFixedHeight(3);
}
