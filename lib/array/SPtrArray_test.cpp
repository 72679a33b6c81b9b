#include <qdx/SPtrArray.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <vector>

namespace {

// Sees the protected bookkeeping that the growth rules are about.
class Probe : public SPtrArray {
public:
    int Capacity() const { return capacity; }
    int GrowBy() const { return growBy; }
    int SizeInit() const { return sizeInit; }
};

void* P(std::intptr_t v) { return reinterpret_cast<void*>(v); }

// The slot values 0 .. size-1 as numbers.
std::vector<std::intptr_t> Slots(const SPtrArray& a)
{
    std::vector<std::intptr_t> out;
    for (int i = 0; i < a.GetSize(); ++i)
        out.push_back(reinterpret_cast<std::intptr_t>(a.GetAt(i)));
    return out;
}

void Fill(SPtrArray& a, std::initializer_list<std::intptr_t> values)
{
    for (std::intptr_t v : values)
        a.Add(P(v));
}

int CompareSlots(const void* a, const void* b)
{
    auto x = reinterpret_cast<std::intptr_t>(*static_cast<void* const*>(a));
    auto y = reinterpret_cast<std::intptr_t>(*static_cast<void* const*>(b));
    return x < y ? -1 : x > y ? 1 : 0;
}

using V = std::vector<std::intptr_t>;

TEST(SPtrArrayObject, IsAnObjectWithItsOwnClassRecord)
{
    SPtrArray a;
    const CRuntimeClass* cls = a.GetRuntimeClass();
    EXPECT_STREQ(cls->m_lpszClassName, "SPtrArray");
    EXPECT_EQ(cls->m_pBaseClass, &CObject::classCObject);
    EXPECT_EQ(cls->CreateObject(), nullptr);
    EXPECT_TRUE(a.IsKindOf(&CObject::classCObject));

    // Deleting through the base frees the buffer (ASan reports a leak otherwise).
    CObject* object = new SPtrArray;
    static_cast<SPtrArray*>(object)->Add(P(1));
    delete object;
}

TEST(SPtrArrayGrowth, NewArrayIsEmptyWithoutBuffer)
{
    Probe a;
    EXPECT_EQ(a.GetSize(), 0);
    EXPECT_EQ(a.GetUpperBound(), -1);
    EXPECT_EQ(a.GetData(), nullptr);
    EXPECT_EQ(a.GetPtrIndex(nullptr), -1);
    EXPECT_EQ(a.Capacity(), 0);
}

TEST(SPtrArrayGrowth, SetSizeReservesWithoutCounting)
{
    Probe a;
    ASSERT_EQ(a.SetSize(5), 0);
    EXPECT_EQ(a.GetSize(), 0);
    EXPECT_EQ(a.Capacity(), 10);
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(a.GetAt(i), nullptr) << i;
    a.SetAt(3, P(7));  // a reserved slot may be written without counting
    EXPECT_EQ(a.GetSize(), 0);
    EXPECT_EQ(a.SetSize(8), 0);  // within the capacity: nothing changes
    EXPECT_EQ(a.Capacity(), 10);
    EXPECT_EQ(a.GetAt(3), P(7));

    Probe b;
    ASSERT_EQ(b.SetSize(25), 0);
    EXPECT_EQ(b.Capacity(), 25);
    EXPECT_EQ(b.SizeInit(), 25);
    b.RemoveAll();
    b.Add(P(1));  // the raised first size is kept for the next first allocation
    EXPECT_EQ(b.Capacity(), 25);
}

TEST(SPtrArrayGrowth, AddFollowsTheCapacitySequence)
{
    Probe a;
    std::vector<int> seen;
    for (int i = 0; i < 20000; ++i) {
        ASSERT_EQ(a.Add(P(i)), i);
        if (seen.empty() || seen.back() != a.Capacity())
            seen.push_back(a.Capacity());
    }
    std::vector<int> start(seen.begin(), seen.begin() + 11);
    EXPECT_EQ(start, (std::vector<int>{10, 14, 18, 22, 26, 30, 34, 38, 42, 47, 52}));
    // Steps are capacity/8, capped at 1024 slots from a capacity of 8192 on.
    for (std::size_t k = 1; k < seen.size(); ++k) {
        int step = seen[k] - seen[k - 1];
        int expected = seen[k - 1] / 8;
        expected = expected < 4 ? 4 : expected > 1024 ? 1024 : expected;
        EXPECT_EQ(step, expected) << "after capacity " << seen[k - 1];
    }
    EXPECT_EQ(seen.back() - seen[seen.size() - 2], 1024);
    for (int i = 0; i < 20000; i += 997)
        EXPECT_EQ(a.GetAt(i), P(i));
}

TEST(SPtrArrayGrowth, EleventhAddUsesTheGrowthStep)
{
    Probe a;
    for (int i = 0; i < 11; ++i)
        a.Add(P(i + 1));
    EXPECT_EQ(a.Capacity(), 14);

    Probe b;
    b.SetSizeInit(0, 100);  // nInit 0 keeps the first size of 10
    EXPECT_EQ(b.SizeInit(), 10);
    for (int i = 0; i < 11; ++i)
        b.Add(P(i + 1));
    EXPECT_EQ(b.Capacity(), 110);
    b.SetSizeInit(3);  // growBy -1: the step stays
    EXPECT_EQ(b.GrowBy(), 100);
    EXPECT_EQ(b.SizeInit(), 3);
}

TEST(SPtrArrayGrowth, SetAtGrowExtendsWithNullSlots)
{
    Probe a;
    a.SetAtGrow(20, P(5));
    EXPECT_EQ(a.Capacity(), 21);
    EXPECT_EQ(a.GetSize(), 21);
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(a.GetAt(i), nullptr);
    EXPECT_EQ(a.GetAt(20), P(5));
    a.SetAtGrow(2, P(9));  // below the count: the count stays
    EXPECT_EQ(a.GetSize(), 21);
    EXPECT_EQ(a.GetAt(2), P(9));
}

TEST(SPtrArrayGrowth, ImpossibleSizesFailAndLeaveTheArrayAlone)
{
    Probe a;
    Fill(a, {1, 2, 3});
    // Counts past the largest index: nothing is stored, nothing wraps.
    a.SetAtGrow(std::numeric_limits<int>::max(), P(4));
    EXPECT_EQ(Slots(a), (V{1, 2, 3}));
    a.InsertAt(1, P(9), std::numeric_limits<int>::max());
    EXPECT_EQ(Slots(a), (V{1, 2, 3}));
    a.InsertAt(std::numeric_limits<int>::max(), P(9), 1);
    EXPECT_EQ(Slots(a), (V{1, 2, 3}));
    EXPECT_EQ(a.Capacity(), 10);
}

TEST(SPtrArrayEdit, InsertAtMovesOrExtends)
{
    const struct {
        int at, count;
        V slots;  // after inserting `count` times 9 into {1, 2, 3}
    } cases[] = {{1, 2, {1, 9, 9, 2, 3}}, {3, 1, {1, 2, 3, 9}}, {5, 1, {1, 2, 3, 0, 0, 9}}, {0, 1, {9, 1, 2, 3}}};
    for (const auto& c : cases) {
        SPtrArray a;
        Fill(a, {1, 2, 3});
        a.InsertAt(c.at, P(9), c.count);
        EXPECT_EQ(Slots(a), c.slots) << c.at << " x" << c.count;
    }
    SPtrArray one;  // the count defaults to one
    Fill(one, {1, 2});
    one.InsertAt(0, P(8));
    EXPECT_EQ(Slots(one), (V{8, 1, 2}));
}

TEST(SPtrArrayEdit, InsertArrayCopiesItsSlotsIn)
{
    SPtrArray a, src, empty;
    Fill(a, {1, 2, 3});
    Fill(src, {7, 8});
    a.InsertAt(1, &src);
    EXPECT_EQ(Slots(a), (V{1, 7, 8, 2, 3}));
    a.InsertAt(2, &empty);
    EXPECT_EQ(Slots(a), (V{1, 7, 8, 2, 3}));
    a.InsertAt(7, &src);
    EXPECT_EQ(Slots(a), (V{1, 7, 8, 2, 3, 0, 0, 7, 8}));

    SPtrArray self;  // into itself
    Fill(self, {1, 2, 3});
    self.InsertAt(1, &self);
    EXPECT_EQ(Slots(self), (V{1, 1, 2, 3, 2, 3}));
}

TEST(SPtrArrayEdit, RemoveAtClosesTheGap)
{
    Probe a;
    Fill(a, {1, 2, 3, 4});
    a.RemoveAt(1, 2);
    EXPECT_EQ(Slots(a), (V{1, 4}));
    EXPECT_EQ(a.Capacity(), 10);
    EXPECT_EQ(a.GetAt(2), P(3));  // vacated slots keep what they held

    SPtrArray b;
    Fill(b, {1, 2, 3, 4});
    b.RemoveAt(2, 2);
    EXPECT_EQ(Slots(b), (V{1, 2}));
    b.RemoveAt(0);
    EXPECT_EQ(Slots(b), (V{2}));
    b.RemoveAt(0, 0);
    EXPECT_EQ(Slots(b), (V{2}));
}

TEST(SPtrArrayEdit, AppendAndCopyAreShallow)
{
    Probe a;
    SPtrArray tail;
    Fill(a, {1, 2});
    Fill(tail, {3, 4});
    EXPECT_EQ(a.Append(tail), 2);
    EXPECT_EQ(Slots(a), (V{1, 2, 3, 4}));
    EXPECT_EQ(a.Append(a), 4);
    EXPECT_EQ(Slots(a), (V{1, 2, 3, 4, 1, 2, 3, 4}));
    EXPECT_EQ(Slots(tail), (V{3, 4}));

    SPtrArray empty;
    EXPECT_EQ(a.Append(empty), 8);
    EXPECT_EQ(a.GetSize(), 8);

    Probe copy;
    Fill(copy, {9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9});
    copy.Copy(tail);
    EXPECT_EQ(Slots(copy), (V{3, 4}));
    EXPECT_EQ(copy.Capacity(), 14);  // Copy never shrinks
    copy.Copy(empty);
    EXPECT_EQ(copy.GetSize(), 0);
    EXPECT_EQ(copy.Capacity(), 0);
    EXPECT_EQ(copy.GetData(), nullptr);
}

TEST(SPtrArrayEdit, GetPtrIndexFindsTheFirstMatch)
{
    SPtrArray a;
    Fill(a, {5, 6, 5});
    EXPECT_EQ(a.GetPtrIndex(P(5)), 0);
    EXPECT_EQ(a.GetPtrIndex(P(6)), 1);
    EXPECT_EQ(a.GetPtrIndex(P(7)), -1);
    a.RemoveAt(2);
    a.SetSize(20);
    EXPECT_EQ(a.GetPtrIndex(nullptr), -1);  // reserved slots beyond the count are not searched
}

TEST(SPtrArrayBuffer, FreeExtraShrinksToTheCount)
{
    Probe a;
    Fill(a, {1, 2, 3});
    a.FreeExtra();
    EXPECT_EQ(a.Capacity(), 3);
    EXPECT_EQ(Slots(a), (V{1, 2, 3}));
    a.Add(P(4));  // growth continues from the exact size
    EXPECT_EQ(a.Capacity(), 7);

    Probe b;
    b.SetSize(5);
    b.FreeExtra();
    EXPECT_EQ(b.Capacity(), 0);
    EXPECT_EQ(b.GetData(), nullptr);
}

TEST(SPtrArrayBuffer, RemoveAllKeepsSettingsDropDataResetsThem)
{
    Probe a;
    a.SetSizeInit(30, 7);
    Fill(a, {1, 2});
    a.RemoveAll();
    EXPECT_EQ(a.GetSize(), 0);
    EXPECT_EQ(a.Capacity(), 0);
    EXPECT_EQ(a.GetData(), nullptr);
    EXPECT_EQ(a.GrowBy(), 7);
    EXPECT_EQ(a.SizeInit(), 30);

    Fill(a, {1, 2});
    void** taken = a.GetRawData();
    a.DropData();
    EXPECT_EQ(a.GetData(), nullptr);
    EXPECT_EQ(a.GetSize(), 0);
    EXPECT_EQ(a.GrowBy(), 0);
    EXPECT_EQ(a.SizeInit(), 10);
    EXPECT_EQ(taken[1], P(2));  // the buffer is the caller's now
    delete[] taken;
}

TEST(SPtrArraySort, SortOrdersTheSlots)
{
    for (const V& values : {V{5, 3, 9, 1, 3}, V{4}}) {
        SPtrArray a;
        for (std::intptr_t v : values)
            a.Add(P(v));
        a.Sort(CompareSlots);
        V sorted = values;
        std::sort(sorted.begin(), sorted.end());
        EXPECT_EQ(Slots(a), sorted);
    }

    // A larger run against the standard sort.
    SPtrArray big;
    std::vector<std::intptr_t> expected;
    std::uint32_t x = 12345;
    for (int i = 0; i < 1000; ++i) {
        x = x * 1103515245u + 12345u;
        expected.push_back(x >> 16);
        big.Add(P(x >> 16));
    }
    big.Sort(CompareSlots);
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(Slots(big), expected);
}

TEST(SPtrArraySort, SortIntoLeavesTheSourceAlone)
{
    SPtrArray a, dest, wrong;
    Fill(a, {3, 1, 2});
    Fill(dest, {0, 0, 0});
    Fill(wrong, {0, 0});
    a.SortInto(CompareSlots, &dest);
    EXPECT_EQ(Slots(dest), (V{1, 2, 3}));
    EXPECT_EQ(Slots(a), (V{3, 1, 2}));

    a.SortInto(CompareSlots, &wrong);
    EXPECT_EQ(Slots(wrong), (V{0, 0}));

    SPtrArray one, oneDest;
    Fill(one, {4});
    Fill(oneDest, {0});
    one.SortInto(CompareSlots, &oneDest);
    EXPECT_EQ(Slots(oneDest), (V{0}));
}

TEST(SPtrArrayViews, IntegersAndFloatsRoundTrip)
{
    SPtrArray a;
    EXPECT_EQ(a.AddInt(-7), -7);
    EXPECT_EQ(a.AddInt(std::numeric_limits<int>::max()), std::numeric_limits<int>::max());
    EXPECT_EQ(a.AddInt(std::numeric_limits<int>::min()), std::numeric_limits<int>::min());
    EXPECT_EQ(a.AddFloat(-0.125f), 3);
    EXPECT_EQ(a.AddFloat(3.4e38f), 4);
    EXPECT_EQ(a.AddInt64(5000000000LL), 5);

    EXPECT_EQ(a.GetAtInt(0), -7);
    EXPECT_EQ(a.GetAtInt(1), std::numeric_limits<int>::max());
    EXPECT_EQ(a.GetAtInt(2), std::numeric_limits<int>::min());
    EXPECT_EQ(a.GetAtFloat(3), -0.125f);
    EXPECT_EQ(a.GetAtFloat(4), 3.4e38f);
    EXPECT_EQ(a.GetAtInt64(5), 5000000000LL);
    EXPECT_EQ(a.GetAtInt64(0), -7);

    // The views read only the low 32 bits of a slot.
    a.SetAt(0, P((std::intptr_t{1} << 40) | 42));
    EXPECT_EQ(a.GetAtInt(0), 42);
}

} // namespace
