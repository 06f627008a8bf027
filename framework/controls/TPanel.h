#pragma once

#include <QFrame>

// A plain container with a raised one-pixel bevel.
class TPanel : public QFrame {
    Q_OBJECT

public:
    explicit TPanel(QWidget* parent);
};
