// CUtility: power management, the platform's version and word size, fitting rectangles and the
// host address test; CCommonCriticalSection: the lock on a platform critical section.
#include "commonutility/Utility.h"

#include <cstring>

#include "platform/win32.h"

namespace {

// The address block of CheckIP, a value of the deployment: an address matches when its first
// octet is kBlockFirstOctet and its second octet at most kBlockSecondOctetMax. 10 and 255 make it
// the private block 10.0.0.0/8.
constexpr unsigned kBlockFirstOctet = 10;
constexpr unsigned kBlockSecondOctetMax = 255;

// The first versions of the XP (5.1) and the Vista (6.0) families.
constexpr DWORD kXpMajor = 5;
constexpr DWORD kXpMinor = 1;
constexpr DWORD kVistaMajor = 6;

// The largest extent: sizes and scaled extents are 32-bit quantities.
constexpr long long kMaxExtent = 2147483647;

// The version record, cleared; the basic part (276 bytes) is all that is read, so that is the
// size the call is asked to fill. The call's result: FALSE when it fails, and the record then
// reads as version 0.0.
BOOL QueryVersion(OSVERSIONINFOEXW& info) {
    std::memset(&info, 0, sizeof info);
    info.dwOSVersionInfoSize = sizeof(OSVERSIONINFOW);
    return GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&info));
}

bool InAddressBlock(unsigned firstOctet, unsigned secondOctet) {
    return firstOctet == kBlockFirstOctet && secondOctet <= kBlockSecondOctetMax;
}

// A long parameter as a wide integer, so that the range test below cannot look always-true where
// long has 32 bits.
bool IsExtent(long long size) { return size > 0 && size <= kMaxExtent; }

// a × b ÷ c for extents, rounded toward zero, held at kMaxExtent. The product is formed in 64
// bits, so that it is exact for every pair of extents.
long Scale(long long a, long long b, long long c) {
    const long long scaled = a * b / c;
    return static_cast<long>(scaled < kMaxExtent ? scaled : kMaxExtent);
}

// Inside: the largest size of the source's ratio within the box; else the smallest around it.
// When the box is relatively narrower than the source, the width binds inside and the height
// outside; equal ratios take the other branch.
void Fit(bool inside, long sourceWidth, long sourceHeight, long boxWidth, long boxHeight,
         long& width, long& height) {
    if (!IsExtent(sourceWidth) || !IsExtent(sourceHeight) || !IsExtent(boxWidth) ||
        !IsExtent(boxHeight))
        return;
    const double sourceRatio = static_cast<double>(sourceWidth) / static_cast<double>(sourceHeight);
    const double boxRatio = static_cast<double>(boxWidth) / static_cast<double>(boxHeight);
    if ((boxRatio < sourceRatio) == inside) {
        width = boxWidth;
        height = Scale(sourceHeight, boxWidth, sourceWidth);
    } else {
        height = boxHeight;
        width = Scale(sourceWidth, boxHeight, sourceHeight);
    }
}

}  // namespace

// ---- CUtility --------------------------------------------------------------------------------

CUtility::CUtility() : m_dwPrevExecutionState(ES_CONTINUOUS) {}

CUtility::CUtility(const CUtility& other) = default;

CUtility& CUtility::operator=(const CUtility& other) = default;

CUtility::~CUtility() = default;

void CUtility::DisablePowerManagement() {
    SystemParametersInfoW(SPI_SETSCREENSAVEACTIVE, FALSE, nullptr, 0);
    EXECUTION_STATE state = ES_CONTINUOUS | ES_DISPLAY_REQUIRED;
    if (IsPlatformVistaOrLater() == 1) state |= ES_SYSTEM_REQUIRED;
    m_dwPrevExecutionState = SetThreadExecutionState(state);
}

void CUtility::RestorePowerManagement() {
    SystemParametersInfoW(SPI_SETSCREENSAVEACTIVE, TRUE, nullptr, 0);
    if (m_dwPrevExecutionState != 0) SetThreadExecutionState(m_dwPrevExecutionState);
}

int CUtility::IsPlatformXpOrLater() {
    OSVERSIONINFOEXW info;
    QueryVersion(info);
    return info.dwMajorVersion > kXpMajor ||
                   (info.dwMajorVersion == kXpMajor && info.dwMinorVersion >= kXpMinor)
               ? 1
               : 0;
}

int CUtility::IsPlatformVistaOrLater() {
    OSVERSIONINFOEXW info;
    QueryVersion(info);
    return info.dwMajorVersion >= kVistaMajor ? 1 : 0;
}

int CUtility::GetPlatformInfo(tagPlatformTypeEnum* platform, unsigned long* majorVersion,
                              unsigned long* minorVersion) {
    OSVERSIONINFOEXW info;
    const BOOL queried = QueryVersion(info);
    if (queried == FALSE) return 0;
    if (majorVersion != nullptr) *majorVersion = info.dwMajorVersion;
    if (minorVersion != nullptr) *minorVersion = info.dwMinorVersion;
    if (platform != nullptr) {
        switch (info.dwPlatformId) {
        case VER_PLATFORM_WIN32_WINDOWS: *platform = ePlatformWin9x; break;
        case VER_PLATFORM_WIN32_NT: *platform = ePlatformNT; break;
        default: *platform = ePlatformOther; break;
        }
    }
    return queried;
}

int CUtility::IsSystem64bit(int& answer) {
    // Looked up at run time: systems before XP SP2 do not have it.
    using IsWow64ProcessFunction = BOOL(WINAPI*)(HANDLE, BOOL*);
    const HMODULE kernel = GetModuleHandleW(L"kernel32");
    if (kernel == nullptr) return 0;
    const FARPROC address = GetProcAddress(kernel, "IsWow64Process");
    if (address == nullptr) return 0;
    const auto isWow64Process =
        reinterpret_cast<IsWow64ProcessFunction>(reinterpret_cast<void (*)()>(address));
    return isWow64Process(GetCurrentProcess(), &answer) != FALSE ? 1 : 0;
}

void CUtility::GetFitRect(long sourceWidth, long sourceHeight, long boxWidth, long boxHeight,
                          long& width, long& height) {
    Fit(true, sourceWidth, sourceHeight, boxWidth, boxHeight, width, height);
}

void CUtility::GetFitRectOutside(long sourceWidth, long sourceHeight, long boxWidth,
                                 long boxHeight, long& width, long& height) {
    Fit(false, sourceWidth, sourceHeight, boxWidth, boxHeight, width, height);
}

// The scale factor is formed before it multiplies (box extent ÷ content extent × other content
// extent) and the product is truncated, so results are those of that order. The box's extents
// are taken in 64 bits: the fitted rectangle always lies inside the box, whatever its edges.
void CUtility::FitInsideAndArrangeCenter(CRect* box, const CSize& content, CRect* result) {
    if (box == nullptr || result == nullptr) return;
    const long long boxWidth = static_cast<long long>(box->right) - box->left;
    const long long boxHeight = static_cast<long long>(box->bottom) - box->top;
    if (boxWidth <= 0 || boxHeight <= 0 || content.cx <= 0 || content.cy <= 0) return;
    const double boxRatio = static_cast<double>(boxWidth) / static_cast<double>(boxHeight);
    const double contentRatio = static_cast<double>(content.cx) / static_cast<double>(content.cy);
    if (boxRatio < contentRatio) {
        const auto height =
            static_cast<long long>(static_cast<double>(boxWidth) / content.cx * content.cy);
        const long long top = box->top + (boxHeight - height) / 2;
        SetRect(result, box->left, static_cast<int>(top), box->right, static_cast<int>(top + height));
    } else {
        const auto width =
            static_cast<long long>(static_cast<double>(boxHeight) / content.cy * content.cx);
        const long long left = box->left + (boxWidth - width) / 2;
        SetRect(result, static_cast<int>(left), box->top, static_cast<int>(left + width), box->bottom);
    }
}

// The host's IPv4 addresses come from getaddrinfo, whose list belongs to the caller, so that
// threads asking at once share nothing.
int CUtility::CheckIP() {
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) return 0;
    int found = 0;
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) == 0) {
        addrinfo hints{};
        hints.ai_family = AF_INET;
        hints.ai_socktype = SOCK_STREAM;  // one entry per address
        addrinfo* list = nullptr;
        if (getaddrinfo(name, nullptr, &hints, &list) == 0) {
            for (const addrinfo* at = list; at != nullptr && found == 0; at = at->ai_next) {
                if (at->ai_family != AF_INET || at->ai_addr == nullptr || at->ai_addrlen < sizeof(sockaddr_in))
                    continue;
                sockaddr_in address;
                std::memcpy(&address, at->ai_addr, sizeof address);
                // Network order: the first byte is the first octet.
                const auto* octets = reinterpret_cast<const unsigned char*>(&address.sin_addr);
                found = InAddressBlock(octets[0], octets[1]) ? 1 : 0;
            }
            freeaddrinfo(list);
        }
    }
    WSACleanup();
    return found;
}

int CUtility::GetUsbDes(wchar_t, unsigned long*, unsigned long*, unsigned long*, CString*,
                        CString*) {
    return 0;
}

// ---- CCommonCriticalSection ------------------------------------------------------------------

CCommonCriticalSection::CCommonCriticalSection() { InitializeCriticalSection(&m_cs); }

CCommonCriticalSection::~CCommonCriticalSection() { DeleteCriticalSection(&m_cs); }

void CCommonCriticalSection::Lock() { EnterCriticalSection(&m_cs); }

void CCommonCriticalSection::Unlock() { LeaveCriticalSection(&m_cs); }
