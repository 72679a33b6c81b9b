// CString and CStringArray: the small growable string and string array that appear in a few
// signatures of the library (date-time text, HTTP fetch, CTxt::FindStringArray).
//
//   CString s;
//   s.Format("%02d:%02d", 8, 5);          // "08:05"
//   s += " UTC";                           // "08:05 UTC"
//   s.LoadString(IDS_SOMETHING);           // from the string table, see Resources.h
//
// Texts are 8-bit; case-insensitive comparisons fold ASCII letters only.
#pragma once

#include <qdx/Object.h>
#include <qdx/qdx_export.h>

#include <cstdarg>
#include <string>
#include <vector>

class QDX_EXPORT CString {
public:
    CString() = default;
    CString(const char* text) : m_text(text ? text : "") {}  // NOLINT: implicit by design
    CString(const char* text, int length) : m_text(text ? std::string(text, length) : std::string()) {}
    CString(const std::string& text) : m_text(text) {}      // NOLINT: implicit by design

    int GetLength() const { return static_cast<int>(m_text.size()); }
    bool IsEmpty() const { return m_text.empty(); }
    void Empty() { m_text.clear(); }

    operator const char*() const { return m_text.c_str(); }  // NOLINT: implicit by design
    const char* GetString() const { return m_text.c_str(); }
    const std::string& str() const { return m_text; }
    char GetAt(int i) const { return m_text[static_cast<size_t>(i)]; }
    char operator[](int i) const { return GetAt(i); }
    void SetAt(int i, char ch) { m_text[static_cast<size_t>(i)] = ch; }

    // printf-style formatting of any length.
    void Format(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void FormatV(const char* format, va_list args);
    void AppendFormat(const char* format, ...) __attribute__((format(printf, 2, 3)));

    CString& operator=(const char* text)
    {
        m_text = text ? text : "";
        return *this;
    }
    CString& operator+=(const char* text)
    {
        if (text)
            m_text += text;
        return *this;
    }
    CString& operator+=(const CString& text)
    {
        m_text += text.m_text;
        return *this;
    }
    CString& operator+=(char ch)
    {
        m_text += ch;
        return *this;
    }

    int Compare(const char* text) const;        // like strcmp
    int CompareNoCase(const char* text) const;  // ASCII case folded
    bool operator==(const char* text) const { return Compare(text) == 0; }
    bool operator==(const CString& other) const { return m_text == other.m_text; }

    // Loads string `id` of the registered string table; false (and an empty text) when missing.
    bool LoadString(unsigned id);

    // A writable buffer of at least minLength characters; ReleaseBuffer sets the length from the
    // first NUL (newLength -1) or to newLength.
    char* GetBuffer(int minLength);
    void ReleaseBuffer(int newLength = -1);

    CString Left(int count) const;
    CString Mid(int first, int count = -1) const;
    CString Right(int count) const;
    int Find(char ch, int start = 0) const;
    int Find(const char* text, int start = 0) const;
    void TrimLeft();
    void TrimRight();
    void MakeUpper();
    void MakeLower();

private:
    std::string m_text;
};

QDX_EXPORT CString operator+(const CString& a, const char* b);

// An array of CString, indexed from 0.
class QDX_EXPORT CStringArray : public CObject {
public:
    int GetSize() const { return static_cast<int>(m_items.size()); }
    int GetCount() const { return GetSize(); }
    int GetUpperBound() const { return GetSize() - 1; }
    bool IsEmpty() const { return m_items.empty(); }

    int Add(const char* text)
    {
        m_items.emplace_back(text);
        return GetSize() - 1;
    }
    const CString& GetAt(int i) const { return m_items[static_cast<size_t>(i)]; }
    CString& ElementAt(int i) { return m_items[static_cast<size_t>(i)]; }
    const CString& operator[](int i) const { return GetAt(i); }
    CString& operator[](int i) { return ElementAt(i); }
    void SetAt(int i, const char* text) { m_items[static_cast<size_t>(i)] = text; }
    // Stores at i, growing the array with empty strings when needed.
    void SetAtGrow(int i, const char* text);
    void InsertAt(int i, const char* text, int count = 1);
    void RemoveAt(int i, int count = 1);
    void RemoveAll() { m_items.clear(); }

private:
    std::vector<CString> m_items;
};
