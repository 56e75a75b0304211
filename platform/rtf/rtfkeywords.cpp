// The RTF reader's vocabulary: the keyword table, and the code pages of
// character sets with their decoders.
#include "platform/rtf/rtfreader_p.h"

#include <algorithm>
#include <string_view>
#include <unordered_map>
#include <utility>

namespace win::rtf {

KeywordInfo LookupKeyword(std::string_view word)
{
    using K = Keyword;
    static const std::unordered_map<std::string_view, KeywordInfo> table = [] {
        std::unordered_map<std::string_view, KeywordInfo> t = {
            {"rtf", {K::Rtf}},
            {"ansi", {K::Ansi}},
            {"mac", {K::Mac}},
            {"pc", {K::Pc}},
            {"pca", {K::Pca}},
            {"ansicpg", {K::AnsiCpg}},
            {"deff", {K::Deff}},
            {"uc", {K::Uc}},
            {"u", {K::U}},
            {"bin", {K::Bin}},

            {"par", {K::Par}},
            {"sect", {K::SoftBreak}},
            {"page", {K::SoftBreak}},
            {"cell", {K::Cell}},
            {"nestcell", {K::Cell}},
            {"row", {K::Row}},
            {"nestrow", {K::Row}},
            {"line", {K::Character, 0x2028}},
            {"tab", {K::Character, u'\t'}},
            {"emdash", {K::Character, 0x2014}},
            {"endash", {K::Character, 0x2013}},
            {"emspace", {K::Character, 0x2003}},
            {"enspace", {K::Character, 0x2002}},
            {"qmspace", {K::Character, 0x2005}},
            {"bullet", {K::Character, 0x2022}},
            {"lquote", {K::Character, 0x2018}},
            {"rquote", {K::Character, 0x2019}},
            {"ldblquote", {K::Character, 0x201C}},
            {"rdblquote", {K::Character, 0x201D}},
            {"zwj", {K::Character, 0x200D}},
            {"zwnj", {K::Character, 0x200C}},
            {"ltrmark", {K::Character, 0x200E}},
            {"rtlmark", {K::Character, 0x200F}},

            {"pard", {K::Pard}},
            {"ql", {K::Ql}},
            {"qc", {K::Qc}},
            {"qr", {K::Qr}},
            {"qj", {K::Qj}},
            {"li", {K::Li}},
            {"ri", {K::Ri}},
            {"fi", {K::Fi}},

            {"plain", {K::Plain}},
            {"b", {K::Bold}},
            {"i", {K::Italic}},
            {"ulnone", {K::UnderlineNone}},
            {"strike", {K::Strike}},
            {"striked", {K::Strike}},
            {"sub", {K::Sub}},
            {"super", {K::Super}},
            {"nosupersub", {K::NoSuperSub}},
            {"fs", {K::FontSize}},
            {"f", {K::Font}},
            {"cf", {K::Foreground}},
            {"cb", {K::Background}},
            {"highlight", {K::Background}},
            {"chcbpat", {K::Background}},
            {"v", {K::Hidden}},

            {"fonttbl", {K::FontTable}},
            {"colortbl", {K::ColorTable}},
            {"pict", {K::Pict}},
            {"object", {K::Object}},
            {"objemb", {K::ObjEmb}},
            {"objlink", {K::ObjLink}},
            {"objautlink", {K::ObjLink}},
            {"objclass", {K::ObjClass}},
            {"objdata", {K::ObjData}},
            {"result", {K::Result}},
            {"shppict", {K::ShpPict}},
            {"listtext", {K::NumberText}},
            {"pntext", {K::NumberText}},
            {"nesttableprops", {K::NestedRowProps}},

            {"fcharset", {K::Charset}},
            {"cpg", {K::CodePage}},
            {"red", {K::Red}},
            {"green", {K::Green}},
            {"blue", {K::Blue}},

            {"pngblip", {K::PngBlip}},
            {"jpegblip", {K::JpegBlip}},
            {"emfblip", {K::OtherBlip}},
            {"wmetafile", {K::OtherBlip}},
            {"pmmetafile", {K::OtherBlip}},
            {"macpict", {K::OtherBlip}},
            {"dibitmap", {K::OtherBlip}},
            {"wbitmap", {K::OtherBlip}},
            {"picwgoal", {K::PicWGoal}},
            {"pichgoal", {K::PicHGoal}},
            {"picscalex", {K::PicScaleX}},
            {"picscaley", {K::PicScaleY}},
        };
        // Every kind of underline shows as an underline.
        for (const char *name : {"ul", "uld", "uldash", "uldashd", "uldashdd", "uldb", "ulhwave",
                                 "ulldash", "ulth", "ulthd", "ulthdash", "ulthdashd", "ulthdashdd",
                                 "ulthldash", "ululdbwave", "ulw", "ulwave"})
            t.emplace(name, KeywordInfo{K::Underline});
        // Destinations whose content is not part of the text.
        constexpr std::string_view skipped =
            "aftncn aftnsep aftnsepc annotation atnauthor atndate atnicn atnid atnparent atnref "
            "atntime atrfend atrfstart author background bkmkend bkmkstart blipuid buptim "
            "category colorschememapping comment company creatim datafield datastore defchp "
            "defpap do doccomm docvar dptxbxtext ebcend ebcstart factoidname falt fchars "
            "ffdeftext ffentrymcr ffexitmcr ffformat ffhelptext ffl ffname ffstattext filetbl "
            "fldinst fldtype fname fontemb fontfile footer footerf footerl footerr footnote "
            "formfield ftncn ftnsep ftnsepc generator gridtbl header headerf headerl headerr hl "
            "hlfr hlinkbase hlloc hlsrc hsv htmltag info keycode keywords latentstyles lchars "
            "levelnumbers leveltext lfolevel linkval list listlevel listname listoverride "
            "listoverridetable listpicture liststylename listtable lsdlockedexcept "
            "mailmerge manager mmath mmathPict mmathPr nextfile nonesttables "
            "nonshppict objalias objitem objname objsect objtime oldcprops oldpprops "
            "oldsprops oldtprops operator panose password passwordhash pgdsctbl pgp "
            "pgptbl picprop pn pnseclvl pntxta pntxtb printim private propname protend "
            "protstart protusertbl pxe revtbl revtim rsidtbl rxe shpinst sn sp stylesheet "
            "subject sv tc template themedata title txe ud userprops wgrffmtfilter "
            "windowcaption writereservation writereservhash xe xform xmlattrname xmlattrvalue "
            "xmlclose xmlname xmlnstbl xmlopen";
        for (std::size_t from = 0; from < skipped.size();) {
            const std::size_t to = std::min(skipped.find(' ', from), skipped.size());
            t.emplace(skipped.substr(from, to - from), KeywordInfo{K::SkipDestination});
            from = to + 1;
        }
        return t;
    }();
    const auto it = table.find(word);
    return it != table.end() ? it->second : KeywordInfo{};
}

int CodePageForCharset(int charset)
{
    switch (charset) {
    case 0:
        return 1252; // ANSI
    // The Mac character sets, by the numbers of their Mac code pages.
    case 77:
        return 10000; // Mac Roman
    case 78:
        return 10001; // Mac Japanese
    case 79:
        return 10003; // Mac Korean
    case 80:
        return 10008; // Mac Simplified Chinese
    case 81:
        return 10002; // Mac Traditional Chinese
    case 85:
        return 10006; // Mac Greek
    case 86:
        return 10081; // Mac Turkish
    case 88:
        return 10029; // Mac Central European
    case 89:
        return 10007; // Mac Cyrillic
    case 128:
        return 932; // Shift_JIS
    case 129:
        return 949; // Hangul
    case 134:
        return 936; // GBK
    case 136:
        return 950; // Big5
    case 161:
        return 1253; // Greek
    case 162:
        return 1254; // Turkish
    case 163:
        return 1258; // Vietnamese
    case 177:
        return 1255; // Hebrew
    case 178:
        return 1256; // Arabic
    case 186:
        return 1257; // Baltic
    case 204:
        return 1251; // Cyrillic
    case 222:
        return 874; // Thai
    case 238:
        return 1250; // Central European
    case 255:
        return 437; // OEM
    default:
        return 0; // default and symbol charsets, and unknown ones
    }
}

bool IsLeadByte(int codePage, uchar byte)
{
    switch (codePage) {
    case 932:
    case 10001:
        return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
    case 936:
    case 949:
    case 950:
        return byte >= 0x81 && byte <= 0xFE;
    // The Mac code pages keep 0x80-0xA0 for single characters.
    case 10002:
        return byte >= 0xA1 && byte <= 0xFC;
    case 10003:
    case 10008:
        return byte >= 0xA1 && byte <= 0xFE;
    default:
        return false;
    }
}

namespace {

const char *codePageName(int codePage)
{
    switch (codePage) {
    case 437:
        return "IBM437";
    case 850:
        return "IBM850";
    case 852:
        return "IBM852";
    case 866:
        return "IBM866";
    case 874:
        return "windows-874";
    case 932:
        return "Shift_JIS";
    case 936:
        return "GBK";
    case 949:
        return "windows-949";
    case 950:
        return "Big5";
    case 1250:
        return "windows-1250";
    case 1251:
        return "windows-1251";
    case 1252:
        return "windows-1252";
    case 1253:
        return "windows-1253";
    case 1254:
        return "windows-1254";
    case 1255:
        return "windows-1255";
    case 1256:
        return "windows-1256";
    case 1257:
        return "windows-1257";
    case 1258:
        return "windows-1258";
    case 10000:
        return "macintosh";
    case 10006:
        return "x-mac-greek";
    case 10007:
        return "x-mac-cyrillic";
    case 10029:
        return "x-mac-centraleurroman";
    case 10081:
        return "x-mac-turkish";
    // The Mac double-byte code pages decode as the encodings they extend:
    // their few symbols besides (at 0x80-0xA0 and 0xFD-0xFF) have no decoder.
    case 10001:
        return "Shift_JIS";
    case 10002:
        return "Big5";
    case 10003:
        return "EUC-KR";
    case 10008:
        return "GB2312";
    case 65001:
        return "UTF-8";
    default:
        return nullptr;
    }
}

} // namespace

QStringDecoder *Decoders::decoder(int codePage)
{
    auto it = m_decoders.find(codePage);
    if (it == m_decoders.end()) {
        const char *name = codePageName(codePage);
        QStringDecoder decoder =
            name ? QStringDecoder(name, QStringConverter::Flag::Stateless) : QStringDecoder();
        it = m_decoders.emplace(codePage, std::move(decoder)).first;
    }
    return it->second.isValid() ? &it->second : nullptr;
}

bool Decoders::isKnown(int codePage)
{
    return decoder(codePage) != nullptr;
}

QString Decoders::decode(int codePage, QByteArrayView bytes)
{
    QStringDecoder *d = decoder(codePage);
    if (!d)
        d = decoder(1252);
    return d ? d->decode(bytes) : QString::fromLatin1(bytes);
}

} // namespace win::rtf
