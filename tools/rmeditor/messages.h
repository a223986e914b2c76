// Everything the joiner says to a person, in English and in Japanese, each
// text in one place. The language follows the user's: Japanese when the
// locale (LC_ALL, LC_MESSAGES, LANG) starts with "ja", or on Windows when
// the user's interface language is Japanese; English otherwise.
#pragma once

#include <initializer_list>
#include <string>

namespace rm {

enum class Msg {
    // the command line and the output
    NeedsPath, UnknownOption, NoInputGiven, NoOutputGiven, MoreThanOneOutput, AlreadyExists,
    AppearedWhileJoining, CannotBeWritten, CannotBeWrittenBecause, FolderNotFlushed, SystemError,
    // opening and reading a file
    IsFolder, NotRegular, CannotSeek, Empty, NotRealMedia, RawRealAudio, TextFile,
    // the chunks of the header
    EndsEarly, ShorterThanFields, UnknownVersion, ChunkHeaderPastEnd, NoMediaData, ChunkBelowHeader, ChunkPastEnd,
    ChunkTooLarge, TwoProp, PropShort, NoStreams, ClaimsStreams, TooManyMdpr, ChunkWhereHeader, NoProp,
    PropCountDiffers, ShareNumber, AudioFraming, NoFrameSize, SubPacketSize,
    // packets
    DataShort, TruncatedData, PacketHeaderEarly, PacketVersion, PacketLengthSmall, PacketPastEnd,
    UndeclaredStream, PacketPastChunk, PacketEndsEarly, VideoUnreadable, PacketGrows,
    // the join
    NoInput, StreamsDiffer, StreamIs, StreamCount, Numbered, OfType, GroupsOthers, GroupsRates, InsteadOf,
    OtherCodecSettings, WithoutKind, WithExtraKind, OtherKinds, InParentheses, ListSeparator, KindVideo, KindAudio, KindEvent, KindOther, TooLarge32, TooLarge4G, TooLong30, UnknownStreamKind,
    // old RealAudio
    NotOldRealAudio, RealAudioVersion, HeaderPastEnd, DataBytesShort, AudioSettingsDiffer,
    OtherRateOrFrame, DataEndsEarly, RateInsteadOf, ChannelsInsteadOf, AudioUnreadable,
    // help
    Usage,
};

// The text of `id` in the user's language, "%1", "%2"… replaced by `args`.
std::string say(Msg id, std::initializer_list<std::string> args = {});

// What the system said of error number `code` (errno), in the user's
// language: Japanese words for the errors a join meets, the C library's
// text otherwise (in Japanese with its number where that text is English).
std::string systemText(int code);

// Chooses the language once, from the environment; until then English.
void chooseLanguage();
// For tests: sets it outright.
void setJapanese(bool japanese);

} // namespace rm
