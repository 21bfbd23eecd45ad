// CString::Format with a format string from the input and arguments that are safe under any
// conversion: every slot holds the address of text that is valid as wide and as narrow text, so
// a slot read as a number, a character or a pointer is harmless too (x86-64 and AArch64 pass
// every slot the same way once the registers are used up).
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "commonutility/CString.h"

namespace {

// Each conversion takes at most four slots (width, precision, and a long double's two).
constexpr std::size_t kMaxConversions = 16;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    cu::fuzz::Input input(data, size);
    const std::uint8_t mode = input.Byte();
    const std::wstring format = cu::fuzz::Widen(input.Piece(), (mode & 1) != 0);
    std::size_t percents = 0;
    for (wchar_t c : format) percents += c == L'%';
    if (percents > kMaxConversions || format.size() > 4096) return 0;
    // Wide text whose terminator (four or two zero bytes) also ends it as narrow text.
    const std::wstring argument = cu::fuzz::Widen(input.Rest(), (mode & 2) != 0);
    const wchar_t* a = argument.c_str();

    CString text(L"before");
    void (CString::*const call)(const wchar_t*, ...) = (mode & 4) != 0 ? &CString::AppendFormat : &CString::Format;
    (text.*call)(format.c_str(), a, a, a, a, a, a, a, a, a, a, a, a, a, a, a, a, a, a, a, a, a, a, a, a, a, a, a, a, a,
                 a, a, a, a, a, a, a, a, a, a, a, a, a, a, a, a, a, a, a, a, a, a, a, a, a, a, a, a, a, a, a, a, a, a,
                 a);
    // A result is never longer than its fields allow: 65536 per text field, 1024 + 400 per number.
    const std::size_t limit = 6 + format.size() + percents * (65536 + argument.size() + 1500);
    if (static_cast<std::size_t>(text.GetLength()) > limit) cu::fuzz::Fail("a result longer than its fields");
    return 0;
}
