// Preloaded into a command under test: a heap that runs out on demand and
// checks that everything it handed out came back. A mapping of anonymous
// memory is a request too: large buffers are mapped rather than allocated.
//   ENCRYPT_TEST_MALLOC_LIMIT=BYTES  refuse every request larger than BYTES
//   ENCRYPT_TEST_MALLOC_REFUSE=N     refuse the Nth request (from 1) and no other
// At exit it writes "refuse_malloc: N blocks never freed" to standard error
// if blocks handed out after start-up were not all released.
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstring>

extern "C" {

void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* block, std::size_t size);
void __libc_free(void* block);

namespace {

// No strtoul here: nothing that might allocate may run inside malloc.
std::size_t number_from(const char* variable, std::size_t otherwise) {
    const char* text = std::getenv(variable);
    if (text == nullptr) {
        return otherwise;
    }
    std::size_t value = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
        value = value * 10 + static_cast<std::size_t>(*text - '0');
    }
    return value;
}

// The process has one thread while the commands allocate.
std::size_t requests = 0;
long outstanding = 0;
bool counting = false;

bool refuse(std::size_t size) {
    ++requests;
    if (size > number_from("ENCRYPT_TEST_MALLOC_LIMIT", static_cast<std::size_t>(-1)) ||
        requests == number_from("ENCRYPT_TEST_MALLOC_REFUSE", 0)) {
        errno = ENOMEM;
        return true;
    }
    return false;
}

void* handed_out(void* block) {
    if (block != nullptr && counting) {
        ++outstanding;
    }
    return block;
}

// Blocks from before this point (the loader's, the C library's) are not ours
// to count.
__attribute__((constructor)) void start_counting() {
    counting = true;
    requests = 0;
}

__attribute__((destructor)) void check_all_returned() {
    if (outstanding > 0) {
        char message[80] = "refuse_malloc: ";
        char digits[24];
        int length = 0;
        for (long n = outstanding; n > 0; n /= 10) {
            digits[length++] = static_cast<char>('0' + n % 10);
        }
        std::size_t at = std::strlen(message);
        while (length > 0) {
            message[at++] = digits[--length];
        }
        std::strcpy(message + at, " blocks never freed\n");
        (void)!write(STDERR_FILENO, message, std::strlen(message));
    }
}

}  // namespace

__attribute__((visibility("default"))) void* malloc(std::size_t size) {
    return refuse(size) ? nullptr : handed_out(__libc_malloc(size));
}

__attribute__((visibility("default"))) void* mmap(void* address, std::size_t length, int protection,
                                                  int flags, int fd, off_t offset) {
    if ((flags & MAP_ANONYMOUS) != 0 && counting && refuse(length)) {
        return MAP_FAILED;
    }
    // The C library's own under its other name, which is not interposed
    // here: the system call takes its arguments differently on each
    // processor (the offset in pages on 32-bit x86, all six in memory on
    // s390x).
    return mmap64(address, length, protection, flags, fd, offset);
}

__attribute__((visibility("default"))) void* calloc(std::size_t count, std::size_t size) {
    return refuse(count * size) ? nullptr : handed_out(__libc_calloc(count, size));
}

__attribute__((visibility("default"))) void* realloc(void* block, std::size_t size) {
    if (refuse(size)) {
        return nullptr;
    }
    void* moved = __libc_realloc(block, size);
    if (block == nullptr) {
        return handed_out(moved);
    }
    if (moved == nullptr && size == 0 && counting) {
        --outstanding;  // realloc(block, 0) released it
    }
    return moved;
}

__attribute__((visibility("default"))) void free(void* block) {
    if (block != nullptr && counting) {
        --outstanding;
    }
    __libc_free(block);
}

}  // extern "C"
