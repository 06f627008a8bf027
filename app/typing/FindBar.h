#pragma once

#include <QFrame>
#include <QPointer>

class FindEngine;
class MemoView;
class QAbstractButton;
class QCheckBox;
class QLabel;
class QLineEdit;
class QKeyEvent;
class QPushButton;

// The bar that finds and replaces in the editor, over its top right corner.
// Ctrl+F in the editor opens it to find, Ctrl+H to replace too. Enter finds
// the next match and selects it (Shift+Enter the previous one), Esc closes
// the bar and leaves the match selected in the editor. Its buttons answer
// Alt and their underlined letter while the bar has the focus (Alt+A is
// Replace All); with the focus in the editor those keys stay the menu's.
class FindBar : public QFrame {
    Q_OBJECT

public:
    explicit FindBar(MemoView* view);

    void open(bool withReplace);
    void close();

    QLineEdit* findField() const { return m_find; }
    QLineEdit* replaceField() const { return m_replace; }
    QCheckBox* caseBox() const { return m_case; }
    QCheckBox* wholeWordBox() const { return m_wholeWord; }
    QCheckBox* regularExpressionBox() const { return m_regularExpression; }
    // The count of matches or what went wrong.
    QString message() const;
    FindEngine* engine() const { return m_engine; }

    void findNext();
    void findPrevious();
    void replaceOne();
    void replaceAll();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPushButton* button(const QString& text, void (FindBar::*action)());
    void patternChanged();
    void place();
    void select(int from, int to);
    void applyReplacement(int from, int to, const QString& text, int count);
    bool takeKey(QObject* watched, QKeyEvent* key);
    QAbstractButton* buttonOf(QChar letter) const;

    QPointer<MemoView> m_view;
    FindEngine* m_engine;
    QLineEdit* m_find;
    QLineEdit* m_replace;
    QCheckBox* m_case;
    QCheckBox* m_wholeWord;
    QCheckBox* m_regularExpression;
    QLabel* m_message;
    QList<QAbstractButton*> m_buttons;
};
