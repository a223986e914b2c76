// A stand-in for the joining tool, for the tests: takes "-i PATH" (any
// number) and "-o PATH", records its arguments and working folder, and
// writes the output as the inputs' bytes one after the other.
//
// Environment:
//   STANDIN_LOG       file that receives "cwd=…" and one "arg=…" line per argument
//   STANDIN_MODE      "fail" (no output, exit 1), "nothing" (no output, exit 0),
//                     "silent" (says nothing at all, no output, exit 0),
//                     "empty" (0-byte output),
//                     "exitcode" (full output, exit 12), "crash" (abort, no output),
//                     "partialcrash" (output written, then abort), "killed" (output
//                     written, then SIGKILL)
//   STANDIN_SPEW_MB   megabytes of output without a line break, first of all
//   STANDIN_SLEEP_MS  milliseconds to wait before doing anything else
//   STANDIN_PROGRESS  a "progress N" line to print first (when RMEDITOR_PROGRESS=1),
//                     after an empty line as some tools start
//   STANDIN_HANG_MS   milliseconds to wait after writing the output, before ending
//   STANDIN_IGNORE_TERM  "1": a polite request to end is ignored; "finish": it
//                     ends the tool at once with exit code 0 (a join that ended as
//                     it was cancelled)
//   STANDIN_HOLD_OUTPUT  "1": the output stays open (being written) while it hangs;
//                     "output open" is printed once it is; "rw": the same, opened
//                     for reading and writing, and read back through a
//                     reading handle opened before it
//   STANDIN_SAY_LINES  a number of numbered lines to print on the error channel first
//   STANDIN_SAY_GAP_MS  milliseconds between those lines
//   STANDIN_SAY       a line to print on the error channel before them
//   STANDIN_SPLIT_LINE  "1": the refusal of "fail" is written in two parts 30 ms
//                     apart, as a tool's line may reach the window in pieces
//   STANDIN_NO_LINE_END  "1": the refusal of "fail" ends without a line end
//   STANDIN_PARTIAL   "1": a temporary ".rme<pid>-0.tmp" beside the output is made
//                     and named ("partial NAME", when RMEDITOR_PROGRESS=1, after
//                     "partial ../NAME" of a file it makes one folder up, and
//                     before "partial" of a name it never makes) before anything
//                     else is written; it is left behind
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>
#else
#include <unistd.h>
#endif

namespace {

// The arguments in UTF-8; on Windows taken from the wide command line, so
// that names outside the code page arrive whole, as they do to the real tool.
std::vector<std::string> arguments(int argc, char **argv)
{
#ifdef _WIN32
    (void)argv;
    int count = 0;
    wchar_t **wide = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> args;
    for (int i = 0; i < count; ++i) {
        const int n = WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
        std::string text(size_t(n > 0 ? n - 1 : 0), '\0');
        WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, text.data(), n, nullptr, nullptr);
        args.push_back(text);
    }
    LocalFree(wide);
    (void)argc;
    return args;
#else
    return std::vector<std::string>(argv, argv + argc);
#endif
}

std::filesystem::path pathOf(const std::string &utf8)
{
#ifdef _WIN32
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), nullptr, 0);
    std::wstring wide(size_t(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), wide.data(), n);
    return std::filesystem::path(wide);
#else
    return std::filesystem::path(utf8);
#endif
}

} // namespace

int main(int argc, char **argv)
{
    const std::vector<std::string> args = arguments(argc, argv);
    if (const char *ignore = std::getenv("STANDIN_IGNORE_TERM"); ignore && std::string(ignore) == "1")
        std::signal(SIGTERM, SIG_IGN);
#ifndef _WIN32
    else if (ignore && std::string(ignore) == "finish")
        std::signal(SIGTERM, [](int) { _exit(0); });
#endif
    const char *progress = std::getenv("STANDIN_PROGRESS");
    const char *wanted = std::getenv("RMEDITOR_PROGRESS");
    if (progress && wanted && std::string(wanted) == "1")
        std::cout << "\nprogress " << progress << std::endl;
    if (const char *spew = std::getenv("STANDIN_SPEW_MB")) {
        const std::string block(1 << 20, 'x');
        for (int i = std::atoi(spew); i > 0; --i)
            std::fwrite(block.data(), 1, block.size(), stdout);
        std::fflush(stdout);
    }
    if (const char *line = std::getenv("STANDIN_SAY"))
        std::cerr << line << std::endl;
    if (const char *say = std::getenv("STANDIN_SAY_LINES")) {
        const char *gap = std::getenv("STANDIN_SAY_GAP_MS");
        for (int i = 0, n = std::atoi(say); i < n; ++i) {
            std::cerr << "said line " << i << " of " << n << '\n';
            if (gap)
                std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(gap)));
        }
    }
    if (const char *sleep = std::getenv("STANDIN_SLEEP_MS"))
        std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(sleep)));

    if (const char *logPath = std::getenv("STANDIN_LOG")) {
        std::ofstream log(logPath, std::ios::binary | std::ios::app);
        const std::u8string cwd = std::filesystem::current_path().u8string();
        log << "cwd=" << std::string(cwd.begin(), cwd.end()) << '\n';
        for (size_t i = 1; i < args.size(); ++i)
            log << "arg=" << args[i] << '\n';
    }

    std::vector<std::string> inputs;
    std::string output;
    for (size_t i = 1; i < args.size(); ++i) {
        if (args[i] == "-i" && i + 1 < args.size()) {
            inputs.emplace_back(args[++i]);
        } else if (args[i] == "-o" && i + 1 < args.size()) {
            output = args[++i];
        } else {
            std::cerr << "unexpected argument: " << args[i] << '\n';
            return 2;
        }
    }
    const char *modeText = std::getenv("STANDIN_MODE");
    const std::string mode = modeText ? modeText : "";
    if (mode != "silent")
        std::cout << "joining " << inputs.size() << " clips into " << output << std::endl;
    if (const char *partial = std::getenv("STANDIN_PARTIAL"); partial && std::string(partial) == "1") {
        char name[40];
#ifdef _WIN32
        std::snprintf(name, sizeof name, ".rme%lu-0.tmp", static_cast<unsigned long>(GetCurrentProcessId()));
#else
        std::snprintf(name, sizeof name, ".rme%x-0.tmp", unsigned(getpid()));
#endif
        std::ofstream(pathOf(output).parent_path() / name, std::ios::binary) << "partial join";
        // A name outside the output's folder first, where a file of that name lies;
        // then, after the true one, a second name the window must not follow.
        std::ofstream(pathOf(output).parent_path().parent_path() / name, std::ios::binary) << "not ours";
        std::string later = name;
        later.replace(later.find("-0."), 3, "-1.");
        if (wanted && std::string(wanted) == "1")
            std::cout << "partial ../" << name << "\npartial " << name << "\npartial " << later << std::endl;
    }

    if (mode == "fail") {
        std::cerr << "standin: " << std::flush;
        if (const char *split = std::getenv("STANDIN_SPLIT_LINE"); split && std::string(split) == "1")
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
        if (const char *open = std::getenv("STANDIN_NO_LINE_END"); open && std::string(open) == "1")
            std::cerr << "refused on purpose" << std::flush;
        else
            std::cerr << "refused on purpose\n" << std::endl; // and a blank line, as many tools end
        return 1;
    }
    if (mode == "crash")
        std::abort();
    if (mode == "nothing" || mode == "silent")
        return 0;
    if (output.empty())
        return 2;

    const char *hold = std::getenv("STANDIN_HOLD_OUTPUT");
    const bool readWrite = hold && std::string(hold) == "rw";
    std::ifstream reader; // opened first, so that it comes first among the tool's handles
    if (readWrite) {
        std::ofstream(pathOf(output), std::ios::binary).close();
        reader.open(pathOf(output), std::ios::binary);
    }
    std::fstream out(pathOf(output), std::ios::binary | std::ios::out | std::ios::trunc | (readWrite ? std::ios::in : std::ios::openmode()));
    if (mode != "empty") {
        for (const std::string &input : inputs) {
#ifdef _WIN32
            std::FILE *in = _wfopen(pathOf(input).c_str(), L"rb");
#else
            std::FILE *in = std::fopen(input.c_str(), "rb");
#endif
            char buffer[65536];
            for (size_t n; in && (n = std::fread(buffer, 1, sizeof buffer, in)) > 0;)
                out.write(buffer, std::streamsize(n));
            if (in)
                std::fclose(in);
        }
    }
    if (hold && (std::string(hold) == "1" || readWrite)) {
        out.flush();
        std::cout << "output open" << std::endl;
    } else
        out.close();
    if (const char *hang = std::getenv("STANDIN_HANG_MS"))
        std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(hang)));
    if (mode == "partialcrash")
        std::abort();
    if (mode == "killed") {
#ifdef _WIN32
        TerminateProcess(GetCurrentProcess(), 0xC000013A); // as when its console is closed
#else
        std::raise(SIGKILL);
#endif
    }
    return mode == "exitcode" ? 12 : 0;
}
