#include "app/typing/TexCommands.h"

#include <QFile>
#include <QRegularExpression>

#include <algorithm>

#ifndef TAMSEL_KATEX_DIR
#define TAMSEL_KATEX_DIR "/usr/share/javascript/katex"
#endif

namespace {

// A command as the script spells it in a string: "\\name".
const QRegularExpression NameLiteral(QStringLiteral(R"re("\\\\([A-Za-z]+)")re"));
// A symbol: its character, then its name ("≤","\\leq").
const QRegularExpression SymbolLiteral(QStringLiteral(R"re("([^"\\]|\\u[0-9a-fA-F]{4})","\\\\([A-Za-z]+)")re"));
// A function: its names, then how many arguments it takes.
const QRegularExpression FunctionLiteral(QStringLiteral(R"re(names:\[([^\]]*)\],props:\{numArgs:(\d))re"));
// A definition in TeX: \newcommand{\name}[2], \def\name#1#2, \DeclareMathOperator{\name}.
const QRegularExpression Definition(QStringLiteral(
    R"(\\(?:newcommand|renewcommand|providecommand|DeclareMathOperator\*?)\s*\{?\s*\\([A-Za-z]+)\s*\}?\s*(?:\[(\d)\])?|\\[gex]?def\s*\\([A-Za-z]+)((?:#\d)*))"));

QString characterOf(const QString& literal)
{
    if (literal.startsWith(QLatin1String("\\u")))
        return QString(QChar(char16_t(literal.mid(2).toUShort(nullptr, 16))));
    return literal;
}

} // namespace

void TexCommands::add(const Command& command)
{
    const auto it = m_index.constFind(command.name);
    if (it == m_index.cend()) {
        m_index.insert(command.name, m_commands.size());
        m_commands.append(command);
        return;
    }
    Command& known = m_commands[it.value()];
    known.arguments = std::max(known.arguments, command.arguments);
    if (known.glyph.isEmpty())
        known.glyph = command.glyph;
    known.isUsers = known.isUsers || command.isUsers;
}

TexCommands TexCommands::fromKatex(const QString& scriptPath)
{
    TexCommands commands;
    QFile file(scriptPath);
    if (!file.open(QIODevice::ReadOnly))
        return commands;
    const QString script = QString::fromUtf8(file.readAll());
    for (auto it = FunctionLiteral.globalMatch(script); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        const int arguments = match.captured(2).toInt();
        for (auto names = NameLiteral.globalMatch(match.captured(1)); names.hasNext();)
            commands.add({ u'\\' + names.next().captured(1), arguments, {}, false });
    }
    for (auto it = SymbolLiteral.globalMatch(script); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        commands.add({ u'\\' + match.captured(2), 0, characterOf(match.captured(1)), false });
    }
    for (auto it = NameLiteral.globalMatch(script); it.hasNext();)
        commands.add({ u'\\' + it.next().captured(1), 0, {}, false });
    return commands;
}

const TexCommands& TexCommands::installed()
{
    static const TexCommands commands = fromKatex(QStringLiteral(TAMSEL_KATEX_DIR "/katex.js"));
    return commands;
}

void TexCommands::addDefinitions(const QString& source)
{
    for (auto it = Definition.globalMatch(source); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        if (!match.captured(1).isEmpty())
            add({ u'\\' + match.captured(1), match.captured(2).toInt(), {}, true });
        else
            add({ u'\\' + match.captured(3), int(match.captured(4).size() / 2), {}, true });
    }
}

QList<TexCommands::Command> TexCommands::candidates(const QString& prefix, int limit) const
{
    QList<Command> starting;
    QList<Command> containing;
    for (const Command& command : m_commands) {
        const QStringView name = QStringView(command.name).sliced(1);
        if (name.startsWith(prefix))
            starting.append(command);
        else if (!prefix.isEmpty() && name.contains(prefix, Qt::CaseInsensitive))
            containing.append(command);
    }
    const auto order = [](const Command& a, const Command& b) {
        return a.name.size() != b.name.size() ? a.name.size() < b.name.size() : a.name < b.name;
    };
    std::sort(starting.begin(), starting.end(), order);
    std::sort(containing.begin(), containing.end(), order);
    starting += containing;
    if (starting.size() > limit)
        starting.resize(limit);
    return starting;
}

const TexCommands::Command* TexCommands::find(const QString& name) const
{
    const auto it = m_index.constFind(name);
    return it == m_index.cend() ? nullptr : &m_commands[it.value()];
}
