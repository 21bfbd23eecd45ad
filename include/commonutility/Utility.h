// System utilities: rectangles and sizes (CRect, CSize), CUtility and the lock
// CCommonCriticalSection.
#pragma once

#include "commonutility/CString.h"
#include "commonutility/Export.h"
#include "commonutility/Win32Types.h"

// A size: cx wide and cy high, with the platform's SIZE layout.
class CSize : public tagSIZE {
public:
    CSize() noexcept : tagSIZE{0, 0} {}
    CSize(int width, int height) noexcept : tagSIZE{width, height} {}
    CSize(const SIZE& size) noexcept : tagSIZE(size) {}  // NOLINT: implicit, as for RECT below

    bool operator==(const SIZE& other) const noexcept { return cx == other.cx && cy == other.cy; }
    bool operator!=(const SIZE& other) const noexcept { return !(*this == other); }
};

// A rectangle with the platform's RECT layout (left, top, right, bottom; right and bottom are
// exclusive). A CRect* is a RECT*, so it goes to the platform's rectangle functions as it is.
class CRect : public tagRECT {
public:
    CRect() noexcept : tagRECT{0, 0, 0, 0} {}
    CRect(int l, int t, int r, int b) noexcept : tagRECT{l, t, r, b} {}
    CRect(const RECT& rect) noexcept : tagRECT(rect) {}  // NOLINT: implicit, as a RECT is one

    // The extents; negative when the edges are swapped. The difference must fit 32 bits.
    int Width() const noexcept { return static_cast<int>(right - left); }
    int Height() const noexcept { return static_cast<int>(bottom - top); }
    CSize Size() const noexcept { return CSize(Width(), Height()); }
    // No area: a width or a height of 0 or less.
    bool IsRectEmpty() const noexcept { return Width() <= 0 || Height() <= 0; }

    bool operator==(const RECT& other) const noexcept {
        return left == other.left && top == other.top && right == other.right && bottom == other.bottom;
    }
    bool operator!=(const RECT& other) const noexcept { return !(*this == other); }
};

static_assert(sizeof(CRect) == sizeof(RECT) && sizeof(CSize) == sizeof(SIZE),
              "CRect and CSize must keep the platform's layouts");

// Keeping the machine awake, questions about the operating system, fitting rectangles and the
// host address test. All members are static except the two power operations, which remember the
// execution state they replaced.
class COMMONUTILITY_API CUtility {
public:
    // The operating-system family, from the version record's platform identifier.
    enum tagPlatformTypeEnum { ePlatformOther = 0, ePlatformWin9x = 1, ePlatformNT = 2 };

    CUtility();  // the saved state is ES_CONTINUOUS (0x80000000)
    CUtility(const CUtility& other);
    CUtility& operator=(const CUtility& other);
    virtual ~CUtility();

    // Switches the screen saver off (for the session; the user's setting is not stored) and keeps
    // the display awake, and from version 6 on the system too, for the calling thread. The
    // thread's previous execution state (0 when the call failed) is saved.
    void DisablePowerManagement();
    // Switches the screen saver on and puts the saved execution state back, when it is not 0.
    // Without a DisablePowerManagement before, the thread's state becomes ES_CONTINUOUS alone.
    // Disable and restore on the same thread: the execution state belongs to it.
    void RestorePowerManagement();

    // 1 when the platform's version is 5.1 or higher, resp. 6.0 or higher; 0 otherwise and when
    // the version cannot be read.
    static int IsPlatformXpOrLater();
    static int IsPlatformVistaOrLater();
    // The family and the major and minor version, each written only when its pointer is not null.
    // 0, nothing written, when the version cannot be read; else nonzero.
    static int GetPlatformInfo(tagPlatformTypeEnum* platform, unsigned long* majorVersion,
                               unsigned long* minorVersion);
    // answer becomes nonzero when this is a 32-bit process on a 64-bit system, else 0. The result
    // says whether the question could be asked: 0, answer untouched, when the system cannot say.
    static int IsSystem64bit(int& answer);

    // The largest size of the source's aspect ratio that fits inside the box (GetFitRect), and the
    // smallest that covers it (GetFitRectOutside). One extent is the box's, the other is scaled
    // and rounded toward zero. Nothing is written when a size is 0 or less, or above 2147483647
    // where long is wider than 32 bits. A scaled extent beyond 2147483647 is held at 2147483647.
    static void GetFitRect(long sourceWidth, long sourceHeight, long boxWidth, long boxHeight,
                           long& width, long& height);
    static void GetFitRectOutside(long sourceWidth, long sourceHeight, long boxWidth,
                                  long boxHeight, long& width, long& height);
    // result becomes the content size fitted inside box and centred in it; result may be box.
    // Nothing happens when either pointer is null or an extent of the box or of the content is 0
    // or less.
    static void FitInsideAndArrangeCenter(CRect* box, const CSize& content, CRect* result);

    // 1 when one of the machine's own IPv4 addresses (its host name resolved) lies in the
    // deployment's address block (10.x.x.x), else 0, also when the name cannot be resolved.
    static int CheckIP();

    // Takes a drive letter and five out-arguments. Not available: always 0, nothing written.
    static int GetUsbDes(wchar_t, unsigned long*, unsigned long*, unsigned long*, CString*,
                         CString*);

protected:
    DWORD m_dwPrevExecutionState;  // the thread's state before the last DisablePowerManagement
};

// A lock between threads of one process. The owning thread may lock again; each Lock needs its
// own Unlock.
class COMMONUTILITY_API CCommonCriticalSection {
public:
    CCommonCriticalSection();
    CCommonCriticalSection(const CCommonCriticalSection&) = delete;
    CCommonCriticalSection& operator=(const CCommonCriticalSection&) = delete;
    virtual ~CCommonCriticalSection();

    // Waits until the calling thread owns the lock.
    void Lock();
    // Releases one Lock of the calling thread.
    void Unlock();

protected:
    CRITICAL_SECTION m_cs;
};
