#include <cstdio>

int main(int argc, char** argv) {
    (void)argc;
    (void)argv;
    std::fprintf(stderr, "usage: rizuvira-cli info DISC [--json]\n");
    return 2;
}
