#include "Resource.h"

#include <qdx/Resources.h>

namespace {

const QdxStringEntry kStrings[] = {
    {IDS_ABOUTBOX, "&About Rolvek..."},
};

} // namespace

void RegisterRolvekStrings()
{
    RegisterStringTable(kStrings, sizeof kStrings / sizeof kStrings[0]);
}
