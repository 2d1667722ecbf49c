// Times whole runs of commands that take one long text argument, the way a
// shell would start them (posix_spawn, standard output to /dev/null), taking
// turns so that they meet the same machine state.
//
//   spawn_timer make-text BYTES FILE     writes a text with no zero byte and no line feed
//   spawn_timer make-texts COUNT FILE    writes COUNT lines of 1 to 64 printable bytes
//   spawn_timer RUNS FILE 'PROG [ARG]...' 'PROG [ARG]...'
//       runs each PROG with the text as argument 1 (and any ARGs after it)
//       and prints the median wall time of each in microseconds
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace {

int make_text(std::size_t bytes, const char* path) {
    std::string text(bytes, '\0');
    std::uint32_t state = 2463534242u;
    for (char& c : text) {
        do {
            state ^= state << 13;
            state ^= state >> 17;
            state ^= state << 5;
            c = static_cast<char>(state & 0xff);
        } while (c == '\0' || c == '\n');
    }
    std::ofstream(path, std::ios::binary) << text;
    return 0;
}

int make_texts(std::size_t count, const char* path) {
    std::string texts;
    std::uint32_t state = 88172645u;
    const auto next = [&state] {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    };
    for (std::size_t t = 0; t < count; ++t) {
        for (std::uint32_t length = 1 + next() % 64; length > 0; --length) {
            texts.push_back(static_cast<char>(' ' + next() % 95));
        }
        texts.push_back('\n');
    }
    std::ofstream(path, std::ios::binary) << texts;
    return 0;
}

double run_once(std::vector<char*>& argv) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    const auto start = std::chrono::steady_clock::now();
    pid_t child = 0;
    if (posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
        std::perror(argv[0]);
        std::exit(1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    const auto stop = std::chrono::steady_clock::now();
    posix_spawn_file_actions_destroy(&actions);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "%s failed\n", argv[0]);
        std::exit(1);
    }
    return std::chrono::duration<double, std::micro>(stop - start).count();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == "make-text") {
        return make_text(std::strtoull(argv[2], nullptr, 10), argv[3]);
    }
    if (argc == 4 && std::string(argv[1]) == "make-texts") {
        return make_texts(std::strtoull(argv[2], nullptr, 10), argv[3]);
    }
    if (argc < 4) {
        std::fprintf(stderr, "usage: see the comment at the top of spawn_timer.cpp\n");
        return 2;
    }
    const int runs = std::atoi(argv[1]);
    std::ifstream file(argv[2], std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());

    std::vector<std::vector<std::string>> commands;
    for (int i = 3; i < argc; ++i) {
        std::istringstream words(argv[i]);
        std::vector<std::string> command;
        for (std::string word; words >> word;) {
            command.push_back(word);
        }
        command.insert(command.begin() + 1, text);
        commands.push_back(command);
    }
    std::vector<std::vector<char*>> argvs;
    for (auto& command : commands) {
        std::vector<char*> pointers;
        for (auto& word : command) {
            pointers.push_back(word.data());
        }
        pointers.push_back(nullptr);
        argvs.push_back(pointers);
    }
    std::vector<std::vector<double>> times(commands.size());
    for (int run = -runs / 10; run < runs; ++run) {  // the first tenth warms up
        for (std::size_t c = 0; c < commands.size(); ++c) {
            const double took = run_once(argvs[c]);
            if (run >= 0) {
                times[c].push_back(took);
            }
        }
    }
    for (std::size_t c = 0; c < commands.size(); ++c) {
        auto& t = times[c];
        std::nth_element(t.begin(), t.begin() + static_cast<std::ptrdiff_t>(t.size() / 2), t.end());
        std::printf("%s %.1f\n", commands[c][0].c_str(), t[t.size() / 2]);
    }
    return 0;
}
