// Byte sources and sinks: files read straight through the system's calls
// into a shared buffer, buffered file output, and memory for tests and fuzzing.
#include "rmfile.h"

#include "messages.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#else
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#endif

namespace rm {

namespace {

constexpr size_t kDirectWrite = 64u << 10; // written without a copy into our buffer

} // namespace

// ---- files and memory ---------------------------------------------------

namespace {

#ifdef _WIN32
using FileHandle = HANDLE;
#else
using FileHandle = int;
#endif

// A file read straight through the system's calls into our own buffer: one
// read takes a small clip whole, and nothing is read past the size it had
// when it was opened.
class FileInput : public Input
{
public:
    FileInput(FileHandle file, std::string name, uint64_t size, uint8_t *buffer, size_t capacity)
        : m_file(file), m_name(std::move(name)), m_size(size), m_data(buffer), m_capacity(capacity) {}
    ~FileInput() override
    {
#ifdef _WIN32
        CloseHandle(m_file);
#else
        ::close(m_file);
#endif
    }

    size_t read(uint8_t *to, size_t n) override
    {
        size_t done = 0;
        while (done < n) {
            if (m_at == m_filled) {
                refilling();
                if (n - done >= m_capacity) { // large reads skip the buffer
                    const size_t got = readFile(to + done, n - done);
                    m_base += m_filled + got;
                    m_at = m_filled = 0;
                    done += got;
                    break;
                }
                m_base += m_filled;
                m_at = m_filled = 0; // the file is read on from here, not a buffer further on
                m_filled = readFile(m_data, m_capacity);
                if (m_filled == 0)
                    break;
            }
            const size_t take = std::min(n - done, m_filled - m_at);
            std::memcpy(to + done, m_data + m_at, take);
            m_at += take;
            done += take;
        }
        return done;
    }
    uint8_t *view(size_t n) override
    {
        if (m_filled - m_at < n) {
            refilling();
            // Keep what is left, and fill the buffer up behind it.
            std::memmove(m_data, m_data + m_at, m_filled - m_at);
            m_base += m_at;
            m_filled -= m_at;
            m_at = 0;
            m_filled += readFile(m_data + m_filled, m_capacity - m_filled);
            if (m_filled < n)
                return nullptr;
        }
        uint8_t *at = m_data + m_at;
        m_at += n;
        return at;
    }
    void setRefillHook(std::function<void()> hook) override { m_refillHook = std::move(hook); }
    void seek(uint64_t position) override
    {
        if (position >= m_base && position <= m_base + m_filled) {
            m_at = size_t(position - m_base);
            return;
        }
#ifdef _WIN32
        LARGE_INTEGER to;
        to.QuadPart = LONGLONG(position);
        const bool moved = SetFilePointerEx(m_file, to, nullptr, FILE_BEGIN);
#else
        const bool moved = ::lseek(m_file, off_t(position), SEEK_SET) == off_t(position);
#endif
        if (!moved)
            throw Error(say(Msg::CannotSeek, {m_name}));
        m_base = position;
        m_at = m_filled = 0;
    }
    uint64_t tell() const override { return m_base + m_at; }
    uint64_t size() const override { return m_size; }

private:
    // Fills `to` as far as the file goes (its size when opened), in as few calls as it takes.
    size_t readFile(uint8_t *to, size_t n)
    {
        const uint64_t position = m_base + m_filled;
        n = size_t(std::min<uint64_t>(n, position < m_size ? m_size - position : 0));
        size_t done = 0;
        while (done < n) {
#ifdef _WIN32
            DWORD got = 0;
            if (!ReadFile(m_file, to + done, DWORD(std::min<size_t>(n - done, 1u << 30)), &got, nullptr))
                throw Error(say(Msg::SystemError, {m_name, windowsError(GetLastError())}));
#else
            const ssize_t got = ::read(m_file, to + done, n - done);
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0)
                throw Error(say(Msg::SystemError, {m_name, systemText(errno)}));
#endif
            if (got == 0)
                break; // shorter than it was: the caller finds it truncated
            done += size_t(got);
        }
        return done;
    }
    void refilling()
    {
        if (m_refillHook)
            m_refillHook();
    }

    FileHandle m_file;
    std::string m_name;
    uint64_t m_size;
    uint8_t *m_data;     // the buffer, maybe shared with inputs before and after this one
    size_t m_capacity;
    uint64_t m_base = 0; // file position of m_data[0]
    size_t m_at = 0, m_filled = 0;
    std::function<void()> m_refillHook;
};

bool seekTo(std::FILE *file, uint64_t position)
{
#ifdef _WIN32
    return _fseeki64(file, int64_t(position), SEEK_SET) == 0;
#else
    return fseeko(file, off_t(position), SEEK_SET) == 0;
#endif
}

class MemoryInput : public Input
{
public:
    MemoryInput(const uint8_t *data, size_t size) : m_bytes(data, data + size), m_data(m_bytes.data()), m_size(size) {}
    size_t read(uint8_t *to, size_t n) override
    {
        const size_t take = m_pos >= m_size ? 0 : std::min<uint64_t>(n, m_size - m_pos);
        if (take)
            std::memcpy(to, m_data + m_pos, take);
        m_pos += take;
        return take;
    }
    uint8_t *view(size_t n) override
    {
        if (m_pos > m_size || m_size - m_pos < n)
            return nullptr;
        m_pos += n;
        return m_data + m_pos - n;
    }
    void seek(uint64_t position) override { m_pos = position; }
    uint64_t tell() const override { return m_pos; }
    uint64_t size() const override { return m_size; }

private:
    std::vector<uint8_t> m_bytes;
    uint8_t *m_data;
    uint64_t m_size;
    uint64_t m_pos = 0;
};

class FileOutput : public Output
{
public:
    FileOutput(std::FILE *file, std::string name) : m_file(file), m_name(std::move(name)), m_buffer(kBufferSize) {}
    ~FileOutput() override { std::fclose(m_file); }
    void finish() override
    {
        flush();
#ifdef _WIN32
        const bool synced = _commit(_fileno(m_file)) == 0;
#else
        const bool synced = fsync(fileno(m_file)) == 0;
#endif
        if (!synced)
            fail();
    }

    void write(const uint8_t *from, size_t n) override
    {
        if (m_used + n > m_buffer.size())
            flush();
        if (n >= kDirectWrite) {
            flush();
            put(from, n);
        } else {
            std::memcpy(m_buffer.data() + m_used, from, n);
            m_used += n;
        }
        m_pos += n;
    }
    void seek(uint64_t position) override
    {
        flush();
        if (!seekTo(m_file, position))
            fail();
        m_pos = position;
    }
    uint64_t tell() const override { return m_pos; }
    void flush()
    {
        if (m_used)
            put(m_buffer.data(), m_used);
        m_used = 0;
        if (std::fflush(m_file) != 0)
            fail();
    }

private:
    [[noreturn]] void fail() const { throw Error(say(Msg::CannotBeWrittenBecause, {m_name, systemText(errno)})); }
    void put(const uint8_t *from, size_t n)
    {
        if (std::fwrite(from, 1, n, m_file) != n)
            fail();
    }

    std::FILE *m_file;
    std::string m_name; // the output as the user named it
    std::vector<uint8_t> m_buffer;
    size_t m_used = 0;
    uint64_t m_pos = 0;
};

class NullOutput : public Output
{
public:
    void write(const uint8_t *, size_t n) override { m_pos += n; }
    void seek(uint64_t position) override { m_pos = position; }
    uint64_t tell() const override { return m_pos; }

private:
    uint64_t m_pos = 0;
};

class MemoryOutput : public Output
{
public:
    explicit MemoryOutput(std::vector<uint8_t> &bytes) : m_bytes(bytes) { m_bytes.clear(); }
    void write(const uint8_t *from, size_t n) override
    {
        if (m_pos + n > m_bytes.size())
            m_bytes.resize(size_t(m_pos + n));
        std::memcpy(m_bytes.data() + m_pos, from, n);
        m_pos += n;
    }
    void seek(uint64_t position) override { m_pos = position; }
    uint64_t tell() const override { return m_pos; }

private:
    std::vector<uint8_t> &m_bytes;
    uint64_t m_pos = 0;
};

} // namespace

std::unique_ptr<Input> openFileInput(const std::string &path, std::vector<uint8_t> &buffer, size_t capacity)
{
#ifdef _WIN32
    // By its wide name, whatever the system's code page; anything but a
    // file on a disk (a pipe, a device) is refused before a byte is read.
    HANDLE file = CreateFileW(windowsPath(path).c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        throw Error(say(Msg::SystemError, {path, windowsError(GetLastError())}));
    BY_HANDLE_FILE_INFORMATION info{};
    if (GetFileType(file) != FILE_TYPE_DISK || !GetFileInformationByHandle(file, &info)
        || (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        const bool folder = info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY;
        CloseHandle(file);
        throw Error(say(folder ? Msg::IsFolder : Msg::NotRegular, {path}));
    }
    const uint64_t size = uint64_t(info.nFileSizeHigh) << 32 | info.nFileSizeLow;
#else
    // Opened without waiting, so that a FIFO cannot block us; anything but
    // a regular file is refused before a byte is read. (For a regular file
    // the flag changes nothing.)
    const int file = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (file < 0)
        throw Error(say(Msg::SystemError, {path, systemText(errno)}));
    struct stat st {};
    if (fstat(file, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(file);
        throw Error(say(S_ISDIR(st.st_mode) ? Msg::IsFolder : Msg::NotRegular, {path}));
    }
    const uint64_t size = uint64_t(st.st_size);
#endif
    if (buffer.size() < capacity)
        buffer.resize(capacity);
    return std::make_unique<FileInput>(file, path, size, buffer.data(), capacity);
}

std::unique_ptr<Input> memoryInput(const uint8_t *data, size_t size)
{
    return std::make_unique<MemoryInput>(data, size);
}

std::unique_ptr<Output> fileOutput(std::FILE *file, const std::string &name)
{
    std::setvbuf(file, nullptr, _IONBF, 0);
    return std::make_unique<FileOutput>(file, name);
}

std::unique_ptr<Output> nullOutput()
{
    return std::make_unique<NullOutput>();
}

std::unique_ptr<Output> memoryOutput(std::vector<uint8_t> &bytes)
{
    return std::make_unique<MemoryOutput>(bytes);
}

#ifdef _WIN32

std::wstring wide(const std::string &utf8)
{
    if (utf8.empty())
        return {};
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), nullptr, 0);
    std::wstring text(size_t(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), text.data(), n);
    return text;
}

std::string utf8(const std::wstring &text)
{
    if (text.empty())
        return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(size_t(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), bytes.data(), n, nullptr, nullptr);
    return bytes;
}

std::wstring windowsPath(const std::string &path)
{
    const std::wstring given = wide(path);
    if (given.size() < 240 || given.rfind(L"\\\\?\\", 0) == 0)
        return given;
    // Long paths take the form that has no length limit: full, with backslashes.
    const DWORD n = GetFullPathNameW(given.c_str(), 0, nullptr, nullptr);
    std::wstring full(n, L'\0');
    const DWORD got = GetFullPathNameW(given.c_str(), n, full.data(), nullptr);
    if (got == 0 || got >= n)
        return given;
    full.resize(got);
    if (full.rfind(L"\\\\", 0) == 0)
        return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

std::string windowsError(unsigned long code)
{
    // The common ones in the same words as on other systems.
    switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return systemText(ENOENT);
    case ERROR_ACCESS_DENIED:
        return systemText(EACCES);
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        return systemText(EEXIST);
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return systemText(ENOSPC);
    case ERROR_WRITE_PROTECT:
        return systemText(EROFS);
    default:
        break;
    }
    // Otherwise the system's own text, in the user's interface language.
    wchar_t *text = nullptr;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                   DWORD(code), 0, reinterpret_cast<wchar_t *>(&text), 0, nullptr);
    std::string message = text ? utf8(text) : "error " + std::to_string(code);
    if (text)
        LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == '.'))
        message.pop_back();
    return message;
}

#endif

} // namespace rm
