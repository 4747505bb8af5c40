#pragma once

#include "plist/Export.h"

#include <QByteArray>

// libplist parses and frees recursively and expands shared binary objects into copies, so a
// small hostile file can exhaust the stack or the memory. This looks at the structure first.
namespace PlistInputCheck {

inline constexpr int MaxDepth = 512;

// True when data is safe to hand to the parser: its nesting stays within MaxDepth and a binary
// list whose objects are shared does not expand beyond a bounded number of nodes. False also
// for a binary list whose tables are broken (the parser would refuse it anyway), and for a
// text holding a zero character (a binary text, or a zero byte inside XML markup): the parser
// mishandles those.
PARLEWICK_PLIST_EXPORT bool withinLimits(const QByteArray &data);

}   // namespace PlistInputCheck
