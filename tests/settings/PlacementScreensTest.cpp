#include "controls/TForm.h"
#include "settings/PlacementScreens.h"
#include "settings/TFormPlacement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

std::string text(const QRect& rect)
{
    return QStringLiteral("%1,%2 %3x%4").arg(rect.x()).arg(rect.y()).arg(rect.width()).arg(rect.height()).toStdString();
}

} // namespace

// A window partly off its screen comes whole onto it, frame included; one
// that lies whole on the screens stays where it is, also across two monitors.
TEST(PlacementScreens, AWindowPartlyOffItsScreenComesWholeOntoIt)
{
    const QMargins frame(1, 20, 1, 1);
    const QRect small(0, 0, 512, 384); // 1024x768 at twice the scale
    const QList<QRect> twoMonitors { QRect(0, 0, 1000, 800), QRect(1000, 0, 1000, 800) };
    const struct {
        QRect rect;
        QList<QRect> areas;
        QRect fitted;
    } cases[] = {
        { QRect(282, 150, 427, 276), { small }, QRect(83, 87, 427, 276) },
        { QRect(-50, -10, 200, 100), { small }, QRect(0, 0, 200, 100) },
        { QRect(900, 100, 300, 200), twoMonitors, QRect(900, 100, 300, 200) },
    };
    for (const auto& c : cases) {
        QRect rect = c.rect;
        PlacementScreens::FitIntoAreas(rect, frame, c.areas, c.areas.front());
        EXPECT_EQ(text(rect), text(c.fitted)) << text(c.rect);
    }
}

// With nothing stored the window's designed place is fitted as a stored one.
TEST(PlacementScreens, TheDesignedPlaceIsFittedWhenNothingIsStored)
{
    QTemporaryDir dir;
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    TForm form;
    auto* placement = new TFormPlacement(&form);
    placement->SetIniFileName(dir.filePath(QStringLiteral("none.ini")));
    placement->Loaded();
    form.move(area.right() - 100, area.bottom() - 100);
    form.resize(400, 300);
    form.show();
    EXPECT_EQ(text(form.geometry()), text(QRect(area.right() + 1 - 400, area.bottom() + 1 - 300, 400, 300)));
}
