#include "TForm.h"
#include "TFormPlacement.h"
#include "TestSupport.h"

#include <QFile>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace {

class TBaseForm : public TForm {
    Q_OBJECT
public:
    std::function<void()> whileBaseDestroyed;
    ~TBaseForm() override
    {
        if (whileBaseDestroyed)
            whileBaseDestroyed();
    }
};

class TOwnForm : public TBaseForm {
    Q_OBJECT
};

} // namespace

// While the form is being destroyed its class reads as a base class; the
// section stays the form's own.
TEST(TFormPlacement, TheSectionIsTheFormsOwnAlsoWhileItIsDestroyed)
{
    auto* form = new TOwnForm;
    auto* placement = new TFormPlacement(form);
    form->AfterConstruction();
    EXPECT_EQ(placement->IniSection(), "TOwnForm");
    QString sectionAtDestroy;
    form->whileBaseDestroyed = [&] { sectionAtDestroy = placement->IniSection(); };
    delete form;
    EXPECT_EQ(sectionAtDestroy, "TOwnForm");
}

// Rectangles that overflow or have no height leave the window as designed;
// a window minimised from maximised comes back to maximised.
TEST(TFormPlacement, AbsurdRectanglesAndTheRestoreToMaximisedFlag)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("a.ini"));
    const QByteArray ppi = "PixelsPerInch=" + QByteArray::number(qRound(QGuiApplication::primaryScreen()->logicalDotsPerInch())) + "\r\n";
    const QRect designed(50, 60, 300, 200);
    const struct {
        QByteArray keys;
        QRect rect;
        Qt::WindowStates state;
    } cases[] = {
        { "NormPos=2147483647,2147483647,-2147483648,-2147483648\r\n", designed, Qt::WindowNoState },
        { "NormPos=-2147483648,0,2147483647,500\r\n", designed, Qt::WindowNoState },
        { "NormPos=0,-2147483648,500,2147483647\r\n", designed, Qt::WindowNoState },
        { "NormPos=100,300,600,200\r\n", designed, Qt::WindowNoState },
        { "NormPos=100,120,500,420\r\n", QRect(100, 120, 400, 300), Qt::WindowNoState },
        { "NormPos=100,120,500,420\r\nShowCmd=2\r\nFlags=2\r\n", QRect(100, 120, 400, 300), Qt::WindowMinimized | Qt::WindowMaximized },
        { "NormPos=100,120,500,420\r\nShowCmd=2\r\nFlags=0\r\n", QRect(100, 120, 400, 300), Qt::WindowMinimized },
    };
    for (const auto& c : cases) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("[TOwnForm]\r\n" + ppi + c.keys);
        file.close();
        TOwnForm form;
        auto* placement = new TFormPlacement(&form);
        placement->SetIniFileName(path);
        form.AfterConstruction();
        form.setGeometry(designed);
        form.move(designed.topLeft());
        form.show();
        EXPECT_EQ(QRect(form.pos(), form.size()), c.rect) << c.keys.toStdString();
        EXPECT_EQ(form.windowState(), c.state) << c.keys.toStdString();
    }
}

#include "TFormPlacementTest.moc"
