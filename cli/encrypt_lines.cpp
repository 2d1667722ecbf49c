// The encrypt-lines command: for every text of its input, the line that
// `encrypt TEXT` prints; with -d, the other way.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "decrypt_stream.hpp"
#include "line_stream.hpp"
#include "output.hpp"
#include "result_room.hpp"
#include "windows_arguments.hpp"

#ifdef _WIN32
#  include <fcntl.h>
#  include <io.h>
#else
#  include <fcntl.h>
#  include <sys/stat.h>
#  include <unistd.h>
#endif

namespace {

constexpr const char* program_name = "encrypt-lines";

// Input is read in blocks of this size, and output is gathered in pieces of
// the other before it is written: large writes, so that no text costs a
// system call of its own.
constexpr std::size_t block_size = std::size_t{256} << 10;
constexpr std::size_t output_size = std::size_t{1} << 20;

constexpr std::string_view help_text =
    "Usage: encrypt-lines [OPTION]... [FILE]...\n"
    "Print for every text in the FILEs the line that 'encrypt TEXT' prints.\n"
    "With no FILE, or when FILE is -, read standard input.\n"
    "\n"
    "A text ends at a line feed, which is not part of it; the last text of a\n"
    "file needs none. On Windows a carriage return just before the line feed\n"
    "ends the text too.\n"
    "\n"
    "  -d, --decrypt  read result lines back: write each one's text and a line\n"
    "                 feed, or report the line if it has no one text\n"
    "  -z, --null     a text ends at a zero byte instead (with -d: is followed\n"
    "                 by one)\n"
    "      --help     display this help and exit\n"
    "      --version  output version information and exit\n"
    "\n"
    "Exit status: 0 if all went well, 1 if a FILE could not be read, a line\n"
    "had no text, writing failed or memory was short, 2 for a wrong option.\n";

constexpr std::string_view version_text = "encrypt-lines (encrypt) " ENCRYPT_VERSION "\n";

// As getopt-style tools say it: the problem, then a hint on the next line.
int usage_error(const char* problem, const char* option) {
    std::fprintf(stderr, "%s: %s '%s'\nTry '%s --help' for more information.\n", program_name,
                 problem, option, program_name);
    return 2;
}

int print(std::string_view text) {
    encrypt::cli::standard_output out;
    out.write(text);
    return out.close(program_name, EXIT_SUCCESS);
}

char* to_standard_output(void* context, char* data, std::size_t size) {
    return static_cast<encrypt::cli::output_thread*>(context)->put(data, size);
}

// A line's message, after the lines before it.
void report_line(void* context, const char* message) {
    static_cast<encrypt::cli::output_thread*>(context)->drain();
    encrypt::cli::report(program_name, message);
}

#ifdef _WIN32
int open_input(const char* path) { return _open(path, _O_RDONLY | _O_BINARY); }
long read_input(int fd, void* block, std::size_t size) {
    return _read(fd, block, static_cast<unsigned>(size));
}
void close_input(int fd) { _close(fd); }
// Windows gives no cheap answer; waiting input is flushed before every read.
bool reads_never_wait(int) { return false; }
#else
int open_input(const char* path) { return open(path, O_RDONLY | O_CLOEXEC); }
long read_input(int fd, void* block, std::size_t size) { return read(fd, block, size); }
void close_input(int fd) { close(fd); }
// A regular file always has its next block at hand.
bool reads_never_wait(int fd) {
    struct stat status;
    return fstat(fd, &status) == 0 && S_ISREG(status.st_mode);
}
#endif

#if defined(F_SETPIPE_SZ)
// A pipe holds 64 KiB unless asked for more, so that each block of output
// would wake the reader sixteen times and wait for it as often: through a
// pipe that alone made the filter 1.6 times slower than cat of its own
// output. Asking for room for a whole output block is a hint; where the
// system refuses (a user's pipe quota), the pipe stays as it is.
void widen_output_pipe() {
    struct stat status;
    if (fstat(STDOUT_FILENO, &status) == 0 && S_ISFIFO(status.st_mode)) {
        (void)fcntl(STDOUT_FILENO, F_SETPIPE_SZ, static_cast<int>(output_size));
    }
}
#else
void widen_output_pipe() {}
#endif

// Reads one input to its end, or until a write fails (which the stream
// keeps). Returns 0, or the errno of a failed read.
template <class Stream>
int read_all(Stream& stream, int fd) {
    const bool never_waits = reads_never_wait(fd);
    for (;;) {
        // Lines that are ready go out before a read that may wait, so that
        // a program talking to us through pipes gets each one at once.
        if (!never_waits && !stream.flush()) {
            return 0;
        }
        const long got = read_input(fd, stream.input_space(), stream.input_room());
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0 || !stream.consume(static_cast<std::size_t>(got))) {
            return got < 0 ? errno : 0;
        }
    }
}

// Every input in turn through `stream`; false if one could not be read.
template <class Stream>
bool read_inputs(Stream& stream, encrypt::cli::output_thread& writer, char** inputs, int count) {
    bool read_failed = false;
    for (int i = 0; i < count && writer.drain(); ++i) {
        const bool is_standard_input = std::strcmp(inputs[i], "-") == 0;
        const int fd = is_standard_input ? 0 : open_input(inputs[i]);
        int error = fd < 0 ? errno : 0;
        if (fd >= 0) {
            stream.begin(inputs[i]);
            error = read_all(stream, fd);
            // The last text ends with its input, separator or not; one that
            // a failed read cut ends where it failed.
            (error == 0 ? stream.end_of_input() : stream.abandon_line());
        }
        if (error != 0) {
            writer.drain();  // the lines before go out first
            encrypt::cli::report(program_name, inputs[i], error);
            read_failed = true;
        }
        if (fd >= 0 && !is_standard_input) {
            close_input(fd);
        }
    }
    return !read_failed;
}

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
    if (!encrypt::cli::windows_arguments(argc, argv)) {
        encrypt::cli::report(program_name, "memory exhausted");
        return EXIT_FAILURE;
    }
    _setmode(0, _O_BINARY);
#endif
    encrypt::cli::line_stream_settings settings;
    bool decrypting = false;
    // Options may stand anywhere before "--"; what is left are the FILEs,
    // gathered at the front of argv.
    int files = 0;
    bool options_end = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (options_end || arg.size() < 2 || arg[0] != '-') {
            argv[1 + files++] = argv[i];
        } else if (arg == "--") {
            options_end = true;
        } else if (arg == "--help") {
            return print(help_text);
        } else if (arg == "--version") {
            return print(version_text);
        } else if (arg == "--null") {
            settings.separator = '\0';
        } else if (arg == "--decrypt") {
            decrypting = true;
        } else if (arg[1] == '-') {
            return usage_error("unrecognized option", argv[i]);
        } else {
            for (const char letter : arg.substr(1)) {
                if (letter != 'z' && letter != 'd') {
                    const char option[2] = {letter, '\0'};
                    return usage_error("invalid option --", option);
                }
                settings.separator = letter == 'z' ? '\0' : settings.separator;
                decrypting = decrypting || letter == 'd';
            }
        }
    }
#ifdef _WIN32
    // A carriage return before a line feed ends a text there; texts read
    // back are written as they are, with no line end turned into CR LF.
    settings.drop_carriage_return = settings.separator == '\n';
    if (decrypting) {
        _setmode(1, _O_BINARY);
    }
#endif

    // One block for either stream and the writer's spare output buffers.
    using encrypt::cli::decrypt_stream;
    using encrypt::cli::line_stream;
    const std::size_t stream_memory = decrypting
                                          ? decrypt_stream::memory_needed(block_size, output_size)
                                          : line_stream::memory_needed(block_size, output_size);
    const std::size_t output_buffer = output_size + line_stream::padding;
    const encrypt::detail::result_room room(
        stream_memory + encrypt::cli::output_thread::spare_buffers * output_buffer);
    char* memory = room.data();
    if (memory == nullptr) {
        encrypt::cli::report(program_name, "memory exhausted");
        return EXIT_FAILURE;
    }
    widen_output_pipe();
    encrypt::cli::standard_output out;
    encrypt::cli::output_thread writer(out, memory + stream_memory, output_buffer);
    static char standard_input[] = "-";
    char* only_input[] = {standard_input};
    char** inputs = files > 0 ? argv + 1 : only_input;
    const int input_count = files > 0 ? files : 1;
    bool all_well = true;
    if (decrypting) {
        decrypt_stream stream(settings.separator, memory, block_size, output_size,
                              to_standard_output, report_line, &writer);
        all_well = read_inputs(stream, writer, inputs, input_count) && !stream.any_failed();
    } else {
        line_stream stream(settings, memory, block_size, output_size, to_standard_output, &writer);
        all_well = read_inputs(stream, writer, inputs, input_count);
    }
    writer.finish();
    return out.close(program_name, all_well ? EXIT_SUCCESS : EXIT_FAILURE);
}
