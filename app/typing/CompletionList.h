#pragma once

#include "app/typing/TexCommands.h"

#include <QListWidget>
#include <QPointer>

class MemoView;
class QKeyEvent;

// The list of commands that opens under the caret while a command is typed
// (\ and letters): those that start so first, then those that contain the
// letters, each with the glyph it draws in the typesetter's own fonts.
// Up and Down choose, Enter or Tab insert the command with braces for its
// arguments and the caret in the first, Esc closes the list.
class CompletionList : public QListWidget {
    Q_OBJECT

public:
    explicit CompletionList(MemoView* view);

    // The macros file whose definitions the list offers too.
    void setMacrosText(const QString& text) { m_macrosText = text; }

    // Handles a key the editor is about to get; true when it was handled.
    bool takeKey(const QKeyEvent* key);
    // Looks at the command before the caret after the text changed.
    void update(bool isTyped);
    void insertCurrent();

    // The glyph of a command as the list draws it, for a tip.
    static QPixmap glyphOf(const QString& glyph, int size);

private:
    int commandStart(QString* prefix) const;
    void showFor(const QString& prefix);

    QPointer<MemoView> m_view;
    TexCommands m_commands;
    QString m_macrosText;
    int m_start = -1;
};
