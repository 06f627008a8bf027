#pragma once

#include "settings/TFormPlacement.h"

#include <QList>
#include <QPointer>
#include <QStringList>

// A form placement that also keeps the listed properties of the form's
// components, "Component.Property" one a line, each under the key
// "Component_Property" after the placement keys, in list order.
class TFormStorage : public TFormPlacement {
    Q_OBJECT
    Q_PROPERTY(QStringList StoredProps READ StoredProps WRITE SetStoredProps)

public:
    explicit TFormStorage(QObject* owner);
    ~TFormStorage() override;

    QStringList StoredProps() const { return m_storedProps; }
    void SetStoredProps(const QStringList& props);

    void Loaded() override;

    // The component and property names of a line, trimmed; none when either is
    // empty or there is no ".".
    static std::optional<std::pair<QString, QString>> ParsePath(const QString& line);

protected:
    void WritePlacement() override;
    void ReadPlacement() override;

private slots:
    void componentRemoved(QObject* component);

private:
    void resolvePaths();
    void rewriteFromComponents();
    void watch(QObject* component);
    void forEachStoredProperty(const std::function<void(class TPropsStorage&, const QMetaProperty&)>& action);

    QStringList m_storedProps;
    QList<QPointer<QObject>> m_components;
    bool m_destroying = false;
};
