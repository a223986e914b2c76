#include "platform/profile.h"

#include "platform/ansi.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <limits>

namespace {

const QByteArray kCrLf = "\r\n";
const QByteArray kUtf8Bom = "\xEF\xBB\xBF";

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

QByteArray trimBlanks(const QByteArray &text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isBlank(text[begin]))
        ++begin;
    while (end > begin && (isBlank(text[end - 1]) || text[end - 1] == '\r'))
        --end;
    return text.mid(begin, end - begin);
}

bool sameName(const QByteArray &a, const QByteArray &b)
{
    return a.size() == b.size() && qstrnicmp(a.constData(), b.constData(), a.size()) == 0;
}

// The section name of a header line such as "[shoki]", or a null array.
QByteArray sectionName(const QByteArray &line)
{
    const QByteArray trimmed = trimBlanks(line);
    if (!trimmed.startsWith('['))
        return {};
    qsizetype close = trimmed.indexOf(']');
    if (close < 0)
        close = trimmed.size();
    QByteArray name = trimBlanks(trimmed.mid(1, close - 1));
    if (name.isNull())
        name = QByteArray("");
    return name;
}

// The key of a "key=value" line, or a null array for other lines.
QByteArray keyName(const QByteArray &line)
{
    const qsizetype eq = line.indexOf('=');
    if (eq < 0)
        return {};
    const QByteArray trimmed = trimBlanks(line);
    if (trimmed.startsWith(';') || trimmed.startsWith('['))
        return {};
    QByteArray key = trimBlanks(line.left(eq));
    if (key.isNull())
        key = QByteArray("");
    return key;
}

QByteArray valueOf(const QByteArray &line)
{
    QByteArray value = trimBlanks(line.mid(line.indexOf('=') + 1));
    if (value.size() >= 2) {
        const char first = value.front();
        if ((first == '"' || first == '\'') && value.back() == first)
            value = value.mid(1, value.size() - 2);
    }
    return value;
}

} // namespace

ProfileDocument::ProfileDocument(const QByteArray &content)
{
    // A UTF-8 byte order mark is kept aside and written back as it was.
    qsizetype pos = 0;
    if (content.startsWith(kUtf8Bom)) {
        m_bom = true;
        pos = kUtf8Bom.size();
    }
    // Lines end in CRLF, LF or a lone CR; each keeps its own.
    m_eol.clear();
    while (pos < content.size()) {
        qsizetype end = pos;
        while (end < content.size() && content[end] != '\n' && content[end] != '\r')
            ++end;
        Line line;
        line.text = content.mid(pos, end - pos);
        if (end < content.size()) {
            const bool crLf = content[end] == '\r' && end + 1 < content.size() && content[end + 1] == '\n';
            line.eol = crLf ? kCrLf : content.mid(end, 1);
            if (m_eol.isEmpty())
                m_eol = line.eol; // lines we add follow the file's own style
        }
        pos = end + line.eol.size();
        m_lines.push_back(std::move(line));
    }
    if (m_eol.isEmpty())
        m_eol = kCrLf;
}

ProfileDocument ProfileDocument::load(const QString &path, LoadResult *result)
{
    LoadResult dummy;
    LoadResult &r = result ? *result : dummy;
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink()) {
        r = LoadResult::Missing;
        return {};
    }
    // Only a regular file is read: a FIFO or a device would block or never end.
    r = LoadResult::Unreadable;
    if (!info.isFile())
        return {};
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray content = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return {};
    r = LoadResult::Read;
    return ProfileDocument(content);
}

int ProfileDocument::findSection(const QByteArray &section) const
{
    for (size_t i = 0; i < m_lines.size(); ++i) {
        const QByteArray name = sectionName(m_lines[i].text);
        if (!name.isNull() && sameName(name, section))
            return int(i);
    }
    return -1;
}

int ProfileDocument::sectionEnd(int header) const
{
    size_t i = size_t(header) + 1;
    while (i < m_lines.size() && sectionName(m_lines[i].text).isNull())
        ++i;
    return int(i);
}

int ProfileDocument::findKey(int header, const QByteArray &key) const
{
    const int end = sectionEnd(header);
    for (int i = header + 1; i < end; ++i) {
        const QByteArray name = keyName(m_lines[size_t(i)].text);
        if (!name.isNull() && sameName(name, key))
            return i;
    }
    return -1;
}

const ProfileDocument::Line *ProfileDocument::findValueLine(const QByteArray &section,
                                                            const QByteArray &key) const
{
    const int header = findSection(section);
    if (header < 0)
        return nullptr;
    const int line = findKey(header, key);
    return line < 0 ? nullptr : &m_lines[size_t(line)];
}

int ProfileDocument::readInt(const QByteArray &section, const QByteArray &key,
                             int defaultValue) const
{
    const Line *line = findValueLine(section, key);
    if (!line)
        return defaultValue;
    const QByteArray value = valueOf(line->text);
    qsizetype i = 0;
    bool negative = false;
    if (i < value.size() && (value[i] == '-' || value[i] == '+')) {
        negative = value[i] == '-';
        ++i;
    }
    qint64 number = 0;
    for (; i < value.size() && value[i] >= '0' && value[i] <= '9'; ++i) {
        number = number * 10 + (value[i] - '0');
        if (number > qint64(std::numeric_limits<int>::max()) + 1)
            number = qint64(std::numeric_limits<int>::max()) + 1;
    }
    if (negative)
        number = -number;
    if (number > std::numeric_limits<int>::max())
        number = std::numeric_limits<int>::max();
    return int(number);
}

QByteArray ProfileDocument::readString(const QByteArray &section, const QByteArray &key,
                                       const QByteArray &defaultValue, int bufferSize) const
{
    const Line *line = findValueLine(section, key);
    const QByteArray value = line ? valueOf(line->text) : defaultValue;
    return ansi::truncate(value, qMax(0, bufferSize - 1));
}

void ProfileDocument::writeString(const QByteArray &section, const QByteArray &key,
                                  const QByteArray &value)
{
    // A value is one line; a line break inside it would forge other keys.
    QByteArray clean = value;
    clean.replace('\r', ' ').replace('\n', ' ');
    // Reading drops blanks around a value and one pair of enclosing quotes:
    // a value that would lose either is written inside quotes, so that it
    // reads back as it was.
    if (!clean.isEmpty()
        && (isBlank(clean.front()) || isBlank(clean.back())
            || (clean.size() >= 2 && (clean.front() == '"' || clean.front() == '\'') && clean.back() == clean.front())))
        clean = '"' + clean + '"';
    Line line{key + '=' + clean, m_eol};

    int header = findSection(section);
    if (header < 0) {
        if (!m_lines.empty() && m_lines.back().eol.isEmpty())
            m_lines.back().eol = m_eol;
        m_lines.push_back({'[' + section + ']', m_eol});
        m_lines.push_back(std::move(line));
        return;
    }
    const int existing = findKey(header, key);
    if (existing >= 0) {
        m_lines[size_t(existing)] = std::move(line);
        return;
    }
    // After the section's last line that is not blank.
    int insertAt = sectionEnd(header);
    while (insertAt - 1 > header && trimBlanks(m_lines[size_t(insertAt - 1)].text).isEmpty())
        --insertAt;
    if (m_lines[size_t(insertAt - 1)].eol.isEmpty())
        m_lines[size_t(insertAt - 1)].eol = m_eol;
    m_lines.insert(m_lines.begin() + insertAt, std::move(line));
}

QByteArray ProfileDocument::content() const
{
    qsizetype size = 0;
    for (const Line &line : m_lines)
        size += line.text.size() + line.eol.size();
    QByteArray out;
    out.reserve(size + kUtf8Bom.size());
    if (m_bom)
        out += kUtf8Bom;
    for (const Line &line : m_lines) {
        out += line.text;
        out += line.eol;
    }
    return out;
}

bool ProfileDocument::save(const QString &path) const
{
    QSaveFile file(path);
    // A writable file in a folder that takes no new file is rewritten in place.
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(content());
    return file.commit();
}
