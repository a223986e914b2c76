#pragma once
#include <QByteArray>
#include <QString>
#include <vector>

// An INI ("profile") file with the reading and writing rules of the Windows
// profile functions: section and key names without regard to case, blanks
// around a value removed, one pair of enclosing quotes removed, values cut
// to the caller's buffer, integers read up to the first non-digit.
//
// The whole file is held as its original lines, so that everything the
// program does not own (other sections, other keys, comments, blank lines,
// the order of it all) is written back exactly as it was read. Lines the
// program writes end like the file's own lines (CRLF in a new file). Values
// are raw bytes in the ANSI code page.
class ProfileDocument
{
public:
    ProfileDocument() = default;
    explicit ProfileDocument(const QByteArray &content);

    enum class LoadResult { Read, Missing, Unreadable };
    // A missing or unreadable file gives an empty document; `result` tells
    // which, since a file that could not be read must not be written over.
    static ProfileDocument load(const QString &path, LoadResult *result = nullptr);

    int readInt(const QByteArray &section, const QByteArray &key, int defaultValue) const;

    // At most bufferSize - 1 bytes, as a buffer of that size holds with its
    // terminating zero; a double-byte character is never split.
    QByteArray readString(const QByteArray &section, const QByteArray &key,
                          const QByteArray &defaultValue, int bufferSize = 256) const;

    // Replaces the key's value in place, or appends the key at the end of
    // its section, creating the section at the end of the file if needed.
    void writeString(const QByteArray &section, const QByteArray &key, const QByteArray &value);

    QByteArray content() const;

    // Writes the whole document in one atomic replace of the file.
    bool save(const QString &path) const;

private:
    struct Line {
        QByteArray text;
        QByteArray eol;
    };

    // Index of the section header line, or -1.
    int findSection(const QByteArray &section) const;
    // One past the last line that belongs to the section at `header`.
    int sectionEnd(int header) const;
    // Index of the key line inside the section at `header`, or -1.
    int findKey(int header, const QByteArray &key) const;
    const Line *findValueLine(const QByteArray &section, const QByteArray &key) const;

    std::vector<Line> m_lines;
    QByteArray m_eol = "\r\n"; // the line end of lines we add: the file's first, else CRLF
    bool m_bom = false;  // the file began with a UTF-8 byte order mark
};
