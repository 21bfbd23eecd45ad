// Reading a date and time from the start of a text, in wide or in ASCII-compatible narrow units.
#pragma once

#include <cstddef>

#include "commonutility/DateTime.h"

namespace cu::detail {

// A field of count units as C atoi reads it: blanks, a sign, then digits up to the first other
// unit; no digits read as 0. Four digits at most cannot overflow.
template <typename Char>
int ReadDateField(const Char* text, int count) {
    const auto isBlank = [](Char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
    int i = 0;
    while (i < count && isBlank(text[i])) ++i;
    bool negative = false;
    if (i < count && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    int value = 0;
    for (; i < count && text[i] >= '0' && text[i] <= '9'; ++i) value = value * 10 + (text[i] - '0');
    return negative ? -value : value;
}

// Sets date from "YYYY-MM-DD hh:mm:ss" at the start of text (length units; any separators, each
// field as atoi reads it) and gives 1, or gives 0 and leaves date as it was when the text is
// shorter or a field is out of range. What CCommonDateTime::FromString does; narrow text must be
// ASCII in its first 19 units for the fields to stand where they stand in wide text.
template <typename Char>
int ReadDateText(CCommonDateTime& date, const Char* text, std::size_t length) {
    if (length < 19) return 0;
    const auto field = [text](int first, int count) { return ReadDateField(text + first, count); };
    const int year = field(0, 4), month = field(5, 2), day = field(8, 2);
    const int hour = field(11, 2), minute = field(14, 2), second = field(17, 2);
    if (year < 100 || year > 9999 || month < 1 || month > 12 || day < 1 || day > 31 || hour < 0 ||
        hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59)
        return 0;
    date.SetDateTime(year, month, day, hour, minute, second);
    return 1;
}

}  // namespace cu::detail
