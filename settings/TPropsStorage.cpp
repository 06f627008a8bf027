#include "settings/TPropsStorage.h"

#include "settings/IniStore.h"
#include "core/TComponent.h"
#include "controls/TForm.h"

#include <QApplication>
#include <QLocale>
#include <QMetaEnum>
#include <QRegularExpression>
#include <QStringList>

#include <algorithm>

namespace {


bool sameAsciiText(const QString& a, const QString& b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// The enumeration's values from the lowest to the highest, each once.
QList<int> valuesInOrder(const QMetaEnum& enumerator)
{
    QList<int> values;
    for (int i = 0; i < enumerator.keyCount(); ++i)
        if (!values.contains(enumerator.value(i)))
            values.append(enumerator.value(i));
    std::sort(values.begin(), values.end());
    return values;
}

QObject* findOwnedComponent(const QObject* owner, const QString& name)
{
    if (!owner)
        return nullptr;
    for (QObject* child : owner->findChildren<QObject*>())
        if (sameAsciiText(child->objectName(), name))
            return child;
    return nullptr;
}

QString ownerText(const QObject* owner)
{
    if (!owner->objectName().isEmpty())
        return owner->objectName();
    QString className = QString::fromLatin1(owner->metaObject()->className());
    return className.startsWith(u'T') ? className.mid(1) : className;
}

} // namespace

TPropsStorage::Kind TPropsStorage::kindOf(const QMetaProperty& property)
{
    if (!property.isReadable())
        return Kind::None;
    const QMetaType type = property.metaType();
    if (type.flags().testFlag(QMetaType::PointerToQObject)) {
        const QMetaObject* meta = type.metaObject();
        if (meta && meta->inherits(&TComponent::staticMetaObject))
            return property.isWritable() ? Kind::Component : Kind::None;
        return Kind::Object;
    }
    if (!property.isWritable())
        return Kind::None;
    if (property.isFlagType())
        return Kind::Set;
    if (property.isEnumType() || type.id() == QMetaType::Bool)
        return Kind::Enumeration;
    switch (type.id()) {
    case QMetaType::Int:
    case QMetaType::Short:
    case QMetaType::Long:
    case QMetaType::LongLong:
    case QMetaType::SChar:
        return Kind::Integer;
    case QMetaType::UInt:
    case QMetaType::UShort:
    case QMetaType::ULong:
    case QMetaType::ULongLong:
    case QMetaType::UChar:
        return Kind::Unsigned;
    case QMetaType::Char:
    case QMetaType::QChar:
        return Kind::Character;
    case QMetaType::Float:
    case QMetaType::Double:
        return Kind::Float;
    case QMetaType::QString:
        return Kind::String;
    case QMetaType::QStringList:
        return Kind::StringList;
    case QMetaType::QVariant:
        return Kind::Variant;
    default:
        return Kind::None;
    }
}

QList<QMetaProperty> TPropsStorage::PropInfoList(const QObject* object)
{
    QList<QMetaProperty> list;
    const QMetaObject* meta = object->metaObject();
    for (int i = QObject::staticMetaObject.propertyCount(); i < meta->propertyCount(); ++i)
        if (kindOf(meta->property(i)) != Kind::None)
            list.append(meta->property(i));
    std::sort(list.begin(), list.end(), [](const QMetaProperty& a, const QMetaProperty& b) {
        return QString::fromLatin1(a.name()).compare(QString::fromLatin1(b.name()), Qt::CaseInsensitive) < 0;
    });
    return list;
}

std::optional<QMetaProperty> TPropsStorage::FindProperty(const QObject* object, const QString& name)
{
    for (const QMetaProperty& property : PropInfoList(object))
        if (sameAsciiText(QString::fromLatin1(property.name()), name))
            return property;
    return std::nullopt;
}

QString TPropsStorage::ReadString(const QString& section, const QString& key, const QString& defaultValue)
{
    return OnReadString ? OnReadString(section, key, defaultValue) : QString();
}

void TPropsStorage::WriteString(const QString& section, const QString& key, const QString& value)
{
    if (OnWriteString)
        OnWriteString(section, key, value);
}

void TPropsStorage::EraseSection(const QString& section)
{
    if (OnEraseSection)
        OnEraseSection(section);
}

QString TPropsStorage::textOf(const QMetaProperty& property, Kind kind) const
{
    const QVariant value = property.read(Object);
    switch (kind) {
    case Kind::Integer:
        return QString::number(value.toLongLong());
    case Kind::Unsigned:
        return QString::number(value.toULongLong());
    case Kind::Enumeration:
        if (property.metaType().id() == QMetaType::Bool)
            return value.toBool() ? QStringLiteral("True") : QStringLiteral("False");
        return QString::fromLatin1(property.enumerator().valueToKey(value.toInt()));
    case Kind::Set: {
        const int bits = value.toInt();
        QStringList members;
        for (int bit = 0; bit < 32; ++bit)
            if (bits & (1 << bit))
                if (const char* key = property.enumerator().valueToKey(1 << bit))
                    members.append(QString::fromLatin1(key));
        return u'[' + members.join(u',') + u']';
    }
    case Kind::Character:
        return property.metaType().id() == QMetaType::QChar ? QString(value.toChar()) : QString(QChar(value.toInt() & 0xFF));
    case Kind::Float:
        return QString::number(value.toDouble(), 'g', property.metaType().id() == QMetaType::Float ? 7 : 15);
    case Kind::String:
    case Kind::Variant:
        return value.toString();
    case Kind::Component:
        return componentText(value.value<QObject*>());
    default:
        return {};
    }
}

QString TPropsStorage::componentText(const QObject* component) const
{
    if (!component)
        return QStringLiteral("(null)");
    const QObject* owner = component->parent();
    if (owner && owner != Owner)
        return QStringLiteral("%1.%2").arg(ownerText(owner), component->objectName());
    return component->objectName();
}

void TPropsStorage::assignText(const QMetaProperty& property, Kind kind, const QString& text)
{
    switch (kind) {
    case Kind::Integer:
        property.write(Object, IniStore::StrToInt(text).value_or(0));
        break;
    case Kind::Unsigned:
        property.write(Object, IniStore::StrToUInt(text).value_or(0));
        break;
    case Kind::Enumeration:
        if (property.metaType().id() == QMetaType::Bool) {
            if (sameAsciiText(text, QStringLiteral("False")) || sameAsciiText(text, QStringLiteral("True")))
                property.write(Object, sameAsciiText(text, QStringLiteral("True")));
            break;
        }
        for (int value : valuesInOrder(property.enumerator()))
            if (sameAsciiText(QString::fromLatin1(property.enumerator().valueToKey(value)), text)) {
                property.write(Object, value);
                break;
            }
        break;
    case Kind::Set: {
        int bits = 0;
        static const QRegularExpression separators(QStringLiteral("[ ,\\[\\]]"));
        for (const QString& word : text.split(separators, Qt::SkipEmptyParts))
            for (int bit = 0; bit < 32; ++bit)
                if (const char* key = property.enumerator().valueToKey(1 << bit); key && sameAsciiText(QString::fromLatin1(key), word))
                    bits |= 1 << bit;
        property.write(Object, bits);
        break;
    }
    case Kind::Character:
        if (!text.isEmpty())
            property.write(Object, property.metaType().id() == QMetaType::QChar ? QVariant(text[0]) : QVariant(int(text[0].toLatin1())));
        break;
    case Kind::Float: {
        bool ok = false;
        const double value = text.toDouble(&ok);
        if (ok)
            property.write(Object, value);
        break;
    }
    case Kind::String:
    case Kind::Variant:
        property.write(Object, text);
        break;
    case Kind::Component:
        loadComponent(property, text);
        break;
    default:
        break;
    }
}

// "(null)" clears the reference; "Owner.Name" looks among the program's forms;
// a plain name among the components of the storage's owner.
void TPropsStorage::loadComponent(const QMetaProperty& property, const QString& text)
{
    if (text.isEmpty())
        return;
    if (sameAsciiText(text, QStringLiteral("(null)"))) {
        writeComponent(property, nullptr);
        return;
    }
    const qsizetype dot = text.indexOf(u'.');
    if (dot < 0) {
        writeComponent(property, findOwnedComponent(Owner, text));
        return;
    }
    const QString ownerName = text.left(dot).trimmed();
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (qobject_cast<TForm*>(window) && sameAsciiText(window->objectName(), ownerName)) {
            writeComponent(property, findOwnedComponent(window, text.mid(dot + 1).trimmed()));
            return;
        }
    }
}

// A component of another class than the property's counts as none.
void TPropsStorage::writeComponent(const QMetaProperty& property, QObject* component)
{
    const QMetaObject* type = property.metaType().metaObject();
    if (component && !(type && component->metaObject()->inherits(type)))
        component = nullptr;
    property.write(Object, QVariant(property.metaType(), &component));
}

std::unique_ptr<TPropsStorage> TPropsStorage::nestedStorage(QObject* object, const QString& prefix) const
{
    std::unique_ptr<TPropsStorage> storage = CreateStorage();
    storage->Object = object;
    storage->Prefix = prefix;
    storage->Section = Section;
    storage->OnReadString = OnReadString;
    storage->OnWriteString = OnWriteString;
    storage->OnEraseSection = OnEraseSection;
    return storage;
}

void TPropsStorage::storeStringList(const QMetaProperty& property)
{
    const QString section = QStringLiteral("%1.%2").arg(Section, GetItemKey(QString::fromLatin1(property.name())));
    const QStringList lines = property.read(Object).toStringList();
    EraseSection(section);
    if (lines.isEmpty())
        return;
    WriteString(section, QStringLiteral("Count"), QString::number(lines.size()));
    for (qsizetype i = 0; i < lines.size(); ++i)
        WriteString(section, QStringLiteral("Item%1").arg(i), lines[i]);
}

void TPropsStorage::loadStringList(const QMetaProperty& property)
{
    const QString section = QStringLiteral("%1.%2").arg(Section, GetItemKey(QString::fromLatin1(property.name())));
    const int count = IniStore::StrToIntDef(ReadString(section, QStringLiteral("Count"), QStringLiteral("0")), 0);
    if (count <= 0)
        return;
    QStringList lines;
    for (int i = 0; i < count; ++i)
        lines.append(ReadString(section, QStringLiteral("Item%1").arg(i), QString()));
    property.write(Object, lines);
}

void TPropsStorage::StoreAnyProperty(const QMetaProperty& property)
{
    const Kind kind = kindOf(property);
    if (kind == Kind::StringList) {
        storeStringList(property);
        return;
    }
    if (kind == Kind::Object) {
        if (QObject* nested = property.read(Object).value<QObject*>())
            nestedStorage(nested, GetItemKey(QString::fromLatin1(property.name())))->StoreProperties();
        return;
    }
    const QString text = IniStore::Trim(textOf(property, kind));
    if (text.isEmpty() && kind != Kind::String && kind != Kind::Character)
        return;
    WriteString(Section, GetItemKey(QString::fromLatin1(property.name())), text);
}

void TPropsStorage::LoadAnyProperty(const QMetaProperty& property)
{
    const Kind kind = kindOf(property);
    if (kind == Kind::StringList) {
        loadStringList(property);
        return;
    }
    if (kind == Kind::Object) {
        if (QObject* nested = property.read(Object).value<QObject*>())
            nestedStorage(nested, GetItemKey(QString::fromLatin1(property.name())))->LoadProperties();
        return;
    }
    const QString defaultText = kind == Kind::Component ? QString() : IniStore::Trim(textOf(property, kind));
    QString text;
    if (!defaultText.isEmpty() || kind == Kind::String || kind == Kind::Character || kind == Kind::Component)
        text = IniStore::Trim(ReadString(Section, GetItemKey(QString::fromLatin1(property.name())), defaultText));
    assignText(property, kind, text);
}

void TPropsStorage::StoreProperties()
{
    for (const QMetaProperty& property : PropInfoList(Object))
        StoreAnyProperty(property);
}

void TPropsStorage::LoadProperties()
{
    for (const QMetaProperty& property : PropInfoList(Object)) {
        try {
            LoadAnyProperty(property);
        } catch (...) {
        }
    }
}
