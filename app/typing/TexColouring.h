#pragma once

#include <QObject>
#include <QPointer>
#include <QTextLayout>

class MemoView;
class TexSource;

// Colours the editor's text as TeX (TexColours), piece by piece as the
// editor lays its text out.
class TexColouring : public QObject {
    Q_OBJECT

public:
    TexColouring(MemoView* view, TexSource* source);

    // The formats of a stretch, from its start.
    QList<QTextLayout::FormatRange> formatsFor(int from, int to);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPointer<MemoView> m_view;
    TexSource* m_source;
    QList<QTextCharFormat> m_formats;
};
