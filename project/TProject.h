#pragma once

#include "TComponent.h"

// The program's version text, build number and notices.
class TProject : public TComponent {
    Q_OBJECT
    Q_PROPERTY(QString Version READ Version WRITE SetVersion)
    Q_PROPERTY(int Build READ Build WRITE SetBuild)
    Q_PROPERTY(QString Copyright READ Copyright WRITE SetCopyright)
    Q_PROPERTY(QString Comment READ Comment WRITE SetComment)
    Q_PROPERTY(QString Trademarks READ Trademarks WRITE SetTrademarks)

public:
    explicit TProject(QObject* owner);

    QString Version() const { return m_version; }
    void SetVersion(const QString& version) { m_version = version; }
    int Build() const { return m_build; }
    void SetBuild(int build) { m_build = build; }
    QString Copyright() const { return m_copyright; }
    void SetCopyright(const QString& text) { m_copyright = text; }
    QString Comment() const { return m_comment; }
    void SetComment(const QString& text) { m_comment = text; }
    QString Trademarks() const { return m_trademarks; }
    void SetTrademarks(const QString& text) { m_trademarks = text; }

private:
    QString m_version;
    int m_build = 0;
    QString m_copyright;
    QString m_comment;
    QString m_trademarks;
};
