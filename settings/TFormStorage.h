#pragma once

#include "TComponent.h"

#include <QStringList>

// Keeps the form's placement and the listed component properties in the
// settings file. For now it holds the file name and the property list; the
// reading and writing of the file come with the settings store.
class TFormStorage : public TComponent {
    Q_OBJECT
    Q_PROPERTY(QString IniFileName READ IniFileName WRITE SetIniFileName)
    Q_PROPERTY(QStringList StoredProps READ StoredProps WRITE SetStoredProps)

public:
    explicit TFormStorage(QObject* owner);

    QString IniFileName() const { return m_iniFileName; }
    void SetIniFileName(const QString& fileName) { m_iniFileName = fileName; }
    QStringList StoredProps() const { return m_storedProps; }
    void SetStoredProps(const QStringList& props) { m_storedProps = props; }

private:
    QString m_iniFileName;
    QStringList m_storedProps;
};
