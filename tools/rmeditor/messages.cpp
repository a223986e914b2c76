#include "messages.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#ifdef _WIN32
#include <windows.h>
#endif

namespace rm {

namespace {

bool g_japanese = false;

struct Text {
    Msg id;
    const char *english;
    const char *japanese;
};

// Placeholders: %1 is the file a message is about wherever there is one.
constexpr Text kTexts[] = {
    {Msg::NeedsPath, "option %1 needs a path", "オプション %1 にはパスが必要です"},
    {Msg::UnknownOption, "unknown option %1 (usage: rmeditor -i IN [-i IN ...] -o OUT)",
     "不明なオプション %1 です（使い方: rmeditor -i 入力 [-i 入力 ...] -o 出力）"},
    {Msg::NoInputGiven, "no input given (-i IN)", "入力が指定されていません（-i 入力）"},
    {Msg::NoOutputGiven, "no output given (-o OUT)", "出力が指定されていません（-o 出力）"},
    {Msg::MoreThanOneOutput, "more than one output given", "出力が2つ以上指定されています"},
    {Msg::AlreadyExists, "%1: already exists", "%1: すでにあります"},
    {Msg::AppearedWhileJoining, "%1: already exists (it appeared while joining)",
     "%1: すでにあります（結合中に作られました）"},
    {Msg::CannotBeWritten, "%1: cannot be written", "%1: 書き込めません"},
    {Msg::CannotBeWrittenBecause, "%1: cannot be written: %2", "%1: 書き込めません: %2"},
    {Msg::FolderNotFlushed, "%1: written, but its folder could not be flushed to the disk: %2",
     "%1: 書き込みましたが、フォルダーの内容をディスクに書き出せませんでした: %2"},
    {Msg::SystemError, "%1: %2", "%1: %2"},

    {Msg::IsFolder, "%1: is a folder", "%1: フォルダーです"},
    {Msg::NotRegular, "%1: not a regular file", "%1: 通常のファイルではありません"},
    {Msg::CannotSeek, "%1: cannot seek in the file", "%1: ファイルの中を移動できません"},
    {Msg::Empty, "%1: empty file (0 bytes)", "%1: 空のファイルです（0 バイト）"},
    {Msg::NotRealMedia, "%1: not a RealMedia file", "%1: RealMedia ファイルではありません"},
    {Msg::RawRealAudio, "%1: a raw RealAudio file, not a RealMedia file",
     "%1: RealMedia ではなく RealAudio 単体のファイルです"},
    {Msg::TextFile, "%1: a text file (such as a .ram metafile), not a RealMedia file",
     "%1: RealMedia ではなくテキストファイル（.ram メタファイルなど）です"},

    {Msg::EndsEarly, "%1 ends early (truncated file)", "%1 が途中で終わっています（ファイルが途中で切れています）"},
    {Msg::ShorterThanFields, "%1 is shorter than its fields", "%1 が項目の長さに足りません"},
    {Msg::UnknownVersion, "%1 has an unknown version", "%1 のバージョンが不明です"},
    {Msg::ChunkHeaderPastEnd, "%1: truncated file (a chunk header runs past the end)",
     "%1: ファイルが途中で切れています（チャンクのヘッダーが終わりを越えています）"},
    {Msg::NoMediaData, "%1: no media data (the file ends after its headers, without a DATA chunk)",
     "%1: メディアのデータがありません（ヘッダーの後にDATAチャンクがなく、ファイルが終わっています）"},
    {Msg::ChunkBelowHeader, "%1: chunk %2 has a size below its own header",
     "%1: チャンク %2 の大きさがそのヘッダーより小さくなっています"},
    {Msg::ChunkPastEnd, "%1: truncated file (chunk %2 points past the end)",
     "%1: ファイルが途中で切れています（チャンク %2 が終わりを越えています）"},
    {Msg::ChunkTooLarge, "%1: header chunk %2 is implausibly large", "%1: ヘッダーのチャンク %2 が大きすぎます"},
    {Msg::TwoProp, "%1: more than one PROP chunk", "%1: PROP チャンクが2つ以上あります"},
    {Msg::PropShort, "%1: the PROP chunk is too short", "%1: PROP チャンクが短すぎます"},
    {Msg::NoStreams, "%1: the file claims to hold no streams", "%1: ストリームが1つもないことになっています"},
    {Msg::ClaimsStreams, "%1: the file claims %2 streams", "%1: ストリームが %2 個あることになっています"},
    {Msg::TooManyMdpr, "%1: too many MDPR chunks", "%1: MDPR チャンクが多すぎます"},
    {Msg::ChunkWhereHeader, "%1: chunk %2 where the header should be",
     "%1: ヘッダーのあるべき所にチャンク %2 があります"},
    {Msg::NoProp, "%1: no PROP chunk", "%1: PROP チャンクがありません"},
    {Msg::PropCountDiffers, "%1: PROP claims %2 streams but %3 are described",
     "%1: PROP ではストリームが %2 個ですが、記述されているのは %3 個です"},
    {Msg::ShareNumber, "%1: two streams share the number %2", "%1: 2つのストリームが同じ番号 %2 を使っています"},

    {Msg::DataShort, "%1: a DATA chunk is shorter than its header", "%1: DATA チャンクがそのヘッダーより短くなっています"},
    {Msg::TruncatedData, "%1: truncated data (%2 of %3 packets)",
     "%1: データが途中で切れています（%3 パケットのうち %2 パケット）"},
    {Msg::PacketHeaderEarly, "%1: truncated file (a packet header ends early)",
     "%1: ファイルが途中で切れています（パケットのヘッダーが途中で終わっています）"},
    {Msg::PacketVersion, "%1: a packet of unknown version %2", "%1: 不明なバージョン %2 のパケットがあります"},
    {Msg::PacketLengthSmall, "%1: a packet whose length field is too small", "%1: 長さの値が小さすぎるパケットがあります"},
    {Msg::PacketPastEnd, "%1: truncated file (a packet runs past the end)",
     "%1: ファイルが途中で切れています（パケットが終わりを越えています）"},
    {Msg::UndeclaredStream, "%1: a packet of undeclared stream %2", "%1: 宣言されていないストリーム %2 のパケットがあります"},
    {Msg::PacketPastChunk, "%1: a packet runs past the end of its DATA chunk",
     "%1: パケットが DATA チャンクの終わりを越えています"},
    {Msg::PacketEndsEarly, "%1: truncated file (a packet ends early)",
     "%1: ファイルが途中で切れています（パケットが途中で終わっています）"},
    {Msg::VideoUnreadable, "%1: stream %2: a video packet whose frames cannot be read (at byte %3)",
     "%1: ストリーム %2: フレームを読み取れない映像パケットがあります（%3 バイト目）"},
    {Msg::PacketGrows, "%1: a video packet would grow past the 64 KiB a packet can hold",
     "%1: 映像パケットが1パケットの上限 64 KiB を超えてしまいます"},

    {Msg::NoInput, "no input", "入力がありません"},
    {Msg::StreamsDiffer, "%1: its streams differ from those of %2: %3", "%1: ストリームが %2 と異なります: %3"},
    {Msg::StreamIs, "stream %1 (%2) is %3", "ストリーム %1（%2）は%3"},
    {Msg::StreamCount, "%1 stream%3 instead of %2", "ストリームが %2 個ではなく %1 個です"},
    {Msg::Numbered, "numbered %1 instead of %2", "番号が %2 ではなく %1 です"},
    {Msg::OfType, "of type %1 instead of %2", "種類が %2 ではなく %1 です"},
    {Msg::GroupsOthers, "grouping other streams", "ほかのストリームをまとめています"},
    {Msg::GroupsRates, "grouping rates of %1 instead of %2", "まとめるレートが %2 ではなく %1 です"},
    {Msg::InsteadOf, "%1 instead of %2", "%2 ではなく %1 です"},
    {Msg::OtherCodecSettings, "other codec settings", "コーデックの設定が違います"},
    {Msg::WithoutKind, "no %1 stream", "%1のストリームがありません"},
    {Msg::WithExtraKind, "an extra %1 stream", "%1のストリームが余分にあります"},
    {Msg::OtherKinds, "other kinds of streams", "ストリームの種類が違います"},
    {Msg::InParentheses, " (%1)", "（%1）"},
    {Msg::ListSeparator, ", ", "、"},
    {Msg::KindVideo, "video", "映像"},
    {Msg::KindAudio, "audio", "音声"},
    {Msg::KindEvent, "event", "イベント"},
    {Msg::KindOther, "other", "その他"},
    {Msg::TooLarge32, "the joined file would be too large (%1 beyond 32 bits)",
     "結合したファイルが大きすぎます（形式の上限の32ビットを超えます）"},
    {Msg::TooLarge4G, "the joined file would be too large (over 4 GiB, the limit of the format)",
     "結合したファイルが大きすぎます（形式の上限の 4 GiB を超えます）"},
    {Msg::UnknownStreamKind, "%1: stream %2 is of a kind that cannot be joined (%3)",
     "%1: ストリーム %2 は結合できない種類です（%3）"},
    {Msg::TooLong30, "the joined file would be too long (a frame time beyond 30 bits)",
     "結合したファイルが長すぎます（フレームの時刻が30ビットを超えます）"},

    {Msg::NotOldRealAudio, "%1: not an old RealAudio file like the first input",
     "%1: 最初の入力のような旧形式の RealAudio ファイルではありません"},
    {Msg::RealAudioVersion, "%1: RealAudio version %2 files cannot be joined (only versions 3 and 4)",
     "%1: RealAudio バージョン %2 のファイルは結合できません（バージョン 3 と 4 のみ）"},
    {Msg::HeaderPastEnd, "%1: truncated file (the header runs past the end)",
     "%1: ファイルが途中で切れています（ヘッダーが終わりを越えています）"},
    {Msg::DataBytesShort, "%1: truncated file (%2 of %3 data bytes)",
     "%1: ファイルが途中で切れています（データ %3 バイトのうち %2 バイト）"},
    {Msg::AudioSettingsDiffer, "%1: its audio settings differ from those of %2 (%3)",
     "%1: 音声の設定が %2 と異なります（%3）"},
    {Msg::OtherRateOrFrame, "other rate or frame size", "レートかフレームの大きさが違います"},
    {Msg::DataEndsEarly, "%1: truncated file (the data ends early)",
     "%1: ファイルが途中で切れています（データが途中で終わっています）"},
    {Msg::RateInsteadOf, "%1 Hz instead of %2 Hz", "%2 Hz ではなく %1 Hz です"},
    {Msg::ChannelsInsteadOf, "%1 channel%3 instead of %2", "%2 チャンネルではなく %1 チャンネルです"},
    {Msg::AudioUnreadable, "%1: its audio settings cannot describe its data (%2)",
     "%1: 音声の設定ではデータを読めません（%2）"},
    {Msg::AudioFraming, "%1: the audio settings of stream %2 cannot describe its packets (%3)",
     "%1: ストリーム %2 の音声の設定ではパケットを読めません（%3）"},
    {Msg::NoFrameSize, "no frame size", "フレームの大きさがありません"},
    {Msg::SubPacketSize, "sub-packets of %1 bytes in frames of %2", "フレーム %2 バイトにサブパケット %1 バイトです"},

    {Msg::Usage, "usage: rmeditor -i IN [-i IN ...] -o OUT\n  joins RealMedia files into OUT, which must not exist",
     "使い方: rmeditor -i 入力 [-i 入力 ...] -o 出力\n  RealMedia ファイルを結合して出力に書きます（出力はまだないファイルにしてください）"},
};

struct SystemText {
    int code;
    const char *japanese;
};

constexpr SystemText kSystemTexts[] = {
    {ENOENT, "ファイルまたはフォルダーがありません"},
    {EACCES, "アクセスが拒否されました"},
    {EPERM, "この操作は許可されていません"},
    {EROFS, "読み取り専用のファイルシステムです"},
    {ENOSPC, "ディスクに空きがありません"},
#ifdef EDQUOT
    {EDQUOT, "ディスクの使用量の上限に達しました"},
#endif
    {EFBIG, "ファイルが大きすぎます（このファイルシステムの上限を超えます）"},
    {EISDIR, "フォルダーです"},
    {ENOTDIR, "パスの途中がフォルダーではありません"},
    {EEXIST, "すでにあります"},
    {EIO, "入出力エラーです"},
    {ENAMETOOLONG, "ファイル名が長すぎます"},
    {EMFILE, "開いているファイルが多すぎます"},
    {ENFILE, "システム全体で開いているファイルが多すぎます"},
    {ENOMEM, "メモリーが足りません"},
    {EBUSY, "使用中です"},
    {EINVAL, "引数が正しくありません"},
    {ELOOP, "シンボリックリンクが多すぎます"},
    {EXDEV, "別のデバイスの間では移動できません"},
    {ENXIO, "デバイスがありません"},
    {ENODEV, "デバイスがありません"},
};

bool japaneseLocale()
{
#ifdef _WIN32
    return PRIMARYLANGID(GetUserDefaultUILanguage()) == LANG_JAPANESE;
#else
    // The first of these that is set decides, as for any program's messages.
    for (const char *name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char *value = std::getenv(name);
        if (value && *value)
            return std::strncmp(value, "ja", 2) == 0;
    }
    return false;
#endif
}

} // namespace

std::string say(Msg id, std::initializer_list<std::string> args)
{
    const char *pattern = "";
    for (const Text &t : kTexts)
        if (t.id == id)
            pattern = g_japanese ? t.japanese : t.english;
    std::string text;
    for (const char *p = pattern; *p; ++p) {
        if (p[0] == '%' && p[1] >= '1' && p[1] <= '9') {
            const size_t k = size_t(p[1] - '1');
            if (k < args.size())
                text += *(args.begin() + k);
            ++p;
        } else {
            text += *p;
        }
    }
    return text;
}

std::string systemText(int code)
{
    if (!g_japanese)
        return std::strerror(code);
    for (const SystemText &t : kSystemTexts)
        if (t.code == code)
            return t.japanese;
    return "システムのエラーです（番号 " + std::to_string(code) + "）";
}

void chooseLanguage()
{
    g_japanese = japaneseLocale();
}

void setJapanese(bool japanese)
{
    g_japanese = japanese;
}

} // namespace rm
