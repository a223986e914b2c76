// rmeditor: joins RealMedia files losslessly.
//
//   rmeditor -i IN [-i IN ...] -o OUT
//
// The joined file is written without a name (or, where the file system
// cannot do that, under a short temporary name beside OUT) and takes OUT's
// name only once it is complete and on the disk, never replacing a file that
// is there. Any failure prints one line and exits non-zero; 0 means OUT holds
// the whole join. With RMEDITOR_PROGRESS=1 in the environment, lines
// "progress N" (N per mille of the input bytes) go to standard output.
#include "join.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

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

std::string folderOf(const std::string &output)
{
    const fs::path target(output);
    return target.has_parent_path() ? target.parent_path().string() : std::string(".");
}

// Prints "progress N" lines, at most ten a second.
class ProgressLines
{
public:
    explicit ProgressLines(bool on) : m_on(on) {}
    void operator()(uint64_t done, uint64_t total)
    {
        const int perMille = total ? int(std::min<uint64_t>(1000, done * 1000 / total)) : 0;
        const auto now = std::chrono::steady_clock::now();
        if (!m_on || perMille == m_last || now - m_when < std::chrono::milliseconds(100))
            return;
        print(perMille);
        m_when = now;
    }
    void finished()
    {
        if (m_on && m_last != 1000)
            print(1000);
    }

private:
    void print(int perMille)
    {
        std::printf("progress %d\n", perMille);
        std::fflush(stdout);
        m_last = perMille;
    }
    bool m_on;
    int m_last = -1;
    std::chrono::steady_clock::time_point m_when{};
};

#ifndef _WIN32

char g_partial[4096]; // a named partial file, removed when a signal ends us

extern "C" void removePartial(int signal)
{
    if (g_partial[0])
        unlink(g_partial);
    _exit(128 + signal);
}

// The output file while it is written, and its publication under OUT.
class Destination
{
public:
    explicit Destination(const std::string &output) : m_output(output), m_folder(folderOf(output))
    {
        // Writes that fail end in a message, not in a silent death.
        std::signal(SIGPIPE, SIG_IGN);
        std::signal(SIGXFSZ, SIG_IGN);
#ifdef O_TMPFILE
        m_fd = ::open(m_folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
        if (m_fd >= 0)
            return; // nameless: whatever ends us, nothing is left behind
        if (errno != EISDIR && errno != EOPNOTSUPP && errno != EINVAL && errno != ENOTSUP)
            throw rm::Error(m_output + ": " + std::strerror(errno));
#endif
        for (int attempt = 0; m_fd < 0; ++attempt) {
            char name[40]; // short, whatever the length of OUT's own name
            std::snprintf(name, sizeof name, "/.rme%x-%d.tmp", unsigned(getpid()), attempt);
            m_partial = m_folder + name;
            m_fd = ::open(m_partial.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0666);
            if (m_fd < 0 && (errno != EEXIST || attempt >= 1000))
                throw rm::Error(m_output + ": " + std::strerror(errno));
        }
        std::snprintf(g_partial, sizeof g_partial, "%s", m_partial.c_str());
        for (int s : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGALRM, SIGUSR1, SIGUSR2})
            std::signal(s, removePartial);
    }
    ~Destination()
    {
        if (!m_partial.empty() && !m_published)
            unlink(m_partial.c_str());
    }

    std::unique_ptr<rm::Output> open()
    {
        std::FILE *file = fdopen(m_fd, "wb");
        if (!file)
            throw rm::Error(m_output + ": " + std::strerror(errno));
        return rm::fileOutput(file, m_output);
    }

    // Gives the finished file (already on the disk) its name, never in
    // place of another, and makes the name itself last.
    void publish(int fd)
    {
        if (m_partial.empty()) {
            const std::string self = "/proc/self/fd/" + std::to_string(fd);
            int r = linkat(AT_FDCWD, self.c_str(), AT_FDCWD, m_output.c_str(), AT_SYMLINK_FOLLOW);
            if (r != 0 && errno == ENOENT && !occupied("/proc/self/fd"))
                r = linkat(fd, "", AT_FDCWD, m_output.c_str(), AT_EMPTY_PATH);
            if (r != 0)
                refuse();
        } else if (link(m_partial.c_str(), m_output.c_str()) == 0) {
            unlink(m_partial.c_str());
        } else if (errno == EEXIST) {
            refuse();
        } else if (syscall(SYS_renameat2, AT_FDCWD, m_partial.c_str(), AT_FDCWD, m_output.c_str(),
                           1 /* RENAME_NOREPLACE */) != 0) {
            refuse();
        }
        m_published = true;
        g_partial[0] = 0;
        const int folder = ::open(m_folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (folder >= 0) {
            const bool synced = fsync(folder) == 0 || errno == EINVAL || errno == EROFS;
            ::close(folder);
            if (!synced)
                throw rm::Error(m_output + ": written, but its folder could not be flushed to the disk: "
                                + std::strerror(errno));
        }
    }
    int fd() const { return m_fd; }

private:
    [[noreturn]] void refuse() const
    {
        if (errno == EEXIST)
            throw rm::Error(m_output + ": already exists (it appeared while joining)");
        throw rm::Error(m_output + ": " + std::strerror(errno));
    }

    std::string m_output, m_folder, m_partial;
    int m_fd = -1;
    bool m_published = false;
};

#else // Windows

class Destination
{
public:
    explicit Destination(const std::string &output) : m_output(output)
    {
        for (int attempt = 0; !m_file; ++attempt) {
            m_partial = folderOf(output) + "\\.rme" + std::to_string(attempt) + ".tmp";
            m_file = std::fopen(m_partial.c_str(), "wbx");
            if (!m_file && (!occupied(m_partial) || attempt >= 1000))
                throw rm::Error(m_output + ": " + std::strerror(errno));
        }
    }
    ~Destination()
    {
        if (!m_published)
            std::remove(m_partial.c_str());
    }
    std::unique_ptr<rm::Output> open()
    {
        std::FILE *file = m_file;
        m_file = nullptr;
        return rm::fileOutput(file, m_output);
    }
    void publish(int)
    {
        if (occupied(m_output))
            throw rm::Error(m_output + ": already exists (it appeared while joining)");
        std::error_code ec;
        fs::rename(m_partial, m_output, ec);
        if (ec)
            throw rm::Error(m_output + ": " + ec.message());
        m_published = true;
    }
    int fd() const { return -1; }

private:
    std::string m_output, m_partial;
    std::FILE *m_file = nullptr;
    bool m_published = false;
};

#endif

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

    const char *progressVariable = std::getenv("RMEDITOR_PROGRESS");
    ProgressLines progress(progressVariable && std::strcmp(progressVariable, "1") == 0);
    try {
        // Inputs are opened one at a time and share one buffer.
        std::vector<uint8_t> buffer;
        std::vector<rm::Source> sources;
        sources.reserve(inputs.size());
        for (const std::string &path : inputs)
            sources.push_back({path, [&buffer, &path](bool forPackets) {
                                   return rm::openFileInput(path, buffer, forPackets ? rm::kBufferSize : 64u << 10);
                               }});

        Destination destination(output);
        std::unique_ptr<rm::Output> out = destination.open();
        rm::join(sources, *out, std::ref(progress));
        out->finish();
        destination.publish(destination.fd());
        progress.finished();
    } catch (const std::exception &error) {
        return fail(error.what());
    }
    return 0;
}
