#include <qdx/Resources.h>
#include <qdx/String.h>

#include <cstdio>
#include <cstring>

namespace {

char FoldAscii(char ch)
{
    return (ch >= 'A' && ch <= 'Z') ? static_cast<char>(ch - 'A' + 'a') : ch;
}

} // namespace

void CString::FormatV(const char* format, va_list args)
{
    if (!format) {
        m_text.clear();
        return;
    }
    va_list probe;
    va_copy(probe, args);
    char small[256];
    int needed = std::vsnprintf(small, sizeof small, format, probe);
    va_end(probe);
    if (needed < 0) {
        m_text.clear();
        return;
    }
    if (static_cast<size_t>(needed) < sizeof small) {
        m_text.assign(small, static_cast<size_t>(needed));
        return;
    }
    std::string text(static_cast<size_t>(needed) + 1, '\0');
    std::vsnprintf(text.data(), text.size(), format, args);
    text.resize(static_cast<size_t>(needed));
    m_text.swap(text);
}

void CString::Format(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    FormatV(format, args);
    va_end(args);
}

void CString::AppendFormat(const char* format, ...)
{
    CString tail;
    va_list args;
    va_start(args, format);
    tail.FormatV(format, args);
    va_end(args);
    m_text += tail.m_text;
}

int CString::Compare(const char* text) const
{
    return std::strcmp(m_text.c_str(), text ? text : "");
}

int CString::CompareNoCase(const char* text) const
{
    const char* a = m_text.c_str();
    const char* b = text ? text : "";
    for (;; ++a, ++b) {
        unsigned char ca = static_cast<unsigned char>(FoldAscii(*a));
        unsigned char cb = static_cast<unsigned char>(FoldAscii(*b));
        if (ca != cb)
            return ca < cb ? -1 : 1;
        if (ca == 0)
            return 0;
    }
}

bool CString::LoadString(unsigned id)
{
    const char* text = LoadResourceString(id);
    m_text = text ? text : "";
    return text != nullptr;
}

char* CString::GetBuffer(int minLength)
{
    if (minLength > GetLength())
        m_text.resize(static_cast<size_t>(minLength));
    return m_text.data();
}

void CString::ReleaseBuffer(int newLength)
{
    if (newLength < 0)
        newLength = static_cast<int>(std::strlen(m_text.c_str()));
    m_text.resize(static_cast<size_t>(newLength));
}

CString CString::Left(int count) const
{
    if (count < 0)
        count = 0;
    return CString(m_text.substr(0, static_cast<size_t>(count)));
}

CString CString::Mid(int first, int count) const
{
    if (first < 0)
        first = 0;
    if (first >= GetLength())
        return CString();
    size_t n = count < 0 ? std::string::npos : static_cast<size_t>(count);
    return CString(m_text.substr(static_cast<size_t>(first), n));
}

CString CString::Right(int count) const
{
    if (count <= 0)
        return CString();
    if (count >= GetLength())
        return *this;
    return CString(m_text.substr(m_text.size() - static_cast<size_t>(count)));
}

int CString::Find(char ch, int start) const
{
    if (start < 0 || start > GetLength())
        return -1;
    size_t at = m_text.find(ch, static_cast<size_t>(start));
    return at == std::string::npos ? -1 : static_cast<int>(at);
}

int CString::Find(const char* text, int start) const
{
    if (!text || start < 0 || start > GetLength())
        return -1;
    size_t at = m_text.find(text, static_cast<size_t>(start));
    return at == std::string::npos ? -1 : static_cast<int>(at);
}

void CString::TrimLeft()
{
    size_t first = m_text.find_first_not_of(" \t\r\n");
    m_text.erase(0, first == std::string::npos ? m_text.size() : first);
}

void CString::TrimRight()
{
    size_t last = m_text.find_last_not_of(" \t\r\n");
    m_text.resize(last == std::string::npos ? 0 : last + 1);
}

void CString::MakeUpper()
{
    for (char& ch : m_text)
        if (ch >= 'a' && ch <= 'z')
            ch = static_cast<char>(ch - 'a' + 'A');
}

void CString::MakeLower()
{
    for (char& ch : m_text)
        ch = FoldAscii(ch);
}

CString operator+(const CString& a, const char* b)
{
    CString sum(a);
    sum += b;
    return sum;
}

void CStringArray::SetAtGrow(int i, const char* text)
{
    if (i >= GetSize())
        m_items.resize(static_cast<size_t>(i) + 1);
    m_items[static_cast<size_t>(i)] = text;
}

void CStringArray::InsertAt(int i, const char* text, int count)
{
    if (i > GetSize())
        m_items.resize(static_cast<size_t>(i));
    m_items.insert(m_items.begin() + i, static_cast<size_t>(count), CString(text));
}

void CStringArray::RemoveAt(int i, int count)
{
    m_items.erase(m_items.begin() + i, m_items.begin() + i + count);
}
