#pragma once

#include "core/TEvent.h"

#include <QObject>

// Base of every component: the name is the object name and the owner is the
// QObject parent, which destroys its components with itself.
class TComponent : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString Name READ Name WRITE SetName)

public:
    explicit TComponent(QObject* owner);

    QString Name() const { return objectName(); }
    void SetName(const QString& name) { setObjectName(name); }
    QObject* Owner() const { return parent(); }

    bool IsLoading() const { return m_isLoading; }
    void BeginLoading() { m_isLoading = true; }
    // Called once the owner's components all exist and are set.
    virtual void Loaded();

private:
    bool m_isLoading = false;
};
