// Measures are added here by the areas they time.
#include <cstdio>

int main() {
    std::puts("velquin_bench: no measures yet");
    return 0;
}
