#include "settings/TWinMinMaxInfo.h"

TWinMinMaxInfo::TWinMinMaxInfo(QObject* parent)
    : QObject(parent)
{
}

void TWinMinMaxInfo::Assign(const TWinMinMaxInfo& other)
{
    if (m_info == other.m_info)
        return;
    m_info = other.m_info;
    if (OnChange)
        OnChange();
}
