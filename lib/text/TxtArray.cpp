// CTxtArray: list operations, searches, key|value records, delimited text and line files.
// The directory listings are in DirList.cpp.
#include <qdx/TxtArray.h>

#include <qdx/BufferedReader.h>
#include <qdx/Fields.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace {

// Lines read from files are kept up to this many characters (the line buffers hold one more).
constexpr int kFileLineSize = 100000;
// Keys, values and fields are kept up to this many characters.
constexpr size_t kFieldKeep = 9999;

unsigned char FoldLower(unsigned char ch)
{
    return (ch >= 'A' && ch <= 'Z') ? static_cast<unsigned char>(ch + ('a' - 'A')) : ch;
}

// Orders two texts ignoring ASCII case, comparing the lower-case forms byte by byte.
int CompareFolded(const char* a, const char* b)
{
    const auto* x = reinterpret_cast<const unsigned char*>(a);
    const auto* y = reinterpret_cast<const unsigned char*>(b);
    for (;; ++x, ++y) {
        unsigned char cx = FoldLower(*x);
        unsigned char cy = FoldLower(*y);
        if (cx != cy)
            return cx < cy ? -1 : 1;
        if (cx == 0)
            return 0;
    }
}

// True when the n bytes at a and b are equal ignoring ASCII case.
bool EqualFolded(const char* a, const char* b, size_t n)
{
    for (size_t i = 0; i < n; ++i)
        if (FoldLower(static_cast<unsigned char>(a[i])) != FoldLower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

void SetFileError(CTxt& err, const char* what, const char* path, int error)
{
    err.Format("%s %s (%s)", what, path ? path : "", std::strerror(error));
}

// The file side of the unbuffered line reader: one byte per read call, with room to give one
// byte back (the byte after a lone carriage return starts the next line).
struct ByteSource {
    int fd;
    int pending = -1;

    // The next byte, or -1 at the end of the file or on a read error.
    int Next()
    {
        if (pending >= 0) {
            int ch = pending;
            pending = -1;
            return ch;
        }
        unsigned char ch;
        for (;;) {
            ssize_t got = ::read(fd, &ch, 1);
            if (got == 1)
                return ch;
            if (got < 0 && errno == EINTR)
                continue;
            return -1;
        }
    }
};

// Reads one line into buf (at most size - 1 characters and a NUL; the rest of a longer line is
// skipped). A line ends at LF, CR LF or a lone CR. Returns the number of characters stored, or
// -1 when the file ends before a line end: a final line without one is not delivered.
int fdgetline(char* buf, int size, ByteSource& source)
{
    int stored = 0;
    for (;;) {
        int ch = source.Next();
        if (ch < 0)
            return -1;
        if (ch == '\r') {
            int next = source.Next();
            if (next >= 0 && next != '\n')
                source.pending = next;
            break;
        }
        if (ch == '\n')
            break;
        if (stored < size - 1)
            buf[stored++] = static_cast<char>(ch);
    }
    buf[stored] = '\0';
    return stored;
}

}  // namespace

CTxtArray::CTxtArray() : reserved(0), sortByTime(0) {}

CTxtArray::~CTxtArray()
{
    RemoveAll();
}

const char* CTxtArray::TextOf(int index) const
{
    const auto* element = static_cast<const CTxt*>(data[index]);
    if (element == nullptr || element->GetData() == nullptr)
        return "";
    return element->GetData();
}

int CTxtArray::AddElement(CTxt* element)
{
    if (element == nullptr)
        return -1;
    const int index = size;
    SPtrArray::Add(element);
    if (size == index) {  // the slot buffer could not grow
        delete element;
        return -1;
    }
    return index;
}

// --- list operations -----------------------------------------------------------------------------

int CTxtArray::Add(const char* text)
{
    return AddElement(new (std::nothrow) CTxt(text ? text : ""));
}

int CTxtArray::AddIfNew(const char* text)
{
    if (FindString(text) >= 0)
        return 0;
    return Add(text) >= 0 ? 1 : 0;
}

int CTxtArray::AddIfNewIdx(const char* text)
{
    int index = FindString(text);
    return index >= 0 ? index : Add(text);
}

int CTxtArray::SetAt(int index, const char* text)
{
    if (index < 0)
        return -1;
    if (text == nullptr)
        text = "";
    if (index < size && data[index] != nullptr) {
        static_cast<CTxt*>(data[index])->SetTxt(text);
        return 0;
    }
    if (index == INT_MAX)  // one past it is not an int
        return -1;
    CTxt* element = new (std::nothrow) CTxt(text);
    if (element == nullptr)
        return -1;
    SPtrArray::SetAtGrow(index, element);
    if (index >= size || data[index] != element) {
        delete element;
        return -1;
    }
    return 0;
}

CTxt* CTxtArray::GetAt(int index) const
{
    if (index < 0 || index >= size)
        return nullptr;
    return static_cast<CTxt*>(data[index]);
}

const char* CTxtArray::GetAtTxt(int index) const
{
    CTxt* element = GetAt(index);
    return element ? element->GetData() : nullptr;
}

int CTxtArray::RemoveAt(int index)
{
    if (index < 0 || index >= size)
        return -1;
    delete static_cast<CTxt*>(data[index]);
    SPtrArray::RemoveAt(index, 1);
    return 0;
}

void CTxtArray::RemoveAll()
{
    for (int i = 0; i < size; ++i)
        delete static_cast<CTxt*>(data[i]);
    SPtrArray::RemoveAll();
}

void CTxtArray::Sort()
{
    // Every element is made to hold its text up to its first NUL (a gap becomes the empty
    // text), then the element pointers are sorted: the order of sorting the texts themselves,
    // without copying them into a block of count x longest-length bytes.
    for (int i = 0; i < size; ++i) {
        auto* element = static_cast<CTxt*>(data[i]);
        if (element == nullptr) {
            element = new (std::nothrow) CTxt("");
            if (element == nullptr)
                return;
            data[i] = element;
        } else if (element->GetData() == nullptr) {
            element->MakeEmpty();
        } else if (std::strlen(element->GetData()) != static_cast<size_t>(element->GetLength())) {
            element->SetTxt(element->GetData());
        }
    }
    std::sort(data, data + size, [](const void* a, const void* b) {
        return CompareFolded(static_cast<const CTxt*>(a)->GetData(), static_cast<const CTxt*>(b)->GetData()) < 0;
    });
}

int CTxtArray::Compare(CTxtArray* other)
{
    if (other == nullptr || other->size != size)
        return -1;
    for (int i = 0; i < size; ++i) {
        // A gap equals nothing, not even another gap.
        if (data[i] == nullptr || other->data[i] == nullptr || strcmpmode(TextOf(i), other->TextOf(i), 1) != 0)
            return -2;
    }
    return 0;
}

// --- searching ---------------------------------------------------------------------------------

int CTxtArray::FindString(const char* text)
{
    if (text == nullptr)
        return -1;
    for (int i = 0; i < size; ++i)
        if (data[i] != nullptr && strcmpmode(text, TextOf(i), 1) == 0)  // a gap equals nothing
            return i;
    return -1;
}

int CTxtArray::FindStringStart(const char* text)
{
    if (text == nullptr)
        return -1;
    const size_t n = std::strlen(text);
    for (int i = 0; i < size; ++i)
        if (std::strncmp(TextOf(i), text, n) == 0)
            return i;
    return -1;
}

int CTxtArray::FindStringSegment(const char* text)
{
    if (text == nullptr)
        return -1;
    const size_t n = std::strlen(text);
    for (int i = 0; i < size; ++i) {
        const char* element = TextOf(i);
        const size_t length = std::strlen(element);
        if (length < n)
            continue;
        for (size_t at = 0; at + n <= length; ++at)
            if (EqualFolded(element + at, text, n))
                return i;
    }
    return -1;
}

// --- key|value records ---------------------------------------------------------------------------

int CTxtArray::FindValue(const char* key, CTxt& value, int report)
{
    value.Empty();
    if (key != nullptr) {
        CTxt field;
        for (int i = 0; i < size; ++i) {
            const char* text = TextOf(i);
            strfldtxt(text, '|', 1, 1, field);
            if (strcmpmode(key, field, 1) != 0)
                continue;
            if (strfldcnt(text, '|') < 99) {
                strfldtxt(text, '|', 2, 99, value);
            } else {
                // With 99 fields and more, field number 99 no longer means "the last one":
                // take everything after the first "|" directly, so long values stay whole.
                std::string rest(std::strchr(text, '|') + 1);
                if (!rest.empty() && rest.back() == '|')
                    rest.pop_back();
                if (rest.size() > kFieldKeep)
                    rest.resize(kFieldKeep);
                value = rest.c_str();
            }
            return i;
        }
    }
    if (report == 1)
        value.Format("%s to found", key ? key : "");
    return -1;
}

int CTxtArray::FindValueReset(const char* key, CTxt& value, int report)
{
    value.Empty();
    return FindValue(key, value, report);
}

int CTxtArray::SetValue(const char* key, const char* value)
{
    if (key == nullptr)
        key = "";
    CTxt work;
    int index = FindValue(key, work, 0);
    work.Format("%s|%s", key, value ? value : "");
    if (index < 0)
        return Add(work);
    SetAt(index, work);
    return index;
}

// --- delimited text ------------------------------------------------------------------------------

int CTxtArray::GetDelimTxt(CTxt& out, char delim)
{
    out.Empty();
    if (size == 0)
        return 0;
    if (delim == '\0') {
        // NUL delimiters are kept inside the counted text, which only appending can do.
        for (int i = 0; i < size; ++i) {
            out.AddTxt(TextOf(i));
            out.Add(delim);
        }
        return size;
    }
    // Built in one piece: appending element by element would copy the whole text each time.
    std::string joined;
    size_t total = 0;
    for (int i = 0; i < size; ++i)
        total += std::strlen(TextOf(i)) + 1;
    joined.reserve(total);
    for (int i = 0; i < size; ++i) {
        joined += TextOf(i);
        joined += delim;
    }
    out.SetTxt(joined.c_str());
    return size;
}

int CTxtArray::LoadFromFields(const char* text, char delim)
{
    RemoveAll();
    if (text == nullptr)
        return 0;
    // One pass over the text, cutting fields as strfld does: with the blank delimiter a run of
    // blanks separates once and its other blanks stay with the field before it; any other
    // delimiter separates at every occurrence. Each field is cut to 9 999 characters and then
    // trimmed of blanks at both ends, so the blanks that strfld keeps never reach an element.
    const char* p = text;
    for (;;) {
        const char* end = p;
        while (*end != '\0' && *end != delim)
            ++end;
        size_t length = static_cast<size_t>(end - p);
        if (length > kFieldKeep)
            length = kFieldKeep;
        size_t first = 0;
        while (first < length && p[first] == ' ')
            ++first;
        size_t last = length;
        while (last > first && p[last - 1] == ' ')
            --last;
        if (last > first)
            Add(std::string(p + first, last - first).c_str());
        if (*end == '\0')
            break;
        p = end + 1;
    }
    return size;
}

int CTxtArray::LoadFromTxt(const char* text)
{
    RemoveAll();
    if (text == nullptr)
        return 0;
    std::string line;
    for (const char* p = text; *p != '\0'; ++p) {
        if (*p == '\r')
            continue;
        if (*p == '\n') {
            Add(line.c_str());
            line.clear();
        } else {
            line += *p;
        }
    }
    return size;
}

int CTxtArray::LoadFromTxtArray(CTxtArray* src)
{
    if (src == this)
        return size;
    RemoveAll();
    if (src != nullptr)
        for (int i = 0; i < src->size; ++i)
            Add(src->TextOf(i));
    return size;
}

int CTxtArray::LoadFromStrArray(CStringArray& src)
{
    RemoveAll();
    for (int i = 0; i < src.GetSize(); ++i)
        Add(src.GetAt(i));
    return size;
}

// --- line files ----------------------------------------------------------------------------------

int CTxtArray::SaveToFile(const char* path, CTxt& err)
{
    std::FILE* file = path ? std::fopen(path, "wb") : nullptr;
    if (file == nullptr) {
        SetFileError(err, "Cannot open", path, path ? errno : EINVAL);
        return -1;
    }
    int error = 0;
    for (int i = 0; i < size && error == 0; ++i) {
        if (std::fputs(TextOf(i), file) < 0 || std::fputs("\r\n", file) < 0)
            error = errno ? errno : EIO;
    }
    // Buffered data reaches the file only now; a full disk often shows up here first.
    errno = 0;
    if (std::fclose(file) != 0 && error == 0)
        error = errno ? errno : EIO;
    if (error != 0) {
        SetFileError(err, "Cannot write", path, error);
        return -1;
    }
    return 0;
}

int CTxtArray::LoadFromFile(const char* path, CTxt& err)
{
    std::FILE* file = path ? std::fopen(path, "rb") : nullptr;
    if (file == nullptr) {
        SetFileError(err, "Cannot open", path, path ? errno : EINVAL);
        return -1;
    }
    // A directory opens like a file but reads nothing: report it rather than empty the array.
    struct stat opened {};
    if (fstat(fileno(file), &opened) == 0 && S_ISDIR(opened.st_mode)) {
        std::fclose(file);
        SetFileError(err, "Cannot open", path, EISDIR);
        return -1;
    }
    RemoveAll();
    std::vector<char> line(kFileLineSize + 1);
    ByteSource source{fileno(file)};
    while (fdgetline(line.data(), kFileLineSize, source) >= 0)
        Add(line.data());
    std::fclose(file);
    return size;
}

int CTxtArray::LoadFromFileBuf(const char* path, CTxt& err)
{
    int opened = bgetopen(path);
    if (opened != 1) {
        // No memory for the read buffer is a failure too, not an empty file.
        int error = opened == -2 ? ENOMEM : (path ? errno : EINVAL);
        bgetclose();
        SetFileError(err, "Cannot open", path, error);
        return -1;
    }
    RemoveAll();
    std::vector<char> line(kFileLineSize + 1);
    while (bgetline(line.data(), kFileLineSize) >= 0)
        Add(line.data());
    bgetclose();
    return size;
}
