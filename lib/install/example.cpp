// A program outside the project, built against the installed library.
#include <qdx/qdx.h>

#include <cstdio>
#include <cstring>

int main()
{
    CString text;
    text.Format("%s %d", "qdx", 1);
    if (std::strcmp(text, "qdx 1") != 0) {
        std::printf("unexpected text: %s\n", text.GetString());
        return 1;
    }
    std::printf("%s works\n", text.GetString());
    return 0;
}
