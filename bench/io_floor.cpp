// The floor for the command's wall time: measure the argument, then write
// as many bytes as the command would (argv[2]) from a filled buffer, in one go.
#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
    if (argc < 3) {
        return 2;
    }
    volatile std::size_t length = std::strlen(argv[1]);
    (void)length;
    const auto size = static_cast<std::size_t>(std::strtoull(argv[2], nullptr, 10));
    char* buffer = static_cast<char*>(std::malloc(size));
    if (buffer == nullptr) {
        return 1;
    }
    std::memset(buffer, 'f', size);
    std::fwrite(buffer, 1, size, stdout);
    const int status = std::fclose(stdout) == 0 ? 0 : 1;
    std::free(buffer);
    return status;
}
