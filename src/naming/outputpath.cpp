#include "naming/outputpath.h"

#include "naming/commonname.h"

#include <QDir>

#include <memory>

namespace {

const QString kExtension = QStringLiteral(".rm");

ComposedPath judged(const QString &candidate, const ExistenceTest &exists)
{
    switch (exists(candidate)) {
    case Existence::Absent:
        return {ComposedPath::Status::Free, candidate};
    case Existence::Present:
        return {ComposedPath::Status::Occupied, candidate};
    case Existence::Unknown:
        break;
    }
    return {ComposedPath::Status::Unanswerable, candidate};
}

} // namespace

QString trimSpaces(const QString &text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text[begin] == QLatin1Char(' '))
        ++begin;
    while (end > begin && text[end - 1] == QLatin1Char(' '))
        --end;
    return text.mid(begin, end - begin);
}

QString outputFolder(const NamingOptions &options)
{
    const QChar sep = QDir::separator();
    if (options.besideHead) {
        if (options.sources.isEmpty())
            return {};
        const QString &head = options.sources.front();
        return head.left(head.lastIndexOf(sep) + 1);
    }
    QString folder = options.folder;
    if (!folder.isEmpty() && !folder.endsWith(sep))
        folder += sep;
    return folder;
}

QString sequenceField(int number, int width)
{
    // The last `width` decimal digits of the number, zeros in front.
    QString field(width, QLatin1Char('0'));
    for (qsizetype i = width - 1; i >= 0 && number > 0; --i, number /= 10)
        field[i] = QLatin1Char(char('0' + number % 10));
    return field;
}

ComposedPath sequentialPath(const QString &prefix, const QString &startNumber,
                            const ExistenceTest &exists)
{
    if (startNumber.isEmpty())
        return {ComposedPath::Status::NoStartNumber, {}};
    int number = 0;
    for (QChar c : startNumber) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return {ComposedPath::Status::BadStartNumber, {}};
        number = number * 10 + (c.unicode() - u'0');
        if (number > kLargestSequenceNumber)
            return {ComposedPath::Status::BadStartNumber, {}};
    }
    const int width = int(startNumber.size());
    QString path;
    path.reserve(prefix.size() + width + kExtension.size());
    for (;;) {
        path = prefix;
        path += sequenceField(number, width);
        path += kExtension;
        const ComposedPath candidate = judged(path, exists);
        if (candidate.status != ComposedPath::Status::Occupied)
            return candidate;
        if (number == kLargestSequenceNumber)
            return {ComposedPath::Status::SequenceExhausted, {}};
        ++number;
    }
}

ComposedPath composeOutputPath(const NamingOptions &options)
{
    if (options.mode != NamingOptions::Mode::Sequential)
        return composeOutputPath(options, testFileExists);
    // The sequential search reads the folder once, then confirms the name
    // it settles on with one look of its own.
    const QString folder = outputFolder(options);
    std::unique_ptr<FolderListing> listing;
    const ExistenceTest listed = [&](const QString &path) {
        const QString name = path.mid(folder.size());
        if (name.contains(QLatin1Char('/')) || name.contains(QDir::separator()))
            return testFileExists(path); // a base name that reaches into a subfolder
        if (!listing)
            listing = std::make_unique<FolderListing>(folder);
        const Existence e = listing->test(name);
        return e == Existence::Unknown ? testFileExists(path) : e; // a folder we may search but not read
    };
    const ComposedPath found = composeOutputPath(options, listed);
    if (found.status == ComposedPath::Status::Free && testFileExists(found.path) != Existence::Absent)
        return composeOutputPath(options, testFileExists); // it changed meanwhile
    return found;
}

ComposedPath composeOutputPath(const NamingOptions &options, const ExistenceTest &exists)
{
    const QString folder = outputFolder(options);
    if (folder.isEmpty())
        return {ComposedPath::Status::NoFolder, {}};

    QString name;
    switch (options.mode) {
    case NamingOptions::Mode::CommonPart:
        name = CommonName(options.sources, options.stripDigits, options.stripSymbols);
        if (name.isEmpty() && options.sequentialWhenEmpty)
            break;
        return judged(folder + trimSpaces(name) + kExtension, exists);
    case NamingOptions::Mode::SpecifiedName:
        return judged(folder + trimSpaces(options.specifiedName) + kExtension, exists);
    case NamingOptions::Mode::Sequential:
        break;
    }
    return sequentialPath(folder + trimSpaces(options.baseName), options.startNumber, exists);
}

QString OutputPath(const NamingOptions &options)
{
    const ComposedPath composed = composeOutputPath(options);
    return composed.status == ComposedPath::Status::Free ? composed.path : QString();
}

QString OutputPath(const NamingOptions &options, const ExistenceTest &exists)
{
    const ComposedPath composed = composeOutputPath(options, exists);
    return composed.status == ComposedPath::Status::Free ? composed.path : QString();
}
