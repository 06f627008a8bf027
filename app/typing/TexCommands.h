#pragma once

#include <QHash>
#include <QList>
#include <QString>

// The commands the typesetter supports, read from the installed KaTeX
// itself (so the list follows the version installed, never a list kept by
// hand), with the user's own definitions from the text and the macros file.
class TexCommands {
public:
    struct Command {
        QString name; // with its backslash
        int arguments = 0;
        QString glyph; // the character it draws, when it is one
        bool isUsers = false;
    };

    // The commands of the KaTeX script at a path (its installed katex.js).
    static TexCommands fromKatex(const QString& scriptPath);
    // The installed KaTeX's commands, read once.
    static const TexCommands& installed();

    // Adds the definitions (\newcommand, \def, ...) found in TeX source.
    void addDefinitions(const QString& source);

    // The commands that start with a prefix (without its backslash), shortest
    // first, then those that contain it; at most limit.
    QList<Command> candidates(const QString& prefix, int limit = 50) const;
    const Command* find(const QString& name) const;
    const QList<Command>& all() const { return m_commands; }

private:
    void add(const Command& command);

    QList<Command> m_commands;
    QHash<QString, qsizetype> m_index;
};
