// tests/support/path_limit.h: Windows' path limit for programs that are not long-path aware, which
// Wine does not have: while a ShortPathLimit lives, this test program's own file calls (its import
// table: Zerva's code, minizip, the runtime) refuse a path of 260 characters or more, 248 for a
// new folder, unless it is in the extended form "\\?\...". Process-wide, every thread; one at a time.
#pragma once

namespace testkit {

class ShortPathLimit {
public:
    ShortPathLimit();
    ~ShortPathLimit();
    ShortPathLimit(const ShortPathLimit&) = delete;
    ShortPathLimit& operator=(const ShortPathLimit&) = delete;
};

}  // namespace testkit
