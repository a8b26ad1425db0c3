#include "net/HttpDates.h"

#include <cmath>

namespace {

const char* const ReadMonths = "janfebmaraprmayjunjulaugsepoctnovdec";
const char* const WriteMonths = "JanFebMarAprMayJunJulAugSepOctNovDec";
const char* const DayNames = "MonTueWedThuFriSatSun";

enum class DateParse { Ok, NotThisForm, Impossible };

// A token of decimal digits only (at most 9, so it fits an int).
bool ReadDecimal(const AnsiString& Token, int& Value)
{
    if (Token.empty() || Token.size() > 9)
        return false;
    Value = 0;
    for (const char c : Token) {
        if (c < '0' || c > '9')
            return false;
        Value = Value * 10 + (c - '0');
    }
    return true;
}

// The six fields of the date in token order: day, month, year, hour,
// minute, second.
struct DateFields {
    int Values[6] = {0, 0, 0, 0, 0, 0};
};

// Reads one ended token into its field; false when it must be a number and
// is not. An unknown month name leaves the month 0.
bool StoreToken(int Index, AnsiString& Token, DateFields& Fields)
{
    if (Index > 5)
        return true;
    if (Index == 1) {
        int month = 0;
        if (MonthIndex(Token, month))
            Fields.Values[1] = month;
        return true;
    }
    return ReadDecimal(Token, Fields.Values[Index]);
}

// What a character does to the token at the given index.
enum class CharRole { Append, Skip, EndToken, DropToken };

CharRole RoleOf(char c, int Index, bool TokenEmpty)
{
    if (c == ' ') {
        if (TokenEmpty || Index == 3 || Index == 4)
            return CharRole::Skip;
        return CharRole::EndToken;
    }
    if (c == ',')
        return Index == 0 ? CharRole::DropToken : CharRole::EndToken;
    if (c == ':')
        return (Index == 3 || Index == 4) ? CharRole::EndToken : CharRole::Skip;
    return CharRole::Append;
}

DateParse ParseFields(const AnsiString& Text, DateFields& Fields)
{
    int index = 0;
    AnsiString token;
    for (const char c : Text) {
        if (index >= 7)
            break;
        switch (RoleOf(c, index, token.empty())) {
        case CharRole::Append:
            token += c;
            break;
        case CharRole::Skip:
            break;
        case CharRole::DropToken:
            token.clear();
            break;
        case CharRole::EndToken:
            if (!StoreToken(index, token, Fields))
                return DateParse::NotThisForm;
            ++index;
            token.clear();
            break;
        }
    }
    // A text that stops right after the seconds still gives them.
    if (!token.empty() && index <= 5) {
        if (!StoreToken(index, token, Fields))
            return DateParse::NotThisForm;
        ++index;
    }
    return index >= 6 ? DateParse::Ok : DateParse::NotThisForm;
}

DateParse ParseDate(const AnsiString& Text, TDateTime& Result)
{
    if (Text.empty())
        return DateParse::NotThisForm;
    DateFields fields;
    const DateParse parse = ParseFields(Text, fields);
    if (parse != DateParse::Ok)
        return parse;
    const int* v = fields.Values;
    TDateTime date = 0;
    TDateTime time = 0;
    if (!TryEncodeDate(v[2], v[1], v[0], date) || !TryEncodeTime(v[3], v[4], v[5], 0, time))
        return DateParse::Impossible;
    Result = date + time;
    return DateParse::Ok;
}

} // namespace

bool MonthIndex(AnsiString& Token, int& Month)
{
    Token = LowerCase(Token);
    const int at = Token.empty() ? 0 : Pos(Token, ReadMonths);
    if (at == 0)
        return false;
    Month = (at - 1) / 3 + 1;
    return true;
}

bool TryRFC1123StrToDate(const AnsiString& Text, TDateTime& Result)
{
    return ParseDate(Text, Result) == DateParse::Ok;
}

TDateTime RFC1123StrToDate(const AnsiString& Text)
{
    TDateTime result = 0;
    switch (ParseDate(Text, result)) {
    case DateParse::Ok:
        return result;
    case DateParse::NotThisForm:
        return TimeOf(Time());
    case DateParse::Impossible:
        break;
    }
    throw EConvertError("Invalid date in '" + Text + "'");
}

AnsiString RFC1123DateStr(TDateTime Date)
{
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, msec = 0;
    DecodeDateTime(Date, year, month, day, hour, minute, second, msec);
    const long long days = static_cast<long long>(std::floor(Date));
    const int weekday = static_cast<int>(((days - 2) % 7 + 7) % 7);
    return AnsiString(DayNames + weekday * 3, 3) + ", " +
           Format("%2.2d %s %4.4d %2.2d:%2.2d:%2.2d", day, AnsiString(WriteMonths + (month - 1) * 3, 3),
                  year, hour, minute, second);
}
