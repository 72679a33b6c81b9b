// The small object base of the library, standing in for an application framework's root class.
//
// CObject offers the same five virtual operations, in the same order, as the framework class it
// replaces: GetRuntimeClass, the destructor, Serialize, AssertValid and Dump. Classes describe
// themselves with a CRuntimeClass record; those registered with CRuntimeClass::Register can be
// looked up and created by name:
//
//   CObject* object = CRuntimeClass::CreateObject("CHttpGetException");
#pragma once

#include <qdx/qdx_export.h>

#include <cstdio>

class CObject;
class CArchive;  // serialization is not supported; the type exists for the signature only

// Where Dump writes: a stdio stream, standard error by default.
class QDX_EXPORT CDumpContext {
public:
    explicit CDumpContext(std::FILE* stream = nullptr);
    CDumpContext& operator<<(const char* text);
    CDumpContext& operator<<(long long value);
    std::FILE* GetStream() const { return m_stream; }

private:
    std::FILE* m_stream;
};

// Run-time class record: name, object size, schema, factory and base class.
struct QDX_EXPORT CRuntimeClass {
    const char* m_lpszClassName;
    int m_nObjectSize;
    unsigned m_wSchema;                  // 0xFFFF: no serialization schema
    CObject* (*m_pfnCreateObject)();     // null: not creatable by name
    const CRuntimeClass* m_pBaseClass;   // null for CObject itself

    // A new object of this class, or null when the class is not creatable.
    CObject* CreateObject() const;
    // 1 when this class is `base` or derives from it.
    int IsDerivedFrom(const CRuntimeClass* base) const;

    // Makes a class findable by name. Returns 0, or -1 when the name is taken by another record.
    static int Register(const CRuntimeClass* record);
    // The registered class of that name (exact, case-sensitive match), or null.
    static const CRuntimeClass* FromName(const char* className);
    // A new object of the named registered class, or null.
    static CObject* CreateObject(const char* className);
};

class QDX_EXPORT CObject {
public:
    virtual const CRuntimeClass* GetRuntimeClass() const;
    virtual ~CObject();
    virtual void Serialize(CArchive& archive);
    virtual void AssertValid() const;
    virtual void Dump(CDumpContext& dc) const;

    // 1 when this object's class is `cls` or derives from it.
    int IsKindOf(const CRuntimeClass* cls) const;

    static const CRuntimeClass classCObject;

protected:
    CObject() = default;
    CObject(const CObject&) = default;
    CObject& operator=(const CObject&) = default;
};

// The base of the library's exception classes. They are thrown as pointers to heap objects; the
// catcher calls Delete() once it is done with one.
//
//   catch (CException* e) { ...; e->Delete(); }
class QDX_EXPORT CException : public CObject {
public:
    const CRuntimeClass* GetRuntimeClass() const override;
    // Destroys this exception object (it must have been created with new).
    void Delete() { delete this; }

    static const CRuntimeClass classCException;
};

// Thrown when memory runs out, and by CTxt::FormatMessageA when the message formatter fails.
class QDX_EXPORT CMemoryException : public CException {
public:
    const CRuntimeClass* GetRuntimeClass() const override;

    static const CRuntimeClass classCMemoryException;
};

// Throws a new CMemoryException (as a pointer; the catcher calls Delete()).
[[noreturn]] QDX_EXPORT void AfxThrowMemoryException();
