#include "app/typing/FindBar.h"

#include "app/typing/FindEngine.h"
#include "controls/KeyClaims.h"
#include "core/ExceptionBoundary.h"
#include "editor/MemoText.h"
#include "editor/MemoView.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

// The letter a text underlines (after its &), lower case; none for none.
QChar mnemonicOf(const QString& text)
{
    const qsizetype at = text.indexOf(u'&');
    return at >= 0 && at + 1 < text.size() ? text[at + 1].toLower() : QChar();
}

// The letter of Alt and a letter's key, whatever the layout types with it.
QChar altLetterOf(const QKeyEvent* key)
{
    if ((key->modifiers() & ~Qt::KeypadModifier) != Qt::AltModifier)
        return {};
    if (key->key() >= Qt::Key_A && key->key() <= Qt::Key_Z)
        return QChar(u'a' + (key->key() - Qt::Key_A));
    return {};
}

} // namespace

FindBar::FindBar(MemoView* view)
    : QFrame(view)
    , m_view(view)
    , m_engine(new FindEngine(view->document()))
    , m_find(new QLineEdit(this))
    , m_replace(new QLineEdit(this))
    , m_case(new QCheckBox(QStringLiteral("Match &case"), this))
    , m_wholeWord(new QCheckBox(QStringLiteral("&Whole word"), this))
    , m_regularExpression(new QCheckBox(QStringLiteral("Re&gular expression"), this))
    , m_message(new QLabel(this))
{
    setObjectName(QStringLiteral("FindBar"));
    setFrameShape(QFrame::StyledPanel);
    setAutoFillBackground(true);
    m_find->setPlaceholderText(QStringLiteral("Find"));
    m_find->setAccessibleName(QStringLiteral("Find"));
    m_replace->setPlaceholderText(QStringLiteral("Replace with"));
    m_replace->setAccessibleName(QStringLiteral("Replace with"));
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(4, 4, 4, 4);
    grid->setSpacing(4);
    grid->addWidget(m_find, 0, 0);
    grid->addWidget(button(QStringLiteral("&Previous"), &FindBar::findPrevious), 0, 1);
    grid->addWidget(button(QStringLiteral("&Next"), &FindBar::findNext), 0, 2);
    grid->addWidget(button(QStringLiteral("Close"), &FindBar::close), 0, 3);
    grid->addWidget(m_replace, 1, 0);
    grid->addWidget(button(QStringLiteral("&Replace"), &FindBar::replaceOne), 1, 1);
    grid->addWidget(button(QStringLiteral("Replace &All"), &FindBar::replaceAll), 1, 2);
    auto* options = new QHBoxLayout;
    for (QCheckBox* box : { m_case, m_wholeWord, m_regularExpression }) {
        options->addWidget(box);
        m_buttons.append(box);
        connect(box, &QCheckBox::toggled, this, [this] { guarded(this, [this] { patternChanged(); }); });
    }
    options->addWidget(m_message, 1);
    grid->addLayout(options, 2, 0, 1, 4);
    setTabOrder(m_find, m_replace);
    for (QAbstractButton* b : std::as_const(m_buttons)) {
        // The bar takes its letters itself (takeKey), so they do not clash
        // with the menu's while the focus is elsewhere.
        b->setShortcut(QKeySequence());
        b->setFocusPolicy(Qt::TabFocus);
    }
    for (QWidget* child : findChildren<QWidget*>())
        child->installEventFilter(this);
    view->installEventFilter(this);
    connect(m_find, &QLineEdit::textChanged, this, [this] { guarded(this, [this] { patternChanged(); }); });
    connect(m_engine, &FindEngine::counted, this, [this](int count) {
        m_message->setText(count == 0 ? QStringLiteral("No matches")
                                      : count == 1 ? QStringLiteral("1 match") : QStringLiteral("%1 matches").arg(count));
    });
    connect(m_engine, &FindEngine::failed, m_message, &QLabel::setText);
    connect(m_engine, &FindEngine::found, this, [this](int from, int to) { guarded(this, [&] { select(from, to); }); });
    connect(m_engine, &FindEngine::notFound, this, [this] { m_message->setText(QStringLiteral("No matches")); });
    connect(m_engine, &FindEngine::replacementReady, this, [this](int from, int to, const QString& text, int count) {
        guarded(this, [&] { applyReplacement(from, to, text, count); });
    });
    connect(view, &MemoView::textChanged, this, [this] {
        if (isVisible() && m_engine->isValid())
            m_engine->setPattern(m_find->text(), m_engine->options());
    });
    KeyClaims::claim(this, [](const QKeyEvent* key) { return key->key() == Qt::Key_Escape && key->modifiers() == Qt::NoModifier; });
    hide();
}

QPushButton* FindBar::button(const QString& text, void (FindBar::*action)())
{
    auto* b = new QPushButton(text, this);
    b->setAutoDefault(false);
    connect(b, &QPushButton::clicked, this, [this, action] { guarded(this, [&] { (this->*action)(); }); });
    m_buttons.append(b);
    return b;
}

QString FindBar::message() const
{
    return m_message->text();
}

void FindBar::open(bool withReplace)
{
    const QTextCursor cursor = m_view->textCursor();
    if (cursor.hasSelection() && cursor.selectionEnd() - cursor.selectionStart() < 256) {
        const QString selected = MemoText::read(m_view->document(), cursor.selectionStart(), cursor.selectionEnd());
        if (!selected.contains(QChar::ParagraphSeparator))
            m_find->setText(selected);
    }
    m_replace->setVisible(withReplace);
    for (QAbstractButton* b : std::as_const(m_buttons)) {
        if (b->text().startsWith(QLatin1String("&Replace")) || b->text().startsWith(QLatin1String("Replace")))
            b->setVisible(withReplace);
    }
    show();
    raise();
    place();
    m_find->setFocus();
    m_find->selectAll();
    patternChanged();
}

void FindBar::close()
{
    hide();
    if (m_view)
        m_view->setFocus();
}

void FindBar::place()
{
    adjustSize();
    const int width = std::min(m_view->width(), sizeHint().width());
    resize(width, sizeHint().height());
    move(m_view->width() - width, 0);
}

void FindBar::patternChanged()
{
    FindOptions options;
    options.isCaseSensitive = m_case->isChecked();
    options.isWholeWord = m_wholeWord->isChecked();
    options.isRegularExpression = m_regularExpression->isChecked();
    if (m_find->text().isEmpty())
        m_message->clear();
    else
        m_message->setText(QStringLiteral("Counting…"));
    m_engine->setPattern(m_find->text(), options);
}

void FindBar::findNext()
{
    m_engine->find(m_view->textCursor().selectionEnd(), false);
}

void FindBar::findPrevious()
{
    m_engine->find(m_view->textCursor().selectionStart(), true);
}

void FindBar::select(int from, int to)
{
    m_view->setTextCursor(MemoText::cursor(m_view->document(), from, to));
    m_view->ensureCursorVisible();
}

// Replaces the selection when it is a match, then finds the next one.
void FindBar::replaceOne()
{
    const QTextCursor cursor = m_view->textCursor();
    QString replaced;
    if (m_engine->isMatch(cursor.selectionStart(), cursor.selectionEnd(), m_replace->text(), &replaced))
        m_view->insertPlainText(replaced);
    findNext();
}

void FindBar::replaceAll()
{
    m_engine->replaceAll(m_replace->text());
}

// All the matches become their replacements in one edit, which one undo
// takes back.
void FindBar::applyReplacement(int from, int to, const QString& text, int count)
{
    if (count == 0) {
        m_message->setText(QStringLiteral("No matches"));
        return;
    }
    m_view->setTextCursor(MemoText::cursor(m_view->document(), from, to));
    m_view->insertPlainText(text);
    m_message->setText(count == 1 ? QStringLiteral("Replaced 1 match") : QStringLiteral("Replaced %1 matches").arg(count));
}

bool FindBar::takeKey(QObject* watched, QKeyEvent* key)
{
    const auto mods = key->modifiers() & ~Qt::KeypadModifier;
    if (key->key() == Qt::Key_Escape && mods == Qt::NoModifier) {
        close();
        return true;
    }
    if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && (watched == m_find || watched == m_replace)) {
        if (watched == m_replace)
            replaceOne();
        else if (mods & Qt::ShiftModifier)
            findPrevious();
        else
            findNext();
        return true;
    }
    if (QAbstractButton* b = buttonOf(altLetterOf(key))) {
        b->click();
        return true;
    }
    return false;
}

QAbstractButton* FindBar::buttonOf(QChar letter) const
{
    if (letter.isNull())
        return nullptr;
    for (QAbstractButton* b : std::as_const(m_buttons)) {
        if (b->isVisible() && mnemonicOf(b->text()) == letter)
            return b;
    }
    return nullptr;
}

bool FindBar::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_view) {
        if (event->type() == QEvent::Resize && isVisible())
            place();
        return false;
    }
    if (event->type() != QEvent::KeyPress && event->type() != QEvent::ShortcutOverride)
        return false;
    auto* key = static_cast<QKeyEvent*>(event);
    if (event->type() == QEvent::ShortcutOverride) {
        // Alt and a letter of the bar's is the bar's, not the menu bar's.
        if (buttonOf(altLetterOf(key)))
            event->accept();
        return false;
    }
    bool isTaken = false;
    guarded(this, [&] { isTaken = takeKey(watched, key); });
    return isTaken;
}
