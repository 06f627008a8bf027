#include "core/TComponent.h"

TComponent::TComponent(QObject* owner)
    : QObject(owner)
{
}

void TComponent::Loaded()
{
    m_isLoading = false;
}
