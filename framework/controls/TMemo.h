#pragma once

#include "editor/MemoView.h"

#include <memory>

class TMemoStrings;

// The multi-line text editor component. Its text is presented with CR LF
// line breaks whatever breaks it was given; its lines are read through the
// line store. Keys, mouse, layout and undo are the editor view's.
class TMemo : public MemoView {
    Q_OBJECT

public:
    explicit TMemo(QWidget* parent);
    ~TMemo() override;

    TMemoStrings* Lines() const { return m_lines.get(); }

    QString Text() const;
    void SetText(const QString& text);

private:
    std::unique_ptr<TMemoStrings> m_lines;
};
