#include <cstdio>
#include <cstdlib>

#include "core/dump.h"

int main() {
    if (qf::dumpModeSelected(std::getenv("QUILLFIND_DUMP"))) qf::dumpSync();
    std::fputs("quillfind: the search window is not built yet; run with QUILLFIND_DUMP=1\n", stderr);
    return 1;
}
