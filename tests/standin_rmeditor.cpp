// A stand-in for the joining tool, for the tests: takes "-i PATH" (any
// number) and "-o PATH", records its arguments and working folder, and
// writes the output as the inputs' bytes one after the other.
//
// Environment:
//   STANDIN_LOG       file that receives "cwd=…" and one "arg=…" line per argument
//   STANDIN_MODE      "fail" (no output, exit 1), "empty" (0-byte output),
//                     "exitcode" (full output, exit 3), "crash" (abort, no output),
//                     "partialcrash" (output written, then abort), "killed" (output
//                     written, then SIGKILL)
//   STANDIN_SPEW_MB   megabytes of output without a line break, first of all
//   STANDIN_SLEEP_MS  milliseconds to wait before doing anything else
//   STANDIN_PROGRESS  a "progress N" line to print first (when RMEDITOR_PROGRESS=1)
//   STANDIN_HANG_MS   milliseconds to wait after writing the output, before ending
//   STANDIN_IGNORE_TERM  "1": a polite request to end is ignored
//   STANDIN_HOLD_OUTPUT  "1": the output stays open (being written) while it hangs
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

int main(int argc, char **argv)
{
    if (const char *ignore = std::getenv("STANDIN_IGNORE_TERM"); ignore && std::string(ignore) == "1")
        std::signal(SIGTERM, SIG_IGN);
    const char *progress = std::getenv("STANDIN_PROGRESS");
    const char *wanted = std::getenv("RMEDITOR_PROGRESS");
    if (progress && wanted && std::string(wanted) == "1")
        std::cout << "progress " << progress << std::endl;
    if (const char *spew = std::getenv("STANDIN_SPEW_MB")) {
        const std::string block(1 << 20, 'x');
        for (int i = std::atoi(spew); i > 0; --i)
            std::fwrite(block.data(), 1, block.size(), stdout);
        std::fflush(stdout);
    }
    if (const char *sleep = std::getenv("STANDIN_SLEEP_MS"))
        std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(sleep)));

    if (const char *logPath = std::getenv("STANDIN_LOG")) {
        std::ofstream log(logPath, std::ios::binary | std::ios::app);
        log << "cwd=" << std::filesystem::current_path().string() << '\n';
        for (int i = 1; i < argc; ++i)
            log << "arg=" << argv[i] << '\n';
    }

    std::vector<std::string> inputs;
    std::string output;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-i") == 0 && i + 1 < argc) {
            inputs.emplace_back(argv[++i]);
        } else if (std::strcmp(argv[i], "-o") == 0 && i + 1 < argc) {
            output = argv[++i];
        } else {
            std::cerr << "unexpected argument: " << argv[i] << '\n';
            return 2;
        }
    }
    std::cout << "joining " << inputs.size() << " clips into " << output << std::endl;

    const char *modeText = std::getenv("STANDIN_MODE");
    const std::string mode = modeText ? modeText : "";
    if (mode == "fail") {
        std::cerr << "standin: refused on purpose" << std::endl;
        return 1;
    }
    if (mode == "crash")
        std::abort();
    if (output.empty())
        return 2;

    std::ofstream out(output, std::ios::binary);
    if (mode != "empty") {
        for (const std::string &input : inputs) {
            std::ifstream in(input, std::ios::binary);
            out << in.rdbuf();
        }
    }
    if (const char *hold = std::getenv("STANDIN_HOLD_OUTPUT"); hold && std::string(hold) == "1")
        out.flush();
    else
        out.close();
    if (const char *hang = std::getenv("STANDIN_HANG_MS"))
        std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(hang)));
    if (mode == "partialcrash")
        std::abort();
    if (mode == "killed")
        std::raise(SIGKILL);
    return mode == "exitcode" ? 3 : 0;
}
