#pragma once

#include <QObject>

// How a control sits in its parent: along an edge, filling what the edge
// controls leave, or where it was put.
namespace Controls {
Q_NAMESPACE
enum TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient };
Q_ENUM_NS(TAlign)
} // namespace Controls

using Controls::TAlign;
using enum Controls::TAlign;
