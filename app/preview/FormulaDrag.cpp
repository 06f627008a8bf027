#include "app/preview/FormulaDrag.h"

#include "core/ExceptionBoundary.h"

#include <QApplication>
#include <QDir>
#include <QDrag>
#include <QFile>
#include <QMimeData>
#include <QMouseEvent>
#include <QPointer>
#include <QUrl>
#include <QWebEngineView>

namespace {

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size() && file.flush();
}

// A picture of the formula under the pointer while it is dragged, at the
// screen's density.
QPixmap dragPicture(const QMimeData* data, double density)
{
    QPixmap picture;
    picture.loadFromData(data->data(QStringLiteral("image/png")), "png");
    picture.setDevicePixelRatio(density);
    return picture;
}

} // namespace

FormulaDrag::FormulaDrag(QWebEngineView* view, FormulaExporter* exporter)
    : QObject(view)
    , m_view(view)
    , m_exporter(exporter)
{
    // The engine makes the widget that takes the mouse only once a page is
    // loaded, and may replace it.
    m_view->installEventFilter(this);
    for (QObject* child : m_view->children())
        watch(child);
}

FormulaDrag::~FormulaDrag() = default;

QString FormulaDrag::folder() const
{
    return m_folder ? m_folder->path() : QString();
}

void FormulaDrag::watch(QObject* widget)
{
    if (widget->isWidgetType())
        widget->installEventFilter(this);
}

bool FormulaDrag::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_view) {
        if (event->type() == QEvent::ChildAdded)
            watch(static_cast<QChildEvent*>(event)->child());
        return false;
    }
    // The view's menus are its children too, but windows of their own.
    if (static_cast<QWidget*>(watched)->isWindow())
        return false;
    const auto at = [&](const QMouseEvent* mouse) { return m_view->mapFromGlobal(mouse->globalPosition()).toPoint(); };
    switch (event->type()) {
    case QEvent::MouseButtonPress:
        if (const auto* mouse = static_cast<QMouseEvent*>(event); mouse->button() == Qt::LeftButton)
            guarded(this, [&] { onPress(at(mouse)); });
        break;
    case QEvent::MouseMove:
        if (const auto* mouse = static_cast<QMouseEvent*>(event); mouse->buttons() & Qt::LeftButton)
            guarded(this, [&] { onMove(at(mouse)); });
        break;
    case QEvent::MouseButtonRelease:
        // A click, or a release before the drag's data was ready.
        m_state = State::Idle;
        break;
    default:
        break;
    }
    // The page gets every event: it selects text and takes clicks as before.
    return false;
}

void FormulaDrag::onPress(const QPoint& point)
{
    const int press = ++m_press;
    m_state = State::Asking;
    m_pressPoint = point;
    m_hasMoved = false;
    const QPointer<FormulaDrag> self(this);
    m_exporter->describeAt(point, [self, press](const ExportTarget& target) {
        if (self && self->m_press == press && self->m_state == State::Asking)
            self->onDescribed(target);
    });
}

void FormulaDrag::onDescribed(const ExportTarget& target)
{
    if (!target.isFormula || !FormulaExporter::canCopy(FormulaExporter::Image, target)) {
        m_state = State::Idle;
        return;
    }
    m_target = target;
    m_state = State::Pressed;
    if (m_hasMoved)
        prepare();
}

void FormulaDrag::onMove(const QPoint& point)
{
    if (m_state == State::Idle || m_hasMoved)
        return;
    m_hasMoved = (point - m_pressPoint).manhattanLength() >= QApplication::startDragDistance();
    if (m_hasMoved && m_state == State::Pressed)
        prepare();
}

// The data is made only once the pointer moves, so a click prints nothing.
void FormulaDrag::prepare()
{
    m_state = State::Preparing;
    m_exporter->setDensity(2 * m_view->devicePixelRatioF());
    const int press = m_press;
    const QPointer<FormulaDrag> self(this);
    makeData(m_target, [self, press](QMimeData* data) {
        std::unique_ptr<QMimeData> made(data);
        if (!self || self->m_press != press || self->m_state != State::Preparing || !made)
            return;
        self->m_state = State::Idle;
        // The button went up while the data was made: there is nothing to drag.
        if (!(QApplication::mouseButtons() & Qt::LeftButton))
            return;
        // The drag runs an event loop of its own; it starts after this answer.
        QMetaObject::invokeMethod(self.data(), [self, data = made.release()] {
            if (self)
                guarded(self.data(), [&] { self->start(data); });
            else
                delete data;
        }, Qt::QueuedConnection);
    });
}

void FormulaDrag::start(QMimeData* data)
{
    auto* drag = new QDrag(this);
    drag->setMimeData(data);
    const QPixmap picture = dragPicture(data, m_view->devicePixelRatioF() * 2);
    drag->setPixmap(picture);
    drag->setHotSpot(QPoint(picture.width() / 4, picture.height() / 4));
    drag->exec(Qt::CopyAction);
    drag->deleteLater();
    // The drag took the button's release; the page still waits for it.
    if (QWidget* proxy = m_view->focusProxy()) {
        const QPointF at = proxy->mapFromGlobal(QCursor::pos());
        QMouseEvent release(QEvent::MouseButtonRelease, at, proxy->mapToGlobal(at), Qt::LeftButton, Qt::NoButton,
            QApplication::keyboardModifiers());
        QApplication::sendEvent(proxy, &release);
    }
}

void FormulaDrag::makeData(const ExportTarget& target, std::function<void(QMimeData*)> done)
{
    const QPointer<FormulaDrag> self(this);
    m_exporter->makeAll(target, [self, done](QMimeData* data) {
        if (self && data != nullptr && !self->addFiles(data)) {
            delete data;
            data = nullptr;
        }
        done(data);
    });
}

// Each drag gets files of its own: a target may read a dropped file late.
bool FormulaDrag::addFiles(QMimeData* data)
{
    if (!m_folder) {
        // The folder is made readable by the user alone.
        m_folder = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/tamsel-drag-XXXXXX"));
        if (!m_folder->isValid()) {
            m_folder.reset();
            return false;
        }
    }
    const QString stem = m_folder->filePath(QStringLiteral("formula-%1").arg(++m_files));
    const QString png = stem + QStringLiteral(".png");
    const QString svg = stem + QStringLiteral(".svg");
    if (!writeFile(png, data->data(QStringLiteral("image/png"))) || !writeFile(svg, data->data(QStringLiteral("image/svg+xml"))))
        return false;
    data->setUrls({ QUrl::fromLocalFile(png), QUrl::fromLocalFile(svg) });
    return true;
}
