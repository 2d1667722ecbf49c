// The straightforward command, for comparison only: one printf per word.
#include <encrypt/encryption.hpp>

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::printf("Usage: %s <text to encrypt>\n", argv[0]);
        return 1;
    }
    const auto n = static_cast<std::uint32_t>(std::strlen(argv[1]));
    std::uint32_t* words = encrypt::_encryption(argv[1], n);
    std::printf("Encrypted data in hexadecimal format: ");
    for (std::uint32_t i = 0; i < n / 2 + (n & 1u); ++i) {
        std::printf("%lx", static_cast<unsigned long>(words[i]));
    }
    std::putchar('\n');
    std::free(words);
    return 0;
}
