// Run-time class records and the root message and event tables every chain ends in.
#include "platform/afx/afxwin.h"

#include <cstring>
#include <mutex>
#include <vector>

namespace {

struct CreatableClasses {
    std::mutex mutex;
    std::vector<const CRuntimeClass*> classes;
};

CreatableClasses& creatable()
{
    static CreatableClasses c;
    return c;
}

}  // namespace

platform::afx::detail::RuntimeClassRegistrar::RuntimeClassRegistrar(const CRuntimeClass* pClass)
{
    std::lock_guard lock(creatable().mutex);
    creatable().classes.push_back(pClass);
}

CObject* CRuntimeClass::CreateObject() const
{
    return m_pfnCreateObject ? m_pfnCreateObject() : nullptr;
}

BOOL CRuntimeClass::IsDerivedFrom(const CRuntimeClass* pBaseClass) const
{
    for (const CRuntimeClass* c = this; c; c = c->m_pfnGetBaseClass ? c->m_pfnGetBaseClass() : nullptr) {
        if (c == pBaseClass) return TRUE;
    }
    return FALSE;
}

const CRuntimeClass* CRuntimeClass::FromName(LPCSTR lpszClassName)
{
    if (!lpszClassName) return nullptr;
    std::lock_guard lock(creatable().mutex);
    for (const CRuntimeClass* c : creatable().classes) {
        if (std::strcmp(c->m_lpszClassName, lpszClassName) == 0) return c;
    }
    return nullptr;
}

const CRuntimeClass CObject::classCObject = {"CObject", sizeof(CObject), nullptr, nullptr};

const CRuntimeClass* CObject::GetRuntimeClass() const
{
    return &classCObject;
}

BOOL CObject::IsKindOf(const CRuntimeClass* pClass) const
{
    return GetRuntimeClass()->IsDerivedFrom(pClass);
}

IMPLEMENT_DYNAMIC(CCmdTarget, CObject)

const AFX_MSGMAP* PASCAL CCmdTarget::GetThisMessageMap()
{
    static const AFX_MSGMAP_ENTRY entries[] = {{0, 0, 0, 0, AfxSig_end, {nullptr}}};
    static const AFX_MSGMAP map = {nullptr, &entries[0]};
    return &map;
}

const AFX_MSGMAP* CCmdTarget::GetMessageMap() const
{
    return GetThisMessageMap();
}

const AFX_EVENTSINKMAP* PASCAL CCmdTarget::GetThisEventSinkMap()
{
    static const AFX_EVENTSINKMAP_ENTRY entries[] = {{0, 0, nullptr, nullptr}};
    static const AFX_EVENTSINKMAP map = {nullptr, &entries[0]};
    return &map;
}

const AFX_EVENTSINKMAP* CCmdTarget::GetEventSinkMap() const
{
    return GetThisEventSinkMap();
}
