// Program entry. Until the main window exists, the program only tells its
// name and version.
#include <cstdio>

int main()
{
    std::printf("Vidora %s\n", VIDORA_VERSION);
    return 0;
}
