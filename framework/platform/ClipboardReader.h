#pragma once

#include <QString>

#include <optional>

// Reads the clipboard's plain text within a bounded time. Another program
// owns the clipboard while it serves it; one that does not answer would
// otherwise keep the user-interface thread waiting for many seconds per
// request. std::nullopt when the clipboard holds no text or its owner did not
// hand it over in time.
namespace ClipboardReader {

// The longest a whole read may take, however many requests it needs.
constexpr int DefaultTimeoutMs = 1500;

std::optional<QString> text(int timeoutMs = DefaultTimeoutMs);

} // namespace ClipboardReader
