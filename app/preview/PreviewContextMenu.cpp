#include "app/preview/PreviewContextMenu.h"

#include "core/ExceptionBoundary.h"

#include <QAction>
#include <QClipboard>
#include <QCursor>
#include <QGuiApplication>
#include <QMenu>
#include <QPointer>
#include <QWebEngineView>

PreviewContextMenu::PreviewContextMenu(QWebEngineView* view)
    : QObject(view)
    , m_view(view)
    , m_exporter(new FormulaExporter(view->page(), this))
    , m_menu(new QMenu(view))
{
    m_copySelection = m_menu->addAction(tr("&Copy"));
    connect(m_copySelection, &QAction::triggered, this,
        [this] { guarded(this, [this] { QGuiApplication::clipboard()->setText(m_target.selection); }); });
    m_selectionEnd = m_menu->addSeparator();
    addEntry(tr("Copy &TeX"), FormulaExporter::Tex);
    addEntry(tr("Copy as &MathML"), FormulaExporter::MathML);
    addEntry(tr("Copy as &Image"), FormulaExporter::Image);
    addEntry(tr("Copy as &SVG"), FormulaExporter::Svg);
    m_tooLarge = m_menu->addAction(tr("The preview is too large for an image: Copy TeX takes all of it."));
    m_tooLarge->setEnabled(false);
    // The engine's own menu never shows; this one does instead.
    view->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(view, &QWidget::customContextMenuRequested, this,
        [this](const QPoint& point) { guarded(this, [&] { popup(point); }); });
}

void PreviewContextMenu::addEntry(const QString& text, FormulaExporter::Format format)
{
    QAction* action = m_menu->addAction(text);
    action->setData(int(format));
    connect(action, &QAction::triggered, this, [this, format] {
        guarded(this, [&] {
            // The images are twice as dense as the screen the preview is on.
            m_exporter->setDensity(2 * m_view->devicePixelRatioF());
            m_exporter->copy(format, m_target);
        });
    });
}

void PreviewContextMenu::popup(const QPoint& point)
{
    popup(point, m_view->mapToGlobal(point));
}

void PreviewContextMenu::popupFromKeyboard()
{
    const QPoint pointer = m_view->mapFromGlobal(QCursor::pos());
    if (m_view->rect().contains(pointer))
        return popup(pointer);
    // No formula lies outside the page, so the menu is that of the whole preview.
    constexpr int Inset = 8;
    popup(QPoint(-1, -1), m_view->mapToGlobal(QPoint(Inset, Inset)));
}

void PreviewContextMenu::popup(const QPoint& point, const QPoint& globalPoint)
{
    const QPointer<PreviewContextMenu> self(this);
    // The images are twice as dense as the screen the preview is on.
    m_exporter->setDensity(2 * m_view->devicePixelRatioF());
    m_exporter->describeAt(point, [self, globalPoint](const ExportTarget& target) {
        if (self)
            self->show(target, globalPoint);
    });
}

void PreviewContextMenu::show(const ExportTarget& target, const QPoint& globalPoint)
{
    m_target = target;
    for (QAction* action : m_menu->actions()) {
        if (action->data().isValid())
            action->setEnabled(FormulaExporter::canCopy(FormulaExporter::Format(action->data().toInt()), target));
    }
    m_copySelection->setVisible(!target.selection.isEmpty());
    m_selectionEnd->setVisible(!target.selection.isEmpty());
    m_tooLarge->setVisible(target.isTooLarge);
    m_menu->popup(globalPoint);
}
