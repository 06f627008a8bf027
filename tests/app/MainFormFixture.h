#pragma once

#include "TApplication.h"
#include "TKelvaneMainForm.h"
#include "TestSupport.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QTemporaryDir>

#include <gtest/gtest.h>

// A main window created as the program creates it, with its executable (and so
// its preview file) in a folder of the test's own.
class MainFormFixture : public ::testing::Test {
protected:
    void startWith(const QString& clipboardText, const QString& exeName = {})
    {
        Application->ResetForTesting();
        if (clipboardText.isEmpty())
            QGuiApplication::clipboard()->clear();
        else
            QGuiApplication::clipboard()->setText(clipboardText);
        Application->SetExeName(exeName.isEmpty() ? dir.filePath(QStringLiteral("tamsel")) : exeName);
        Application->CreateForm(form);
    }

    void TearDown() override
    {
        Application->ResetForTesting();
        Application->SetExeName({});
    }

    QString previewPath() const { return dir.filePath(QStringLiteral("tamsel.tex")); }
    QByteArray preview() const { return TestSupport::readFile(previewPath()); }

    QTemporaryDir dir;
    TKelvaneMainForm* form = nullptr;
    TestSupport::MessageBoxRecorder boxes;
};
