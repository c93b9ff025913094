// The real pages in two parts, so that the window's first paint waits only for those it shows logged out.
#pragma once

#include "admin/common/AdminPage.h"

#include <vector>

namespace korvel::admin
{

// The pages shown only when logged in, in tab order.
std::vector<AdminPage*> CreateTabPages(const PageContext& context, QWidget* parent);
// The pages also shown while logged out (the Servers view), which follow them.
std::vector<AdminPage*> CreateLoggedOutPages(const PageContext& context, QWidget* parent);

} // namespace korvel::admin
