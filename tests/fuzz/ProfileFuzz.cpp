// Random profile texts and random sequences of reads, writes and section
// deletions. After each write the value must read back as a read returns it
// (blanks around it dropped, one pair of quotes dropped, cut at 1023
// characters) and every other key must keep its value; a refused write and
// a deletion must leave the rest as it was; the bytes written must read back
// into the same text.
//
// The name rules below (blanks trimmed, case ignored) are written again on
// purpose: the fuzzer checks the profile text against this independent
// model, which a shared helper would make agree with itself.
#include "settings/ProfileText.h"

#include <QStringList>

#include <cstdint>
#include <cstdlib>
#include <optional>
#include <vector>

namespace {

const QStringList Sections { "A", "a", " B ", "C c", "[x", "", "A]" };
const QStringList Keys { "k", "K", " k2 ", "x=y", "[k", "", "Timer1_Interval", "\xC3\x84" };

struct Input {
    const uint8_t* data;
    size_t size;
    size_t pos = 0;
    uint8_t byte() { return pos < size ? data[pos++] : 0; }
    bool done() const { return pos >= size; }
    QString text(size_t maxLength)
    {
        const size_t length = std::min<size_t>(byte() % (maxLength + 1), size - std::min(size, pos));
        const QString result = QString::fromUtf8(reinterpret_cast<const char*>(data + pos), qsizetype(length));
        pos += length;
        return result;
    }
};

QString trimmedBlanks(const QString& text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && (text[begin] == u' ' || text[begin] == u'\t'))
        ++begin;
    while (end > begin && (text[end - 1] == u' ' || text[end - 1] == u'\t'))
        --end;
    return text.mid(begin, end - begin);
}

bool sameName(const QString& a, const QString& b)
{
    return trimmedBlanks(a).compare(trimmedBlanks(b), Qt::CaseInsensitive) == 0;
}

using Snapshot = std::vector<std::optional<QString>>;

Snapshot snapshot(const ProfileText& profile, const QStringList& sections, const QStringList& keys)
{
    Snapshot values;
    for (const QString& section : sections)
        for (const QString& key : keys)
            values.push_back(profile.rawValue(section, key));
    return values;
}

void check(bool condition)
{
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Input input { data, size };
    const size_t fileLength = std::min<size_t>(size, size_t(input.byte()) * 16 + input.byte());
    ProfileText profile = ProfileText::parse(QByteArray(reinterpret_cast<const char*>(data + input.pos), qsizetype(std::min(fileLength, size - input.pos))));
    input.pos += std::min(fileLength, size - input.pos);
    QStringList sections = Sections;
    QStringList keys = Keys;

    for (int step = 0; step < 32 && !input.done(); ++step) {
        const uint8_t op = input.byte();
        const QString section = op & 0x10 ? input.text(8) : Sections[input.byte() % Sections.size()];
        const QString key = op & 0x20 ? input.text(8) : Keys[input.byte() % Keys.size()];
        // The fixed names and the few that came up last.
        sections.append(section);
        keys.append(key);
        if (sections.size() > Sections.size() + 2) {
            sections.removeAt(Sections.size());
            keys.removeAt(Keys.size());
        }
        const Snapshot before = snapshot(profile, sections, keys);
        const QByteArray bytesBefore = profile.serialize();

        switch (op % 3) {
        case 0: { // write
            const QString value = (op & 0x40) ? QString(1100 + input.byte(), u'v') : input.text(40);
            if (!profile.setValue(section, key, value)) {
                check(profile.serialize() == bytesBefore);
                break;
            }
            const auto raw = profile.rawValue(section, key);
            check(raw.has_value());
            check(ProfileText::readBack(*raw) == ProfileText::readBack(trimmedBlanks(value)));
            const Snapshot after = snapshot(profile, sections, keys);
            size_t i = 0;
            for (const QString& s : sections)
                for (const QString& k : keys) {
                    if (!(sameName(s, section) && sameName(k, key)))
                        check(after[i] == before[i]);
                    ++i;
                }
            break;
        }
        case 1: { // delete a section
            profile.removeSection(section);
            const Snapshot after = snapshot(profile, sections, keys);
            size_t i = 0;
            for (const QString& s : sections)
                for (qsizetype k = 0; k < keys.size(); ++k, ++i)
                    check(sameName(s, section) ? !after[i].has_value() : after[i] == before[i]);
            break;
        }
        default: { // read
            const auto raw = profile.rawValue(section, key);
            if (raw)
                check(ProfileText::readBack(*raw).size() <= ProfileText::MaxValueLength);
            check(profile.serialize() == bytesBefore);
            break;
        }
        }
        // What is written reads back into the same text.
        const ProfileText reread = ProfileText::parse(profile.serialize());
        check(reread.serialize() == profile.serialize());
        check(snapshot(reread, sections, keys) == snapshot(profile, sections, keys));
    }
    return 0;
}
