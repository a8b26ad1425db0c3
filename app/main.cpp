// Program entry of Harvella.
#include <cstdio>

int main()
{
    std::puts("Harvella: the main window is not built yet.");
    return 0;
}
