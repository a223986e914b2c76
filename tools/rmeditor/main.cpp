// rmeditor: joins RealMedia files losslessly.
//
//   rmeditor -i IN [-i IN ...] -o OUT
//
// The joined file is written under a temporary name beside OUT and takes
// OUT's name only once it is complete, so a failed or interrupted join never
// leaves a file at OUT. Any failure prints one line and exits non-zero.
#include "rmfile.h"

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::string g_partial; // removed when the program is interrupted

extern "C" void removePartial(int signal)
{
    if (!g_partial.empty())
        std::remove(g_partial.c_str());
    std::_Exit(128 + signal);
}

int fail(const std::string &message, int code = 1)
{
    std::fprintf(stderr, "rmeditor: %s\n", message.c_str());
    return code;
}

bool occupied(const std::string &path)
{
    std::error_code ec;
    return fs::exists(fs::symlink_status(path, ec));
}

// Gives the finished file its name without ever replacing an existing one.
void publish(const std::string &partial, const std::string &output)
{
    std::error_code ec;
    fs::create_hard_link(partial, output, ec);
    if (!ec) {
        fs::remove(partial, ec);
        return;
    }
    if (occupied(output))
        throw rm::Error(output + ": already exists");
    // File systems without hard links: a rename, after one more look.
    fs::rename(partial, output, ec);
    if (ec)
        throw rm::Error(output + ": " + ec.message());
}

} // namespace

int main(int argc, char **argv)
{
    std::vector<std::string> inputs;
    std::vector<std::string> outputs;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "-i" || arg == "-o") {
            if (i + 1 >= argc)
                return fail("option " + arg + " needs a path", 2);
            (arg == "-i" ? inputs : outputs).push_back(argv[++i]);
        } else if (arg == "-h" || arg == "--help") {
            std::printf("usage: rmeditor -i IN [-i IN ...] -o OUT\n");
            return 0;
        } else {
            return fail("unknown option " + arg + " (usage: rmeditor -i IN [-i IN ...] -o OUT)", 2);
        }
    }
    if (inputs.empty())
        return fail("no input given (-i IN)", 2);
    if (outputs.empty())
        return fail("no output given (-o OUT)", 2);
    if (outputs.size() > 1)
        return fail("more than one output given", 2);
    const std::string output = outputs.front();
    if (occupied(output))
        return fail(output + ": already exists");

    try {
        std::vector<std::unique_ptr<rm::Input>> files;
        std::vector<rm::NamedInput> named;
        for (const std::string &path : inputs) {
            std::error_code ec;
            if (fs::is_directory(path, ec))
                throw rm::Error(path + ": is a folder");
            files.push_back(rm::openFileInput(path));
            named.push_back({path, files.back().get()});
        }

        const fs::path target(output);
        const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
        const std::string base = target.filename().string();
        std::unique_ptr<rm::Output> out;
        for (int attempt = 0; !out; ++attempt) {
            const fs::path partial = folder / ("." + base + ".part" + std::to_string(attempt));
            try {
                out = rm::createFileOutput(partial.string());
                g_partial = partial.string();
            } catch (const rm::Error &) {
                if (attempt >= 100 || !occupied(partial.string()))
                    throw;
            }
        }
        std::signal(SIGINT, removePartial);
        std::signal(SIGTERM, removePartial);

        try {
            rm::join(named, *out);
            out->finish();
            publish(g_partial, output);
        } catch (...) {
            out.reset();
            std::remove(g_partial.c_str());
            throw;
        }
    } catch (const rm::Error &error) {
        return fail(error.what());
    } catch (const std::exception &error) {
        return fail(error.what());
    }
    return 0;
}
