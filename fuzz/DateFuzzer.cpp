// The date value: FromString on text from the input, day counts with every bit pattern, and
// SetDateTime with any fields; a value with fields must agree with itself.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "FuzzSupport.h"
#include "commonutility/DateTime.h"

namespace {

// Fields, text and status of a value must tell one story.
void CheckConsistent(const CCommonDateTime& value) {
    long f[7] = {};
    const int has = const_cast<CCommonDateTime&>(value).GetDateTime(f[0], f[1], f[2], f[3], f[4], f[5], f[6]);
    const CString text = value.GetLocalizedDateString();
    if (has == 0) {
        if (value.GetYear() != -1 || value.GetDayOfWeek() != -1) cu::fuzz::Fail("fields of a value without any");
        return;
    }
    if (value.GetStatus() != COleDateTime::valid || !std::isfinite(value.m_dt))
        cu::fuzz::Fail("fields of a value that is not a valid number");
    if (f[0] < 100 || f[0] > 9999 || f[1] < 1 || f[1] > 12 || f[2] < 1 || f[2] > 31 || f[3] < 0 || f[3] > 23 ||
        f[4] < 0 || f[4] > 59 || f[5] < 0 || f[5] > 59 || f[6] < 0 || f[6] > 6)
        cu::fuzz::Fail("a field out of its range");
    CString expected;
    expected.Format(L"%04ld-%02ld-%02ld", f[0], f[1], f[2]);
    if (text != expected) cu::fuzz::Fail("the date text disagrees with the fields");
    // The fields give the same fields again.
    CCommonDateTime again;
    if (again.SetDateTime(static_cast<int>(f[0]), static_cast<int>(f[1]), static_cast<int>(f[2]),
                          static_cast<int>(f[3]), static_cast<int>(f[4]), static_cast<int>(f[5])) != 1 ||
        again.GetYear() != f[0] || again.GetSecond() != f[5] || again.GetDayOfYear() != value.GetDayOfYear())
        cu::fuzz::Fail("fields do not survive SetDateTime");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    cu::fuzz::Input input(data, size);
    const std::uint8_t mode = input.Byte();

    CCommonDateTime value;
    if (mode % 3 == 0) {
        double dayCount = input.Value<double>();
        value = dayCount;
    } else if (mode % 3 == 1) {
        int fields[6];
        for (int& f : fields) f = (mode & 4) != 0 ? input.Value<int>() : static_cast<int>(input.Byte()) * 40 - 100;
        const int result = value.SetDateTime(fields[0], fields[1], fields[2], fields[3], fields[4], fields[5]);
        if ((result == 1) != (value.GetStatus() == COleDateTime::valid)) cu::fuzz::Fail("SetDateTime's result");
    } else {
        const std::wstring text = cu::fuzz::Widen(input.Rest(), (mode & 4) != 0);
        const COleDateTime::DateTimeStatus before = value.GetStatus();
        const DATE dayCount = value.m_dt;
        if (value.FromString(CString(text.c_str())) == 0 &&
            (value.GetStatus() != before || std::memcmp(&value.m_dt, &dayCount, sizeof dayCount) != 0))
            cu::fuzz::Fail("a refused text changed the value");
    }
    CheckConsistent(value);
    SYSTEMTIME fields;
    value.GetAsSystemTime(fields);
    return 0;
}
