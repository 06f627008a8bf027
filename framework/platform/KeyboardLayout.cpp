#include "platform/KeyboardLayout.h"

#include <xkbcommon/xkbcommon.h>

#include <memory>
#include <vector>

namespace {

// The keys of the main block by their XKB names, with the code each has on a
// US layout and the two characters it types there.
struct UsKey {
    const char* name;
    quint8 virtualKey;
    char base;
    char shifted;
};

constexpr UsKey UsKeys[] = {
    { "TLDE", 0xC0, '`', '~' }, { "AE01", '1', '1', '!' }, { "AE02", '2', '2', '@' }, { "AE03", '3', '3', '#' },
    { "AE04", '4', '4', '$' }, { "AE05", '5', '5', '%' }, { "AE06", '6', '6', '^' }, { "AE07", '7', '7', '&' },
    { "AE08", '8', '8', '*' }, { "AE09", '9', '9', '(' }, { "AE10", '0', '0', ')' }, { "AE11", 0xBD, '-', '_' },
    { "AE12", 0xBB, '=', '+' }, { "AD01", 'Q', 'q', 'Q' }, { "AD02", 'W', 'w', 'W' }, { "AD03", 'E', 'e', 'E' },
    { "AD04", 'R', 'r', 'R' }, { "AD05", 'T', 't', 'T' }, { "AD06", 'Y', 'y', 'Y' }, { "AD07", 'U', 'u', 'U' },
    { "AD08", 'I', 'i', 'I' }, { "AD09", 'O', 'o', 'O' }, { "AD10", 'P', 'p', 'P' }, { "AD11", 0xDB, '[', '{' },
    { "AD12", 0xDD, ']', '}' }, { "AC01", 'A', 'a', 'A' }, { "AC02", 'S', 's', 'S' }, { "AC03", 'D', 'd', 'D' },
    { "AC04", 'F', 'f', 'F' }, { "AC05", 'G', 'g', 'G' }, { "AC06", 'H', 'h', 'H' }, { "AC07", 'J', 'j', 'J' },
    { "AC08", 'K', 'k', 'K' }, { "AC09", 'L', 'l', 'L' }, { "AC10", 0xBA, ';', ':' }, { "AC11", 0xDE, '\'', '"' },
    { "BKSL", 0xDC, '\\', '|' }, { "AB01", 'Z', 'z', 'Z' }, { "AB02", 'X', 'x', 'X' }, { "AB03", 'C', 'c', 'C' },
    { "AB04", 'V', 'v', 'V' }, { "AB05", 'B', 'b', 'B' }, { "AB06", 'N', 'n', 'N' }, { "AB07", 'M', 'm', 'M' },
    { "AB08", 0xBC, ',', '<' }, { "AB09", 0xBE, '.', '>' }, { "AB10", 0xBF, '/', '?' }, { "LSGT", 0xE2, '<', '>' },
};

bool isPunctuationKey(quint8 virtualKey)
{
    return virtualKey >= 0xBA;
}

// The extra key left of Z, which 104-key keyboards do not have.
bool isOnEveryKeyboard(const UsKey& key)
{
    return key.virtualKey != 0xE2;
}

// What a dead key is called: the spacing form of its accent.
char32_t deadKeyCharacter(xkb_keysym_t sym)
{
    switch (sym) {
    case XKB_KEY_dead_grave:
        return U'`';
    case XKB_KEY_dead_acute:
        return U'\u00B4';
    case XKB_KEY_dead_circumflex:
        return U'^';
    case XKB_KEY_dead_tilde:
        return U'~';
    case XKB_KEY_dead_diaeresis:
        return U'\u00A8';
    case XKB_KEY_dead_abovering:
        return U'\u02DA';
    case XKB_KEY_dead_cedilla:
        return U'\u00B8';
    default:
        return 0;
    }
}

// One key of the main block on the layout at hand.
struct Key {
    const UsKey* us;
    xkb_keycode_t code;
    xkb_keysym_t base;
    xkb_keysym_t shifted;
    char32_t baseCharacter;
    char32_t shiftedCharacter;
    quint8 virtualKey = 0;
};

xkb_keysym_t symAt(xkb_keymap* keymap, xkb_keycode_t code, uint32_t group, xkb_level_index_t level)
{
    const xkb_layout_index_t layouts = xkb_keymap_num_layouts_for_key(keymap, code);
    if (layouts == 0)
        return XKB_KEY_NoSymbol;
    const xkb_keysym_t* syms = nullptr;
    const int count = xkb_keymap_key_get_syms_by_level(keymap, code, group % layouts, level, &syms);
    return count == 1 ? syms[0] : XKB_KEY_NoSymbol;
}

char32_t characterOf(xkb_keysym_t sym)
{
    if (const char32_t dead = deadKeyCharacter(sym))
        return dead;
    return xkb_keysym_to_utf32(sym);
}

std::vector<Key> mainBlock(xkb_keymap* keymap, uint32_t group)
{
    std::vector<Key> keys;
    for (const UsKey& us : UsKeys) {
        const xkb_keycode_t code = xkb_keymap_key_by_name(keymap, us.name);
        if (code == XKB_KEYCODE_INVALID || code > 255)
            continue;
        const xkb_keysym_t base = symAt(keymap, code, group, 0);
        const xkb_keysym_t shifted = symAt(keymap, code, group, 1);
        keys.push_back({ &us, code, base, shifted, characterOf(base), characterOf(shifted) });
    }
    return keys;
}

// Gives the keys their codes, from the surest rule to the loosest.
class Assignment {
public:
    explicit Assignment(std::vector<Key>& keys)
        : m_keys(keys)
    {
    }

    // A code that the rules give to a key some keyboards lack goes to the key
    // in its US place instead, and the rules run again around it; each round
    // settles one more code, so the rounds end.
    void run()
    {
        for (size_t round = 0; round <= m_keys.size(); ++round) {
            assign();
            const Key* extra = extraKeyWithMainCode();
            Key* usPlace = extra ? keyInUsPlaceOf(extra->virtualKey) : nullptr;
            if (!usPlace)
                return;
            m_settled.push_back({ usPlace, extra->virtualKey });
        }
    }

private:
    struct Settled {
        Key* key;
        quint8 virtualKey;
    };

    void assign()
    {
        for (Key& key : m_keys)
            key.virtualKey = 0;
        for (const Settled& settled : m_settled)
            take(*settled.key, settled.virtualKey);
        for (Key& key : m_keys) {
            if (key.base >= XKB_KEY_a && key.base <= XKB_KEY_z)
                take(key, quint8('A' + key.base - XKB_KEY_a));
            else if (key.base >= XKB_KEY_A && key.base <= XKB_KEY_Z)
                take(key, quint8('A' + key.base - XKB_KEY_A));
        }
        for (Key& key : m_keys) {
            if (const int digit = digitOf(key); digit >= 0)
                take(key, quint8('0' + digit));
        }
        // A punctuation key by the character it types: its unshifted character
        // as the US key's unshifted or shifted one, then its shifted character.
        matchPunctuation([](const Key& k) { return k.baseCharacter; }, [](const UsKey& u) { return u.base; });
        matchPunctuation([](const Key& k) { return k.baseCharacter; }, [](const UsKey& u) { return u.shifted; });
        matchPunctuation([](const Key& k) { return k.shiftedCharacter; }, [](const UsKey& u) { return u.base; });
        matchPunctuation([](const Key& k) { return k.shiftedCharacter; }, [](const UsKey& u) { return u.shifted; });
        for (Key& key : m_keys) {
            if (!key.virtualKey)
                take(key, key.us->virtualKey);
        }
        for (Key& key : m_keys) {
            if (!key.virtualKey)
                take(key, displacedCode(key));
        }
    }

    const Key* extraKeyWithMainCode() const
    {
        for (const Key& key : m_keys) {
            if (!isOnEveryKeyboard(*key.us) && key.virtualKey && key.virtualKey != key.us->virtualKey)
                return &key;
        }
        return nullptr;
    }

    Key* keyInUsPlaceOf(quint8 code)
    {
        for (Key& key : m_keys) {
            if (key.us->virtualKey == code && isOnEveryKeyboard(*key.us))
                return &key;
        }
        return nullptr;
    }

    static int digitOf(const Key& key)
    {
        for (const xkb_keysym_t sym : { key.base, key.shifted }) {
            if (sym >= XKB_KEY_0 && sym <= XKB_KEY_9)
                return int(sym - XKB_KEY_0);
        }
        return -1;
    }

    template <typename KeyCharacter, typename UsCharacter>
    void matchPunctuation(KeyCharacter keyCharacter, UsCharacter usCharacter)
    {
        for (const UsKey& us : UsKeys) {
            if (!isPunctuationKey(us.virtualKey) || isTaken(us.virtualKey))
                continue;
            for (Key& key : m_keys) {
                if (!key.virtualKey && keyCharacter(key) == char32_t(usCharacter(us))) {
                    take(key, us.virtualKey);
                    break;
                }
            }
        }
    }

    // The key's own US code went to another key; that key's US code may be
    // free, or have gone on to a third, and so on.
    quint8 displacedCode(const Key& key) const
    {
        quint8 code = key.us->virtualKey;
        for (size_t step = 0; step < m_keys.size() && isTaken(code); ++step) {
            const Key* holder = holderOf(code);
            if (!holder || holder->us->virtualKey == code)
                return 0;
            code = holder->us->virtualKey;
        }
        return isTaken(code) ? 0 : code;
    }

    const Key* holderOf(quint8 code) const
    {
        for (const Key& key : m_keys) {
            if (key.virtualKey == code)
                return &key;
        }
        return nullptr;
    }

    bool isTaken(quint8 code) const { return holderOf(code) != nullptr; }

    void take(Key& key, quint8 code)
    {
        if (code && !key.virtualKey && !isTaken(code))
            key.virtualKey = code;
    }

    std::vector<Key>& m_keys;
    std::vector<Settled> m_settled;
};

QString nameOf(char32_t character)
{
    if (character < 0x21 || character == 0x7F || (character >= 0x80 && character < 0xA0))
        return {};
    // The name is the key's capital where it has one of a single character.
    const QString text = QString::fromUcs4(&character, 1);
    return text.size() == 1 ? QString(text.at(0).toUpper()) : text;
}

} // namespace

KeyboardLayout::KeyboardLayout(xkb_keymap* keymap, uint32_t group)
{
    std::vector<Key> keys = mainBlock(keymap, group);
    Assignment(keys).run();
    for (const Key& key : keys) {
        if (!key.virtualKey)
            continue;
        m_virtualKeys[key.code] = key.virtualKey;
        m_keyCodes[key.virtualKey] = key.code;
        m_names[key.virtualKey] = nameOf(key.baseCharacter);
    }
}

std::optional<KeyboardLayout> KeyboardLayout::FromNames(const char* layout, const char* variant)
{
    const std::unique_ptr<xkb_context, decltype(&xkb_context_unref)> context(
        xkb_context_new(XKB_CONTEXT_NO_FLAGS), &xkb_context_unref);
    if (!context)
        return std::nullopt;
    const xkb_rule_names names { "evdev", "pc105", layout, variant, nullptr };
    const std::unique_ptr<xkb_keymap, decltype(&xkb_keymap_unref)> keymap(
        xkb_keymap_new_from_names(context.get(), &names, XKB_KEYMAP_COMPILE_NO_FLAGS), &xkb_keymap_unref);
    if (!keymap)
        return std::nullopt;
    return KeyboardLayout(keymap.get(), 0);
}

quint8 KeyboardLayout::VirtualKey(quint32 keycode) const
{
    return keycode < m_virtualKeys.size() ? m_virtualKeys[keycode] : 0;
}

quint32 KeyboardLayout::KeyCode(quint8 virtualKey) const
{
    return m_keyCodes[virtualKey];
}

QString KeyboardLayout::KeyName(quint8 virtualKey) const
{
    return m_names[virtualKey];
}
