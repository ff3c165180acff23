#include <cstdio>

int main() {
    std::fprintf(stderr, "velmora-image: not built yet\n");
    return 1;
}
