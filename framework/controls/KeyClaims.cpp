#include "controls/KeyClaims.h"

#include <QHash>
#include <QKeyEvent>
#include <QWidget>

namespace {

QHash<const QWidget*, KeyClaims::Claim>& claims()
{
    static QHash<const QWidget*, KeyClaims::Claim> all;
    return all;
}

} // namespace

void KeyClaims::claim(QWidget* control, Claim claim)
{
    const bool isNew = !claims().contains(control);
    claims().insert(control, std::move(claim));
    if (isNew)
        QObject::connect(control, &QObject::destroyed, [control] { claims().remove(control); });
}

bool KeyClaims::isClaimed(QWidget* receiver, const QKeyEvent* event)
{
    for (const QWidget* w = receiver; w; w = w->parentWidget()) {
        const auto it = claims().constFind(w);
        if (it != claims().cend() && it.value()(event))
            return true;
        if (w->isWindow())
            break;
    }
    return false;
}
