#pragma once

#include <QMetaProperty>
#include <QString>

#include <functional>
#include <memory>

class QObject;

// Converts the published properties of one object to and from the text the
// settings hold, one key per property: integers in decimal, enumerations and
// Booleans by their identifiers, sets as "[a,b]", characters, floating-point
// numbers with "." as separator, strings, string lists and nested objects in
// sections of their own, and references to components by name. Lives for one
// save or one load.
class TPropsStorage {
public:
    using ReadFn = std::function<QString(const QString& section, const QString& key, const QString& defaultValue)>;
    using WriteFn = std::function<void(const QString& section, const QString& key, const QString& value)>;
    using EraseFn = std::function<void(const QString& section)>;

    TPropsStorage() = default;
    virtual ~TPropsStorage() = default;

    QObject* Object = nullptr;
    QObject* Owner = nullptr;
    QString Prefix;
    QString Section;
    ReadFn OnReadString;
    WriteFn OnWriteString;
    EraseFn OnEraseSection;

    void StoreAnyProperty(const QMetaProperty& property);
    // Leaves the property as it is when the text does not suit it.
    void LoadAnyProperty(const QMetaProperty& property);
    void StoreProperties();
    void LoadProperties();

    // The storable properties of an object, sorted by name.
    static QList<QMetaProperty> PropInfoList(const QObject* object);
    static std::optional<QMetaProperty> FindProperty(const QObject* object, const QString& name);

protected:
    virtual QString ReadString(const QString& section, const QString& key, const QString& defaultValue);
    virtual void WriteString(const QString& section, const QString& key, const QString& value);
    virtual void EraseSection(const QString& section);
    virtual QString GetItemKey(const QString& name) const { return Prefix + name; }
    virtual std::unique_ptr<TPropsStorage> CreateStorage() const { return std::make_unique<TPropsStorage>(); }

private:
    enum class Kind { Integer, Unsigned, Enumeration, Set, Character, Float, String, StringList, Variant, Component, Object, None };
    static Kind kindOf(const QMetaProperty& property);

    QString textOf(const QMetaProperty& property, Kind kind) const;
    void assignText(const QMetaProperty& property, Kind kind, const QString& text);
    QString componentText(const QObject* component) const;
    void loadComponent(const QMetaProperty& property, const QString& text);
    void writeComponent(const QMetaProperty& property, QObject* component);
    void storeStringList(const QMetaProperty& property);
    void loadStringList(const QMetaProperty& property);
    std::unique_ptr<TPropsStorage> nestedStorage(QObject* object, const QString& prefix) const;
};
