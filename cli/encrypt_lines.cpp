// The encrypt-lines command: for every text of its input, the line that
// `encrypt TEXT` prints; with -d, the other way.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <type_traits>

#include <encrypt/lines.hpp>

#include "output.hpp"
#include "large_buffer.hpp"
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
// output. Asking for space for a whole output block is a hint; where the
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

// One run's work: every input through the library's encoder or decoder,
// the output gathered in buffers that the writer takes in turn.
template <class Stream>
class lines_job {
public:
    lines_job(Stream& stream, encrypt::cli::output_thread& writer, char* first_buffer) noexcept
        : stream_(stream), writer_(writer), buffer_(first_buffer), next_(first_buffer) {}

    // Whether the work goes on: it stops where a write failed, or where
    // decrypting stopped inside a line's text.
    bool going() const noexcept { return !stopped_; }
    // Whether some line had no text to write.
    bool any_failed() const noexcept { return any_failed_; }

    // An input begins; its lines are counted from 1 in messages.
    void begin(const char* name) noexcept { name_ = name; }

    // Takes the `size` bytes at `data`.
    void take(const char* data, std::size_t size) noexcept {
        while (size > 0 && !stopped_) {
            follow(stream_.update(data, size, next_, space_));
        }
    }

    // The input ends; where it failed (`cut`), the text or line under way
    // ends there: a text is encrypted as far as it came, a line is dropped
    // undecided.
    void end(bool cut) noexcept {
        if constexpr (std::is_same_v<Stream, encrypt::line_decoder>) {
            if (cut && !stopped_ && stream_.abandon() == ENCRYPT_STOPPED) {
                follow(ENCRYPT_STOPPED);
            }
        }
        (void)cut;
        int result = ENCRYPT_LINES_OK;
        while (!stopped_ && result != ENCRYPT_LINES_END) {
            result = stream_.finish(next_, space_);
            follow(result);
        }
    }

    // What the buffer holds goes to the writer, and with `wait`, out.
    bool hand_over(bool wait) noexcept {
        if (!stopped_ && next_ != buffer_) {
            buffer_ = writer_.put(buffer_, static_cast<std::size_t>(next_ - buffer_));
            stopped_ = buffer_ == nullptr;
            next_ = buffer_;
            space_ = output_size;
        }
        return !stopped_ && (!wait || writer_.drain());
    }

private:
    void follow(int result) noexcept {
        if (space_ == 0) {
            hand_over(false);
        }
        if (result >= 0 || stopped_) {
            return;
        }
        // A line with no text to write, reported after the lines before it.
        any_failed_ = true;
        if (!hand_over(true)) {
            return;
        }
        if constexpr (std::is_same_v<Stream, encrypt::line_decoder>) {
            std::uint64_t line = 0;
            const char* reason = stream_.failure(&line);
            char message[4096];
            std::snprintf(message, sizeof message, "%s:%llu: %s", name_,
                          static_cast<unsigned long long>(line), reason);
            encrypt::cli::report(program_name, message);
            // Part of its text went out: anything more would run on from it.
            stopped_ = result == ENCRYPT_STOPPED;
        }
    }

    Stream& stream_;
    encrypt::cli::output_thread& writer_;
    char* buffer_;
    char* next_;
    std::size_t space_ = output_size;
    const char* name_ = "-";
    bool stopped_ = false;
    bool any_failed_ = false;
};

// Reads one input to its end, or until the work stops. Returns 0, or the
// errno of a failed read.
template <class Job>
int read_all(Job& job, int fd, char* block) {
    const bool never_waits = reads_never_wait(fd);
    for (;;) {
        // Lines that are ready go out before a read that may wait, so that
        // a program talking to us through pipes gets each one at once.
        if (!never_waits && !job.hand_over(false)) {
            return 0;
        }
        const long got = read_input(fd, block, block_size);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return got < 0 ? errno : 0;
        }
        job.take(block, static_cast<std::size_t>(got));
        if (!job.going()) {
            return 0;
        }
    }
}

// Every input in turn; false if one could not be read.
template <class Job>
bool read_inputs(Job& job, char* block, char** inputs, int count) {
    bool read_failed = false;
    for (int i = 0; i < count && job.going(); ++i) {
        const bool is_standard_input = std::strcmp(inputs[i], "-") == 0;
        const int fd = is_standard_input ? 0 : open_input(inputs[i]);
        int error = fd < 0 ? errno : 0;
        if (fd >= 0) {
            job.begin(inputs[i]);
            error = read_all(job, fd, block);
            job.end(error != 0);
        }
        if (error != 0) {
            job.hand_over(true);  // the lines before go out first
            encrypt::cli::report(program_name, inputs[i], error);
            read_failed = true;
        }
        if (fd >= 0 && !is_standard_input) {
            close_input(fd);
        }
    }
    job.hand_over(false);
    return !read_failed;
}

// The whole run through a stream of the library's, in `memory`: the input
// block, then the output buffers.
template <class Stream>
int run(unsigned options, char* memory, char** inputs, int count) {
    Stream stream(options);
    if (!stream) {
        encrypt::cli::report(program_name, "memory exhausted");
        return EXIT_FAILURE;
    }
    widen_output_pipe();
    encrypt::cli::standard_output out;
    char* const first_buffer = memory + block_size;
    encrypt::cli::output_thread writer(out, first_buffer + output_size, output_size);
    lines_job<Stream> job(stream, writer, first_buffer);
    const bool all_read = read_inputs(job, memory, inputs, count);
    writer.finish();
    return out.close(program_name,
                     all_read && job.going() && !job.any_failed() ? EXIT_SUCCESS : EXIT_FAILURE);
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
    unsigned options = 0;
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
            options |= ENCRYPT_LINES_NUL;
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
                options |= letter == 'z' ? ENCRYPT_LINES_NUL : 0u;
                decrypting = decrypting || letter == 'd';
            }
        }
    }
#ifdef _WIN32
    // A carriage return before a line feed ends a text there; texts read
    // back are written as they are, with no line end turned into CR LF.
    options |= ENCRYPT_LINES_CRLF;
    if (decrypting) {
        _setmode(1, _O_BINARY);
    }
#endif

    // The input block and the output buffers: the one in hand and the
    // writer's spares.
    constexpr std::size_t buffers = 1 + encrypt::cli::output_thread::spare_buffers;
    const encrypt::detail::large_buffer memory(block_size + buffers * output_size);
    if (memory.data() == nullptr) {
        encrypt::cli::report(program_name, "memory exhausted");
        return EXIT_FAILURE;
    }
    static char standard_input[] = "-";
    char* only_input[] = {standard_input};
    char** inputs = files > 0 ? argv + 1 : only_input;
    const int count = files > 0 ? files : 1;
    return decrypting ? run<encrypt::line_decoder>(options, memory.data(), inputs, count)
                      : run<encrypt::line_encoder>(options, memory.data(), inputs, count);
}
