#include "core/DestructionScope.h"

namespace {

// Everything runs on the user-interface thread: a plain count is enough.
int depth = 0;

} // namespace

DestructionScope::DestructionScope()
{
    ++depth;
}

DestructionScope::~DestructionScope()
{
    --depth;
}

bool DestructionScope::IsActive()
{
    return depth > 0;
}
