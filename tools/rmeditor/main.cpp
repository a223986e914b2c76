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
#else
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#endif

namespace fs = std::filesystem;

namespace {

// One line to standard error (or output). On Windows a console gets UTF-16
// text, and a pipe (the window reading what we say) the system's ANSI code page.
void sayLine(const std::string &line, bool toOutput = false)
{
    std::FILE *stream = toOutput ? stdout : stderr;
#ifdef _WIN32
    const std::wstring text = rm::wide(line + "\n");
    HANDLE handle = GetStdHandle(toOutput ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
    DWORD mode = 0, written = 0;
    if (GetConsoleMode(handle, &mode)) {
        WriteConsoleW(handle, text.data(), DWORD(text.size()), &written, nullptr);
        return;
    }
    const int n = WideCharToMultiByte(CP_ACP, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(size_t(n), '\0');
    WideCharToMultiByte(CP_ACP, 0, text.data(), int(text.size()), bytes.data(), n, nullptr, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), stream);
#else
    std::fprintf(stream, "%s\n", line.c_str());
#endif
    std::fflush(stream);
}

int fail(const std::string &message, int code = 1)
{
    sayLine("rmeditor: " + message);
    return code;
}

bool occupied(const std::string &path)
{
#ifdef _WIN32
    return GetFileAttributesW(rm::windowsPath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
#else
    std::error_code ec;
    return fs::exists(fs::symlink_status(path, ec));
#endif
}

std::string folderOf(const std::string &output)
{
#ifdef _WIN32
    const size_t cut = output.find_last_of("\\/");
    if (cut == std::string::npos)
        return output.size() >= 2 && output[1] == ':' ? output.substr(0, 2) : std::string(".");
    return cut == 0 || (cut == 2 && output[1] == ':') ? output.substr(0, cut + 1) : output.substr(0, cut);
#else
    const fs::path target(output);
    return target.has_parent_path() ? target.parent_path().string() : std::string(".");
#endif
}

// For the program that runs us (RMEDITOR_PROGRESS=1): "progress N" lines,
// at most ten a second, and "partial NAME" once a named temporary file is
// made beside OUT, so that whoever ends us can remove what we leave.
class ProgressLines
{
public:
    explicit ProgressLines(bool on) : m_on(on) {}
    void partial(const std::string &fileName) const
    {
        if (m_on) {
            std::printf("partial %s\n", fileName.c_str());
            std::fflush(stdout);
        }
    }
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
char g_claim[4096];   // OUT while we hold it empty for the finished file

extern "C" void removePartial(int signal)
{
    if (g_partial[0])
        unlink(g_partial);
    if (g_claim[0])
        unlink(g_claim);
    _exit(128 + signal);
}

// The output file while it is written, and its publication under OUT.
class Destination
{
public:
    Destination(const std::string &output, const ProgressLines &told) : m_output(output), m_folder(folderOf(output))
    {
        // Writes that fail end in a message, not in a silent death.
        std::signal(SIGPIPE, SIG_IGN);
        std::signal(SIGXFSZ, SIG_IGN);
#ifdef O_TMPFILE
        m_fd = ::open(m_folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
        if (m_fd >= 0)
            return; // nameless: whatever ends us, nothing is left behind
        if (errno != EISDIR && errno != EOPNOTSUPP && errno != EINVAL && errno != ENOTSUP)
            throw rm::Error(rm::say(rm::Msg::SystemError, {m_output, rm::systemText(errno)}));
#endif
        for (int attempt = 0; m_fd < 0; ++attempt) {
            char name[40]; // short, whatever the length of OUT's own name
            std::snprintf(name, sizeof name, "/.rme%x-%d.tmp", unsigned(getpid()), attempt);
            m_partial = m_folder + name;
            m_fd = ::open(m_partial.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0666);
            if (m_fd < 0 && (errno != EEXIST || attempt >= 1000))
                throw rm::Error(rm::say(rm::Msg::SystemError, {m_output, rm::systemText(errno)}));
        }
        std::snprintf(g_partial, sizeof g_partial, "%s", m_partial.c_str());
        for (int s : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGALRM, SIGUSR1, SIGUSR2})
            std::signal(s, removePartial);
        // A kill or a crash cannot be caught: the program that started us removes it.
        told.partial(m_partial.substr(m_folder.size() + 1));
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
            throw rm::Error(rm::say(rm::Msg::SystemError, {m_output, rm::systemText(errno)}));
        return rm::fileOutput(file, m_output);
    }

    // Gives the finished file (already on the disk) its name, never in
    // place of another, and makes the name itself last.
    void publish(std::unique_ptr<rm::Output> &)
    {
        const int fd = m_fd;
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
            if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
                refuse();
            claimAndRename();
        }
        m_published = true;
        g_partial[0] = 0;
        const int folder = ::open(m_folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (folder >= 0) {
            const bool synced = fsync(folder) == 0 || errno == EINVAL || errno == EROFS;
            ::close(folder);
            if (!synced)
                throw rm::Error(rm::say(rm::Msg::FolderNotFlushed, {m_output, rm::systemText(errno)}));
        }
    }
private:
    // Drives that take neither a second name nor a rename that keeps what is
    // there (FAT and exFAT through FUSE, some network shares): the name is
    // claimed with an empty file of our own, which the finished one replaces.
    void claimAndRename() const
    {
        const int claim = ::open(m_output.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0666);
        if (claim < 0)
            refuse();
        ::close(claim);
        std::snprintf(g_claim, sizeof g_claim, "%s", m_output.c_str());
        if (std::rename(m_partial.c_str(), m_output.c_str()) != 0) {
            const int error = errno;
            unlink(m_output.c_str());
            g_claim[0] = 0;
            errno = error == EEXIST ? EIO : error; // the name was ours: nobody else's file is there
            refuse();
        }
        g_claim[0] = 0;
    }

    [[noreturn]] void refuse() const
    {
        if (errno == EEXIST)
            throw rm::Error(rm::say(rm::Msg::AppearedWhileJoining, {m_output}));
        throw rm::Error(rm::say(rm::Msg::SystemError, {m_output, rm::systemText(errno)}));
    }

    std::string m_output, m_folder, m_partial;
    int m_fd = -1;
    bool m_published = false;
};

#else // Windows

std::wstring g_partial; // the partial file, removed when Ctrl+C or a closing console ends us

// Marks the file open on `handle` to be deleted when the last handle to it
// closes (or, with `pending` false, no longer): while we write, a kill, a
// crash or the end of the session removes it with our process.
bool deleteOnClose(HANDLE handle, bool pending)
{
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = pending ? TRUE : FALSE;
    return SetFileInformationByHandle(handle, FileDispositionInfo, &disposition, sizeof disposition);
}

BOOL WINAPI removePartial(DWORD)
{
    if (!g_partial.empty())
        DeleteFileW(g_partial.c_str()); // gone once our handle closes with the process
    ExitProcess(130);
}

// The output while it is written, under a short name beside OUT, and its
// move to OUT, never over a file that is there.
class Destination
{
public:
    Destination(const std::string &output, const ProgressLines &told) : m_output(output)
    {
        const std::string folder = folderOf(output);
        const std::string joint = folder.empty() || folder.back() == '\\' || folder.back() == '/' || folder.back() == ':'
                                      ? folder
                                      : folder + "\\";
        HANDLE handle = INVALID_HANDLE_VALUE;
        std::string name;
        for (int attempt = 0; handle == INVALID_HANDLE_VALUE; ++attempt) {
            name = ".rme" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(attempt) + ".tmp";
            m_partial = joint + name;
            handle = CreateFileW(rm::windowsPath(m_partial).c_str(), GENERIC_READ | GENERIC_WRITE | DELETE,
                                 FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                                 FILE_ATTRIBUTE_NORMAL | FILE_ATTRIBUTE_HIDDEN, nullptr);
            const DWORD error = GetLastError();
            if (handle == INVALID_HANDLE_VALUE && (error != ERROR_FILE_EXISTS || attempt >= 1000))
                throw rm::Error(rm::say(rm::Msg::SystemError, {m_output, rm::windowsError(error)}));
        }
        g_partial = rm::windowsPath(m_partial);
        SetConsoleCtrlHandler(removePartial, TRUE);
        m_deleteOnClose = deleteOnClose(handle, true);
        m_handle = handle;
        told.partial(name);
        m_file = _fdopen(_open_osfhandle(intptr_t(handle), _O_RDWR | _O_BINARY), "w+b");
        if (!m_file) {
            CloseHandle(handle);
            throw rm::Error(rm::say(rm::Msg::CannotBeWritten, {m_output}));
        }
    }
    ~Destination()
    {
        if (m_file)
            std::fclose(m_file);
        if (!m_published)
            DeleteFileW(rm::windowsPath(m_partial).c_str());
        g_partial.clear();
    }
    std::unique_ptr<rm::Output> open()
    {
        std::FILE *file = m_file;
        m_file = nullptr;
        return rm::fileOutput(file, m_output);
    }
    // The file is on the disk (flushed); closed, it moves to OUT.
    void publish(std::unique_ptr<rm::Output> &out)
    {
        if (m_deleteOnClose && !deleteOnClose(m_handle, false))
            throw rm::Error(rm::say(rm::Msg::SystemError, {m_output, rm::windowsError(GetLastError())}));
        out.reset();
        // Hidden while it was partial; the joined file is an ordinary one
        // (the attribute would move with it and hide it from Explorer and
        // from any search that skips hidden files).
        if (!SetFileAttributesW(rm::windowsPath(m_partial).c_str(), FILE_ATTRIBUTE_ARCHIVE))
            throw rm::Error(rm::say(rm::Msg::SystemError, {m_output, rm::windowsError(GetLastError())}));
        if (!MoveFileExW(rm::windowsPath(m_partial).c_str(), rm::windowsPath(m_output).c_str(),
                         MOVEFILE_WRITE_THROUGH)) {
            const DWORD error = GetLastError();
            if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS)
                throw rm::Error(rm::say(rm::Msg::AppearedWhileJoining, {m_output}));
            throw rm::Error(rm::say(rm::Msg::SystemError, {m_output, rm::windowsError(error)}));
        }
        m_published = true;
    }

private:
    std::string m_output, m_partial;
    std::FILE *m_file = nullptr;
    HANDLE m_handle = INVALID_HANDLE_VALUE; // owned by m_file, then by the output
    bool m_deleteOnClose = false;
    bool m_published = false;
};

#endif

} // namespace

namespace {

int run(const std::vector<std::string> &args)
{
    rm::chooseLanguage();
    std::vector<std::string> inputs;
    std::vector<std::string> outputs;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string &arg = args[i];
        if (arg == "-i" || arg == "-o") {
            if (i + 1 >= args.size())
                return fail(rm::say(rm::Msg::NeedsPath, {arg}), 2);
            (arg == "-i" ? inputs : outputs).push_back(args[++i]);
        } else if (arg == "-h" || arg == "--help") {
            sayLine(rm::say(rm::Msg::Usage), true);
            return 0;
        } else {
            return fail(rm::say(rm::Msg::UnknownOption, {arg}), 2);
        }
    }
    if (inputs.empty())
        return fail(rm::say(rm::Msg::NoInputGiven), 2);
    if (outputs.empty())
        return fail(rm::say(rm::Msg::NoOutputGiven), 2);
    if (outputs.size() > 1)
        return fail(rm::say(rm::Msg::MoreThanOneOutput), 2);
    const std::string output = outputs.front();
    if (occupied(output))
        return fail(rm::say(rm::Msg::AlreadyExists, {output}));

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

        Destination destination(output, progress);
        std::unique_ptr<rm::Output> out = destination.open();
        rm::join(sources, *out, std::ref(progress));
        out->finish();
        destination.publish(out);
        progress.finished();
    } catch (const std::exception &error) {
        return fail(error.what());
    }
    return 0;
}

} // namespace

#ifdef _WIN32
// Arguments arrive as the C runtime splits the wide command line, so every
// file name reaches us whole, whatever the system's code page.
int wmain(int argc, wchar_t **argv)
{
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i)
        args.push_back(rm::utf8(argv[i]));
    return run(args);
}
#else
int main(int argc, char **argv)
{
    return run(std::vector<std::string>(argv + 1, argv + argc));
}
#endif
