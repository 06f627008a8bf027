#pragma once

#include "app/preview/FormulaExporter.h"

#include <QObject>
#include <QPoint>
#include <QTemporaryDir>

#include <functional>
#include <memory>

class QMimeData;
class QWebEngineView;

// Dragging a formula out of the preview with the left button. A press on a
// formula and a move past the drag distance start a drag that carries every
// form of it, and the PNG and the SVG also as files: many targets take a
// dropped file but not raw image data. The page starts no text selection on a
// formula, so a press elsewhere still selects text and a click stays a click.
class FormulaDrag : public QObject {
    Q_OBJECT

public:
    FormulaDrag(QWebEngineView* view, FormulaExporter* exporter);
    ~FormulaDrag() override;

    // The drag's data: every form the exporter makes, and the PNG and the
    // SVG written to files in the private folder, as a list of local files.
    void makeData(const ExportTarget& target, std::function<void(QMimeData*)> done);
    // The folder the files go to, only the user's, removed at exit; empty
    // until the first drag.
    QString folder() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    enum class State { Idle, Asking, Pressed, Preparing };

    void watch(QObject* widget);
    void onPress(const QPoint& point);
    void onMove(const QPoint& point);
    void onDescribed(const ExportTarget& target);
    void prepare();
    void start(QMimeData* data);
    bool addFiles(QMimeData* data);

    QWebEngineView* m_view;
    FormulaExporter* m_exporter;
    std::unique_ptr<QTemporaryDir> m_folder;
    State m_state = State::Idle;
    // Tells the answers to an earlier press from those to the current one.
    int m_press = 0;
    QPoint m_pressPoint;
    bool m_hasMoved = false;
    ExportTarget m_target;
    int m_files = 0;
};
