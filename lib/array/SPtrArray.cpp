#include <qdx/SPtrArray.h>

#include <cassert>
#include <climits>
#include <cstdlib>
#include <new>

namespace {

// A zeroed buffer of n slots, or null when storage cannot be had.
void** AllocSlots(int n)
{
    return new (std::nothrow) void*[static_cast<std::size_t>(n)]();
}

void MoveSlots(void** to, void* const* from, int n)
{
    if (n > 0)
        std::memmove(to, from, static_cast<std::size_t>(n) * sizeof(void*));
}

} // namespace

const CRuntimeClass SPtrArray::classSPtrArray = {"SPtrArray", sizeof(SPtrArray), 0xFFFF, nullptr,
                                                 &CObject::classCObject};

SPtrArray::SPtrArray() : data(nullptr), size(0), capacity(0), growBy(0), sizeInit(10) {}

const CRuntimeClass* SPtrArray::GetRuntimeClass() const { return &classSPtrArray; }

SPtrArray::~SPtrArray() { delete[] data; }

void SPtrArray::AssertValid() const {}

void SPtrArray::Dump(CDumpContext&) const {}

void SPtrArray::SetSizeInit(int nInit, int nGrowBy)
{
    if (nGrowBy != -1)
        growBy = nGrowBy;
    if (nInit > 0)
        sizeInit = nInit;
}

int SPtrArray::SetSize(int nNewSize)
{
    if (nNewSize == 0) {
        delete[] data;
        data = nullptr;
        capacity = 0;
        size = 0;
        return 0;
    }
    if (!data) {
        // The raised first size sticks, so a later first allocation (after RemoveAll) is as big.
        if (sizeInit < nNewSize)
            sizeInit = nNewSize;
        void** fresh = AllocSlots(sizeInit);
        if (!fresh)
            return -1;
        data = fresh;
        capacity = sizeInit;
        return 0;
    }
    if (nNewSize <= capacity)
        return 0;

    int step = growBy;
    if (step == 0) {
        step = capacity / 8;
        if (step < 4)
            step = 4;
        if (step > 1024)
            step = 1024;
    }
    // Computed in 64 bits: a step past INT_MAX is storage we cannot address, not a wrap.
    long long grown = static_cast<long long>(capacity) + step;
    long long newCapacity = nNewSize >= grown ? nNewSize : grown;
    if (newCapacity > INT_MAX)
        return -1;
    void** fresh = AllocSlots(static_cast<int>(newCapacity));
    if (!fresh)
        return -1;
    MoveSlots(fresh, data, capacity);
    delete[] data;
    data = fresh;
    capacity = static_cast<int>(newCapacity);
    return 0;
}

void* SPtrArray::GetAt(int i) const
{
    assert(i >= 0 && i < capacity && "SPtrArray::GetAt: index outside the buffer");
    return data[i];
}

void SPtrArray::SetAt(int i, void* p)
{
    assert(i >= 0 && i < capacity && "SPtrArray::SetAt: index outside the buffer");
    data[i] = p;
}

void*& SPtrArray::ElementAt(int i)
{
    assert(i >= 0 && i < capacity && "SPtrArray::ElementAt: index outside the buffer");
    return data[i];
}

void SPtrArray::SetAtGrow(int i, void* p)
{
    assert(i >= 0 && "SPtrArray::SetAtGrow: negative index");
    if (i < 0)
        return;
    if (i >= capacity) {
        if (i == INT_MAX || SetSize(i + 1) == -1)
            return;
    }
    data[i] = p;
    if (size < i + 1)
        size = i + 1;
}

int SPtrArray::Add(void* p)
{
    int i = size;
    SetAtGrow(i, p);
    return i;
}

int SPtrArray::Append(const SPtrArray& src)
{
    int old = size;
    int count = src.size;  // read before growing: src may be this array
    if (count == 0)
        return old;
    if (static_cast<long long>(old) + count > INT_MAX || SetSize(old + count) == -1)
        return old;
    MoveSlots(data + old, src.data, count);
    size = old + count;
    return old;
}

void SPtrArray::Copy(const SPtrArray& src)
{
    if (&src == this)
        return;
    if (SetSize(src.size) == -1)
        return;
    MoveSlots(data, src.data, src.size);
    size = src.size;
}

void SPtrArray::InsertAt(int i, void* p, int n)
{
    assert(i >= 0 && n >= 0 && "SPtrArray::InsertAt: negative index or count");
    if (i < 0 || n < 0)
        return;
    if (i >= size) {
        if (static_cast<long long>(i) + n > INT_MAX || SetSize(i + n) == -1)
            return;
    } else {
        if (static_cast<long long>(size) + n > INT_MAX || SetSize(size + n) == -1)
            return;
        MoveSlots(data + i + n, data + i, size - i);
        size += n;
    }
    for (int k = 0; k < n; ++k)
        data[i + k] = p;
    if (size < i + n)
        size = i + n;
}

void SPtrArray::InsertAt(int i, SPtrArray* src)
{
    if (!src || src->size < 1)
        return;
    int count = src->size;
    if (src == this) {
        // Inserting an array into itself: take the slots before they move.
        void** copy = new (std::nothrow) void*[static_cast<std::size_t>(count)];
        if (!copy)
            return;
        MoveSlots(copy, data, count);
        int before = size;
        InsertAt(i, copy[0], count);
        if (size != before)
            MoveSlots(data + i, copy, count);
        delete[] copy;
        return;
    }
    int before = size;
    InsertAt(i, src->data[0], count);
    if (size == before)
        return;  // no storage: nothing was inserted
    MoveSlots(data + i, src->data, count);
}

void SPtrArray::RemoveAt(int i, int n)
{
    assert(i >= 0 && n >= 0 && i + n <= size && "SPtrArray::RemoveAt: range outside the array");
    int after = size - i - n;
    if (after != 0)
        MoveSlots(data + i, data + i + n, after);
    size -= n;
}

void SPtrArray::DropData()
{
    data = nullptr;
    size = 0;
    capacity = 0;
    growBy = 0;
    sizeInit = 10;
}

void SPtrArray::FreeExtra()
{
    if (size == capacity)
        return;
    void** fresh = nullptr;
    if (size > 0) {
        fresh = new (std::nothrow) void*[static_cast<std::size_t>(size)];
        if (!fresh)
            return;
        MoveSlots(fresh, data, size);
    }
    delete[] data;
    data = fresh;
    capacity = size;
}

int SPtrArray::GetPtrIndex(void* p) const
{
    for (int i = 0; i < size; ++i)
        if (data[i] == p)
            return i;
    return -1;
}

void SPtrArray::Sort(SPtrArrayCompare cmp)
{
    SortInto(cmp, this);
}

void SPtrArray::SortInto(SPtrArrayCompare cmp, SPtrArray* dest) const
{
    if (size < 2 || !dest || dest->size != size || !cmp)
        return;
    // qsort works on a private copy so the comparison never sees half-moved slots of the array.
    void** sorted = new (std::nothrow) void*[static_cast<std::size_t>(size)];
    if (!sorted)
        return;
    MoveSlots(sorted, data, size);
    std::qsort(sorted, static_cast<std::size_t>(size), sizeof(void*), cmp);
    for (int k = 0; k < size; ++k)
        dest->SetAt(k, sorted[k]);
    delete[] sorted;
}
