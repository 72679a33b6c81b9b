// SPtrArray: a growable array of untyped, pointer-sized slots.
//
// The array never owns what its slots point to: destroying, emptying or shrinking it frees only
// its own slot buffer, and Copy/Append copy slot values (a shallow copy). Plain 32-bit integers
// and floats can be kept by value in the slots through the typed views at the end of the class.
//
//   SPtrArray a;
//   a.Add(&x);                 // 0: the first Add allocates 10 slots
//   a.InsertAt(0, &y, 2);      // [&y, &y, &x]
//   a.RemoveAt(1, 1);          // [&y, &x]
//   a.AddInt(42);              // [&y, &x, (slot holding 42)]
//
// SetSize manages the capacity only; it never moves the element count (apart from emptying the
// array at 0). The count is moved by SetAtGrow, Add, InsertAt, Copy, Append and RemoveAt.
//
// Growth: the first allocation takes `sizeInit` slots (10 unless changed); later growths add
// `growBy` slots, or, when `growBy` is 0, capacity/8 slots bounded to 4..1024. So a run of Add
// calls sees capacities 10, 14, 18, 22, ..., 42, 47, 52, ... and steps of 1024 from 8192 on.
//
// Indices are not checked in release builds: the caller keeps 0 <= i < GetSize() (or below the
// capacity for SetAt/ElementAt on a slot reserved with SetSize). Debug builds assert.
//
// No operation throws. When storage cannot be had, SetSize returns -1 and every operation that
// needed the storage leaves the array exactly as it was.
#pragma once

#include <qdx/Object.h>
#include <qdx/qdx_export.h>

#include <cstdint>
#include <cstring>

// Compares two slots given their addresses, like a qsort comparison: negative, zero or positive.
typedef int (*SPtrArrayCompare)(const void* a, const void* b);

class QDX_EXPORT SPtrArray : public CObject {
public:
    static const CRuntimeClass classSPtrArray;  // "SPtrArray", base CObject, not creatable

    // An empty array without a buffer.
    SPtrArray();
    SPtrArray(const SPtrArray&) = delete;             // copy slots explicitly with Copy
    SPtrArray& operator=(const SPtrArray&) = delete;

    // The five virtual operations of the object base, in its order.
    const CRuntimeClass* GetRuntimeClass() const override;
    ~SPtrArray() override;  // frees the slot buffer (never what the slots point to)
    // Serialize is the base's and does nothing.
    void AssertValid() const override;         // does nothing
    void Dump(CDumpContext& dc) const override;  // writes nothing

    // The element count.
    int GetSize() const { return size; }
    // GetSize() - 1; -1 when empty.
    int GetUpperBound() const { return size - 1; }

    // Sets the growth step (unless nGrowBy is -1; 0 means automatic) and, when nInit > 0, the
    // size of the first allocation. Allocates nothing.
    void SetSizeInit(int nInit, int nGrowBy = -1);
    // Makes room for at least nNewSize slots without changing the count; 0 frees the buffer and
    // empties the array. Returns 0, or -1 when storage could not be had (array unchanged).
    int SetSize(int nNewSize);
    // Frees the buffer: count and capacity 0; the growth settings stay.
    void RemoveAll() { SetSize(0); }

    // The value of slot i.
    void* GetAt(int i) const;
    // Stores p in slot i; the count does not change.
    void SetAt(int i, void* p);
    // A reference to slot i.
    void*& ElementAt(int i);
    void* operator[](int i) const { return GetAt(i); }
    void*& operator[](int i) { return ElementAt(i); }

    // The first slot, or null when nothing is allocated.
    void* const* GetData() const { return data; }
    void** GetData() { return data; }
    void** GetRawData() { return data; }

    // Stores p in slot i, growing the buffer when i is beyond it; the count becomes at least
    // i + 1. When the buffer cannot grow nothing is stored.
    void SetAtGrow(int i, void* p);
    // Appends p; returns its index (the index tried, even when storage could not be had).
    int Add(void* p);
    // Appends every slot of src (which may be this array); returns the old count.
    int Append(const SPtrArray& src);
    // Makes this array a copy of src's slots; copying an empty array frees the buffer.
    void Copy(const SPtrArray& src);
    // Inserts n copies of p at i; an i at or beyond the count extends the array to i + n, the
    // slots between keeping what they hold (zero when newly allocated).
    void InsertAt(int i, void* p, int n = 1);
    // Inserts all of src's slots at i (src may be this array).
    void InsertAt(int i, SPtrArray* src);
    // Removes n slots at i; the capacity stays and vacated slots keep their old values.
    void RemoveAt(int i, int n = 1);
    // Forgets the buffer without freeing it; whoever took it through GetData/GetRawData frees it
    // with delete[]. Resets the growth settings to 0 and 10.
    void DropData();
    // Shrinks the buffer to exactly the count (none when empty).
    void FreeExtra();
    // Index of the first slot equal to p, or -1.
    int GetPtrIndex(void* p) const;

    // Sorts the slots with cmp (not stable). Fewer than 2 elements: nothing happens.
    void Sort(SPtrArrayCompare cmp);
    // Writes this array's slots in sorted order into dest, leaving this array as it was. Does
    // nothing unless this array has at least 2 elements and dest has exactly as many.
    void SortInto(SPtrArrayCompare cmp, SPtrArray* dest) const;

    // --- typed value views: 32-bit values kept by value in the low bits of a slot -----------

    // Appends the integer; returns the value added (not the index).
    int AddInt(int value)
    {
        Add(reinterpret_cast<void*>(static_cast<std::intptr_t>(value)));
        return value;
    }
    // Slot i taken as a signed 32-bit integer.
    int GetAtInt(int i) const
    {
        return static_cast<int>(static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(GetAt(i))));
    }
    // Appends the float's 32-bit pattern; returns the new index.
    int AddFloat(float value)
    {
        std::uint32_t bits;
        std::memcpy(&bits, &value, sizeof bits);
        return Add(reinterpret_cast<void*>(static_cast<std::uintptr_t>(bits)));
    }
    // The low 32 bits of slot i taken as a float.
    float GetAtFloat(int i) const
    {
        std::uint32_t bits = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(GetAt(i)));
        float value;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }
    // A 64-bit signed integer kept in a whole slot (slots are 64 bits wide on this platform).
    int AddInt64(std::int64_t value)
    {
        return Add(reinterpret_cast<void*>(static_cast<std::intptr_t>(value)));
    }
    std::int64_t GetAtInt64(int i) const
    {
        return static_cast<std::int64_t>(reinterpret_cast<std::intptr_t>(GetAt(i)));
    }

protected:
    void** data;    // the slot buffer; null exactly when capacity is 0
    int size;       // slots 0 .. size-1 are in use
    int capacity;   // slots allocated in data
    int growBy;     // slots added per growth; 0: automatic
    int sizeInit;   // slots of the first allocation
};

static_assert(sizeof(void*) == 8, "the 64-bit view needs 64-bit slots");
