// The baseline for scripts/bench.sh: a program that starts, prints one line
// and ends, built with the tool's own toolchain and flags.
#include <cstdio>

int main() {
    std::printf("hello\n");
    return 0;
}
