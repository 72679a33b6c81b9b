#include <qdx/Object.h>

#include <cstring>
#include <mutex>
#include <vector>

CDumpContext::CDumpContext(std::FILE* stream) : m_stream(stream ? stream : stderr) {}

CDumpContext& CDumpContext::operator<<(const char* text)
{
    if (text)
        std::fputs(text, m_stream);
    return *this;
}

CDumpContext& CDumpContext::operator<<(long long value)
{
    std::fprintf(m_stream, "%lld", value);
    return *this;
}

namespace {

struct ClassRegistry {
    std::mutex lock;
    std::vector<const CRuntimeClass*> classes;
};

ClassRegistry& Registry()
{
    static ClassRegistry registry;
    return registry;
}

} // namespace

CObject* CRuntimeClass::CreateObject() const
{
    return m_pfnCreateObject ? m_pfnCreateObject() : nullptr;
}

int CRuntimeClass::IsDerivedFrom(const CRuntimeClass* base) const
{
    for (const CRuntimeClass* cls = this; cls; cls = cls->m_pBaseClass)
        if (cls == base)
            return 1;
    return 0;
}

int CRuntimeClass::Register(const CRuntimeClass* record)
{
    if (!record || !record->m_lpszClassName)
        return -1;
    ClassRegistry& registry = Registry();
    std::lock_guard<std::mutex> guard(registry.lock);
    for (const CRuntimeClass* cls : registry.classes) {
        if (std::strcmp(cls->m_lpszClassName, record->m_lpszClassName) == 0)
            return cls == record ? 0 : -1;
    }
    registry.classes.push_back(record);
    return 0;
}

const CRuntimeClass* CRuntimeClass::FromName(const char* className)
{
    if (!className)
        return nullptr;
    ClassRegistry& registry = Registry();
    std::lock_guard<std::mutex> guard(registry.lock);
    for (const CRuntimeClass* cls : registry.classes)
        if (std::strcmp(cls->m_lpszClassName, className) == 0)
            return cls;
    return nullptr;
}

CObject* CRuntimeClass::CreateObject(const char* className)
{
    const CRuntimeClass* cls = FromName(className);
    return cls ? cls->CreateObject() : nullptr;
}

const CRuntimeClass CObject::classCObject = {"CObject", sizeof(CObject), 0xFFFF, nullptr, nullptr};

const CRuntimeClass* CObject::GetRuntimeClass() const { return &classCObject; }
CObject::~CObject() = default;
void CObject::Serialize(CArchive&) {}
void CObject::AssertValid() const {}
void CObject::Dump(CDumpContext&) const {}

int CObject::IsKindOf(const CRuntimeClass* cls) const
{
    return GetRuntimeClass()->IsDerivedFrom(cls);
}

const CRuntimeClass CException::classCException = {"CException", sizeof(CException), 0xFFFF, nullptr,
                                                   &CObject::classCObject};

const CRuntimeClass* CException::GetRuntimeClass() const { return &classCException; }

const CRuntimeClass CMemoryException::classCMemoryException = {
    "CMemoryException", sizeof(CMemoryException), 0xFFFF, nullptr, &CException::classCException};

const CRuntimeClass* CMemoryException::GetRuntimeClass() const { return &classCMemoryException; }

void AfxThrowMemoryException()
{
    throw new CMemoryException;
}
