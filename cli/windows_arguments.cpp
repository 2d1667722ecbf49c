#include "windows_arguments.hpp"

#ifdef _WIN32
#  include <windows.h>

#  include <cstdlib>
#  include <cstring>

// The C runtime's own expansion stays off: it would see quoted patterns too.
extern "C" {
int _dowildcard = 0;
}

namespace encrypt::cli {
namespace {

// A growing array of strings; a failed allocation leaves `failed` set.
struct string_list {
    char** items = nullptr;
    int count = 0;
    int capacity = 0;
    bool failed = false;

    // Adds the `length` bytes of `text` followed by `more`.
    void add(const char* text, std::size_t length, const char* more = "") {
        if (failed) {
            return;
        }
        if (count + 1 >= capacity) {
            const int grown = capacity == 0 ? 16 : capacity * 2;
            auto* bigger = static_cast<char**>(std::realloc(items, sizeof(char*) * static_cast<std::size_t>(grown)));
            if (bigger == nullptr) {
                failed = true;
                return;
            }
            items = bigger;
            capacity = grown;
        }
        const std::size_t more_length = std::strlen(more);
        auto* copy = static_cast<char*>(std::malloc(length + more_length + 1));
        if (copy == nullptr) {
            failed = true;
            return;
        }
        std::memcpy(copy, text, length);
        std::memcpy(copy + length, more, more_length + 1);
        items[count++] = copy;
        items[count] = nullptr;
    }
};

int compare_ignoring_case(const void* left, const void* right) {
    const char* a = *static_cast<const char* const*>(left);
    const char* b = *static_cast<const char* const*>(right);
    // Names equal but for case keep their byte order.
    const int folded = _stricmp(a, b);
    return folded != 0 ? folded : std::strcmp(a, b);
}

// Adds the names matching `pattern`, sorted, or the pattern itself if none.
void add_expanded(string_list& arguments, const char* pattern) {
    // Matches keep the pattern's directory part, as the runtime gives them.
    std::size_t directory = 0;
    for (std::size_t i = 0; pattern[i] != '\0'; ++i) {
        if (pattern[i] == '\\' || pattern[i] == '/' || pattern[i] == ':') {
            directory = i + 1;
        }
    }
    const int first = arguments.count;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const char* file = found.cFileName;
            if (std::strcmp(file, ".") != 0 && std::strcmp(file, "..") != 0) {
                arguments.add(pattern, directory, file);
            }
        } while (!arguments.failed && FindNextFileA(search, &found));
        FindClose(search);
    }
    if (arguments.count == first) {
        arguments.add(pattern, std::strlen(pattern));
    } else if (!arguments.failed) {
        std::qsort(arguments.items + first, static_cast<std::size_t>(arguments.count - first),
                   sizeof(char*), compare_ignoring_case);
    }
}

}  // namespace

bool windows_arguments(int& argc, char**& argv) noexcept {
    const char* line = GetCommandLineA();
    string_list arguments;
    // One argument at a time into `text`, which the whole line bounds.
    auto* text = static_cast<char*>(std::malloc(std::strlen(line) + 1));
    if (text == nullptr) {
        return false;
    }
    const char* at = line;

    // Argument 0, the program: quotes group, and backslashes are plain.
    std::size_t length = 0;
    for (bool quoted = false; *at != '\0' && (quoted || (*at != ' ' && *at != '\t')); ++at) {
        if (*at == '"') {
            quoted = !quoted;
        } else {
            text[length++] = *at;
        }
    }
    arguments.add(text, length);

    for (;;) {
        while (*at == ' ' || *at == '\t') {
            ++at;
        }
        if (*at == '\0') {
            break;
        }
        length = 0;
        bool quoted = false;
        bool had_quotes = false;
        bool wildcard = false;
        while (*at != '\0' && (quoted || (*at != ' ' && *at != '\t'))) {
            std::size_t backslashes = 0;
            while (at[backslashes] == '\\') {
                ++backslashes;
            }
            // Before a quote, 2n backslashes are n and the quote opens or
            // closes, and 2n + 1 are n and a plain quote; elsewhere they stay.
            const bool quote = at[backslashes] == '"';
            const std::size_t kept = quote ? backslashes / 2 : backslashes;
            std::memset(text + length, '\\', kept);
            length += kept;
            at += backslashes;
            if (quote && backslashes % 2 == 1) {
                text[length++] = *at++;
            } else if (quote && quoted && at[1] == '"') {
                text[length++] = '"';  // "" inside quotes is a quote
                at += 2;
            } else if (quote) {
                quoted = !quoted;
                had_quotes = true;
                ++at;
            } else if (backslashes == 0) {
                wildcard = wildcard || (!quoted && (*at == '*' || *at == '?'));
                text[length++] = *at++;
            }
        }
        text[length] = '\0';
        if (wildcard && !had_quotes) {
            add_expanded(arguments, text);
        } else {
            arguments.add(text, length);
        }
    }
    std::free(text);
    if (arguments.failed) {
        return false;
    }
    argc = arguments.count;
    argv = arguments.items;
    return true;
}

}  // namespace encrypt::cli

#endif  // _WIN32
