#include <qdx/Resources.h>

#include <atomic>

namespace {


std::atomic<const QdxStringEntry*> g_entries{nullptr};
std::atomic<std::size_t> g_count{0};

} // namespace

void RegisterStringTable(const QdxStringEntry* entries, std::size_t count)
{
    g_entries.store(nullptr);
    g_count.store(entries ? count : 0);
    g_entries.store(entries);
}

const char* LoadResourceString(unsigned id)
{
    const QdxStringEntry* entries = g_entries.load();
    if (!entries)
        return nullptr;
    std::size_t count = g_count.load();
    for (std::size_t i = 0; i < count; ++i)
        if (entries[i].id == id)
            return entries[i].text;
    return nullptr;
}
