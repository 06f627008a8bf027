#include "core/TComponent.h"
#include "settings/TFormStorage.h"
#include "settings/TPropsStorage.h"

#include <QMap>

#include <gtest/gtest.h>

inline void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}

namespace {

class TSampleFont : public QObject {
    Q_OBJECT
    Q_PROPERTY(int Height READ Height WRITE SetHeight)
    Q_PROPERTY(QString Name READ Name WRITE SetName)

public:
    int Height() const { return m_height; }
    void SetHeight(int height) { m_height = height; }
    QString Name() const { return m_name; }
    void SetName(const QString& name) { m_name = name; }

private:
    int m_height = -13;
    QString m_name = QStringLiteral("Sans");
};

// One published property of every kind the stored properties handle.
class TSample : public TComponent {
    Q_OBJECT
    Q_PROPERTY(int Number MEMBER m_number)
    Q_PROPERTY(uint Interval MEMBER m_interval)
    Q_PROPERTY(bool Checked MEMBER m_checked)
    Q_PROPERTY(TAlign Align MEMBER m_align)
    Q_PROPERTY(TStyles Style READ Style WRITE SetStyle)
    Q_PROPERTY(QChar Letter MEMBER m_letter)
    Q_PROPERTY(double Ratio MEMBER m_ratio)
    Q_PROPERTY(float Scale MEMBER m_scale)
    Q_PROPERTY(QString Text MEMBER m_text)
    Q_PROPERTY(QStringList Lines MEMBER m_lines)
    Q_PROPERTY(TComponent* Partner MEMBER m_partner)
    Q_PROPERTY(TSampleFont* Font READ Font)
    Q_PROPERTY(int ReadOnly READ ReadOnly)

public:
    enum TAlign { alNone, alTop, alBottom };
    Q_ENUM(TAlign)
    enum TStyle { fsBold = 0x1, fsItalic = 0x2, fsUnderline = 0x4 };
    Q_DECLARE_FLAGS(TStyles, TStyle)
    Q_FLAG(TStyles)

    using TComponent::TComponent;
    TSampleFont* Font() { return &m_font; }
    int ReadOnly() const { return 1; }
    TStyles Style() const { return m_style; }
    void SetStyle(TStyles style) { m_style = style; }

    int m_number = 0;
    uint m_interval = 0;
    bool m_checked = false;
    TAlign m_align = alNone;
    TStyles m_style;
    QChar m_letter;
    double m_ratio = 0;
    float m_scale = 0;
    QString m_text;
    QStringList m_lines;
    TComponent* m_partner = nullptr;
    TSampleFont m_font;
};

// A settings file in memory: section -> key -> value, in writing order.
struct MemoryStore {
    QMap<QString, QList<std::pair<QString, QString>>> sections;

    QString read(const QString& section, const QString& key, const QString& defaultValue) const
    {
        for (const auto& [k, v] : sections.value(section))
            if (k.compare(key, Qt::CaseInsensitive) == 0)
                return v;
        return defaultValue;
    }
    void write(const QString& section, const QString& key, const QString& value)
    {
        auto& keys = sections[section];
        for (auto& entry : keys)
            if (entry.first == key) {
                entry.second = value;
                return;
            }
        keys.append({ key, value });
    }
    void attach(TPropsStorage& storage)
    {
        storage.OnReadString = [this](const QString& s, const QString& k, const QString& d) { return read(s, k, d); };
        storage.OnWriteString = [this](const QString& s, const QString& k, const QString& v) { write(s, k, v); };
        storage.OnEraseSection = [this](const QString& s) { sections.remove(s); };
    }
};

void storeAll(QObject* owner, TSample& sample, MemoryStore& store)
{
    TPropsStorage storage;
    store.attach(storage);
    storage.Owner = owner;
    storage.Object = &sample;
    storage.Prefix = QStringLiteral("Sample1_");
    storage.Section = QStringLiteral("S");
    storage.StoreProperties();
}

void loadAll(QObject* owner, TSample& sample, MemoryStore& store)
{
    TPropsStorage storage;
    store.attach(storage);
    storage.Owner = owner;
    storage.Object = &sample;
    storage.Prefix = QStringLiteral("Sample1_");
    storage.Section = QStringLiteral("S");
    storage.LoadProperties();
}

} // namespace

TEST(TPropsStorage, EveryKindHasItsTextAndComesBack)
{
    QObject form;
    auto* partner = new TComponent(&form);
    partner->SetName(QStringLiteral("Partner1"));
    TSample sample(&form);
    sample.m_number = -42;
    sample.m_interval = 3000000000u;
    sample.m_checked = true;
    sample.m_align = TSample::alBottom;
    sample.m_style = TSample::TStyles(TSample::fsBold) | TSample::fsUnderline;
    sample.m_letter = u'Z';
    sample.m_ratio = 0.1;
    sample.m_scale = 2.5f;
    sample.m_text = QStringLiteral("  padded  ");
    sample.m_lines = { QStringLiteral("one"), QStringLiteral("two") };
    sample.m_partner = partner;
    sample.m_font.SetHeight(-20);

    MemoryStore store;
    storeAll(&form, sample, store);
    const QList<std::pair<QString, QString>> expected {
        { "Sample1_Align", "alBottom" }, { "Sample1_Checked", "True" }, { "Sample1_FontHeight", "-20" },
        { "Sample1_FontName", "Sans" }, { "Sample1_Interval", "3000000000" }, { "Sample1_Letter", "Z" }, { "Sample1_Name", "" },
        { "Sample1_Number", "-42" }, { "Sample1_Partner", "Partner1" }, { "Sample1_Ratio", "0.1" },
        { "Sample1_Scale", "2.5" }, { "Sample1_Style", "[fsBold,fsUnderline]" }, { "Sample1_Text", "padded" },
    };
    EXPECT_EQ(store.sections.value(QStringLiteral("S")), expected);
    EXPECT_EQ(store.sections.value(QStringLiteral("S.Sample1_Lines")),
        (QList<std::pair<QString, QString>> { { "Count", "2" }, { "Item0", "one" }, { "Item1", "two" } }));

    TSample loaded(&form);
    loadAll(&form, loaded, store);
    EXPECT_EQ(loaded.m_number, -42);
    EXPECT_EQ(loaded.m_interval, 3000000000u);
    EXPECT_TRUE(loaded.m_checked);
    EXPECT_EQ(loaded.m_align, TSample::alBottom);
    EXPECT_EQ(loaded.m_style, TSample::TStyles(TSample::fsBold) | TSample::fsUnderline);
    EXPECT_EQ(loaded.m_letter, u'Z');
    EXPECT_DOUBLE_EQ(loaded.m_ratio, 0.1);
    EXPECT_FLOAT_EQ(loaded.m_scale, 2.5f);
    EXPECT_EQ(loaded.m_text, "padded") << "blanks around a string are not kept";
    EXPECT_EQ(loaded.m_lines, sample.m_lines);
    EXPECT_EQ(loaded.m_partner, partner);
    EXPECT_EQ(loaded.m_font.Height(), -20);
}

TEST(TPropsStorage, TextThatDoesNotSuitTheKind)
{
    QObject form;
    const struct {
        const char* key;
        const char* text;
        std::function<bool(const TSample&)> holds;
    } cases[] = {
        { "Checked", "true", [](const TSample& s) { return s.m_checked; } },
        { "Checked", "TRUE", [](const TSample& s) { return s.m_checked; } },
        { "Checked", "1", [](const TSample& s) { return !s.m_checked; } },
        { "Checked", "yes", [](const TSample& s) { return !s.m_checked; } },
        { "Interval", "0x1F4", [](const TSample& s) { return s.m_interval == 500; } },
        { "Interval", "$1F4", [](const TSample& s) { return s.m_interval == 500; } },
        { "Interval", "500ms", [](const TSample& s) { return s.m_interval == 0; } },
        { "Interval", "banana", [](const TSample& s) { return s.m_interval == 0; } },
        { "Interval", "", [](const TSample& s) { return s.m_interval == 0; } },
        { "Interval", "4294967295", [](const TSample& s) { return s.m_interval == 4294967295u; } },
        { "Number", "3000000000", [](const TSample& s) { return s.m_number == 0; } },
        { "Align", "ALTOP", [](const TSample& s) { return s.m_align == TSample::alTop; } },
        { "Align", "sideways", [](const TSample& s) { return s.m_align == TSample::alBottom; } },
        { "Style", "[fsItalic, nonsense ,FSBOLD]", [](const TSample& s) { return s.m_style == (TSample::TStyles(TSample::fsItalic) | TSample::fsBold); } },
        { "Style", "[]", [](const TSample& s) { return s.m_style == TSample::TStyles(); } },
        { "Letter", "", [](const TSample& s) { return s.m_letter == u'Q'; } },
        { "Ratio", "1,5", [](const TSample& s) { return s.m_ratio == 7.0; } },
        { "Partner", "(NULL)", [](const TSample& s) { return s.m_partner == nullptr; } },
        { "Partner", "Nobody", [](const TSample& s) { return s.m_partner == nullptr; } },
        { "Partner", "NoSuchForm.Partner1", [](const TSample& s) { return s.m_partner != nullptr; } },
    };
    for (const auto& c : cases) {
        TSample sample(&form);
        sample.m_interval = 5000;
        sample.m_number = 9;
        sample.m_align = TSample::alBottom;
        sample.m_style = TSample::fsUnderline;
        sample.m_letter = u'Q';
        sample.m_ratio = 7.0;
        sample.m_partner = &sample;
        MemoryStore store;
        store.write(QStringLiteral("S"), QStringLiteral("Sample1_") + QString::fromLatin1(c.key), QString::fromLatin1(c.text));
        loadAll(&form, sample, store);
        EXPECT_TRUE(c.holds(sample)) << c.key << " = " << c.text;
    }
}

TEST(TPropsStorage, MissingKeysLeaveEveryValueAsItWas)
{
    QObject form;
    TSample sample(&form);
    sample.m_interval = 5000;
    sample.m_checked = true;
    sample.m_text = QStringLiteral("kept");
    MemoryStore store;
    loadAll(&form, sample, store);
    EXPECT_EQ(sample.m_interval, 5000u);
    EXPECT_TRUE(sample.m_checked);
    EXPECT_EQ(sample.m_text, "kept");
}

TEST(TFormStorage, PathsAreParsedAndResolvedAgainstTheForm)
{
    const struct {
        const char* line;
        const char* component;
        const char* property;
    } cases[] = {
        { "Timer1.Interval", "Timer1", "Interval" },
        { "  Timer1 . Interval\t", "Timer1", "Interval" },
        { "Memo1.Font.Name", "Memo1", "Font.Name" },
        { "NoDot", nullptr, nullptr },
        { ".Interval", nullptr, nullptr },
        { "Timer1.", nullptr, nullptr },
    };
    for (const auto& c : cases) {
        const auto path = TFormStorage::ParsePath(QString::fromLatin1(c.line));
        EXPECT_EQ(path.has_value(), c.component != nullptr) << c.line;
        if (path && c.component) {
            EXPECT_EQ(*path, (std::pair { QString::fromLatin1(c.component), QString::fromLatin1(c.property) })) << c.line;
        }
    }

    QObject form;
    auto* sample = new TSample(&form);
    sample->SetName(QStringLiteral("Sample1"));
    auto* storage = new TFormStorage(&form);
    storage->SetStoredProps({ QStringLiteral(" sample1 .Interval"), QStringLiteral("NoDot"), QStringLiteral("Ghost1.Interval"),
        QStringLiteral("Sample1.OnTimer"), QStringLiteral("Sample1.Checked") });
    storage->Loaded();
    EXPECT_EQ(storage->StoredProps(), (QStringList { QStringLiteral(" sample1 .Interval"), QStringLiteral("Sample1.OnTimer"), QStringLiteral("Sample1.Checked") }));
    delete sample;
    EXPECT_TRUE(storage->StoredProps().isEmpty()) << "lines of a component that is gone are deleted";
}

#include "TPropsStorageTest.moc"
