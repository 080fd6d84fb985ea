#include <cstdio>

int main() {
    std::puts("dezoriv: not built yet");
    return 0;
}
