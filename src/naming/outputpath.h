#pragma once
#include "platform/fileexists.h"

#include <QString>
#include <QStringList>
#include <functional>

// Where the joined file goes and what it is called: the state of the
// location and naming frames, as plain values.
struct NamingOptions {
    enum class Mode { CommonPart = 0, SpecifiedName = 1, Sequential = 2 };

    QStringList sources;          // the source list; entry 0 is the head file
    bool besideHead = true;       // location: beside the head file, else `folder`
    QString folder;               // the specified location
    Mode mode = Mode::CommonPart;
    bool stripDigits = false;     // trimming rules of the common part
    bool stripSymbols = false;
    bool sequentialWhenEmpty = false; // an empty common part falls back to a sequential name
    QString specifiedName;        // the name of the specified-name mode, without extension
    QString baseName;             // base of sequential names
    QString startNumber;          // start number of sequential names; its length is the width
};

using ExistenceTest = std::function<Existence(const QString &)>;

// Everything the composition can end in. OutputPath turns all but Free into
// an empty preview; a join run reports most of them to the user.
struct ComposedPath {
    enum class Status {
        Free,               // `path` names no existing file
        Occupied,           // `path` names an existing file (common-part and specified-name modes)
        NoFolder,           // no output folder
        NoStartNumber,      // sequential name with an empty start number
        BadStartNumber,     // a start number that is not digits, or above 32767
        SequenceExhausted,  // every sequential name up to 32767 is taken
        Unanswerable,       // the existence test could not be carried out for `path`
    };
    Status status = Status::NoFolder;
    QString path;
};

constexpr int kLargestSequenceNumber = 32767;

// Removes ordinary spaces at both ends (other blanks stay).
QString trimSpaces(const QString &text);

// The output folder with its trailing separator, or an empty text.
QString outputFolder(const NamingOptions &options);

// The number field of a sequential name: `number` padded with zeros to
// `width` characters, of which only the last `width` are kept.
QString sequenceField(int number, int width);

// The first free sequential name prefix + field + ".rm", counting on from the
// start number.
ComposedPath sequentialPath(const QString &prefix, const QString &startNumber,
                            const ExistenceTest &exists);

ComposedPath composeOutputPath(const NamingOptions &options, const ExistenceTest &exists);
// On the file system: the sequential search reads the folder once.
ComposedPath composeOutputPath(const NamingOptions &options);

// The preview: the composed path when it is free, otherwise an empty text.
QString OutputPath(const NamingOptions &options, const ExistenceTest &exists);
QString OutputPath(const NamingOptions &options);
