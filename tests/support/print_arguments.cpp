// Windows: prints argument 1 as the C runtime's start-up split it from the
// command line, each byte as two hex digits, for the tests to compare with
// the text the commands take from the same command line.
#include <cstdio>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::puts("no argument 1");
        return 1;
    }
    for (const char* at = argv[1]; *at != '\0'; ++at) {
        std::printf("%02x", static_cast<unsigned>(static_cast<unsigned char>(*at)));
    }
    std::printf("\n");
    return 0;
}
