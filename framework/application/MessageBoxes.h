#pragma once

#include <QString>

#include <functional>
#include <vector>

class QObject;
class QWidget;

// The application's message boxes. A box asked for while a form is being
// destroyed waits until every destruction has ended, since its event loop
// would otherwise run inside a half-gone object.
class MessageBoxes {
public:
    using Presenter = std::function<int(const QString& text, const QString& caption, int flags)>;

    static constexpr int MB_OK = 0x0;
    static constexpr int MB_ICONERROR = 0x10;
    static constexpr int MB_ICONWARNING = 0x30;
    static constexpr int MB_ICONINFORMATION = 0x40;
    static constexpr int MB_TASKMODAL = 0x2000;
    static constexpr int IDOK = 1;

    // The context's event loop shows the boxes that had to wait; owner names
    // the window a box belongs to unless it is task-modal.
    MessageBoxes(QObject* context, std::function<QWidget*()> owner);
    // Boxes that can no longer be shown go to the error output.
    ~MessageBoxes();
    MessageBoxes(const MessageBoxes&) = delete;
    MessageBoxes& operator=(const MessageBoxes&) = delete;

    int Show(const QString& text, const QString& caption, int flags);
    // Tests replace the modal box with a presenter of their own.
    void SetPresenter(Presenter presenter);
    // Shows the boxes that waited for a destruction, unless one still runs.
    void ShowDeferred();

private:
    struct DeferredBox {
        QString text;
        QString caption;
        int flags;
    };

    void defer(const QString& text, const QString& caption, int flags);
    int present(const QString& text, const QString& caption, int flags);

    QObject* m_context;
    std::function<QWidget*()> m_owner;
    Presenter m_presenter;
    std::vector<DeferredBox> m_deferred;
};
