#include "settings/TFormStorage.h"

#include "settings/IniStore.h"
#include "settings/TCustomIniFile.h"
#include "settings/TPropsStorage.h"

TFormStorage::TFormStorage(QObject* owner)
    : TFormPlacement(owner)
{
}

TFormStorage::~TFormStorage()
{
    m_destroying = true;
}

std::optional<std::pair<QString, QString>> TFormStorage::ParsePath(const QString& line)
{
    const qsizetype dot = line.indexOf(u'.');
    if (dot < 0)
        return std::nullopt;
    const QString component = IniStore::Trim(line.left(dot));
    const QString property = IniStore::Trim(line.mid(dot + 1));
    if (component.isEmpty() || property.isEmpty())
        return std::nullopt;
    return std::pair { component, property };
}

void TFormStorage::SetStoredProps(const QStringList& props)
{
    m_storedProps = props;
    m_components = QList<QPointer<QObject>>(props.size());
}

void TFormStorage::Loaded()
{
    TFormPlacement::Loaded();
    resolvePaths();
}

// Lines that name no component of the form are dropped.
void TFormStorage::resolvePaths()
{
    QObject* form = Owner();
    for (qsizetype i = m_storedProps.size() - 1; i >= 0; --i) {
        const auto path = ParsePath(m_storedProps[i]);
        QObject* component = nullptr;
        if (path && form)
            for (QObject* child : form->findChildren<QObject*>())
                if (child->objectName().compare(path->first, Qt::CaseInsensitive) == 0) {
                    component = child;
                    break;
                }
        if (!component) {
            m_storedProps.removeAt(i);
            m_components.removeAt(i);
            continue;
        }
        m_components[i] = component;
        watch(component);
    }
}

void TFormStorage::watch(QObject* component)
{
    connect(component, &QObject::destroyed, this, &TFormStorage::componentRemoved, Qt::UniqueConnection);
}

void TFormStorage::componentRemoved(QObject* component)
{
    if (m_destroying)
        return;
    for (qsizetype i = m_storedProps.size() - 1; i >= 0; --i)
        if (m_components[i] == component || m_components[i].isNull()) {
            m_storedProps.removeAt(i);
            m_components.removeAt(i);
        }
}

// A renamed component is stored under its new name.
void TFormStorage::rewriteFromComponents()
{
    for (qsizetype i = m_storedProps.size() - 1; i >= 0; --i) {
        const auto path = ParsePath(m_storedProps[i]);
        if (!path || m_components[i].isNull()) {
            m_storedProps.removeAt(i);
            m_components.removeAt(i);
            continue;
        }
        m_storedProps[i] = m_components[i]->objectName() + u'.' + path->second;
    }
}

void TFormStorage::forEachStoredProperty(const std::function<void(TPropsStorage&, const QMetaProperty&)>& action)
{
    rewriteFromComponents();
    TPropsStorage storage;
    storage.Owner = Owner();
    storage.Section = IniSection();
    storage.OnReadString = [this](const QString& section, const QString& key, const QString& defaultValue) {
        return ReadString(section, key, defaultValue);
    };
    storage.OnWriteString = [this](const QString& section, const QString& key, const QString& value) {
        WriteString(section, key, value);
    };
    storage.OnEraseSection = [this](const QString& section) {
        if (Store())
            Store()->EraseSection(section);
    };
    for (qsizetype i = 0; i < m_storedProps.size(); ++i) {
        QObject* component = m_components[i];
        const auto path = ParsePath(m_storedProps[i]);
        const auto property = TPropsStorage::FindProperty(component, path->second);
        if (!property)
            continue;
        storage.Object = component;
        storage.Prefix = component->objectName() + u'_';
        action(storage, *property);
    }
}

void TFormStorage::WritePlacement()
{
    TFormPlacement::WritePlacement();
    forEachStoredProperty([](TPropsStorage& storage, const QMetaProperty& property) { storage.StoreAnyProperty(property); });
}

void TFormStorage::ReadPlacement()
{
    TFormPlacement::ReadPlacement();
    MarkRestored();
    try {
        forEachStoredProperty([](TPropsStorage& storage, const QMetaProperty& property) {
            try {
                storage.LoadAnyProperty(property);
            } catch (...) {
            }
        });
    } catch (...) {
    }
}
