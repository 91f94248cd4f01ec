// Program start. The main window arrives with the spine of the program; until then the
// program only reports that it has been built.
#include <cstdio>

int main()
{
    std::puts("Tessek: the main window is not part of this build yet.");
    return 0;
}
