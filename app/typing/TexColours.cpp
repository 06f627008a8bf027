#include "app/typing/TexColours.h"

#include <QPalette>

#include <cmath>

namespace {

qreal channel(qreal value)
{
    return value <= 0.03928 ? value / 12.92 : std::pow((value + 0.055) / 1.055, 2.4);
}

qreal luminance(const QColor& colour)
{
    return 0.2126 * channel(colour.redF()) + 0.7152 * channel(colour.greenF()) + 0.0722 * channel(colour.blueF());
}

QColor blend(const QColor& a, const QColor& b, qreal share)
{
    return QColor::fromRgbF(float(a.redF() * (1 - share) + b.redF() * share),
        float(a.greenF() * (1 - share) + b.greenF() * share), float(a.blueF() * (1 - share) + b.blueF() * share));
}

// A palette colour that reads on the background: moved towards the text
// colour until it stands out as well as ordinary small text must.
QColor readable(QColor colour, const QPalette& palette)
{
    const QColor base = palette.color(QPalette::Active, QPalette::Base);
    const QColor text = palette.color(QPalette::Active, QPalette::Text);
    for (qreal share = 0.2; TexColours::contrast(colour, base) < 4.5 && share <= 1.0; share += 0.2)
        colour = blend(colour, text, share);
    return colour;
}

QColor roleColour(TexTokenKind kind, const QPalette& palette)
{
    const auto role = [&palette](QPalette::ColorRole r) { return palette.color(QPalette::Active, r); };
    switch (kind) {
    case TexTokenKind::Text: return role(QPalette::Text);
    case TexTokenKind::Math: return blend(role(QPalette::Text), role(QPalette::Link), 0.3);
    case TexTokenKind::Command: return role(QPalette::Link);
    case TexTokenKind::Brace: return role(QPalette::LinkVisited);
    case TexTokenKind::MathDelimiter: return role(QPalette::Highlight);
    case TexTokenKind::Environment: return blend(role(QPalette::LinkVisited), role(QPalette::Link), 0.5);
    case TexTokenKind::Comment: return role(QPalette::PlaceholderText);
    case TexTokenKind::Definition: return blend(role(QPalette::Highlight), role(QPalette::LinkVisited), 0.5);
    }
    return role(QPalette::Text);
}

} // namespace

qreal TexColours::contrast(const QColor& a, const QColor& b)
{
    const qreal la = luminance(a);
    const qreal lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QTextCharFormat TexColours::formatOf(TexTokenKind kind, const QPalette& palette)
{
    QTextCharFormat format;
    if (kind == TexTokenKind::Text)
        return format;
    format.setForeground(readable(roleColour(kind, palette), palette));
    return format;
}
